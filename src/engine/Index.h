// The B+-tree logic shared by index tags: expanded pages, the path from the root to the
// current leaf, ordered navigation, search, key insertion with leaf, interior and root splits,
// and key removal. The page format and the file are the layer above (Cdx.h); this layer only
// asks it to read, write, allocate and measure pages, and treats what it reads as untrusted.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <string>
#include <vector>

constexpr uint32_t IndexNoPage = 0xFFFFFFFF;
constexpr uint32_t IndexPageSize = 512;

// One entry: the key padded to the key length and its record number; in interior pages the
// key and record number are those of the greatest entry below Child.
struct TIndexKey {
    std::string Key;
    uint32_t RecNo = 0;
    uint32_t Child = 0;
};

// One page with its keys expanded.
struct TIndexNode {
    uint32_t Offset = 0;
    bool Leaf = true;
    bool Root = false;
    uint32_t Left = IndexNoPage;
    uint32_t Right = IndexNoPage;
    std::vector<TIndexKey> Keys;
    // Not part of the page: the bounds it last lay inside, while its tag's tree was unchanged
    // (see TIndexTag::PushChild).
    mutable uint64_t CheckedIn = 0;
    mutable const TIndexKey* CheckedLo = nullptr;
    mutable const TIndexKey* CheckedHi = nullptr;
};

// A decoded page shared by the page cache and the path until one of them changes it: moving
// from page to page copies no keys.
class TNodeRef {
public:
    TNodeRef() = default;
    explicit TNodeRef(TIndexNode node) : p_(std::make_shared<TIndexNode>(std::move(node))) {}
    const TIndexNode& operator*() const { return *p_; }
    const TIndexNode* operator->() const { return p_.get(); }
    explicit operator bool() const { return p_ != nullptr; }
    // The page for changing: a copy of its own first when another holder shares it.
    TIndexNode& Edit()
    {
        if (p_.use_count() > 1)
            p_ = std::make_shared<TIndexNode>(*p_);
        return *p_;
    }

private:
    std::shared_ptr<TIndexNode> p_;
};

// Decoded pages by offset: found by page number, in chunks made as pages are met, for the
// pages of any dictionary; by a map for offsets a damaged file may give beyond that.
class TNodeCache {
public:
    TNodeRef* Find(uint32_t offset)
    {
        if (near(offset)) {
            const size_t page = offset / IndexPageSize, chunk = page / ChunkPages;
            if (chunk >= chunks_.size() || !chunks_[chunk])
                return nullptr;
            TNodeRef& slot = (*chunks_[chunk])[page % ChunkPages];
            return slot ? &slot : nullptr;
        }
        auto it = far_.find(offset);
        return it == far_.end() ? nullptr : &it->second;
    }
    TNodeRef& Put(uint32_t offset, TNodeRef node)
    {
        TNodeRef* slot;
        if (near(offset)) {
            const size_t page = offset / IndexPageSize, chunk = page / ChunkPages;
            if (chunk >= chunks_.size())
                chunks_.resize(chunk + 1);
            if (!chunks_[chunk])
                chunks_[chunk] = std::make_unique<Chunk>();
            slot = &(*chunks_[chunk])[page % ChunkPages];
        } else {
            slot = &far_[offset];
        }
        if (!*slot)
            ++count_;
        *slot = std::move(node);
        return *slot;
    }
    size_t Size() const { return count_; }
    void Clear()
    {
        chunks_.clear();
        far_.clear();
        count_ = 0;
    }

private:
    static constexpr uint32_t NearPages = 1u << 20;  // a 512 MB index
    static constexpr size_t ChunkPages = 256;
    using Chunk = std::array<TNodeRef, ChunkPages>;
    static bool near(uint32_t offset) { return offset % IndexPageSize == 0 && offset / IndexPageSize < NearPages; }
    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::unordered_map<uint32_t, TNodeRef> far_;
    size_t count_ = 0;
};

// Key order of every tag: trailing pad bytes removed, unsigned bytes, a prefix before the
// longer key.
int IndexCompareKeys(const std::string& a, const std::string& b, char pad);

class TIndexTag {
public:
    virtual ~TIndexTag() = default;

    int KeyLength() const { return keyLength_; }
    char PadByte() const { return pad_; }
    bool Unique() const { return unique_; }

    int CompareKeys(const std::string& a, const std::string& b) const
    {
        return IndexCompareKeys(a, b, pad_);
    }
    // Entries: by key, then by record number.
    int CompareEntries(const TIndexKey& a, const TIndexKey& b) const;
    std::string StripKey(const std::string& key) const;
    std::string PadKey(std::string key) const;

    // Tree-order navigation; record number of the entry, 0 past either end.
    uint32_t TreeFirst();
    uint32_t TreeLast();
    uint32_t TreeNext();
    uint32_t TreePrior();
    uint32_t TreeCurrent() const;
    // The record number `ahead` entries after the current one when it lies in the same leaf,
    // else 0: what a forward walk will want soon, without moving.
    uint32_t TreeAhead(size_t ahead) const;
    bool TreeEof() const { return eof_; }
    bool TreeBof() const { return bof_; }
    bool Positioned() const;
    const TIndexKey* CurrentEntry() const;
    void Unposition();

    // Positions on the first entry not below `key` (stripped comparison, record numbers
    // ignored); record number of that entry or 0 at the end.
    uint32_t SeekKey(const std::string& key);
    // Positions on the first entry not below (key, recNo); true when it is that entry.
    bool SeekEntry(const std::string& key, uint32_t recNo);
    bool Contains(const std::string& key, uint32_t recNo);

    // Maintenance. Both keep the position on the entry that was current (or the one after
    // it when that entry is gone). False when nothing changed (entry present / absent, or a
    // unique tag already holding the key).
    bool KeyAdd(const std::string& key, uint32_t recNo);
    bool KeyDelete(const std::string& key, uint32_t recNo);
    // Moves a record's entry from one key to another (nothing when they are equal).
    void KeyUpdate(const std::string& oldKey, const std::string& newKey, uint32_t recNo);

protected:
    // Reads and decodes one tree page; fails (never returns) on a page that is not one.
    virtual TIndexNode ReadNode(uint32_t offset) = 0;
    virtual void WriteNode(const TIndexNode& node) = 0;
    virtual uint32_t AllocPage() = 0;
    // Rewrites one sibling pointer of a page in place (its entries stay as they were stored).
    virtual void SetSibling(uint32_t offset, bool right, uint32_t sibling) = 0;
    // Whether the node's entries fit its page.
    virtual bool NodeFits(const TIndexNode& node) = 0;
    // How many leading entries of an overfull leaf move to the new left sibling.
    virtual size_t LeafSplitCount(const TIndexNode& node) = 0;
    virtual uint32_t RootOffset() const = 0;
    [[noreturn]] virtual void Damaged(const std::string& why) = 0;

    void SetKeyFormat(int keyLength, char pad, bool unique)
    {
        keyLength_ = keyLength;
        pad_ = pad;
        unique_ = unique;
    }
    // Drops the path (after the file changed under it).
    void ResetPath();
    // Forgets the decoded pages kept for reuse.
    void DropCache();
    // Most decoded pages kept (128 unless set): files no other process writes keep more.
    void SetNodeCacheLimit(size_t nodes) { cacheLimit_ = nodes ? nodes : 1; }

private:
    // An entry of a page as it was when a child was reached through it (the page version
    // is held, so the entry needs no copy).
    struct Bound {
        TNodeRef Node;
        int Index = -1;  // none
        const TIndexKey* Get() const { return Index < 0 ? nullptr : &Node->Keys[size_t(Index)]; }
    };
    struct Level {
        TNodeRef Node;
        int Pos = 0;
        bool Dirty = false;
        Bound Lo;  // entries lie above Lo ...
        Bound Hi;  // ... and not above Hi
    };
    enum class Aim { First, Last, Lower, LowerKey };

    // Pages go through a small cache of decoded nodes: a page is decoded and its order
    // checked once, not on every descent. Only this tag writes its pages, so writes keep it true.
    TNodeRef FetchNode(uint32_t offset);
    void StoreNode(const TNodeRef& node);
    void PatchSibling(uint32_t offset, bool right, uint32_t sibling);
    size_t cacheLimit_ = 128;
    TNodeCache cache_;

    void LoadRoot();
    void Descend(size_t level, Aim aim, const TIndexKey* target);
    void PushChild(size_t level);
    void CheckNode(const Level& level);
    uint32_t SettleForward();
    uint32_t SettleBackward();
    int AimCompare(const TIndexKey& entry, const TIndexKey& target, Aim aim) const;
    void TrimPath(size_t size);
    void WritePath();
    void FixOverflow();
    void SplitLevel(size_t level);
    void SplitRoot();
    void Unlink(const TIndexNode& node);
    void Restore(const std::optional<TIndexKey>& saved);
    std::optional<TIndexKey> SavePosition() const;

    std::vector<Level> path_;
    // Moves whenever a decoded page may change or go: within one value every page met is
    // alive and unchanged, so a page already found inside the same parent entries needs no
    // second check.
    uint64_t treeVersion_ = 1;
    bool eof_ = false;
    bool bof_ = false;
    int keyLength_ = 0;
    char pad_ = ' ';
    bool unique_ = false;
};
