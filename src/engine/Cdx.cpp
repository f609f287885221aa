// Compound index file and tags. Every page read is checked before use; any damage the tree
// or the codecs find becomes engine error 2112 naming the file and what was wrong, so a
// caller can drop the file and rebuild it.
#include "engine/Cdx.h"

#include "engine/Strings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <set>

namespace {

std::string BaseOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

constexpr int DirectoryKeyLength = 10;
constexpr size_t MaxProblems = 40;

} // namespace

// ---------------------------------------------------------------- TCdxTag

TCdxTag::TCdxTag(TCdxFile& file, std::string name, uint32_t headerOffset, TCdxTagHeader header,
                 bool directory)
    : file_(file), name_(std::move(name)), headerOffset_(headerOffset), header_(std::move(header)),
      directory_(directory)
{
    // Only this process changes an exclusive file, so more of its pages may stay decoded.
    if (!file_.disk_.Shared())
        SetNodeCacheLimit(4096);
}

TCdxTag::~TCdxTag() = default;

void TCdxTag::Compile()
{
    char pad = ' ';
    if (!directory_) {
        keyExpr_ = std::make_unique<TExpHandler>(&file_.table_);
        keyExpr_->Compile(header_.KeyExpression);
        if (keyExpr_->IsEmpty())
            Damaged("tag " + name_ + " has no key expression");
        keyType_ = keyExpr_->KeyType();
        pad = keyType_ == 'C' ? ' ' : '\0';
        if (!header_.General && keyExpr_->KeyLength() != header_.KeyLength)
            Damaged("tag " + name_ + " key length " + std::to_string(header_.KeyLength) +
                    " differs from its expression's " + std::to_string(keyExpr_->KeyLength()));
        if (!Trim(header_.ForExpression).empty()) {
            forExpr_ = std::make_unique<TExpHandler>(&file_.table_);
            forExpr_->Compile(header_.ForExpression);
        }
    }
    SetKeyFormat(header_.KeyLength, pad, (header_.Options & CdxOptUnique) != 0);
}

uint64_t TCdxTag::RecordLimit() const
{
    return directory_ ? file_.end_ : file_.table_.RecordCount();
}

TIndexNode TCdxTag::ReadNode(uint32_t offset)
{
    std::array<uint8_t, IndexPageSize> page;
    file_.ReadPage(offset, page.data());
    TIndexNode node;
    std::string error;
    if (!CdxDecodePage(page.data(), offset, KeyLength(), PadByte(), node, &error))
        Damaged(error);
    return node;
}

void TCdxTag::WriteNode(const TIndexNode& given)
{
    TIndexNode node = given;
    node.Root = node.Offset == header_.Root;
    std::array<uint8_t, IndexPageSize> page;
    if (node.Leaf) {
        if (!CdxEncodeLeaf(node, KeyLength(), PadByte(), RecordLimit(), page.data()))
            Damaged("leaf overflow at " + std::to_string(node.Offset));
    } else {
        CdxEncodeInterior(node, KeyLength(), PadByte(), page.data());
    }
    file_.WritePage(node.Offset, page.data());
}

uint32_t TCdxTag::AllocPage()
{
    return file_.AllocPage();
}

void TCdxTag::SetSibling(uint32_t offset, bool right, uint32_t sibling)
{
    std::array<uint8_t, IndexPageSize> page;
    file_.ReadPage(offset, page.data());
    uint8_t* p = page.data() + (right ? 8 : 4);
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(sibling >> (8 * i));
    file_.WritePage(offset, page.data());
}

bool TCdxTag::NodeFits(const TIndexNode& node)
{
    if (!node.Leaf)
        return int(node.Keys.size()) <= CdxInteriorMax(KeyLength());
    uint64_t limit = RecordLimit();
    for (const TIndexKey& k : node.Keys)
        limit = std::max<uint64_t>(limit, k.RecNo);
    TCdxLeafParams p = CdxLeafParams(KeyLength(), limit);
    return CdxLeafUsed(node, node.Keys.size(), p.N, PadByte()) <= size_t(CdxKeyArea);
}

size_t TCdxTag::LeafSplitCount(const TIndexNode& node)
{
    uint64_t limit = RecordLimit();
    for (const TIndexKey& k : node.Keys)
        limit = std::max<uint64_t>(limit, k.RecNo);
    TCdxLeafParams p = CdxLeafParams(KeyLength(), limit);
    size_t k = 0, used = 0;
    while (k < node.Keys.size()) {
        const std::string& key = node.Keys[k].Key;
        int trail = CdxTrailCount(key, PadByte());
        int dup = k == 0 ? 0 : CdxDupCount(node.Keys[k - 1].Key, key, trail);
        used += size_t(p.N) + key.size() - size_t(trail) - size_t(dup);
        if (used >= 250)
            break;
        ++k;
    }
    return k;
}

void TCdxTag::Damaged(const std::string& why)
{
    file_.Damaged(why);
}

uint32_t TCdxTag::First() { return Descending() ? TreeLast() : TreeFirst(); }
uint32_t TCdxTag::Last() { return Descending() ? TreeFirst() : TreeLast(); }
uint32_t TCdxTag::Next() { return Descending() ? TreePrior() : TreeNext(); }
uint32_t TCdxTag::Prior() { return Descending() ? TreeNext() : TreePrior(); }

std::string TCdxTag::CurrentKey() const
{
    const TIndexKey* e = CurrentEntry();
    return e ? e->Key : std::string();
}

std::string TCdxTag::SearchKey(const std::string& value) const
{
    std::string key;
    if (keyType_ == 'C') {
        key = value.substr(0, size_t(KeyLength()));
    } else {
        std::string text = Trim(value);
        double number = 0;
        bool digits8 = text.size() == 8 && std::all_of(text.begin(), text.end(), [](char c) {
            return c >= '0' && c <= '9';
        });
        if (keyType_ == 'D' && digits8) {
            number = DbfDateToJulian(std::atoi(text.substr(0, 4).c_str()),
                                     std::atoi(text.substr(4, 2).c_str()),
                                     std::atoi(text.substr(6, 2).c_str()));
        } else {
            char* end = nullptr;
            number = std::strtod(text.c_str(), &end);
            if (text.empty() || end == text.c_str() || *end != '\0')
                return std::string();
        }
        key = TExpHandler::EncodeNumericKey(number);
    }
    return StripKey(key);
}

uint32_t TCdxTag::Find(const std::string& value, bool partial)
{
    std::string key = SearchKey(value);
    if (key.empty() && keyType_ != 'C') {
        Unposition();
        return 0;
    }
    return FindKey(key, partial);
}

uint32_t TCdxTag::FindKey(const std::string& key, bool partial)
{
    std::string search = StripKey(key);
    if (SeekKey(search) == 0)
        return 0;
    const TIndexKey* e = CurrentEntry();
    std::string found = StripKey(e->Key);
    bool match = partial ? found.compare(0, search.size(), search) == 0 : found == search;
    return match ? e->RecNo : 0;
}

bool TCdxTag::CurrentMatches(const std::string& value, bool partial) const
{
    const TIndexKey* e = CurrentEntry();
    if (!e)
        return false;
    std::string search = SearchKey(value);
    if (search.empty() && keyType_ != 'C')
        return false;
    std::string found = StripKey(e->Key);
    return partial ? found.compare(0, search.size(), search) == 0 : found == search;
}

std::string TCdxTag::RecordKey(const char* record)
{
    std::string key;
    RecordKeyInto(record, key);
    return key;
}

void TCdxTag::RecordKeyInto(const char* record, std::string& key)
{
    if (!keyExpr_) {
        key.clear();
        return;
    }
    // Written in place at the key length: a plain field's key needs no value in between.
    key.resize(size_t(KeyLength()));
    keyExpr_->KeyInto(record ? record : file_.table_.RecordView(), key.data(), KeyLength(), PadByte());
}

bool TCdxTag::Admits(const char* record)
{
    return !forExpr_ || forExpr_->Matches(record);
}

bool TCdxTag::GoToRecord(uint32_t recNo)
{
    std::vector<char> buf(size_t(file_.table_.RecordLength()) + 1);
    file_.table_.ReadRecordInto(recNo, buf.data());
    std::string key = RecordKey(buf.data());
    return SeekEntry(key, recNo) && Admits(buf.data());
}

bool TCdxTag::ForEachRecord(const std::function<bool(uint32_t)>& each)
{
    Unposition();
    // A tag's pages mostly lie one after another (a build writes them in order), so they are
    // read in runs of this many pages.
    constexpr size_t RunPages = 64;
    std::vector<uint8_t> run(RunPages * IndexPageSize);
    uint64_t runAt = 0, runEnd = 0;
    auto page = [&](uint32_t offset) -> const uint8_t* {
        if (offset < IndexPageSize || offset % IndexPageSize != 0 || uint64_t(offset) + IndexPageSize > file_.end_)
            Damaged("page offset " + std::to_string(offset));
        if (offset < runAt || uint64_t(offset) + IndexPageSize > runEnd) {
            size_t n = size_t(std::min<uint64_t>(run.size(), file_.end_ - offset));
            file_.ReadBlock(offset, run.data(), n);
            runAt = offset;
            runEnd = offset + n;
        }
        return run.data() + (offset - runAt);
    };
    // Depth first from the root; every page is visited once, so a cycle ends the walk.
    const uint64_t pageLimit = file_.end_ / IndexPageSize;
    uint64_t visited = 0;
    struct Pending {
        std::vector<uint32_t> children;  // still to visit, last first
    };
    std::vector<Pending> stack;
    std::vector<uint32_t> next{header_.Root};
    TIndexNode node;
    std::string error;
    for (;;) {
        while (!next.empty()) {
            uint32_t at = next.back();
            next.pop_back();
            if (++visited > pageLimit || stack.size() > 64)
                Damaged("tag " + name_ + " has more pages than its file");
            if (!CdxDecodePage(page(at), at, KeyLength(), PadByte(), node, &error))
                Damaged(error);
            if (node.Leaf) {
                for (const TIndexKey& k : node.Keys)
                    if (!each(k.RecNo))
                        return false;
                continue;
            }
            stack.push_back(Pending{std::move(next)});
            next.clear();
            for (auto k = node.Keys.rbegin(); k != node.Keys.rend(); ++k)
                next.push_back(k->Child);
        }
        if (stack.empty())
            return true;
        next = std::move(stack.back().children);
        stack.pop_back();
    }
}

void TCdxTag::UpdateRecord(uint32_t recNo, bool appended)
{
    TDbfTable& table = file_.table_;
    const char* now = table.RecordBuffer();
    bool nowIn = Admits(now);
    std::string nowKey = RecordKey(now);
    if (appended) {
        if (nowIn)
            KeyAdd(nowKey, recNo);
        return;
    }
    const char* before = table.OldBuffer();
    bool beforeIn = Admits(before);
    std::string beforeKey = RecordKey(before);
    if (beforeIn == nowIn && beforeKey == nowKey) {
        if (nowIn && !Contains(nowKey, recNo))
            KeyAdd(nowKey, recNo);
        return;
    }
    if (beforeIn)
        KeyDelete(beforeKey, recNo);
    if (nowIn)
        KeyAdd(nowKey, recNo);
}

// ---------------------------------------------------------------- TCdxFile

TCdxFile::TCdxFile(TDbfTable& table) : table_(table) {}

TCdxFile::~TCdxFile()
{
    try {
        Shut(true);
    } catch (...) {
    }
}

std::string TCdxFile::ResolveName(const std::string& given) const
{
    std::string name = Trim(given);
    size_t slash = name.find_last_of('/');
    std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    if (file.find('.') == std::string::npos)
        name += ".cdx";
    if (slash == std::string::npos) {
        const std::string& table = table_.FileName();
        size_t tslash = table.find_last_of('/');
        if (tslash != std::string::npos)
            name = table.substr(0, tslash + 1) + name;
    }
    return name;
}

void TCdxFile::Damaged(const std::string& why) const
{
    throw EDbfError(2112, 0, fileName_ + ": " + why);
}

void TCdxFile::Open(const std::string& name, bool create, bool shared, bool readWrite)
{
    Shut(true);
    fileName_ = ResolveName(name);
    olderThanTable_ = false;
    try {
        // The open itself finds the file (case-insensitively, when need be): no lookup first.
        bool missing = false;
        try {
            disk_.Open(fileName_, readWrite, shared);
        } catch (const EDbfError& e) {
            if (e.code() != DbfErr::FileNotFound && e.code() != DbfErr::PathNotFound)
                throw;
            missing = true;
        }
        if (missing) {
            if (!create)
                throw EDbfError(DbfErr::FileNotFound, DbfErr::OpOpen, fileName_);
            disk_.Create(fileName_, shared);
            readWrite_ = true;
            end_ = 0;
            NewDirectory();
        } else {
            fileName_ = disk_.Path();
            readWrite_ = readWrite;
            // Only read, and nobody else may change it: pages are copied from the file's own
            // memory rather than read with a call each.
            if (!readWrite && !disk_.Shared())
                disk_.MapForReading();
            if (table_.IsOpen())
                olderThanTable_ = disk_.ModificationTime() < table_.Disk().ModificationTime();
            uint64_t size = disk_.Size();
            end_ = (size + IndexPageSize - 1) / IndexPageSize * IndexPageSize;
            if (size <= IndexPageSize) {
                if (!readWrite_)
                    Damaged("too short for an index");
                disk_.Truncate(0);
                end_ = 0;
                NewDirectory();
            } else {
                LoadDirectory();
            }
        }
    } catch (...) {
        Shut(false);
        throw;
    }
    if (table_.ReadWrite() && (table_.TableFlags() & 1) == 0 &&
        AsciiUpper(BaseOf(fileName_)) == AsciiUpper(table_.BaseName())) {
        table_.MarkProductionIndex();
        Touch();  // the table's header was just written
    }
    table_.AttachIndex(this);
    attached_ = true;
}

void TCdxFile::NewDirectory()
{
    std::array<uint8_t, 1024> zero{};
    uint32_t at = AllocPage();
    AllocPage();
    disk_.Write(at, zero.data(), zero.size());
    dirHeader_ = TCdxTagHeader();
    dirHeader_.Root = AllocPage();
    dirHeader_.KeyLength = DirectoryKeyLength;
    dirHeader_.Options = CdxOptCompact | CdxOptCompound | CdxOptDirectory;
    dirHeader_.HasKeyExpression = false;
    dir_.reset(new TCdxTag(*this, std::string(), 0, dirHeader_, true));
    dir_->Compile();
    TIndexNode root;
    root.Offset = dirHeader_.Root;
    root.Root = true;
    dir_->WriteNode(root);
    dirHeaderDirty_ = true;
    WriteDirectoryHeader();
}

void TCdxFile::ReadBlock(uint32_t offset, uint8_t* buf, size_t n)
{
    if (offset % IndexPageSize != 0 || uint64_t(offset) + n > end_)
        Damaged("block at " + std::to_string(offset) + " outside the file");
    std::memset(buf, 0, n);
    try {
        disk_.Read(offset, buf, n);
    } catch (const EDbfError& e) {
        Damaged(e.what());
    }
}

void TCdxFile::ReadPage(uint32_t offset, uint8_t* page)
{
    if (offset < IndexPageSize)
        Damaged("page offset " + std::to_string(offset));
    ReadBlock(offset, page, IndexPageSize);
}

void TCdxFile::WritePage(uint32_t offset, const uint8_t* page)
{
    if (!readWrite_)
        throw EDbfError(DbfErr::AccessDenied, DbfErr::OpWrite, fileName_);
    disk_.Write(offset, page, IndexPageSize);
}

void TCdxFile::WritePages(uint32_t offset, const uint8_t* pages, size_t count)
{
    if (!readWrite_)
        throw EDbfError(DbfErr::AccessDenied, DbfErr::OpWrite, fileName_);
    disk_.Write(offset, pages, count * IndexPageSize);
}

uint32_t TCdxFile::AllocPage()
{
    uint32_t at = uint32_t(end_);
    end_ += IndexPageSize;
    return at;
}

void TCdxFile::LoadDirectory()
{
    std::array<uint8_t, 1024> buf;
    ReadBlock(0, buf.data(), buf.size());
    std::string error;
    if (!CdxDecodeHeader(buf.data(), dirHeader_, &error))
        Damaged("directory header: " + error);
    if (uint64_t(dirHeader_.Root) + IndexPageSize > end_)
        Damaged("directory root outside the file");
    dir_.reset(new TCdxTag(*this, std::string(), 0, dirHeader_, true));
    dir_->Compile();
    struct DirEntry {
        std::string name, key;
        uint32_t at;
    };
    std::vector<DirEntry> entries;
    for (uint32_t at = dir_->TreeFirst(); !dir_->TreeEof(); at = dir_->TreeNext()) {
        std::string name = dir_->CurrentEntry()->Key;
        while (!name.empty() && (name.back() == ' ' || name.back() == '\0'))
            name.pop_back();  // some writers pad names with zero bytes
        entries.push_back(DirEntry{name, dir_->CurrentEntry()->Key, at});
    }
    dir_->Unposition();
    for (const auto& [name, dirKey, at] : entries) {
        if (at < IndexPageSize || at % IndexPageSize != 0 || uint64_t(at) + 1024 > end_)
            Damaged("tag " + name + " header at " + std::to_string(at));
        ReadBlock(at, buf.data(), buf.size());
        TCdxTagHeader header;
        if (!CdxDecodeHeader(buf.data(), header, &error))
            Damaged("tag " + name + " header: " + error);
        if (uint64_t(header.Root) + IndexPageSize > end_ || header.Root < IndexPageSize)
            Damaged("tag " + name + " root outside the file");
        if (header.General && readWrite_)
            Damaged("tag " + name + " uses general collation, which cannot be maintained here");
        std::unique_ptr<TCdxTag> tag(new TCdxTag(*this, name, at, header, false));
        tag->dirKey_ = dirKey;
        try {
            tag->Compile();
        } catch (const EDbfError& e) {
            if (e.code() == 2112)
                throw;
            Damaged("tag " + name + ": " + e.what());
        } catch (const EEngineError& e) {
            Damaged("tag " + name + ": " + e.what());
        }
        tags_.push_back(std::move(tag));
    }
}

void TCdxFile::WriteDirectoryHeader()
{
    if (!dirHeaderDirty_ || !readWrite_ || !disk_.IsOpen())
        return;
    std::array<uint8_t, 1024> buf;
    CdxEncodeHeader(dirHeader_, buf.data());
    disk_.Write(0, buf.data(), buf.size());
    dirHeaderDirty_ = false;
}

void TCdxFile::SortTags()
{
    std::stable_sort(tags_.begin(), tags_.end(), [](const auto& a, const auto& b) {
        return IndexCompareKeys(a->Name(), b->Name(), ' ') < 0;
    });
}

void TCdxFile::Shut(bool detach)
{
    if (disk_.IsOpen()) {
        try {
            // A dirty table header (a flush leaves one) would be written after the index had
            // closed, leaving the index older than its table; it goes first instead. Shared
            // tables re-read their header before writing it and keep that to their close.
            bool tableWritten = false;
            if (readWrite_ && attached_ && table_.IsOpen() && table_.ReadWrite() && !table_.Shared() &&
                table_.HeaderDirty()) {
                table_.WriteHeader();
                tableWritten = !table_.HeaderDirty();
            }
            for (auto& tag : tags_)
                tag->Unposition();
            if (dir_)
                dir_->Unposition();
            WriteDirectoryHeader();
            if (tableWritten)
                Touch();
        } catch (...) {
            tags_.clear();
            dir_.reset();
            disk_.Close();
            if (detach && attached_)
                table_.DetachIndex(this);
            attached_ = false;
            throw;
        }
        disk_.Close();
    }
    tags_.clear();
    dir_.reset();
    dirHeaderDirty_ = false;
    if (detach && attached_)
        table_.DetachIndex(this);
    attached_ = false;
}

void TCdxFile::Touch()
{
    if (!readWrite_ || !disk_.IsOpen())
        return;
    try {
        disk_.Touch();
    } catch (const EEngineError&) {
    }
}

void TCdxFile::Close()
{
    Shut(true);
}

void TCdxFile::CloseIndex()
{
    Shut(false);
}

void TCdxFile::FlushIndex()
{
    if (!disk_.IsOpen())
        return;
    WriteDirectoryHeader();
    if (readWrite_)
        disk_.Flush();
}

TCdxTag* TCdxFile::TagByName(const std::string& name)
{
    std::string wanted = AsciiUpper(Trim(name)).substr(0, DirectoryKeyLength);
    for (auto& tag : tags_) {
        if (AsciiUpper(tag->Name()) == wanted)
            return tag.get();
    }
    return nullptr;
}

TCdxTag* TCdxFile::AddTag(const std::string& givenName, const std::string& keyExpression,
                          bool unique, bool ascending, const std::string& forExpression)
{
    return AddTags({TCdxTagSpec{givenName, keyExpression, unique, ascending, forExpression}}).front();
}

std::vector<TCdxTag*> TCdxFile::AddTags(const std::vector<TCdxTagSpec>& specs)
{
    if (!disk_.IsOpen())
        throw EDbfError(103, 0, fileName_);
    if (!readWrite_)
        throw EDbfError(DbfErr::AccessDenied, DbfErr::OpWrite, fileName_);

    struct Build {
        std::string name;
        std::string dirKey;
        TCdxTagHeader header;
        std::unique_ptr<TExpHandler> key;
        std::unique_ptr<TExpHandler> forCond;
        int keyLength;
        char pad;
        std::unique_ptr<TCdxSorter> sorter;
    };
    std::vector<Build> builds;
    uint32_t count = table_.RecordCount();
    for (const TCdxTagSpec& spec : specs) {
        Build b;
        b.name = AsciiUpper(Trim(spec.Name)).substr(0, DirectoryKeyLength);
        if (b.name.empty())
            throw EDbfError(5117, 5114, "Tag Field is Empty");

        // Compile first: a bad expression leaves the file as it was.
        b.key = std::make_unique<TExpHandler>(&table_);
        b.key->Compile(spec.KeyExpression);
        if (b.key->IsEmpty())
            throw EDbfExpression("Expression cannot be evaluated");
        // The handler caps lengths at the format's limit; a longer text must be refused, not cut.
        b.keyLength = b.key->KeyType() == 'C' ? int(b.key->Evaluate().text.size()) : b.key->KeyLength();
        if (b.keyLength < 1 || b.keyLength > CdxMaxKeyLength)
            throw EDbfError(2112, 0, fileName_ + ": key length " + std::to_string(b.keyLength));
        if (!Trim(spec.ForExpression).empty()) {
            b.forCond = std::make_unique<TExpHandler>(&table_);
            b.forCond->Compile(spec.ForExpression);
        }

        b.dirKey = dir_->PadKey(b.name);

        b.header.KeyLength = uint16_t(b.keyLength);
        b.header.Options = CdxOptCompact | CdxOptCompound | (spec.Unique ? CdxOptUnique : 0) |
                           (b.forCond ? CdxOptFor : 0);
        b.header.Descending = !spec.Ascending;
        b.header.KeyExpression = Trim(spec.KeyExpression);
        b.header.ForExpression = b.forCond ? Trim(spec.ForExpression) : std::string();

        b.pad = b.key->KeyType() == 'C' ? ' ' : '\0';
        b.sorter = std::make_unique<TCdxSorter>(b.keyLength, b.pad, spec.Unique);
        b.sorter->Reserve(b.forCond ? 0 : count);
        builds.push_back(std::move(b));
    }

    // The table is read once for all the tags, in runs of records into one small buffer that
    // stays in the processor's cache rather than into fresh memory of the table's size.
    const size_t length = size_t(table_.RecordLength());
    const uint32_t per = uint32_t(std::max<size_t>(1, (size_t(256) << 10) / std::max<size_t>(1, length)));
    std::vector<char> run(size_t(per) * length + 1);
    for (uint32_t first = 1; first <= count && !builds.empty(); first += per) {
        const uint32_t n = std::min(per, count - first + 1);
        table_.ReadRecordRun(first, n, run.data());
        for (Build& b : builds) {
            for (uint32_t i = 0; i < n; ++i) {
                const char* at = run.data() + size_t(i) * length;
                if (b.forCond && !b.forCond->Matches(at))
                    continue;
                b.key->KeyInto(at, b.sorter->NextKey(), b.keyLength, b.pad);
                b.sorter->Commit(first + i);
            }
        }
    }

    // Every key of every tag is known: only now does the file grow, so a record whose key
    // cannot be computed leaves it as it was. The tags are written one after the other, each
    // as a build of it alone would write it.
    std::vector<TCdxTag*> result;
    for (Build& b : builds) {
        uint32_t headerAt = AllocPage();
        AllocPage();
        std::array<uint8_t, 1024> buf{};
        b.header.Root = b.sorter->Write(*this, count);
        b.sorter.reset();
        CdxEncodeHeader(b.header, buf.data());
        disk_.Write(headerAt, buf.data(), buf.size());

        // A tag replaces one of its name only once it is built.
        if (TCdxTag* old = TagByName(b.name)) {
            dir_->KeyDelete(old->dirKey_, old->HeaderOffset());
            tags_.erase(std::find_if(tags_.begin(), tags_.end(), [old](const auto& t) { return t.get() == old; }));
        }
        dir_->KeyAdd(b.dirKey, headerAt);
        dirHeaderDirty_ = true;
        WriteDirectoryHeader();

        std::unique_ptr<TCdxTag> tag(new TCdxTag(*this, b.name, headerAt, b.header, false));
        tag->dirKey_ = b.dirKey;
        tag->Compile();
        result.push_back(tag.get());
        tags_.push_back(std::move(tag));
        SortTags();
    }
    return result;
}

void TCdxFile::TagUpdate(uint32_t recNo, bool appended)
{
    if (!disk_.IsOpen())
        return;
    if (!readWrite_)
        throw EDbfError(DbfErr::AccessDenied, DbfErr::OpWrite, fileName_);
    for (auto& tag : tags_)
        tag->UpdateRecord(recNo, appended);
    dirHeader_.Counter++;
    dirHeaderDirty_ = true;
}

// ---------------------------------------------------------------- verifier

void TCdxFile::CheckTag(TCdxTag& tag, std::vector<std::string>& problems)
{
    const std::string prefix = tag.directory_ ? "directory: " : "tag " + tag.Name() + ": ";
    size_t before = problems.size();
    auto problem = [&](const std::string& text) {
        if (problems.size() - before < MaxProblems)
            problems.push_back(prefix + text);
    };
    std::set<uint32_t> visited;
    // Per level, left to right: each page's place and sibling pointers.
    struct Links {
        uint32_t Offset, Left, Right;
    };
    std::vector<std::vector<Links>> levels;
    std::vector<TIndexKey> entries;
    int leafDepth = -1;
    // The first leaf entry, counted across every leaf, not above the one before it: the
    // order is checked once per pair, inside a page and at each page boundary.
    size_t firstOutOfOrder = 0;

    std::function<std::optional<TIndexKey>(uint32_t, size_t, const TIndexKey*, const TIndexKey*, bool)> walk;
    walk = [&](uint32_t at, size_t depth, const TIndexKey* lo, const TIndexKey* hi,
               bool isRoot) -> std::optional<TIndexKey> {
        if (depth > 64) {
            problem("tree deeper than 64 levels");
            return std::nullopt;
        }
        if (!visited.insert(at).second) {
            problem("page " + std::to_string(at) + " reached twice");
            return std::nullopt;
        }
        std::array<uint8_t, IndexPageSize> page;
        TIndexNode node;
        TCdxPageInfo info;
        std::string error;
        try {
            ReadPage(at, page.data());
        } catch (const EEngineError& e) {
            problem(e.what());
            return std::nullopt;
        }
        if (!CdxDecodePage(page.data(), at, tag.KeyLength(), tag.PadByte(), node, &error, &info)) {
            problem(error);
            return std::nullopt;
        }
        const std::string where = "page " + std::to_string(at) + ": ";
        if (node.Root != isRoot)
            problem(where + (isRoot ? "root without the root attribute" : "root attribute on a non-root page"));
        if (node.Leaf && firstOutOfOrder == 0 && !entries.empty() && !node.Keys.empty() &&
            tag.CompareEntries(entries.back(), node.Keys.front()) >= 0)
            firstOutOfOrder = entries.size();
        for (size_t i = 1; i < node.Keys.size(); ++i) {
            if (tag.CompareEntries(node.Keys[i - 1], node.Keys[i]) >= 0) {
                problem(where + "entries out of order");
                if (node.Leaf && firstOutOfOrder == 0)
                    firstOutOfOrder = entries.size() + i;
            }
        }
        if (!node.Keys.empty()) {
            if (lo && tag.CompareEntries(node.Keys.front(), *lo) <= 0)
                problem(where + "entry below its parent's range");
            if (hi && tag.CompareEntries(node.Keys.back(), *hi) > 0)
                problem(where + "entry above its parent's entry");
        } else if (!isRoot) {
            problem(where + "empty page in the tree");
        }
        if (levels.size() <= depth)
            levels.resize(depth + 1);
        levels[depth].push_back(Links{node.Offset, node.Left, node.Right});
        std::optional<TIndexKey> greatest;
        if (!node.Keys.empty())
            greatest = node.Keys.back();
        if (node.Leaf) {
            if (leafDepth < 0)
                leafDepth = int(depth);
            else if (leafDepth != int(depth))
                problem(where + "leaf at depth " + std::to_string(depth) + ", others at " + std::to_string(leafDepth));
            if (info.FreeField != info.FreeComputed)
                problem(where + "free bytes " + std::to_string(info.FreeField) + ", should be " +
                        std::to_string(info.FreeComputed));
            entries.insert(entries.end(), std::make_move_iterator(node.Keys.begin()),
                           std::make_move_iterator(node.Keys.end()));
        } else {
            for (size_t i = 0; i < node.Keys.size(); ++i) {
                const TIndexKey* clo = i > 0 ? &node.Keys[i - 1] : lo;
                auto last = walk(node.Keys[i].Child, depth + 1, clo, &node.Keys[i], false);
                if (last && tag.CompareEntries(*last, node.Keys[i]) != 0)
                    problem(where + "entry " + std::to_string(i) + " differs from its child's last entry");
            }
        }
        return greatest;
    };
    walk(tag.RootPage(), 0, nullptr, nullptr, true);

    for (size_t d = 0; d < levels.size(); ++d) {
        const auto& row = levels[d];
        for (size_t i = 0; i < row.size(); ++i) {
            uint32_t left = i > 0 ? row[i - 1].Offset : IndexNoPage;
            uint32_t right = i + 1 < row.size() ? row[i + 1].Offset : IndexNoPage;
            if (row[i].Left != left || row[i].Right != right)
                problem("page " + std::to_string(row[i].Offset) + ": sibling pointers " +
                        std::to_string(int32_t(row[i].Left)) + "/" + std::to_string(int32_t(row[i].Right)) +
                        ", should be " + std::to_string(int32_t(left)) + "/" + std::to_string(int32_t(right)));
        }
    }
    if (firstOutOfOrder != 0)
        problem("leaf entries out of order across pages at entry " + std::to_string(firstOutOfOrder));

    // A tag of the table that admits equal keys lists each admitted record once: its entries
    // are matched to the records by record number, in one pass over the table, without
    // sorting either side.
    if (!tag.directory_ && !tag.Unique()) {
        const uint32_t count = table_.RecordCount();
        std::vector<const TIndexKey*> byRecord(size_t(count) + 1, nullptr);
        for (const TIndexKey& e : entries) {
            if (e.RecNo == 0 || e.RecNo > count || byRecord[e.RecNo])
                problem("entry for record " + std::to_string(e.RecNo) + " that should not be there");
            else
                byRecord[e.RecNo] = &e;
        }
        std::vector<char> record(size_t(table_.RecordLength()) + 1);
        std::string key;
        try {
            for (uint32_t n = 1; n <= count; ++n) {
                // The entries lie in key order, the records in their own: what a record is
                // matched with is asked for a few records ahead, the entry and then its key.
                if (n + 8 <= count && byRecord[n + 8])
                    __builtin_prefetch(byRecord[n + 8]);
                if (n + 4 <= count && byRecord[n + 4])
                    __builtin_prefetch(byRecord[n + 4]->Key.data());
                const char* bytes = table_.PeekRecord(n);
                if (!bytes) {
                    table_.ReadRecordInto(n, record.data());
                    bytes = record.data();
                }
                const TIndexKey* listed = byRecord[n];
                if (!tag.Admits(bytes)) {
                    if (listed)
                        problem("entry for record " + std::to_string(n) + " that should not be there");
                    continue;
                }
                tag.RecordKeyInto(bytes, key);
                if (listed && key == listed->Key)
                    continue;  // the common case: stored exactly as the record gives it
                if (!listed) {
                    problem("record " + std::to_string(n) + " missing");
                } else if (tag.CompareKeys(key, listed->Key) != 0) {
                    problem("record " + std::to_string(n) + " missing");
                    problem("entry for record " + std::to_string(n) + " that should not be there");
                } else if (key != listed->Key) {
                    problem("record " + std::to_string(n) + " stored with a differently padded key");
                }
            }
        } catch (const EEngineError& e) {
            problem(std::string("cannot compute keys: ") + e.what());
        }
        return;
    }

    std::vector<TIndexKey> expected;
    if (tag.directory_) {
        for (auto& t : tags_)
            expected.push_back(TIndexKey{t->dirKey_, t->HeaderOffset(), 0});
    } else {
        std::vector<char> record(size_t(table_.RecordLength()) + 1);
        uint32_t count = table_.RecordCount();
        try {
            for (uint32_t n = 1; n <= count; ++n) {
                table_.ReadRecordInto(n, record.data());
                if (tag.Admits(record.data()))
                    expected.push_back(TIndexKey{tag.RecordKey(record.data()), n, 0});
            }
        } catch (const EEngineError& e) {
            problem(std::string("cannot compute keys: ") + e.what());
            return;
        }
    }
    std::stable_sort(expected.begin(), expected.end(), [&](const TIndexKey& a, const TIndexKey& b) {
        return tag.CompareEntries(a, b) < 0;
    });
    if (tag.Unique()) {
        expected.erase(std::unique(expected.begin(), expected.end(), [&](const TIndexKey& a, const TIndexKey& b) {
            return tag.CompareKeys(a.Key, b.Key) == 0;
        }), expected.end());
    }
    std::vector<TIndexKey> actual = entries;
    std::sort(actual.begin(), actual.end(), [&](const TIndexKey& a, const TIndexKey& b) {
        return tag.CompareEntries(a, b) < 0;
    });
    size_t i = 0, j = 0;
    while (i < expected.size() || j < actual.size()) {
        int c = i == expected.size() ? 1 : j == actual.size() ? -1 : tag.CompareEntries(expected[i], actual[j]);
        if (c == 0 && expected[i].Key != actual[j].Key)
            problem("record " + std::to_string(actual[j].RecNo) + " stored with a differently padded key");
        if (c < 0)
            problem("record " + std::to_string(expected[i].RecNo) + " missing");
        else if (c > 0)
            problem("entry for record " + std::to_string(actual[j].RecNo) + " that should not be there");
        if (c <= 0)
            ++i;
        if (c >= 0)
            ++j;
    }
}

std::vector<std::string> TCdxFile::Check()
{
    std::vector<std::string> problems;
    if (!disk_.IsOpen())
        return {"index file not open"};
    CheckTag(*dir_, problems);
    for (auto& tag : tags_)
        CheckTag(*tag, problems);
    return problems;
}

std::vector<std::string> TCdxFile::CheckFile(TDbfTable& table, const std::string& name)
{
    TCdxFile file(table);
    try {
        file.Open(name, false, true, false);
    } catch (const EEngineError& e) {
        return {e.what()};
    }
    auto problems = file.Check();
    file.Close();
    return problems;
}
