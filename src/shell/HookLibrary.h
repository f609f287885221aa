// The program's side of the activity library: loading it by its five entry points, handing it the
// write end of a pipe through the shared record, and starting and stopping its two hooks.
// Relies on hook/HookRecord.h for the record's layout; the pipe's read end is for the caller to watch.
#pragma once

#include <QString>
#include <cstdint>

struct HookRecord;

class HookLibrary {
public:
    HookLibrary() = default;
    ~HookLibrary();
    HookLibrary(const HookLibrary &) = delete;
    HookLibrary &operator=(const HookLibrary &) = delete;

    // Loads the first "wordpop-hook.so" that exists in the lookup order and starts both hooks.
    bool load();
    // Loads that file. It counts as loaded only when all five entry points exist, it gives a
    // record, and a hook actually started (without an X server none does). Otherwise nothing
    // stays open and the result is false; there is no message.
    bool load(const QString &file);
    // Stops each installed hook, keyboard first, closes the library and the pipe.
    void unload();
    bool isLoaded() const { return m_handle != nullptr; }
    QString file() const { return m_file; }

    // Keyboard hook, then mouse hook; nothing when not loaded.
    void startHooks();
    void stopHooks();

    // Read end of the pipe (non-blocking), -1 when not loaded.
    int readFd() const { return m_readFd; }
    uint32_t keyboardHandle() const;
    uint32_t mouseHandle() const;
    // What the library watches (HookSource… of HookRecord.h); HookSourceNone when not loaded.
    uint32_t source() const;

private:
    void closeAll();

    void *m_handle = nullptr;
    QString m_file;
    HookRecord *m_record = nullptr;
    void (*m_startKeyb)() = nullptr;
    void (*m_startMouse)() = nullptr;
    void (*m_stopKeyb)() = nullptr;
    void (*m_stopMouse)() = nullptr;
    int m_readFd = -1;
    int m_writeFd = -1;
};
