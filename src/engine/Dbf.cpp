// TDbfTable and the builders: the dBase file format byte for byte (header, descriptors,
// fixed-length records, 0x1A end mark), field encoding, shared-mode locks, the read cache
// and copying. Every file access goes through TDiskFile.
#include "engine/Dbf.h"

#include "engine/Bytes.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <sys/time.h>

namespace {

char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
std::string upperAscii(std::string s)
{
    for (char& c : s)
        c = upperAscii(c);
    return s;
}

std::string trimBlanks(const std::string& s)
{
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

std::string withDefaultExtension(std::string path)
{
    path = trimBlanks(path);
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        path += ".DBF";
    return path;
}

bool acceptedVersion(uint8_t v) { return v == 0x03 || v == 0x30 || v == 0x83 || v == 0x8B || v == 0xF5; }

// Parses a dBase number: optional blanks, sign, digits with an optional ".", optional
// exponent; nothing else. All blank is 0.
bool parseNumber(std::string_view s, double& out)
{
    size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    size_t e = s.size();
    while (e > i && s[e - 1] == ' ')
        --e;
    s = s.substr(i, e - i);
    if (s.empty()) {
        out = 0;
        return true;
    }
    size_t p = 0;
    bool neg = false;
    if (s[p] == '+' || s[p] == '-') {
        neg = s[p] == '-';
        ++p;
    }
    size_t digits = 0, start = p;
    uint64_t whole = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9')
        whole = whole * 10 + uint64_t(s[p++] - '0'), ++digits;
    if (p == s.size() && digits > 0 && digits <= 15) {
        // Counters and lengths: whole numbers, exact in a double, read without the parser.
        out = neg ? -double(whole) : double(whole);
        return true;
    }
    if (p < s.size() && s[p] == '.') {
        ++p;
        while (p < s.size() && s[p] >= '0' && s[p] <= '9')
            ++p, ++digits;
    }
    if (digits == 0)
        return false;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        size_t q = p + 1;
        if (q < s.size() && (s[q] == '+' || s[q] == '-'))
            ++q;
        size_t expDigits = 0;
        while (q < s.size() && s[q] >= '0' && s[q] <= '9')
            ++q, ++expDigits;
        if (expDigits == 0)
            return false;
        p = q;
    }
    if (p != s.size())
        return false;
    std::string body(s.substr(start));
    if (body[0] == '.')
        body.insert(body.begin(), '0');
    double v = 0;
    auto r = std::from_chars(body.data(), body.data() + body.size(), v);
    if (r.ec != std::errc() && r.ec != std::errc::result_out_of_range)
        return false;
    out = neg ? -v : v;
    return true;
}

std::string formatNumber(double value, int decimals)
{
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc())
        return std::string(400, '*');  // cannot fit any field
    std::string s(buf, r.ptr);
    // A value that rounds to zero carries no sign.
    if (!s.empty() && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    return s;
}

TDbfClock dbfClock = nullptr;

timeval clockNow()
{
    timeval tv{};
    if (dbfClock)
        tv.tv_sec = time_t(dbfClock());
    else
        gettimeofday(&tv, nullptr);
    return tv;
}

uint32_t changeStamp()
{
    timeval tv = clockNow();
    tm t{};
    localtime_r(&tv.tv_sec, &t);
    return ((uint32_t(t.tm_hour) * 64 + uint32_t(t.tm_min)) * 64 + uint32_t(t.tm_sec)) * 1024 + uint32_t(tv.tv_usec / 1000);
}

void today(int& y, int& m, int& d)
{
    time_t now = clockNow().tv_sec;
    tm t{};
    localtime_r(&now, &t);
    y = t.tm_year + 1900;
    m = t.tm_mon + 1;
    d = t.tm_mday;
}

bool parseDateText(const std::string& text, std::optional<int32_t>& out)
{
    std::string s = trimBlanks(text);
    if (DbfIsEmptyDate(s)) {
        out.reset();
        return true;
    }
    auto num = [&](size_t pos, size_t n, int& v) {
        if (pos + n > s.size())
            return false;
        v = 0;
        for (size_t i = pos; i < pos + n; ++i) {
            if (s[i] < '0' || s[i] > '9')
                return false;
            v = v * 10 + (s[i] - '0');
        }
        return true;
    };
    int y, m, d;
    bool ok = false;
    if (s.size() == 8)
        ok = num(0, 4, y) && num(4, 2, m) && num(6, 2, d);
    else if (s.size() == 10 && s[4] == '-' && s[7] == '-')
        ok = num(0, 4, y) && num(5, 2, m) && num(8, 2, d);
    else if (s.size() == 10 && s[2] == '.' && s[5] == '.')
        ok = num(0, 2, d) && num(3, 2, m) && num(6, 4, y);
    if (!ok || !DbfIsValidDate(y, m, d))
        return false;
    out = DbfDateToJulian(y, m, d);
    return true;
}

} // namespace

// ---------------------------------------------------------------- dates

int32_t DbfDateToJulian(int year, int month, int day)
{
    int a = (14 - month) / 12;
    int y = year + 4800 - a;
    int m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void DbfJulianToDate(int32_t julian, int& year, int& month, int& day)
{
    int64_t a = int64_t(julian) + 32044;
    int64_t b = (4 * a + 3) / 146097;
    int64_t c = a - 146097 * b / 4;
    int64_t d = (4 * c + 3) / 1461;
    int64_t e = c - 1461 * d / 4;
    int64_t m = (5 * e + 2) / 153;
    day = int(e - (153 * m + 2) / 5 + 1);
    month = int(m + 3 - 12 * (m / 10));
    year = int(100 * b + d - 4800 + m / 10);
}

bool DbfIsValidDate(int year, int month, int day)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= days[month - 1] + (month == 2 && leap ? 1 : 0);
}

bool DbfIsEmptyDate(std::string_view stored)
{
    return stored.find_first_not_of(std::string_view(" 0\0", 3)) == std::string_view::npos;
}

void DbfSetClock(TDbfClock clock) { dbfClock = clock; }

int32_t DbfToday()
{
    int y, m, d;
    today(y, m, d);
    return DbfDateToJulian(y, m, d);
}

bool TDbfField::Visible() const { return std::string_view("CNFDLITMBGY").find(Type) != std::string_view::npos; }

// ---------------------------------------------------------------- table

TDbfTable::TDbfTable() = default;

TDbfTable::~TDbfTable()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; Close() called explicitly does.
    }
}

bool TDbfTable::IsOpen() const { return disk_.IsOpen(); }
bool TDbfTable::ReadWrite() const { return disk_.ReadWrite(); }
bool TDbfTable::Shared() const { return disk_.Shared(); }

std::string TDbfTable::BaseName() const
{
    std::string name = fileName_;
    if (size_t s = name.rfind('/'); s != std::string::npos)
        name.erase(0, s + 1);
    if (size_t d = name.rfind('.'); d != std::string::npos)
        name.erase(d);
    return name;
}

void TDbfTable::checkOpen() const
{
    if (!disk_.IsOpen())
        throw EDbfError(103, 0, fileName_);
}

void TDbfTable::checkField(int field) const
{
    if (field < 0 || field >= int(fields_.size()))
        throw EDbfError(DbfErr::FieldNameInvalid, 0, fileName_ + "->#" + std::to_string(field));
}

void TDbfTable::Open(const std::string& path, bool readWrite, bool shared)
{
    Close();
    std::string name = withDefaultExtension(path);
    disk_.Open(name, readWrite, shared);
    fileName_ = disk_.Path();
    try {
        auto invalid = [&] { return EDbfError(DbfErr::HeaderInvalid, 0, fileName_); };
        if (disk_.Read(0, header_.data(), 32) != 32)
            throw invalid();
        if (!acceptedVersion(header_[0]))
            throw invalid();
        if (header_[15] != 0)
            throw EDbfError("No Password for encrypted file " + fileName_);
        headerLength_ = Get16(&header_[8]);
        recordLength_ = Get16(&header_[10]);
        int trailer = header_[0] == 0x30 ? 263 : 0;
        if (recordLength_ < 1 || headerLength_ < 33 + trailer)
            throw invalid();
        size_t area = size_t(headerLength_ - 33 - trailer);
        std::vector<uint8_t> desc(area);
        if (area && disk_.Read(32, desc.data(), area) != area)
            throw invalid();
        fields_.clear();
    blank_.clear();
        blank_.clear();
        int offset = 1;
        for (size_t i = 0; i + 32 <= area; i += 32) {
            const uint8_t* d = &desc[i];
            if (d[0] == 0x0D)
                break;  // a writer that left room after its terminator
            TDbfField f;
            size_t n = 0;
            while (n < 11 && d[n] != 0)
                ++n;
            f.Name.assign(reinterpret_cast<const char*>(d), n);
            f.Type = upperAscii(char(d[11]));
            if (f.Type == 'C') {
                f.Length = d[16] + 256 * d[17];
                f.Decimals = 0;
            } else {
                f.Length = d[16];
                f.Decimals = d[17];
            }
            f.Offset = offset;
            f.Ordinal = int(fields_.size());
            offset += f.Length;
            fields_.push_back(std::move(f));
        }
        if (offset > recordLength_)
            throw invalid();
        current_.assign(size_t(recordLength_) + 1, ' ');
        current_[size_t(recordLength_)] = char(DbfEofMark);
        old_.assign(size_t(recordLength_), ' ');
        work_.assign(size_t(recordLength_), ' ');
        changed_.assign(fields_.size(), false);
        lastStamp_ = Get32(&header_[16]);
        recount();
        recNo_ = 0;
        eof_ = bof_ = false;
        headerDirty_ = false;
        tableLocks_ = appendLocks_ = 0;
        recordLocks_.clear();
        cacheOn_ = false;
        cacheFirst_ = cacheCount_ = 0;
        dropBlocks();
        // A table only read, which nobody else may change meanwhile: its records are copied
        // straight from the file's pages, without a block of fresh memory for each 64 KB.
        if (!disk_.ReadWrite() && !disk_.Shared())
            disk_.MapForReading();
    } catch (...) {
        disk_.Close();
        fields_.clear();
    blank_.clear();
        blank_.clear();
        throw;
    }
}

void TDbfTable::recount()
{
    uint64_t size = disk_.Size();
    uint64_t count = size > uint64_t(headerLength_) ? (size - uint64_t(headerLength_)) / uint64_t(recordLength_) : 0;
    recordCount_ = uint32_t(std::min<uint64_t>(count, 0xFFFFFFFFu));
}

void TDbfTable::Close()
{
    if (!disk_.IsOpen())
        return;
    std::exception_ptr failure;
    try {
        writeHeld();
        if (headerDirty_ && disk_.ReadWrite()) {
            if (disk_.Shared())
                ReadHeader();
            tableLocks_ = 0;
            WriteHeader();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    for (TDbfIndexLink* link : std::vector<TDbfIndexLink*>(indexes_)) {
        try {
            link->CloseIndex();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    indexes_.clear();
    if (disk_.Shared()) {
        // The OS handle may outlive this table when another open shares it; locks must not.
        for (auto& [n, count] : recordLocks_)
            disk_.Unlock(RecordLockOffset(n), 1);
        if (appendLocks_)
            disk_.Unlock(AppendLockOffset(), 1);
        if (tableLocks_)
            disk_.Unlock(TableLockOffset(), TableLockLength());
    }
    recordLocks_.clear();
    tableLocks_ = appendLocks_ = 0;
    pending_ = false;
    holdAppends_ = false;
    held_.clear();
    disk_.Close();
    fields_.clear();
    blank_.clear();
    recordCount_ = recNo_ = 0;
    cache_.clear();
    cacheFirst_ = cacheCount_ = 0;
    dropBlocks();
    if (failure)
        std::rethrow_exception(failure);
}

int TDbfTable::FindField(std::string_view name) const
{
    for (const auto& f : fields_) {
        if (f.Name.size() != name.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = upperAscii(f.Name[i]) == upperAscii(name[i]);
        if (same)
            return f.Ordinal;
    }
    return -1;
}

// ---------------------------------------------------------------- record I/O

// ---------------------------------------------------------------- block cache

void TDbfTable::locate()
{
    const uint64_t pos = uint64_t(headerLength_) + uint64_t(recNo_ - 1) * uint64_t(recordLength_);
    const size_t at = size_t(pos % DbfBlockSize);
    if (!held_.empty() && pos >= heldPos_ && pos + uint64_t(recordLength_) <= heldPos_ + held_.size() - 1) {
        // A record still held back (the one just appended, which the next append's blank
        // looks at): copied from there, so that looking does not write out every append.
        spill_.resize(size_t(recordLength_));
        std::memcpy(spill_.data(), held_.data() + (pos - heldPos_), spill_.size());
        view_ = spill_.data();
        pinned_ = UINT64_MAX;
        return;
    }
    if (disk_.Mapped()) {
        spill_.resize(size_t(recordLength_));
        disk_.ReadExact(pos, spill_.data(), spill_.size());
        setFlag(recNo_, spill_[0] == '*');
        view_ = spill_.data();
        pinned_ = UINT64_MAX;
        return;
    }
    if (at + size_t(recordLength_) > DbfBlockSize) {
        // Across two blocks: gathered into a buffer of its own.
        spill_.resize(size_t(recordLength_));
        readBlocks(pos, spill_.data(), spill_.size());
        view_ = spill_.data();
        pinned_ = UINT64_MAX;
        return;
    }
    const TBlockBytes& data = block(pos / DbfBlockSize);
    if (data.size() < at + size_t(recordLength_))
        throw EDbfError(DbfErr::ShortRead, DbfErr::OpRead, disk_.Path());
    view_ = data.data() + at;
    pinned_ = pos / DbfBlockSize;
}

void TDbfTable::materialize()
{
    if (!pending_)
        return;
    if (!view_)
        locate();
    std::memcpy(current_.data(), view_, size_t(recordLength_));
    std::memcpy(old_.data(), view_, size_t(recordLength_));
    pending_ = false;
    view_ = nullptr;
    pinned_ = UINT64_MAX;
}

void TDbfTable::dropBlocks()
{
    if (pending_ && view_)
        materialize();  // its bytes go with the blocks; a record not looked up yet is read afresh
    blocks_.clear();
    loadedBlocks_ = 0;
    flags_.clear();
    countValid_ = false;
    last_ = nullptr;
    lastBlock_ = UINT64_MAX;
    blocksGeneration_ = disk_.IsOpen() ? disk_.Generation() : 0;
}

void TDbfTable::noteFlags(uint64_t pos, const char* bytes, size_t n)
{
    const uint64_t first = uint64_t(headerLength_), length = uint64_t(recordLength_);
    if (length == 0 || pos + n <= first)
        return;
    uint64_t r = pos <= first ? 0 : (pos - first + length - 1) / length;  // 0-based record
    for (uint64_t at = first + r * length; at < pos + n && r < 0xFFFFFFFFu; at += length, ++r) {
        setFlag(uint32_t(r + 1), bytes[at - pos] == '*');
    }
}

void TDbfTable::setFlag(uint32_t recNo, bool deleted)
{
    const size_t word = recNo / 32, shift = recNo % 32 * 2;
    if (word >= flags_.size())
        flags_.resize(std::max(word + 1, flags_.size() * 2), 0);
    const uint64_t bits = deleted ? 3 : 1;
    flags_[word] = (flags_[word] & ~(uint64_t(3) << shift)) | (bits << shift);
}

void TDbfTable::forgetBlock(uint64_t index)
{
    if (index >= blocks_.size() || !blocks_[index])
        return;
    if (index == pinned_)
        materialize();
    if (blocks_[index].get() == last_) {
        last_ = nullptr;
        lastBlock_ = UINT64_MAX;
    }
    blocks_[index].reset();
    --loadedBlocks_;
}

void TDbfTable::evictBlock()
{
    // The least recently used block goes; the current record's block only when it is the last.
    uint64_t oldest = UINT64_MAX;
    for (uint64_t i = 0; i < blocks_.size(); ++i)
        if (blocks_[i] && i != pinned_ && (oldest == UINT64_MAX || blocks_[i]->Used < blocks_[oldest]->Used))
            oldest = i;
    forgetBlock(oldest != UINT64_MAX ? oldest : pinned_);
}

const TDbfTable::TBlockBytes& TDbfTable::block(uint64_t index)
{
    writeHeld();
    if (blocksGeneration_ != disk_.Generation())
        dropBlocks();  // changed through another open of the file in this process
    if (index == lastBlock_ && last_) {
        last_->Used = ++blockClock_;
        return last_->Data;
    }
    if (index >= blocks_.size() || !blocks_[index]) {
        while (loadedBlocks_ >= blockLimit_ && loadedBlocks_ > 0)
            evictBlock();
        auto b = std::make_unique<TBlock>();
        b->Data.resize(disk_.Read(index * DbfBlockSize, b->Data.data(), DbfBlockSize));
        noteFlags(index * DbfBlockSize, b->Data.data(), b->Data.size());
        if (index >= blocks_.size())
            blocks_.resize(size_t(index) + 1);
        blocks_[index] = std::move(b);
        ++loadedBlocks_;
    }
    last_ = blocks_[index].get();
    lastBlock_ = index;
    last_->Used = ++blockClock_;
    return last_->Data;
}

void TDbfTable::readBlocks(uint64_t pos, char* buf, size_t n)
{
    while (n > 0) {
        const TBlockBytes& data = block(pos / DbfBlockSize);
        const size_t at = size_t(pos % DbfBlockSize);
        if (data.size() <= at)
            throw EDbfError(DbfErr::ShortRead, DbfErr::OpRead, disk_.Path());
        const size_t take = std::min(n, data.size() - at);
        std::memcpy(buf, data.data() + at, take);
        if (take < n && data.size() < DbfBlockSize)
            throw EDbfError(DbfErr::ShortRead, DbfErr::OpRead, disk_.Path());
        pos += take;
        buf += take;
        n -= take;
    }
}

// Writes and keeps the cached blocks equal to the file: patched when this write is the only
// change since they were read, all dropped otherwise.
void TDbfTable::writeThrough(uint64_t pos, const char* buf, size_t n)
{
    const bool current = blocksGeneration_ == disk_.Generation();
    disk_.Write(pos, buf, n);
    if (!current || disk_.Generation() != blocksGeneration_ + 1) {
        dropBlocks();
        return;
    }
    blocksGeneration_ = disk_.Generation();
    if (n == 0)
        return;
    noteFlags(pos, buf, n);  // whether or not their blocks are cached
    for (uint64_t index = pos / DbfBlockSize; index <= (pos + n - 1) / DbfBlockSize; ++index) {
        if (index >= blocks_.size() || !blocks_[index])
            continue;
        if (index == pinned_)
            materialize();  // the current record stays as it was read
        TBlockBytes& data = blocks_[index]->Data;
        const uint64_t start = index * DbfBlockSize;
        const size_t from = size_t(std::max(pos, start) - start);
        const size_t to = size_t(std::min(pos + n, start + DbfBlockSize) - start);
        if (from > data.size()) {  // a gap after the cached end: read afresh when needed
            forgetBlock(index);
            continue;
        }
        if (to > data.size())
            data.resize(to);
        std::memcpy(data.data() + from, buf + (start + from - pos), to - from);
    }
}

uint32_t TDbfTable::CountUndeleted()
{
    checkOpen();
    const uint64_t length = uint64_t(recordLength_), first = uint64_t(headerLength_);
    uint32_t deleted = 0;
    if (recordCount_ == 0)
        return 0;
    writeHeld();
    const bool exclusive = this->exclusive();
    if (exclusive) {
        // Unchanged file (no write through any open of it since): the same count.
        if (countValid_ && countGeneration_ == disk_.Generation() && countRecords_ == recordCount_)
            return countValue_;
        if (blocksGeneration_ != disk_.Generation())
            dropBlocks();
    }
    if (blockCacheOn() && uint64_t(recordCount_) * length < DbfScanInPlace) {
        // The last record whole, as reading every record would require.
        char flag;
        readBlocks(first + uint64_t(recordCount_) * length - 1, &flag, 1);
        for (uint32_t n = 1; n <= recordCount_; ++n) {
            readBlocks(first + uint64_t(n - 1) * length, &flag, 1);
            deleted += flag == '*';
        }
    } else if (std::vector<char> flags(exclusive ? recordCount_ : 0);
               exclusive && disk_.ReadStrided(first, length, flags.size(), flags.data())) {
        // Only one byte of each record counts: read in place, a large table neither passes
        // through memory whole nor fills the block cache. The flags are kept for later walks.
        for (uint32_t n = 1; n <= recordCount_; ++n) {
            const bool gone = flags[n - 1] == '*';
            deleted += gone;
            setFlag(n, gone);
        }
    } else {
        // Straight through the file in large reads into one buffer. An exclusive table keeps
        // the flags for later walks.
        const size_t size = exclusive ? DbfScanInPlace / 4 : DbfCacheSize;
        const uint32_t per = std::max<uint32_t>(1, uint32_t(size / length));
        std::vector<char> chunk(size_t(per) * size_t(length));
        for (uint32_t n = 1; n <= recordCount_;) {
            const uint32_t want = std::min<uint32_t>(per, recordCount_ - n + 1);
            disk_.ReadExact(first + uint64_t(n - 1) * length, chunk.data(), size_t(want) * size_t(length));
            for (uint32_t i = 0; i < want; ++i) {
                const bool gone = chunk[size_t(i) * size_t(length)] == '*';
                deleted += gone;
                if (exclusive)
                    setFlag(n + i, gone);
            }
            n += want;
        }
    }
    if (exclusive) {
        countValid_ = true;
        countGeneration_ = disk_.Generation();
        countRecords_ = recordCount_;
        countValue_ = recordCount_ - deleted;
    }
    return recordCount_ - deleted;
}

void TDbfTable::readRecordAt(uint32_t n, char* buf)
{
    const uint64_t pos = uint64_t(headerLength_) + uint64_t(n - 1) * uint64_t(recordLength_);
    if (blockCacheOn()) {
        readBlocks(pos, buf, size_t(recordLength_));
        return;
    }
    if (!cacheOn_) {
        disk_.ReadExact(pos, buf, size_t(recordLength_));
        return;
    }
    if (!(cacheCount_ && n >= cacheFirst_ && n < cacheFirst_ + cacheCount_)) {
        uint32_t per = std::max<uint32_t>(1, uint32_t(DbfCacheSize / size_t(recordLength_)));
        uint32_t want = std::min<uint32_t>(per, recordCount_ - n + 1);
        cache_.resize(size_t(want) * size_t(recordLength_));
        size_t got = disk_.Read(pos, cache_.data(), cache_.size()) / size_t(recordLength_);
        if (got == 0) {
            cacheCount_ = 0;
            throw EDbfError(DbfErr::ShortRead, DbfErr::OpRead, fileName_);
        }
        cacheFirst_ = n;
        cacheCount_ = uint32_t(got);
    }
    std::memcpy(buf, cache_.data() + size_t(n - cacheFirst_) * size_t(recordLength_), size_t(recordLength_));
}

void TDbfTable::HoldAppends(bool on)
{
    if (!on && disk_.IsOpen())
        writeHeld();
    holdAppends_ = on;
}

void TDbfTable::writeHeld()
{
    if (held_.empty())
        return;
    // Cleared either way (keeping its memory for the next piece): a failed write is reported
    // once, not again by the close after it.
    try {
        writeThrough(heldPos_, held_.data(), held_.size());
    } catch (...) {
        held_.clear();
        throw;
    }
    held_.clear();
}

void TDbfTable::writeRecordAt(uint32_t n, const char* buf, bool withEof)
{
    const uint64_t pos = uint64_t(headerLength_) + uint64_t(n - 1) * uint64_t(recordLength_);
    if (holdAppends_ && withEof && blockCacheOn()) {
        // The next record in line overwrites the end mark the previous one brought.
        if (!held_.empty() && heldPos_ + held_.size() - 1 != pos)
            writeHeld();
        if (held_.empty())
            heldPos_ = pos;
        else
            held_.pop_back();
        held_.append(buf, size_t(recordLength_) + 1);
        if (held_.size() >= (size_t(1) << 20))
            writeHeld();
        if (cacheCount_ && n >= cacheFirst_ && n < cacheFirst_ + cacheCount_)
            std::memcpy(cache_.data() + size_t(n - cacheFirst_) * size_t(recordLength_), buf, size_t(recordLength_));
        return;
    }
    writeHeld();
    if (blockCacheOn())
        writeThrough(pos, buf, size_t(recordLength_) + (withEof ? 1 : 0));
    else
        disk_.Write(pos, buf, size_t(recordLength_) + (withEof ? 1 : 0));
    if (cacheCount_ && n >= cacheFirst_ && n < cacheFirst_ + cacheCount_)
        std::memcpy(cache_.data() + size_t(n - cacheFirst_) * size_t(recordLength_), buf, size_t(recordLength_));
}

void TDbfTable::SetReadCache(bool on)
{
    cacheOn_ = on;
    cacheFirst_ = cacheCount_ = 0;
    if (!on)
        cache_.clear();
}

bool TDbfTable::GetRecord(int code)
{
    checkOpen();
    if (code == 0)
        return false;
    if (code < DbfRecCurrent)
        throw EDbfError(DbfErr::BeyondEof, 0, fileName_);
    if (recordCount_ == 0 && code < 0 && disk_.Shared())
        ReadHeader();
    if (recordCount_ == 0 && code < 0) {
        eof_ = bof_ = true;
        return false;
    }
    uint32_t n = 0;
    switch (code) {
    case DbfRecFirst: n = 1; break;
    case DbfRecLast:
        if (disk_.Shared())
            ReadHeader();
        n = recordCount_;
        break;
    case DbfRecNext: n = recNo_ + 1; break;
    case DbfRecPrior:
        if (recNo_ <= 1) {
            bof_ = true;
            return false;
        }
        n = std::min(recNo_ - 1, recordCount_);
        break;
    case DbfRecCurrent:
        if (recNo_ == 0)
            return false;
        n = recNo_;
        break;
    default: n = uint32_t(code); break;
    }
    if (n > recordCount_ && disk_.Shared())
        ReadHeader();
    if (n > recordCount_) {
        if (code == DbfRecNext || code == DbfRecCurrent || n == recordCount_ + 1) {
            eof_ = true;
            return false;
        }
        throw EDbfError(DbfErr::BeyondEof, 0, fileName_);
    }
    if (exclusive()) {
        if (blocksGeneration_ != disk_.Generation())
            dropBlocks();  // the flags known may be another open's past: asked before any block
        pending_ = true;
        view_ = nullptr;
        pinned_ = UINT64_MAX;
    } else {
        readRecordAt(n, current_.data());
        std::memcpy(old_.data(), current_.data(), size_t(recordLength_));
    }
    recNo_ = n;
    eof_ = bof_ = false;
    std::fill(changed_.begin(), changed_.end(), false);
    return true;
}

void TDbfTable::ReadRecordInto(uint32_t n, char* buf)
{
    checkOpen();
    if (n == 0 || n > recordCount_)
        throw EDbfError(DbfErr::BeyondEof, 0, fileName_);
    readRecordAt(n, buf);
}

void TDbfTable::ReadRecordRun(uint32_t first, uint32_t count, char* buf)
{
    checkOpen();
    if (count == 0)
        return;
    if (first == 0 || first > recordCount_ || count > recordCount_ - first + 1)
        throw EDbfError(DbfErr::BeyondEof, 0, fileName_);
    writeHeld();  // the cached blocks are written through; only held appends wait
    const uint64_t pos = uint64_t(headerLength_) + uint64_t(first - 1) * uint64_t(recordLength_);
    disk_.ReadExact(pos, buf, size_t(count) * size_t(recordLength_));
}

const char* TDbfTable::PeekRecord(uint32_t n)
{
    checkOpen();
    if (n == 0 || n > recordCount_)
        throw EDbfError(DbfErr::BeyondEof, 0, fileName_);
    if (!blockCacheOn())
        return nullptr;
    const uint64_t pos = uint64_t(headerLength_) + uint64_t(n - 1) * uint64_t(recordLength_);
    const TBlockBytes& data = block(pos / DbfBlockSize);
    const size_t at = size_t(pos % DbfBlockSize);
    return at + size_t(recordLength_) <= data.size() ? data.data() + at : nullptr;
}

void TDbfTable::PrefetchRecord(uint32_t n) const
{
    if (n == 0 || n > recordCount_ || !disk_.Mapped())
        return;
    disk_.Prefetch(uint64_t(headerLength_) + uint64_t(n - 1) * uint64_t(recordLength_), size_t(recordLength_));
}

void TDbfTable::SetRecordBuffer(const char* record)
{
    materialize();
    std::memcpy(current_.data(), record, size_t(recordLength_));
}

void TDbfTable::postWrite(uint32_t n, bool appended)
{
    headerDirty_ = true;
    WriteHeader();
    for (TDbfIndexLink* link : indexes_)
        link->TagUpdate(n, appended);
    std::memcpy(old_.data(), current_.data(), size_t(recordLength_));
    std::fill(changed_.begin(), changed_.end(), false);
}

void TDbfTable::AppendRecord()
{
    checkOpen();
    if (!disk_.ReadWrite())
        throw EDbfError(105, DbfErr::OpWrite, fileName_);
    bool locked = false;
    if (disk_.Shared() && appendLocks_ == 0 && tableLocks_ == 0) {
        disk_.Lock(AppendLockOffset(), 1, true);
        locked = true;
    }
    try {
        if (disk_.Shared())
            ReadHeader();  // another writer may have appended meanwhile
        materialize();
        current_[0] = ' ';
        uint32_t n = recordCount_ + 1;
        current_[size_t(recordLength_)] = char(DbfEofMark);
        writeRecordAt(n, current_.data(), true);
        recordCount_ = n;
        recNo_ = n;
        eof_ = bof_ = false;
        postWrite(n, true);
    } catch (...) {
        if (locked)
            disk_.Unlock(AppendLockOffset(), 1);
        throw;
    }
    if (locked)
        disk_.Unlock(AppendLockOffset(), 1);
}

void TDbfTable::PutRecord(uint32_t n)
{
    checkOpen();
    if (n == 0 || n > recordCount_) {
        AppendRecord();
        return;
    }
    if (!disk_.ReadWrite())
        throw EDbfError(105, DbfErr::OpWrite, fileName_);
    materialize();
    writeRecordAt(n, current_.data(), false);
    recNo_ = n;
    eof_ = bof_ = false;
    postWrite(n, false);
}

void TDbfTable::DeleteRecord()
{
    checkOpen();
    if (recNo_ == 0 || recNo_ > recordCount_)
        throw EDbfError(DbfErr::BeyondEof, 0, fileName_);
    materialize();
    current_[0] = '*';
    PutRecord(recNo_);
}

void TDbfTable::UndeleteRecord()
{
    checkOpen();
    if (recNo_ == 0 || recNo_ > recordCount_)
        throw EDbfError(DbfErr::BeyondEof, 0, fileName_);
    materialize();
    current_[0] = ' ';
    PutRecord(recNo_);
}

bool TDbfTable::IsDeleted(const char* record) const
{
    if (!record && pending_ && recNo_ / 32 < flags_.size()) {
        const uint64_t bits = flags_[recNo_ / 32] >> (recNo_ % 32 * 2) & 3;
        if (bits)
            return bits == 3;
    }
    return (record ? record[0] : current_.empty() ? ' ' : view()[0]) == '*';
}

void TDbfTable::Blank()
{
    checkOpen();
    materialize();
    // The empty record of a layout is made once and copied after that: formatting its
    // numbers anew for every appended record cost an import more than the appends.
    if (blank_.size() == size_t(recordLength_)) {
        std::memcpy(current_.data(), blank_.data(), blank_.size());
    } else {
        std::fill(current_.begin(), current_.begin() + recordLength_, ' ');
        for (const auto& f : fields_) {
            if (f.Type == 'N' || f.Type == 'F')
                writeNumber(f.Ordinal, 0);
            else if (f.Type == 'I')
                std::memset(fieldPtr(f.Ordinal), 0, size_t(f.Length));
        }
        blank_.assign(current_.begin(), current_.begin() + recordLength_);
    }
    std::fill(changed_.begin(), changed_.end(), true);
}

// ---------------------------------------------------------------- fields

char* TDbfTable::fieldPtr(int field)
{
    materialize();
    return current_.data() + fields_[size_t(field)].Offset;
}

const char* TDbfTable::fieldPtr(int field, const char* record) const
{
    return (record ? record : view()) + fields_[size_t(field)].Offset;
}

std::string TDbfTable::GetRaw(int field, const char* record) const
{
    checkField(field);
    return std::string(fieldPtr(field, record), size_t(fields_[size_t(field)].Length));
}

std::string TDbfTable::GetString(int field, const char* record) const
{
    checkField(field);
    return CharacterText(fieldPtr(field, record), size_t(fields_[size_t(field)].Length));
}

std::string TDbfTable::CharacterText(const char* p, size_t n)
{
    // One pass finds the end of the text: the last byte that is not a space before any NUL.
    // Words are short in long fields, so this runs sixteen bytes at a time where it can.
    size_t end = 0, i = 0;
    bool cut = false;  // a NUL was met
#ifdef __SSE2__
    const __m128i space = _mm_set1_epi8(' '), zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        unsigned text = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(c, space))) & 0xFFFFu;
        const unsigned nul = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(c, zero)));
        if (nul)
            text &= (1u << __builtin_ctz(nul)) - 1;
        if (text)
            end = i + 32 - size_t(__builtin_clz(text));
        if (nul) {
            cut = true;
            break;
        }
    }
#endif
    for (; !cut && i < n; ++i) {
        if (p[i] == 0)
            break;
        if (p[i] != ' ')
            end = i + 1;
    }
    while (end > 0 && static_cast<unsigned char>(p[end - 1]) <= 0x20)
        --end;
    return std::string(p, end);
}

double TDbfTable::GetNumber(int field, const char* record) const
{
    checkField(field);
    const TDbfField& f = fields_[size_t(field)];
    const char* p = fieldPtr(field, record);
    if (f.Type == 'I' && f.Length == 4)
        return double(int32_t(Get32(reinterpret_cast<const uint8_t*>(p))));
    if (f.Type == 'D') {
        auto d = GetDate(field, record);
        return d ? double(*d) : 0;
    }
    if (f.Type != 'N' && f.Type != 'F')
        throw EDbfError(DbfErr::FieldType, 0, BaseName() + "->" + f.Name);
    std::string_view text(p, size_t(f.Length));
    size_t e = text.find_last_not_of(' ');
    text = text.substr(0, e == std::string_view::npos ? 0 : e + 1).substr(0, 31);
    double v = 0;
    if (!parseNumber(text, v))
        throw EDbfError(DbfErr::FieldType, 0,
                        "Invalid number in field " + BaseName() + "->" + f.Name + " (" + std::string(text) + ")");
    return v;
}

std::optional<int32_t> TDbfTable::GetDate(int field, const char* record) const
{
    checkField(field);
    const TDbfField& f = fields_[size_t(field)];
    if (f.Type != 'D')
        throw EDbfError(DbfErr::FieldType, 0, BaseName() + "->" + f.Name);
    std::string text(fieldPtr(field, record), size_t(f.Length));
    if (DbfIsEmptyDate(text))
        return std::nullopt;
    size_t e = text.find_last_not_of(' ');
    text.erase(e == std::string::npos ? 0 : e + 1);
    if (text.size() != 8)
        return std::nullopt;
    int v[3] = {0, 0, 0};
    const int widths[3] = {4, 2, 2};
    size_t pos = 0;
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < widths[k]; ++i, ++pos) {
            if (text[pos] < '0' || text[pos] > '9')
                return std::nullopt;
            v[k] = v[k] * 10 + (text[pos] - '0');
        }
    }
    if (!DbfIsValidDate(v[0], v[1], v[2]))
        return std::nullopt;
    return DbfDateToJulian(v[0], v[1], v[2]);
}

bool TDbfTable::GetLogical(int field, const char* record) const
{
    checkField(field);
    const TDbfField& f = fields_[size_t(field)];
    if (f.Type != 'L')
        throw EDbfError(DbfErr::FieldType, 0, BaseName() + "->" + f.Name);
    if (f.Length < 1)
        return false;
    return std::string_view("TtYyJj").find(*fieldPtr(field, record)) != std::string_view::npos;
}

bool TDbfTable::IsBlank(int field, const char* record) const
{
    checkField(field);
    const char* p = fieldPtr(field, record);
    for (int i = 0; i < fields_[size_t(field)].Length; ++i)
        if (p[i] != ' ')
            return false;
    return true;
}

void TDbfTable::SetRaw(int field, std::string_view bytes)
{
    checkField(field);
    const size_t len = size_t(fields_[size_t(field)].Length);
    char* p = fieldPtr(field);
    std::memset(p, ' ', len);
    std::memcpy(p, bytes.data(), std::min(len, bytes.size()));
    changed_[size_t(field)] = true;
}

void TDbfTable::writeNumber(int field, double value)
{
    const TDbfField& f = fields_[size_t(field)];
    std::string text = formatNumber(value, f.Decimals);
    if (text.size() > size_t(f.Length))
        throw EDbfError(DbfErr::NumberTooLarge, 0, f.Name + " (" + text.substr(0, 64) + ")");
    char* p = fieldPtr(field);
    std::memset(p, ' ', size_t(f.Length));
    std::memcpy(p + f.Length - int(text.size()), text.data(), text.size());
}

void TDbfTable::SetNumber(int field, double value)
{
    checkField(field);
    const TDbfField& f = fields_[size_t(field)];
    if (f.Type == 'I' && f.Length == 4) {
        if (!(value >= -2147483648.0 && value <= 2147483647.0))
            throw EDbfError(DbfErr::NumberTooLarge, 0, f.Name + " (" + formatNumber(value, 0).substr(0, 64) + ")");
        Put32(reinterpret_cast<uint8_t*>(fieldPtr(field)), uint32_t(int32_t(value)));
    } else if (f.Type == 'N' || f.Type == 'F') {
        writeNumber(field, value);
    } else {
        throw EDbfError(DbfErr::FieldType, 0, BaseName() + "->" + f.Name);
    }
    changed_[size_t(field)] = true;
}

void TDbfTable::SetString(int field, std::string_view text)
{
    checkField(field);
    const TDbfField& f = fields_[size_t(field)];
    switch (f.Type) {
    case 'N':
    case 'F':
    case 'I': {
        double v = 0;
        std::string t(text);
        size_t e = t.find_last_not_of(' ');
        t.erase(e == std::string::npos ? 0 : e + 1);
        if (!parseNumber(t, v))
            throw EDbfError(DbfErr::FieldType, 0, "Invalid number in field " + BaseName() + "->" + f.Name + " (" + t + ")");
        SetNumber(field, v);
        return;
    }
    case 'D': {
        std::optional<int32_t> d;
        if (!parseDateText(std::string(text), d))
            throw EDbfError(DbfErr::FieldType, 0, BaseName() + "->" + f.Name + " (" + std::string(text) + ")");
        SetDate(field, d);
        return;
    }
    case 'C':
    case 'L': SetRaw(field, text); return;
    default: {
        const size_t len = size_t(f.Length);
        char* p = fieldPtr(field);
        std::memset(p, ' ', len);
        size_t n = std::min(len, text.size());
        std::memcpy(p + len - n, text.data(), n);
        changed_[size_t(field)] = true;
    }
    }
}

void TDbfTable::SetDate(int field, std::optional<int32_t> julian)
{
    checkField(field);
    const TDbfField& f = fields_[size_t(field)];
    if (f.Type != 'D')
        throw EDbfError(DbfErr::FieldType, 0, BaseName() + "->" + f.Name);
    char text[9] = "        ";
    if (julian) {
        int y, m, d;
        DbfJulianToDate(*julian, y, m, d);
        if (y < 0 || y > 9999)
            throw EDbfError(DbfErr::NumberTooLarge, 0, f.Name);
        std::snprintf(text, sizeof text, "%04d%02d%02d", y, m, d);
    }
    SetRaw(field, std::string_view(text, 8));
}

void TDbfTable::SetLogical(int field, bool value)
{
    checkField(field);
    const TDbfField& f = fields_[size_t(field)];
    if (f.Type != 'L')
        throw EDbfError(DbfErr::FieldType, 0, BaseName() + "->" + f.Name);
    SetRaw(field, value ? "T" : "F");
}

void TDbfTable::ClearChanged() { std::fill(changed_.begin(), changed_.end(), false); }

// ---------------------------------------------------------------- header

bool TDbfTable::ReadHeader()
{
    checkOpen();
    if (!disk_.Shared())
        return false;
    std::array<uint8_t, 32> h{};
    if (disk_.Read(0, h.data(), 32) != 32)
        throw EDbfError(DbfErr::HeaderInvalid, 0, fileName_);
    // Only the parts another writer changes; the layout is fixed at creation.
    uint32_t oldCount = recordCount_;
    std::memcpy(&header_[1], &h[1], 7);
    std::memcpy(&header_[16], &h[16], 8);
    header_[28] = uint8_t(h[28] | (header_[28] & 0x01));
    recount();
    uint32_t stamp = Get32(&h[16]);
    bool changed = recordCount_ != oldCount || stamp != lastStamp_;
    lastStamp_ = stamp;
    if (changed)
        cacheFirst_ = cacheCount_ = 0;
    return changed;
}

void TDbfTable::WriteHeader()
{
    checkOpen();
    if (!disk_.ReadWrite() || !headerDirty_ || tableLocks_ > 0)
        return;
    writeHeld();  // the records the header counts come first
    int y, m, d;
    today(y, m, d);
    uint32_t stamp = changeStamp();
    header_[1] = uint8_t(y % 100);
    header_[2] = uint8_t(m);
    header_[3] = uint8_t(d);
    Put32(&header_[4], recordCount_);
    header_[28] &= 0x07;  // only the three table-flag bits are defined
    header_[15] = 0;
    Put32(&header_[16], stamp);
    Put32(&header_[20], userId_);
    if (blockCacheOn())
        writeThrough(0, reinterpret_cast<const char*>(header_.data()), 32);
    else
        disk_.Write(0, header_.data(), 32);
    lastStamp_ = stamp;
    headerDirty_ = false;
}

void TDbfTable::MarkProductionIndex()
{
    checkOpen();
    if (header_[28] & 0x01)
        return;
    header_[28] |= 0x01;
    headerDirty_ = true;
    WriteHeader();
}

void TDbfTable::Flush()
{
    checkOpen();
    headerDirty_ = true;
    writeHeld();
    disk_.Flush();
    for (TDbfIndexLink* link : indexes_)
        link->FlushIndex();
}

void TDbfTable::AttachIndex(TDbfIndexLink* link)
{
    if (link && std::find(indexes_.begin(), indexes_.end(), link) == indexes_.end())
        indexes_.push_back(link);
}

void TDbfTable::DetachIndex(TDbfIndexLink* link)
{
    indexes_.erase(std::remove(indexes_.begin(), indexes_.end(), link), indexes_.end());
}

// ---------------------------------------------------------------- locks

uint64_t TDbfTable::RecordLockOffset(uint32_t n) const
{
    switch (lockProtocol_) {
    case TLockProtocol::ClipLock: return 1000000000ull + n;
    case TLockProtocol::DB4Lock:
        return indexOpenForLocks_ ? 0xEFFFFFFFull - n
                                  : 0x40000000ull + uint64_t(headerLength_) + uint64_t(n - 1) * uint64_t(recordLength_);
    default:
        return indexOpenForLocks_ ? 0x7FFFFFFEull - n
                                  : 0x40000000ull + uint64_t(headerLength_) + uint64_t(n - 1) * uint64_t(recordLength_);
    }
}

uint64_t TDbfTable::AppendLockOffset() const
{
    switch (lockProtocol_) {
    case TLockProtocol::ClipLock: return 1000000000ull;
    case TLockProtocol::DB4Lock: return 0xEFFFFFFFull;
    default: return 0x7FFFFFFEull;
    }
}

uint64_t TDbfTable::TableLockOffset() const
{
    return lockProtocol_ == TLockProtocol::ClipLock ? 1000000000ull : 0x40000000ull;
}

uint64_t TDbfTable::TableLockLength() const
{
    switch (lockProtocol_) {
    case TLockProtocol::ClipLock: return 1000000000ull;
    case TLockProtocol::DB4Lock: return 0xB0000000ull;
    default: return 0x3FFFFFFFull;
    }
}

bool TDbfTable::LockRecord(uint32_t n)
{
    checkOpen();
    for (auto& [rec, count] : recordLocks_)
        if (rec == n) {
            ++count;
            return true;
        }
    if (disk_.Shared() && tableLocks_ == 0 && !disk_.Lock(RecordLockOffset(n), 1))
        return false;
    recordLocks_.push_back({n, 1});
    return true;
}

void TDbfTable::UnlockRecord(uint32_t n)
{
    for (auto it = recordLocks_.begin(); it != recordLocks_.end(); ++it) {
        if (it->first != n)
            continue;
        if (--it->second == 0) {
            recordLocks_.erase(it);
            if (disk_.Shared() && tableLocks_ == 0)
                disk_.Unlock(RecordLockOffset(n), 1);
        }
        return;
    }
}

bool TDbfTable::LockAppend()
{
    checkOpen();
    if (appendLocks_ == 0 && disk_.Shared() && tableLocks_ == 0 && !disk_.Lock(AppendLockOffset(), 1))
        return false;
    ++appendLocks_;
    return true;
}

void TDbfTable::UnlockAppend()
{
    if (appendLocks_ == 0)
        return;
    if (--appendLocks_ == 0 && disk_.Shared() && tableLocks_ == 0)
        disk_.Unlock(AppendLockOffset(), 1);
}

bool TDbfTable::LockTable(bool wait)
{
    checkOpen();
    if (tableLocks_ == 0 && disk_.Shared() && !disk_.Lock(TableLockOffset(), TableLockLength(), wait))
        return false;
    ++tableLocks_;
    return true;
}

void TDbfTable::UnlockTable()
{
    if (tableLocks_ == 0)
        return;
    if (--tableLocks_ > 0)
        return;
    if (disk_.Shared()) {
        // Releasing the range also released the single bytes we still hold: take them back.
        disk_.Unlock(TableLockOffset(), TableLockLength());
        for (auto& [n, count] : recordLocks_)
            disk_.Lock(RecordLockOffset(n), 1);
        if (appendLocks_)
            disk_.Lock(AppendLockOffset(), 1);
    }
    WriteHeader();  // a write held back by the lock
}

// ---------------------------------------------------------------- copying

void TDbfTable::CopyTable(const std::string& dest, const std::function<uint32_t(bool first)>& next)
{
    checkOpen();
    std::unique_ptr<TDbfBuilder> builder;
    if (header_[0] == 0x8B)
        builder = std::make_unique<TDb4Builder>();
    else if (header_[0] == 0xF5)
        builder = std::make_unique<TFoxBuilder>();
    else
        builder = std::make_unique<TDbfBuilder>();
    // The copy's records are rebuilt field by field: a foreign layout (unnamed fields, slack
    // bytes after the last field, memo pointers of another length) need not match the builder's.
    std::vector<const TDbfField*> copied;
    for (const auto& f : fields_) {
        size_t before = builder->Fields().size();
        builder->AddField(f.Name, f.Type, f.Length, f.Decimals);
        if (builder->Fields().size() > before)
            copied.push_back(&f);
    }
    const bool sameLayout = builder->RecordLength() == recordLength_ && copied.size() == fields_.size() &&
                            std::equal(copied.begin(), copied.end(), builder->Fields().begin(),
                                       [](const TDbfField* a, const TDbfField& b) { return a->Length == b.Length; });
    std::string target = withDefaultExtension(dest);
    {
        // Building the copy truncates its file: never the table being copied.
        struct stat a, b;
        std::string resolved = TDiskFile::ResolvePath(target);
        if (::stat(disk_.Path().c_str(), &a) == 0 && ::stat(resolved.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
            throw EDbfError(DbfErr::AccessDenied, DbfErr::OpCreate, target);
    }

    LockTable(true);
    const uint32_t savedRec = recNo_;
    const bool savedEof = eof_, savedBof = bof_;
    const bool savedCache = cacheOn_;
    bool created = false;
    try {
        if (!next)
            SetReadCache(true);
        builder->Create(target);
        created = true;
        TDiskFile out;
        out.Open(target, true, false);
        std::vector<char> chunk;
        uint64_t pos = 32 * uint64_t(builder->Fields().size()) + 33;
        std::vector<char> rebuilt(size_t(builder->RecordLength()), ' ');
        auto flushChunk = [&] {
            if (!chunk.empty()) {
                out.Write(pos, chunk.data(), chunk.size());
                pos += chunk.size();
                chunk.clear();
            }
        };
        uint32_t walk = 0;
        for (bool first = true;; first = false) {
            uint32_t n = 0;
            if (next) {
                n = next(first);
            } else {
                while (++walk <= recordCount_) {
                    readRecordAt(walk, work_.data());
                    if (work_[0] != '*') {
                        n = walk;
                        break;
                    }
                }
            }
            if (n == 0)
                break;
            if (next)
                ReadRecordInto(n, work_.data());
            work_[0] = ' ';
            if (sameLayout) {
                chunk.insert(chunk.end(), work_.begin(), work_.end());
            } else {
                std::fill(rebuilt.begin(), rebuilt.end(), ' ');
                for (size_t k = 0; k < copied.size(); ++k) {
                    const TDbfField& to = builder->Fields()[k];
                    std::memcpy(rebuilt.data() + to.Offset, work_.data() + copied[k]->Offset,
                                size_t(std::min(to.Length, copied[k]->Length)));
                }
                chunk.insert(chunk.end(), rebuilt.begin(), rebuilt.end());
            }
            if (chunk.size() >= DbfCacheSize)
                flushChunk();
        }
        flushChunk();
        const char eofMark = char(DbfEofMark);
        out.Write(pos, &eofMark, 1);
        out.Close();
        TDbfTable copy;
        copy.Open(target, true, false);
        copy.MarkHeaderDirty();
        copy.Close();
    } catch (...) {
        UnlockTable();
        SetReadCache(savedCache);
        if (created) {
            try {
                TDiskFile::Delete(target);
            } catch (...) {
            }
        }
        throw;
    }
    UnlockTable();
    SetReadCache(savedCache);
    if (savedRec && savedRec <= recordCount_)
        GetRecord(int(savedRec));
    eof_ = savedEof;
    bof_ = savedBof;
}

// ---------------------------------------------------------------- builders

void TDbfBuilder::AddField(const std::string& name, char type, int length, int decimals)
{
    if (name.empty())
        return;
    TDbfField f;
    f.Name = upperAscii(name.substr(0, 10));
    f.Type = upperAscii(type);
    switch (f.Type) {
    case 'M':
    case 'B':
    case 'G':
        length = 10;
        decimals = 0;
        memo_ = true;
        break;
    case 'D': length = 8; decimals = 0; break;
    case 'L': length = 1; decimals = 0; break;
    default: break;
    }
    int fullLength = length;
    if (f.Type == 'C') {
        if (length < 0 || length > 0xFFFF)
            throw EDbfError("Range check error");
        decimals = 0;
    } else if (length < 0 || length > 255 || decimals < 0 || decimals > 255) {
        throw EDbfError("Range check error");
    }
    f.Length = fullLength;
    f.Decimals = decimals;
    f.Offset = recordLength_;
    f.Ordinal = int(fields_.size());
    recordLength_ += fullLength;
    fields_.push_back(std::move(f));
}

void TDbfBuilder::Create(const std::string& path)
{
    const size_t headerLength = 32 * fields_.size() + 33;
    if (headerLength >= 65535 || recordLength_ >= 65536)
        throw EDbfError("Range check error");
    std::vector<uint8_t> bytes(headerLength + 1, 0);
    int y, m, d;
    today(y, m, d);
    bytes[0] = VersionByte();
    bytes[1] = uint8_t(y % 100);
    bytes[2] = uint8_t(m);
    bytes[3] = uint8_t(d);
    Put16(&bytes[8], uint32_t(headerLength));
    Put16(&bytes[10], uint32_t(recordLength_));
    for (size_t i = 0; i < fields_.size(); ++i) {
        uint8_t* p = &bytes[32 + 32 * i];
        const TDbfField& f = fields_[i];
        std::memcpy(p, f.Name.data(), std::min<size_t>(10, f.Name.size()));
        p[11] = uint8_t(f.Type);
        if (f.Type == 'C') {
            p[16] = uint8_t(f.Length & 0xFF);
            p[17] = uint8_t(f.Length >> 8);
        } else {
            p[16] = uint8_t(f.Length);
            p[17] = uint8_t(f.Decimals);
        }
    }
    bytes[headerLength - 1] = 0x0D;
    bytes[headerLength] = DbfEofMark;
    TDiskFile file;
    file.Create(path);
    file.Write(0, bytes.data(), bytes.size());
    file.Close();
}

std::unique_ptr<TDbfBuilder> MakeDbfBuilder(TDbfTypes type)
{
    switch (type) {
    case TDbfTypes::DBaseIV: return std::make_unique<TDb4Builder>();
    case TDbfTypes::FoxPro2: return std::make_unique<TFoxBuilder>();
    default: return std::make_unique<TDbfBuilder>();
    }
}

// ---------------------------------------------------------------- field lines

namespace {

bool parseInt(std::string s, int& out)
{
    s = trimBlanks(s);
    if (s.empty())
        return false;
    size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
    if (i == s.size())
        return false;
    long long v = 0;
    for (size_t k = i; k < s.size(); ++k) {
        if (s[k] < '0' || s[k] > '9')
            return false;
        v = v * 10 + (s[k] - '0');
        if (v > 1000000000)
            return false;
    }
    out = int(s[0] == '-' ? -v : v);
    return true;
}

} // namespace

std::vector<TDbfFieldLine> ParseDbfFieldLines(const std::vector<std::string>& lines)
{
    const EDbfError invalid("Field list is invalid");
    if (lines.empty())
        throw invalid;
    std::vector<TDbfFieldLine> result;
    for (std::string line : lines) {
        while (!line.empty() && (line.back() == ' ' || line.back() == ';'))
            line.pop_back();
        size_t a = line.find(';');
        if (a == std::string::npos)
            throw invalid;
        size_t b = line.find(';', a + 1);
        if (b == std::string::npos)
            throw invalid;
        size_t c = line.find(';', b + 1);
        if (c == std::string::npos)
            throw invalid;
        TDbfFieldLine f;
        f.Name = upperAscii(line.substr(0, a).substr(0, 10));
        std::string type = line.substr(a + 1, b - a - 1);
        if (type.size() != 1)
            throw invalid;
        f.Type = upperAscii(type[0]);
        if (!parseInt(line.substr(b + 1, c - b - 1), f.Length))
            throw invalid;
        if (!parseInt(line.substr(c + 1, 3), f.Decimals))
            throw invalid;
        if (!f.Name.empty())
            for (const auto& earlier : result)
                if (earlier.Name == f.Name)
                    throw invalid;
        result.push_back(f);
    }
    return result;
}

std::string CreateDbfTable(const std::string& path, const std::vector<std::string>& lines, TDbfTypes type)
{
    auto parsed = ParseDbfFieldLines(lines);
    auto builder = MakeDbfBuilder(type);
    for (const auto& f : parsed)
        builder->AddField(f.Name, f.Type, f.Length, f.Decimals);
    std::string target = withDefaultExtension(path);
    builder->Create(target);
    return target;
}

bool TCreateDbfDataSet::Execute()
{
    if (!DBFTable)
        throw EDbfError("A table is not assigned to this object");
    if (DBFTable->CreateActive())
        throw EDbfError("Cannot perform this operation on an open table");
    std::string target = withDefaultExtension(DBFTable->CreatePath());
    if (TDiskFile::Exists(target) && !AutoOverwrite) {
        if (!ConfirmOverwrite || !ConfirmOverwrite("Table exists.  Do you want to overwrite?"))
            return false;
    }
    if (CreateFields.empty())
        throw EDbfError("Field list is invalid");
    // Everything is checked before the file is touched, so a bad list writes nothing.
    auto parsed = ParseDbfFieldLines(CreateFields);
    auto builder = MakeDbfBuilder(DBFType);
    for (const auto& f : parsed)
        builder->AddField(f.Name, f.Type, f.Length, f.Decimals);
    builder->Create(target);
    DBFTable->CreateOpen();
    return true;
}
