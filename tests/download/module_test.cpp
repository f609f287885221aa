// The download window comes from the download module, loaded when it is first asked for: a
// start never maps Qt Network, the window works through the module, and a missing module
// costs the download alone, with a message that says so.
#include "common/TestHome.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace {

std::string runChild(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(QStringLiteral(DOWNLOAD_CHILD), args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return "child failed: " + p.readAllStandardError().toStdString();
    return p.readAllStandardOutput().toStdString();
}

} // namespace

TEST(DownloadModule, LoadedOnFirstUseOnlyAndMissingModuleSaysSo)
{
    TestHome home;
    struct Case {
        const char *what;
        QStringList args;
        std::string expected;
    } cases[] = {
        {"loading it", {"load"}, "start: none\nloaded\nafter: libQt6Network wordpop-download\n"},
        {"the window through it", {"open"},
         "start: none\nwindow: Доступные для загрузки словари fetched: 0\nafter: libQt6Network wordpop-download\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(runChild(c.args), c.expected);
    }

    const std::string missing = runChild({"open", "wordpop-download-missing.so"});
    EXPECT_EQ(missing.rfind("start: none\nwindow:  fetched: 0\nmessage: Загрузка словарей невозможна: "
                            "не удалось загрузить модуль wordpop-download-missing.so.\n"
                            "wordpop-download-missing.so not found in ", 0),
              0u)
        << missing;
    EXPECT_TRUE(missing.ends_with("\nafter: none\n")) << missing;
}
