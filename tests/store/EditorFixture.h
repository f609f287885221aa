// A private program folder with the catalogue on its own cursor, dictionaries made in it, and
// every modal window of the editor answered by a hook.
#pragma once

#include "engine/DataSet.h"
#include "messages/LineInput.h"
#include "messages/Message.h"
#include "platform/Dialogs.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "settings/TOptions.h"
#include "store/Edit.h"
#include "store/Topics.h"

#include "common/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

struct EWord {
    QString word1, word2;
    int miss = 0;
    QString transcript = QString();
};

class EditorFixture : public ::testing::Test {
protected:
    TestHome home;
    TDbfDataSet words;
    TTopics topics{words};
    MessageBox::TestHook boxes;
    TFMessage::TestHook questions;
    TFLineInput::TestHook lines;
    Dialogs::FileHook files;
    std::unique_ptr<TEditor> editor;

    void SetUp() override
    {
        ProgramFolder::set(home.home());
        for (const char *f : {"BASE", "BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF", "TEMP", "SOUND"})
            QDir().mkpath(home.home() + f);
        words.SetExclusive(true);
        SetDefaultOptions(Options);
        TWords = &words;
        Topics = &topics;
        editor = std::make_unique<TEditor>(topics);
        editor->InstallHandlers();
    }
    void TearDown() override
    {
        editor.reset();
        topics.CloseDictionary();
        TWords = nullptr;
        Topics = nullptr;
    }

    QString on(const QString &name) const { return home.home() + "BASE/ON/" + name; }

    // A dictionary (path without extension) holding the words, with its index, closed again.
    void make(const QString &path, const std::vector<EWord> &list)
    {
        ASSERT_TRUE(topics.CreateDictionary(path));
        for (const EWord &w : list) {
            words.Append();
            words.FieldByName("WORD1").SetAsString(Text::toCp1251(w.word1));
            words.FieldByName("WORD2").SetAsString(Text::toCp1251(w.word2));
            words.FieldByName("TRANSCRIPT").SetAsString(Text::toCp1251(w.transcript));
            for (const char *f : {"MISS", "KBMISS", "INROW", "KBINROW"})
                words.FieldByName(f).SetAsInteger(w.miss);
            words.Post();
        }
        topics.CloseDictionary();
        topics.OpenDictionary(path); // builds the index
        topics.CloseDictionary();
    }

    // WORD1 and WORD2 of every visible record of a dictionary file, in record order.
    std::vector<std::pair<QString, QString>> fileWords(const QString &path)
    {
        TDbfDataSet ds;
        ds.SetTableName(QFile::encodeName(path).toStdString());
        ds.Open();
        std::vector<std::pair<QString, QString>> out;
        for (ds.First(); !ds.Eof(); ds.Next())
            out.emplace_back(Text::fromCp1251(ds.FieldByName("WORD1").AsString()),
                             Text::fromCp1251(ds.FieldByName("WORD2").AsString()));
        ds.Close();
        return out;
    }

    // The grid's rows as the model shows them.
    std::vector<std::pair<QString, QString>> gridWords()
    {
        TWordsModel &m = editor->Model();
        std::vector<std::pair<QString, QString>> out;
        for (int r = 0; r < m.rowCount(); ++r)
            out.emplace_back(m.data(m.index(r, 0)).toString(), m.data(m.index(r, 1)).toString());
        return out;
    }

    // Types a word into a new row and leaves it (posted).
    void typeRow(const QString &word1, const QString &word2)
    {
        ASSERT_TRUE(editor->AppendRow());
        TWordsModel &m = editor->Model();
        const int row = m.rowCount() - 1;
        ASSERT_TRUE(m.setData(m.index(row, 0), word1));
        ASSERT_TRUE(m.setData(m.index(row, 1), word2));
        words.Post();
    }

    QStringList tempFiles() const
    {
        return QDir(home.home() + "TEMP").entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    static QByteArray bytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};
