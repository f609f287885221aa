// Start-up as a user sees it, beside a bare Qt widgets program (one QLabel): time from exec to
// the first visible window of the process, and its resident memory 3 s later, median of 5.
// Wordpop starts on a program folder an earlier start made, with an empty BASE/ON/, so its
// first lesson shows at once. Needs an X server ($DISPLAY; scripts/bench.sh runs it under
// xvfb-run).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

Display *g_x = nullptr;
std::string g_home;

int ignoreErrors(Display *, XErrorEvent *) { return 0; }

long pidOf(Window w)
{
    static const Atom pidAtom = XInternAtom(g_x, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(g_x, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data && count == 1)
        pid = long(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

bool hasVisibleWindow(pid_t pid)
{
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(g_x, DefaultRootWindow(g_x), &root, &parent, &children, &n))
        return false;
    bool found = false;
    for (unsigned int i = 0; i < n && !found; ++i) {
        XWindowAttributes a;
        found = XGetWindowAttributes(g_x, children[i], &a) && a.map_state == IsViewable && pidOf(children[i]) == pid;
    }
    if (children)
        XFree(children);
    return found;
}

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Starts program, waits for its first visible window; seconds (negative on failure). With
// rssKiB, also the resident memory 3 s after the window showed.
double startOnce(const char *program, long *rssKiB)
{
    char *argv[] = {const_cast<char *>(program), nullptr};
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (::posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0)
        return -1;
    double seconds = -1;
    while (std::chrono::steady_clock::now() - t0 < std::chrono::seconds(20)) {
        if (hasVisibleWindow(pid)) {
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            break;
        }
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (seconds >= 0 && rssKiB) {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        *rssKiB = residentKiB(pid);
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return seconds;
}

void measure(benchmark::State &state, const char *program)
{
    long rss = 0;
    double rssSum = 0;
    for (auto _ : state) {
        const double s = startOnce(program, &rss);
        if (s < 0) {
            state.SkipWithError("no visible window");
            return;
        }
        state.SetIterationTime(s);
        rssSum += double(rss);
    }
    state.counters["RSS_MiB"] = rssSum / double(state.iterations()) / 1024.0;
}

void BM_BareQtLabelToWindow(benchmark::State &state) { measure(state, BARE_LABEL_PROGRAM); }
void BM_WordpopToWindow(benchmark::State &state) { measure(state, WORDPOP_PROGRAM); }

BENCHMARK(BM_BareQtLabelToWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)
    ->ComputeStatistics("min", [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); })
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_WordpopToWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)
    ->ComputeStatistics("min", [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); })
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv)
{
    g_x = XOpenDisplay(nullptr);
    if (!g_x) {
        std::fprintf(stderr, "window_bench: no X server (run it under xvfb-run)\n");
        return 1;
    }
    XSetErrorHandler(ignoreErrors);
    char tmpl[] = "/tmp/wordpop-window-bench-XXXXXX";
    g_home = ::mkdtemp(tmpl);
    ::setenv("WORDPOP_HOME", g_home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (g_home + "/config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", g_home.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    // The interface language changes what a start loads; Russian unless the caller chose.
    ::setenv("WORDPOP_LANG", "ru", 0);
    std::fprintf(stderr, "window_bench: WORDPOP_LANG=%s\n", std::getenv("WORDPOP_LANG"));
    // The earlier start that made the program folder; then no words, so the lesson is the
    // trainer's own panel and the measure does not depend on the sample dictionaries.
    if (startOnce(WORDPOP_PROGRAM, nullptr) < 0)
        std::fprintf(stderr, "warning: the first start showed no window\n");
    const std::string empty = "rm -f '" + g_home + "/BASE/ON/'*";
    if (std::system(empty.c_str()) != 0)
        std::fprintf(stderr, "warning: BASE/ON/ could not be emptied\n");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    XCloseDisplay(g_x);
    const std::string cleanup = "rm -rf '" + g_home + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
