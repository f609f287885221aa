// Bottom-up tag build: a leaf is closed once its free bytes fall below two worst-case
// entries, an interior page once it holds its maximum; a closed page already names the next
// page of its level (allocated then) and hands its last entry to the level above. Pages are
// encoded in place as entries arrive (the layouts of CdxEncodeLeaf and CdxEncodeInterior)
// and go to the sink together at the end.
#include "engine/Sort.h"

#include "engine/Bytes.h"
#include "engine/KeyScan.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

struct Builder {
    TCdxPageSink& sink;
    int keyLength;
    char pad;
    TCdxLeafParams params;

    // Every page this build allocated, in order, and its bytes once written.
    std::vector<uint32_t> offsets;
    std::vector<uint8_t> pages;
    std::vector<bool> written;

    struct Level {
        bool leaf = true;
        bool started = false;
        size_t slot = 0;  // index into offsets
        uint32_t left = IndexNoPage;
        uint32_t right = IndexNoPage;
        int count = 0;
        size_t used = 0;                 // leaf: key area bytes used
        size_t keyPos = IndexPageSize;   // leaf: where the last stored key bytes begin
        const char* lastKey = nullptr;   // the greatest entry so far: handed up on closing
        uint32_t lastLength = 0;
        uint32_t lastRec = 0;
    };
    std::vector<Level> levels;

    uint8_t* Page(size_t slot) { return pages.data() + slot * IndexPageSize; }

    size_t Alloc()
    {
        offsets.push_back(sink.AllocPage());
        pages.resize(offsets.size() * IndexPageSize);
        written.push_back(false);
        return offsets.size() - 1;
    }

    void Start(size_t lvl, size_t slot)
    {
        Level& l = levels[lvl];
        l.leaf = lvl == 0;
        l.slot = slot;
        l.right = IndexNoPage;
        l.started = true;
        l.count = 0;
        l.used = 0;
        l.keyPos = IndexPageSize;
        uint8_t* page = Page(slot);
        if (l.leaf) {
            std::memset(page, 0, IndexPageSize);
        } else {
            std::memset(page, uint8_t(pad), IndexPageSize);
            std::memset(page, 0, 12);
        }
    }

    void Emit(size_t lvl, bool root)
    {
        Level& l = levels[lvl];
        uint8_t* page = Page(l.slot);
        Put16(page, l.leaf ? (root ? 3 : 2) : (root ? 1 : 0));
        Put16(page + 2, uint32_t(l.count));
        Put32(page + 4, l.left);
        Put32(page + 8, l.right);
        if (l.leaf)
            CdxPutLeafLayout(page, params, l.used);
        written[l.slot] = true;
        l.left = offsets[l.slot];
    }

    bool Full(const Level& l) const
    {
        if (l.leaf)
            return CdxKeyArea - int(l.used) < 2 * (params.N + keyLength);
        return l.count >= CdxInteriorMax(keyLength);
    }

    // Closes a full page whose level is known to receive more entries.
    void Close(size_t lvl)
    {
        size_t next = Alloc();
        levels[lvl].right = offsets[next];
        Emit(lvl, false);
        const char* key = levels[lvl].lastKey;
        uint32_t length = levels[lvl].lastLength;
        uint32_t rec = levels[lvl].lastRec;
        uint32_t child = offsets[levels[lvl].slot];
        Start(lvl, next);
        Push(lvl + 1, key, length, rec, child, false);
    }

    // key: length bytes, the key without its trailing pad bytes (the rest is pad).
    void Push(size_t lvl, const char* key, uint32_t length, uint32_t rec, uint32_t child, bool last)
    {
        if (lvl == levels.size())
            levels.emplace_back();
        if (!levels[lvl].started)
            Start(lvl, Alloc());
        Level& l = levels[lvl];
        uint8_t* page = Page(l.slot);
        if (l.leaf) {
            // Bytes shared with the last key as both stand padded, at most this key's length.
            uint32_t dup = 0;
            if (l.count > 0) {
                dup = CommonPrefix(l.lastKey, key, std::min(length, l.lastLength));
                if (dup == l.lastLength)
                    while (dup < length && key[dup] == pad)
                        ++dup;
            }
            const uint32_t trail = uint32_t(keyLength) - length;
            const size_t stored = length - dup;
            uint64_t v = uint64_t(rec) | (uint64_t(dup) << params.RecBits) |
                         (uint64_t(trail) << (params.RecBits + params.DupBits));
            uint8_t* e = page + 24 + size_t(l.count) * size_t(params.N);
            for (int b = 0; b < params.N; ++b)
                e[b] = uint8_t(v >> (8 * b));
            l.keyPos -= stored;
            std::memcpy(page + l.keyPos, key + dup, stored);
            l.used += size_t(params.N) + stored;
        } else {
            // The page was filled with pad when started: the key's own bytes are enough.
            uint8_t* e = page + 12 + size_t(l.count) * size_t(keyLength + 8);
            std::memcpy(e, key, length);
            Put32BE(e + keyLength, rec);
            Put32BE(e + keyLength + 4, child);
        }
        ++l.count;
        l.lastKey = key;
        l.lastLength = length;
        l.lastRec = rec;
        if (!last && Full(l))
            Close(lvl);
    }

    uint32_t Finish()
    {
        if (levels.empty()) {
            levels.emplace_back();
            Start(0, Alloc());
        }
        for (size_t lvl = 0; lvl < levels.size(); ++lvl) {
            Level& l = levels[lvl];
            l.right = IndexNoPage;
            const bool root = lvl + 1 == levels.size();
            Emit(lvl, root);
            if (!root)
                Push(lvl + 1, levels[lvl].lastKey, levels[lvl].lastLength, levels[lvl].lastRec,
                     offsets[levels[lvl].slot], true);
        }
        return offsets[levels.back().slot];
    }

    // Runs of written pages that follow each other in the file go out as one write each.
    void Flush()
    {
        size_t i = 0;
        while (i < offsets.size()) {
            if (!written[i]) {
                ++i;
                continue;
            }
            size_t j = i + 1;
            while (j < offsets.size() && written[j] && offsets[j] == offsets[j - 1] + IndexPageSize)
                ++j;
            sink.WritePages(offsets[i], Page(i), j - i);
            i = j;
        }
    }
};

// Stable LSD radix sort on the 64-bit prefix, a byte per pass; passes where every entry has
// the same byte (the high bytes of small numbers, the common first letters) are skipped.
template <class Entry>
void SortByPrefix(std::vector<Entry>& entries)
{
    const size_t n = entries.size();
    if (n < 2)
        return;
    std::vector<std::array<uint32_t, 256>> counts(8);
    for (auto& c : counts)
        c.fill(0);
    for (const Entry& e : entries)
        for (int d = 0; d < 8; ++d)
            ++counts[size_t(d)][(e.Prefix >> (8 * d)) & 0xFF];
    std::vector<Entry> other(n);
    for (int d = 0; d < 8; ++d) {
        std::array<uint32_t, 256>& c = counts[size_t(d)];
        if (c[(entries[0].Prefix >> (8 * d)) & 0xFF] == n)
            continue;
        uint32_t at = 0;
        for (uint32_t& k : c) {
            uint32_t here = k;
            k = at;
            at += here;
        }
        for (const Entry& e : entries)
            other[c[(e.Prefix >> (8 * d)) & 0xFF]++] = e;
        entries.swap(other);
    }
}

} // namespace

TCdxSorter::TCdxSorter(int keyLength, char pad, bool unique)
    : keyLength_(keyLength), pad_(pad), unique_(unique)
{
}

void TCdxSorter::Reserve(size_t n)
{
    entries_.reserve(n);
    lengths_.reserve(n);
    offsets_.reserve(n);
    // Room for every key at full length; only what the trimmed keys use is ever touched.
    growKeys((n + 1) * size_t(keyLength_));
}

void TCdxSorter::growKeys(size_t bytes)
{
    if (bytes <= keysRoom_)
        return;
    std::unique_ptr<char[]> more(new char[bytes]);
    if (keys_)
        std::memcpy(more.get(), keys_.get(), keysUsed_);
    keys_ = std::move(more);
    keysRoom_ = bytes;
}

char* TCdxSorter::NextKey()
{
    const size_t end = keysUsed_ + size_t(keyLength_);
    if (keysRoom_ < end)
        growKeys(std::max(end, keysRoom_ * 2));
    return keys_.get() + keysUsed_;
}

void TCdxSorter::Commit(uint32_t recNo)
{
    const uint32_t slot = uint32_t(lengths_.size());
    const char* key = keys_.get() + keysUsed_;
    const uint32_t length = TrimmedLength(key, size_t(keyLength_), pad_);
    uint64_t prefix = 0;
    for (uint32_t i = 0; i < 8; ++i)
        prefix = prefix << 8 | (i < length ? uint8_t(key[i]) : 0u);
    lengths_.push_back(uint16_t(length));
    offsets_.push_back(keysUsed_);
    keysUsed_ += length;
    if (!entries_.empty() && recNo <= entries_.back().RecNo)
        inRecordOrder_ = false;
    entries_.push_back(Entry{prefix, recNo, slot});
}

void TCdxSorter::Add(std::string_view key, uint32_t recNo)
{
    char* to = NextKey();
    const size_t n = std::min(key.size(), size_t(keyLength_));
    std::memcpy(to, key.data(), n);
    std::memset(to + n, pad_, size_t(keyLength_) - n);
    Commit(recNo);
}

uint32_t TCdxSorter::Write(TCdxPageSink& sink, uint64_t recordLimit)
{
    const char* keys = keys_.get();
    auto keyOf = [&](uint32_t slot) { return keys + offsets_[slot]; };
    // Trailing pad bytes do not count; a key that begins another comes first.
    auto compare = [&](const Entry& a, const Entry& b) {
        const uint32_t la = lengths_[a.Slot], lb = lengths_[b.Slot];
        int c = std::memcmp(keyOf(a.Slot), keyOf(b.Slot), std::min(la, lb));
        if (c != 0)
            return c;
        return la < lb ? -1 : (la > lb ? 1 : 0);
    };
    auto less = [&](const Entry& a, const Entry& b) {
        if (a.Prefix != b.Prefix)
            return a.Prefix < b.Prefix;
        int c = compare(a, b);
        return c != 0 ? c < 0 : a.RecNo < b.RecNo;
    };
    if (!inRecordOrder_) {
        std::sort(entries_.begin(), entries_.end(), less);
    } else {
        // Added in record order: a stable sort on the prefix keeps equal keys in record order,
        // and only runs of one prefix whose keys may still differ need the full comparison.
        SortByPrefix(entries_);
        const bool prefixIsKey = keyLength_ <= 8;
        for (size_t i = 0; i < entries_.size();) {
            size_t j = i + 1;
            bool sameLength = true;
            while (j < entries_.size() && entries_[j].Prefix == entries_[i].Prefix) {
                sameLength = sameLength && lengths_[entries_[j].Slot] == lengths_[entries_[i].Slot];
                ++j;
            }
            if (j - i > 1 && !(prefixIsKey && sameLength)) {
                auto from = entries_.begin() + long(i), to = entries_.begin() + long(j);
                if (!std::is_sorted(from, to, less))
                    std::sort(from, to, less);
            }
            i = j;
        }
    }
    if (unique_) {
        auto end = std::unique(entries_.begin(), entries_.end(), [&](const Entry& a, const Entry& b) {
            return a.Prefix == b.Prefix && compare(a, b) == 0;
        });
        entries_.erase(end, entries_.end());
    }
    uint64_t limit = recordLimit;
    for (const Entry& e : entries_)
        limit = std::max<uint64_t>(limit, e.RecNo);
    Builder b{sink, keyLength_, pad_, CdxLeafParams(keyLength_, limit), {}, {}, {}, {}};
    for (size_t i = 0; i < entries_.size(); ++i) {
        // Sorted, the keys are read in no order of the buffer: ask for a later one early.
        if (i + 8 < entries_.size())
            __builtin_prefetch(keyOf(entries_[i + 8].Slot));
        const Entry& e = entries_[i];
        b.Push(0, keyOf(e.Slot), lengths_[e.Slot], e.RecNo, 0, i + 1 == entries_.size());
    }
    uint32_t root = b.Finish();
    b.Flush();
    entries_.clear();
    lengths_.clear();
    offsets_.clear();
    keys_.reset();
    keysRoom_ = keysUsed_ = 0;
    inRecordOrder_ = true;
    return root;
}
