// Temporaries beside a dictionary, so a command that fails leaves the files as they were:
// work happens on hidden copies that are renamed over the originals only at the end.
#pragma once

#include <string>
#include <vector>

namespace dict {

// A hidden table name in the folder of `target`, reserved on disk (an empty file), with the
// index name that belongs to it. Removed on destruction unless committed.
class TempPair {
public:
    explicit TempPair(const std::string &target);
    ~TempPair();
    TempPair(const TempPair &) = delete;
    TempPair &operator=(const TempPair &) = delete;

    const std::string &table() const { return table_; }
    const std::string &index() const { return index_; }
    // Renames the temporary table (and the index when it exists) over the target's names.
    // The index goes first, so a table is never left beside an index of another table.
    void commit(const std::string &targetTable, const std::string &targetIndex, bool withIndex);

private:
    std::string table_;
    std::string index_;
    bool committed_ = false;
};

bool FileExists(const std::string &path);
// Copies bytes; throws ToolError on failure.
void CopyFile(const std::string &from, const std::string &to);
void RenameOver(const std::string &from, const std::string &to);
void RemoveFile(const std::string &path);

} // namespace dict
