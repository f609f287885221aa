// A private program folder with the four dictionary folders, the program's one cursor and the
// catalogue on it (the globals TWords and Topics, as start-up makes them), and helpers that make
// and read dictionaries on disk. Header-only; for the dictionaries window and import tests.
#pragma once

#include "engine/DataSet.h"
#include "platform/ProgramFolder.h"
#include "store/Topics.h"

#include "common/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <string>
#include <vector>

struct FixtureWord {
    std::string word1, word2;
    int miss = 0, inrow = 0;
};

class DictionaryHome : public ::testing::Test {
protected:
    TestHome home;

    void SetUp() override
    {
        ProgramFolder::set(home.home());
        for (const char *f : {"BASE", "BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF", "TEMP"})
            QDir().mkpath(home.home() + f);
        TWords = new TDbfDataSet;
        TWords->SetExclusive(true);
        Topics = new TTopics(*TWords);
    }
    void TearDown() override
    {
        Topics->CloseDictionary();
        delete Topics;
        Topics = nullptr;
        delete TWords;
        TWords = nullptr;
        ProgramFolder::set(QString());
    }

    QString dir(TopicKind kind) const { return home.home() + Topics->FolderPath(kind); }
    QString path(TopicKind kind, const QString &name) const { return Topics->DictionaryPath(kind, name); }
    bool has(TopicKind kind, const QString &file) const { return QFileInfo::exists(dir(kind) + file); }

    // A dictionary with its index, closed again. Learned ones get today's DATE.
    void make(TopicKind kind, const QString &name, const std::vector<FixtureWord> &list = {})
    {
        const bool learned = kind == tkLearned || kind == tkLearnedOff;
        ASSERT_TRUE(learned ? Topics->CreateLearned(path(kind, name)) : Topics->CreateDictionary(path(kind, name)));
        for (const FixtureWord &w : list) {
            TWords->Append();
            TWords->FieldByName("WORD1").SetAsString(w.word1);
            TWords->FieldByName("WORD2").SetAsString(w.word2);
            for (const char *f : {"MISS", "KBMISS"})
                TWords->FieldByName(f).SetAsInteger(w.miss);
            for (const char *f : {"INROW", "KBINROW"})
                TWords->FieldByName(f).SetAsInteger(w.inrow);
            if (learned)
                TWords->FieldByName("DATE").SetAsDateTime(EncodeDate(2020, 5, 17));
            TWords->Post();
        }
        Topics->OpenDictionary(path(kind, name)); // builds the index
        Topics->CloseDictionary();
    }

    // One field of every record in file order.
    std::vector<std::string> column(const QString &dictionary, const char *field)
    {
        Topics->OpenDictionary(dictionary);
        std::vector<std::string> out;
        TWords->SetIndexName("");
        for (TWords->First(); !TWords->Eof(); TWords->Next())
            out.push_back(TWords->FieldByName(field).AsString());
        Topics->CloseDictionary();
        return out;
    }

    // Every file under BASE/, relative to it, sorted.
    QStringList baseFiles() const
    {
        QStringList out;
        for (const char *f : {"ON", "OFF", "LEARNED", "LEARNEDOFF"}) {
            QDir d(home.home() + "BASE/" + f);
            for (const QString &e : d.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
                out << QString(f) + "/" + e;
        }
        QDir base(home.home() + "BASE");
        for (const QString &e : base.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            out << e;
        out.sort();
        return out;
    }
};
