// The dataset cursor: one open table with its compound index files, an optional active tag
// that sets the order, an optional filter, the current record and an edit buffer. Every part of
// Wordpop reads and writes dictionaries through it. Sits on the table (Dbf.h), the expression
// handler (Expression.h) and the index (Cdx.h); raises EDbfError with fixed English texts.
#pragma once

#include "engine/Dbf.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

struct TCdxTagSpec;

class TDbfDataSet;
class TCdxFile;
class TCdxTag;
struct TIndexKey;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsFilter };

enum TFieldType { ftUnknown, ftString, ftSmallint, ftInteger, ftFloat, ftDate, ftBoolean };

enum TFilterOption { foCaseInsensitive = 1, foNoPartialCompare = 2 };
using TFilterOptions = unsigned;

enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = unsigned;

enum TIndexUnique { iuDuplicates, iuUnique };
enum TSortStatus { ssAscending, ssDescending };

// A date as a number of days since 30 December 1899 (the zero date), as dates are kept
// throughout the program; a fraction would be the time of day.
struct TDateTime
{
    double value = 0;
    friend bool operator==(TDateTime a, TDateTime b) { return a.value == b.value; }
};
TDateTime EncodeDate(int year, int month, int day); // throws on an impossible date
void DecodeDate(TDateTime date, int &year, int &month, int &day);
TDateTime Today();

// A field value: none (null), text, whole number, floating point, logical or date.
using TVariant = std::variant<std::monostate, std::string, std::int32_t, double, bool, TDateTime>;

// One field of the open table, typed from its descriptor: C string, N/F integer or floating
// point, D date, L logical. Reads show the current record (or the candidate record in Filter
// state); writes go into the edit buffer and need Edit or Insert state.
class TField
{
public:
    const std::string &FieldName() const { return FName; }
    TFieldType DataType() const { return FType; }
    int Size() const { return FLength; }
    int Decimals() const { return FDecimals; }
    int FieldNo() const { return FOrdinal + 1; }

    bool IsNull() const;
    std::string AsString() const;
    std::int32_t AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;
    TDateTime AsDateTime() const;
    TVariant AsVariant() const;

    void SetAsString(const std::string &value);
    void SetAsInteger(std::int32_t value);
    void SetAsFloat(double value);
    void SetAsBoolean(bool value);
    void SetAsDateTime(TDateTime value);
    void SetAsVariant(const TVariant &value);
    void Clear();

private:
    friend class TDbfDataSet;
    TField(TDbfDataSet &dataSet, int ordinal, std::string name, char letter, int length, int decimals);
    void CheckWritable() const;
    void Written();

    TDbfDataSet &FDataSet;
    int FOrdinal;
    std::string FName;
    char FLetter;
    TFieldType FType;
    int FLength;
    int FDecimals;
};

// A bookmark names one physical record.
struct TBookmark
{
    std::uint32_t recNo = 0;
    bool IsValid() const { return recNo != 0; }
    friend auto operator<=>(const TBookmark &, const TBookmark &) = default;
};

enum TDataEvent {
    deDataSetChange, // anything may have changed: open, close, order, filter, Post, Delete, EnableControls
    deScroll,        // the current record moved
    deRecordChange,  // the current record's data changed (field is the written field)
    deStateChange,   // State() changed
};

// What a grid or an edit box attaches to learn of the cursor's changes (while the cursor's
// controls are enabled).
class TDataSetView
{
public:
    virtual ~TDataSetView() = default;
    virtual void DataEvent(TDataEvent event, TField *field) = 0;
};

// Everything that decides which records a cursor shows, taken whole, so that a part may filter
// the shared cursor for a moment and hand it back exactly as it found it.
struct TFilterState
{
    std::string filter;
    bool filtered = false;
    TFilterOptions options = 0;
    std::function<void(TDbfDataSet &, bool &accept)> onFilterRecord;
};

class TDbfDataSet : public TDbfCreateTarget
{
public:
    TDbfDataSet();
    ~TDbfDataSet() override;
    TDbfDataSet(const TDbfDataSet &) = delete;
    TDbfDataSet &operator=(const TDbfDataSet &) = delete;

    // Properties.
    const std::string &TableName() const { return FTableName; }
    void SetTableName(const std::string &name);
    const std::string &DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const std::string &name);
    bool Active() const { return FState != dsInactive; }
    void SetActive(bool active);
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool Exclusive() const { return FExclusive; }
    void SetExclusive(bool value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    bool UseDeleted() const { return FUseDeleted; }
    void SetUseDeleted(bool value);
    bool ExactCount() const { return FExactCount; }
    void SetExactCount(bool value) { FExactCount = value; }
    std::uint32_t UserID() const { return FUserID; }
    void SetUserID(std::uint32_t value) { FUserID = value; }
    TLockProtocol LockProtocol() const { return FLockProtocol; }
    void SetLockProtocol(TLockProtocol value)
    {
        CheckInactive();
        FLockProtocol = value;
    }
    // Full path of the table file as opened (directory and extension completed).
    std::string PhysicalTableName() const;

    // Index files opened with the table, in order; every change reopens them.
    const std::vector<std::string> &IndexFiles() const { return FIndexFiles; }
    void SetIndexFiles(const std::vector<std::string> &files);
    void AddIndexFile(const std::string &file);
    void ClearIndexFiles() { SetIndexFiles({}); }

    const std::string &IndexName() const { return FIndexName; }
    void SetIndexName(const std::string &name);

    const std::string &Filter() const { return FFilter; }
    void SetFilter(const std::string &text);
    bool Filtered() const { return FFiltered; }
    void SetFiltered(bool value);
    TFilterOptions FilterOptions() const { return FFilterOptions; }
    void SetFilterOptions(TFilterOptions options);
    TFilterState SaveFilterState() const;
    // Puts a saved state back whole, then moves to the first visible record. A pending edit is
    // settled first as SetFiltered settles it; when that fails the edit is cancelled, the state
    // is still put back and the failure is raised afterwards.
    void RestoreFilterState(const TFilterState &state);

    // Events; an empty function is no handler.
    std::function<void(TDbfDataSet &, bool &accept)> OnFilterRecord;
    std::function<void(TDbfDataSet &)> AfterInsert;
    std::function<void(TDbfDataSet &)> BeforePost; // throwing stops the Post
    std::function<void(TDbfDataSet &)> AfterDelete;

    TDataSetState State() const { return FState; }
    bool Modified() const { return FModified; }

    // Navigation among the visible records in the current order.
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance); // the distance moved, negative backwards
    bool Eof() const { return FEof; }
    bool Bof() const { return FBof; }
    bool IsEmpty() const;
    std::uint32_t RecNo() const;
    void SetRecNo(std::uint32_t recNo); // a direct move to a physical record
    std::uint32_t RecordCount();
    bool IsSequenced() const;

    int FieldCount() const { return int(FFields.size()); }
    TField &Fields(int index) const { return *FFields.at(index); }
    TField &FieldByName(const std::string &name) const;
    TField *FindField(const std::string &name) const;

    // Editing.
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();

    bool Locate(const std::string &field, const std::string &value, TLocateOptions options = 0);

    // For views that show many rows at once: the physical numbers of the visible records in
    // the current order, and a field's text (as AsString gives it) in one record by its number.
    // Neither moves the cursor, touches a pending edit or notifies a view.
    std::vector<std::uint32_t> VisibleRecords();
    std::string FieldTextAt(std::uint32_t recNo, const TField &field);

    TBookmark GetBookmark() const;
    void GotoBookmark(const TBookmark &bookmark);
    bool BookmarkValid(const TBookmark &bookmark) const;
    static int CompareBookmarks(const TBookmark &a, const TBookmark &b);

    void IndexOn(const std::string &file, const std::string &tag, const std::string &key,
                 const std::string &forExpression = "", TIndexUnique unique = iuDuplicates,
                 TSortStatus order = ssAscending);
    // Several tags of one index file built in one pass over the table (engine/Cdx.h).
    void IndexOn(const std::string &file, const std::vector<TCdxTagSpec> &tags);
    void CopyTo(const std::string &file, const std::string &key = "");
    void FlushDBF();

    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return FDisableCount > 0; }
    void AttachView(TDataSetView *view);
    void DetachView(TDataSetView *view);

    // The layers underneath (while open), for the index checks of the word store.
    TDbfTable *Table() const { return FTable.get(); }
    int IndexFileCount() const;
    TCdxFile *IndexFile(int index) const;
    TCdxTag *ActiveTag() const;

    // TCreateDbfDataSet creates the table this cursor names and opens it.
    std::string CreatePath() const override;
    bool CreateActive() const override;
    void CreateOpen() override;

private:
    friend class TField;
    struct Impl;
    // The active tag's entry holding the field's value for the current record, if any.
    const TIndexKey *KeyOfField(int ordinal) const;

    // Checks every public operation makes first.
    void CheckActive() const;
    void CheckInactive() const;
    void CheckBusy() const;
    void CheckBrowseMode(); // settles a pending edit: posted when changed, else cancelled
    void SetState(TDataSetState state);
    void Notify(TDataEvent event, TField *field = nullptr);

    void DoOpen();
    void DoOpenTableOnly();
    void DoClose();
    TCdxTag *FindTag(const std::string &name) const;
    void BuildFields();
    void OpenIndexFiles();
    void CloseIndexFiles();
    void ApplyIndexName(bool keepRecord);
    void ApplyFilter(bool force);

    // Moves underneath the public ones; they do not notify.
    bool ReadPhysical(std::uint32_t recNo); // no visibility test
    bool StepOrder(bool forward, bool fromEnd, std::uint32_t &position);
    bool IsVisible();
    bool SeekVisible(bool forward, bool fromEnd);
    void SyncShared();
    void DoFirst();
    void DoLast();
    bool DoNext();
    bool DoPrior();
    void GoToRecord(std::uint32_t recNo); // re-read and re-sync the order
    void SetEmpty();
    void DoPost();
    void DoCancel();
    bool MatchField(const TField &field, const std::string &value, TLocateOptions options) const;
    bool FilterBit(std::uint32_t recNo);
    void UpdateFilterBit(std::uint32_t recNo);

    std::string FTableName;
    std::string FDatabaseName;
    bool FExclusive = false;
    bool FReadOnly = false;
    bool FUseDeleted = false;
    bool FExactCount = true;
    std::uint32_t FUserID = 0;
    TLockProtocol FLockProtocol = TLockProtocol::Default;
    std::vector<std::string> FIndexFiles;
    std::string FIndexName;
    std::string FFilter;
    bool FFiltered = false;
    TFilterOptions FFilterOptions = 0;

    TDataSetState FState = dsInactive;
    bool FModified = false;
    bool FEof = true;
    bool FBof = true;
    bool FEmpty = true;
    std::uint32_t FCurrent = 0;      // physical number of the current record, 0 for none
    std::uint32_t FBeforeInsert = 0; // the record current before Append
    enum { bzNone, bzIndexing, bzCopying } FBusy = bzNone;

    int FDisableCount = 0;
    TDataSetState FStateWhenDisabled = dsInactive;
    std::vector<TDataSetView *> FViews;

    std::unique_ptr<TDbfTable> FTable;
    std::vector<std::unique_ptr<TField>> FFields;
    std::unique_ptr<Impl> FImpl; // index files, active tag, compiled filter and its bitmap
};
