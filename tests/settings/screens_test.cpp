// Defaults and placement on screens other than the one the tests run on: the test program runs
// itself as a child on a configured offscreen screen (larger fonts, a work area not at 0,0).
#include "platform/WorkArea.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Set for the child: "x,y,widthxheight@dpi" of the screen it must have been given.
static const char *const kScreenVar = "WORDPOP_TEST_SCREEN";

TEST(Screens, ChildSeesTheScreenItWasGiven)
{
    const QString want = qEnvironmentVariable(kScreenVar);
    if (want.isEmpty())
        GTEST_SKIP() << "runs only as the child of Screens.LargeFontsAndAnOffsetWorkArea";
    const QRect area = Desktop::workArea();
    const QString got = QString("%1,%2,%3x%4@%5").arg(area.x()).arg(area.y()).arg(area.width())
                            .arg(area.height()).arg(Desktop::logicalDpi());
    EXPECT_EQ(got, want);
    EXPECT_EQ(Desktop::screenSize(), area.size());
}

TEST(Screens, LargeFontsAndAnOffsetWorkArea)
{
    if (qEnvironmentVariableIsSet(kScreenVar))
        GTEST_SKIP() << "already the child";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString config = dir.path() + "/screens.json";
    QFile f(config);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"({"screens": [{"name": "wide", "x": 100, "y": 50, "width": 1024, "height": 768,
                 "logicalDpi": 120, "logicalBaseDpi": 96, "dpr": 1}]})");
    f.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + config);
    // Unscaled, so that the larger logical resolution reaches the program as it is.
    env.insert("QT_ENABLE_HIGHDPI_SCALING", "0");
    env.insert(kScreenVar, "100,50,1024x768@120");
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=Screens.ChildSeesTheScreenItWasGiven:SettingsTest.WindowDefaultsAreCentredOnTheScreen:"
                 "SettingsTest.TrainerIs341By213OnA96DpiScreen:PlacementTest.*"});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString out = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_FALSE(out.contains("FAILED")) << out.toStdString();
    // The 96-dpi case must have stood aside, and everything else must have run.
    EXPECT_TRUE(out.contains("[  SKIPPED ] 1 test")) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression(R"(\[  PASSED  \] [1-9][0-9]* tests)"))) << out.toStdString();
}
