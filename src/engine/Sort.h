// TCdxSorter: the bulk builder of a tag. Collects (key, record number) pairs, sorts them in
// key order and writes the tree bottom-up, every page exactly once and strictly left to right
// per level. Relies on the page layouts (CdxPage.h) and a sink that allocates and writes pages.
#pragma once

#include "engine/CdxPage.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class TCdxPageSink {
public:
    virtual ~TCdxPageSink() = default;
    virtual uint32_t AllocPage() = 0;
    virtual void WritePage(uint32_t offset, const uint8_t* page) = 0;
    // count pages that follow each other in the file from offset: one write where the sink can.
    virtual void WritePages(uint32_t offset, const uint8_t* pages, size_t count)
    {
        for (size_t i = 0; i < count; ++i)
            WritePage(offset + uint32_t(i) * IndexPageSize, pages + i * IndexPageSize);
    }
};

class TCdxSorter {
public:
    TCdxSorter(int keyLength, char pad, bool unique);

    // Room for the keys of n records, so that collecting them does not reallocate.
    void Reserve(size_t n);
    // key: padded to the key length (or cut to it).
    void Add(std::string_view key, uint32_t recNo);
    // The key written in place: NextKey gives room for exactly key-length bytes, Commit keeps
    // them for the record. Without Commit the room is reused by the next key.
    char* NextKey();
    void Commit(uint32_t recNo);
    size_t Count() const { return entries_.size(); }

    // Sorts and writes the pages; returns the root's offset. recordLimit sets the leaf
    // entry layout (the table's record count).
    uint32_t Write(TCdxPageSink& sink, uint64_t recordLimit);

private:
    int keyLength_;
    char pad_;
    bool unique_;
    // One key: the first 8 bytes of the key without its pad bytes (zeros after), big-endian,
    // so that a smaller prefix means a smaller key and most comparisons stop there; and the
    // slot that says where its bytes lie.
    struct Entry {
        uint64_t Prefix;
        uint32_t RecNo;
        uint32_t Slot;
    };
    std::vector<Entry> entries_;
    // The keys one after another without their trailing pad bytes (which carry nothing: a key
    // is its bytes up to its length and pad after): a dictionary's words are short in wide
    // fields, so the keys take a fraction of their padded size and stay close in memory for
    // the sort and the writing. The room past what is used is not cleared first, as each key
    // is written whole before it is read; pages never written are never touched.
    std::unique_ptr<char[]> keys_;
    size_t keysRoom_ = 0;  // bytes keys_ holds
    size_t keysUsed_ = 0;  // bytes of committed keys
    void growKeys(size_t bytes);
    std::vector<uint64_t> offsets_;  // per slot: where its bytes begin in keys_
    std::vector<uint16_t> lengths_;  // per slot: the key without its trailing pad bytes
    bool inRecordOrder_ = true;      // every record number above the one before
};
