// Temporaries beside a target and the rename that replaces it; POSIX rename is atomic, and the
// syncs make the new contents durable before and the rename durable after.
#include "platform/SafeWrite.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace SafeWrite {

namespace {

std::string errnoText(int error)
{
    return std::strerror(error);
}

std::string nameOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The extension of a file name ("" when it has none; a leading dot is no extension).
std::string extensionOf(const std::string &name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
}

} // namespace

bool WriteAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data += n;
        size -= std::size_t(n);
    }
    return true;
}

std::string FolderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool SyncPath(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

Temporary::Temporary(const std::string &target)
{
    const std::string name = nameOf(target);
    const std::string ext = extensionOf(name);
    const std::string stem = name.substr(0, name.size() - ext.size());
    // Hidden, so that a folder scan never lists a file that is half made.
    const std::string folder = target.find('/') == std::string::npos ? std::string() : FolderOf(target);
    std::string pattern = folder + "." + stem + ".tmp-XXXXXX" + ext;
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkostemps(buf.data(), int(ext.size()), O_CLOEXEC);
    if (fd < 0)
        throw Error("cannot create a temporary file beside " + target + ": " + errnoText(errno));
    // mkostemps makes the file private; it takes the mode the replaced file had, or that of any
    // new file (0666 less the umask).
    struct stat existing {};
    mode_t mode;
    if (::stat(target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    ::close(fd);
    m_path = buf.data();
    m_stem = m_path.substr(0, m_path.size() - ext.size());
}

Temporary::~Temporary()
{
    if (m_committed)
        return;
    ::unlink(m_path.c_str());
    ::unlink(companion(".cdx").c_str());
}

std::string Temporary::companion(const std::string &extension) const
{
    return m_stem + extension;
}

void Temporary::commit(const std::string &target)
{
    if (!SyncPath(m_path))
        throw Error("cannot write " + m_path + " to the disk: " + errnoText(errno));
    RenameOver(m_path, target);
    m_committed = true;
    SyncPath(FolderOf(target));
}

void TempPair::commit(const std::string &targetTable, const std::string &targetIndex, bool withIndex)
{
    const std::string index = m_table.companion(".cdx");
    if (withIndex) {
        if (!SyncPath(index))
            throw Error("cannot write " + index + " to the disk: " + errnoText(errno));
        RenameOver(index, targetIndex);
    }
    m_table.commit(targetTable);
    if (!withIndex)
        ::unlink(index.c_str());
}

bool ReplaceFile(const std::string &target, const void *data, std::size_t size, std::string *error)
{
    try {
        Temporary tmp(target);
        const int fd = ::open(tmp.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd < 0)
            throw Error("cannot open " + tmp.path() + ": " + errnoText(errno));
        const bool written = WriteAll(fd, static_cast<const char *>(data), size);
        const int saved = errno;
        ::close(fd);
        if (!written)
            throw Error("cannot write " + tmp.path() + ": " + errnoText(saved));
        tmp.commit(target);
        return true;
    } catch (const Error &e) {
        if (error)
            *error = e.what();
        return false;
    }
}

bool FileExists(const std::string &path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

void CopyFile(const std::string &from, const std::string &to)
{
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec)
        throw Error("cannot copy " + from + " to " + to + ": " + ec.message());
}

void RenameOver(const std::string &from, const std::string &to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0)
        throw Error("cannot rename " + from + " to " + to + ": " + errnoText(errno));
}

void RemoveFile(const std::string &path)
{
    std::error_code ec;
    if (!std::filesystem::remove(path, ec) && ec)
        throw Error("cannot delete " + path + ": " + ec.message());
}

} // namespace SafeWrite
