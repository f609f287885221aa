// The dictionary editor on a 100,000-word dictionary: opening it (working copy and the grid's
// first paint), a search, a sort toggle (one title click), a save, and one page-down step of
// the grid with its repaint; and the grid model's own memory per row. Runs on a dictionary made
// once through the engine in a temporary program folder, the window offscreen.
#include <benchmark/benchmark.h>

#include "BenchHome.h"

#include "messages/LineInput.h"
#include "messages/Message.h"
#include "platform/Text.h"
#include "store/Edit.h"
#include "store/WordsModel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTableView>

#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWords = 100000;

struct Setup {
    BenchHome home;
    QString path;
};

Setup *g_setup = nullptr;

Setup &setup()
{
    if (g_setup)
        return *g_setup;
    g_setup = new Setup;
    g_setup->path = g_setup->home.makeDictionary(tkOn, QStringLiteral("big"), kWords, [](TDbfDataSet &words, int i) {
        // Words in an order unlike record order, so that the sorts move rows.
        const int k = int((std::uint64_t(i) * 7919) % kWords);
        words.FieldByName("WORD1").SetAsString("word" + std::to_string(k));
        words.FieldByName("WORD2").SetAsString(Text::toCp1251(QStringLiteral("перевод%1").arg(kWords - k)));
        words.FieldByName("TRANSCRIPT").SetAsString("[w" + std::to_string(i % 97) + "]");
        words.FieldByName("MISS").SetAsInteger(i % 13);
    });
    return *g_setup;
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// One timed step: wall clock and this thread's processor time (without the waits for the disk
// and for a processor shared with other work).
struct Step {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    double cpu = threadCpuMs();
};

struct Times {
    std::vector<double> wall, cpu;
    void add(const Step &s)
    {
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - s.wall).count());
        cpu.push_back(threadCpuMs() - s.cpu);
    }
};

void report(benchmark::State &state, Times &times)
{
    std::sort(times.wall.begin(), times.wall.end());
    std::sort(times.cpu.begin(), times.cpu.end());
    if (!times.wall.empty()) {
        state.counters["median_ms"] = times.wall[times.wall.size() / 2];
        state.counters["max_ms"] = times.wall.back();
        state.counters["cpu_median_ms"] = times.cpu[times.cpu.size() / 2];
    }
}

// A window with the dictionary open and painted, for the benchmarks that work on it.
std::unique_ptr<TFEdit> openWindow()
{
    Setup &s = setup();
    auto window = std::make_unique<TFEdit>(*s.home.topics);
    window->resize(500, 330);
    if (!window->Editor().OpenDictionary(s.path))
        std::abort();
    window->show();
    QApplication::processEvents();
    (void)window->grab();
    return window;
}

void closeWindow(std::unique_ptr<TFEdit> &window)
{
    TFMessage::TestHook no;
    no.answer(TFMessage::No);
    window->Editor().CloseDictionary();
    window.reset();
}

void BM_OpenInEditor(benchmark::State &state)
{
    setup();
    Times times;
    for (auto _ : state) {
        const Step t0;
        std::unique_ptr<TFEdit> window = openWindow();
        times.add(t0);
        state.PauseTiming();
        closeWindow(window);
        state.ResumeTiming();
    }
    report(state, times);
}
BENCHMARK(BM_OpenInEditor)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Search(benchmark::State &state)
{
    std::unique_ptr<TFEdit> window = openWindow();
    TFLineInput::TestHook lines;
    Times times;
    int n = 0;
    for (auto _ : state) {
        // Alternately a word and a text found only among the translations.
        const QString text = n % 2 ? QStringLiteral("перевод%1").arg(n * 37 % kWords + 1) : QStringLiteral("word%1").arg(n * 53 % kWords);
        ++n;
        lines.answer({TFLineInput::Ok, text});
        const Step t0;
        if (!window->Editor().Search())
            std::abort();
        QApplication::processEvents();
        times.add(t0);
    }
    report(state, times);
    closeWindow(window);
}
BENCHMARK(BM_Search)->Unit(benchmark::kMillisecond)->Iterations(40);

void BM_SortToggle(benchmark::State &state)
{
    std::unique_ptr<TFEdit> window = openWindow();
    Times times;
    int n = 0;
    for (auto _ : state) {
        const Step t0;
        window->Editor().SortByColumn((n++ / 2) % 2); // on, off, on the other column, off
        QApplication::processEvents();
        (void)window->grab();
        times.add(t0);
    }
    report(state, times);
    closeWindow(window);
}
BENCHMARK(BM_SortToggle)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_Save(benchmark::State &state)
{
    std::unique_ptr<TFEdit> window = openWindow();
    TWordsModel &model = window->Editor().Model();
    Times times;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        model.setData(model.index(n % 50, 1), QStringLiteral("правка%1").arg(n));
        ++n;
        state.ResumeTiming();
        const Step t0;
        if (!window->Editor().Save())
            std::abort();
        QApplication::processEvents();
        times.add(t0);
    }
    report(state, times);
    closeWindow(window);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_PageDownStep(benchmark::State &state)
{
    std::unique_ptr<TFEdit> window = openWindow();
    QTableView *grid = window->GWords;
    grid->setFocus();
    grid->setCurrentIndex(window->Editor().Model().index(0, 0));
    Times times;
    for (auto _ : state) {
        const Step t0;
        QKeyEvent down(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(grid, &down);
        grid->viewport()->repaint();
        QApplication::processEvents();
        times.add(t0);
        if (grid->currentIndex().row() >= window->Editor().Model().rowCount() - 1) {
            state.PauseTiming();
            grid->setCurrentIndex(window->Editor().Model().index(0, 0));
            state.ResumeTiming();
        }
    }
    report(state, times);
    state.counters["rows_per_step"] = double(grid->viewport()->height() / std::max(1, grid->rowHeight(0)));
    closeWindow(window);
}
BENCHMARK(BM_PageDownStep)->Unit(benchmark::kMillisecond)->Iterations(2000);

// Heap bytes a second grid model takes on the open dictionary, per row: what the model keeps
// beyond the cursor's own.
void BM_ModelMemoryPerRow(benchmark::State &state)
{
    Setup &s = setup();
    s.home.topics->OpenDictionary(s.path);
    double perRow = 0;
    for (auto _ : state) {
        malloc_trim(0);
        const size_t before = mallinfo2().uordblks;
        auto model = std::make_unique<TWordsModel>();
        model->SetDataSet(&s.home.words);
        const size_t after = mallinfo2().uordblks;
        perRow = double(after - before) / double(model->RecordRows());
        model.reset();
    }
    state.counters["bytes_per_row"] = perRow;
    s.home.topics->CloseDictionary();
}
BENCHMARK(BM_ModelMemoryPerRow)->Unit(benchmark::kMillisecond)->Iterations(3);

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
    delete g_setup;
    return 0;
}
