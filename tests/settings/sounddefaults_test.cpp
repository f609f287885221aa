// The sound defaults follow the sound output the system has: the test program runs itself as a
// child once with a sound server of its own and once with none.
#include "SettingsTestSupport.h"

#include "common/PulseServer.h"
#include "platform/SoundDevice.h"

#include <QCoreApplication>

// Set for the child: 1 when it must see a sound output, 0 when it must see none.
static const char *const kSoundVar = "WORDPOP_TEST_SOUND";

TEST_F(SettingsTest, SoundDefaultsFollowTheDevice)
{
    const QString want = qEnvironmentVariable(kSoundVar);
    if (want.isEmpty())
        GTEST_SKIP() << "runs only as the child of SoundDefaults.WithAndWithoutASoundServer";
    const bool device = want == "1";
    ASSERT_EQ(HasSoundDevice(), device);
    o.LoopPlayDelay = 9;
    SetDefaultOptions(o);
    EXPECT_EQ(bool(o.AutoPlayWordSound), device);
    EXPECT_EQ(bool(o.LoopPlay), device);
    EXPECT_EQ(o.LoopPlayDelay, device ? 5 : 9);
}

TEST(SoundDefaults, WithAndWithoutASoundServer)
{
    if (qEnvironmentVariableIsSet(kSoundVar))
        GTEST_SKIP() << "already the child";
    PulseServer server;
    if (!server.ok())
        GTEST_SKIP() << server.why().toStdString();
    for (const bool device : {true, false}) {
        QProcessEnvironment env = device ? server.clientEnv() : server.noServerEnv();
        env.insert(kSoundVar, device ? "1" : "0");
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=SettingsTest.SoundDefaultsFollowTheDevice"});
        ASSERT_TRUE(child.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(child.readAll());
        EXPECT_EQ(child.exitCode(), 0) << device << "\n" << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test.")) << device << "\n" << out.toStdString();
    }
}
