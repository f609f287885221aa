// POSIX implementation of TDiskFile. One OS handle per file per process (keyed by device and
// inode), each with its own mutex: a read or write is one positioned call inside it. Byte-range
// locks are open-file-description locks, so closing another descriptor never drops them and
// another process (or another description) sees them.
#include "engine/DiskFile.h"

#include "engine/EngineError.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <pthread.h>
#include <csetjmp>
#include <csignal>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

struct TDiskHandle {
    int fd = -1;
    bool readWrite = false;
    bool shared = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::mutex lock;
    // Moves on every change made through this handle (or by Copy onto its file): readers
    // that keep the file's bytes compare it to know their copy is still current.
    std::atomic<uint64_t> generation{0};
    ~TDiskHandle()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {

std::mutex registryLock;
std::map<std::pair<dev_t, ino_t>, std::weak_ptr<TDiskHandle>>& registry()
{
    static std::map<std::pair<dev_t, ino_t>, std::weak_ptr<TDiskHandle>> r;
    return r;
}

// A forked child is another process: its opens must not share the parent's descriptions
// (they would share its locks and its sharing claim).
const bool forkHandlerInstalled = [] {
    ::pthread_atfork(nullptr, nullptr, [] { registry().clear(); });
    return true;
}();

std::string folderOf(const std::string& path)
{
    auto p = path.rfind('/');
    if (p == std::string::npos)
        return ".";
    if (p == 0)
        return "/";
    return path.substr(0, p);
}

// Windows-style error code for errno, so that messages use the engine's error list.
int osCode(int err, int op)
{
    switch (err) {
    case ENOENT: return DbfErr::FileNotFound;
    case ENOTDIR: return DbfErr::PathNotFound;
    case EACCES:
    case EPERM: return DbfErr::AccessDenied;
    case EMFILE:
    case ENFILE: return DbfErr::TooManyOpenFiles;
    case EEXIST: return DbfErr::FileExists;
    case EISDIR: return DbfErr::AccessDenied;
    case EROFS: return 150;
    case ENOSPC: return 112;
    case EWOULDBLOCK: return DbfErr::SharingViolation;
    case EIO: return op == DbfErr::OpRead ? DbfErr::DiskRead : DbfErr::DiskWrite;
    default: return err;
    }
}

[[noreturn]] void fail(int err, int op, const std::string& path)
{
    int code = osCode(err, op);
    // A missing folder is "Path not found", a missing file in an existing one "File not found".
    if (err == ENOENT) {
        struct stat st;
        if (::stat(folderOf(path).c_str(), &st) != 0)
            code = DbfErr::PathNotFound;
    }
    throw EDbfError(code, op, path);
}

// Appends one UTF-8 character of s at i to out with ASCII and Cyrillic letters folded to
// lower case; returns the next index.
size_t foldChar(const std::string& s, size_t i, std::string& out)
{
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 'A' && c <= 'Z') {
        out += char(c + 32);
        return i + 1;
    }
    if (c == 0xD0 && i + 1 < s.size()) {
        unsigned char d = static_cast<unsigned char>(s[i + 1]);
        if (d >= 0x90 && d <= 0x9F) {  // U+0410..U+041F -> U+0430..U+043F
            out += char(0xD0);
            out += char(d + 0x20);
            return i + 2;
        }
        if (d >= 0xA0 && d <= 0xAF) {  // U+0420..U+042F -> U+0440..U+044F
            out += char(0xD1);
            out += char(d - 0x20);
            return i + 2;
        }
        if (d >= 0x80 && d <= 0x8F) {  // U+0400..U+040F -> U+0450..U+045F
            out += char(0xD1);
            out += char(d + 0x10);
            return i + 2;
        }
    }
    out += char(c);
    return i + 1;
}

std::string fold(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();)
        i = foldChar(s, i, out);
    return out;
}

bool exists(const std::string& p)
{
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

int openFlags(bool readWrite) { return (readWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC; }

// A read-only handle that a read/write open of the same file now needs: its descriptor is
// replaced by a read/write one in place (a second descriptor would conflict with our own
// sharing claim). The claim moves to the new description.
void upgrade(TDiskHandle& h, const std::string& path, int op)
{
    std::lock_guard g(h.lock);
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        fail(errno, op, path);
    const int mode = h.shared ? LOCK_SH : LOCK_EX;
    ::flock(h.fd, LOCK_UN);
    if (::flock(fd, mode | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        ::flock(h.fd, mode | LOCK_NB);
        fail(err, op, path);
    }
    if (::dup2(fd, h.fd) < 0) {
        int err = errno;
        ::close(fd);
        fail(err, op, path);
    }
    ::close(fd);
    h.readWrite = true;
}

} // namespace

namespace {

// A mapped file that another process cuts short faults on the pages beyond its new end. A
// strided or mapped read catches that fault and gives up instead of ending the program; any
// other fault goes to whoever handled it before. The handler leaves the signal unblocked, so
// that a guarded copy need not save and restore the signal mask (a system call) each time.
thread_local sigjmp_buf* stridedJump = nullptr;
struct sigaction previousBus {};

void onBus(int sig, siginfo_t* info, void* context)
{
    if (stridedJump)
        siglongjmp(*stridedJump, 1);
    if ((previousBus.sa_flags & SA_SIGINFO) && previousBus.sa_sigaction) {
        previousBus.sa_sigaction(sig, info, context);
        return;
    }
    if (previousBus.sa_handler != SIG_DFL && previousBus.sa_handler != SIG_IGN) {
        previousBus.sa_handler(sig);
        return;
    }
    ::signal(SIGBUS, SIG_DFL);  // the fault repeats and ends the program, as without us
}

void catchBus()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa {};
        sa.sa_sigaction = onBus;
        sa.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGBUS, &sa, &previousBus);
    });
}

// Copies n bytes of a mapping; false when a page of it faulted (the file was cut short).
bool copyGuarded(char* out, const char* from, size_t n)
{
    catchBus();
    sigjmp_buf jump;
    if (sigsetjmp(jump, 0) != 0) {
        stridedJump = nullptr;
        return false;
    }
    stridedJump = &jump;
    std::memcpy(out, from, n);
    stridedJump = nullptr;
    return true;
}

}  // namespace

TDiskFile::TDiskFile() = default;
TDiskFile::~TDiskFile() { Close(); }

bool TDiskFile::Shared() const { return handle_ && handle_->shared; }

std::string TDiskFile::ResolvePath(const std::string& path)
{
    if (path.empty() || exists(path))
        return path;
    std::string result;
    size_t i = 0;
    if (path[0] == '/') {
        result = "/";
        i = 1;
    }
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos)
            j = path.size();
        std::string part = path.substr(i, j - i);
        i = j + 1;
        if (part.empty())
            continue;
        std::string folder = result.empty() ? "." : result;
        std::string joined = result.empty() ? part : (result.back() == '/' ? result + part : result + "/" + part);
        if (!exists(joined) && part != "." && part != "..") {
            std::string wanted = fold(part);
            std::string found;
            if (DIR* d = ::opendir(folder.c_str())) {
                while (dirent* e = ::readdir(d)) {
                    if (fold(e->d_name) == wanted) {
                        found = e->d_name;
                        break;
                    }
                }
                ::closedir(d);
            }
            // A name that matches nothing stays as given (a file about to be created).
            if (!found.empty())
                joined = result.empty() ? found : (result.back() == '/' ? result + found : result + "/" + found);
        }
        result = joined;
    }
    return result;
}

bool TDiskFile::Exists(const std::string& path) { return exists(ResolvePath(path)); }

void TDiskFile::Open(const std::string& path, bool readWrite, bool shared)
{
    Close();
    // The name as given is tried first; only a miss looks the folder through.
    std::string real = path;
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        real = ResolvePath(path);
        if (::stat(real.c_str(), &st) != 0)
            fail(errno, DbfErr::OpOpen, path);
    }
    // A folder, pipe or device in a table's place is refused (a pipe would block the open).
    if (!S_ISREG(st.st_mode))
        throw EDbfError(DbfErr::AccessDenied, DbfErr::OpOpen, path);
    {
        std::lock_guard g(registryLock);
        auto it = registry().find({st.st_dev, st.st_ino});
        if (it != registry().end()) {
            if (auto h = it->second.lock()) {
                if (readWrite && !h->readWrite)
                    upgrade(*h, real, DbfErr::OpOpen);
                handle_ = h;
                path_ = real;
                readWrite_ = readWrite;
                lastShort_ = false;
                return;
            }
        }
    }
    int fd = ::open(real.c_str(), openFlags(readWrite) | O_NONBLOCK);
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        throw EDbfError(DbfErr::AccessDenied, DbfErr::OpOpen, path);
    }
    if (fd < 0)
        fail(errno, DbfErr::OpOpen, path);
    // Sharing modes: an exclusive open keeps every other process out, a shared one keeps
    // out only exclusive opens.
    if (::flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        fail(err == EWOULDBLOCK ? EWOULDBLOCK : err, DbfErr::OpOpen, path);
    }
    Adopt(fd, st, readWrite, shared, real);
}

// A descriptor just opened becomes this object's handle, registered so that other opens of the
// same file in this process share it.
void TDiskFile::Adopt(int fd, const struct stat& st, bool readWrite, bool shared, const std::string& real)
{
    auto h = std::make_shared<TDiskHandle>();
    h->fd = fd;
    h->readWrite = readWrite;
    h->shared = shared;
    h->dev = st.st_dev;
    h->ino = st.st_ino;
    {
        std::lock_guard g(registryLock);
        registry()[{st.st_dev, st.st_ino}] = h;
    }
    handle_ = h;
    path_ = real;
    readWrite_ = readWrite;
    lastShort_ = false;
}

void TDiskFile::Create(const std::string& path, bool shared)
{
    Close();
    std::string real = ResolvePath(path);
    // A file this process holds open is truncated through its own handle.
    struct stat st;
    if (::stat(real.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            throw EDbfError(DbfErr::AccessDenied, DbfErr::OpCreate, path);
        std::shared_ptr<TDiskHandle> h;
        {
            std::lock_guard g(registryLock);
            auto it = registry().find({st.st_dev, st.st_ino});
            if (it != registry().end())
                h = it->second.lock();
        }
        if (h) {
            if (!h->readWrite)
                upgrade(*h, real, DbfErr::OpCreate);
            std::lock_guard g(h->lock);
            ++h->generation;
            if (::ftruncate(h->fd, 0) != 0)
                fail(errno, DbfErr::OpCreate, path);
            handle_ = h;
            path_ = real;
            readWrite_ = true;
            return;
        }
    }
    int fd = ::open(real.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        throw EDbfError(DbfErr::AccessDenied, DbfErr::OpCreate, path);
    }
    if (fd < 0)
        fail(errno, DbfErr::OpCreate, path);
    if (::flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        fail(err, DbfErr::OpCreate, path);
    }
    if (::ftruncate(fd, 0) != 0 || ::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        fail(err, DbfErr::OpCreate, path);
    }
    Adopt(fd, st, true, shared, real);
}

void TDiskFile::Close()
{
    unmap();
    if (!handle_)
        return;
    std::shared_ptr<TDiskHandle> h = std::move(handle_);
    handle_.reset();
    std::lock_guard g(registryLock);
    if (h.use_count() == 1) {
        auto it = registry().find({h->dev, h->ino});
        if (it != registry().end() && it->second.lock() == h)
            registry().erase(it);
    } else if (h->readWrite) {
        // Another open of the same file keeps the handle; ours only flushes.
        ::fdatasync(h->fd);
    }
}

bool TDiskFile::MapForReading()
{
    if (!handle_)
        throw EDbfError(103, DbfErr::OpRead, path_);
    unmap();
    const uint64_t size = Size();
    if (size == 0 || size > SIZE_MAX)
        return false;
    void* map = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, handle_->fd, 0);
    if (map == MAP_FAILED)
        return false;
    map_ = static_cast<const char*>(map);
    mapLength_ = size_t(size);
    mapEnd_ = size;
    mapGeneration_ = handle_->generation.load();
    return true;
}

void TDiskFile::unmap()
{
    if (map_)
        ::munmap(const_cast<char*>(map_), mapLength_);
    map_ = nullptr;
    mapLength_ = 0;
    mapEnd_ = 0;
}

void TDiskFile::Prefetch(uint64_t offset, size_t n) const
{
    if (!map_ || offset >= mapLength_)
        return;
    n = size_t(std::min<uint64_t>(n, mapLength_ - offset));
    // A prefetch of a page not mapped in yet is dropped, never faults: safe past a cut too.
    for (size_t at = 0; at < n; at += 64)
        __builtin_prefetch(map_ + offset + at);
    if (n > 0)
        __builtin_prefetch(map_ + offset + n - 1);
}

bool TDiskFile::readMapped(uint64_t offset, char* out, size_t n)
{
    if (handle_->generation.load() != mapGeneration_) {
        // Written, cut or copied over through this process since: the end is asked again,
        // since the bytes of a last page past the file's end read as zeros, not as missing.
        mapGeneration_ = handle_->generation.load();
        struct stat st;
        mapEnd_ = ::fstat(handle_->fd, &st) == 0 ? std::min<uint64_t>(uint64_t(st.st_size), mapLength_) : 0;
    }
    if (offset > mapEnd_ || n > mapEnd_ - offset)
        return false;
    return n == 0 || copyGuarded(out, map_ + offset, n);
}

size_t TDiskFile::Read(uint64_t offset, void* buffer, size_t n)
{
    if (!handle_)
        throw EDbfError(103, DbfErr::OpRead, path_);
    std::lock_guard g(handle_->lock);
    auto* p = static_cast<char*>(buffer);
    if (map_ && readMapped(offset, p, n)) {
        lastShort_ = false;
        return n;
    }
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::pread(handle_->fd, p + done, n - done, off_t(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            fail(errno, DbfErr::OpRead, path_);
        }
        if (r == 0)
            break;
        done += size_t(r);
    }
    lastShort_ = done < n;
    return done;
}

void TDiskFile::ReadExact(uint64_t offset, void* buffer, size_t n)
{
    if (Read(offset, buffer, n) != n)
        throw EDbfError(DbfErr::ShortRead, DbfErr::OpRead, path_);
}

void TDiskFile::Write(uint64_t offset, const void* buffer, size_t n)
{
    if (!handle_)
        throw EDbfError(103, DbfErr::OpWrite, path_);
    if (!readWrite_ || !handle_->readWrite)
        throw EDbfError(105, DbfErr::OpWrite, path_);
    std::lock_guard g(handle_->lock);
    ++handle_->generation;  // before the call: a failed write may still have changed bytes
    size_t done = 0;
    auto* p = static_cast<const char*>(buffer);
    while (done < n) {
        ssize_t r = ::pwrite(handle_->fd, p + done, n - done, off_t(offset + done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            fail(errno, DbfErr::OpWrite, path_);
        }
        done += size_t(r);
    }
}

uint64_t TDiskFile::Generation() const { return handle_ ? handle_->generation.load() : 0; }

uint64_t TDiskFile::Size() const
{
    if (!handle_)
        throw EDbfError(103, DbfErr::OpRead, path_);
    struct stat st;
    if (::fstat(handle_->fd, &st) != 0)
        fail(errno, DbfErr::OpRead, path_);
    return uint64_t(st.st_size);
}


bool TDiskFile::ReadStrided(uint64_t offset, uint64_t stride, size_t count, char* out) const
{
    if (!handle_ || count == 0)
        return count == 0;
    const uint64_t last = offset + uint64_t(count - 1) * stride;
    if (Size() <= last)
        return false;
    const uint64_t page = uint64_t(::sysconf(_SC_PAGESIZE));
    const uint64_t start = offset / page * page;
    const size_t length = size_t(last + 1 - start);
    void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, handle_->fd, off_t(start));
    if (map == MAP_FAILED)
        return false;
    ::madvise(map, length, MADV_SEQUENTIAL);
    catchBus();
    const volatile char* bytes = static_cast<const char*>(map) + (offset - start);
    sigjmp_buf jump;
    bool whole = true;
    if (sigsetjmp(jump, 1) == 0) {
        stridedJump = &jump;
        for (size_t i = 0; i < count; ++i)
            out[i] = bytes[uint64_t(i) * stride];
    } else {
        whole = false;
    }
    stridedJump = nullptr;
    ::munmap(map, length);
    return whole;
}

int64_t TDiskFile::ModificationTime() const
{
    if (!handle_)
        throw EDbfError(103, DbfErr::OpRead, path_);
    struct stat st;
    if (::fstat(handle_->fd, &st) != 0)
        fail(errno, DbfErr::OpRead, path_);
    return int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

void TDiskFile::Touch()
{
    if (!handle_)
        throw EDbfError(103, DbfErr::OpWrite, path_);
    if (!readWrite_ || !handle_->readWrite)
        throw EDbfError(105, DbfErr::OpWrite, path_);
    const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
    if (::futimens(handle_->fd, times) != 0)
        fail(errno, DbfErr::OpWrite, path_);
}

void TDiskFile::Truncate(uint64_t size)
{
    if (!handle_)
        throw EDbfError(103, DbfErr::OpWrite, path_);
    std::lock_guard g(handle_->lock);
    ++handle_->generation;
    if (::ftruncate(handle_->fd, off_t(size)) != 0)
        fail(errno, DbfErr::OpWrite, path_);
}

void TDiskFile::Flush()
{
    if (!handle_)
        throw EDbfError(103, DbfErr::OpFlush, path_);
    std::lock_guard g(handle_->lock);
    if (handle_->readWrite && ::fsync(handle_->fd) != 0)
        fail(errno, DbfErr::OpFlush, path_);
}

bool TDiskFile::Lock(uint64_t offset, uint64_t length, bool wait)
{
    if (!handle_)
        throw EDbfError(103, DbfErr::OpLock, path_);
    struct flock fl {};
    fl.l_type = handle_->readWrite ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = off_t(offset);
    fl.l_len = off_t(length);
    for (;;) {
        if (::fcntl(handle_->fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno == EACCES || errno == EAGAIN)
            return false;
        fail(errno, DbfErr::OpLock, path_);
    }
}

void TDiskFile::Unlock(uint64_t offset, uint64_t length)
{
    if (!handle_)
        return;
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = off_t(offset);
    fl.l_len = off_t(length);
    ::fcntl(handle_->fd, F_OFD_SETLK, &fl);
}

void TDiskFile::Move(const std::string& from, const std::string& to)
{
    std::string src = ResolvePath(from);
    if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return;
    int err = errno;
    if (err == EXDEV || err == EINVAL) {
        // Across file systems (or where no-replace renames are unsupported): copy, then remove.
        Copy(src, to, false);
        if (::unlink(src.c_str()) != 0)
            fail(errno, DbfErr::OpMove, from);
        return;
    }
    fail(err, DbfErr::OpMove, err == EEXIST ? to : from);
}

void TDiskFile::Copy(const std::string& from, const std::string& to, bool overwrite)
{
    std::string src = ResolvePath(from);
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        fail(errno, DbfErr::OpCopy, from);
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (overwrite ? O_TRUNC : O_EXCL), 0644);
    if (out < 0) {
        int err = errno;
        ::close(in);
        fail(err, DbfErr::OpCopy, to);
    }
    // Overwriting a file this process holds open changes it under that open's readers.
    std::shared_ptr<TDiskHandle> held;
    struct stat st;
    if (::fstat(out, &st) == 0) {
        std::lock_guard g(registryLock);
        auto it = registry().find({st.st_dev, st.st_ino});
        if (it != registry().end())
            held = it->second.lock();
    }
    auto touch = [&] {
        if (held)
            ++held->generation;
    };
    touch();
    std::vector<char> buf(65536);
    int err = 0;
    for (;;) {
        ssize_t r = ::read(in, buf.data(), buf.size());
        if (r < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            break;
        }
        if (r == 0)
            break;
        for (ssize_t done = 0; done < r;) {
            ssize_t w = ::write(out, buf.data() + done, size_t(r - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                err = errno;
                break;
            }
            done += w;
        }
        if (err)
            break;
    }
    if (!err && ::fsync(out) != 0)
        err = errno;
    ::close(in);
    ::close(out);
    touch();
    if (err) {
        ::unlink(to.c_str());  // no half-written copy stays behind
        fail(err, DbfErr::OpCopy, to);
    }
}

void TDiskFile::Delete(const std::string& path)
{
    std::string real = ResolvePath(path);
    if (::unlink(real.c_str()) != 0)
        fail(errno, DbfErr::OpDelete, path);
}
