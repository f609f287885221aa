// The dataset cursor over TDbfTable, its compound index files (TCdxFile) and a filter
// (TExpHandler). The table's current record buffer is the cursor's only buffer: it holds the
// current record in Browse state, the candidate in Filter state and the edit buffer in Edit
// and Insert state, so walks that read other records must put it back.
#include "engine/DataSet.h"

#include "engine/Cdx.h"
#include "engine/Dbf.h"
#include "engine/DiskFile.h"
#include "engine/EngineError.h"
#include "engine/Expression.h"
#include "engine/Strings.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

// Day number of the zero date (30 December 1899) among the table layer's Julian days.
constexpr std::int32_t ZeroDateJulian = 2415019;

std::string Format(const char *pattern, const std::string &a)
{
    std::string out = pattern;
    auto at = out.find("%s");
    if (at != std::string::npos)
        out.replace(at, 2, a);
    return out;
}

std::string Format2(const char *pattern, const std::string &a, const std::string &b)
{
    return Format(Format(pattern, a).c_str(), b);
}

[[noreturn]] void Fail(const std::string &message)
{
    throw EDatabaseError(message);
}

std::string TrimRight(std::string s)
{
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20)
        s.pop_back();
    return s;
}

// Upper case of Windows-1251 text: Latin, Russian and the other Cyrillic letters of the page.
std::string UpperCp1251(std::string s)
{
    for (char &ch : s) {
        auto c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || c >= 0xE0)
            c = static_cast<unsigned char>(c - 0x20);
        else {
            switch (c) {
            case 0xB8: c = 0xA8; break; // ё
            case 0xA2: c = 0xA1; break; // ў
            case 0xB3: c = 0xB2; break; // і
            case 0xB4: c = 0xA5; break; // ґ
            case 0xBA: c = 0xAA; break; // є
            case 0xBF: c = 0xAF; break; // ї
            case 0xBC: c = 0xA3; break; // ј
            case 0xBE: c = 0xBD; break; // ѕ
            case 0x83: c = 0x81; break; // ѓ
            case 0x90: c = 0x80; break; // ђ
            case 0x9A: c = 0x8A; break; // љ
            case 0x9C: c = 0x8C; break; // њ
            case 0x9D: c = 0x8D; break; // ќ
            case 0x9E: c = 0x8E; break; // ћ
            case 0x9F: c = 0x8F; break; // џ
            default: break;
            }
        }
        ch = static_cast<char>(c);
    }
    return s;
}

bool HasExtension(const std::string &path)
{
    auto slash = path.find_last_of('/');
    auto dot = path.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

bool HasDirectory(const std::string &path)
{
    return path.find('/') != std::string::npos;
}

std::string WithDirectory(const std::string &directory, const std::string &name)
{
    if (directory.empty() || HasDirectory(name))
        return name;
    std::string dir = directory;
    if (dir.back() != '/')
        dir += '/';
    return dir + name;
}

// Whole decimal number, with optional sign and surrounding blanks.
bool ParseInteger(const std::string &text, long long &out)
{
    std::string t = Trim(text);
    if (t.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    long long v = std::strtoll(t.c_str(), &end, 10);
    if (errno != 0 || *end != '\0')
        return false;
    out = v;
    return true;
}

// A number of an integer field: N(20,0) holds more than 32 bits (other tools write such
// values), so it is held at the nearest end of the range instead of wrapping into an
// unrelated number.
std::int32_t ToInt32(double v)
{
    if (std::isnan(v))
        return 0;
    v = std::round(v);
    if (v <= double(INT32_MIN))
        return INT32_MIN;
    if (v >= double(INT32_MAX))
        return INT32_MAX;
    return std::int32_t(v);
}

bool ParseFloat(const std::string &text, double &out)
{
    std::string t = Trim(text);
    if (t.empty())
        return false;
    std::replace(t.begin(), t.end(), ',', '.');
    errno = 0;
    char *end = nullptr;
    double v = std::strtod(t.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

// "yyyymmdd", "yyyy-mm-dd" or "dd.mm.yyyy"; false for anything else or an impossible date.
bool ParseDate(const std::string &text, std::int32_t &julian)
{
    std::string t = Trim(text);
    int y = 0, m = 0, d = 0;
    char tail = 0;
    bool ok = false;
    if (t.size() == 8 && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; }))
        ok = std::sscanf(t.c_str(), "%4d%2d%2d", &y, &m, &d) == 3;
    else if (std::sscanf(t.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) == 3)
        ok = true;
    else if (std::sscanf(t.c_str(), "%d.%d.%d%c", &d, &m, &y, &tail) == 3)
        ok = true;
    if (!ok || !DbfIsValidDate(y, m, d))
        return false;
    julian = DbfDateToJulian(y, m, d);
    return true;
}

std::string FormatFloat(double v)
{
    char buf[64];
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v)
            break;
    }
    return buf;
}

} // namespace

// ---------------------------------------------------------------------------------------
// Dates

TDateTime EncodeDate(int year, int month, int day)
{
    if (!DbfIsValidDate(year, month, day))
        Fail("Invalid argument to date encode");
    return TDateTime{double(DbfDateToJulian(year, month, day) - ZeroDateJulian)};
}

void DecodeDate(TDateTime date, int &year, int &month, int &day)
{
    DbfJulianToDate(std::int32_t(std::floor(date.value)) + ZeroDateJulian, year, month, day);
}

TDateTime Today()
{
    return TDateTime{double(DbfToday() - ZeroDateJulian)};
}

// ---------------------------------------------------------------------------------------
// Cursor internals: index files, the active tag, the compiled filter and its bitmap

struct TDbfDataSet::Impl
{
    std::vector<std::unique_ptr<TCdxFile>> indexes;
    TCdxTag *tag = nullptr; // the active tag, none in natural order
    // The character field whose whole value is the active tag's key, -1 when there is none:
    // while the tag stands on an untouched record, that field is read from the key.
    int keyField = -1;

    std::unique_ptr<TExpHandler> filter; // the last compiled filter
    std::string filterText;
    TFilterOptions filterOptions = 0;
    std::vector<char> bits; // by physical record number; index 0 unused
    bool bitmapOn = false;  // Filtered with a non-empty Filter

    void DropFilter()
    {
        filter.reset();
        filterText.clear();
        bits.clear();
        bitmapOn = false;
    }
};

// ---------------------------------------------------------------------------------------
// TField

TField::TField(TDbfDataSet &dataSet, int ordinal, std::string name, char letter, int length, int decimals)
    : FDataSet(dataSet), FOrdinal(ordinal), FName(std::move(name)), FLetter(letter), FLength(length),
      FDecimals(decimals)
{
    switch (letter) {
    case 'C': FType = ftString; break;
    case 'N':
    case 'F':
        FType = decimals > 0 ? ftFloat : (length < 5 ? ftSmallint : ftInteger);
        break;
    case 'I': FType = ftInteger; break;
    case 'D': FType = ftDate; break;
    case 'L': FType = ftBoolean; break;
    default: FType = ftUnknown; break;
    }
}

bool TField::IsNull() const
{
    const TDbfTable &t = *FDataSet.FTable;
    switch (FType) {
    case ftString: return t.GetString(FOrdinal).empty();
    case ftDate: return !t.GetDate(FOrdinal).has_value();
    case ftBoolean: return t.IsBlank(FOrdinal);
    default: return false; // numbers read blank as 0
    }
}

std::string TField::AsString() const
{
    const TDbfTable &t = *FDataSet.FTable;
    switch (FType) {
    case ftString:
        if (const TIndexKey *key = FDataSet.KeyOfField(FOrdinal))
            return TDbfTable::CharacterText(key->Key.data(), key->Key.size());
        return t.GetString(FOrdinal);
    case ftSmallint:
    case ftInteger: return std::to_string(AsInteger());
    case ftFloat: return FormatFloat(AsFloat());
    case ftDate: {
        auto d = t.GetDate(FOrdinal);
        if (!d)
            return "";
        int y, m, dd;
        DbfJulianToDate(*d, y, m, dd);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", dd, m, y);
        return buf;
    }
    case ftBoolean: return IsNull() ? "" : (AsBoolean() ? "True" : "False");
    default: return TrimRight(t.GetRaw(FOrdinal));
    }
}

std::int32_t TField::AsInteger() const
{
    const TDbfTable &t = *FDataSet.FTable;
    switch (FType) {
    case ftSmallint:
    case ftInteger:
    case ftFloat: return ToInt32(t.GetNumber(FOrdinal));
    case ftDate: return std::int32_t(AsDateTime().value);
    case ftBoolean: return AsBoolean() ? 1 : 0;
    default: {
        std::string s = AsString();
        long long v = 0;
        if (s.empty())
            return 0;
        if (!ParseInteger(s, v) || v < INT32_MIN || v > INT32_MAX)
            Fail(Format("'%s' is not a valid integer value", s));
        return std::int32_t(v);
    }
    }
}

double TField::AsFloat() const
{
    const TDbfTable &t = *FDataSet.FTable;
    switch (FType) {
    case ftSmallint:
    case ftInteger:
    case ftFloat: return t.GetNumber(FOrdinal);
    case ftDate: return AsDateTime().value;
    case ftBoolean: return AsBoolean() ? 1 : 0;
    default: {
        std::string s = AsString();
        double v = 0;
        if (s.empty())
            return 0;
        if (!ParseFloat(s, v))
            Fail(Format("'%s' is not a valid floating point value", s));
        return v;
    }
    }
}

bool TField::AsBoolean() const
{
    const TDbfTable &t = *FDataSet.FTable;
    switch (FType) {
    case ftBoolean: return t.GetLogical(FOrdinal);
    case ftSmallint:
    case ftInteger:
    case ftFloat: return AsFloat() != 0;
    default: {
        std::string s = AsString();
        return !s.empty() && std::strchr("TtYyJj", s[0]) != nullptr;
    }
    }
}

TDateTime TField::AsDateTime() const
{
    const TDbfTable &t = *FDataSet.FTable;
    if (FType == ftDate) {
        auto d = t.GetDate(FOrdinal);
        return TDateTime{d ? double(*d - ZeroDateJulian) : 0.0};
    }
    if (FType == ftString) {
        std::int32_t j = 0;
        std::string s = AsString();
        if (s.empty())
            return TDateTime{};
        if (!ParseDate(s, j))
            Fail(Format("'%s' is not a valid date", s));
        return TDateTime{double(j - ZeroDateJulian)};
    }
    return TDateTime{AsFloat()};
}

TVariant TField::AsVariant() const
{
    if (IsNull())
        return std::monostate{};
    switch (FType) {
    case ftString: return AsString();
    case ftSmallint:
    case ftInteger: return AsInteger();
    case ftFloat: return AsFloat();
    case ftDate: return AsDateTime();
    case ftBoolean: return AsBoolean();
    default: return AsString();
    }
}

void TField::CheckWritable() const
{
    FDataSet.CheckActive();
    if (FDataSet.FState != dsEdit && FDataSet.FState != dsInsert)
        Fail("Dataset not in edit or insert mode");
}

void TField::Written()
{
    FDataSet.FModified = true;
    FDataSet.Notify(deRecordChange, this);
}

void TField::SetAsString(const std::string &value)
{
    CheckWritable();
    TDbfTable &t = *FDataSet.FTable;
    switch (FType) {
    case ftString: t.SetRaw(FOrdinal, value); break;
    case ftSmallint:
    case ftInteger: {
        long long v = 0;
        if (!Trim(value).empty() && (!ParseInteger(value, v) || v < INT32_MIN || v > INT32_MAX))
            Fail(Format2("'%s' is not a valid integer value for field '%s'", value, FName));
        t.SetNumber(FOrdinal, double(v));
        break;
    }
    case ftFloat: {
        double v = 0;
        if (!Trim(value).empty() && !ParseFloat(value, v))
            Fail(Format2("'%s' is not a valid floating point value for field '%s'", value, FName));
        t.SetNumber(FOrdinal, v);
        break;
    }
    case ftDate: {
        std::int32_t j = 0;
        if (Trim(value).empty())
            t.SetDate(FOrdinal, std::nullopt);
        else if (!ParseDate(value, j))
            Fail(Format("'%s' is not a valid date", value));
        else
            t.SetDate(FOrdinal, j);
        break;
    }
    case ftBoolean:
        if (Trim(value).empty())
            t.SetRaw(FOrdinal, "");
        else
            t.SetLogical(FOrdinal, std::strchr("TtYyJj", Trim(value)[0]) != nullptr);
        break;
    default: t.SetString(FOrdinal, value); break;
    }
    Written();
}

void TField::SetAsInteger(std::int32_t value)
{
    CheckWritable();
    TDbfTable &t = *FDataSet.FTable;
    switch (FType) {
    case ftSmallint:
    case ftInteger:
    case ftFloat: t.SetNumber(FOrdinal, value); break;
    case ftDate: t.SetDate(FOrdinal, value + ZeroDateJulian); break;
    case ftBoolean: t.SetLogical(FOrdinal, value != 0); break;
    default: t.SetString(FOrdinal, std::to_string(value)); break;
    }
    Written();
}

void TField::SetAsFloat(double value)
{
    CheckWritable();
    TDbfTable &t = *FDataSet.FTable;
    switch (FType) {
    case ftSmallint:
    case ftInteger: t.SetNumber(FOrdinal, std::round(value)); break;
    case ftFloat: t.SetNumber(FOrdinal, value); break;
    case ftDate: t.SetDate(FOrdinal, std::int32_t(std::floor(value)) + ZeroDateJulian); break;
    case ftBoolean: t.SetLogical(FOrdinal, value != 0); break;
    default: t.SetString(FOrdinal, FormatFloat(value)); break;
    }
    Written();
}

void TField::SetAsBoolean(bool value)
{
    CheckWritable();
    TDbfTable &t = *FDataSet.FTable;
    switch (FType) {
    case ftBoolean: t.SetLogical(FOrdinal, value); break;
    case ftSmallint:
    case ftInteger:
    case ftFloat: t.SetNumber(FOrdinal, value ? 1 : 0); break;
    default: t.SetString(FOrdinal, value ? "T" : "F"); break;
    }
    Written();
}

void TField::SetAsDateTime(TDateTime value)
{
    CheckWritable();
    TDbfTable &t = *FDataSet.FTable;
    std::int32_t julian = std::int32_t(std::floor(value.value)) + ZeroDateJulian;
    switch (FType) {
    case ftDate: t.SetDate(FOrdinal, julian); break;
    case ftSmallint:
    case ftInteger:
    case ftFloat: t.SetNumber(FOrdinal, std::floor(value.value)); break;
    default: {
        int y, m, d;
        DbfJulianToDate(julian, y, m, d);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
        t.SetString(FOrdinal, buf);
        break;
    }
    }
    Written();
}

void TField::SetAsVariant(const TVariant &value)
{
    if (std::holds_alternative<std::monostate>(value))
        Clear();
    else if (auto s = std::get_if<std::string>(&value))
        SetAsString(*s);
    else if (auto i = std::get_if<std::int32_t>(&value))
        SetAsInteger(*i);
    else if (auto f = std::get_if<double>(&value))
        SetAsFloat(*f);
    else if (auto b = std::get_if<bool>(&value))
        SetAsBoolean(*b);
    else
        SetAsDateTime(std::get<TDateTime>(value));
}

void TField::Clear()
{
    CheckWritable();
    TDbfTable &t = *FDataSet.FTable;
    switch (FType) {
    case ftSmallint:
    case ftInteger:
    case ftFloat: t.SetNumber(FOrdinal, 0); break;
    case ftDate: t.SetDate(FOrdinal, std::nullopt); break;
    default: t.SetRaw(FOrdinal, ""); break;
    }
    Written();
}

// ---------------------------------------------------------------------------------------
// TDbfDataSet: properties and checks

TDbfDataSet::TDbfDataSet() : FImpl(std::make_unique<Impl>()) {}

TDbfDataSet::~TDbfDataSet()
{
    try {
        if (Active())
            DoClose();
    } catch (...) {
        // Closing writes what is dirty; a failure here has nobody left to tell.
    }
}

void TDbfDataSet::CheckActive() const
{
    if (FState == dsInactive)
        Fail("Cannot perform this operation on a closed dataset");
    CheckBusy();
}

void TDbfDataSet::CheckInactive() const
{
    if (FState != dsInactive)
        Fail("Cannot perform this operation on an open dataset");
}

void TDbfDataSet::CheckBusy() const
{
    if (FBusy == bzIndexing)
        Fail("Table is busy building an index");
    if (FBusy == bzCopying)
        Fail("Table is busy copying");
}

void TDbfDataSet::CheckBrowseMode()
{
    if (FState == dsEdit || FState == dsInsert) {
        if (FModified)
            Post();
        else
            Cancel();
    }
}

void TDbfDataSet::SetState(TDataSetState state)
{
    if (FState == state)
        return;
    FState = state;
    Notify(deStateChange);
}

void TDbfDataSet::Notify(TDataEvent event, TField *field)
{
    if (FDisableCount > 0)
        return;
    // A view may detach itself while being told.
    std::vector<TDataSetView *> views = FViews;
    for (TDataSetView *v : views)
        if (std::find(FViews.begin(), FViews.end(), v) != FViews.end())
            v->DataEvent(event, field);
}

void TDbfDataSet::AttachView(TDataSetView *view)
{
    if (view && std::find(FViews.begin(), FViews.end(), view) == FViews.end())
        FViews.push_back(view);
}

void TDbfDataSet::DetachView(TDataSetView *view)
{
    FViews.erase(std::remove(FViews.begin(), FViews.end(), view), FViews.end());
}

void TDbfDataSet::DisableControls()
{
    if (FDisableCount++ == 0)
        FStateWhenDisabled = FState;
}

void TDbfDataSet::EnableControls()
{
    if (FDisableCount == 0)
        return;
    if (--FDisableCount == 0) {
        if (FState != FStateWhenDisabled)
            Notify(deStateChange);
        Notify(deDataSetChange);
    }
}

void TDbfDataSet::SetTableName(const std::string &name)
{
    CheckInactive();
    if (name != FTableName && !FIndexFiles.empty())
        SetIndexFiles({});
    FTableName = name;
}

void TDbfDataSet::SetDatabaseName(const std::string &name)
{
    CheckInactive();
    FDatabaseName = name;
}

void TDbfDataSet::SetExclusive(bool value)
{
    CheckInactive();
    FExclusive = value;
}

void TDbfDataSet::SetReadOnly(bool value)
{
    CheckInactive();
    FReadOnly = value;
}

void TDbfDataSet::SetUseDeleted(bool value)
{
    if (value == FUseDeleted)
        return;
    if (Active()) {
        CheckActive();
        CheckBrowseMode();
    }
    FUseDeleted = value;
    if (Active()) {
        DoFirst();
        Notify(deDataSetChange);
    }
}

std::string TDbfDataSet::PhysicalTableName() const
{
    std::string name = Trim(FTableName);
    if (!name.empty() && !HasExtension(name))
        name += ".DBF";
    return WithDirectory(FDatabaseName, name);
}

std::string TDbfDataSet::CreatePath() const
{
    return PhysicalTableName();
}

bool TDbfDataSet::CreateActive() const
{
    return Active();
}

void TDbfDataSet::CreateOpen()
{
    SetActive(true);
}

// ---------------------------------------------------------------------------------------
// Opening and closing

void TDbfDataSet::SetActive(bool active)
{
    if (active == Active())
        return;
    if (active) {
        CheckBusy();
        DoOpen();
        Notify(deStateChange);
        Notify(deDataSetChange);
    } else {
        CheckBusy();
        DoClose();
        Notify(deStateChange);
        Notify(deDataSetChange);
    }
}

void TDbfDataSet::DoOpen()
{
    DoOpenTableOnly();
    FImpl->DropFilter();
    try {
        OpenIndexFiles();
        ApplyIndexName(false);
        if (FFiltered && !Trim(FFilter).empty())
            ApplyFilter(true);
        DoFirst();
    } catch (...) {
        DoClose();
        throw;
    }
}

void TDbfDataSet::DoClose()
{
    // Nothing pending is posted: an unposted edit or insert is simply dropped.
    if (FState == dsEdit && FTable && FTable->Shared())
        FTable->UnlockRecord(FCurrent);
    FState = dsInactive;
    FModified = false;
    FImpl->tag = nullptr;
    FImpl->keyField = -1;
    FImpl->DropFilter();
    std::exception_ptr failure;
    try {
        CloseIndexFiles();
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        if (FTable)
            FTable->Close();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    FTable.reset();
    FFields.clear();
    FCurrent = 0;
    FEof = FBof = FEmpty = true;
    if (failure)
        std::rethrow_exception(failure);
}

void TDbfDataSet::BuildFields()
{
    FFields.clear();
    for (const TDbfField &f : FTable->Fields())
        if (f.Visible())
            FFields.emplace_back(new TField(*this, f.Ordinal, f.Name, f.Type, f.Length, f.Decimals));
}

TField *TDbfDataSet::FindField(const std::string &name) const
{
    std::string wanted = AsciiUpper(Trim(name));
    for (const auto &f : FFields)
        if (AsciiUpper(f->FieldName()) == wanted)
            return f.get();
    return nullptr;
}

TField &TDbfDataSet::FieldByName(const std::string &name) const
{
    if (TField *f = FindField(name))
        return *f;
    Fail(Format("Field '%s' not found", name));
}

// ---------------------------------------------------------------------------------------
// Index files and the active tag

void TDbfDataSet::CloseIndexFiles()
{
    FImpl->tag = nullptr;
    FImpl->keyField = -1;
    std::exception_ptr failure;
    for (auto &file : FImpl->indexes) {
        try {
            file->Close();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    FImpl->indexes.clear();
    if (FTable)
        FTable->SetIndexOpenForLocks(false);
    if (failure)
        std::rethrow_exception(failure);
}

void TDbfDataSet::OpenIndexFiles()
{
    std::vector<std::string> opened;
    for (const std::string &listed : FIndexFiles) {
        std::string name = Trim(listed);
        if (!HasExtension(name))
            name += ".NDX";
        name = WithDirectory(FDatabaseName, name);
        std::string resolved = TDiskFile::ResolvePath(name);
        if (!TDiskFile::Exists(resolved))
            Fail(Format("Cannot find file %s", name));
        if (std::find(opened.begin(), opened.end(), resolved) != opened.end())
            Fail(Format("Index file %s already open", name));
        auto file = std::make_unique<TCdxFile>(*FTable);
        try {
            file->Open(resolved, false, FTable->Shared(), FTable->ReadWrite());
        } catch (const EEngineError &) {
            Fail(Format("Error getting %s", name));
        }
        FTable->SetIndexOpenForLocks(true);
        FImpl->indexes.push_back(std::move(file));
        opened.push_back(resolved);
    }
}

void TDbfDataSet::SetIndexFiles(const std::vector<std::string> &files)
{
    FIndexFiles = files;
    bool wasOpen = Active();
    if (wasOpen) {
        CheckActive();
        CheckBrowseMode();
    } else if (FIndexFiles.empty()) {
        // Nothing is open to close; only the order goes.
        FIndexName.clear();
        return;
    } else {
        try {
            DoOpenTableOnly();
        } catch (const EEngineError &) {
            return;
        }
    }
    struct Reclose
    {
        TDbfDataSet *ds;
        bool active;
        ~Reclose()
        {
            if (active)
                try {
                    ds->DoClose();
                } catch (...) {
                }
        }
    } reclose{this, !wasOpen};
    CloseIndexFiles();
    if (FIndexFiles.empty())
        FIndexName.clear();
    OpenIndexFiles();
    if (wasOpen) {
        ApplyIndexName(true);
        Notify(deDataSetChange);
    }
}

void TDbfDataSet::AddIndexFile(const std::string &file)
{
    std::vector<std::string> files = FIndexFiles;
    files.push_back(file);
    SetIndexFiles(files);
}

void TDbfDataSet::DoOpenTableOnly()
{
    if (Trim(FTableName).empty())
        Fail("Table name missing");
    std::string path = PhysicalTableName();
    if (!TDiskFile::Exists(path))
        Fail(Format("Cannot find file %s", path));
    auto table = std::make_unique<TDbfTable>();
    table->Open(path, !FReadOnly, !FExclusive);
    table->SetUserId(FUserID);
    table->SetLockProtocol(FLockProtocol);
    FTable = std::move(table);
    BuildFields();
    FState = dsBrowse;
    FModified = false;
}

TCdxTag *TDbfDataSet::FindTag(const std::string &name) const
{
    std::string wanted = AsciiUpper(Trim(name));
    for (const auto &file : FImpl->indexes)
        if (TCdxTag *tag = file->TagByName(wanted))
            return tag;
    return nullptr;
}

const TIndexKey *TDbfDataSet::KeyOfField(int ordinal) const
{
    // The key is the field's bytes exactly (same length, no condition), so it gives the same
    // value as the record would, without touching the record.
    if (ordinal != FImpl->keyField || !FTable->RecordAsRead() || (FState != dsBrowse && FState != dsFilter))
        return nullptr;
    const TIndexKey *entry = FImpl->tag->CurrentEntry();
    if (!entry || entry->RecNo != FTable->RecNo() || entry->Key.size() != size_t(FTable->Field(ordinal).Length))
        return nullptr;
    return entry;
}

void TDbfDataSet::ApplyIndexName(bool keepRecord)
{
    TCdxTag *tag = nullptr;
    if (!Trim(FIndexName).empty()) {
        tag = FindTag(FIndexName);
        if (!tag)
            Fail(Format("Cannot find index tag %s", FIndexName));
    }
    FImpl->tag = tag;
    FImpl->keyField = -1;
    if (tag && !tag->HasFor() && tag->KeyType() == 'C' && !tag->GeneralCollation()) {
        int f = FTable->FindField(Trim(tag->KeyExpression()));
        if (f >= 0 && FTable->Field(f).Type == 'C' && FTable->Field(f).Length == tag->KeyLength())
            FImpl->keyField = f;
    }
    FTable->SetReadCache(tag == nullptr);
    if (keepRecord && FCurrent != 0 && FCurrent <= FTable->RecordCount())
        GoToRecord(FCurrent);
    else
        DoFirst();
}

void TDbfDataSet::SetIndexName(const std::string &name)
{
    if (!Active()) {
        FIndexName = name;
        return;
    }
    CheckActive();
    CheckBrowseMode();
    std::string old = FIndexName;
    FIndexName = name;
    try {
        ApplyIndexName(true);
    } catch (...) {
        FIndexName = old; // the previous order stays
        throw;
    }
    Notify(deDataSetChange);
    Notify(deScroll);
}

// ---------------------------------------------------------------------------------------
// Moving

bool TDbfDataSet::ReadPhysical(std::uint32_t recNo)
{
    if (recNo == 0 || recNo > FTable->RecordCount())
        return false;
    FTable->GetRecord(int(recNo));
    FCurrent = recNo;
    return true;
}

// One step in the current order from the position last reached (or from an end); the
// record reached is read into the buffer. False at the end.
bool TDbfDataSet::StepOrder(bool forward, bool fromEnd, std::uint32_t &position)
{
    std::uint32_t next = 0;
    if (TCdxTag *tag = FImpl->tag) {
        if (fromEnd)
            next = forward ? tag->First() : tag->Last();
        else
            next = forward ? tag->Next() : tag->Prior();
        if (next == 0)
            return false;
        if (next > FTable->RecordCount())
            throw EDbfError(DbfErr::BeyondEof, 0, FTable->FileName());
        // In key order the records lie all over the file: one a few steps on is asked for now.
        if (forward)
            FTable->PrefetchRecord(tag->Ahead(4));
    } else {
        std::uint32_t count = FTable->RecordCount();
        if (fromEnd)
            next = forward ? 1 : count;
        else
            next = forward ? position + 1 : position - 1;
        if (next == 0 || next > count)
            return false;
    }
    FTable->GetRecord(int(next));
    position = next;
    return true;
}

bool TDbfDataSet::IsVisible()
{
    if (!FUseDeleted && FTable->IsDeleted())
        return false;
    if (!FFiltered)
        return true;
    std::uint32_t recNo = FTable->RecNo();
    if (FImpl->bitmapOn && !FilterBit(recNo))
        return false;
    if (OnFilterRecord) {
        bool accept = true;
        TDataSetState saved = FState;
        FState = dsFilter;
        try {
            OnFilterRecord(*this, accept);
        } catch (...) {
            FState = saved;
            throw;
        }
        FState = saved;
        return accept;
    }
    return true;
}

bool TDbfDataSet::SeekVisible(bool forward, bool fromEnd)
{
    std::uint32_t position = fromEnd ? 0 : FCurrent;
    bool first = fromEnd;
    while (StepOrder(forward, first, position)) {
        first = false;
        if (IsVisible()) {
            FCurrent = position;
            return true;
        }
    }
    return false;
}

void TDbfDataSet::SetEmpty()
{
    FCurrent = 0;
    FEmpty = FEof = FBof = true;
    FTable->Blank();
    FTable->ClearChanged();
}

void TDbfDataSet::SyncShared()
{
    // Another writer may have appended or rewritten records: take its count, drop stale cache.
    if (FTable && FTable->Shared())
        FTable->ReadHeader();
}

void TDbfDataSet::DoFirst()
{
    SyncShared();
    if (SeekVisible(true, true)) {
        FEmpty = false;
        FBof = true;
        FEof = false;
    } else
        SetEmpty();
}

void TDbfDataSet::DoLast()
{
    SyncShared();
    if (SeekVisible(false, true)) {
        FEmpty = false;
        FEof = true;
        FBof = false;
    } else
        SetEmpty();
}

bool TDbfDataSet::DoNext()
{
    if (FEmpty) {
        FEof = true;
        return false;
    }
    std::uint32_t at = FCurrent;
    if (SeekVisible(true, false)) {
        FBof = FEof = false;
        return true;
    }
    GoToRecord(at);
    FEof = true;
    return false;
}

bool TDbfDataSet::DoPrior()
{
    if (FEmpty) {
        FBof = true;
        return false;
    }
    std::uint32_t at = FCurrent;
    if (SeekVisible(false, false)) {
        FBof = FEof = false;
        return true;
    }
    GoToRecord(at);
    FBof = true;
    return false;
}

void TDbfDataSet::GoToRecord(std::uint32_t recNo)
{
    if (!ReadPhysical(recNo))
        throw EDbfError(DbfErr::BeyondEof, 0, FTable->FileName());
    if (TCdxTag *tag = FImpl->tag)
        tag->GoToRecord(recNo);
    FEmpty = false;
    FEof = FBof = false;
}

void TDbfDataSet::First()
{
    CheckActive();
    CheckBrowseMode();
    DoFirst();
    Notify(deScroll);
}

void TDbfDataSet::Last()
{
    CheckActive();
    CheckBrowseMode();
    DoLast();
    Notify(deScroll);
}

void TDbfDataSet::Next()
{
    CheckActive();
    CheckBrowseMode();
    DoNext();
    Notify(deScroll);
}

void TDbfDataSet::Prior()
{
    CheckActive();
    CheckBrowseMode();
    DoPrior();
    Notify(deScroll);
}

int TDbfDataSet::MoveBy(int distance)
{
    CheckActive();
    CheckBrowseMode();
    int moved = 0;
    while (distance > 0 && DoNext()) {
        --distance;
        ++moved;
    }
    while (distance < 0 && DoPrior()) {
        ++distance;
        --moved;
    }
    Notify(deScroll);
    return moved;
}

bool TDbfDataSet::IsEmpty() const
{
    return FEmpty && FState != dsInsert;
}

std::uint32_t TDbfDataSet::RecNo() const
{
    if (FState == dsInactive || FState == dsInsert)
        return 0;
    if (FState == dsFilter)
        return FTable->RecNo();
    return FCurrent;
}

void TDbfDataSet::SetRecNo(std::uint32_t recNo)
{
    CheckActive();
    CheckBrowseMode();
    if (recNo == 0 || recNo > FTable->RecordCount())
        return;
    GoToRecord(recNo);
    Notify(deScroll);
}

bool TDbfDataSet::IsSequenced() const
{
    return Active() && FImpl->tag == nullptr && !FFiltered;
}

std::uint32_t TDbfDataSet::RecordCount()
{
    CheckActive();
    SyncShared();
    if (!FExactCount)
        return FTable->RecordCount();
    // The walk reads other records into the one buffer; an edit in progress is put back after.
    std::vector<char> edit;
    bool editing = FState == dsEdit || FState == dsInsert;
    if (editing)
        edit.assign(FTable->RecordBuffer(), FTable->RecordBuffer() + FTable->RecordLength());
    std::uint32_t current = FCurrent;
    bool eof = FEof, bof = FBof, empty = FEmpty;
    std::uint32_t count = 0;
    struct Restore
    {
        TDbfDataSet *ds;
        std::vector<char> &edit;
        bool editing;
        std::uint32_t current;
        bool eof, bof, empty;
        bool tagMoved = true;
        ~Restore()
        {
            try {
                if (current != 0 && !tagMoved)
                    ds->ReadPhysical(current); // the tag still stands on it
                else if (current != 0)
                    ds->GoToRecord(current);
                else {
                    ds->FCurrent = 0;
                    ds->FTable->Blank();
                }
                if (editing)
                    ds->FTable->SetRecordBuffer(edit.data());
            } catch (...) {
            }
            ds->FEof = eof;
            ds->FBof = bof;
            ds->FEmpty = empty;
        }
    } restore{this, edit, editing, current, eof, bof, empty};

    if (FImpl->tag && FImpl->tag->HasFor()) {
        // Only the records the tag holds are in this order.
        std::uint32_t position = 0;
        bool first = true;
        while (StepOrder(true, first, position)) {
            first = false;
            if (IsVisible())
                ++count;
        }
    } else if (!FFiltered) {
        restore.tagMoved = false;
        // Every record is in the order and only deletion hides one: the flags alone decide.
        std::uint32_t undeleted = FTable->CountUndeleted(); // reads them all, as a walk would
        count = FUseDeleted ? FTable->RecordCount() : undeleted;
    } else {
        // Every record is in the order, so a sequential pass gives the same count cheaper.
        restore.tagMoved = false;
        bool cache = FTable->ReadCache();
        FTable->SetReadCache(true);
        std::uint32_t total = FTable->RecordCount();
        for (std::uint32_t n = 1; n <= total; ++n) {
            FTable->GetRecord(int(n));
            if (IsVisible())
                ++count;
        }
        FTable->SetReadCache(cache);
    }
    return count;
}

// ---------------------------------------------------------------------------------------
// Reading rows for views

std::vector<std::uint32_t> TDbfDataSet::VisibleRecords()
{
    CheckActive();
    SyncShared();
    std::vector<std::uint32_t> records;
    const std::uint32_t total = FTable->RecordCount();
    TCdxTag *tag = FImpl->tag;
    if (tag) {
        records.reserve(total);
        // The tag's pages are read in runs without a position; the position is put back below.
        tag->ForEachRecord([&](std::uint32_t n) {
            if (n == 0 || n > total)
                throw EDbfError(DbfErr::BeyondEof, 0, FTable->FileName());
            records.push_back(n);
            return true;
        });
        if (tag->Descending())
            std::reverse(records.begin(), records.end());
        if (FCurrent != 0)
            tag->GoToRecord(FCurrent);
    } else {
        records.resize(total);
        for (std::uint32_t n = 1; n <= total; ++n)
            records[n - 1] = n;
    }
    if (FFiltered) {
        // The filter reads the candidate through the one record buffer: the current record, and
        // an edit in progress, are put back afterwards.
        std::vector<char> saved(FTable->RecordBuffer(), FTable->RecordBuffer() + FTable->RecordLength());
        struct Restore
        {
            TDbfDataSet *ds;
            std::vector<char> &saved;
            std::uint32_t current;
            ~Restore()
            {
                try {
                    if (current != 0)
                        ds->ReadPhysical(current);
                    ds->FTable->SetRecordBuffer(saved.data());
                } catch (...) {
                }
            }
        } restore{this, saved, FCurrent};
        std::vector<std::uint32_t> visible;
        visible.reserve(records.size());
        for (std::uint32_t n : records) {
            FTable->GetRecord(int(n));
            if (IsVisible())
                visible.push_back(n);
        }
        return visible;
    }
    if (FUseDeleted)
        return records;
    std::vector<char> buf(size_t(FTable->RecordLength()) + 1);
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [&](std::uint32_t n) {
                                     const char *record = FTable->PeekRecord(n);
                                     if (!record) {
                                         FTable->ReadRecordInto(n, buf.data());
                                         record = buf.data();
                                     }
                                     return FTable->IsDeleted(record);
                                 }),
                  records.end());
    return records;
}

std::string TDbfDataSet::FieldTextAt(std::uint32_t recNo, const TField &field)
{
    CheckActive();
    if (&field.FDataSet != this)
        Fail("Field '" + field.FieldName() + "' not found");
    if (recNo == 0 || recNo > FTable->RecordCount())
        throw EDbfError(DbfErr::BeyondEof, 0, FTable->FileName());
    std::vector<char> buf;
    const char *record = FTable->PeekRecord(recNo);
    if (!record) {
        buf.resize(size_t(FTable->RecordLength()) + 1);
        FTable->ReadRecordInto(recNo, buf.data());
        record = buf.data();
    }
    const int ordinal = field.FOrdinal;
    switch (field.FType) {
    case ftString: return FTable->GetString(ordinal, record);
    case ftSmallint:
    case ftInteger: return std::to_string(ToInt32(FTable->GetNumber(ordinal, record)));
    case ftFloat: return FormatFloat(FTable->GetNumber(ordinal, record));
    case ftDate: {
        auto d = FTable->GetDate(ordinal, record);
        if (!d)
            return "";
        int y, m, dd;
        DbfJulianToDate(*d, y, m, dd);
        char text[16];
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", dd, m, y);
        return text;
    }
    case ftBoolean:
        return FTable->IsBlank(ordinal, record) ? "" : (FTable->GetLogical(ordinal, record) ? "True" : "False");
    default: return TrimRight(FTable->GetRaw(ordinal, record));
    }
}

// ---------------------------------------------------------------------------------------
// Editing

void TDbfDataSet::Append()
{
    CheckActive();
    CheckBrowseMode();
    if (FReadOnly)
        Fail("Cannot modify a read-only dataset");
    FBeforeInsert = FCurrent;
    FTable->Blank();
    FTable->ClearChanged();
    FModified = false;
    SetState(dsInsert);
    if (AfterInsert)
        AfterInsert(*this); // its writes count as changes
    Notify(deDataSetChange);
}

void TDbfDataSet::Edit()
{
    CheckActive();
    if (FState == dsEdit || FState == dsInsert)
        return;
    if (FEmpty) {
        Append(); // nothing to edit: a new record, as a grid would start one
        return;
    }
    if (FReadOnly)
        Fail("Cannot modify a read-only dataset");
    if (FTable->Shared() && !FTable->LockRecord(FCurrent))
        Fail("Record is locked by another user");
    try {
        SyncShared();
        ReadPhysical(FCurrent); // the record as it is now in the file
    } catch (...) {
        if (FTable->Shared())
            FTable->UnlockRecord(FCurrent);
        throw;
    }
    FTable->ClearChanged();
    FModified = false;
    SetState(dsEdit);
}

void TDbfDataSet::Post()
{
    CheckActive();
    if (FState != dsEdit && FState != dsInsert)
        Fail("Dataset not in edit or insert mode");
    if (BeforePost)
        BeforePost(*this); // an error here leaves the edit as it is
    DoPost();
    Notify(deStateChange);
    Notify(deDataSetChange);
}

void TDbfDataSet::DoPost()
{
    // On failure the state and the buffer stay as they are, so the user can correct and retry.
    if (FState == dsInsert) {
        bool locked = FTable->Shared() && FTable->LockAppend();
        try {
            FTable->AppendRecord();
        } catch (...) {
            if (locked)
                FTable->UnlockAppend();
            throw;
        }
        if (locked)
            FTable->UnlockAppend();
    } else {
        FTable->PutRecord(FCurrent);
        if (FTable->Shared())
            FTable->UnlockRecord(FCurrent);
    }
    std::uint32_t recNo = FTable->RecNo();
    UpdateFilterBit(recNo);
    FState = dsBrowse;
    FModified = false;
    FTable->ClearChanged();
    GoToRecord(recNo);
}

void TDbfDataSet::Cancel()
{
    CheckActive();
    if (FState != dsEdit && FState != dsInsert)
        return;
    DoCancel();
    Notify(deStateChange);
    Notify(deDataSetChange);
}

void TDbfDataSet::DoCancel()
{
    TDataSetState was = FState;
    FState = dsBrowse;
    FModified = false;
    if (was == dsEdit && FTable->Shared())
        FTable->UnlockRecord(FCurrent);
    std::uint32_t back = was == dsInsert ? FBeforeInsert : FCurrent;
    bool eof = FEof, bof = FBof;
    if (back != 0 && back <= FTable->RecordCount()) {
        GoToRecord(back);
        FEof = eof;
        FBof = bof;
    } else
        DoFirst();
    FTable->ClearChanged();
}

void TDbfDataSet::Delete()
{
    CheckActive();
    if (FState == dsInsert) {
        Cancel();
        return;
    }
    if (FEmpty)
        Fail("Cannot perform this operation on an empty dataset");
    if (FReadOnly)
        Fail("Cannot modify a read-only dataset");
    if (FState == dsEdit)
        DoCancel();
    std::uint32_t recNo = FCurrent;
    if (FTable->Shared() && !FTable->LockRecord(recNo))
        Fail("Record is locked by another user");
    try {
        GoToRecord(recNo);
        FTable->DeleteRecord();
    } catch (const EEngineError &) {
        if (FTable->Shared())
            FTable->UnlockRecord(recNo);
        GoToRecord(recNo);
        Fail("Cannot delete the record");
    }
    if (FTable->Shared())
        FTable->UnlockRecord(recNo);
    // The tag still holds the record's keys, so stepping from it finds its neighbours.
    GoToRecord(recNo);
    if (SeekVisible(true, false)) {
        FEof = FBof = false;
    } else {
        GoToRecord(recNo);
        if (SeekVisible(false, false)) {
            FBof = false;
            FEof = true;
        } else
            SetEmpty();
    }
    if (AfterDelete)
        AfterDelete(*this);
    Notify(deDataSetChange);
}

// ---------------------------------------------------------------------------------------
// Filtering

void TDbfDataSet::ApplyFilter(bool force)
{
    Impl &impl = *FImpl;
    std::string text = FFilter;
    if (Trim(text).empty()) {
        impl.bitmapOn = false;
        return;
    }
    if (!force && impl.filter && impl.filterText == text && impl.filterOptions == FFilterOptions) {
        impl.bitmapOn = true;
        return;
    }
    auto handler = std::make_unique<TExpHandler>(FTable.get());
    handler->CaseInsensitive = (FFilterOptions & foCaseInsensitive) != 0;
    handler->Wildcard = (FFilterOptions & foNoPartialCompare) == 0;
    handler->Compile(text);
    if (handler->StaticType() != TExpType::Logical)
        Fail("Filter expression must return boolean result");
    std::uint32_t total = FTable->RecordCount();
    std::vector<char> bits(total + 1, 0);
    std::vector<char> record(size_t(FTable->RecordLength()) + 1);
    bool cache = FTable->ReadCache();
    FTable->SetReadCache(true);
    try {
        for (std::uint32_t n = 1; n <= total; ++n) {
            FTable->ReadRecordInto(n, record.data());
            bits[n] = handler->Matches(record.data()) ? 1 : 0;
        }
    } catch (...) {
        FTable->SetReadCache(cache);
        throw;
    }
    FTable->SetReadCache(cache);
    impl.filter = std::move(handler);
    impl.filterText = text;
    impl.filterOptions = FFilterOptions;
    impl.bits = std::move(bits);
    impl.bitmapOn = true;
}

bool TDbfDataSet::FilterBit(std::uint32_t recNo)
{
    Impl &impl = *FImpl;
    if (recNo >= impl.bits.size()) {
        // Appended since the snapshot by another writer: judged when first met.
        impl.bits.resize(recNo + 1, 0);
        impl.bits[recNo] = impl.filter->Matches(FTable->RecordView()) ? 1 : 0;
    }
    return impl.bits[recNo] != 0;
}

void TDbfDataSet::UpdateFilterBit(std::uint32_t recNo)
{
    Impl &impl = *FImpl;
    if (!impl.filter || recNo == 0)
        return;
    if (recNo >= impl.bits.size())
        impl.bits.resize(recNo + 1, 0);
    impl.bits[recNo] = impl.filter->Matches(FTable->RecordView()) ? 1 : 0;
}

void TDbfDataSet::SetFilter(const std::string &text)
{
    if (!Active() || !FFiltered) {
        FFilter = text;
        return;
    }
    CheckActive();
    CheckBrowseMode();
    std::string old = FFilter;
    FFilter = text;
    try {
        ApplyFilter(false);
    } catch (...) {
        FFilter = old;
        throw;
    }
    DoFirst();
    Notify(deDataSetChange);
}

void TDbfDataSet::SetFiltered(bool value)
{
    if (!Active()) {
        FFiltered = value;
        return;
    }
    CheckActive();
    CheckBrowseMode();
    if (value != FFiltered) {
        if (value)
            ApplyFilter(false);
        else
            FImpl->bitmapOn = false;
        FFiltered = value;
    }
    DoFirst();
    Notify(deDataSetChange);
}

void TDbfDataSet::SetFilterOptions(TFilterOptions options)
{
    if (options == FFilterOptions)
        return;
    FFilterOptions = options;
    if (Active() && FFiltered) {
        CheckActive();
        CheckBrowseMode();
        ApplyFilter(false);
        DoFirst();
        Notify(deDataSetChange);
    }
}

TFilterState TDbfDataSet::SaveFilterState() const
{
    return TFilterState{FFilter, FFiltered, FFilterOptions, OnFilterRecord};
}

void TDbfDataSet::RestoreFilterState(const TFilterState &state)
{
    std::exception_ptr settling;
    if (Active()) {
        try {
            CheckBrowseMode();
        } catch (...) {
            settling = std::current_exception();
            try {
                Cancel();
            } catch (...) {
                // The failure that matters is the one raised below.
            }
        }
    }
    OnFilterRecord = state.onFilterRecord;
    FFilter = state.filter;
    FFilterOptions = state.options;
    FFiltered = state.filtered;
    if (Active()) {
        if (FFiltered) {
            try {
                ApplyFilter(false);
            } catch (...) {
                FImpl->bitmapOn = false;
                if (!settling)
                    settling = std::current_exception();
            }
        } else {
            FImpl->bitmapOn = false;
        }
        DoFirst();
        Notify(deDataSetChange);
    }
    if (settling)
        std::rethrow_exception(settling);
}

// ---------------------------------------------------------------------------------------
// Locating

bool TDbfDataSet::MatchField(const TField &field, const std::string &value, TLocateOptions options) const
{
    const TDbfTable &t = *FTable;
    int ord = field.FOrdinal;
    switch (field.FLetter) {
    case 'C': {
        std::string stored = TrimRight(t.GetString(ord));
        std::string wanted = value;
        if (options & loCaseInsensitive) {
            stored = UpperCp1251(stored);
            wanted = UpperCp1251(wanted);
        }
        if (options & loPartialKey)
            return stored.compare(0, wanted.size(), wanted) == 0;
        return stored == TrimRight(wanted);
    }
    case 'N':
    case 'F':
    case 'I': {
        double wanted = 0;
        if (!ParseFloat(value, wanted))
            return false;
        try {
            return t.GetNumber(ord) == wanted;
        } catch (const EEngineError &) {
            return false; // unreadable number: not this record
        }
    }
    case 'D': {
        std::int32_t wanted = 0;
        if (!ParseDate(value, wanted))
            return false;
        auto d = t.GetDate(ord);
        return d && *d == wanted;
    }
    case 'L': {
        bool wanted = !value.empty() && std::strchr("TtYyJj", value[0]) != nullptr;
        return t.GetLogical(ord) == wanted;
    }
    default: return false;
    }
}

bool TDbfDataSet::Locate(const std::string &fieldName, const std::string &value, TLocateOptions options)
{
    CheckActive();
    CheckBrowseMode();
    SyncShared();
    if (FTable->RecordCount() == 0 || FEmpty)
        return false;
    std::uint32_t before = FCurrent;
    bool eof = FEof, bof = FBof;
    TField *field = FindField(fieldName);

    TCdxTag *byTag = nullptr;
    if (field && !(options & loCaseInsensitive)) {
        std::string wanted = AsciiUpper(Trim(fieldName));
        for (const auto &file : FImpl->indexes) {
            for (int i = 0; i < file->TagCount() && !byTag; ++i) {
                TCdxTag *tag = file->Tag(i);
                if (!tag->HasFor() && AsciiUpper(Trim(tag->KeyExpression())) == wanted)
                    byTag = tag;
            }
            if (byTag)
                break;
        }
    }

    bool found = false;
    if (byTag) {
        // The tag becomes the order for the search, then the previous one comes back by name.
        std::string previous = AsciiUpper(Trim(FIndexName));
        FImpl->tag = byTag;
        FTable->SetReadCache(false);
        bool partial = (options & loPartialKey) != 0;
        double number = 0;
        bool numeric = field->DataType() != ftString && field->DataType() != ftDate &&
                       field->DataType() != ftBoolean;
        // A value that is not a number matches no numeric key.
        std::uint32_t recNo = numeric && !ParseFloat(value, number) ? 0 : byTag->Find(value, partial);
        while (recNo != 0) {
            if (recNo > FTable->RecordCount())
                throw EDbfError(DbfErr::BeyondEof, 0, FTable->FileName());
            FTable->GetRecord(int(recNo));
            if (IsVisible()) {
                found = true;
                FCurrent = recNo;
                break;
            }
            recNo = byTag->Next();
            if (recNo != 0 && !byTag->CurrentMatches(value, partial))
                recNo = 0;
        }
        if (!found)
            FCurrent = before;
        FIndexName = previous;
        ApplyIndexName(true);
    } else if (field) {
        // Physical order, whatever tag is active; the tag is re-synchronised afterwards.
        std::uint32_t total = FTable->RecordCount();
        bool cache = FTable->ReadCache();
        FTable->SetReadCache(true);
        for (std::uint32_t n = 1; n <= total && !found; ++n) {
            FTable->GetRecord(int(n));
            if (IsVisible() && MatchField(*field, value, options)) {
                found = true;
                FCurrent = n;
            }
        }
        FTable->SetReadCache(cache);
        GoToRecord(found ? FCurrent : before);
    } else {
        GoToRecord(before);
    }
    if (!found) {
        FEof = eof;
        FBof = bof;
        return false;
    }
    FEof = FBof = false;
    Notify(deDataSetChange);
    Notify(deScroll);
    return true;
}

// ---------------------------------------------------------------------------------------
// Bookmarks

TBookmark TDbfDataSet::GetBookmark() const
{
    return TBookmark{Active() ? FCurrent : 0};
}

bool TDbfDataSet::BookmarkValid(const TBookmark &bookmark) const
{
    if (Active() && FTable->Shared())
        FTable->ReadHeader();
    return Active() && bookmark.recNo != 0 && bookmark.recNo <= FTable->RecordCount();
}

void TDbfDataSet::GotoBookmark(const TBookmark &bookmark)
{
    CheckActive();
    CheckBrowseMode();
    if (!BookmarkValid(bookmark))
        Fail("Bookmark is invalid for table " + FTableName);
    GoToRecord(bookmark.recNo);
    Notify(deDataSetChange);
    Notify(deScroll);
}

int TDbfDataSet::CompareBookmarks(const TBookmark &a, const TBookmark &b)
{
    return a.recNo < b.recNo ? -1 : (a.recNo > b.recNo ? 1 : 0);
}

// ---------------------------------------------------------------------------------------
// Building a tag, copying, flushing

void TDbfDataSet::IndexOn(const std::string &file, const std::string &tag, const std::string &key,
                          const std::string &forExpression, TIndexUnique unique, TSortStatus order)
{
    IndexOn(file, {TCdxTagSpec{tag, key, unique == iuUnique, order == ssAscending, forExpression}});
}

void TDbfDataSet::IndexOn(const std::string &file, const std::vector<TCdxTagSpec> &tags)
{
    CheckActive();
    CheckBrowseMode();
    FBusy = bzIndexing;
    struct Idle
    {
        TDbfDataSet *ds;
        ~Idle() { ds->FBusy = bzNone; }
    } idle{this};
    CloseIndexFiles();
    FTable->SetReadCache(true);
    {
        TCdxFile cdx(*FTable);
        cdx.Open(WithDirectory(FDatabaseName, Trim(file)), true, FTable->Shared(), FTable->ReadWrite());
        try {
            cdx.AddTags(tags);
        } catch (...) {
            try {
                cdx.Close();
            } catch (...) {
            }
            throw;
        }
        cdx.Close();
    }
    FBusy = bzNone;
    // The listed files come back, so that every write keeps their tags in step.
    if (!FIndexFiles.empty()) {
        OpenIndexFiles();
        ApplyIndexName(false);
    } else
        DoFirst();
    Notify(deDataSetChange);
}

void TDbfDataSet::CopyTo(const std::string &file, const std::string &key)
{
    CheckActive();
    CheckBrowseMode();
    TCdxTag *range = nullptr;
    if (!key.empty()) {
        range = FImpl->tag;
        if (!range)
            Fail("A key range needs an active index tag");
    }
    FBusy = bzCopying;
    struct Idle
    {
        TDbfDataSet *ds;
        ~Idle() { ds->FBusy = bzNone; }
    } idle{this};
    std::string dest = WithDirectory(FDatabaseName, Trim(file));
    FTable->CopyTable(dest, [&](bool first) -> std::uint32_t {
        if (!range)
            return SeekVisible(true, first) ? FCurrent : 0;
        // Records whose key begins with the given key, in tag order.
        auto step = [&]() -> std::uint32_t {
            std::uint32_t n = range->Next();
            return n != 0 && range->CurrentMatches(key, true) ? n : 0;
        };
        for (std::uint32_t n = first ? range->Find(key, true) : step(); n != 0; n = step()) {
            if (n > FTable->RecordCount())
                throw EDbfError(DbfErr::BeyondEof, 0, FTable->FileName());
            FTable->GetRecord(int(n));
            if (IsVisible())
                return FCurrent = n;
        }
        return 0;
    });
    FBusy = bzNone;
    DoFirst();
    Notify(deDataSetChange);
}

void TDbfDataSet::FlushDBF()
{
    CheckActive();
    CheckBrowseMode();
    FTable->Flush();
}

TCdxFile *TDbfDataSet::IndexFile(int index) const
{
    return FImpl->indexes.at(size_t(index)).get();
}

int TDbfDataSet::IndexFileCount() const
{
    return int(FImpl->indexes.size());
}

TCdxTag *TDbfDataSet::ActiveTag() const
{
    return FImpl->tag;
}
