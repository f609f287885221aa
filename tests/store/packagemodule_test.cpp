// Anki packages are read by the package module, loaded on the first package: a start of the
// program never maps libzip, libzstd or SQLite, and a missing module costs the package import
// alone, with a message that names the file.
#include "VocabFixtures.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

using namespace fixtures;

namespace {

struct ChildRun {
    bool finished = false;
    int exit = -1;
    QString out;
};

ChildRun runChild(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(PACKAGE_CHILD), args);
    ChildRun r;
    r.finished = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit;
    r.exit = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

} // namespace

TEST(PackageModule, LoadedOnFirstPackageOnlyAndMissingModuleNamesTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString sep = QStringLiteral("\x1f");
    const QString pkg = dir.filePath("Pack.apkg");
    ASSERT_TRUE(writeZip(pkg, package(Collection::Anki21, {{1, "Default"}},
                                      {{1, "one" + sep + "один"}, {1, "two" + sep + "два"}}, {})));
    const QString kvtml = dir.filePath("Words.kvtml");
    {
        QFile f(kvtml);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kvtml version=\"2.0\">"
                "<identifiers><identifier id=\"0\"><locale>en</locale></identifier>"
                "<identifier id=\"1\"><locale>ru</locale></identifier></identifiers><entries>"
                "<entry id=\"0\"><translation id=\"0\"><text>cat</text></translation>"
                "<translation id=\"1\"><text>кошка</text></translation></entry></entries></kvtml>\n");
    }

    struct Case {
        const char *what;
        QStringList args;
        QString expected;
    } cases[] = {
        {"package through the module", {pkg},
         "start: none\nread: 2\nafter: libzip libsqlite3 wordpop-anki\n"},
        {"KVTML needs none of it", {kvtml}, "start: none\nread: 1\nafter: none\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const ChildRun r = runChild(c.args);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.exit, 0);
        EXPECT_EQ(r.out.toStdString(), c.expected.toStdString());
    }

    // The module is not there: the package is refused with the file and the reason, the
    // process goes on and KVTML files still read.
    const ChildRun missing = runChild({pkg, "wordpop-anki-missing.so"});
    ASSERT_TRUE(missing.finished);
    EXPECT_EQ(missing.exit, 0);
    EXPECT_TRUE(missing.out.startsWith("start: none\nerror: " + pkg + ": Anki packages cannot be read here: "
                                       "wordpop-anki-missing.so not found in "))
        << missing.out.toStdString();
    EXPECT_TRUE(missing.out.endsWith("after: none\n")) << missing.out.toStdString();
}
