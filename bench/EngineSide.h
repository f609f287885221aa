// The table engine's half of the benchmark: everything goes through the dataset cursor the
// program uses, on dictionaries made with the program's own layout and tags.
#pragma once

#include "Workload.h"

#include "engine/DataSet.h"
#include "store/Dictionary.h"

#include <filesystem>
#include <memory>
#include <string>

class EngineSide {
public:
    static void CreateDictionaryTable(const std::string &path)
    {
        TDbfDataSet ds;
        ds.SetTableName(path);
        TCreateTopic creator(&ds);
        creator.AutoOverwrite = true;
        creator.Execute();
        ds.Close();
    }

    explicit EngineSide(const Workload &w)
        : w_(w), base_(path("base.wrd")), baseCdx_(path("base.cdx")), work_(path("work.wrd")),
          workCdx_(path("work.cdx")), copy_(path("copy.wrd"))
    {
        // The base dictionary for the read operations: records first, then the four tags.
        remove(base_, baseCdx_);
        CreateDictionaryTable(base_);
        TDbfDataSet ds;
        openTable(ds, base_);
        appendWords(ds);
        buildTags(ds, baseCdx_);
        ds.Close();
    }

    void prepareEmptyWithIndexes()
    {
        close();
        remove(work_, workCdx_);
        CreateDictionaryTable(work_);
        ds_ = std::make_unique<TDbfDataSet>();
        openTable(*ds_, work_);
        buildTags(*ds_, workCdx_);
        ds_->AddIndexFile(workCdx_);
    }
    void appendAll()
    {
        appendWords(*ds_);
        close();
    }

    void prepareWithoutIndexes()
    {
        close();
        remove(work_, workCdx_);
        std::filesystem::copy_file(base_, work_);
        ds_ = std::make_unique<TDbfDataSet>();
        openTable(*ds_, work_);
    }
    void buildIndexes() { buildTags(*ds_, workCdx_); }

    void openBase()
    {
        if (ds_ && onBase_)
            return;
        close();
        ds_ = std::make_unique<TDbfDataSet>();
        openTable(*ds_, base_);
        ds_->AddIndexFile(baseCdx_);
        ds_->SetIndexName("MISS");
        inRow_ = &ds_->FieldByName("INROW");
        ds_->OnFilterRecord = [this](TDbfDataSet &, bool &accept) {
            accept = Workload::passesHalf(inRow_->AsInteger());
        };
        onBase_ = true;
    }
    void closeBase() { close(); }

    int64_t countAll()
    {
        order("MISS");
        filtered(false);
        return ds_->RecordCount();
    }
    int64_t countHalf()
    {
        order("MISS");
        filtered(true);
        return ds_->RecordCount();
    }

    int64_t walkWord1()
    {
        order("WORD1");
        filtered(false);
        TField &word1 = ds_->FieldByName("WORD1");
        int64_t n = 0;
        size_t bytes = 0;
        for (ds_->First(); !ds_->Eof(); ds_->Next()) {
            bytes += word1.AsString().size();
            ++n;
        }
        return bytes ? n : 0;
    }

    int64_t locateAll()
    {
        order("MISS");
        filtered(false);
        int64_t found = 0;
        for (const std::string &word : w_.lookups)
            found += ds_->Locate("WORD1", word) ? 1 : 0;
        return found;
    }

    void removeCopy() { std::filesystem::remove(copy_); }
    void copyTo()
    {
        order("MISS");
        filtered(false);
        ds_->CopyTo(copy_);
    }

    // Opening as below, then counting the words: nothing of the file is known yet, so every
    // deletion flag is read.
    int64_t openCounted()
    {
        openChecked();
        return ds_->RecordCount();
    }

    // Opening as the program opens a dictionary: the table, its index, every tag made active
    // in turn (moving to its last record), then MISS.
    void openChecked()
    {
        ds_ = std::make_unique<TDbfDataSet>();
        ds_->SetExclusive(true);
        OpenDictionary(*ds_, base_.substr(0, base_.size() - 4));
        onBase_ = false; // no filter handler here: openBase starts afresh
    }

private:
    std::string path(const char *name) const { return (w_.folder / name).string(); }

    static void remove(const std::string &table, const std::string &index)
    {
        std::filesystem::remove(table);
        std::filesystem::remove(index);
    }

    static void openTable(TDbfDataSet &ds, const std::string &table)
    {
        ds.SetTableName(table);
        ds.SetExclusive(true);
        ds.Open();
    }

    static void buildTags(TDbfDataSet &ds, const std::string &cdx)
    {
        for (const std::string &tag : DictionaryTags)
            ds.IndexOn(cdx, tag, tag);
    }

    void appendWords(TDbfDataSet &ds)
    {
        TField &word1 = ds.FieldByName("WORD1"), &word2 = ds.FieldByName("WORD2"),
               &transcript = ds.FieldByName("TRANSCRIPT"), &miss = ds.FieldByName("MISS"),
               &kbMiss = ds.FieldByName("KBMISS"), &inRow = ds.FieldByName("INROW"),
               &kbInRow = ds.FieldByName("KBINROW"), &wavFile = ds.FieldByName("WAVFILE"),
               &wavStart = ds.FieldByName("WAVSTART"), &wavEnd = ds.FieldByName("WAVEND");
        for (const BenchWord &b : w_.words) {
            ds.Append();
            word1.SetAsString(b.word1);
            word2.SetAsString(b.word2);
            transcript.SetAsString(b.transcript);
            miss.SetAsInteger(b.miss);
            kbMiss.SetAsInteger(b.kbMiss);
            inRow.SetAsInteger(b.inRow);
            kbInRow.SetAsInteger(b.kbInRow);
            wavFile.SetAsString(b.wavFile);
            wavStart.SetAsInteger(int32_t(b.wavStart));
            wavEnd.SetAsInteger(int32_t(b.wavEnd));
            ds.Post();
        }
    }

    void order(const char *tag)
    {
        if (ds_->IndexName() != tag)
            ds_->SetIndexName(tag);
    }
    void filtered(bool on)
    {
        if (ds_->Filtered() != on)
            ds_->SetFiltered(on);
    }
    void close()
    {
        if (ds_)
            ds_->Close();
        ds_.reset();
        onBase_ = false;
    }

    const Workload &w_;
    std::string base_, baseCdx_, work_, workCdx_, copy_;
    std::unique_ptr<TDbfDataSet> ds_;
    TField *inRow_ = nullptr;
    bool onBase_ = false;
};
