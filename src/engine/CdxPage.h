// Byte layouts of the compound index file: the 1024-byte tag header, interior pages with
// big-endian record numbers and children, and leaf pages with bit-packed entries and keys
// compressed by shared prefix and dropped trailing pad bytes. Pure functions on buffers;
// decoding checks every count and length against the page so that damaged bytes fail cleanly.
#pragma once

#include "engine/Index.h"

#include <cstdint>
#include <string>

constexpr int CdxMaxKeyLength = 240;
constexpr int CdxKeyArea = 488;     // leaf bytes after the 24-byte head
constexpr int CdxInteriorArea = 500;

constexpr uint8_t CdxOptUnique = 0x01;
constexpr uint8_t CdxOptFor = 0x08;
constexpr uint8_t CdxOptCompact = 0x20;
constexpr uint8_t CdxOptCompound = 0x40;
constexpr uint8_t CdxOptDirectory = 0x80;

struct TCdxTagHeader {
    uint32_t Root = 0;
    uint32_t FreeList = 0;
    uint32_t Counter = 0;
    uint16_t KeyLength = 0;
    uint8_t Options = CdxOptCompact | CdxOptCompound;
    uint8_t Signature = 1;
    bool General = false;     // "GENERAL" collation
    bool Descending = false;
    bool HasKeyExpression = true;
    std::string KeyExpression;
    std::string ForExpression;
};

void CdxEncodeHeader(const TCdxTagHeader& header, uint8_t* buf1024);
// Fails with a reason in *error (and returns false) when the bytes cannot be a tag header.
bool CdxDecodeHeader(const uint8_t* buf1024, TCdxTagHeader& header, std::string* error);

// Leaf entry layout for a key length and the number the record field must hold
// (the table's record count; for the directory, the file size).
struct TCdxLeafParams {
    int N = 3;               // bytes per entry
    int RecBits = 0;
    int DupBits = 0;
    int TrailBits = 0;
    uint64_t RecMask = 0;
};
TCdxLeafParams CdxLeafParams(int keyLength, uint64_t recordLimit);
// Writes a leaf's layout bytes (free space, record mask, bit counts, entry size) into its head.
void CdxPutLeafLayout(uint8_t* page, const TCdxLeafParams& params, size_t used);

int CdxInteriorMax(int keyLength);
// Number of trailing pad bytes and stored bytes of keys[i] within a leaf.
int CdxTrailCount(const std::string& key, char pad);
int CdxDupCount(const std::string& prev, const std::string& key, int trail);
// Bytes the first `count` entries occupy in a leaf's key area (entries plus stored key bytes).
size_t CdxLeafUsed(const TIndexNode& node, size_t count, int n, char pad);

// What a decoded page said about itself beyond its entries (for the verifier).
struct TCdxPageInfo {
    int Attributes = 0;
    int N = 0;
    int FreeField = 0;
    int FreeComputed = 0;
    uint64_t RecMask = 0;
};

// Encodes node into a 512-byte page; false when a leaf's entries do not fit.
bool CdxEncodeLeaf(const TIndexNode& node, int keyLength, char pad, uint64_t recordLimit,
                   uint8_t* page);
void CdxEncodeInterior(const TIndexNode& node, int keyLength, char pad, uint8_t* page);
bool CdxDecodePage(const uint8_t* page, uint32_t offset, int keyLength, char pad,
                   TIndexNode& node, std::string* error, TCdxPageInfo* info = nullptr);
