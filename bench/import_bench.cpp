// The text import and the dictionaries window: a 100,000-line UTF-8 ".csv" imported through
// ImportTextFiles into a new dictionary with its four tags, beside SQLite importing the same
// file and building four indexes (in this process through the library, and through the sqlite3
// shell when it is installed); the progress window's updates for such a file on their own; and
// the dictionaries window opened on 1,000 dictionaries.
#include "Workload.h"

#include "engine/DataSet.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "platform/Images.h"
#include "settings/TOptions.h"
#include "store/Dictionaries.h"
#include "store/ImportReader.h"
#include "store/Topics.h"
#include "store/Working.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include <algorithm>
#include <map>
#include <string>

namespace {

QString g_home;    // the program folder of the run
QString g_csv;     // the file every importer reads
QString g_sqlite;  // the sqlite3 shell, empty when not installed

void writeCsv()
{
    const Workload &w = Workload::instance();
    QByteArray bytes;
    bytes.reserve(8 << 20);
    for (const BenchWord &b : w.words) {
        const std::string line = b.word1 + ";" + b.word2 + ";" + b.transcript + ";" + b.wavFile;
        bytes += Text::fromCp1251(line).toUtf8();
        bytes += '\n';
    }
    g_csv = g_home + "words.csv";
    QFile f(g_csv);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

void removeDictionary()
{
    Topics->CloseDictionary();
    QFile::remove(g_home + "BASE/ON/words.wrd");
    QFile::remove(g_home + "BASE/ON/words.cdx");
}

void BM_ImportWordpop(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        removeDictionary();
        state.ResumeTiming();
        const TImportSummary s = ImportTextFiles(400, 300, true, {g_csv});
        Topics->CloseDictionary(); // everything on disk
        if (s.recordsPosted != int(Workload::recordCount))
            state.SkipWithError("not every record was imported");
    }
}

// Reading and splitting the file alone (no table): the import's first step.
void BM_ReadAlone(benchmark::State &state)
{
    for (auto _ : state) {
        const ImportFile f = ImportReader::read(g_csv);
        benchmark::DoNotOptimize(f.records.data());
    }
}

int exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

const char *const kIndexes =
    "CREATE INDEX miss ON words(miss); CREATE INDEX kbmiss ON words(kbmiss);"
    "CREATE INDEX word1 ON words(word1); CREATE INDEX word2 ON words(word2);";

// The library reads the same file, splits it as the import does, inserts in one transaction
// (synchronous off, as the engine never syncs) and builds the four indexes afterwards.
void BM_ImportSqliteLibrary(benchmark::State &state)
{
    const std::string db = (g_home + "sqlite-lib.db").toStdString();
    for (auto _ : state) {
        state.PauseTiming();
        std::remove(db.c_str());
        state.ResumeTiming();
        sqlite3 *h = nullptr;
        sqlite3_open(db.c_str(), &h);
        exec(h, "PRAGMA synchronous=OFF; PRAGMA journal_mode=DELETE;"
                "CREATE TABLE words(word1 TEXT, word2 TEXT, transcript TEXT, miss INTEGER, kbmiss INTEGER,"
                " inrow INTEGER, kbinrow INTEGER, wavfile TEXT, wavstart INTEGER, wavend INTEGER)");
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(h, "INSERT INTO words VALUES(?,?,?,0,0,0,0,?,NULL,NULL)", -1, &st, nullptr);
        exec(h, "BEGIN");
        std::ifstream in(g_csv.toStdString(), std::ios::binary);
        std::string line;
        int rows = 0;
        while (std::getline(in, line)) {
            std::string parts[4];
            size_t start = 0;
            for (int i = 0; i < 4; ++i) {
                const size_t sep = line.find(';', start);
                parts[i] = line.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
                if (sep == std::string::npos)
                    break;
                start = sep + 1;
            }
            for (int i = 0; i < 4; ++i)
                sqlite3_bind_text(st, i + 1, parts[i].data(), int(parts[i].size()), SQLITE_STATIC);
            sqlite3_step(st);
            sqlite3_reset(st);
            ++rows;
        }
        sqlite3_finalize(st);
        exec(h, "COMMIT");
        exec(h, kIndexes);
        sqlite3_close(h);
        if (rows != int(Workload::recordCount))
            state.SkipWithError("not every line was read");
    }
}

// The sqlite3 shell's own ".import" into a table of the file's four columns, then the indexes.
void BM_ImportSqliteShell(benchmark::State &state)
{
    if (g_sqlite.isEmpty()) {
        state.SkipWithError("the sqlite3 shell is not installed");
        return;
    }
    const QString db = g_home + "sqlite-shell.db";
    const QByteArray script = "PRAGMA synchronous=OFF;\n"
                              "CREATE TABLE words(word1 TEXT, word2 TEXT, transcript TEXT, wavfile TEXT,"
                              " miss INTEGER DEFAULT 0, kbmiss INTEGER DEFAULT 0);\n"
                              "CREATE TABLE staged(word1 TEXT, word2 TEXT, transcript TEXT, wavfile TEXT);\n"
                              ".separator ;\n"
                              ".import " + g_csv.toUtf8() + " staged\n"
                              "INSERT INTO words(word1, word2, transcript, wavfile) SELECT * FROM staged;\n"
                              + QByteArray(kIndexes) + "\n";
    for (auto _ : state) {
        state.PauseTiming();
        QFile::remove(db);
        QProcess p;
        state.ResumeTiming();
        p.start(g_sqlite, {db});
        p.write(script);
        p.closeWriteChannel();
        p.waitForFinished(-1);
        if (p.exitCode() != 0)
            state.SkipWithError(p.readAllStandardError().constData());
    }
}

// What the progress window costs for the same file: one bar update and one round of events every
// 256 records, on a shown window, with no import around it.
void BM_ProgressUpdates(benchmark::State &state)
{
    TFWorking window;
    window.Prepare(400, 300);
    window.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        window.StartFile(g_csv, int(Workload::recordCount));
        for (int done = 256; done <= int(Workload::recordCount); done += 256) {
            window.SetPosition(done);
            QCoreApplication::processEvents();
        }
    }
}

void makeThousandDictionaries()
{
    TTopics &topics = *Topics;
    topics.CreateDictionary(topics.DictionaryPath(tkOn, "model"));
    topics.CloseDictionary();
    const QString model = topics.DictionaryPath(tkOn, "model") + ".wrd";
    const std::pair<TopicKind, int> spread[] = {{tkOn, 499}, {tkOff, 300}, {tkLearned, 100}, {tkLearnedOff, 100}};
    for (const auto &[kind, count] : spread)
        for (int i = 0; i < count; ++i)
            QFile::copy(model, topics.DictionaryPath(kind, QStringLiteral("dictionary %1").arg(i, 4, 10, QLatin1Char('0'))) + ".wrd");
}

void BM_OpenWindowWithThousandDictionaries(benchmark::State &state)
{
    TImageList images;
    for (auto _ : state) {
        TFDictionaries window(*Topics, images);
        window.show();
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (window.CLBOn->count() + window.CLBLearned->count() != 1000)
            state.SkipWithError("the lists do not hold the 1,000 dictionaries");
        window.close();
        state.ResumeTiming();
    }
}

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    // Keyed by the benchmark's own name: the median of its repetitions when they were
    // aggregated, else the median of the runs seen (so the summary holds with
    // --benchmark_repetitions and --benchmark_report_aggregates_only alike).
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            if (r.error_occurred)
                continue;
            if (r.run_type == Run::RT_Iteration)
                m_runs[r.run_name.function_name].push_back(r.GetAdjustedRealTime());
            else if (r.aggregate_name == "median")
                m_medians[r.run_name.function_name] = r.GetAdjustedRealTime();
        }
    }
    double median(const std::string &name) const
    {
        if (auto m = m_medians.find(name); m != m_medians.end())
            return m->second;
        auto i = m_runs.find(name);
        if (i == m_runs.end() || i->second.empty())
            return -1.0;
        std::vector<double> v = i->second;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }

private:
    std::map<std::string, std::vector<double>> m_runs;
    std::map<std::string, double> m_medians;
};

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    g_home = QString::fromStdString(Workload::instance().folder.string()) + "/home/";
    for (const char *f : {"BASE/ON", "BASE/OFF", "BASE/LEARNED", "BASE/LEARNEDOFF", "TEMP"})
        QDir().mkpath(g_home + f);
    ProgramFolder::set(g_home);
    SetDefaultOptions();
    g_sqlite = QStandardPaths::findExecutable("sqlite3");
    writeCsv();
    TWords = new TDbfDataSet;
    TWords->SetExclusive(true);
    Topics = new TTopics(*TWords);

    benchmark::RegisterBenchmark("import/wordpop ImportTextFiles", BM_ImportWordpop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
    benchmark::RegisterBenchmark("import/reading the file alone", BM_ReadAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
    benchmark::RegisterBenchmark("import/sqlite library", BM_ImportSqliteLibrary)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
    benchmark::RegisterBenchmark("import/sqlite3 shell", BM_ImportSqliteShell)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
    benchmark::RegisterBenchmark("import/progress updates alone", BM_ProgressUpdates)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    removeDictionary();
    makeThousandDictionaries();
    benchmark::ClearRegisteredBenchmarks();
    benchmark::RegisterBenchmark("window/open with 1000 dictionaries", BM_OpenWindowWithThousandDictionaries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    auto ms = [&](const char *name) { return reporter.median(name); };
    const double ours = ms("import/wordpop ImportTextFiles");
    const double lib = ms("import/sqlite library");
    const double shell = ms("import/sqlite3 shell");
    const double progress = ms("import/progress updates alone");
    const double reading = ms("import/reading the file alone");
    std::printf("\n100,000-line UTF-8 csv into a new dictionary with four tags / indexes (real time, median):\n");
    std::printf("  wordpop %.1f ms, sqlite library %.1f ms (ratio %.2f), sqlite3 shell %.1f ms (ratio %.2f)\n", ours,
                lib, lib > 0 ? ours / lib : 0, shell, shell > 0 ? ours / shell : 0);
    std::printf("  of which reading and splitting the file: %.1f ms\n", reading);
    std::printf("  progress window updates: %.2f ms, %.1f %% of the import\n", progress,
                ours > 0 ? 100 * progress / ours : 0);
    std::printf("  dictionaries window open with 1,000 dictionaries: %.2f ms\n",
                ms("window/open with 1000 dictionaries"));

    Topics->CloseDictionary();
    delete Topics;
    delete TWords;
    QDir(QString::fromStdString(Workload::instance().folder.string())).removeRecursively();
    benchmark::Shutdown();
    return 0;
}
