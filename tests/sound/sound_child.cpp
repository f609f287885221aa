// Plays sound the way the windows do, in a process of its own, and reports on stdout what it saw.
//   sound_child play FILE WAIT            PlaySoundFile once (WAIT 0 or 1), then lets it finish
//   sound_child word FILE AUTOPLAY DELAY MS   the trainer's word sound with LoopPlay on, for MS ms
#include "platform/SoundDevice.h"
#include "settings/TOptions.h"
#include "sound/Sound.h"
#include "sound/WordSound.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

static void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return 2;
    const bool device = HasSoundDevice();
    TSoundPlayer player;
    QElapsedTimer clock;
    if (args[1] == "play" && args.size() == 4) {
        const bool wait = args[3] == "1";
        clock.start();
        const bool result = PlaySoundFile(player, args[2], wait);
        const qint64 elapsed = clock.elapsed();
        const bool playing = player.IsPlaying();
        std::printf("device=%d result=%d elapsed=%lld playing=%d error=%d\n", device, result,
                    static_cast<long long>(elapsed), playing, player.LastError());
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
