// TDiskFile: the only engine code that touches a file descriptor. Positioned reads and
// writes, size, flush, byte-range locks, and the whole-file operations (move, copy, delete,
// lookup). Every failure is an EDbfError carrying the OS error code and the operation.
// Relies on POSIX only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct stat;

struct TDiskHandle;  // one OS handle shared by every open of the same file in the process

class TDiskFile {
public:
    TDiskFile();
    ~TDiskFile();
    TDiskFile(const TDiskFile&) = delete;
    TDiskFile& operator=(const TDiskFile&) = delete;

    // Opens an existing file. A name not found as given is looked up case-insensitively
    // (see ResolvePath). shared false takes an exclusive claim that makes a second process's
    // open fail with code 32; opening a file that this process already holds reuses its
    // handle (POSIX record locks belong to the process, so two descriptors would lose them).
    // Missing file: EDbfError(2, 1107, path).
    void Open(const std::string& path, bool readWrite, bool shared);
    // Creates or truncates the file, opened read/write.
    void Create(const std::string& path, bool shared = false);
    void Close();

    bool IsOpen() const { return handle_ != nullptr; }
    bool ReadWrite() const { return readWrite_; }
    bool Shared() const;
    const std::string& Path() const { return path_; }

    // Reads up to n bytes at offset; returns the count read. A short read remembers code 221
    // for CheckShortRead. ReadExact fails with EDbfError(221, 1101, path) instead.
    size_t Read(uint64_t offset, void* buffer, size_t n);
    void ReadExact(uint64_t offset, void* buffer, size_t n);
    bool LastReadWasShort() const { return lastShort_; }
    void Write(uint64_t offset, const void* buffer, size_t n);
    uint64_t Size() const;
    // Copies count bytes lying stride apart from offset on into out, reading the file in
    // place (mapped) rather than through reads of everything between them. False when the
    // file is shorter, cannot be mapped, or shrinks meanwhile; out is then incomplete and the
    // caller reads as usual.
    bool ReadStrided(uint64_t offset, uint64_t stride, size_t count, char* out) const;
    // Maps the file as it stands read-only, so that Read and ReadExact copy from memory
    // instead of making a system call each: for opens that only read a file nobody else may
    // change (exclusive). Writes and size changes through this process stay visible (the map
    // is the file's own pages; what lies beyond the file's end is read with a call); a
    // mapped page that another process cuts off faults, is caught, and is read with a call,
    // which reports the short read. False when nothing was mapped (empty file, no room).
    bool MapForReading();
    bool Mapped() const { return map_ != nullptr; }
    // Asks for the mapped bytes [offset, offset + n) to be brought into the processor's cache
    // (nothing when not mapped there): a hint that neither faults nor reads.
    void Prefetch(uint64_t offset, size_t n) const;
    // The file's last modification time in nanoseconds since the epoch, as the file system
    // keeps it (often only as fine as the kernel's clock tick, so two files written one after
    // the other may show equal times).
    int64_t ModificationTime() const;
    // Sets the modification time to now without writing a byte (read/write opens only).
    void Touch();
    // Counts the changes made to the file through any open of it in this process (writes,
    // truncation, Copy onto it); equal values mean no such change in between.
    uint64_t Generation() const;
    void Truncate(uint64_t size);
    void Flush();

    // Exclusive byte-range lock; false when another process holds an overlapping lock
    // (wait true blocks until granted). Locks of a process never conflict with each other.
    bool Lock(uint64_t offset, uint64_t length, bool wait = false);
    void Unlock(uint64_t offset, uint64_t length);

    // The path under which the file exists: the path itself when it exists, otherwise the
    // first entry of each folder level whose name matches case-insensitively (ASCII and
    // Cyrillic letters fold). Returns the path unchanged when nothing matches.
    static std::string ResolvePath(const std::string& path);
    static bool Exists(const std::string& path);  // after ResolvePath
    // Moves a file; fails (code 183) when the target exists, never replacing it.
    static void Move(const std::string& from, const std::string& to);
    // Copies a file's bytes; overwrite false fails (code 183) when the target exists.
    static void Copy(const std::string& from, const std::string& to, bool overwrite = false);
    static void Delete(const std::string& path);

private:
    void Adopt(int fd, const struct stat& st, bool readWrite, bool shared, const std::string& real);
    void unmap();
    // Copies from the map when [offset, offset + n) lies within it and within the file's end
    // as last known; false when the bytes must be read with a call.
    bool readMapped(uint64_t offset, char* out, size_t n);

    std::shared_ptr<TDiskHandle> handle_;
    std::string path_;
    bool readWrite_ = false;
    bool lastShort_ = false;
    const char* map_ = nullptr;
    size_t mapLength_ = 0;
    uint64_t mapGeneration_ = 0;  // the handle's generation mapEnd_ was learned at
    uint64_t mapEnd_ = 0;         // what of the map lies within the file
};
