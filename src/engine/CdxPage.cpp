// Compound index page codecs. Little-endian everywhere except the record numbers and
// children of interior entries, which are big-endian.
#include "engine/CdxPage.h"

#include "engine/Bytes.h"

#include <bit>
#include <cstring>

namespace {

void PutHead(const TIndexNode& node, int attributes, uint8_t* page)
{
    Put16(page, uint32_t(attributes));
    Put16(page + 2, uint32_t(node.Keys.size()));
    Put32(page + 4, node.Left);
    Put32(page + 8, node.Right);
}

std::string CString(const uint8_t* p, size_t max, size_t& used)
{
    size_t n = 0;
    while (n < max && p[n] != 0)
        ++n;
    used = n < max ? n + 1 : n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

} // namespace

void CdxEncodeHeader(const TCdxTagHeader& h, uint8_t* buf)
{
    std::memset(buf, 0, 1024);
    Put32(buf + 0, h.Root);
    Put32(buf + 4, h.FreeList);
    Put32(buf + 8, h.Counter);
    Put16(buf + 12, h.KeyLength);
    buf[14] = h.Options;
    buf[15] = h.Signature;
    if (h.General)
        std::memcpy(buf + 494, "GENERAL", 7);
    Put16(buf + 502, h.Descending ? 1 : 0);
    size_t keyLen = h.KeyExpression.size();
    size_t forLen = h.ForExpression.size();
    if (keyLen + forLen + 2 > 512) {
        forLen = 0;
        keyLen = std::min<size_t>(keyLen, 510);
    }
    Put16(buf + 504, h.HasKeyExpression ? uint32_t(keyLen + 1) : 0);
    Put16(buf + 506, uint32_t(forLen + 1));
    Put16(buf + 510, uint32_t(keyLen + 1));
    std::memcpy(buf + 512, h.KeyExpression.data(), keyLen);
    std::memcpy(buf + 512 + keyLen + 1, h.ForExpression.data(), forLen);
}

bool CdxDecodeHeader(const uint8_t* buf, TCdxTagHeader& h, std::string* error)
{
    h.Root = Get32(buf);
    h.FreeList = Get32(buf + 4);
    h.Counter = Get32(buf + 8);
    h.KeyLength = Get16(buf + 12);
    h.Options = buf[14];
    h.Signature = buf[15];
    h.General = std::memcmp(buf + 494, "GENERAL", 7) == 0;
    h.Descending = Get16(buf + 502) != 0;
    h.HasKeyExpression = Get16(buf + 504) != 0;
    size_t used = 0;
    h.KeyExpression = CString(buf + 512, 512, used);
    size_t rest = 0;
    h.ForExpression = used < 512 ? CString(buf + 512 + used, 512 - used, rest) : std::string();
    if (h.KeyLength < 1 || h.KeyLength > CdxMaxKeyLength) {
        if (error)
            *error = "key length " + std::to_string(h.KeyLength);
        return false;
    }
    if (h.Root == 0 || h.Root % IndexPageSize != 0 || h.Root == IndexNoPage) {
        if (error)
            *error = "root offset " + std::to_string(h.Root);
        return false;
    }
    return true;
}

TCdxLeafParams CdxLeafParams(int keyLength, uint64_t recordLimit)
{
    TCdxLeafParams p;
    int c = std::bit_width(unsigned(keyLength));
    p.DupBits = p.TrailBits = c;
    p.N = 3;
    p.RecBits = 24 - 2 * c;
    p.RecMask = (uint64_t(1) << p.RecBits) - 1;
    while (p.RecMask < recordLimit && p.RecBits <= 24) {
        p.N += 1;
        p.RecBits += 8;
        p.RecMask = p.RecMask * 256 + 255;
    }
    return p;
}

int CdxInteriorMax(int keyLength)
{
    return CdxInteriorArea / (keyLength + 8);
}

int CdxTrailCount(const std::string& key, char pad)
{
    int n = int(key.size());
    int t = 0;
    while (t < n && key[size_t(n - 1 - t)] == pad)
        ++t;
    return t;
}

int CdxDupCount(const std::string& prev, const std::string& key, int trail)
{
    int limit = int(key.size()) - trail;
    int d = 0;
    while (d < limit && d < int(prev.size()) && prev[size_t(d)] == key[size_t(d)])
        ++d;
    return d;
}

size_t CdxLeafUsed(const TIndexNode& node, size_t count, int n, char pad)
{
    size_t used = 0;
    for (size_t i = 0; i < count && i < node.Keys.size(); ++i) {
        const std::string& key = node.Keys[i].Key;
        int trail = CdxTrailCount(key, pad);
        int dup = i == 0 ? 0 : CdxDupCount(node.Keys[i - 1].Key, key, trail);
        used += size_t(n) + key.size() - size_t(trail) - size_t(dup);
    }
    return used;
}

void CdxPutLeafLayout(uint8_t* page, const TCdxLeafParams& p, size_t used)
{
    Put16(page + 12, uint32_t(CdxKeyArea - int(used)));
    Put32(page + 14, uint32_t(p.RecMask));
    page[18] = uint8_t((1u << p.DupBits) - 1);
    page[19] = uint8_t((1u << p.TrailBits) - 1);
    page[20] = uint8_t(p.RecBits);
    page[21] = uint8_t(p.DupBits);
    page[22] = uint8_t(p.TrailBits);
    page[23] = uint8_t(p.N);
}

bool CdxEncodeLeaf(const TIndexNode& node, int keyLength, char pad, uint64_t recordLimit,
                   uint8_t* page)
{
    uint64_t limit = recordLimit;
    for (const TIndexKey& k : node.Keys)
        limit = std::max<uint64_t>(limit, k.RecNo);
    TCdxLeafParams p = CdxLeafParams(keyLength, limit);
    size_t used = CdxLeafUsed(node, node.Keys.size(), p.N, pad);
    if (used > size_t(CdxKeyArea))
        return false;
    std::memset(page, 0, IndexPageSize);
    PutHead(node, node.Root ? 3 : 2, page);
    CdxPutLeafLayout(page, p, used);
    size_t keyPos = IndexPageSize;
    for (size_t i = 0; i < node.Keys.size(); ++i) {
        const std::string& key = node.Keys[i].Key;
        int trail = CdxTrailCount(key, pad);
        int dup = i == 0 ? 0 : CdxDupCount(node.Keys[i - 1].Key, key, trail);
        uint64_t v = uint64_t(node.Keys[i].RecNo) | (uint64_t(dup) << p.RecBits) |
                     (uint64_t(trail) << (p.RecBits + p.DupBits));
        uint8_t* e = page + 24 + i * size_t(p.N);
        for (int b = 0; b < p.N; ++b)
            e[b] = uint8_t(v >> (8 * b));
        size_t stored = key.size() - size_t(trail) - size_t(dup);
        keyPos -= stored;
        std::memcpy(page + keyPos, key.data() + dup, stored);
    }
    return true;
}

void CdxEncodeInterior(const TIndexNode& node, int keyLength, char pad, uint8_t* page)
{
    std::memset(page, uint8_t(pad), IndexPageSize);
    std::memset(page, 0, 12);
    PutHead(node, node.Root ? 1 : 0, page);
    uint8_t* e = page + 12;
    for (const TIndexKey& k : node.Keys) {
        std::memcpy(e, k.Key.data(), size_t(keyLength));
        Put32BE(e + keyLength, k.RecNo);
        Put32BE(e + keyLength + 4, k.Child);
        e += keyLength + 8;
    }
}

bool CdxDecodePage(const uint8_t* page, uint32_t offset, int keyLength, char pad,
                   TIndexNode& node, std::string* error, TCdxPageInfo* info)
{
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "page " + std::to_string(offset) + ": " + why;
        return false;
    };
    int attributes = Get16(page);
    size_t count = Get16(page + 2);
    node = TIndexNode();
    node.Offset = offset;
    // Only root and leaf decide what a page is; other writers set further bits (7 is a root
    // leaf of Visual FoxPro) that mean nothing for the walk. We never write them.
    node.Root = (attributes & 1) != 0;
    node.Leaf = (attributes & 2) != 0;
    node.Left = Get32(page + 4);
    node.Right = Get32(page + 8);
    if (info)
        info->Attributes = attributes;
    if (!node.Leaf) {
        if (count > size_t(CdxInteriorMax(keyLength)))
            return fail("too many interior entries");
        node.Keys.resize(count);
        const uint8_t* e = page + 12;
        for (size_t i = 0; i < count; ++i) {
            node.Keys[i].Key.assign(reinterpret_cast<const char*>(e), size_t(keyLength));
            node.Keys[i].RecNo = Get32BE(e + keyLength);
            node.Keys[i].Child = Get32BE(e + keyLength + 4);
            e += keyLength + 8;
        }
        return true;
    }
    int freeField = Get16(page + 12);
    uint64_t recMask = Get32(page + 14);
    uint64_t dupMask = page[18], trailMask = page[19];
    int recBits = page[20], dupBits = page[21], trailBits = page[22], n = page[23];
    if (n < 1 || n > 8 || recBits > 32 || dupBits > 8 || trailBits > 8 ||
        recBits + dupBits + trailBits > n * 8)
        return fail("leaf entry layout");
    if (count * size_t(n) > size_t(CdxKeyArea))
        return fail("too many leaf entries");
    node.Keys.resize(count);
    size_t keyPos = IndexPageSize;
    const size_t entriesEnd = 24 + count * size_t(n);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = page + 24 + i * size_t(n);
        uint64_t v = 0;
        for (int b = 0; b < n; ++b)
            v |= uint64_t(e[b]) << (8 * b);
        uint32_t rec = uint32_t(v & recMask);
        size_t dup = size_t((v >> recBits) & dupMask);
        size_t trail = size_t((v >> (recBits + dupBits)) & trailMask);
        if (dup > size_t(keyLength) || trail > size_t(keyLength) || (i == 0 && dup > 0))
            return fail("leaf entry counts");
        // A shared prefix reaching into the trailing pad bytes says nothing more: the pad
        // bytes follow anyway.
        if (dup + trail > size_t(keyLength))
            dup = size_t(keyLength) - trail;
        size_t stored = size_t(keyLength) - dup - trail;
        if (keyPos < entriesEnd + stored)
            return fail("leaf keys overlap entries");
        keyPos -= stored;
        std::string key;
        key.reserve(size_t(keyLength));
        if (dup > 0)
            key.assign(node.Keys[i - 1].Key, 0, dup);
        key.append(reinterpret_cast<const char*>(page + keyPos), stored);
        key.append(trail, pad);
        node.Keys[i].Key = std::move(key);
        node.Keys[i].RecNo = rec;
    }
    if (info) {
        info->N = n;
        info->FreeField = freeField;
        info->FreeComputed = int(CdxKeyArea - (count * size_t(n)) - (IndexPageSize - keyPos));
        info->RecMask = recMask;
    }
    return true;
}
