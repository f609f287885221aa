// Sound: stored names and the paths they name; PlaySoundFile's failures; and real playback into
// a PulseAudio server of the test's own with a null sink, recorded from the sink's monitor and
// measured (loudness, pitch, length, spacing of replays).
#include "common/PulseServer.h"
#include "common/TestHome.h"

#include "messages/ShowError.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "settings/TOptions.h"
#include "sound/Sound.h"
#include "WaveFile.h"
#include "sound/WordSound.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string s(const QString &q)
{
    return q.toStdString();
}

void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A wave file of a sine tone: 8-bit samples are unsigned, 16-bit ones signed, as the format has it.
QByteArray toneWave(int rate, int channels, int bits, double freq, int ms, double amplitude = 0.5)
{
    const int frames = rate * ms / 1000;
    const int bytesPerSample = bits / 8;
    QByteArray data;
    data.reserve(frames * channels * bytesPerSample);
    for (int i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2 * M_PI * freq * i / rate);
        for (int c = 0; c < channels; ++c) {
            if (bits == 8) {
                data.append(char(128 + int(std::lround(v * 127))));
            } else {
                const qint16 x = qint16(std::lround(v * 32767));
                data.append(char(x & 0xff));
                data.append(char((x >> 8) & 0xff));
            }
        }
    }
    auto le32 = [](quint32 v) { QByteArray b(4, 0); for (int i = 0; i < 4; ++i) b[i] = char(v >> (8 * i)); return b; };
    auto le16 = [](quint16 v) { QByteArray b(2, 0); b[0] = char(v); b[1] = char(v >> 8); return b; };
    QByteArray w = "RIFF" + le32(36 + data.size()) + "WAVE";
    w += "fmt " + le32(16) + le16(1) + le16(quint16(channels)) + le32(quint32(rate))
        + le32(quint32(rate * channels * bytesPerSample)) + le16(quint16(channels * bytesPerSample)) + le16(quint16(bits));
    w += "data" + le32(quint32(data.size())) + data;
    return w;
}

// The same tone as G.711 mu-law, a compressed wave that only the media backend decodes.
QByteArray muLawWave(int rate, double freq, int ms)
{
    QByteArray data;
    const int frames = rate * ms / 1000;
    for (int i = 0; i < frames; ++i) {
        int x = int(std::lround(0.5 * 32767 * std::sin(2 * M_PI * freq * i / rate)));
        const int sign = x < 0 ? 0x80 : 0;
        x = qMin(std::abs(x), 32635) + 0x84;
        int exponent = 7;
        for (int mask = 0x4000; (x & mask) == 0 && exponent > 0; --exponent, mask >>= 1) {
        }
        const int mantissa = (x >> (exponent + 3)) & 0x0f;
        data.append(char(~(sign | exponent << 4 | mantissa)));
    }
    auto le32 = [](quint32 v) { QByteArray b(4, 0); for (int i = 0; i < 4; ++i) b[i] = char(v >> (8 * i)); return b; };
    auto le16 = [](quint16 v) { QByteArray b(2, 0); b[0] = char(v); b[1] = char(v >> 8); return b; };
    QByteArray w = "RIFF" + le32(36 + data.size() + (data.size() & 1)) + "WAVE";
    w += "fmt " + le32(16) + le16(7) + le16(1) + le32(quint32(rate)) + le32(quint32(rate)) + le16(1) + le16(8);
    w += "data" + le32(quint32(data.size())) + data;
    if (data.size() & 1)
        w += '\0';
    return w;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Stored names and paths

class SoundPaths : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramFolder::resolve();
        home.writeFile("SOUND/Apple.wav", "x");
        home.writeFile("SOUND/words/Pear.WAV", "x");
        home.writeFile("ok.wav", "x");
    }
    TestHome home;
};

TEST_F(SoundPaths, ResolveProgramPath)
{
    const QString h = home.home();
    struct Case {
        QString stored;
        QString expected;
    } cases[] = {
        {"", ""},
        {"\\SOUND\\Apple.wav", h + "SOUND/Apple.wav"},
        {"\\SOUND/Apple.wav", h + "SOUND/Apple.wav"},               // mixed separators
        {"\\SOUND\\words/Pear.WAV", h + "SOUND/words/Pear.WAV"},
        {"\\sound\\apple.wav", h + "SOUND/Apple.wav"},              // written on Windows, other case
        {"\\Sound\\WORDS\\pear.wav", h + "SOUND/words/Pear.WAV"},   // every part in another case
        {"\\SOUND\\\\Apple.wav", h + "SOUND/Apple.wav"},            // doubled separator
        {"\\ok.wav", h + "ok.wav"},
        {"\\SOUND\\missing.wav", h + "SOUND/missing.wav"},          // missing stays where expected
        {"\\nofolder\\sub\\a.wav", h + "nofolder/sub/a.wav"},
        {h + "SOUND/Apple.wav", h + "SOUND/Apple.wav"},             // absolute: unchanged
        {h + "SOUND/APPLE.wav", h + "SOUND/Apple.wav"},             // absolute, file name in another case
        {"/nowhere/at/all.wav", "/nowhere/at/all.wav"},
        {"relative/a.wav", "relative/a.wav"},                      // relative to the current folder
        {"C:\\Sounds\\a.wav", "C:\\Sounds\\a.wav"},                 // a Windows path is no name here
    };
    for (const Case &c : cases)
        EXPECT_EQ(s(ResolveProgramPath(c.stored)), s(c.expected)) << s(c.stored);
}

TEST_F(SoundPaths, StoredFormsOfChosenFiles)
{
    const QString h = home.home();
    struct Case {
        QString chosen;
        QString relative;   // MakeProgramRelative
        QString stored;     // StoredSoundName
    } cases[] = {
        {h + "SOUND/Apple.wav", "SOUND\\Apple.wav", "\\SOUND\\Apple.wav"},
        {h + "SOUND/words/Pear.WAV", "SOUND\\words\\Pear.WAV", "\\SOUND\\words\\Pear.WAV"},
        {h + "ok.wav", "ok.wav", "\\ok.wav"},
        {h + "SOUND/./words/../Apple.wav", "SOUND\\Apple.wav", "\\SOUND\\Apple.wav"},
        {"/usr/share/sounds/a.wav", "/usr/share/sounds/a.wav", "/usr/share/sounds/a.wav"},
        // A sibling folder whose name starts like the program folder is outside it.
        {h.chopped(1) + "2/a.wav", h.chopped(1) + "2/a.wav", h.chopped(1) + "2/a.wav"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(s(MakeProgramRelative(c.chosen)), s(c.relative)) << s(c.chosen);
        EXPECT_EQ(s(StoredSoundName(c.chosen)), s(c.stored)) << s(c.chosen);
    }
    // What is stored names the chosen file again.
    for (const QString &rel : {QString("SOUND/Apple.wav"), QString("SOUND/words/Pear.WAV")})
        EXPECT_EQ(s(ResolveProgramPath(StoredSoundName(h + rel))), s(h + rel));
}

TEST_F(SoundPaths, ThroughASymbolicLinkToTheProgramFolder)
{
    const QString link = home.root() + "/link";
    ASSERT_TRUE(QFile::link(home.home().chopped(1), link));
    EXPECT_EQ(s(StoredSoundName(link + "/SOUND/Apple.wav")), "\\SOUND\\Apple.wav");
}

TEST_F(SoundPaths, AnswerSoundPath)
{
    const QString h = home.home();
    struct Case {
        QString field;
        QString expected;
    } cases[] = {
        {"", ""},
        {"SOUND\\Apple.wav", h + "SOUND/Apple.wav"},
        {"sound\\APPLE.WAV", h + "SOUND/Apple.wav"},
        {"SOUND/words\\pear.wav", h + "SOUND/words/Pear.WAV"},
        {"\\SOUND\\Apple.wav", h + "SOUND/Apple.wav"},
        {"SOUND\\ok.wav", h + "SOUND/ok.wav"},
        {h + "ok.wav", h + "ok.wav"},   // a full path put there by the file picker
    };
    for (const Case &c : cases)
        EXPECT_EQ(s(AnswerSoundPath(c.field)), s(c.expected)) << s(c.field);
}

// ---------------------------------------------------------------------------------------------
// Wave files

namespace {

QByteArray le(quint32 v, int bytes)
{
    QByteArray b(bytes, 0);
    for (int i = 0; i < bytes; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

QByteArray chunk(const QByteArray &id, const QByteArray &body, quint32 statedSize = 0xffffffff)
{
    QByteArray c = id + le(statedSize == 0xffffffff ? quint32(body.size()) : statedSize, 4) + body;
    if (body.size() & 1)
        c += '\0';
    return c;
}

QByteArray fmtBody(int tag, int channels, int rate, int bits)
{
    const int align = channels * bits / 8;
    return le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) + le(bits, 2);
}

QByteArray riff(const QByteArray &chunks)
{
    return "RIFF" + le(4 + chunks.size(), 4) + "WAVE" + chunks;
}

} // namespace

TEST(WaveFile, FormatsAndSamples)
{
    const QByteArray extensible = fmtBody(0xFFFE, 2, 48000, 16) + le(22, 2) + le(16, 2) + le(3, 4)
        + le(1, 2) + QByteArray::fromHex("000000001000800000aa00389b71");
    double d[2] = {0.5, -0.25};
    struct Case {
        const char *name;
        QByteArray file;
        QAudioFormat::SampleFormat format;
        int channels, rate;
        QByteArray samples;
    } cases[] = {
        {"8-bit", riff(chunk("fmt ", fmtBody(1, 1, 11025, 8)) + chunk("data", QByteArray("\x80\xff\x00", 3))),
         QAudioFormat::UInt8, 1, 11025, QByteArray("\x80\xff\x00", 3)},
        {"16-bit stereo", riff(chunk("fmt ", fmtBody(1, 2, 44100, 16)) + chunk("data", QByteArray("\x01\x02\x03\x04", 4))),
         QAudioFormat::Int16, 2, 44100, QByteArray("\x01\x02\x03\x04", 4)},
        {"24-bit widened", riff(chunk("fmt ", fmtBody(1, 1, 8000, 24)) + chunk("data", QByteArray("\x11\x22\x33\xff\xff\xff", 6))),
         QAudioFormat::Int32, 1, 8000, QByteArray("\x00\x11\x22\x33\x00\xff\xff\xff", 8)},
        {"32-bit", riff(chunk("fmt ", fmtBody(1, 1, 8000, 32)) + chunk("data", QByteArray("\x01\x02\x03\x04", 4))),
         QAudioFormat::Int32, 1, 8000, QByteArray("\x01\x02\x03\x04", 4)},
        {"float", riff(chunk("fmt ", fmtBody(3, 1, 8000, 32)) + chunk("data", QByteArray("\x00\x00\x00\x3f", 4))),
         QAudioFormat::Float, 1, 8000, QByteArray("\x00\x00\x00\x3f", 4)},
        {"double narrowed", riff(chunk("fmt ", fmtBody(3, 1, 8000, 64)) + chunk("data", QByteArray(reinterpret_cast<const char *>(d), 16))),
         QAudioFormat::Float, 1, 8000, QByteArray("\x00\x00\x00\x3f\x00\x00\x80\xbe", 8)},
        {"extensible", riff(chunk("fmt ", extensible) + chunk("data", QByteArray("\x01\x02\x03\x04", 4))),
         QAudioFormat::Int16, 2, 48000, QByteArray("\x01\x02\x03\x04", 4)},
        {"chunks of odd size before the data", riff(chunk("LIST", "abc") + chunk("fmt ", fmtBody(1, 1, 8000, 8)) + chunk("fact", "x") + chunk("data", "\x10\x20")),
         QAudioFormat::UInt8, 1, 8000, QByteArray("\x10\x20", 2)},
        {"data cut short: the frames that are there", riff(chunk("fmt ", fmtBody(1, 2, 8000, 16)) + chunk("data", QByteArray("\x01\x02\x03\x04\x05\x06", 6), 4000)),
         QAudioFormat::Int16, 2, 8000, QByteArray("\x01\x02\x03\x04", 4)},
        {"no samples", riff(chunk("fmt ", fmtBody(1, 1, 8000, 16)) + chunk("data", "")),
         QAudioFormat::Int16, 1, 8000, QByteArray()},
    };
    for (const Case &c : cases) {
        WaveSound w;
        ASSERT_TRUE(ParseWave(c.file, w)) << c.name;
        EXPECT_EQ(w.format.sampleFormat(), c.format) << c.name;
        EXPECT_EQ(w.format.channelCount(), c.channels) << c.name;
        EXPECT_EQ(w.format.sampleRate(), c.rate) << c.name;
        EXPECT_EQ(w.samples.toHex().toStdString(), c.samples.toHex().toStdString()) << c.name;
    }
    WaveSound second;
    ASSERT_TRUE(ParseWave(toneWave(22050, 1, 16, 440, 500), second));
    EXPECT_EQ(second.durationMs(), 500);
}

TEST(WaveFile, BundledSoundsArePlainWaves)
{
    // What a new program folder starts with must play through the wave path, with no codecs.
    QDirIterator it(QStringLiteral(WORDPOP_SOURCE_DIR "/data/SOUND"), {"*.wav", "*.WAV"}, QDir::Files,
                    QDirIterator::Subdirectories);
    int n = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        WaveSound w;
        EXPECT_TRUE(ReadWaveFile(path, w)) << s(path);
        EXPECT_GT(w.durationMs(), 0) << s(path);
        ++n;
    }
    EXPECT_GE(n, 2) << "the answer sounds are missing";
}

TEST(WaveFile, NotPlainWaves)
{
    struct Case {
        const char *name;
        QByteArray file;
    } cases[] = {
        {"empty", QByteArray()},
        {"not RIFF", QByteArray(100, 'x')},
        {"RIFF of another kind", "RIFF" + le(4, 4) + "AVI "},
        {"header only", riff(QByteArray())},
        {"no format chunk", riff(chunk("data", "abcd"))},
        {"format chunk too short", riff(chunk("fmt ", fmtBody(1, 1, 8000, 16).left(10)) + chunk("data", "ab"))},
        {"format chunk past the end", riff("fmt " + le(16, 4) + "abc")},
        {"data before format", riff(chunk("data", "ab") + chunk("fmt ", fmtBody(1, 1, 8000, 16)))},
        {"chunk size past the end", riff("LIST" + le(0xfffffff0u, 4) + "ab")},
        {"compressed (ADPCM)", riff(chunk("fmt ", fmtBody(2, 1, 8000, 4)) + chunk("data", "abcd"))},
        {"mu-law", riff(chunk("fmt ", fmtBody(7, 1, 8000, 8)) + chunk("data", "abcd"))},
        {"12-bit", riff(chunk("fmt ", fmtBody(1, 1, 8000, 12)) + chunk("data", "abcd"))},
        {"no channels", riff(chunk("fmt ", fmtBody(1, 0, 8000, 16)) + chunk("data", "abcd"))},
        {"rate 0", riff(chunk("fmt ", fmtBody(1, 1, 0, 16)) + chunk("data", "abcd"))},
        {"extensible cut short", riff(chunk("fmt ", fmtBody(0xFFFE, 1, 8000, 16)) + chunk("data", "abcd"))},
    };
    for (const Case &c : cases) {
        WaveSound w;
        EXPECT_FALSE(ParseWave(c.file, w)) << c.name;
    }
}

// ---------------------------------------------------------------------------------------------
// Failures before any device is involved

TEST(PlaySoundFileFailures, MissingFileIsSilentUnreadableShowsError9)
{
    TestHome home;
    ProgramFolder::resolve();
    home.writeFile("locked.wav", toneWave(8000, 1, 16, 440, 50));
    QDir().mkpath(home.home() + "folder.wav");
    const QString fifo = home.home() + "pipe.wav";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const bool root = ::geteuid() == 0;
    if (!root)
        QFile::setPermissions(home.home() + "locked.wav", QFileDevice::Permissions());

    struct Case {
        QString path;
        bool error9;
    } cases[] = {
        {"", false},
        {home.home() + "missing.wav", false},
        {home.home() + "folder.wav", true},
        {fifo, true},   // must not block on the open
        {home.home() + "locked.wav", true},
    };
    for (const Case &c : cases) {
        if (root && c.path.endsWith("locked.wav"))
            continue;   // permissions do not stop root
        MessageBox::TestHook hook;
        TSoundPlayer player;
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(PlaySoundFile(player, c.path, true)) << s(c.path);
        EXPECT_LT(clock.elapsed(), 2000) << s(c.path);
        if (c.error9)
            EXPECT_EQ(hook.texts(), QStringList{ErrorText(9, c.path)}) << s(c.path);
        else
            EXPECT_TRUE(hook.texts().isEmpty()) << s(c.path);
    }
}

// ---------------------------------------------------------------------------------------------
// The trainer's word sound and the answer sounds. Which play requests happen is seen on the
// player (its file name is set by every request, whether or not a device plays it).

class TrainerSound : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramFolder::resolve();
        SetDefaultOptions(Options);
        home.writeFile("SOUND/apple.wav", toneWave(8000, 1, 16, 440, 50));
        word = home.home() + "SOUND/apple.wav";
    }
    TestHome home;
    QString word;
};

TEST_F(TrainerSound, PrepareFollowsTheSettings)
{
    struct Case {
        const char *name;
        bool fileExists, reverse, dontPlayOnReverse, autoPlay, loopPlay;
        int delay;
        bool enabled, playedNow, timer;
    } cases[] = {
        {"direct, both on", true, false, true, true, true, 5, true, true, true},
        {"direct, autoplay only", true, false, true, true, false, 5, true, true, false},
        {"direct, replay only", true, false, true, false, true, 5, true, false, true},
        {"direct, both off", true, false, true, false, false, 5, true, false, false},
        {"reverse kept silent", true, true, true, true, true, 5, false, false, false},
        {"reverse allowed", true, true, false, true, true, 5, true, true, true},
        {"no file", false, false, true, true, true, 5, false, false, false},
        {"replay delay 0", true, false, true, false, true, 0, true, false, false},
    };
    for (const Case &c : cases) {
        TSoundPlayer player;
        TWordSound sound(player);
        Options.DontPlayOnReverse = c.dontPlayOnReverse;
        Options.AutoPlayWordSound = c.autoPlay;
        Options.LoopPlay = c.loopPlay;
        Options.LoopPlayDelay = c.delay;
        const QString path = c.fileExists ? word : home.home() + "SOUND/none.wav";
        EXPECT_EQ(sound.Prepare(path, c.reverse), c.enabled) << c.name;
        EXPECT_EQ(s(sound.SoundFile()), s(path)) << c.name;
        EXPECT_EQ(s(player.FileName()), c.playedNow ? s(path) : "") << c.name;
        EXPECT_EQ(sound.TLoopPlay.isActive(), c.timer) << c.name;
        if (c.timer)
            EXPECT_EQ(sound.TLoopPlay.interval(), c.delay * 1000) << c.name;
        // A window opened from the trainer stops the replay; closing it brings back only what
        // this question had.
        sound.Stop();
        EXPECT_FALSE(sound.TLoopPlay.isActive()) << c.name;
        sound.Resume();
        EXPECT_EQ(sound.TLoopPlay.isActive(), c.timer) << c.name;
    }
}

TEST_F(TrainerSound, ANewQuestionStopsTheReplayOfTheLastOne)
{
    TSoundPlayer player;
    TWordSound sound(player);
    Options.AutoPlayWordSound = false;
    Options.LoopPlay = true;
    Options.LoopPlayDelay = 5;
    ASSERT_TRUE(sound.Prepare(word, false));
    ASSERT_TRUE(sound.TLoopPlay.isActive());
    EXPECT_FALSE(sound.Prepare("", false));
    EXPECT_FALSE(sound.TLoopPlay.isActive());
    sound.Resume();
    EXPECT_FALSE(sound.TLoopPlay.isActive());
}

TEST_F(TrainerSound, ReplayTicksPlayAgain)
{
    TSoundPlayer player;
    TWordSound sound(player);
    Options.AutoPlayWordSound = false;
    Options.LoopPlay = true;
    Options.LoopPlayDelay = 1;
    ASSERT_TRUE(sound.Prepare(word, false));
    EXPECT_EQ(s(player.FileName()), "");   // the first play comes after one delay
    runEvents(600);
    EXPECT_EQ(s(player.FileName()), "");
    runEvents(800);
    EXPECT_EQ(s(player.FileName()), s(word));
    player.Close();
    runEvents(1100);
    EXPECT_EQ(s(player.FileName()), s(word));
}

TEST_F(TrainerSound, AnswerSounds)
{
    struct Case {
        const char *name;
        bool right, on;
        const char *field;
        const char *played;   // below the program folder, "" for none
    } cases[] = {
        {"right", true, true, "SOUND\\ok.wav", "SOUND/ok.wav"},
        {"mistake", false, true, "SOUND\\mistake.wav", "SOUND/mistake.wav"},
        {"right, switched off", true, false, "SOUND\\ok.wav", ""},
        {"mistake, switched off", false, false, "SOUND\\mistake.wav", ""},
        {"missing file", true, true, "SOUND\\gone.wav", ""},
        {"name in another case", false, true, "sound\\MISTAKE.WAV", "SOUND/mistake.wav"},
    };
    home.writeFile("SOUND/ok.wav", toneWave(8000, 1, 16, 880, 50));
    home.writeFile("SOUND/mistake.wav", toneWave(8000, 1, 16, 220, 50));
    for (const Case &c : cases) {
        MessageBox::TestHook hook;
        TSoundPlayer player;
        Options.OkSoundOn = c.right && c.on;
        Options.MistakeSoundOn = !c.right && c.on;
        ASSERT_TRUE(SetOptionText(c.right ? Options.OkSoundFile : Options.MistakeSoundFile, c.field));
        PlayAnswerSound(player, c.right);
        EXPECT_EQ(s(player.FileName()), *c.played ? s(home.home() + c.played) : "") << c.name;
        EXPECT_TRUE(hook.texts().isEmpty()) << c.name;
    }
}

// ---------------------------------------------------------------------------------------------
// Real playback through a sound server of the test's own

namespace {

// A sound server the test starts itself: skipped only where pulseaudio is not installed; one
// that is installed but cannot be started fails the test.
#define REQUIRE_SOUND_SERVER(server)                                                              \
    do {                                                                                          \
        if (!(server).installed())                                                                \
            GTEST_SKIP() << "no sound server for the test: " << s((server).why());               \
        ASSERT_TRUE((server).ok()) << "the test's own sound server: " << s((server).why());       \
    } while (0)

// Records the null sink's monitor (22050 Hz mono 16-bit) for as long as it lives.
class Recorder {
public:
    Recorder(const PulseServer &server, const QString &file)
        : m_file(file)
    {
        m_parec.setProcessEnvironment(server.clientEnv());
        m_parec.setStandardOutputFile(file);
        m_parec.start("parec", {"-d", "wordpop_null.monitor", "--format=s16le", "--rate=22050",
                                "--channels=1", "--latency-msec=20"});
        m_parec.waitForStarted(30000);
        // The monitor stream takes a while to deliver its first samples (long under a loaded
        // test run); nothing plays before.
        QElapsedTimer clock;
        clock.start();
        while (QFileInfo(file).size() == 0 && clock.elapsed() < 30000)
            runEvents(20);
    }
    // Stops the recording and returns its samples.
    std::vector<qint16> stop()
    {
        // What the server still holds for the recorder comes out a little later.
        runEvents(1200);
        m_parec.terminate();
        if (!m_parec.waitForFinished(3000)) {
            m_parec.kill();
            m_parec.waitForFinished(3000);
        }
        QFile f(m_file);
        f.open(QIODevice::ReadOnly);
        const QByteArray b = f.readAll();
        std::vector<qint16> samples(size_t(b.size() / 2));
        memcpy(samples.data(), b.constData(), samples.size() * 2);
        return samples;
    }

private:
    QString m_file;
    QProcess m_parec;
};

// A stretch of the recording that is not silent.
struct Burst {
    double startMs, lengthMs, rms, freq;
};

// Cuts the recording into 10 ms windows; windows whose loudness is above a tenth of the tone's
// make bursts (gaps under 50 ms are closed). Pitch from the upward zero crossings.
std::vector<Burst> bursts(const std::vector<qint16> &x, int rate = 22050)
{
    const int win = rate / 100;
    std::vector<bool> loud;
    for (size_t i = 0; i + win <= x.size(); i += win) {
        double sum = 0;
        for (int k = 0; k < win; ++k)
            sum += double(x[i + k]) * x[i + k];
        loud.push_back(std::sqrt(sum / win) > 1000);
    }
    std::vector<Burst> out;
    size_t i = 0;
    while (i < loud.size()) {
        if (!loud[i]) {
            ++i;
            continue;
        }
        size_t end = i;
        size_t j = i;
        while (j < loud.size() && (loud[j] || (j - end) < 5)) {
            if (loud[j])
                end = j;
            ++j;
        }
        const size_t a = i * win, b = (end + 1) * win;
        double sum = 0;
        int crossings = 0;
        for (size_t k = a; k < b; ++k) {
            sum += double(x[k]) * x[k];
            if (k > a && x[k - 1] < 0 && x[k] >= 0)
                ++crossings;
        }
        const double seconds = double(b - a) / rate;
        out.push_back({a * 1000.0 / rate, seconds * 1000, std::sqrt(sum / (b - a)), crossings / seconds});
        i = end + 1;
    }
    return out;
}

struct ChildResult {
    bool finished = false;
    int exitCode = -1;
    QString out;
    qint64 wallMs = 0;
    int value(const char *key) const
    {
        const QRegularExpression re(QString("\\b%1=(-?\\d+)").arg(key));
        const auto m = re.match(out);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }
};

ChildResult runChild(QProcessEnvironment env, const QStringList &args, int timeoutMs = 30000)
{
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    p.start(SOUND_CHILD, args);
    ChildResult r;
    if (!p.waitForStarted(5000))
        return r;
    // Keep our own event loop turning: the recorder and the server are our children too.
    while (p.state() != QProcess::NotRunning && clock.elapsed() < timeoutMs)
        p.waitForFinished(50);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(3000);
        return r;
    }
    r.finished = p.exitStatus() == QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput()) + QString::fromLocal8Bit(p.readAllStandardError());
    r.wallMs = clock.elapsed();
    return r;
}

std::string describe(const std::vector<Burst> &bs)
{
    std::string d;
    for (const Burst &b : bs)
        d += "[at " + std::to_string(int(b.startMs)) + " ms, " + std::to_string(int(b.lengthMs)) + " ms, rms "
            + std::to_string(int(b.rms)) + ", " + std::to_string(int(b.freq)) + " Hz] ";
    return d.empty() ? "silence" : d;
}

} // namespace

TEST(SoundServer, PlaysFilesWholeAndAtTheirPitch)
{
    PulseServer server;
    QTemporaryDir dir;
    REQUIRE_SOUND_SERVER(server);
    struct Case {
        const char *name;
        int rate, channels, bits;
        double freq;
        int ms;
        bool wait;
    } cases[] = {
        {"16-bit mono, waiting", 22050, 1, 16, 440, 600, true},
        {"16-bit mono, not waiting", 22050, 1, 16, 440, 600, false},
        {"8-bit mono 11025 Hz", 11025, 1, 8, 330, 500, true},
        {"16-bit stereo 44100 Hz", 44100, 2, 16, 550, 500, true},
        {"mu-law, through the media backend", 8000, 1, 0, 440, 600, true},
    };
    for (const Case &c : cases) {
        const QString file = dir.path() + "/tone.wav";
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.bits ? toneWave(c.rate, c.channels, c.bits, c.freq, c.ms) : muLawWave(c.rate, c.freq, c.ms));
        f.close();
        Recorder rec(server, dir.path() + "/rec.raw");
        const ChildResult r = runChild(server.clientEnv(), {"play", file, c.wait ? "1" : "0"});
        const auto bs = bursts(rec.stop());
        ASSERT_TRUE(r.finished) << c.name << ": " << s(r.out);
        EXPECT_EQ(r.exitCode, 0) << c.name << ": " << s(r.out);
        EXPECT_EQ(r.value("device"), 1) << c.name << ": " << s(r.out);
        EXPECT_EQ(r.value("result"), 1) << c.name << ": " << s(r.out);
        // The multimedia libraries come with the sound module, loaded when sound is first asked for.
        EXPECT_EQ(r.value("mapped_at_start"), 0) << c.name << ": " << s(r.out);
        EXPECT_EQ(r.value("mapped"), 1) << c.name << ": " << s(r.out);
        if (c.wait) {
            EXPECT_GE(r.value("elapsed"), c.ms - 50) << c.name << ": returned before the sound ended";
            EXPECT_LT(r.value("elapsed"), c.ms + 4000) << c.name << ": waited long past the sound";
            EXPECT_GE(r.value("ticks"), c.ms / 50 / 2) << c.name << ": timers stood still during the wait";
            EXPECT_EQ(r.value("playing"), 0) << c.name;
        } else {
            EXPECT_LT(r.value("elapsed"), c.ms - 100) << c.name << ": waited although asked not to";
            EXPECT_EQ(r.value("playing"), 1) << c.name;
        }
        // Played once, whole, as the tone it is.
        ASSERT_EQ(bs.size(), 1u) << c.name << ": " << describe(bs);
        EXPECT_NEAR(bs[0].lengthMs, c.ms, 80) << c.name << ": " << describe(bs);
        EXPECT_NEAR(bs[0].freq, c.freq, c.freq * 0.03) << c.name << ": " << describe(bs);
        EXPECT_NEAR(bs[0].rms, 0.5 / std::sqrt(2.0) * 32767, 0.15 * 32767) << c.name << ": " << describe(bs);
    }
}

TEST(SoundServer, WordSoundReplaysEveryDelay)
{
    PulseServer server;
    QTemporaryDir dir;
    REQUIRE_SOUND_SERVER(server);
    const QString file = dir.path() + "/word.wav";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(toneWave(22050, 1, 16, 440, 300));
    f.close();
    struct Case {
        bool autoPlay;
        size_t plays;   // in 3.5 s with a 1 s delay
    } cases[] = {{true, 4}, {false, 3}};
    for (const Case &c : cases) {
        Recorder rec(server, dir.path() + "/rec.raw");
        const ChildResult r = runChild(server.clientEnv(), {"word", file, c.autoPlay ? "1" : "0", "1", "3500"});
        const auto bs = bursts(rec.stop());
        ASSERT_TRUE(r.finished) << s(r.out);
        EXPECT_EQ(r.value("enabled"), 1) << s(r.out);
        ASSERT_EQ(bs.size(), c.plays) << "autoplay " << c.autoPlay << ": " << describe(bs);
        for (size_t i = 1; i < bs.size(); ++i)
            EXPECT_NEAR(bs[i].startMs - bs[i - 1].startMs, 1000, 150) << describe(bs);
    }
}

TEST(SoundServer, PlayingAgainWhenASoundHasEnded)
{
    PulseServer server;
    QTemporaryDir dir;
    REQUIRE_SOUND_SERVER(server);
    const QString file = dir.path() + "/word.wav";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(toneWave(22050, 1, 16, 440, 400));
    f.close();
    Recorder rec(server, dir.path() + "/rec.raw");
    const ChildResult r = runChild(server.clientEnv(), {"again", file});
    const auto bs = bursts(rec.stop());
    ASSERT_TRUE(r.finished) << s(r.out);
    EXPECT_EQ(r.exitCode, 0) << s(r.out);
    EXPECT_EQ(r.value("first"), 1) << s(r.out);
    EXPECT_EQ(r.value("second"), 1) << s(r.out);
    EXPECT_EQ(r.value("finished"), 2) << s(r.out);
    ASSERT_EQ(bs.size(), 2u) << describe(bs);
    for (const Burst &b : bs)
        EXPECT_NEAR(b.lengthMs, 400, 80) << describe(bs);
}

TEST(SoundServer, ClosingOrDestroyingThePlayerEndsAWait)
{
    PulseServer server;
    QTemporaryDir dir;
    REQUIRE_SOUND_SERVER(server);
    const QString file = dir.path() + "/long.wav";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(toneWave(22050, 1, 16, 440, 3000));
    f.close();
    for (const char *how : {"close", "delete"}) {
        Recorder rec(server, dir.path() + "/rec.raw");
        const ChildResult r = runChild(server.clientEnv(), {"cut", file, how});
        const auto bs = bursts(rec.stop());
        ASSERT_TRUE(r.finished) << how << ": " << s(r.out);
        EXPECT_EQ(r.exitCode, 0) << how << ": " << s(r.out);
        EXPECT_EQ(r.value("result"), 1) << how << ": " << s(r.out);
        EXPECT_LT(r.value("elapsed"), 1500) << how << ": the wait went on";
        if (std::string(how) == "close") {
            EXPECT_EQ(r.value("closedname"), 1) << s(r.out);
            EXPECT_EQ(r.value("playing"), 0) << s(r.out);
            EXPECT_EQ(r.value("finished"), 1) << s(r.out);
        }
        // Whatever reached the server before the cut, the sound did not play on.
        for (const Burst &b : bs)
            EXPECT_LT(b.lengthMs, 1500) << how << ": " << describe(bs);
    }
}

TEST(SoundServer, DamagedFilesNeitherHangNorCrash)
{
    PulseServer server;
    QTemporaryDir dir;
    REQUIRE_SOUND_SERVER(server);
    QByteArray truncated = toneWave(22050, 1, 16, 440, 500).left(3000);
    QByteArray hugeChunk = toneWave(22050, 1, 16, 440, 100);
    hugeChunk[16] = char(0xff); hugeChunk[17] = char(0xff); hugeChunk[18] = char(0xff); hugeChunk[19] = char(0x7f);
    QByteArray noFormat = "RIFF\x10\0\0\0WAVEdata\x04\0\0\0abcd";
    noFormat.resize(24);
    QByteArray adpcm = toneWave(22050, 1, 16, 440, 100);
    adpcm[20] = 2;   // a compressed format the wave path does not decode
    const QByteArray cases[] = {truncated, hugeChunk, noFormat, adpcm, QByteArray(5000, 'x'), QByteArray()};
    int n = 0;
    for (const QByteArray &bytes : cases) {
        const QString file = dir.path() + QString("/bad%1.wav").arg(n++);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        const ChildResult r = runChild(server.clientEnv(), {"play", file, "1"}, 20000);
        EXPECT_TRUE(r.finished) << "case " << n - 1 << ": " << s(r.out);
        EXPECT_EQ(r.exitCode, 0) << "case " << n - 1 << ": " << s(r.out);
        EXPECT_LT(r.wallMs, 15000) << "case " << n - 1;
    }
}

TEST(SoundServer, WithoutAServerThereIsNoDeviceAndPlayingFailsQuietly)
{
    PulseServer server;   // only for its environment of a client that finds no server
    QTemporaryDir dir;
    const QString file = dir.path() + "/tone.wav";
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(toneWave(22050, 1, 16, 440, 300));
    f.close();
    for (const char *wait : {"1", "0"}) {
        const ChildResult r = runChild(server.noServerEnv(), {"play", file, wait}, 20000);
        ASSERT_TRUE(r.finished) << s(r.out);
        EXPECT_EQ(r.exitCode, 0) << s(r.out);
        EXPECT_EQ(r.value("device"), 0) << s(r.out);
        EXPECT_EQ(r.value("result"), 0) << s(r.out);
        EXPECT_EQ(r.value("error"), int(TSoundPlayer::NoOutput)) << s(r.out);
        EXPECT_LT(r.value("elapsed"), 2000) << s(r.out);
    }
}
