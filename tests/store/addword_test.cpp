// The add-word dialog driven without being shown, on real dictionaries in a private program
// folder: what each entry writes, the duplicate check, edit mode, new dictionaries, sounds,
// refusals, keys and the result the trainer gets.
#include "store/AddWord.h"

#include "engine/DataSet.h"
#include "engine/EngineError.h"
#include "settings/Lang.h"
#include "messages/LineInput.h"
#include "messages/ShowError.h"
#include "platform/Dialogs.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "store/Dictionary.h"
#include "store/Topics.h"

#include "common/TestHome.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <optional>

namespace {

std::string W(const QString &text) { return Text::toCp1251(text); }

struct Rec {
    QString word1, word2, transcript, wav;
    int counter = 0;
};

struct Stored {
    std::string word1, word2, transcript, wav;
    int wavStart, wavEnd, miss, kbmiss, inrow, kbinrow;
};

class AddWord : public ::testing::Test {
protected:
    TestHome home;
    TDbfDataSet words;
    TTopics topics{words};
    TOptions options{};

    void SetUp() override
    {
        ProgramFolder::set(home.home());
        for (const char *f : {"BASE", "BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF", "SOUND"})
            QDir().mkpath(home.home() + f);
        words.SetExclusive(true);
        SetDefaultOptions(options);
        options.AddWordCheckDuplicates = true;
        options.StatStudiedWords = 10;
        options.StatTotalWords = 20;
    }
    void TearDown() override { topics.CloseDictionary(); }

    void make(TopicKind kind, const QString &name, const std::vector<Rec> &recs)
    {
        const QString path = topics.DictionaryPath(kind, name);
        ASSERT_TRUE(kind == tkLearned ? topics.CreateLearned(path) : topics.CreateDictionary(path));
        for (const Rec &r : recs) {
            words.Append();
            words.FieldByName("WORD1").SetAsString(W(r.word1));
            words.FieldByName("WORD2").SetAsString(W(r.word2));
            words.FieldByName("TRANSCRIPT").SetAsString(W(r.transcript));
            words.FieldByName("WAVFILE").SetAsString(W(r.wav));
            for (const char *c : {"MISS", "KBMISS", "INROW", "KBINROW"})
                words.FieldByName(c).SetAsInteger(r.counter);
            if (kind == tkLearned)
                words.FieldByName("DATE").SetAsDateTime(EncodeDate(2020, 5, 6));
            words.Post();
        }
        topics.CloseDictionary();
    }

    // Every live record of a dictionary in file order, read afresh from disk.
    std::vector<Stored> records(TopicKind kind, const QString &name)
    {
        TDbfDataSet reader;
        reader.SetExclusive(true);
        OpenDictionary(reader, W(topics.DictionaryPath(kind, name)));
        reader.SetIndexName("");
        std::vector<Stored> out;
        for (reader.First(); !reader.Eof(); reader.Next()) {
            auto s = [&](const char *f) { return reader.FieldByName(f).AsString(); };
            auto n = [&](const char *f) { return int(reader.FieldByName(f).AsInteger()); };
            out.push_back({s("WORD1"), s("WORD2"), s("TRANSCRIPT"), s("WAVFILE"), n("WAVSTART"), n("WAVEND"), n("MISS"),
                           n("KBMISS"), n("INROW"), n("KBINROW")});
        }
        reader.Close();
        return out;
    }

    std::unique_ptr<TFAddWord> dialog(bool editMode = false)
    {
        return std::make_unique<TFAddWord>(topics, nullptr, editMode, options);
    }

    static void type(TFAddWord &d, const TWordEntry &e)
    {
        d.EWord->setText(e.word);
        d.ETranslation->setText(e.translation);
        d.ETranscription->setText(e.transcription);
        d.ESound->setText(e.soundFile);
        d.EStart->setText(e.start);
        d.EEnd->setText(e.end);
    }

    static void key(QWidget *w, int k)
    {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(w, &press);
    }
};

} // namespace

TEST_F(AddWord, EntriesAreWrittenWithCountersAtZeroAndCountedInTheStatistics)
{
    struct Case {
        TWordEntry entry;
        bool written;
    };
    const QString sound = QStringLiteral("\\SOUND\\apple.wav");
    const Case cases[] = {
        {{"apple", QString::fromUtf8("яблоко"), "", "", "0", "0"}, true},
        {{"apple", "", "", "", "0", "0"}, true},                       // no translation
        {{"", QString::fromUtf8("груша"), "", "", "0", "0"}, true},   // no word
        {{"cat", QString::fromUtf8("кот"), "[kaet]", sound, "12", "3456"}, true},
        {{"dog", QString::fromUtf8("пёс"), "", "", "", ""}, true},    // empty numbers count as 0
        {{"", "", QString::fromUtf8("только комментарий"), sound, "0", "9"}, false},
    };
    for (const Case &c : cases) {
        make(tkOn, "d", {});
        const int studied = options.StatStudiedWords, total = options.StatTotalWords;
        auto d = dialog();
        type(*d, c.entry);
        d->BMoreWordClick();
        const auto recs = records(tkOn, "d");
        const std::string what = c.entry.word.toStdString() + "/" + c.entry.translation.toStdString();
        ASSERT_EQ(recs.size(), c.written ? 1u : 0u) << what;
        EXPECT_EQ(options.StatStudiedWords, studied + (c.written ? 1 : 0)) << what;
        EXPECT_EQ(options.StatTotalWords, total + (c.written ? 1 : 0)) << what;
        if (c.written) {
            const Stored &r = recs[0];
            EXPECT_EQ(r.word1, W(c.entry.word)) << what;
            EXPECT_EQ(r.word2, W(c.entry.translation)) << what;
            EXPECT_EQ(r.transcript, W(c.entry.transcription)) << what;
            EXPECT_EQ(r.wav, W(c.entry.soundFile)) << what;
            EXPECT_EQ(r.wavStart, c.entry.start.toInt()) << what;
            EXPECT_EQ(r.wavEnd, c.entry.end.toInt()) << what;
            EXPECT_EQ((std::vector<int>{r.miss, r.kbmiss, r.inrow, r.kbinrow}), (std::vector<int>{0, 0, 0, 0})) << what;
        }
        // "Еще слово" empties the edits whether or not it stored anything.
        EXPECT_TRUE(d->EWord->text().isEmpty() && d->ETranscription->text().isEmpty() && d->ESound->text().isEmpty());
        EXPECT_EQ(d->EEnd->text(), "0");
        EXPECT_FALSE(d->BPlay->isEnabled());
        topics.CloseDictionary();
    }
}

TEST_F(AddWord, TheDuplicateCheckDecidesWhetherAnEqualWordIsStoredAgain)
{
    make(tkOn, "d", {{"apple", QString::fromUtf8("яблоко"), "", ""}});
    const TWordEntry same{"apple", QString::fromUtf8("яблоко"), "[x]", "", "0", "0"};

    // Off: the same word goes in a second time, without asking.
    {
        TFDuplicates::TestHook hook;
        auto d = dialog();
        d->ChCheckCopies->setChecked(false);
        type(*d, same);
        d->BMoreWordClick();
        EXPECT_TRUE(hook.shown().isEmpty());
        d->reject();
        EXPECT_FALSE(options.AddWordCheckDuplicates) << "the check box's state is kept";
    }
    ASSERT_EQ(records(tkOn, "d").size(), 2u);
    EXPECT_EQ(options.StatStudiedWords, 11);

    // On, dropped: nothing written, statistics unchanged, the fields emptied for the next word.
    {
        TFDuplicates::TestHook hook;
        hook.answer({TDuplicateOutcome::Dropped, 0});
        auto d = dialog();
        d->ChCheckCopies->setChecked(true);
        type(*d, same);
        d->BMoreWordClick();
        EXPECT_EQ(hook.shown().size(), 1);
        EXPECT_TRUE(d->EWord->text().isEmpty());
        EXPECT_FALSE(d->Logic().Stored());
    }
    EXPECT_EQ(records(tkOn, "d").size(), 2u);
    EXPECT_EQ(options.StatStudiedWords, 11);

    // On, added anyway: the whole word, and it counts.
    {
        TFDuplicates::TestHook hook;
        hook.answer({TDuplicateOutcome::Added, 0});
        auto d = dialog();
        d->ChCheckCopies->setChecked(true);
        type(*d, same);
        d->BAddClick();
        EXPECT_EQ(hook.shown().size(), 1);
        EXPECT_EQ(d->result(), QDialog::Accepted);
        EXPECT_TRUE(d->Logic().Stored());
    }
    auto recs = records(tkOn, "d");
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[2].transcript, "[x]");
    EXPECT_EQ(options.StatStudiedWords, 12);

    // On, replaced: no new record, no statistics.
    {
        TFDuplicates::TestHook hook;
        hook.answer({TDuplicateOutcome::Replaced, 0});
        auto d = dialog();
        d->ChCheckCopies->setChecked(true);
        type(*d, {"apple", QString::fromUtf8("яблоня"), "", "", "0", "0"});
        d->BAddClick();
        EXPECT_TRUE(d->Logic().Stored());
        EXPECT_EQ(hook.shown().size(), 1);
    }
    recs = records(tkOn, "d");
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[0].word2, W(QString::fromUtf8("яблоня")));
    EXPECT_EQ(options.StatStudiedWords, 12);
}

TEST_F(AddWord, EditModeRewritesTheRecordInPlaceAndEndsWithTheNextWord)
{
    for (TopicKind kind : {tkOn, tkLearned}) {
        make(kind, "e", {{"one", QString::fromUtf8("один"), "", "", 3}, {"two", QString::fromUtf8("два"), "[tu]", "\\SOUND\\two.wav", 4}});
        topics.OpenDictionary(topics.DictionaryPath(kind, "e"));
        words.SetRecNo(2);
        const int studied = options.StatStudiedWords;

        auto d = dialog(true);
        ASSERT_TRUE(d->Logic().EditMode());
        EXPECT_EQ(d->EWord->text(), "two");
        EXPECT_EQ(d->ESound->text(), "\\SOUND\\two.wav");
        EXPECT_FALSE(d->CBDictionary->isEnabled());
        EXPECT_FALSE(d->BCreateDictionary->isEnabled());
        d->ETranslation->setText(QString::fromUtf8("двойка"));
        d->BMoreWordClick();
        EXPECT_FALSE(d->Logic().EditMode());
        EXPECT_TRUE(d->CBDictionary->isEnabled() || kind == tkLearned);

        auto recs = records(kind, "e");
        ASSERT_EQ(recs.size(), 2u);
        EXPECT_EQ(recs[1].word1, "two");
        EXPECT_EQ(recs[1].word2, W(QString::fromUtf8("двойка")));
        EXPECT_EQ(recs[1].transcript, "[tu]");
        EXPECT_EQ((std::vector<int>{recs[1].miss, recs[1].kbmiss, recs[1].inrow, recs[1].kbinrow}), (std::vector<int>{0, 0, 0, 0}));
        EXPECT_EQ(recs[0].miss, 3) << "the other record is untouched";
        EXPECT_EQ(options.StatStudiedWords, studied) << "an edit adds no word";
        if (kind == tkLearned) {
            topics.OpenDictionary(topics.DictionaryPath(kind, "e"));
            words.SetRecNo(2);
            int y, m, dd;
            DecodeDate(words.FieldByName("DATE").AsDateTime(), y, m, dd);
            EXPECT_EQ(y * 10000 + m * 100 + dd, 20200506) << "the learned date stays";
        }
        topics.CloseDictionary();
    }

    // "Еще слово" with the edits emptied by hand stores nothing but still ends the edit: the next
    // word is appended, the edited record keeps its text.
    make(tkOn, "f", {{"keep", QString::fromUtf8("сохранить"), "", "", 2}});
    topics.OpenDictionary(topics.DictionaryPath(tkOn, "f"));
    words.SetRecNo(1);
    auto d = dialog(true);
    d->CBDictionary->setCurrentIndex(d->CBDictionary->findText("f"));
    type(*d, {});
    d->BMoreWordClick();
    EXPECT_FALSE(d->Logic().EditMode());
    d->CBDictionary->setCurrentIndex(d->CBDictionary->findText("f"));
    type(*d, {"new", QString::fromUtf8("новое"), "", "", "0", "0"});
    d->BMoreWordClick();
    const auto recs = records(tkOn, "f");
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].word1, "keep");
    EXPECT_EQ(recs[0].miss, 2);
    EXPECT_EQ(recs[1].word1, "new");
}

TEST_F(AddWord, ListsTheTickedDictionariesSelectingTheOpenOneAndWarnsWhenThereAreNone)
{
    {
        auto d = dialog();
        EXPECT_EQ(d->CBDictionary->count(), 0);
        EXPECT_FALSE(d->BAdd->isEnabled());
        EXPECT_FALSE(d->BMoreWord->isEnabled());
        EXPECT_EQ(d->LDictionary->palette().color(QPalette::WindowText), QColor(Qt::red));
        // Enter in the transcription then goes to the list instead of saving.
        type(*d, {"a", "b", "c", "", "0", "0"});
        key(d->ETranscription, Qt::Key_Return);
        EXPECT_EQ(d->EWord->text(), "a");
    }
    make(tkOn, "alpha", {});
    make(tkOn, "beta", {});
    make(tkOff, "gamma", {});
    topics.OpenDictionary(topics.DictionaryPath(tkOn, "beta"));
    auto d = dialog();
    EXPECT_EQ(d->CBDictionary->count(), 2);
    EXPECT_EQ(d->CBDictionary->currentText(), "beta");
    EXPECT_TRUE(d->BAdd->isEnabled());
    EXPECT_NE(d->LDictionary->palette().color(QPalette::WindowText), QColor(Qt::red));
    topics.CloseDictionary();
    auto closed = dialog();
    EXPECT_EQ(closed->CBDictionary->currentText(), "alpha");
}

TEST_F(AddWord, CreatingADictionaryNeverReplacesOneAndAsksAgainForABadName)
{
    make(tkOn, "Verbs", {{"go", QString::fromUtf8("идти"), "", ""}});
    make(tkOff, "Verbs0", {});
    auto d = dialog();
    {
        TFLineInput::TestHook ask;
        MessageBox::TestHook box;
        ask.answer({TFLineInput::Ok, "  ..  "});
        ask.answer({TFLineInput::Ok, "a/b"});
        ask.answer({TFLineInput::Ok, "  verbs "});
        d->BCreateDictionaryClick();
        ASSERT_EQ(ask.shown().size(), 3);
        EXPECT_EQ(ask.shown()[0].prompt, QString::fromUtf8("Пожалуйта, введите имя нового словаря"));
        EXPECT_EQ(ask.shown()[1].text, "  ..  ") << "asked again with the text kept";
        EXPECT_EQ(ask.shown()[2].text, "a/b");
        EXPECT_EQ(box.shown().size(), 2);
    }
    // "verbs" is taken in ON (letter case ignored) and "Verbs0" in OFF.
    EXPECT_EQ(d->CBDictionary->currentText(), "verbs1");
    EXPECT_EQ(records(tkOn, "Verbs").size(), 1u);
    type(*d, {"run", QString::fromUtf8("бежать"), "", "", "0", "0"});
    d->BMoreWordClick();
    EXPECT_EQ(records(tkOn, "verbs1").size(), 1u);

    TFLineInput::TestHook cancel;
    EXPECT_FALSE(d->Logic().CreateDictionary(d.get()));
}

TEST_F(AddWord, TextsTheRecordCannotHoldAreRefusedAndKept)
{
    make(tkOn, "d", {});
    const QString longSound = "/" + QString(300, 'a') + ".wav";
    const TWordEntry refused[] = {
        {QString::fromUtf8("词"), "x", "", "", "0", "0"},
        {"x", QString::fromUtf8("emoji 🙂"), "", "", "0", "0"},
        {"x", "y", "", longSound, "0", "0"},
        {QString(81, 'w'), "y", "", "", "0", "0"},
    };
    for (const TWordEntry &e : refused) {
        MessageBox::TestHook box;
        auto d = dialog();
        type(*d, e);
        d->ESound->setMaxLength(400);
        d->ESound->setText(e.soundFile);
        d->EWord->setMaxLength(100);
        d->EWord->setText(e.word);
        d->BAddClick();
        EXPECT_EQ(box.shown().size(), 1) << e.word.toStdString();
        EXPECT_NE(d->result(), QDialog::Accepted) << "the dialog stays open";
        EXPECT_EQ(d->ETranslation->text(), e.translation) << "the text stays";
        EXPECT_TRUE(records(tkOn, "d").empty());
    }
    // The typing limits: one less than the fields.
    auto d = dialog();
    EXPECT_EQ(d->EWord->maxLength(), 79);
    EXPECT_EQ(d->ESound->maxLength(), 254);
}

TEST_F(AddWord, AFailingOpenIsReportedAndTheDialogKeepsTheText)
{
    make(tkOn, "d", {});
    auto d = dialog();
    home.writeFile("BASE/ON/d.wrd", "not a table");
    MessageBox::TestHook box;
    type(*d, {"x", "y", "", "", "0", "0"});
    d->BAddClick();
    ASSERT_EQ(box.shown().size(), 1);
    EXPECT_TRUE(box.shown()[0].text.startsWith(ErrorText(9, QString())));
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_EQ(d->EWord->text(), "x");
    EXPECT_FALSE(d->Logic().Stored());
}

TEST_F(AddWord, AFailingPostIsReportedAndNothingIsHalfWritten)
{
    make(tkOn, "d", {{"apple", QString::fromUtf8("яблоня"), "", ""}});
    const QByteArray before = home.readFile("BASE/ON/d.wrd");
    words.BeforePost = [](TDbfDataSet &) { throw EDbfError("refused"); };
    struct Case {
        TWordEntry entry;
        std::optional<TDuplicateOutcome> window;
    };
    const Case cases[] = {
        {{"pear", "x", "", "", "0", "0"}, std::nullopt},                        // a plain append
        {{"apple", "x", "", "", "0", "0"}, TDuplicateOutcome::Added},           // added from the window
        {{"apple", "x", "", "", "0", "0"}, TDuplicateOutcome::Replaced},        // replaced from the window
    };
    for (const Case &c : cases) {
        MessageBox::TestHook box;
        TFDuplicates::TestHook hook;
        if (c.window)
            hook.answer({*c.window, 0});
        const int studied = options.StatStudiedWords;
        auto d = dialog();
        d->ChCheckCopies->setChecked(true);
        type(*d, c.entry);
        d->BAddClick();
        ASSERT_EQ(box.shown().size(), 1);
        EXPECT_TRUE(box.shown()[0].text.startsWith("Error writing ")) << box.shown()[0].text.toStdString();
        EXPECT_NE(d->result(), QDialog::Accepted);
        EXPECT_EQ(d->EWord->text(), c.entry.word);
        EXPECT_FALSE(d->Logic().Stored());
        EXPECT_EQ(options.StatStudiedWords, studied);
        EXPECT_EQ(words.State(), dsBrowse);
        // The record count and every record as they were (opening may stamp the header).
        const QByteArray after = home.readFile("BASE/ON/d.wrd");
        const int header = quint8(before[8]) | quint8(before[9]) << 8;
        EXPECT_EQ(after.mid(4, 4), before.mid(4, 4));
        EXPECT_EQ(after.mid(header), before.mid(header));
    }
    words.BeforePost = nullptr;
}

TEST_F(AddWord, FieldsTakeTheirLanguageFontAndLayoutAndPlayingReportsAFailure)
{
    make(tkOn, "d", {});
    SetOptionText(options.StudiedFontName, "DejaVu Serif");
    SetOptionText(options.NativeFontName, "DejaVu Sans Mono");
    // The language fields read the program's record.
    struct Restore {
        TOptions saved = Options;
        ~Restore() { Options = saved; }
    } restore;
    Options = options;
    auto d = dialog();
    EXPECT_EQ(d->EWord->font().family(), "DejaVu Serif");
    EXPECT_EQ(d->ETranslation->font().family(), "DejaVu Sans Mono");
    for (auto [edit, group] : {std::pair{d->EWord, 0}, {d->ETranslation, 1}, {d->ETranscription, 2}}) {
        ASSERT_NE(LayoutOnFocus::of(edit), nullptr) << group;
        EXPECT_EQ(LayoutOnFocus::of(edit)->group(), group);
    }

    home.writeFile("SOUND/noise.wav", "not a wave at all");
    d->ESound->setText("\\SOUND\\noise.wav");
    ASSERT_TRUE(d->BPlay->isEnabled());
    MessageBox::TestHook box;
    d->BPlayClick();
    ASSERT_FALSE(box.texts().isEmpty());
    EXPECT_EQ(box.texts().last(), "Can't play " + home.home() + "SOUND/noise.wav");
}

TEST_F(AddWord, ResultIsOneAfterAStoredWordEvenWhenClosedWithEscape)
{
    make(tkOn, "d", {});
    struct Case {
        bool store;
        int result;
    };
    for (const Case c : {Case{true, 1}, Case{false, 0}}) {
        auto d = dialog();
        QTimer::singleShot(0, d.get(), [&] {
            if (c.store) {
                type(*d, {"w", "t", "", "", "0", "0"});
                d->BMoreWordClick();
            }
            key(d->EWord, Qt::Key_Escape);
        });
        EXPECT_EQ(d->Run(), c.result);
    }
}

TEST_F(AddWord, KeysMoveThroughTheFieldsAndEscapeUndoesTheLastChangeFirst)
{
    make(tkOn, "d", {});
    auto d = dialog();
    d->show();
    QApplication::setActiveWindow(d.get());
    d->EWord->setFocus();
    key(d->EWord, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), d->ETranslation);
    key(d->ETranslation, Qt::Key_Enter);
    EXPECT_EQ(QApplication::focusWidget(), d->ETranscription);

    // Escape after a change takes the change back and keeps the dialog open.
    d->ETranslation->setText("before");
    d->ETranslation->insert(" typed");
    ASSERT_TRUE(d->ETranslation->isModified());
    key(d->ETranslation, Qt::Key_Escape);
    EXPECT_EQ(d->ETranslation->text(), "before");
    EXPECT_TRUE(d->isVisible());
    // Enter in the transcription stores the word and starts the next.
    d->EWord->setText("w");
    key(d->ETranscription, Qt::Key_Return);
    EXPECT_EQ(records(tkOn, "d").size(), 1u);
    EXPECT_TRUE(d->EWord->text().isEmpty());
    // Tab from the transcription reaches "Добавить" past the sound, dictionary and bottom controls.
    d->ETranscription->setFocus();
    const QList<QWidget *> chain{d->BSelectFile, d->ESound, d->BCreateDictionary, d->CBDictionary,
                                 d->BPin,        d->ChCheckCopies, d->BMoreWord,  d->BAdd};
    for (QWidget *next : chain) {
        key(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    // Down on the closed list keeps the dialog open; then Escape closes it as Cancel.
    key(d->CBDictionary, Qt::Key_Down);
    EXPECT_TRUE(d->isVisible());
    key(d->ETranslation, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Rejected);
}

TEST_F(AddWord, ASoundPickedInTheProgramFolderIsStoredRelativeAndPlayable)
{
    make(tkOn, "d", {});
    home.writeFile("SOUND/apple.wav", QByteArray(1000, 'x'));
    auto d = dialog();
    d->EWord->setText("apple");
    {
        Dialogs::FileHook files;
        files.answer({home.home() + "SOUND/apple.wav"});
        d->BSelectFileClick();
        ASSERT_EQ(files.shown().size(), 1);
        EXPECT_TRUE(files.shown()[0].start.endsWith("apple.wav"));
    }
    EXPECT_EQ(d->ESound->text(), "\\SOUND\\apple.wav");
    EXPECT_EQ(d->EStart->text(), "0");
    EXPECT_EQ(d->EEnd->text(), "1000");
    EXPECT_TRUE(d->BPlay->isEnabled());
    EXPECT_EQ(OptionText(options.SoundFolder), home.home() + "SOUND");
    d->ESound->setText("\\SOUND\\missing.wav");
    EXPECT_FALSE(d->BPlay->isEnabled());

    // A file that cannot be read: error 9, the edits as they were.
    QDir().mkpath(home.home() + "SOUND/locked.wav"); // a folder: no file to read, root or not
    Dialogs::FileHook files;
    files.answer({home.home() + "SOUND/locked.wav"});
    MessageBox::TestHook box;
    d->BSelectFileClick();
    ASSERT_EQ(box.shown().size(), 1);
    EXPECT_EQ(box.shown()[0].text, ErrorText(9, home.home() + "SOUND/locked.wav"));
    EXPECT_EQ(d->ESound->text(), "\\SOUND\\missing.wav");
}

TEST_F(AddWord, PlacedNextToItsParentUnlessPinnedAndSizedFromTheSavedRect)
{
    make(tkOn, "d", {});
    options.AddWordWindowRect = {200, 150, 500, 300};
    QWidget parent;
    parent.setGeometry(100, 100, 300, 200);
    parent.show();
    for (bool pinned : {false, true}) {
        options.AddWordWindowRect = {200, 150, 500, 300};
        options.AddWordPinned = pinned;
        TFAddWord d(topics, &parent, false, options);
        d.show();
        EXPECT_EQ(d.pos(), pinned ? QPoint(200, 150) : QPoint(parent.x() + 10, parent.y() + 30)) << pinned;
        EXPECT_EQ(d.minimumHeight(), d.maximumHeight()) << "the height is fixed";
        d.BPinClick();
        EXPECT_EQ(bool(options.AddWordPinned), !pinned);
        d.reject();
    }
    EXPECT_EQ(options.AddWordWindowRect.Width, 500);
}
