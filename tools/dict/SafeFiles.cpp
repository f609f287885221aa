// Temporary files and renames for wordpop-dict; POSIX rename replaces a target atomically.
#include "SafeFiles.h"

#include "Commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <sys/stat.h>
#include <unistd.h>

namespace dict {

namespace {

std::string folderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string stemOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0)
        name.resize(dot);
    return name;
}

std::string errnoText()
{
    return std::strerror(errno);
}

} // namespace

TempPair::TempPair(const std::string &target)
{
    // Hidden, so the program's folder scan never lists a dictionary that is half made.
    std::string pattern = folderOf(target) + "." + stemOf(target) + ".tmp-XXXXXX.wrd";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = mkstemps(buf.data(), 4);
    if (fd < 0)
        throw ToolError("cannot create a temporary file beside " + target + ": " + errnoText());
    // mkstemps makes the file private; the dictionary it becomes gets the mode a replaced file
    // had, or that of any new file (0666 less the umask).
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
    table_ = buf.data();
    index_ = table_.substr(0, table_.size() - 4) + ".cdx";
}

TempPair::~TempPair()
{
    if (committed_)
        return;
    std::error_code ec;
    std::filesystem::remove(table_, ec);
    std::filesystem::remove(index_, ec);
}

void TempPair::commit(const std::string &targetTable, const std::string &targetIndex, bool withIndex)
{
    if (withIndex)
        RenameOver(index_, targetIndex);
    RenameOver(table_, targetTable);
    committed_ = true;
    if (!withIndex) {
        std::error_code ec;
        std::filesystem::remove(index_, ec);
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
        throw ToolError("cannot copy " + from + " to " + to + ": " + ec.message());
}

void RenameOver(const std::string &from, const std::string &to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0)
        throw ToolError("cannot rename " + from + " to " + to + ": " + errnoText());
}

void RemoveFile(const std::string &path)
{
    std::error_code ec;
    if (!std::filesystem::remove(path, ec) && ec)
        throw ToolError("cannot delete " + path + ": " + ec.message());
}

} // namespace dict
