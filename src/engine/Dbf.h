// The dBase table file: TDbfTable (header, descriptors, fixed-length records, locks, read
// cache, copying), its field layer TDbfField, and the builders that create new files.
// Bytes on disk are the contract: files must be interchangeable with other dBase writers.
// Relies on TDiskFile for every file access.
#pragma once

#include "engine/DiskFile.h"
#include "engine/EngineError.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

enum class TDbfTypes { Clipper, DBaseIII, DBaseIV, FoxPro2 };
enum class TLockProtocol { Default, FoxLock, DB4Lock, ClipLock };

// Dates are Julian day numbers (2451545 is 1 January 2000), the day number dBase and
// FoxPro use in date arithmetic and in date index keys.
int32_t DbfDateToJulian(int year, int month, int day);
void DbfJulianToDate(int32_t julian, int& year, int& month, int& day);
bool DbfIsValidDate(int year, int month, int day);
// The one rule for an empty date field: nothing but blanks, zeros and NUL bytes. Writers
// differ ("        ", "00000000", "       0", zero bytes); all of them mean no date, for the
// cursor and for the dictionary check alike.
bool DbfIsEmptyDate(std::string_view stored);
int32_t DbfToday();  // local date
// The clock for header dates and change stamps (null: the system clock), so that a test can
// pin the date a header records.
using TDbfClock = long long (*)();  // seconds since the epoch
void DbfSetClock(TDbfClock clock);

// One field descriptor as it lies in the file, plus its place in the record.
struct TDbfField {
    std::string Name;   // upper case, at most 10 characters
    char Type = 'C';    // upper-case type letter
    int Length = 0;     // full length (C fields: byte 16 + 256 * byte 17)
    int Decimals = 0;   // 0 for C fields
    int Offset = 0;     // inside the record, 1-based after the deletion flag
    int Ordinal = 0;    // 0-based position in the descriptor array
    // The type letters the dataset shows; other letters are invisible to it.
    bool Visible() const;
};

// Receives the table's post-write step; the index layer implements it. The record as it
// was before the write is TDbfTable::OldBuffer(), the new one RecordBuffer().
class TDbfIndexLink {
public:
    virtual ~TDbfIndexLink() = default;
    virtual void TagUpdate(uint32_t recNo, bool appended) = 0;
    virtual void FlushIndex() = 0;
    virtual void CloseIndex() = 0;
};

// GetRecord codes (positive codes are physical record numbers).
constexpr int DbfRecNext = -1;
constexpr int DbfRecPrior = -2;
constexpr int DbfRecFirst = -3;
constexpr int DbfRecLast = -4;
constexpr int DbfRecCurrent = -5;

constexpr uint8_t DbfEofMark = 0x1A;
constexpr size_t DbfCacheSize = 32768;
// Exclusive tables open for writing keep the file's bytes in aligned blocks (any order of
// access), at most DbfBlockLimit of them; the least recently used goes first. Exclusive
// read-only ones read through a map of the file instead (TDiskFile::MapForReading).
constexpr size_t DbfBlockSize = 65536;
constexpr size_t DbfBlockLimit = 1024;
// Counting the live records of an exclusive table this large reads the file past the cache.
constexpr uint64_t DbfScanInPlace = 1 << 20;

class TDbfTable {
public:
    TDbfTable();
    ~TDbfTable();
    TDbfTable(const TDbfTable&) = delete;
    TDbfTable& operator=(const TDbfTable&) = delete;

    // Opens path (trimmed; ".DBF" added when it has no extension; looked up
    // case-insensitively when missing under its exact name). Errors: EDbfError 2 (missing),
    // 1001 (version byte), "No Password for encrypted file %s".
    void Open(const std::string& path, bool readWrite = true, bool shared = false);
    // Writes a dirty header, closes attached index files (CloseIndex), then the file.
    void Close();
    bool IsOpen() const;

    const std::string& FileName() const { return fileName_; }  // the path as opened
    std::string BaseName() const;  // file name without folder and extension
    bool ReadWrite() const;
    bool Shared() const;

    // --- layout
    int FieldCount() const { return int(fields_.size()); }
    const TDbfField& Field(int index) const { return fields_.at(size_t(index)); }
    const std::vector<TDbfField>& Fields() const { return fields_; }
    int FindField(std::string_view name) const;  // case-insensitive; -1 when absent
    int RecordLength() const { return recordLength_; }
    int HeaderLength() const { return headerLength_; }
    uint8_t VersionByte() const { return header_[0]; }
    const std::array<uint8_t, 32>& Header() const { return header_; }

    // --- records
    uint32_t RecordCount() const { return recordCount_; }
    uint32_t RecNo() const { return recNo_; }
    bool Eof() const { return eof_; }
    bool Bof() const { return bof_; }
    // Reads a record (positive code) or moves (DbfRec* codes); false when nothing was read
    // (EOF/BOF set, or code 0). Beyond count + 1, or an unknown negative code: error 1002.
    bool GetRecord(int code);
    // Rewrites record n from the current buffer (appends when n is 0 or beyond the count),
    // writes the header and runs the index step.
    void PutRecord(uint32_t n);
    // Appends the current buffer as a new live record, then header and index step.
    void AppendRecord();
    // Marks the current record deleted ("*") and rewrites it.
    void DeleteRecord();
    void UndeleteRecord();
    bool IsDeleted(const char* record = nullptr) const;
    // Fills the current buffer as a new record: spaces, every N/F field set to 0.
    void Blank();

    // The current record (RecordLength bytes, followed by a 0x1A byte) and the record as
    // last read or written (the old key source for index updates).
    char* RecordBuffer() { materialize(); return current_.data(); }
    const char* RecordBuffer() const { return view(); }
    const char* OldBuffer() const { return pending_ ? view() : old_.data(); }
    // The current record for reading only (RecordLength bytes, no end mark): valid until the
    // next call on this table. Exclusive tables serve it from the cached file blocks (or copy
    // it once from the file's map), so a record that is only looked at is not copied again.
    const char* RecordView() const { return view(); }
    // Whether the current record is exactly as read from the file: not changed, not blanked,
    // not handed out for writing since GetRecord.
    bool RecordAsRead() const { return pending_; }
    // Copies raw record bytes into the current buffer (e.g. a cursor's edit buffer).
    void SetRecordBuffer(const char* record);
    // Reads record n into buf (RecordLength bytes) without changing the current record.
    void ReadRecordInto(uint32_t n, char* buf);
    // Record n where it already lies whole in an exclusive table's block cache, valid until
    // the next call on the table; null when it must be read with ReadRecordInto.
    const char* PeekRecord(uint32_t n);
    // Asks for record n's bytes to be brought near ahead of their reading (a table read
    // through a map only; a hint, which never fails nor reads the file).
    void PrefetchRecord(uint32_t n) const;
    // Reads count records from first on into buf straight from the file, past the block
    // cache: a whole-table pass (a tag build) then costs no memory of the table's size.
    void ReadRecordRun(uint32_t first, uint32_t count, char* buf);

    // --- fields by 0-based index; record defaults to the current buffer
    std::string GetRaw(int field, const char* record = nullptr) const;       // full length
    std::string GetString(int field, const char* record = nullptr) const;    // C rules
    // The C rules on raw field bytes: up to the first NUL, trailing blanks and controls cut.
    static std::string CharacterText(const char* bytes, size_t n);
    double GetNumber(int field, const char* record = nullptr) const;         // error 1004
    std::optional<int32_t> GetDate(int field, const char* record = nullptr) const;
    bool GetLogical(int field, const char* record = nullptr) const;
    bool IsBlank(int field, const char* record = nullptr) const;  // all spaces (or empty)

    void SetString(int field, std::string_view text);   // per type, see the format rules
    void SetNumber(int field, double value);            // error 1011 / 1004
    void SetDate(int field, std::optional<int32_t> julian);
    void SetLogical(int field, bool value);
    void SetRaw(int field, std::string_view bytes);      // left-aligned, space-padded, cut
    bool FieldChanged(int field) const { return changed_.at(size_t(field)); }
    void ClearChanged();

    // --- header
    // Shared mode only: re-reads the header and recounts; true when another writer changed
    // the file (count or change stamp differ).
    bool ReadHeader();
    // Writes the header when dirty and read/write and no whole-file lock holds it back.
    void WriteHeader();
    void MarkHeaderDirty() { headerDirty_ = true; }
    bool HeaderDirty() const { return headerDirty_; }
    void SetUserId(uint32_t id) { userId_ = id; }
    uint8_t TableFlags() const { return header_[28]; }
    // Sets bit 0 of byte 28 (a compound index of the table's own name exists) and writes.
    void MarkProductionIndex();
    // Appends to an exclusive table that nobody reads meanwhile (a private copy being filled)
    // may be gathered and written in large pieces. Every read, rewrite, header write, flush
    // and close of the table writes what is gathered first; so does turning it off.
    void HoldAppends(bool on);

    // Marks the header dirty, flushes the OS buffers and every attached index.
    void Flush();

    // --- index links (owned by the caller; closed by Close)
    void AttachIndex(TDbfIndexLink* link);
    void DetachIndex(TDbfIndexLink* link);
    const std::vector<TDbfIndexLink*>& Indexes() const { return indexes_; }

    // --- locks (shared tables only take OS locks; exclusive ones just count)
    void SetLockProtocol(TLockProtocol protocol) { lockProtocol_ = protocol; }
    TLockProtocol LockProtocol() const { return lockProtocol_; }
    // Record lock offsets depend on whether an index is open (Default/FoxLock protocols).
    void SetIndexOpenForLocks(bool open) { indexOpenForLocks_ = open; }
    bool LockRecord(uint32_t n);
    void UnlockRecord(uint32_t n);
    bool LockAppend();
    void UnlockAppend();
    bool LockTable(bool wait = false);
    void UnlockTable();
    uint64_t RecordLockOffset(uint32_t n) const;
    uint64_t AppendLockOffset() const;
    uint64_t TableLockOffset() const;
    uint64_t TableLockLength() const;

    // Records not marked deleted among 1..RecordCount(), read from the deletion flags alone.
    uint32_t CountUndeleted();

    // --- read cache for natural-order scans of shared tables (exclusive ones always read
    // through the block cache or the map, since no other process can change their file)
    void SetReadCache(bool on);
    bool ReadCache() const { return cacheOn_; }
    // Most blocks an exclusive table keeps (DbfBlockLimit unless set; at least 1).
    void SetBlockCacheLimit(size_t blocks) { blockLimit_ = std::max<size_t>(1, blocks); }
    size_t CachedBlocks() const { return loadedBlocks_; }

    // --- copying: builds dest with the same descriptors (builder by version byte) and
    // appends the records next() names (physical numbers; 0 ends) in that order. Without
    // next, the live records in natural order. The whole source is locked meanwhile and the
    // current record restored afterwards.
    void CopyTable(const std::string& dest,
                   const std::function<uint32_t(bool first)>& next = nullptr);

    // Underlying file (the index layer shares nothing else).
    TDiskFile& Disk() { return disk_; }

private:
    void readRecordAt(uint32_t n, char* buf);
    // Exclusive: no other process may change the file, so what was read stays true until
    // this process changes it. A read-only exclusive table reads its file through a map
    // (TDiskFile::MapForReading), each record copied from it when wanted; the others keep
    // the file's bytes in blocks.
    bool exclusive() const { return !disk_.Shared(); }
    bool blockCacheOn() const { return !disk_.Shared() && !disk_.Mapped(); }
    // A block's bytes: room for a whole block from the start, so that they never move, and
    // not cleared, since they are read over at once; the first size() are the file's.
    class TBlockBytes {
    public:
        TBlockBytes() : bytes_(new char[DbfBlockSize]) {}
        char* data() { return bytes_.get(); }
        const char* data() const { return bytes_.get(); }
        size_t size() const { return size_; }
        void resize(size_t n) { size_ = std::min(n, DbfBlockSize); }

    private:
        std::unique_ptr<char[]> bytes_;
        size_t size_ = 0;
    };
    const TBlockBytes& block(uint64_t index);
    void evictBlock();
    void forgetBlock(uint64_t index);
    // A record read from the blocks is copied into the current and old buffers only when it
    // is changed or handed out for writing.
    void materialize();
    void noteFlags(uint64_t pos, const char* bytes, size_t n);
    void setFlag(uint32_t recNo, bool deleted);
    // A record read from the blocks is found in them only when its bytes are first wanted:
    // an ordered walk that reads its words from the index never touches the table.
    void locate();
    const char* view() const
    {
        if (!pending_)
            return current_.data();
        if (!view_)
            const_cast<TDbfTable*>(this)->locate();  // the cache fills; the record is the same
        return view_;
    }
    void readBlocks(uint64_t pos, char* buf, size_t n);
    void writeThrough(uint64_t pos, const char* buf, size_t n);
    void dropBlocks();
    void writeRecordAt(uint32_t n, const char* buf, bool withEof);
    void postWrite(uint32_t n, bool appended);
    void recount();
    char* fieldPtr(int field);
    const char* fieldPtr(int field, const char* record) const;
    void checkOpen() const;
    void checkField(int field) const;
    void writeNumber(int field, double value);

    TDiskFile disk_;
    std::string fileName_;
    std::array<uint8_t, 32> header_{};
    std::vector<TDbfField> fields_;
    int headerLength_ = 0;
    int recordLength_ = 0;
    uint32_t recordCount_ = 0;
    uint32_t recNo_ = 0;
    bool eof_ = false;
    bool bof_ = false;
    bool headerDirty_ = false;
    uint32_t userId_ = 0;
    uint32_t lastStamp_ = 0;
    std::vector<char> current_, old_, work_;
    std::vector<char> blank_;  // the layout's empty record, once made
    std::vector<bool> changed_;
    std::vector<TDbfIndexLink*> indexes_;
    bool holdAppends_ = false;
    std::string held_;       // appended records not yet written, the last followed by 0x1A
    uint64_t heldPos_ = 0;   // where held_ goes in the file
    void writeHeld();
    TLockProtocol lockProtocol_ = TLockProtocol::Default;
    bool indexOpenForLocks_ = false;
    int tableLocks_ = 0;
    int appendLocks_ = 0;
    std::vector<std::pair<uint32_t, int>> recordLocks_;
    bool cacheOn_ = false;
    std::vector<char> cache_;
    uint32_t cacheFirst_ = 0;  // first record in the cache, 0 when empty
    uint32_t cacheCount_ = 0;
    struct TBlock {
        TBlockBytes Data;  // shorter than a block at the end of the file
        uint64_t Used = 0;
    };
    std::vector<std::unique_ptr<TBlock>> blocks_;  // by block number; null when not cached
    size_t loadedBlocks_ = 0;
    bool pending_ = false;          // the current record is view_, inside block pinned_
    const char* view_ = nullptr;    // null: not looked up yet
    uint64_t pinned_ = UINT64_MAX;  // none: view_ is a record gathered into spill_
    std::vector<char> spill_;
    // Deletion flags of the records whose first byte the blocks have held, two bits a
    // record (known, deleted) so that they stay close at hand: an ordered walk asks them
    // without touching the records.
    std::vector<uint64_t> flags_;
    uint64_t blocksGeneration_ = 0;  // the file's generation the blocks were read or patched at
    uint64_t blockClock_ = 0;
    size_t blockLimit_ = DbfBlockLimit;
    bool countValid_ = false;  // CountUndeleted's last result, for the generation it was made at
    uint64_t countGeneration_ = 0;
    uint32_t countRecords_ = 0, countValue_ = 0;
    uint64_t lastBlock_ = UINT64_MAX;  // the block last served, found without a lookup
    TBlock* last_ = nullptr;
};

// Creates a table file from field descriptions. The version byte depends on the builder and
// on whether a memo field (M, B, G) was added.
class TDbfBuilder {
public:
    virtual ~TDbfBuilder() = default;
    // Normalises per type (name cut to 10 and upper-cased, D length 8, L length 1, M/B/G
    // length 10 and memo); an empty name is skipped; lengths outside 0..255 are a range
    // error. Throws EDbfError("Range check error").
    void AddField(const std::string& name, char type, int length, int decimals);
    // Creates (truncates) the file and writes header, descriptors, 0x0D, 0x1A.
    void Create(const std::string& path);
    const std::vector<TDbfField>& Fields() const { return fields_; }
    bool HasMemo() const { return memo_; }
    int RecordLength() const { return recordLength_; }
    virtual uint8_t VersionByte() const { return memo_ ? 0x83 : 0x03; }

protected:
    std::vector<TDbfField> fields_;
    bool memo_ = false;
    int recordLength_ = 1;
};

class TDb4Builder : public TDbfBuilder {
public:
    uint8_t VersionByte() const override { return memo_ ? 0x8B : 0x03; }
};

class TFoxBuilder : public TDbfBuilder {
public:
    uint8_t VersionByte() const override { return memo_ ? 0xF5 : 0x03; }
};

std::unique_ptr<TDbfBuilder> MakeDbfBuilder(TDbfTypes type);

// What TCreateDbfDataSet needs from the dataset it creates a table for (TDbfDataSet).
class TDbfCreateTarget {
public:
    virtual ~TDbfCreateTarget() = default;
    virtual std::string CreatePath() const = 0;  // DatabaseName + TableName
    virtual bool CreateActive() const = 0;       // the dataset is open
    virtual void CreateOpen() = 0;               // open it on the new file
};

// One parsed field line "NAME;C;80;0".
struct TDbfFieldLine {
    std::string Name;
    char Type = 'C';
    int Length = 0;
    int Decimals = 0;
};

// Parses field lines; throws EDbfError("Field list is invalid") for a bad list.
std::vector<TDbfFieldLine> ParseDbfFieldLines(const std::vector<std::string>& lines);
// Builds a table at path (".DBF" added without an extension) from field lines; truncates.
// Returns the path written.
std::string CreateDbfTable(const std::string& path, const std::vector<std::string>& lines,
                           TDbfTypes type = TDbfTypes::DBaseIV);

class TCreateDbfDataSet {
public:
    std::vector<std::string> CreateFields;
    TDbfTypes DBFType = TDbfTypes::DBaseIV;
    TDbfCreateTarget* DBFTable = nullptr;
    bool AutoOverwrite = false;
    // Asked "Table exists.  Do you want to overwrite?" when the file exists and
    // AutoOverwrite is false; true means OK. Unset counts as Cancel.
    std::function<bool(const std::string& question)> ConfirmOverwrite;

    // Creates the file and opens DBFTable on it; false when the user declined.
    bool Execute();
};
