// Bottom-up tag build: a leaf is closed once its free bytes fall below two worst-case
// entries, an interior page once it holds its maximum; a closed page already names the next
// page of its level (allocated then) and hands its last entry to the level above.
#include "engine/Sort.h"

#include <algorithm>
#include <array>
#include <cstring>

TCdxSorter::TCdxSorter(int keyLength, char pad, bool unique)
    : keyLength_(keyLength), pad_(pad), unique_(unique)
{
}

void TCdxSorter::Add(std::string key, uint32_t recNo)
{
    key.resize(size_t(keyLength_), pad_);
    uint32_t length = uint32_t(key.size() - size_t(CdxTrailCount(key, pad_)));
    uint64_t prefix = 0;
    for (size_t i = 0; i < 8; ++i)
        prefix = prefix << 8 | (i < length ? uint8_t(key[i]) : 0u);
    pairs_.push_back(Pair{std::move(key), recNo, length, prefix});
}

namespace {

struct Builder {
    TCdxPageSink& sink;
    int keyLength;
    char pad;
    uint64_t recordLimit;
    TCdxLeafParams params;
    struct Level {
        TIndexNode node;
        bool started = false;
        uint32_t prev = IndexNoPage;
        size_t used = 0;  // leaf bytes used
    };
    std::vector<Level> levels;
    std::array<uint8_t, IndexPageSize> page{};

    void Start(size_t lvl, uint32_t offset)
    {
        Level& l = levels[lvl];
        l.node = TIndexNode();
        l.node.Offset = offset;
        l.node.Leaf = lvl == 0;
        l.node.Left = l.prev;
        l.started = true;
        l.used = 0;
    }

    void Emit(size_t lvl)
    {
        Level& l = levels[lvl];
        if (l.node.Leaf)
            CdxEncodeLeaf(l.node, keyLength, pad, recordLimit, page.data());
        else
            CdxEncodeInterior(l.node, keyLength, pad, page.data());
        sink.WritePage(l.node.Offset, page.data());
        l.prev = l.node.Offset;
    }

    bool Full(size_t lvl) const
    {
        const Level& l = levels[lvl];
        if (l.node.Leaf)
            return CdxKeyArea - int(l.used) < 2 * (params.N + keyLength);
        return int(l.node.Keys.size()) >= CdxInteriorMax(keyLength);
    }

    // Closes a full page whose level is known to receive more entries.
    void Close(size_t lvl)
    {
        uint32_t next = sink.AllocPage();
        levels[lvl].node.Right = next;
        Emit(lvl);
        TIndexKey up = levels[lvl].node.Keys.back();
        up.Child = levels[lvl].node.Offset;
        Start(lvl, next);
        Push(lvl + 1, up, false);
    }

    void Push(size_t lvl, const TIndexKey& entry, bool last)
    {
        if (lvl == levels.size())
            levels.emplace_back();
        if (!levels[lvl].started)
            Start(lvl, sink.AllocPage());
        Level& l = levels[lvl];
        if (l.node.Leaf) {
            int trail = CdxTrailCount(entry.Key, pad);
            int dup = l.node.Keys.empty() ? 0 : CdxDupCount(l.node.Keys.back().Key, entry.Key, trail);
            l.used += size_t(params.N) + entry.Key.size() - size_t(trail) - size_t(dup);
        }
        l.node.Keys.push_back(entry);
        if (!last && Full(lvl))
            Close(lvl);
    }

    uint32_t Finish()
    {
        if (levels.empty()) {
            levels.emplace_back();
            Start(0, sink.AllocPage());
        }
        for (size_t lvl = 0; lvl < levels.size(); ++lvl) {
            Level& l = levels[lvl];
            l.node.Right = IndexNoPage;
            l.node.Root = lvl + 1 == levels.size();
            Emit(lvl);
            if (!l.node.Root) {
                TIndexKey up = l.node.Keys.back();
                up.Child = l.node.Offset;
                Push(lvl + 1, up, true);
            }
        }
        return levels.back().node.Offset;
    }
};

} // namespace

uint32_t TCdxSorter::Write(TCdxPageSink& sink, uint64_t recordLimit)
{
    auto compare = [](const Pair& a, const Pair& b) {
        int c = std::memcmp(a.Key.data(), b.Key.data(), std::min(a.Length, b.Length));
        if (c != 0)
            return c;
        return a.Length < b.Length ? -1 : (a.Length > b.Length ? 1 : 0);
    };
    const bool prefixIsKey = keyLength_ <= 8;
    std::sort(pairs_.begin(), pairs_.end(), [&](const Pair& a, const Pair& b) {
        if (a.Prefix != b.Prefix)
            return a.Prefix < b.Prefix;
        if (prefixIsKey && a.Length == b.Length)
            return a.RecNo < b.RecNo;
        int c = compare(a, b);
        return c != 0 ? c < 0 : a.RecNo < b.RecNo;
    });
    if (unique_) {
        auto end = std::unique(pairs_.begin(), pairs_.end(), [&](const Pair& a, const Pair& b) {
            return compare(a, b) == 0;
        });
        pairs_.erase(end, pairs_.end());
    }
    Builder b{sink, keyLength_, pad_, recordLimit, {}, {}, {}};
    uint64_t limit = recordLimit;
    for (const Pair& k : pairs_)
        limit = std::max<uint64_t>(limit, k.RecNo);
    b.recordLimit = limit;
    b.params = CdxLeafParams(keyLength_, limit);
    for (size_t i = 0; i < pairs_.size(); ++i)
        b.Push(0, TIndexKey{std::move(pairs_[i].Key), pairs_[i].RecNo, 0}, i + 1 == pairs_.size());
    uint32_t root = b.Finish();
    pairs_.clear();
    return root;
}
