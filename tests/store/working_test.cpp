// The text import through ImportTextFiles on real files and real dictionaries: what each format
// yields, where the words go, what is reported, abort and failure half-way, and that TWords gets
// its handler and display back on every path.
#include "store/Working.h"

#include "DictionaryFixture.h"

#include "messages/Message.h"
#include "platform/FileTools.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "store/Dictionary.h"
#include "store/ImportReader.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>

#include <stdexcept>

namespace {

std::string cp1251(const QString &s)
{
    return Text::toCp1251(s);
}

class Import : public DictionaryHome {
protected:
    // A file outside the program folder, as a user's own would be.
    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString p = home.root() + "/in/" + name;
        QDir().mkpath(QFileInfo(p).path());
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return p;
    }
    TImportSummary run(const QStringList &files, bool create = true)
    {
        return ImportTextFiles(300, 300, create, files);
    }
    MessageBox::TestHook boxes;
    TFWorking::TestHook summaries;
    TFMessage::TestHook questions;
};

} // namespace

TEST_F(Import, EachFormatYieldsItsRecords)
{
    struct Case {
        const char *name;
        QByteArray bytes;
        std::vector<std::vector<std::string>> records; // WORD1, WORD2, TRANSCRIPT, WAVFILE
    };
    const std::string apple = cp1251("яблоко");
    const Case cases[] = {
        {"two.csv", "apple;" + QByteArray::fromStdString(apple) + "\r\n", {{"apple", apple, "", ""}}},
        {"five.csv", "apple;x;comment;\\snd\\apple.wav;ignored\n", {{"apple", "x", "comment", "\\snd\\apple.wav"}}},
        {"empty2.csv", "apple;\nalone\n", {{"apple", "", "", ""}}},
        // A line of only ";" or of spaces and ";", and a blank line, are no words; leading spaces
        // are kept (the table drops trailing ones).
        {"blank.csv", ";\n\n  ;  \n ; b \r;;x\n", {{"", " b", "", ""}}},
        {"pairs.txt", "one\r\nein\r\ntwo\r\nzwei", {{"one", "ein", "", ""}, {"two", "zwei", "", ""}}},
        {"odd.txt", "one\nein\nlast\n", {{"one", "ein", "", ""}, {"last", "", "", ""}}},
        {"CAPS.CSV", "a;b\n", {{"a", "b", "", ""}}},
        {"nothing.dat", "a;b\n", {}},
        {"empty.csv", "", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const TImportSummary s = run({file(c.name, c.bytes)});
        const QString dict = path(tkOn, WithoutExtension(QString(c.name)));
        ASSERT_TRUE(QFileInfo::exists(dict + ".wrd")) << "every chosen file names a dictionary";
        EXPECT_EQ(s.recordsPosted, int(c.records.size()));
        const auto w1 = column(dict, "WORD1"), w2 = column(dict, "WORD2"), tr = column(dict, "TRANSCRIPT"),
                   wav = column(dict, "WAVFILE"), miss = column(dict, "MISS"), inrow = column(dict, "KBINROW");
        ASSERT_EQ(w1.size(), c.records.size());
        for (size_t i = 0; i < c.records.size(); ++i) {
            EXPECT_EQ(w1[i], c.records[i][0]);
            EXPECT_EQ(w2[i], c.records[i][1]);
            EXPECT_EQ(tr[i], c.records[i][2]);
            EXPECT_EQ(wav[i], c.records[i][3]);
            EXPECT_EQ(miss[i], "0");
            EXPECT_EQ(inrow[i], "0");
        }
    }
    // Only the odd file had something to say.
    ASSERT_EQ(summaries.shown().size(), 1);
    EXPECT_TRUE(summaries.shown()[0].unpaired.first().endsWith("odd.txt"));
    EXPECT_TRUE(summaries.shown()[0].Text().contains("без перевода"));
    EXPECT_TRUE(boxes.shown().isEmpty());
}

TEST_F(Import, CsvAndTxtOfOneNameBothExtendTheExistingDictionary)
{
    std::vector<FixtureWord> ten;
    for (int i = 0; i < 10; ++i)
        ten.push_back({"w" + std::to_string(i), "t", 3, 1});
    make(tkOn, "a", ten);
    const TImportSummary s = run({file("a.csv", "x;y\nz;q\n"), file("sub/a.txt", "p\nr\n")});
    EXPECT_EQ(s.recordsPosted, 3);
    EXPECT_EQ(s.dictionaries, QStringList{path(tkOn, "a")});
    const auto w1 = column(path(tkOn, "a"), "WORD1");
    ASSERT_EQ(w1.size(), 13u);
    EXPECT_EQ(w1[10], "x");
    EXPECT_EQ(w1[12], "p");
    EXPECT_EQ(column(path(tkOn, "a"), "MISS")[0], "3") << "the old words keep their counters";
    // The index was kept while appending: opening finds it sound and all four tags see 13 words.
    Topics->OpenDictionary(path(tkOn, "a"));
    for (const std::string &tag : DictionaryTags) {
        TWords->SetIndexName(tag);
        int n = 0;
        for (TWords->First(); !TWords->Eof(); TWords->Next())
            ++n;
        EXPECT_EQ(n, 13) << tag;
    }
}

TEST_F(Import, Utf8CyrillicArrivesAsWindows1251AndLostCharactersAreCounted)
{
    const QString csv = file("ru.csv", QString("кот;cat\nёж;hedgehog ✓\n").toUtf8());
    const TImportSummary s = run({csv});
    EXPECT_EQ(column(path(tkOn, "ru"), "WORD1"), (std::vector<std::string>{cp1251("кот"), cp1251("ёж")}));
    EXPECT_EQ(column(path(tkOn, "ru"), "WORD2")[1], "hedgehog ?");
    EXPECT_EQ(s.lostCharacters, 1);
    ASSERT_EQ(summaries.shown().size(), 1) << "the window stays to say so";
    EXPECT_TRUE(summaries.shown()[0].Text().contains("\"?\""));
}

TEST_F(Import, AnUnreadableFileIsReportedAndCreatesNothing)
{
    const QString good = file("good.csv", "a;b\n");
    const QString folder = home.root() + "/in/folder.csv";
    QDir().mkpath(folder);
    const QString missing = home.root() + "/in/missing.csv";
    const TImportSummary s = run({missing, folder, good});
    EXPECT_EQ(baseFiles(), (QStringList{"LEARNED", "LEARNEDOFF", "OFF", "ON", "ON/good.cdx", "ON/good.wrd"}));
    ASSERT_EQ(boxes.texts().size(), 2);
    EXPECT_EQ(boxes.texts()[0], "Программе не удалось открыть файл " + missing);
    EXPECT_TRUE(boxes.texts()[1].endsWith(folder));
    ASSERT_EQ(s.skipped.size(), 2);
    EXPECT_TRUE(s.skipped[0].startsWith(missing + ": "));
    EXPECT_EQ(s.recordsPosted, 1) << "the import went on with the next file";
    ASSERT_EQ(summaries.shown().size(), 1);
    EXPECT_TRUE(summaries.shown()[0].Text().contains("Пропущены файлы"));
}

TEST_F(Import, NewDictionariesTakeNoNameOfAnUntickedOneAndNoStrayIndex)
{
    make(tkOff, "verbs", {{"old", "alt"}});
    // An index left without its table must not become the new table's.
    make(tkOn, "stray", {{"s", "t"}});
    QFile::remove(dir(tkOn) + "stray.wrd");
    const TImportSummary s = run({file("Verbs.csv", "go;gehen\n"), file("Verbs.txt", "come\nkommen\n"), file("stray.csv", "n;m\n")});
    EXPECT_EQ(s.dictionaries, (QStringList{path(tkOn, "Verbs0"), path(tkOn, "stray")}));
    EXPECT_EQ(column(path(tkOn, "Verbs0"), "WORD1"), (std::vector<std::string>{"go", "come"}));
    EXPECT_EQ(column(path(tkOff, "verbs"), "WORD1"), (std::vector<std::string>{"old"}));
    EXPECT_EQ(column(path(tkOn, "stray"), "WORD1"), (std::vector<std::string>{"n"}));
}

TEST_F(Import, ANewDictionaryIsWrittenByteForByteAsRecordByRecordAppendingWrites)
{
    QByteArray csv;
    for (int i = 0; i < 700; ++i)
        csv += QByteArray::number(i * 7919 % 1000) + ";tr" + QByteArray::number(i) + (i % 3 ? ";[t];\\s.wav\n" : "\n");
    run({file("fast.csv", csv)});
    // The same words through the cursor with the four tags kept at every Post.
    make(tkOff, "slow");
    Topics->OpenDictionary(path(tkOff, "slow"));
    for (const ImportRecord &r : ImportReader::parse(csv.toStdString(), ImportFormat::Csv).records) {
        TWords->Append();
        TWords->FieldByName("WORD1").SetAsString(r.word1);
        TWords->FieldByName("WORD2").SetAsString(r.word2);
        TWords->FieldByName("TRANSCRIPT").SetAsString(r.transcript);
        TWords->FieldByName("WAVFILE").SetAsString(r.wavFile);
        for (const char *f : {"MISS", "KBMISS", "INROW", "KBINROW"})
            TWords->FieldByName(f).SetAsInteger(0);
        TWords->Post();
    }
    Topics->CloseDictionary();
    // Bytes 16 to 19 of the header are the table's change stamp, which no two writes share.
    auto bytes = [](const QString &p) {
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QByteArray all = f.readAll();
        if (all.size() >= 20)
            all.replace(16, 4, QByteArray(4, '\0'));
        return all;
    };
    EXPECT_EQ(bytes(path(tkOn, "fast") + ".wrd"), bytes(path(tkOff, "slow") + ".wrd"));
    // Both indexes answer alike in every tag's order.
    for (const std::string &tag : DictionaryTags) {
        std::vector<std::uint32_t> order[2];
        int i = 0;
        for (const QString &p : {path(tkOn, "fast"), path(tkOff, "slow")}) {
            Topics->OpenDictionary(p);
            TWords->SetIndexName(tag);
            for (TWords->First(); !TWords->Eof(); TWords->Next())
                order[i].push_back(TWords->RecNo());
            ++i;
        }
        EXPECT_EQ(order[0], order[1]) << tag;
        EXPECT_EQ(order[0].size(), 700u);
    }
}

TEST_F(Import, AbortWithinAFileKeepsWhatWasPostedAndStartsNoFurtherFile)
{
    QByteArray big;
    for (int i = 0; i < 2000; ++i)
        big += "w" + QByteArray::number(i) + ";t\n";
    const QString first = file("first.csv", big), second = file("second.csv", "a;b\n");
    // The three ways to ask: the button, Esc and Enter in the window.
    const int keys[] = {0, Qt::Key_Escape, Qt::Key_Return};
    for (int key : keys) {
        SCOPED_TRACE(key);
        Topics->CloseDictionary();
        QFile::remove(dir(tkOn) + "first.wrd");
        QFile::remove(dir(tkOn) + "first.cdx");
        int postedAtAbort = -1;
        bool waitCursor = false;
        TFWorking::StepHook = [&](TFWorking &w, int posted) {
            waitCursor = w.cursor().shape() == Qt::WaitCursor;
            if (postedAtAbort >= 0 || posted < 512)
                return;
            postedAtAbort = posted;
            if (key == 0) {
                w.BAbort->click();
            } else {
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                QCoreApplication::sendEvent(&w, &press);
            }
        };
        const TImportSummary s = run({first, second});
        TFWorking::StepHook = nullptr;
        EXPECT_TRUE(waitCursor);
        EXPECT_TRUE(s.aborted);
        EXPECT_EQ(postedAtAbort, 512);
        EXPECT_EQ(s.recordsPosted, 512);
        EXPECT_EQ(column(path(tkOn, "first"), "WORD1").size(), 512u);
        EXPECT_FALSE(has(tkOn, "second.wrd"));
    }
}

TEST_F(Import, ATableFailureHalfWayKeepsThePostedWordsAndRestoresTheCursor)
{
    // Into a dictionary that exists (tags kept at each record) and into a new one (records
    // gathered, tags built at the end).
    for (const bool existing : {true, false}) {
        SCOPED_TRACE(existing);
        Topics->CloseDictionary();
        for (const char *f : {"a.wrd", "a.cdx", "b.wrd"})
            QFile::remove(dir(tkOn) + f);
        summaries.clear();
        std::vector<std::string> expected{"1", "2"};
        if (existing) {
            make(tkOn, "a", {{"old", "alt"}});
            expected.insert(expected.begin(), "old");
        }
        int handlerCalls = 0;
        TWords->AfterInsert = [&](TDbfDataSet &) { ++handlerCalls; };
        int posts = 0;
        TWords->BeforePost = [&](TDbfDataSet &) {
            if (++posts == 3)
                throw std::runtime_error("Record refused");
        };
        const TImportSummary s = run({file("a.csv", "1;x\n2;x\n3;x\n4;x\n"), file("b.csv", "b;x\n")});
        TWords->BeforePost = nullptr;
        EXPECT_EQ(handlerCalls, 0) << "the editor's handler is off during the import";
        ASSERT_TRUE(TWords->AfterInsert) << "and back afterwards";
        TWords->AfterInsert = nullptr;
        EXPECT_FALSE(TWords->ControlsDisabled());
        EXPECT_EQ(TWords->State(), dsBrowse) << "the refused append was cancelled";
        EXPECT_EQ(s.recordsPosted, 2);
        EXPECT_TRUE(s.failure.contains("Record refused"));
        EXPECT_EQ(column(path(tkOn, "a"), "WORD1"), expected);
        EXPECT_FALSE(has(tkOn, "b.wrd")) << "no further file after a failure";
        ASSERT_EQ(summaries.shown().size(), 1);
        EXPECT_TRUE(summaries.shown()[0].Text().contains("Импорт остановлен"));
    }
}

TEST_F(Import, AFailedCreationIsReportedAndStopsTheImport)
{
    // A folder where the table would go: the free-name search sees no table, creation fails.
    QDir().mkpath(dir(tkOn) + "a.wrd");
    const TImportSummary s = run({file("a.csv", "x;y\n"), file("b.csv", "x;y\n")});
    EXPECT_TRUE(s.failure.startsWith("Can't create file")) << s.failure.toStdString();
    EXPECT_FALSE(has(tkOn, "b.wrd"));
    EXPECT_FALSE(TWords->ControlsDisabled());
}

TEST_F(Import, WithoutCreationTheWordsGoToTheOpenDictionary)
{
    make(tkOn, "open", {{"old", "alt"}});
    Topics->OpenDictionary(path(tkOn, "open"));
    const TImportSummary s = run({file("x.csv", "a;b\n"), file("y.txt", "c\nd\n")}, false);
    EXPECT_EQ(s.recordsPosted, 2);
    EXPECT_FALSE(has(tkOn, "x.wrd"));
    EXPECT_EQ(column(path(tkOn, "open"), "WORD1"), (std::vector<std::string>{"old", "a", "c"}));
    // Nothing open: nothing is written anywhere, and it says so.
    const QStringList before = baseFiles();
    const TImportSummary none = run({file("x.csv", "a;b\n")}, false);
    EXPECT_FALSE(none.failure.isEmpty());
    EXPECT_EQ(baseFiles(), before);
}
