// Start-up cost of the real executable on its bundled data: time from fork to a running event
// loop, and resident memory at that moment. The program says it is ready through the
// descriptor named by WORDPOP_READY_FD.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

std::string g_home;

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

// Starts wordpop, waits for its ready byte; returns seconds, or a negative value on failure.
double startOnce(long *rssKiB)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    // The child must inherit the write end: drop close-on-exec for it alone.
    ::fcntl(fds[1], F_SETFD, 0);
    ::setenv("WORDPOP_READY_FD", std::to_string(fds[1]).c_str(), 1);
    char *argv[] = {const_cast<char *>(WORDPOP_PROGRAM), nullptr};
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, WORDPOP_PROGRAM, nullptr, nullptr, argv, environ);
    ::close(fds[1]);
    double seconds = -1;
    if (rc == 0) {
        pollfd p{fds[0], POLLIN, 0};
        char c;
        if (::poll(&p, 1, 20000) == 1 && ::read(fds[0], &c, 1) == 1) {
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            *rssKiB = residentKiB(pid);
        }
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    ::close(fds[0]);
    return seconds;
}

std::string g_pulseServer;

// Arg 1: a sound server runs (as on a desktop); arg 0: none, so every start also pays for the
// failed attempts to reach one.
void BM_StartToEventLoop(benchmark::State &state)
{
    if (state.range(0) && g_pulseServer.empty()) {
        state.SkipWithError("no sound server could be started");
        return;
    }
    if (state.range(0))
        ::setenv("PULSE_SERVER", g_pulseServer.c_str(), 1);
    else
        ::setenv("PULSE_SERVER", ("unix:" + g_home + "/no-such-server").c_str(), 1);
    long rss = 0;
    double rssSum = 0;
    for (auto _ : state) {
        const double s = startOnce(&rss);
        if (s < 0) {
            state.SkipWithError("wordpop did not report a running event loop");
            return;
        }
        state.SetIterationTime(s);
        rssSum += rss;
    }
    state.counters["RSS_MiB"] = rssSum / state.iterations() / 1024.0;
}
BENCHMARK(BM_StartToEventLoop)->ArgName("sound_server")->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3)
    ->ReportAggregatesOnly(true);

} // namespace

// A desktop has a sound server; without one every start would wait on failed connection
// attempts that no user sees. A private PulseAudio with a null sink stands in for it.
pid_t startSoundServer()
{
    const std::string runtime = g_home + "/pulse";
    const std::string socket = runtime + "/native";
    ::mkdir(runtime.c_str(), 0700);
    const std::string native = "module-native-protocol-unix socket=" + socket + " auth-anonymous=1";
    const char *argv[] = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                          "--system=no", "-L", native.c_str(), "-L", "module-null-sink sink_name=bench",
                          nullptr};
    ::setenv("PULSE_RUNTIME_PATH", runtime.c_str(), 1);
    ::setenv("PULSE_STATE_PATH", runtime.c_str(), 1);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "pulseaudio", nullptr, nullptr, const_cast<char **>(argv), environ) != 0)
        return 0;
    for (int i = 0; i < 100 && ::access(socket.c_str(), F_OK) != 0; ++i)
        ::usleep(50000);
    if (::access(socket.c_str(), F_OK) == 0)
        g_pulseServer = "unix:" + socket;
    return pid;
}

int main(int argc, char **argv)
{
    char tmpl[] = "/tmp/wordpop-bench-XXXXXX";
    g_home = ::mkdtemp(tmpl);
    ::setenv("WORDPOP_HOME", g_home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (g_home + "/config").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", g_home.c_str(), 1);
    const pid_t sound = startSoundServer();
    // A first start fills the program folder from the bundled data; the measured starts are
    // the everyday ones.
    long rss = 0;
    if (startOnce(&rss) < 0)
        std::fprintf(stderr, "warning: first start failed\n");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (sound) {
        ::kill(sound, SIGTERM);
        ::waitpid(sound, nullptr, 0);
    }
    const std::string cleanup = "rm -rf '" + g_home + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
