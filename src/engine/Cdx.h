// The compound index file beside a table: TCdxFile (the file, its tag directory, the build of
// new tags and the post-write step that keeps every tag in step with the table) and TCdxTag
// (one tag: navigation, search, key maintenance). Bytes on disk are the compact compound index
// format, interchangeable with other readers and with files of earlier installations.
// Relies on TDbfTable for records, TExpHandler for keys and TDiskFile for all file access.
#pragma once

#include "engine/CdxPage.h"
#include "engine/Dbf.h"
#include "engine/DiskFile.h"
#include "engine/Expression.h"
#include "engine/Index.h"
#include "engine/Sort.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TCdxTagSpec {
    std::string Name;
    std::string KeyExpression;
    bool Unique = false;
    bool Ascending = true;
    std::string ForExpression;
};

class TCdxFile;

class TCdxTag : public TIndexTag {
public:
    ~TCdxTag() override;

    const std::string& Name() const { return name_; }
    const std::string& KeyExpression() const { return header_.KeyExpression; }
    const std::string& ForExpression() const { return header_.ForExpression; }
    bool HasFor() const { return forExpr_ != nullptr; }
    // Keys in another writer's general collation are not the field's bytes.
    bool GeneralCollation() const { return header_.General; }
    bool Descending() const { return header_.Descending; }
    char KeyType() const { return keyType_; }
    uint32_t HeaderOffset() const { return headerOffset_; }
    uint32_t RootPage() const { return header_.Root; }

    // Positions on the first entry in the tag's order.
    void Open() { First(); }
    // Writes pages the tag still holds and drops its position.
    void Close() { Unposition(); }

    // Navigation in the tag's order; the record number, 0 past either end.
    uint32_t First();
    uint32_t Last();
    uint32_t Next();
    uint32_t Prior();
    uint32_t Current() const { return TreeCurrent(); }
    // The record `ahead` steps on in the tag's order when the tag knows it without moving, else 0.
    uint32_t Ahead(size_t ahead) const { return Descending() ? 0 : TreeAhead(ahead); }
    bool Eof() const { return Descending() ? TreeBof() : TreeEof(); }
    bool Bof() const { return Descending() ? TreeEof() : TreeBof(); }
    std::string CurrentKey() const;

    // Search from the root for the first entry whose key is not below the value (text; for
    // numeric and date tags the number as text) and positions there. Returns its record
    // number when its key equals the value (partial: begins with it), else 0.
    uint32_t Find(const std::string& value, bool partial);
    uint32_t FindKey(const std::string& key, bool partial);
    // Whether the current entry matches the value as Find would accept it.
    bool CurrentMatches(const std::string& value, bool partial) const;
    // The value encoded and stripped as Find compares it.
    std::string SearchKey(const std::string& value) const;

    // Positions on the record's entry (its key computed from the record on disk); false
    // when the record has none here (then positioned on the entry after where it would be).
    bool GoToRecord(uint32_t recNo);

    // Calls `each` with the record number of every entry, in the tag's tree order, until it
    // returns false (then false). For a check of the whole tag: its pages are read from the
    // file in runs and decoded once each, without a position (the tag's own is dropped first,
    // writing what it held). Damage raises error 2112, as navigation would.
    bool ForEachRecord(const std::function<bool(uint32_t)>& each);

    // Key of a record buffer (RecordLength bytes), and whether the FOR condition admits it.
    std::string RecordKey(const char* record);
    // The same key written into key (its room kept from one record to the next).
    void RecordKeyInto(const char* record, std::string& key);
    bool Admits(const char* record);

    // Keeps the tag in step with one written record (old contents: the table's OldBuffer).
    void UpdateRecord(uint32_t recNo, bool appended);

protected:
    TIndexNode ReadNode(uint32_t offset) override;
    void WriteNode(const TIndexNode& node) override;
    uint32_t AllocPage() override;
    void SetSibling(uint32_t offset, bool right, uint32_t sibling) override;
    bool NodeFits(const TIndexNode& node) override;
    size_t LeafSplitCount(const TIndexNode& node) override;
    uint32_t RootOffset() const override { return header_.Root; }
    [[noreturn]] void Damaged(const std::string& why) override;

private:
    friend class TCdxFile;
    TCdxTag(TCdxFile& file, std::string name, uint32_t headerOffset, TCdxTagHeader header,
            bool directory);
    void Compile();
    uint64_t RecordLimit() const;

    TCdxFile& file_;
    std::string name_;
    std::string dirKey_;  // the directory's key for this tag, as stored
    uint32_t headerOffset_;
    TCdxTagHeader header_;
    bool directory_;
    char keyType_ = 'C';
    std::unique_ptr<TExpHandler> keyExpr_;
    std::unique_ptr<TExpHandler> forExpr_;
};

class TCdxFile : public TDbfIndexLink, private TCdxPageSink {
public:
    explicit TCdxFile(TDbfTable& table);
    ~TCdxFile() override;
    TCdxFile(const TCdxFile&) = delete;
    TCdxFile& operator=(const TCdxFile&) = delete;

    // Opens the index (create: make a new one when missing). The name is trimmed, ".cdx" is
    // added when it has no extension and the table's folder when it has no folder. Attaches
    // itself to the table. Missing: EDbfError 2; not a readable index: EDbfError 2112.
    void Open(const std::string& name, bool create, bool shared, bool readWrite);
    void Close();
    bool IsOpen() const { return disk_.IsOpen(); }
    const std::string& FileName() const { return fileName_; }
    TDbfTable& Table() { return table_; }

    int TagCount() const { return int(tags_.size()); }
    TCdxTag* Tag(int index) { return tags_.at(size_t(index)).get(); }
    TCdxTag* TagByName(const std::string& name);
    TCdxTag* Directory() { return dir_.get(); }

    // Creates or replaces a tag and builds it from every record of the table.
    TCdxTag* AddTag(const std::string& name, const std::string& keyExpression, bool unique = false,
                    bool ascending = true, const std::string& forExpression = "");
    // Several tags built in one pass over the table; the file ends as the same AddTag calls
    // in turn would leave it.
    std::vector<TCdxTag*> AddTags(const std::vector<TCdxTagSpec>& specs);

    void TagUpdate(uint32_t recNo, bool appended) override;
    void FlushIndex() override;
    void CloseIndex() override;

    uint32_t ChangeCounter() const { return dirHeader_.Counter; }

    // Whether the index file was older than its table when it was opened (modification
    // times; equal ones are not older). The engine leaves an index it keeps no older than its
    // table: whatever writes the table while the index is attached is followed by a write or a
    // stamp of the index, at the latest when it closes. So an older index may have missed
    // changes another program made to the table.
    bool OlderThanTable() const { return olderThanTable_; }
    // Stamps a read/write index as no older than its table without writing a byte, for a
    // caller that found it to match the table. A failed stamp is ignored: it only costs that
    // caller a longer check next time.
    void Touch();

    // The verifier: a list of problems, empty when every page and every tag is sound and
    // each tag holds exactly one correct key per record, in order.
    std::vector<std::string> Check();
    // Opens the index read-only beside an open table, checks it and closes it; an index
    // that cannot be opened gives its error as the one problem.
    static std::vector<std::string> CheckFile(TDbfTable& table, const std::string& name);

    // Normalised path of an index name for this table (what Open would open).
    std::string ResolveName(const std::string& name) const;

private:
    friend class TCdxTag;
    uint32_t AllocPage() override;
    void WritePage(uint32_t offset, const uint8_t* page) override;
    void WritePages(uint32_t offset, const uint8_t* pages, size_t count) override;
    void ReadPage(uint32_t offset, uint8_t* page);
    void ReadBlock(uint32_t offset, uint8_t* buf, size_t n);
    void NewDirectory();
    void LoadDirectory();
    void WriteDirectoryHeader();
    void SortTags();
    void Shut(bool detach);
    [[noreturn]] void Damaged(const std::string& why) const;
    void CheckTag(TCdxTag& tag, std::vector<std::string>& problems);

    TDbfTable& table_;
    TDiskFile disk_;
    std::string fileName_;
    bool readWrite_ = false;
    bool attached_ = false;
    bool olderThanTable_ = false;
    uint64_t end_ = 0;  // next free page
    TCdxTagHeader dirHeader_;
    bool dirHeaderDirty_ = false;
    std::unique_ptr<TCdxTag> dir_;
    std::vector<std::unique_ptr<TCdxTag>> tags_;
};
