// Writing beside, then renaming: a file is replaced only by a complete new one. The new bytes go
// to a hidden temporary in the target's folder, reach the disk, and are renamed over the target
// (which keeps its mode); the folder is synced after. A failure or a crash at any moment leaves
// the old file byte for byte. Used by every writer that replaces a file the user keeps: the
// settings save, the dictionary editor and wordpop-dict. Plain POSIX, no Qt.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace SafeWrite {

// A failure, with the path and the system's reason in its text.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A hidden temporary in the folder of `target`: "." + stem + ".tmp-XXXXXX" + the target's
// extension, reserved on disk (empty) with the mode the target has (a new file's mode when the
// target does not exist). Removed on destruction unless committed; throws Error when it cannot be
// made.
class Temporary {
public:
    explicit Temporary(const std::string &target);
    ~Temporary();
    Temporary(const Temporary &) = delete;
    Temporary &operator=(const Temporary &) = delete;

    const std::string &path() const { return m_path; }
    // The temporary's name with another extension (".cdx"), for a file that belongs with it; not
    // reserved, but removed with the temporary when it exists.
    std::string companion(const std::string &extension) const;

    // Syncs the temporary and renames it over `target`, then syncs the folder. Throws Error;
    // the target is then as it was.
    void commit(const std::string &target);
    bool committed() const { return m_committed; }

private:
    std::string m_path;
    std::string m_stem; // the path without its extension
    bool m_committed = false;
};

// A table and its index made beside a dictionary: the temporary table and its companion index.
// commit renames the index first (when asked), so a table never stands beside another table's
// index; without the index the companion is removed.
class TempPair {
public:
    explicit TempPair(const std::string &target) : m_table(target) {}
    const std::string &table() const { return m_table.path(); }
    std::string index() const { return m_table.companion(".cdx"); }
    void commit(const std::string &targetTable, const std::string &targetIndex, bool withIndex);

private:
    Temporary m_table;
};

// Replaces `target` with `size` bytes. False (and the target unchanged) on failure, with the
// reason in *error when given.
bool ReplaceFile(const std::string &target, const void *data, std::size_t size, std::string *error = nullptr);

// Writes all of `data` to `fd`, through interruptions and short writes; false (errno set) on
// failure.
bool WriteAll(int fd, const char *data, std::size_t size);

// fsync of a file or a folder by name; false when it could not be opened or synced.
bool SyncPath(const std::string &path);
// The folder part of a path, with its trailing "/" ("./" for a bare name).
std::string FolderOf(const std::string &path);

bool FileExists(const std::string &path);
// Each throws Error on failure.
void CopyFile(const std::string &from, const std::string &to);
void RenameOver(const std::string &from, const std::string &to);
void RemoveFile(const std::string &path); // a missing file is no failure

} // namespace SafeWrite
