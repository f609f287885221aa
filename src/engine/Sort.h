// TCdxSorter: the bulk builder of a tag. Collects (key, record number) pairs, sorts them in
// key order and writes the tree bottom-up, every page exactly once and strictly left to right
// per level. Relies on the page codecs (CdxPage.h) and a sink that allocates and writes pages.
#pragma once

#include "engine/CdxPage.h"

#include <cstdint>
#include <string>
#include <vector>

class TCdxPageSink {
public:
    virtual ~TCdxPageSink() = default;
    virtual uint32_t AllocPage() = 0;
    virtual void WritePage(uint32_t offset, const uint8_t* page) = 0;
};

class TCdxSorter {
public:
    TCdxSorter(int keyLength, char pad, bool unique);

    // key: padded to the key length.
    void Add(std::string key, uint32_t recNo);
    size_t Count() const { return pairs_.size(); }

    // Sorts and writes the pages; returns the root's offset. recordLimit sets the leaf
    // entry layout (the table's record count).
    uint32_t Write(TCdxPageSink& sink, uint64_t recordLimit);

private:
    int keyLength_;
    char pad_;
    bool unique_;
    struct Pair {
        std::string Key;
        uint32_t RecNo;
        uint32_t Length;  // without the trailing pad bytes: compared often while sorting
        // The first 8 bytes of the key without its pad bytes (zeros after), big-endian: a
        // smaller prefix means a smaller key, so most comparisons stop here.
        uint64_t Prefix;
    };
    std::vector<Pair> pairs_;
};
