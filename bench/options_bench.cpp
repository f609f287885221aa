// Opening the options window: from the request (window made, then Execute) to its first paint,
// with 64 languages in "langs.dat" and four installed layouts (us, ru, de, fr) on a private X
// server, so that listing the layouts talks to a real XKB keyboard. Reports medians in ms.
#include <benchmark/benchmark.h>

#include "common/PrivateXServer.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "settings/Options.h"
#include "settings/TOptions.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

QTemporaryDir *g_home = nullptr;

// 64 languages, the four installed ones among them.
QByteArray languageList()
{
    QByteArray out;
    const char *const fixed[] = {"0407=German", "0409=English", "040C=French"};
    for (const char *line : fixed)
        out += QByteArray(line) + "\r\n";
    out += QByteArray::fromStdString(Text::toCp1251(QString::fromUtf8("0419=Русский"))) + "\r\n";
    for (int i = 0; out.count('\n') < 64; ++i)
        out += QString("%1=Language %2\r\n").arg(0x0450 + i, 4, 16, QChar('0')).toUpper().toLatin1();
    return out;
}

// Stops the window at its first paint and notes when that was.
class FirstPaint : public QObject {
public:
    Clock::time_point at{};
    bool seen = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            if (auto *w = qobject_cast<TFOptions *>(watched)) {
                seen = true;
                at = Clock::now();
                QTimer::singleShot(0, w, &QDialog::reject);
            }
        }
        return false;
    }
};

void BM_OptionsToFirstPaint(benchmark::State &state)
{
    MessageBox::TestHook boxes;   // an unknown layout would say so; none should
    std::vector<double> total, execute;
    int layouts = 0;
    for (auto _ : state) {
        FirstPaint paint;
        const auto t0 = Clock::now();
        TFOptions window;
        window.installEventFilter(&paint);
        const auto t1 = Clock::now();
        window.Execute(40, 40);
        if (!paint.seen) {
            state.SkipWithError("the window was never painted");
            break;
        }
        layouts = window.CBLayout[0]->count();
        total.push_back(std::chrono::duration<double, std::milli>(paint.at - t0).count());
        execute.push_back(std::chrono::duration<double, std::milli>(paint.at - t1).count());
    }
    if (!boxes.texts().isEmpty())
        state.SkipWithError(("messages: " + boxes.texts().join('|')).toStdString().c_str());
    std::sort(total.begin(), total.end());
    std::sort(execute.begin(), execute.end());
    if (!total.empty()) {
        state.counters["open_median_ms"] = total[total.size() / 2];
        state.counters["open_p90_ms"] = total[total.size() * 9 / 10];
        state.counters["execute_median_ms"] = execute[execute.size() / 2];
        state.counters["layouts"] = layouts;
    }
}
BENCHMARK(BM_OptionsToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(40);

} // namespace

int main(int argc, char **argv)
{
    // The X server comes first: the window system is chosen when the application starts.
    PrivateXServer server;
    if (!server.ok()) {
        std::fprintf(stderr, "no X server for the benchmark: %s\n", server.why().c_str());
        return 1;
    }
    if (const std::string error = server.setLayouts("us,ru,de,fr"); !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    qputenv("DISPLAY", server.display().toLocal8Bit());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);

    g_home = new QTemporaryDir;
    qputenv("WORDPOP_HOME", (g_home->path() + "/").toUtf8());
    ProgramFolder::resolve();
    QFile langs(ProgramFolder::path() + "langs.dat");
    if (!langs.open(QIODevice::WriteOnly) || langs.write(languageList()) < 0)
        return 1;
    langs.close();
    SetDefaultOptions(Options);
    SaveOptions(Options);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete g_home;
    return 0;
}
