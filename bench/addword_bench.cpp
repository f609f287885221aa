// Cost of the add-word dialog's two waits the user feels: the duplicate check before a word is
// stored, on a ticked dictionary of 100,000 words (no match, and a match answered by the window),
// and the dialog's opening, from the Insert key in its owner to the dialog's first paint, with
// the owner's dictionary opened first as the trainer does. The dictionary is made once through
// the engine in a temporary program folder. Reports medians in milliseconds.
#include <benchmark/benchmark.h>

#include "BenchHome.h"

#include "store/AddWord.h"
#include "store/Duplicates.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Fixture {
    BenchHome home;
    QString big;
};

Fixture *g_fixture = nullptr;

Fixture &fixture()
{
    if (g_fixture)
        return *g_fixture;
    g_fixture = new Fixture;
    g_fixture->big = g_fixture->home.makeDictionary(tkOn, QStringLiteral("big"), 100000, [](TDbfDataSet &words, int i) {
        words.FieldByName("WORD1").SetAsString("word" + std::to_string(i));
        words.FieldByName("WORD2").SetAsString("translation" + std::to_string(i));
        words.FieldByName("MISS").SetAsInteger(i % 13);
    });
    return *g_fixture;
}

void report(benchmark::State &state, std::vector<double> &ms)
{
    std::sort(ms.begin(), ms.end());
    if (!ms.empty()) {
        state.counters["median_ms"] = ms[ms.size() / 2];
        state.counters["p90_ms"] = ms[ms.size() * 9 / 10];
    }
}

double since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// A new word: the whole dictionary is read and nothing matches.
void BM_DuplicateCheckNoMatch(benchmark::State &state)
{
    Fixture &f = fixture();
    f.home.topics->OpenDictionary(f.big);
    TNewWord word;
    word.word1 = "zebra";
    word.word2 = "stripes";
    std::vector<double> ms;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        if (FindDuplicates(nullptr, f.home.words, word) != TDuplicateOutcome::None)
            std::abort();
        ms.push_back(since(t0));
    }
    report(state, ms);
}
BENCHMARK(BM_DuplicateCheckNoMatch)->Unit(benchmark::kMillisecond)->Iterations(100);

// A word that is there: the records are gathered in the cursor's order and the window is built
// and answered with Отмена.
void BM_DuplicateCheckFound(benchmark::State &state)
{
    Fixture &f = fixture();
    f.home.topics->OpenDictionary(f.big);
    TNewWord word;
    word.word1 = "word77777";
    word.word2 = "translation5";
    std::vector<double> ms;
    for (auto _ : state) {
        TFDuplicates::TestHook hook;
        const auto t0 = std::chrono::steady_clock::now();
        if (FindDuplicates(nullptr, f.home.words, word) != TDuplicateOutcome::Dropped)
            std::abort();
        ms.push_back(since(t0));
    }
    report(state, ms);
}
BENCHMARK(BM_DuplicateCheckFound)->Unit(benchmark::kMillisecond)->Iterations(30);

// The owner of the dialog: Insert opens it as the trainer's key does.
class Owner : public QWidget {
public:
    std::chrono::steady_clock::time_point pressed;
    double firstPaint = -1;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() != Qt::Key_Insert)
            return QWidget::keyPressEvent(event);
        Topics->OpenDictionary(g_fixture->big);
        RunAddWord(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<TFAddWord *>(watched);
        if (dialog && event->type() == QEvent::Paint && firstPaint < 0) {
            firstPaint = since(pressed);
            QMetaObject::invokeMethod(dialog, "reject", Qt::QueuedConnection);
        }
        return false;
    }
};

void BM_AddWordDialogOpen(benchmark::State &state)
{
    fixture();
    Owner owner;
    owner.resize(333, 183);
    owner.show();
    qApp->installEventFilter(&owner);
    QCoreApplication::processEvents();
    std::vector<double> ms;
    for (auto _ : state) {
        owner.firstPaint = -1;
        owner.pressed = std::chrono::steady_clock::now();
        QKeyEvent insert(QEvent::KeyPress, Qt::Key_Insert, Qt::NoModifier);
        QApplication::sendEvent(&owner, &insert);
        if (owner.firstPaint < 0)
            std::abort();
        ms.push_back(owner.firstPaint);
    }
    qApp->removeEventFilter(&owner);
    report(state, ms);
}
BENCHMARK(BM_AddWordDialogOpen)->Unit(benchmark::kMillisecond)->Iterations(30);

} // namespace

int main(int argc, char **argv)
{
    // The dialog's first paint is measured on a real X server when there is one (bench.sh runs
    // under xvfb-run): the offscreen platform paints on a frame timer of its own.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete g_fixture;
    return 0;
}
