// Download speed: a 50 MB file fetched over loopback from a real FTP server (pyftpdlib, run with
// /usr/bin/python3) by the client the download window uses, passive and active. Reports MB/s and
// the worst gap between ticks of a 10 ms timer running during the transfer (the event loop's
// answer time while a file comes in).
#include "download/FtpClient.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>

namespace {

constexpr qint64 kFileSize = 50LL * 1024 * 1024;
const char *kPassword = "word@word1";

struct Server {
    QTemporaryDir root;
    QProcess process;
    int port = 0;

    bool start()
    {
        QFile f(root.path() + "/big.wrd");
        if (!f.open(QIODevice::WriteOnly))
            return false;
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        for (qint64 written = 0; written < kFileSize; written += block.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
            f.write(block);
        }
        f.close();
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start("/usr/bin/python3", {WORDPOP_SOURCE_DIR "/tests/download/ftp_server.py", root.path(), "guest", kPassword});
        QElapsedTimer clock;
        clock.start();
        while (!process.canReadLine() && clock.elapsed() < 60000 && process.state() != QProcess::NotRunning)
            process.waitForReadyRead(200);
        port = process.readLine().trimmed().toInt();
        return port > 0;
    }
    ~Server()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
};

Server *g_server = nullptr;

void BM_Fetch50MB(benchmark::State &state)
{
    if (!g_server) {
        state.SkipWithError("the FTP server (python3-pyftpdlib) did not start");
        return;
    }
    QTemporaryDir target;
    double worstGapMs = 0;
    double worstFinishMs = 0;
    qint64 bytes = 0;
    double seconds = 0;
    for (auto _ : state) {
        TFtpClient client;
        client.Host = "127.0.0.1";
        client.Port = g_server->port;
        client.Password = kPassword;
        client.Passive = state.range(0) != 0;
        client.Open();
        client.SetType(2);

        QElapsedTimer clock;
        clock.start();
        qint64 lastTickNs = 0;
        qint64 lastPacketNs = 0;
        double gap = 0;
        client.OnPacketReceived = [&] {
            lastPacketNs = clock.nsecsElapsed();
            // A block that comes later than the timer's due time shows a gap too.
            gap = std::max(gap, (lastPacketNs - lastTickNs) / 1e6 - 10);
        };
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            gap = std::max(gap, (now - lastTickNs) / 1e6);
            lastTickNs = now;
        });
        tick.start(10);
        client.Fetch("big.wrd", target.path() + "/big.wrd");
        const qint64 endNs = clock.nsecsElapsed();
        seconds += endNs / 1e9;
        tick.stop();
        worstGapMs = std::max(worstGapMs, gap);
        // After the last block: the final reply and putting the file in place (which syncs it).
        worstFinishMs = std::max(worstFinishMs, (endNs - lastPacketNs) / 1e6);
        bytes += client.SizeReceived();
        client.Close();
        if (QFileInfo(target.path() + "/big.wrd").size() != kFileSize)
            state.SkipWithError("the file arrived incomplete");
    }
    state.SetBytesProcessed(bytes);
    state.counters["MB_per_s"] = bytes / (1024.0 * 1024.0) / seconds;
    state.counters["worst_timer_gap_ms"] = worstGapMs;
    state.counters["finish_ms"] = worstFinishMs;
}
BENCHMARK(BM_Fetch50MB)->ArgName("passive")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Server server;
    if (server.start())
        g_server = &server;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server = nullptr;
    return 0;
}
