// Plays sound the way the windows do, in a process of its own, and reports on stdout what it saw.
//   sound_child play FILE WAIT            PlaySoundFile once (WAIT 0 or 1), then lets it finish
//   sound_child word FILE AUTOPLAY DELAY MS   the trainer's word sound with LoopPlay on, for MS ms
//   sound_child again FILE                plays, and from Finished plays once more
//   sound_child cut FILE close|delete     a waiting play whose player is closed or destroyed
//                                         100 ms in, from a timer
#include "platform/SoundDevice.h"
#include "settings/TOptions.h"
#include "sound/Sound.h"
#include "sound/WordSound.h"

#include <QApplication>
#include <QFile>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

static void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

static int run(int argc, char **argv);

// Whether Qt Multimedia is mapped into this process: only the sound module brings it.
static bool multimediaMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Multimedia");
}

// Ends without the exit-time teardown of the multimedia libraries: now and then their PulseAudio
// connections abort in libpulse while being freed after main (a race inside the libraries,
// seen once in about a hundred runs), which is not what these runs are about.
int main(int argc, char **argv)
{
    const int code = run(argc, argv);
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(code);
}

static int run(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    const bool mappedAtStart = multimediaMapped();
    const bool device = HasSoundDevice();
    TSoundPlayer player;
    QElapsedTimer clock;
    if (args[1] == "play" && args.size() == 4) {
        const bool wait = args[3] == "1";
        // Timers keep running while a play is waited for.
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(50);
        clock.start();
        const bool result = PlaySoundFile(player, args[2], wait);
        const qint64 elapsed = clock.elapsed();
        const bool playing = player.IsPlaying();
        std::printf("device=%d result=%d elapsed=%lld playing=%d error=%d ticks=%d mapped_at_start=%d mapped=%d\n",
                    device, result, static_cast<long long>(elapsed), playing, player.LastError(), ticks,
                    mappedAtStart, multimediaMapped());
        std::fflush(stdout);
        if (result && !wait) {
            QEventLoop loop;
            QObject::connect(&player, &TSoundPlayer::Finished, &loop, &QEventLoop::quit);
            QTimer::singleShot(15000, &loop, &QEventLoop::quit);
            if (player.IsPlaying())
                loop.exec();
        }
        return 0;
    }
    if (args[1] == "again" && args.size() == 3) {
        int finished = 0;
        bool second = false;
        QEventLoop loop;
        QObject::connect(&player, &TSoundPlayer::Finished, [&] {
            ++finished;
            if (finished == 1)
                second = PlaySoundFile(player, args[2], false);
            else
                loop.quit();
        });
        const bool first = PlaySoundFile(player, args[2], false);
        QTimer::singleShot(15000, &loop, &QEventLoop::quit);
        loop.exec();
        std::printf("device=%d first=%d second=%d finished=%d\n", device, first, second, finished);
        return 0;
    }
    if (args[1] == "cut" && args.size() == 4) {
        auto *owned = new TSoundPlayer;
        const bool destroy = args[3] == "delete";
        int finished = 0;
        QObject::connect(owned, &TSoundPlayer::Finished, [&finished] { ++finished; });
        QTimer::singleShot(100, owned, [&] {
            if (destroy)
                delete owned;
            else
                owned->Close();
        });
        clock.start();
        const bool result = PlaySoundFile(*owned, args[2], true);
        std::printf("device=%d result=%d elapsed=%lld\n", device, result, static_cast<long long>(clock.elapsed()));
        if (!destroy) {
            std::printf("closedname=%d playing=%d\n", owned->FileName().isEmpty(), owned->IsPlaying());
            runFor(200);
            std::printf("finished=%d\n", finished);
            delete owned;
        }
        runFor(500);
        return 0;
    }
    if (args[1] == "word" && args.size() == 6) {
        SetDefaultOptions(Options);
        Options.AutoPlayWordSound = args[3] == "1";
        Options.LoopPlay = true;
        Options.LoopPlayDelay = args[4].toInt();
        Options.DontPlayOnReverse = false;
        TWordSound word(player);
        const bool enabled = word.Prepare(args[2], false);
        runFor(args[5].toInt());
        word.Stop();
        std::printf("device=%d enabled=%d\n", device, enabled);
        return 0;
    }
    return 2;
}
