// B+-tree walk, search and maintenance over expanded pages. Pages come from a file that may
// be damaged, so every descent checks that the child's entries lie inside the range its
// parent entry gives them: a cycle or a page shared between two parents fails as damage
// instead of looping.
#include "engine/Index.h"

#include "engine/KeyScan.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr size_t MaxDepth = 64;
}

std::string TIndexTag::StripKey(const std::string& key) const
{
    size_t n = key.size();
    while (n > 0 && key[n - 1] == pad_)
        --n;
    return key.substr(0, n);
}

std::string TIndexTag::PadKey(std::string key) const
{
    if (key.size() > size_t(keyLength_))
        key.resize(size_t(keyLength_));
    key.append(size_t(keyLength_) - key.size(), pad_);
    return key;
}

int IndexCompareKeys(const std::string& a, const std::string& b, char pad_)
{
    if (a.size() == b.size()) {
        // Keys of one tag have one length: the first differing byte decides, unless from
        // there on one key is all pad (then it is the shorter one).
        const uint32_t n = uint32_t(a.size());
        const uint32_t i = CommonPrefix(a.data(), b.data(), n);
        if (i == n)
            return 0;
        if (a[i] == pad_ && TrimmedLength(a.data() + i, n - i, pad_) == 0)
            return -1;
        if (b[i] == pad_ && TrimmedLength(b.data() + i, n - i, pad_) == 0)
            return 1;
        return uint8_t(a[i]) < uint8_t(b[i]) ? -1 : 1;
    }
    size_t la = a.size(), lb = b.size();
    while (la > 0 && a[la - 1] == pad_)
        --la;
    while (lb > 0 && b[lb - 1] == pad_)
        --lb;
    int c = std::memcmp(a.data(), b.data(), std::min(la, lb));
    if (c != 0)
        return c < 0 ? -1 : 1;
    return la < lb ? -1 : (la > lb ? 1 : 0);
}

int TIndexTag::CompareEntries(const TIndexKey& a, const TIndexKey& b) const
{
    int c = CompareKeys(a.Key, b.Key);
    if (c != 0)
        return c;
    return a.RecNo < b.RecNo ? -1 : (a.RecNo > b.RecNo ? 1 : 0);
}

int TIndexTag::AimCompare(const TIndexKey& entry, const TIndexKey& target, Aim aim) const
{
    return aim == Aim::LowerKey ? CompareKeys(entry.Key, target.Key) : CompareEntries(entry, target);
}

void TIndexTag::ResetPath()
{
    ++treeVersion_;
    path_.clear();
    eof_ = bof_ = false;
}

void TIndexTag::Unposition()
{
    WritePath();
    ResetPath();
}

bool TIndexTag::Positioned() const
{
    return CurrentEntry() != nullptr;
}

const TIndexKey* TIndexTag::CurrentEntry() const
{
    if (path_.empty() || eof_ || bof_)
        return nullptr;
    const Level& leaf = path_.back();
    if (leaf.Pos < 0 || size_t(leaf.Pos) >= leaf.Node->Keys.size())
        return nullptr;
    return &leaf.Node->Keys[size_t(leaf.Pos)];
}

uint32_t TIndexTag::TreeCurrent() const
{
    const TIndexKey* e = CurrentEntry();
    return e ? e->RecNo : 0;
}

uint32_t TIndexTag::TreeAhead(size_t ahead) const
{
    if (path_.empty() || eof_ || bof_)
        return 0;
    const Level& leaf = path_.back();
    const size_t at = size_t(leaf.Pos) + ahead;
    return leaf.Pos >= 0 && leaf.Node->Leaf && at < leaf.Node->Keys.size() ? leaf.Node->Keys[at].RecNo : 0;
}

void TIndexTag::TrimPath(size_t size)
{
    while (path_.size() > size) {
        if (path_.back().Dirty)
            StoreNode(path_.back().Node);
        path_.pop_back();
    }
}

void TIndexTag::WritePath()
{
    for (Level& l : path_) {
        if (l.Dirty) {
            StoreNode(l.Node);
            l.Dirty = false;
        }
    }
}

void TIndexTag::CheckNode(const Level& level)
{
    const auto& keys = level.Node->Keys;
    if (!level.Node->Leaf && keys.empty() && path_.size() > 1)
        Damaged("empty interior page at " + std::to_string(level.Node->Offset));
    if (!keys.empty()) {
        if (const TIndexKey* lo = level.Lo.Get(); lo && CompareEntries(keys.front(), *lo) <= 0)
            Damaged("page " + std::to_string(level.Node->Offset) + " below its parent's range");
        if (const TIndexKey* hi = level.Hi.Get(); hi && CompareEntries(keys.back(), *hi) > 0)
            Damaged("page " + std::to_string(level.Node->Offset) + " above its parent's entry");
    }
}

TNodeRef TIndexTag::FetchNode(uint32_t offset)
{
    if (TNodeRef* cached = cache_.Find(offset))
        return *cached;
    TIndexNode node = ReadNode(offset);
    const auto& keys = node.Keys;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].Key.size() != size_t(keyLength_))
            Damaged("key of wrong length");
        if (i > 0 && CompareEntries(keys[i - 1], keys[i]) >= 0)
            Damaged("keys out of order in page " + std::to_string(offset));
    }
    if (cache_.Size() >= cacheLimit_) {
        cache_.Clear();
        ++treeVersion_;
    }
    return cache_.Put(offset, TNodeRef(std::move(node)));
}

void TIndexTag::StoreNode(const TNodeRef& node)
{
    WriteNode(*node);
    ++treeVersion_;
    if (cache_.Size() >= cacheLimit_)
        cache_.Clear();
    TNodeRef& cached = cache_.Put(node->Offset, node);
    const bool root = node->Offset == RootOffset();
    if (cached->Root != root)
        cached.Edit().Root = root;
}

void TIndexTag::PatchSibling(uint32_t offset, bool right, uint32_t sibling)
{
    SetSibling(offset, right, sibling);
    ++treeVersion_;
    if (TNodeRef* cached = cache_.Find(offset))
        (right ? cached->Edit().Right : cached->Edit().Left) = sibling;
}

void TIndexTag::DropCache()
{
    cache_.Clear();
    ++treeVersion_;
}

void TIndexTag::LoadRoot()
{
    TrimPath(0);
    eof_ = bof_ = false;
    Level root;
    root.Node = FetchNode(RootOffset());
    path_.push_back(std::move(root));
    CheckNode(path_.back());
}

void TIndexTag::PushChild(size_t level)
{
    const Level& parent = path_[level];
    const TIndexKey& entry = parent.Node->Keys[size_t(parent.Pos)];
    if (path_.size() >= MaxDepth)
        Damaged("tree too deep");
    for (const Level& l : path_) {
        if (l.Node->Offset == entry.Child)
            Damaged("page cycle at " + std::to_string(entry.Child));
    }
    Level child;
    child.Hi = Bound{parent.Node, parent.Pos};
    child.Lo = parent.Pos > 0 ? Bound{parent.Node, parent.Pos - 1} : parent.Lo;
    child.Node = FetchNode(entry.Child);
    const TIndexNode& node = *child.Node;
    const TIndexKey *lo = child.Lo.Get(), *hi = child.Hi.Get();
    const bool known = node.CheckedIn == treeVersion_ && node.CheckedLo == lo && node.CheckedHi == hi;
    path_.push_back(std::move(child));
    if (!known) {
        CheckNode(path_.back());
        node.CheckedIn = treeVersion_;
        node.CheckedLo = lo;
        node.CheckedHi = hi;
    }
}

void TIndexTag::Descend(size_t level, Aim aim, const TIndexKey* target)
{
    TrimPath(level + 1);
    for (;;) {
        Level& l = path_.back();
        const auto& keys = l.Node->Keys;
        int n = int(keys.size());
        int pos = 0;
        if (aim == Aim::First) {
            pos = 0;
        } else if (aim == Aim::Last) {
            pos = n - 1;
        } else {
            auto it = std::partition_point(keys.begin(), keys.end(), [&](const TIndexKey& e) {
                return AimCompare(e, *target, aim) < 0;
            });
            pos = int(it - keys.begin());
            if (!l.Node->Leaf && pos == n)
                pos = std::max(0, n - 1);
        }
        l.Pos = pos;
        if (l.Node->Leaf || n == 0)
            return;
        PushChild(path_.size() - 1);
    }
}

uint32_t TIndexTag::SettleForward()
{
    for (;;) {
        Level& leaf = path_.back();
        if (leaf.Node->Leaf && size_t(leaf.Pos) < leaf.Node->Keys.size()) {
            eof_ = bof_ = false;
            return leaf.Node->Keys[size_t(leaf.Pos)].RecNo;
        }
        int lvl = int(path_.size()) - 2;
        while (lvl >= 0 && size_t(path_[size_t(lvl)].Pos) + 1 >= path_[size_t(lvl)].Node->Keys.size())
            --lvl;
        if (lvl < 0) {
            leaf.Pos = int(leaf.Node->Keys.size());
            eof_ = true;
            bof_ = false;
            return 0;
        }
        path_[size_t(lvl)].Pos++;
        TrimPath(size_t(lvl) + 1);
        PushChild(size_t(lvl));
        Descend(size_t(lvl) + 1, Aim::First, nullptr);
    }
}

uint32_t TIndexTag::SettleBackward()
{
    for (;;) {
        Level& leaf = path_.back();
        if (leaf.Node->Leaf && leaf.Pos >= 0 && size_t(leaf.Pos) < leaf.Node->Keys.size()) {
            eof_ = bof_ = false;
            return leaf.Node->Keys[size_t(leaf.Pos)].RecNo;
        }
        int lvl = int(path_.size()) - 2;
        while (lvl >= 0 && path_[size_t(lvl)].Pos <= 0)
            --lvl;
        if (lvl < 0) {
            leaf.Pos = -1;
            bof_ = true;
            eof_ = false;
            return 0;
        }
        path_[size_t(lvl)].Pos--;
        TrimPath(size_t(lvl) + 1);
        PushChild(size_t(lvl));
        Descend(size_t(lvl) + 1, Aim::Last, nullptr);
    }
}

uint32_t TIndexTag::TreeFirst()
{
    LoadRoot();
    Descend(0, Aim::First, nullptr);
    return SettleForward();
}

uint32_t TIndexTag::TreeLast()
{
    LoadRoot();
    Descend(0, Aim::Last, nullptr);
    return SettleBackward();
}

uint32_t TIndexTag::TreeNext()
{
    if (path_.empty())
        return TreeFirst();
    Level& leaf = path_.back();
    const auto& keys = leaf.Node->Keys;
    if (!eof_ && leaf.Node->Leaf && leaf.Pos >= 0 && size_t(leaf.Pos) + 1 < keys.size()) {
        // Within the leaf: the common step of a walk. The key a few entries on is asked for
        // now, so that it is at hand when the walk reads it.
        ++leaf.Pos;
        bof_ = false;
        if (size_t(leaf.Pos) + 8 < keys.size())
            __builtin_prefetch(keys[size_t(leaf.Pos) + 8].Key.data());
        return keys[size_t(leaf.Pos)].RecNo;
    }
    if (!eof_ && size_t(leaf.Pos + 1) <= keys.size())
        leaf.Pos++;
    bof_ = false;
    return SettleForward();
}

uint32_t TIndexTag::TreePrior()
{
    if (path_.empty())
        return TreeLast();
    Level& leaf = path_.back();
    if (!bof_ && leaf.Pos >= 0)
        leaf.Pos--;
    eof_ = false;
    return SettleBackward();
}

uint32_t TIndexTag::SeekKey(const std::string& key)
{
    TIndexKey target{PadKey(key), 0, 0};
    LoadRoot();
    Descend(0, Aim::LowerKey, &target);
    return SettleForward();
}

bool TIndexTag::SeekEntry(const std::string& key, uint32_t recNo)
{
    TIndexKey target{PadKey(key), recNo, 0};
    LoadRoot();
    Descend(0, Aim::Lower, &target);
    SettleForward();
    const TIndexKey* e = CurrentEntry();
    return e && CompareEntries(*e, target) == 0;
}

bool TIndexTag::Contains(const std::string& key, uint32_t recNo)
{
    auto saved = SavePosition();
    bool found = SeekEntry(key, recNo);
    Restore(saved);
    return found;
}

std::optional<TIndexKey> TIndexTag::SavePosition() const
{
    const TIndexKey* e = CurrentEntry();
    if (!e)
        return std::nullopt;
    return *e;
}

void TIndexTag::Restore(const std::optional<TIndexKey>& saved)
{
    WritePath();
    if (saved)
        SeekEntry(saved->Key, saved->RecNo);
    else
        ResetPath();
}

bool TIndexTag::KeyAdd(const std::string& rawKey, uint32_t recNo)
{
    ++treeVersion_;  // pages of the path change below
    auto saved = SavePosition();
    std::string key = PadKey(rawKey);
    if (unique_) {
        SeekKey(key);
        const TIndexKey* e = CurrentEntry();
        if (e && CompareKeys(e->Key, key) == 0) {
            Restore(saved);
            return false;
        }
    }
    TIndexKey entry{key, recNo, 0};
    LoadRoot();
    Descend(0, Aim::Lower, &entry);
    Level& leaf = path_.back();
    if (!leaf.Node->Leaf && path_.size() == 1 && leaf.Node->Keys.empty()) {
        leaf.Node.Edit().Leaf = true;  // an emptied interior root holds keys again as a leaf
        leaf.Pos = 0;
    }
    if (!leaf.Node->Leaf)
        Damaged("interior page without entries");
    size_t pos = size_t(leaf.Pos);
    if (pos < leaf.Node->Keys.size() && CompareEntries(leaf.Node->Keys[pos], entry) == 0) {
        Restore(saved);
        return false;
    }
    auto& keys = leaf.Node.Edit().Keys;
    keys.insert(keys.begin() + long(pos), entry);
    leaf.Dirty = true;
    // A new greatest entry of a page raises its parent's entry, and so on upwards.
    for (int lvl = int(path_.size()) - 2; lvl >= 0; --lvl) {
        Level& l = path_[size_t(lvl)];
        if (CompareEntries(entry, l.Node->Keys[size_t(l.Pos)]) <= 0)
            break;
        TIndexKey& sep = l.Node.Edit().Keys[size_t(l.Pos)];
        sep.Key = entry.Key;
        sep.RecNo = entry.RecNo;
        l.Dirty = true;
    }
    FixOverflow();
    WritePath();
    Restore(saved);
    return true;
}

void TIndexTag::FixOverflow()
{
    for (size_t lvl = path_.size() - 1; lvl >= 1; --lvl) {
        while (!NodeFits(*path_[lvl].Node))
            SplitLevel(lvl);
    }
    while (!NodeFits(*path_[0].Node)) {
        SplitRoot();
        while (!NodeFits(*path_[1].Node))
            SplitLevel(1);
    }
}

void TIndexTag::SplitLevel(size_t lvl)
{
    Level& cur = path_[lvl];
    TIndexNode& node = cur.Node.Edit();
    size_t count = node.Keys.size();
    if (count < 2)
        Damaged("entry too large for a page");
    size_t k = node.Leaf ? LeafSplitCount(node) : (count + 1) / 2;
    k = std::clamp<size_t>(k, 1, count - 1);

    TNodeRef leftRef{TIndexNode{}};
    TIndexNode& left = leftRef.Edit();
    left.Offset = AllocPage();
    left.Leaf = node.Leaf;
    left.Keys.assign(node.Keys.begin(), node.Keys.begin() + long(k));
    node.Keys.erase(node.Keys.begin(), node.Keys.begin() + long(k));
    left.Left = node.Left;
    left.Right = node.Offset;
    if (node.Left != IndexNoPage && node.Left != node.Offset)
        PatchSibling(node.Left, true, left.Offset);
    node.Left = left.Offset;
    StoreNode(leftRef);
    cur.Dirty = true;

    Level& parent = path_[lvl - 1];
    TIndexKey sep = left.Keys.back();
    sep.Child = left.Offset;
    auto& parentKeys = parent.Node.Edit().Keys;
    parentKeys.insert(parentKeys.begin() + parent.Pos, sep);
    parent.Pos++;
    parent.Dirty = true;
    if (cur.Pos >= int(k))
        cur.Pos -= int(k);
}

void TIndexTag::SplitRoot()
{
    // The root keeps its offset (the tag header names it); its entries move to a new page.
    Level moved;
    moved.Node = path_[0].Node;
    TIndexNode& m = moved.Node.Edit();
    m.Offset = AllocPage();
    m.Root = false;
    m.Left = m.Right = IndexNoPage;
    moved.Pos = path_[0].Pos;
    moved.Dirty = true;

    TIndexNode& root = path_[0].Node.Edit();
    root.Leaf = false;
    root.Root = true;
    root.Left = root.Right = IndexNoPage;
    TIndexKey sep = m.Keys.back();
    sep.Child = m.Offset;
    root.Keys.assign(1, sep);
    path_[0].Pos = 0;
    path_[0].Dirty = true;
    path_.insert(path_.begin() + 1, std::move(moved));
}

void TIndexTag::Unlink(const TIndexNode& node)
{
    if (node.Left != IndexNoPage && node.Left != node.Offset)
        PatchSibling(node.Left, true, node.Right);
    if (node.Right != IndexNoPage && node.Right != node.Offset)
        PatchSibling(node.Right, false, node.Left);
}

bool TIndexTag::KeyDelete(const std::string& rawKey, uint32_t recNo)
{
    ++treeVersion_;  // pages of the path change below
    auto saved = SavePosition();
    if (!SeekEntry(rawKey, recNo)) {
        Restore(saved);
        return false;
    }
    Level& leaf = path_.back();
    auto& leafKeys = leaf.Node.Edit().Keys;
    leafKeys.erase(leafKeys.begin() + leaf.Pos);
    leaf.Dirty = true;
    bool wasLast = size_t(leaf.Pos) == leafKeys.size();
    for (size_t lvl = path_.size() - 1; lvl >= 1; --lvl) {
        Level& cur = path_[lvl];
        Level& parent = path_[lvl - 1];
        if (cur.Node->Keys.empty()) {
            // The emptied page stays in the file, unreferenced and out of the sibling chain.
            Unlink(*cur.Node);
            cur.Dirty = false;
            auto& pkeys = parent.Node.Edit().Keys;
            pkeys.erase(pkeys.begin() + parent.Pos);
            parent.Dirty = true;
            wasLast = size_t(parent.Pos) == pkeys.size();
            continue;
        }
        if (!wasLast)
            break;
        auto& pkeys = parent.Node.Edit().Keys;
        TIndexKey& sep = pkeys[size_t(parent.Pos)];
        sep.Key = cur.Node->Keys.back().Key;
        sep.RecNo = cur.Node->Keys.back().RecNo;
        parent.Dirty = true;
        wasLast = size_t(parent.Pos) + 1 == pkeys.size();
    }
    Level& root = path_[0];
    if (!root.Node->Leaf && root.Node->Keys.empty()) {
        root.Node.Edit().Leaf = true;
        root.Dirty = true;
    }
    // Abandoned pages must not be written back by the path.
    while (path_.size() > 1 && path_.back().Node->Keys.empty()) {
        path_.back().Dirty = false;
        path_.pop_back();
    }
    // A leaf written with narrower entries may need more room now that the table has grown.
    FixOverflow();
    WritePath();
    ResetPath();
    Restore(saved);
    return true;
}

void TIndexTag::KeyUpdate(const std::string& oldKey, const std::string& newKey, uint32_t recNo)
{
    if (PadKey(oldKey) == PadKey(newKey))
        return;
    KeyDelete(oldKey, recNo);
    KeyAdd(newKey, recNo);
}
