// A program folder with small dictionaries made through the catalogue, the one cursor, and a
// lesson on them with a fixed seed. Dictionaries are read back through a fresh cursor.
#pragma once

#include "common/TestHome.h"

#include "engine/DataSet.h"
#include "learning/Lesson.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "settings/TOptions.h"
#include "store/Dictionary.h"
#include "store/Topics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Texts are written here in UTF-8 and stored in Windows-1251.
struct WordRow {
    std::string word1, word2;
    int miss = 0, kbMiss = 0, inRow = 0, kbInRow = 0;
    std::optional<int> daysAgo; // DATE, for learned dictionaries
    std::string transcript;
};

// The record as read back from the file.
struct StoredWord {
    std::string word1, word2;
    int miss, kbMiss, inRow, kbInRow;
    double date; // 0 when the table has no DATE or it is blank
};

inline std::string cp1251(const std::string &utf8)
{
    return Text::toCp1251(QString::fromStdString(utf8));
}

// The test dictionaries' words "w<n>" name their position in the MISS order.
inline int positionOf(const std::string &word1)
{
    return std::stoi(word1.substr(1));
}

class LessonFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramFolder::resolve();
        SetDefaultOptions(Options);
        Options.CheckOrder = 0;   // direct questions unless a test says otherwise
        Options.InputPage = 0;    // choice
        Options.OkSoundOn = false;
        Options.MistakeSoundOn = false;
        Options.HideAfterRightAnswers = 0;
        Options.RepeatAfterMistake = false;
        Options.RepeatLearned = true;
        Options.RepeatLearnedDelay = 20;
        for (const char *folder : {"BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF", "TEMP", "NEWS"})
            QDir().mkpath(home.home() + folder);
        words.SetExclusive(true);
        topics = std::make_unique<TTopics>(words);
        lesson = std::make_unique<TLesson>(*topics);
        lesson->FixSeed(12345);
    }

    void TearDown() override
    {
        lesson.reset();
        topics->CloseDictionary();
    }

    QString path(TopicKind kind, const QString &name) const { return topics->DictionaryPath(kind, name); }

    // Creates the dictionary through the catalogue and fills it.
    void make(TopicKind kind, const QString &name, const std::vector<WordRow> &rows)
    {
        const QString p = path(kind, name);
        const bool learned = kind == tkLearned || kind == tkLearnedOff;
        ASSERT_TRUE(learned ? topics->CreateLearned(p) : topics->CreateDictionary(p));
        topics->OpenDictionary(p);
        for (const WordRow &r : rows) {
            words.Append();
            words.FieldByName("WORD1").SetAsString(cp1251(r.word1));
            words.FieldByName("WORD2").SetAsString(cp1251(r.word2));
            words.FieldByName("TRANSCRIPT").SetAsString(cp1251(r.transcript));
            words.FieldByName("MISS").SetAsInteger(r.miss);
            words.FieldByName("KBMISS").SetAsInteger(r.kbMiss);
            words.FieldByName("INROW").SetAsInteger(r.inRow);
            words.FieldByName("KBINROW").SetAsInteger(r.kbInRow);
            if (r.daysAgo)
                words.FieldByName("DATE").SetAsDateTime(TDateTime{Today().value - *r.daysAgo});
            words.Post();
        }
        topics->CloseDictionary();
    }

    // n words "w<i>" -> "t<i>" with MISS = i (so word n-1 has the most mistakes).
    static std::vector<WordRow> numbered(int n, const std::string &prefix = "w")
    {
        std::vector<WordRow> rows;
        for (int i = 0; i < n; ++i)
            rows.push_back({prefix + std::to_string(i), "t" + prefix + std::to_string(i), i, i, 0, 0, {}, {}});
        return rows;
    }

    void recount() { lesson->RecountWords(); }

    // Every visible record of a dictionary, in physical order, through a cursor of its own.
    std::vector<StoredWord> read(TopicKind kind, const QString &name)
    {
        topics->CloseDictionary();
        std::vector<StoredWord> out;
        TDbfDataSet fresh;
        fresh.SetTableName(QFile::encodeName(path(kind, name) + ".wrd").toStdString());
        fresh.Open();
        for (fresh.First(); !fresh.Eof(); fresh.Next()) {
            TField *date = fresh.FindField("DATE");
            out.push_back({fresh.FieldByName("WORD1").AsString(), fresh.FieldByName("WORD2").AsString(),
                           fresh.FieldByName("MISS").AsInteger(), fresh.FieldByName("KBMISS").AsInteger(),
                           fresh.FieldByName("INROW").AsInteger(), fresh.FieldByName("KBINROW").AsInteger(),
                           date && !date->IsNull() ? date->AsDateTime().value : 0.0});
        }
        fresh.Close();
        return out;
    }

    StoredWord find(TopicKind kind, const QString &name, const std::string &word1)
    {
        for (const StoredWord &w : read(kind, name))
            if (w.word1 == word1)
                return w;
        ADD_FAILURE() << "no word " << word1;
        return {};
    }

    bool exists(TopicKind kind, const QString &name) const
    {
        return QFile::exists(path(kind, name) + ".wrd");
    }

    // An int32 of the settings file as written.
    std::int32_t savedInt(std::size_t offset)
    {
        const QByteArray bytes = home.readFile(kOptionsFileName);
        EXPECT_EQ(bytes.size(), qsizetype(kOptionsFileSize));
        std::int32_t v = 0;
        if (bytes.size() >= qsizetype(offset + 4))
            std::memcpy(&v, bytes.constData() + offset, 4);
        return v;
    }

    std::string asked() const { return Text::toCp1251(lesson->QuestionText()); }

    TestHome home;
    TDbfDataSet words;
    std::unique_ptr<TTopics> topics;
    std::unique_ptr<TLesson> lesson;
};
