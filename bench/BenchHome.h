// A program folder of a benchmark's own (a temporary folder, removed at the end) with the
// catalogue on a cursor of its own, set as the program's TWords and Topics, and the dictionaries
// a benchmark measures made in it through the engine, each from the benchmark's own words.
// Header-only; relies on the store library.
#pragma once

#include "engine/DataSet.h"
#include "platform/ProgramFolder.h"
#include "settings/TOptions.h"
#include "store/Topics.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <cstdlib>
#include <functional>
#include <memory>

class BenchHome {
    QTemporaryDir m_dir; // made first, removed last

public:
    BenchHome()
    {
        qputenv("WORDPOP_HOME", (m_dir.path() + "/").toUtf8());
        ProgramFolder::resolve();
        SetDefaultOptions(Options);
        for (const char *folder : {"BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF", "TEMP", "NEWS"})
            QDir().mkpath(ProgramFolder::path() + folder);
        words.SetExclusive(true);
        topics = std::make_unique<TTopics>(words);
        TWords = &words;
        Topics = topics.get();
    }
    ~BenchHome()
    {
        topics->CloseDictionary();
        TWords = nullptr;
        Topics = nullptr;
    }
    BenchHome(const BenchHome &) = delete;
    BenchHome &operator=(const BenchHome &) = delete;

    // Makes the dictionary `name` in the folder of `kind` (a learned one, with DATE, for
    // tkLearned) with `count` records, record i filled by fill(words, i) before it is posted;
    // builds its four tags once and closes it. Its path without extension; a dictionary that
    // cannot be made ends the benchmark.
    QString makeDictionary(TopicKind kind, const QString &name, int count,
                           const std::function<void(TDbfDataSet &, int)> &fill)
    {
        const QString path = topics->DictionaryPath(kind, name);
        if (!(kind == tkLearned ? topics->CreateLearned(path) : topics->CreateDictionary(path)))
            std::abort();
        // Appended without an index; the first opening builds the tags.
        for (int i = 0; i < count; ++i) {
            words.Append();
            fill(words, i);
            words.Post();
        }
        topics->CloseDictionary();
        topics->OpenDictionary(path);
        topics->CloseDictionary();
        return path;
    }

    TDbfDataSet words;
    std::unique_ptr<TTopics> topics;
};
