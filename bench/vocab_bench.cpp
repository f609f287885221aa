// Importing vocabularies of other trainers: an Anki package of 20,000 notes with 2,000 sounds
// (8 KB each) and a KVTML file of 20,000 entries, each imported by the real wordpop-dict into a
// new dictionary (reading, sounds copied into SOUND/, table and its four tags written), and the
// readers alone on the same files. Files are made once in a temporary program folder.
#include <benchmark/benchmark.h>

#include "VocabFixtures.h"

#include "store/AnkiReader.h"
#include "store/KvtmlReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

namespace {

struct Files {
    QTemporaryDir dir;
    QString package, kvtml;
};

Files *g_files = nullptr;

void makeFiles()
{
    g_files = new Files;
    const QString root = g_files->dir.path() + "/";
    qputenv("WORDPOP_HOME", root.toUtf8());
    QDir().mkpath(root + "out");
    const QString sep(QChar(0x1f));
    std::vector<fixtures::Note> notes;
    std::vector<std::pair<QString, QByteArray>> sounds;
    for (int i = 0; i < 20000; ++i) {
        QString front = QStringLiteral("<b>word%1</b>").arg(i);
        if (i % 10 == 0) {
            const QString name = QStringLiteral("s%1.mp3").arg(i / 10);
            front += "[sound:" + name + "]";
            QByteArray bytes(8192, char(i));
            sounds.emplace_back(name, bytes);
        }
        notes.push_back({1 + i % 4, front + sep + QStringLiteral("\u043f\u0435\u0440\u0435\u0432\u043e\u0434&nbsp;%1").arg(i) + sep + "x"});
    }
    g_files->package = root + "big.apkg";
    fixtures::writeZip(g_files->package,
                       fixtures::package(fixtures::Collection::Anki21,
                                         {{1, "Verbs"}, {2, "Nouns"}, {3, "Lang::A"}, {4, "Lang::B"}}, notes, sounds));

    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<kvtml version=\"2.0\"><identifiers>"
                     "<identifier id=\"0\"><locale>en</locale></identifier>"
                     "<identifier id=\"1\"><locale>ru</locale></identifier></identifiers><entries>\n";
    for (int i = 0; i < 20000; ++i)
        xml += QStringLiteral("<entry id=\"%1\"><translation id=\"0\"><text>word%1</text>"
                              "<pronunciation>w\u0259%1</pronunciation></translation>"
                              "<translation id=\"1\"><text>\u0441\u043b\u043e\u0432\u043e %1</text></translation></entry>\n")
                   .arg(i)
                   .toUtf8();
    xml += "</entries></kvtml>\n";
    g_files->kvtml = root + "big.kvtml";
    QFile f(g_files->kvtml);
    f.open(QIODevice::WriteOnly);
    f.write(xml);
}

void clearOutput()
{
    const QString root = g_files->dir.path() + "/";
    QDir(root + "out").removeRecursively();
    QDir(root + "SOUND").removeRecursively();
    QDir().mkpath(root + "out");
}

double childCpuMs()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// The tool's own processor time is reported beside the wall time, which on a shared machine
// mostly measures the wait for a processor.
void importWithTool(benchmark::State &state, const QString &input)
{
    const double cpuBefore = childCpuMs();
    for (auto _ : state) {
        state.PauseTiming();
        clearOutput();
        state.ResumeTiming();
        QProcess p;
        p.start(QStringLiteral(WORDPOP_BINARY_DIR "/wordpop-dict"),
                {"import", g_files->dir.path() + "/out/Big.wrd", input});
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            state.SkipWithError(p.readAllStandardError().constData());
            break;
        }
    }
    state.counters["tool_cpu_ms"] =
        benchmark::Counter((childCpuMs() - cpuBefore) / double(state.iterations()));
}

void BM_ImportPackage(benchmark::State &state) { importWithTool(state, g_files->package); }
void BM_ImportKvtml(benchmark::State &state) { importWithTool(state, g_files->kvtml); }

void BM_ReadPackage(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(AnkiReader::readFile(g_files->package, {}).entryCount());
}

void BM_ReadKvtml(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(KvtmlReader::readFile(g_files->kvtml, {}).entryCount());
}

} // namespace

BENCHMARK(BM_ImportPackage)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ImportKvtml)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReadPackage)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReadKvtml)->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    makeFiles();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete g_files;
    return 0;
}
