// The one settings record. Its memory image is the settings file "wordpop.opt" byte for byte
// (6724 bytes, little-endian), so the layout below is the file format: every offset is checked.
// Strings are Windows-1251; write them only through SetOptionText / SetOptionPath.
#pragma once

#include "settings/WindowPlacement.h"

#include <QString>
#include <QStringList>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

class QFont;

// A bool stored as one byte: any non-zero byte reads as true, and the byte read from the file
// is written back unchanged until someone assigns it.
struct ByteBool {
    std::uint8_t v;
    ByteBool() = default;
    constexpr ByteBool(bool b) : v(b ? 1 : 0) {}
    constexpr operator bool() const { return v != 0; }
};

struct TOptions {
    ByteBool QuestionVisible;                 // 0x000
    ByteBool ShowTranscription;               // 0x001
    std::uint8_t Padding002[2];
    WindowRect TrainerWindowRect;             // 0x004
    WindowRect EditorWindowRect;              // 0x014
    WindowRect AddWordWindowRect;             // 0x024
    WindowRect DictionariesWindowRect;        // 0x034
    WindowRect OptionsWindowRect;             // 0x044
    std::int32_t QuestionPanelHeight;         // 0x054
    std::int32_t TranscriptionPanelHeight;    // 0x058
    std::int32_t DictionaryListWidth;         // 0x05C
    std::int32_t EditorColumn1Width;          // 0x060
    std::int32_t EditorColumn2Width;          // 0x064
    ByteBool EditorPinned;                    // 0x068
    // Once a spare byte, so every existing file holds 0 here: 0 holds a due lesson back while a
    // full-screen window is active, a program keeps the screen awake or notifications are silenced;
    // 1 shows it all the same.
    std::uint8_t ShowOverFullScreen;          // 0x069
    ByteBool DictionariesPinned;              // 0x06A
    ByteBool AddWordPinned;                   // 0x06B
    ByteBool OptionsPinned;                   // 0x06C
    std::uint8_t Padding06D[3];
    std::int32_t StatTotalWords;              // 0x070
    std::int32_t StatStudiedWords;            // 0x074
    std::int32_t StatLearnedWords;            // 0x078
    std::int32_t StatRightAnswers;            // 0x07C
    std::int32_t StatMistakes;                // 0x080
    std::int32_t StatAnswers;                 // 0x084
    std::int32_t Spare088;
    std::int32_t StatMovedToLearned;          // 0x08C
    std::int32_t ChoiceMistakeBalance;        // 0x090
    std::int32_t TypingMistakeBalance;        // 0x094
    std::int32_t LearnedChoiceCount;          // 0x098
    std::int32_t LearnedTypingCount;          // 0x09C
    std::int32_t InputPage;                   // 0x0A0
    std::int32_t CheckOrder;                  // 0x0A4
    std::int32_t AutoShowInterval;            // 0x0A8
    std::int32_t InactivityPause;             // 0x0AC
    std::int32_t HideAfterRightAnswers;       // 0x0B0
    std::int32_t BaseDivision;                // 0x0B4
    ByteBool ExactCorrect;                    // 0x0B8
    ByteBool NoBackTranscription;             // 0x0B9
    std::uint8_t Padding0BA[2];
    std::int32_t LearnedLogic;                // 0x0BC
    ByteBool ShowFirstLetter;                 // 0x0C0
    std::uint8_t Reserved0C1[11];
    ByteBool AutoRun;                         // 0x0CC
    ByteBool AutoSwitchLayout;                // 0x0CD
    ByteBool DontCheckDirectInTyping;         // 0x0CE
    ByteBool CheckKeyboardActivity;           // 0x0CF
    ByteBool CheckMouseActivity;              // 0x0D0
    ByteBool AutoShow;                        // 0x0D1
    ByteBool RepeatAfterMistake;              // 0x0D2
    ByteBool StartImmediately;                // 0x0D3
    std::int32_t LearnedAction;               // 0x0D4
    ByteBool RepeatLearned;                   // 0x0D8
    std::uint8_t Padding0D9[3];
    std::int32_t RepeatLearnedDelay;          // 0x0DC
    std::int32_t RepeatLearnedIntensity;      // 0x0E0
    std::uint8_t Reserved0E4;
    ByteBool HookLoaded;                      // 0x0E5
    ByteBool ChildrenMode;                    // 0x0E6
    std::uint8_t StudiedFontCharset;          // 0x0E7
    std::uint8_t NativeFontCharset;           // 0x0E8
    std::uint8_t TranscriptionFontCharset;    // 0x0E9
    char StudiedFontName[256];                // 0x0EA
    char NativeFontName[256];                 // 0x1EA
    char TranscriptionFontName[256];          // 0x2EA
    char StudiedLayout[10];                   // 0x3EA
    char NativeLayout[10];                    // 0x3F4
    char TranscriptionLayout[10];             // 0x3FE
    std::int32_t Spare408[3];
    char ProxyAddress[256];                   // 0x414
    std::int32_t ProxyPort;                   // 0x514
    ByteBool UseProxy;                        // 0x518
    ByteBool AddWordCheckDuplicates;          // 0x519
    std::uint8_t Padding51A[2];
    std::uint8_t Reserved51C[26];
    char SaveDictionaryFolder[256];           // 0x536
    char OpenDictionaryFolder[256];           // 0x636
    char ImportFolder[256];                   // 0x736
    char Spare836[256];
    char EditorDictionary[256];               // 0x936
    char SoundFolder[256];                    // 0xA36
    char LoadBlockFolder[256];                // 0xB36
    char SaveBlockFolder[256];                // 0xC36
    char OkSoundFile[256];                    // 0xD36
    ByteBool OkSoundOn;                       // 0xE36
    char MistakeSoundFile[256];               // 0xE37
    ByteBool MistakeSoundOn;                  // 0xF37
    ByteBool AutoPlayWordSound;               // 0xF38
    ByteBool LoopPlay;                        // 0xF39
    std::uint8_t Padding0F3A[2];
    std::int32_t LoopPlayDelay;               // 0xF3C
    ByteBool DontPlayOnReverse;               // 0xF40
    char ChildrenPassword[256];               // 0xF41
    char RecentDictionaries[5][512];          // 0x1041
    std::uint8_t Padding1A41[3];
};

static_assert(std::endian::native == std::endian::little, "the settings file is little-endian");
static_assert(std::is_trivially_copyable_v<TOptions> && std::is_standard_layout_v<TOptions>);
static_assert(sizeof(ByteBool) == 1 && sizeof(WindowRect) == 16);
static_assert(offsetof(WindowRect, Left) == 0 && offsetof(WindowRect, Top) == 4);
static_assert(offsetof(WindowRect, Width) == 8 && offsetof(WindowRect, Height) == 12);

#define WORDPOP_AT(field, offset) static_assert(offsetof(TOptions, field) == offset, #field)
WORDPOP_AT(QuestionVisible, 0x000);
WORDPOP_AT(ShowTranscription, 0x001);
WORDPOP_AT(TrainerWindowRect, 0x004);
WORDPOP_AT(EditorWindowRect, 0x014);
WORDPOP_AT(AddWordWindowRect, 0x024);
WORDPOP_AT(DictionariesWindowRect, 0x034);
WORDPOP_AT(OptionsWindowRect, 0x044);
WORDPOP_AT(QuestionPanelHeight, 0x054);
WORDPOP_AT(TranscriptionPanelHeight, 0x058);
WORDPOP_AT(DictionaryListWidth, 0x05C);
WORDPOP_AT(EditorColumn1Width, 0x060);
WORDPOP_AT(EditorColumn2Width, 0x064);
WORDPOP_AT(EditorPinned, 0x068);
WORDPOP_AT(ShowOverFullScreen, 0x069);
WORDPOP_AT(DictionariesPinned, 0x06A);
WORDPOP_AT(AddWordPinned, 0x06B);
WORDPOP_AT(OptionsPinned, 0x06C);
WORDPOP_AT(StatTotalWords, 0x070);
WORDPOP_AT(StatStudiedWords, 0x074);
WORDPOP_AT(StatLearnedWords, 0x078);
WORDPOP_AT(StatRightAnswers, 0x07C);
WORDPOP_AT(StatMistakes, 0x080);
WORDPOP_AT(StatAnswers, 0x084);
WORDPOP_AT(Spare088, 0x088);
WORDPOP_AT(StatMovedToLearned, 0x08C);
WORDPOP_AT(ChoiceMistakeBalance, 0x090);
WORDPOP_AT(TypingMistakeBalance, 0x094);
WORDPOP_AT(LearnedChoiceCount, 0x098);
WORDPOP_AT(LearnedTypingCount, 0x09C);
WORDPOP_AT(InputPage, 0x0A0);
WORDPOP_AT(CheckOrder, 0x0A4);
WORDPOP_AT(AutoShowInterval, 0x0A8);
WORDPOP_AT(InactivityPause, 0x0AC);
WORDPOP_AT(HideAfterRightAnswers, 0x0B0);
WORDPOP_AT(BaseDivision, 0x0B4);
WORDPOP_AT(ExactCorrect, 0x0B8);
WORDPOP_AT(NoBackTranscription, 0x0B9);
WORDPOP_AT(LearnedLogic, 0x0BC);
WORDPOP_AT(ShowFirstLetter, 0x0C0);
WORDPOP_AT(Reserved0C1, 0x0C1);
WORDPOP_AT(AutoRun, 0x0CC);
WORDPOP_AT(AutoSwitchLayout, 0x0CD);
WORDPOP_AT(DontCheckDirectInTyping, 0x0CE);
WORDPOP_AT(CheckKeyboardActivity, 0x0CF);
WORDPOP_AT(CheckMouseActivity, 0x0D0);
WORDPOP_AT(AutoShow, 0x0D1);
WORDPOP_AT(RepeatAfterMistake, 0x0D2);
WORDPOP_AT(StartImmediately, 0x0D3);
WORDPOP_AT(LearnedAction, 0x0D4);
WORDPOP_AT(RepeatLearned, 0x0D8);
WORDPOP_AT(RepeatLearnedDelay, 0x0DC);
WORDPOP_AT(RepeatLearnedIntensity, 0x0E0);
WORDPOP_AT(Reserved0E4, 0x0E4);
WORDPOP_AT(HookLoaded, 0x0E5);
WORDPOP_AT(ChildrenMode, 0x0E6);
WORDPOP_AT(StudiedFontCharset, 0x0E7);
WORDPOP_AT(NativeFontCharset, 0x0E8);
WORDPOP_AT(TranscriptionFontCharset, 0x0E9);
WORDPOP_AT(StudiedFontName, 0x0EA);
WORDPOP_AT(NativeFontName, 0x1EA);
WORDPOP_AT(TranscriptionFontName, 0x2EA);
WORDPOP_AT(StudiedLayout, 0x3EA);
WORDPOP_AT(NativeLayout, 0x3F4);
WORDPOP_AT(TranscriptionLayout, 0x3FE);
WORDPOP_AT(Spare408, 0x408);
WORDPOP_AT(ProxyAddress, 0x414);
WORDPOP_AT(ProxyPort, 0x514);
WORDPOP_AT(UseProxy, 0x518);
WORDPOP_AT(AddWordCheckDuplicates, 0x519);
WORDPOP_AT(Reserved51C, 0x51C);
WORDPOP_AT(SaveDictionaryFolder, 0x536);
WORDPOP_AT(OpenDictionaryFolder, 0x636);
WORDPOP_AT(ImportFolder, 0x736);
WORDPOP_AT(Spare836, 0x836);
WORDPOP_AT(EditorDictionary, 0x936);
WORDPOP_AT(SoundFolder, 0xA36);
WORDPOP_AT(LoadBlockFolder, 0xB36);
WORDPOP_AT(SaveBlockFolder, 0xC36);
WORDPOP_AT(OkSoundFile, 0xD36);
WORDPOP_AT(OkSoundOn, 0xE36);
WORDPOP_AT(MistakeSoundFile, 0xE37);
WORDPOP_AT(MistakeSoundOn, 0xF37);
WORDPOP_AT(AutoPlayWordSound, 0xF38);
WORDPOP_AT(LoopPlay, 0xF39);
WORDPOP_AT(LoopPlayDelay, 0xF3C);
WORDPOP_AT(DontPlayOnReverse, 0xF40);
WORDPOP_AT(ChildrenPassword, 0xF41);
WORDPOP_AT(RecentDictionaries, 0x1041);
WORDPOP_AT(Padding1A41, 0x1A41);
#undef WORDPOP_AT
static_assert(sizeof(TOptions) == 6724, "the settings file is 6724 bytes");

// The settings file's name in the program folder, and its size.
inline constexpr const char *kOptionsFileName = "wordpop.opt";
inline constexpr std::size_t kOptionsFileSize = sizeof(TOptions);

// The one record, alive from static initialisation to exit.
extern TOptions Options;

// Fills every field that has a default; screen-dependent ones come from the primary screen,
// so it runs once the windowing system is up. Empties the recent-dictionary list.
void SetDefaultOptions(TOptions &o = Options);

// Reads the settings file; a missing, unreadable or short file gets the defaults and is written
// at once. Rebuilds the recent-dictionary list, dropping dictionaries that no longer exist.
void LoadOptions(TOptions &o = Options);

// Mirrors the recent-dictionary list into the record and writes the whole record. The old file
// is replaced only by a complete new one; on failure error 6 is shown and the record stays.
// Returns whether the file was written.
bool SaveOptions(TOptions &o = Options);

// The recent-dictionary list: paths without ".wrd", most recent first, at most 5.
const QStringList &RecentDictionaryList();
void AddRecentDictionary(const QString &path);

// Sets a font's family from language group 0 (studied), 1 (native) or 2 (transcription); any
// other group leaves it alone. Qt fonts carry no character set: the charset stays in the record.
void ApplyLanguageFont(const TOptions &o, QFont &font, int group);

// String slots. Reading stops at the terminator or at the slot's end, whichever comes first.
QString OptionTextN(const char *slot, std::size_t size);
bool SetOptionTextN(char *slot, std::size_t size, const QString &text, bool whole);

template <std::size_t N>
QString OptionText(const char (&slot)[N])
{
    return OptionTextN(slot, N);
}

// Free text: at most N - 1 characters are kept (a longer text is cut); characters that
// Windows-1251 lacks become "?". Returns false when the text was not kept exactly.
template <std::size_t N>
bool SetOptionText(char (&slot)[N], const QString &text)
{
    return SetOptionTextN(slot, N, text, false);
}

// A path is stored whole or not at all: one that is too long or that Windows-1251 cannot hold
// leaves the slot empty (a cut or garbled path would name another file). Returns whether kept.
template <std::size_t N>
bool SetOptionPath(char (&slot)[N], const QString &path)
{
    return SetOptionTextN(slot, N, path, true);
}
