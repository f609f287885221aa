// Cost of one lesson step: NextQuestion (source, counting the due words, picking, drawing the
// word and the answers) followed by GradeAnswer (the counters written back), on a working set of
// 50 ticked dictionaries of 2,000 words and 20 learned ones of 500 words, made once through the
// engine in a temporary program folder. Reports the median step in milliseconds.
#include <benchmark/benchmark.h>

#include "BenchHome.h"

#include "learning/Lesson.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

struct WorkingSet {
    BenchHome home;
    std::unique_ptr<TLesson> lesson;
};

WorkingSet *g_set = nullptr;

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

void fill(BenchHome &home, TopicKind kind, const QString &name, int count, int seed)
{
    const bool learned = kind == tkLearned;
    home.makeDictionary(kind, name, count, [learned, seed](TDbfDataSet &words, int i) {
        words.FieldByName("WORD1").SetAsString("word" + std::to_string(seed) + "_" + std::to_string(i));
        words.FieldByName("WORD2").SetAsString("translation" + std::to_string(i));
        words.FieldByName("TRANSCRIPT").SetAsString("[w" + std::to_string(i % 97) + "]");
        words.FieldByName("MISS").SetAsInteger((i * 7 + seed) % 13);
        words.FieldByName("KBMISS").SetAsInteger((i * 5 + seed) % 11);
        words.FieldByName("INROW").SetAsInteger(0);
        words.FieldByName("KBINROW").SetAsInteger(0);
        if (learned) // half of them learned long ago (due), half recently
            words.FieldByName("DATE").SetAsDateTime(TDateTime{Today().value - (i % 2 ? 40 : 3)});
    });
}

WorkingSet &workingSet()
{
    if (g_set)
        return *g_set;
    g_set = new WorkingSet;
    for (int d = 0; d < 50; ++d)
        fill(g_set->home, tkOn, QStringLiteral("topic%1").arg(d), 2000, d);
    for (int d = 0; d < 20; ++d)
        fill(g_set->home, tkLearned, QStringLiteral("learned%1").arg(d), 500, 100 + d);
    g_set->lesson = std::make_unique<TLesson>(*g_set->home.topics);
    g_set->lesson->FixSeed(2024);
    g_set->lesson->RecountWords();
    return *g_set;
}

void BM_NextQuestionAndGrade(benchmark::State &state)
{
    WorkingSet &set = workingSet();
    TLesson &lesson = *set.lesson;
    // The step ends with the grading: one right answer closes the window instead of forming
    // the next question inside GradeAnswer.
    Options.HideAfterRightAnswers = 1;
    Options.OkSoundOn = false;
    Options.MistakeSoundOn = false;
    std::vector<double> ms, cpu;
    int n = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = threadCpuMs();
        lesson.NextQuestion();
        if (++n % 3 == 0) {
            lesson.GiveUp(); // a wrong answer now and then
            lesson.RestoreNormal();
        } else {
            lesson.AnswerFromList(lesson.ExpectedAnswer());
        }
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        cpu.push_back(threadCpuMs() - c0);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    if (!ms.empty()) {
        state.counters["median_ms"] = ms[ms.size() / 2];
        state.counters["p90_ms"] = ms[ms.size() * 9 / 10];
        // Without the waits for the disk and for a busy processor.
        state.counters["cpu_median_ms"] = cpu[cpu.size() / 2];
    }
}
BENCHMARK(BM_NextQuestionAndGrade)->Unit(benchmark::kMillisecond)->Iterations(300);

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete g_set;
    return 0;
}
