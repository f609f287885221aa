// Defaults, loading and saving of the settings record, the recent-dictionary list and the
// language fonts. Relies on the program folder, the Windows-1251 conversion and error 6.
#include "settings/TOptions.h"

#include "messages/ShowError.h"
#include "platform/ProgramFolder.h"
#include "platform/SafeWrite.h"
#include "platform/SoundDevice.h"
#include "platform/Text.h"
#include "platform/WorkArea.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>

#include <algorithm>
#include <memory>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TOptions Options;

namespace {

QStringList g_recent;
constexpr int kRecentMax = 5;

void setCentred(WindowRect &r, int width, int height, const QSize &screen)
{
    r.Width = width;
    r.Height = height;
    r.Left = (screen.width() - width) / 2;
    r.Top = (screen.height() - height) / 2;
}

void setCString(char *slot, std::size_t size, const char *text)
{
    const std::size_t n = std::min(std::strlen(text), size - 1);
    std::memcpy(slot, text, n);
    std::memset(slot + n, 0, size - n);
}

// A damaged file may hold a slot without a terminator; every reader of the record (some use
// plain C string calls) must find one inside the slot.
void terminateStrings(TOptions &o)
{
    struct Slot { char *p; std::size_t n; };
    const Slot strings[] = {
        {o.StudiedFontName, sizeof o.StudiedFontName},
        {o.NativeFontName, sizeof o.NativeFontName},
        {o.TranscriptionFontName, sizeof o.TranscriptionFontName},
        {o.StudiedLayout, sizeof o.StudiedLayout},
        {o.NativeLayout, sizeof o.NativeLayout},
        {o.TranscriptionLayout, sizeof o.TranscriptionLayout},
        {o.ProxyAddress, sizeof o.ProxyAddress},
        {o.SaveDictionaryFolder, sizeof o.SaveDictionaryFolder},
        {o.OpenDictionaryFolder, sizeof o.OpenDictionaryFolder},
        {o.ImportFolder, sizeof o.ImportFolder},
        {o.EditorDictionary, sizeof o.EditorDictionary},
        {o.SoundFolder, sizeof o.SoundFolder},
        {o.LoadBlockFolder, sizeof o.LoadBlockFolder},
        {o.SaveBlockFolder, sizeof o.SaveBlockFolder},
        {o.OkSoundFile, sizeof o.OkSoundFile},
        {o.MistakeSoundFile, sizeof o.MistakeSoundFile},
        {o.ChildrenPassword, sizeof o.ChildrenPassword},
        {o.RecentDictionaries[0], sizeof o.RecentDictionaries[0]},
        {o.RecentDictionaries[1], sizeof o.RecentDictionaries[1]},
        {o.RecentDictionaries[2], sizeof o.RecentDictionaries[2]},
        {o.RecentDictionaries[3], sizeof o.RecentDictionaries[3]},
        {o.RecentDictionaries[4], sizeof o.RecentDictionaries[4]},
    };
    for (const Slot &s : strings) {
        if (!std::memchr(s.p, 0, s.n))
            s.p[s.n - 1] = 0;
    }
}

QString optionsPath()
{
    const QString folder = ProgramFolder::path();
    if (folder.isEmpty())
        return {};
    // An older installation may have spelt the name differently.
    return ProgramFolder::findCaseInsensitive(folder + QLatin1String(kOptionsFileName));
}

// The new block replaces the old file only once it is whole on the disk, so a crash or a full
// disk never leaves a short or empty settings file.
bool writeReplacing(const QByteArray &target, const TOptions &o)
{
    const char *bytes = reinterpret_cast<const char *>(&o);
    struct stat old {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    // A settings file the user made read-only stays as it is.
    if (exists && ::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
        return false;
    std::unique_ptr<SafeWrite::Temporary> tmp;
    try {
        tmp = std::make_unique<SafeWrite::Temporary>(target.toStdString());
    } catch (const SafeWrite::Error &) {
    }
    if (tmp) {
        const int fd = ::open(tmp->path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0)
            return false;
        bool ok = SafeWrite::WriteAll(fd, bytes, sizeof o);
        ok = (::close(fd) == 0) && ok;
        try {
            if (ok)
                tmp->commit(target.toStdString());
        } catch (const SafeWrite::Error &) {
            ok = false;
        }
        return ok;
    }
    if (!exists)
        return false;
    // The folder takes no new files but the settings file itself is writable: overwrite it in
    // place, the whole block first and only then the cut, so it is never short.
    const int wfd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
    if (wfd < 0)
        return false;
    bool ok = SafeWrite::WriteAll(wfd, bytes, sizeof o) && ::ftruncate(wfd, off_t(sizeof o)) == 0 && ::fsync(wfd) == 0;
    ok = (::close(wfd) == 0) && ok;
    return ok;
}

// A save cut short by a crash leaves its temporary file behind; only one instance runs, so any
// such file at start belongs to nobody.
void removeStaleTemporaries(const QString &folder)
{
    // A plain test of the name, not a wildcard filter: QDir's filters bring in the regular
    // expression engine, memory a start should not spend.
    QDir dir(folder);
    // ".wordpop.tmp-XXXXXX.opt"; ".wordpop.opt.XXXXXX" is what earlier builds used.
    const QString head = QStringLiteral(".wordpop.tmp-"), tail = QStringLiteral(".opt");
    const QString older = QStringLiteral(".wordpop.opt.");
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
        const bool current = name.size() == head.size() + 6 + tail.size() && name.startsWith(head) && name.endsWith(tail);
        const bool earlier = name.size() == older.size() + 6 && name.startsWith(older);
        if (current || earlier)
            dir.remove(name);
    }
}

} // namespace

QString OptionTextN(const char *slot, std::size_t size)
{
    const void *end = std::memchr(slot, 0, size);
    const std::size_t n = end ? std::size_t(static_cast<const char *>(end) - slot) : size;
    return Text::fromCp1251(std::string(slot, n));
}

bool SetOptionTextN(char *slot, std::size_t size, const QString &text, bool whole)
{
    int lost = 0;
    std::string bytes = Text::toCp1251(text, &lost);
    bool exact = lost == 0;
    if (const std::size_t nul = bytes.find('\0'); nul != std::string::npos) {
        bytes.resize(nul);
        exact = false;
    }
    if (bytes.size() > size - 1) {
        bytes.resize(size - 1);
        exact = false;
    }
    if (whole && !exact)
        bytes.clear();
    // The rest of the slot is cleared so that nothing of an older, longer value (a password)
    // stays in the file.
    std::memcpy(slot, bytes.data(), bytes.size());
    std::memset(slot + bytes.size(), 0, size - bytes.size());
    return exact;
}

void SetDefaultOptions(TOptions &o)
{
    const QSize screen = Desktop::screenSize();
    const QString folder = ProgramFolder::path();
    const bool sound = HasSoundDevice();

    o.QuestionVisible = true;
    o.ShowTranscription = true;
    if (Desktop::logicalDpi() <= 96)
        setCentred(o.TrainerWindowRect, 341, 213, screen);
    else
        setCentred(o.TrainerWindowRect, 375, 237, screen);
    setCentred(o.EditorWindowRect, 500, 330, screen);
    setCentred(o.AddWordWindowRect, 369, 270, screen);
    setCentred(o.DictionariesWindowRect, 448, 257, screen);
    setCentred(o.OptionsWindowRect, 545, 325, screen);
    o.QuestionPanelHeight = 25;
    o.TranscriptionPanelHeight = 20;
    o.DictionaryListWidth = 216;
    o.EditorColumn1Width = 0;
    o.EditorColumn2Width = 0;
    o.EditorPinned = false;
    o.ShowOverFullScreen = 0;
    o.DictionariesPinned = false;
    o.AddWordPinned = false;
    o.OptionsPinned = false;
    o.StatTotalWords = 0;
    o.StatStudiedWords = 0;
    o.StatLearnedWords = 0;
    o.StatRightAnswers = 0;
    o.StatMistakes = 0;
    o.StatAnswers = 0;
    o.Spare088 = 0;
    o.StatMovedToLearned = 0;
    o.ChoiceMistakeBalance = 0;
    o.TypingMistakeBalance = 0;
    o.LearnedChoiceCount = 20;
    o.LearnedTypingCount = 5;
    o.InputPage = 0;
    o.CheckOrder = 2;
    o.AutoShowInterval = 15;
    o.InactivityPause = 7000;
    o.HideAfterRightAnswers = 10;
    o.BaseDivision = 100;
    o.ExactCorrect = false;
    o.NoBackTranscription = true;
    o.LearnedLogic = 0;
    o.ShowFirstLetter = true;
    o.AutoRun = true;
    o.AutoSwitchLayout = true;
    o.DontCheckDirectInTyping = true;
    o.CheckKeyboardActivity = true;
    o.CheckMouseActivity = true;
    o.AutoShow = true;
    o.RepeatAfterMistake = true;
    o.StartImmediately = true;
    o.LearnedAction = 0;
    o.RepeatLearned = true;
    o.RepeatLearnedDelay = 20;
    o.RepeatLearnedIntensity = 20;
    o.HookLoaded = false;
    o.ChildrenMode = false;
    o.StudiedFontCharset = 204;
    o.NativeFontCharset = 204;
    o.TranscriptionFontCharset = 204;
    setCString(o.StudiedFontName, sizeof o.StudiedFontName, "MS Sans Serif");
    setCString(o.NativeFontName, sizeof o.NativeFontName, "MS Sans Serif");
    setCString(o.TranscriptionFontName, sizeof o.TranscriptionFontName, "MS Sans Serif");
    setCString(o.StudiedLayout, sizeof o.StudiedLayout, "00000409");
    setCString(o.NativeLayout, sizeof o.NativeLayout, "00000419");
    setCString(o.TranscriptionLayout, sizeof o.TranscriptionLayout, "00000409");
    o.Spare408[0] = o.Spare408[1] = o.Spare408[2] = 3;
    setCString(o.ProxyAddress, sizeof o.ProxyAddress, "");
    o.ProxyPort = 0;
    o.UseProxy = false;
    o.AddWordCheckDuplicates = true;
    SetOptionPath(o.SaveDictionaryFolder, folder.isEmpty() ? QString() : folder + "BASE/ON/");
    SetOptionPath(o.OpenDictionaryFolder, folder.isEmpty() ? QString() : folder + "BASE/ON/");
    SetOptionPath(o.ImportFolder, folder);
    SetOptionPath(o.Spare836, folder);
    setCString(o.EditorDictionary, sizeof o.EditorDictionary, "");
    SetOptionPath(o.SoundFolder, folder.isEmpty() ? QString() : folder + "SOUND");
    SetOptionPath(o.LoadBlockFolder, folder.isEmpty() ? QString() : folder + "BASE");
    SetOptionPath(o.SaveBlockFolder, folder.isEmpty() ? QString() : folder + "BASE");
    // Stored relative forms keep the Windows separators, so the file moves between installations.
    setCString(o.OkSoundFile, sizeof o.OkSoundFile, "SOUND\\ok.wav");
    o.OkSoundOn = true;
    setCString(o.MistakeSoundFile, sizeof o.MistakeSoundFile, "SOUND\\mistake.wav");
    o.MistakeSoundOn = true;
    o.AutoPlayWordSound = sound;
    o.LoopPlay = sound;
    if (sound)
        o.LoopPlayDelay = 5;
    o.DontPlayOnReverse = true;
    for (auto &slot : o.RecentDictionaries)
        setCString(slot, sizeof slot, "");
    g_recent.clear();
}

void LoadOptions(TOptions &o)
{
    const QString path = optionsPath();
    if (!path.isEmpty())
        removeStaleTemporaries(ProgramFolder::path());
    std::size_t got = 0;
    // Non-blocking, so that a pipe or device in the file's place cannot hang the start.
    int fd = path.isEmpty() ? -1 : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        fd = -1;
    }
    if (fd >= 0) {
        char *dst = reinterpret_cast<char *>(&o);
        while (got < sizeof o) {
            const ssize_t n = ::read(fd, dst + got, sizeof o - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += std::size_t(n);
        }
        ::close(fd);
    }
    if (got < sizeof o) {
        SetDefaultOptions(o);
        SaveOptions(o);
    }
    terminateStrings(o);

    g_recent.clear();
    for (const auto &slot : o.RecentDictionaries) {
        const QString entry = OptionText(slot);
        if (entry.isEmpty())
            continue;
        if (QFileInfo::exists(ProgramFolder::findCaseInsensitive(entry + ".wrd")))
            g_recent.append(entry);
    }
}

bool SaveOptions(TOptions &o)
{
    for (int i = 0; i < kRecentMax; ++i) {
        if (i < g_recent.size())
            SetOptionPath(o.RecentDictionaries[i], g_recent.at(i));
        else
            setCString(o.RecentDictionaries[i], sizeof o.RecentDictionaries[i], "");
    }
    const QString path = optionsPath();
    if (path.isEmpty())
        return false;
    QByteArray target = QFile::encodeName(path);
    // A settings file that is a link is replaced where it points, the link stays.
    const QFileInfo fi(path);
    if (fi.isSymLink() && fi.exists())
        target = QFile::encodeName(fi.canonicalFilePath());
    if (!writeReplacing(target, o)) {
        ShowError(6, QString());
        return false;
    }
    return true;
}

const QStringList &RecentDictionaryList()
{
    return g_recent;
}

void AddRecentDictionary(const QString &path)
{
    const QString key = path.toLower();
    for (int i = 0; i < g_recent.size(); ++i) {
        if (g_recent.at(i).toLower() == key) {
            if (i > 0)
                g_recent.swapItemsAt(0, i);
            return;
        }
    }
    if (g_recent.size() >= kRecentMax)
        g_recent.removeAt(kRecentMax - 1);
    g_recent.prepend(path);
}

void ApplyLanguageFont(const TOptions &o, QFont &font, int group)
{
    switch (group) {
    case 0:
        font.setFamily(OptionText(o.StudiedFontName));
        break;
    case 1:
        font.setFamily(OptionText(o.NativeFontName));
        break;
    case 2:
        font.setFamily(OptionText(o.TranscriptionFontName));
        break;
    default:
        break;
    }
}
