// The record the activity library shares with the program: four 32-bit fields, laid out as the
// program expects them. Included by the library and by the program's loader, so both agree.
#pragma once

#include <cstddef>
#include <cstdint>

struct HookRecord {
    uint32_t keyboardHandle; // 0: non-zero while the keyboard hook is installed
    uint32_t mouseHandle;    // 4: non-zero while the mouse hook is installed
    uint32_t source;         // 8: what the library watches (HookSource…); 0 before a hook starts
    int32_t notifyFd;        // 12: write end of the program's pipe; one byte per burst of activity
};

static_assert(sizeof(HookRecord) == 16);
static_assert(offsetof(HookRecord, keyboardHandle) == 0 && offsetof(HookRecord, mouseHandle) == 4
              && offsetof(HookRecord, notifyFd) == 12);

// The bytes the library writes to notifyFd.
constexpr unsigned char HookKeyboardByte = 2;
constexpr unsigned char HookMouseByte = 3;

// What a started library watches, for the program to tell the user. On a compositor's idle
// protocol keyboard and mouse are one: each installed hook reports every burst of input.
constexpr uint32_t HookSourceNone = 0;
constexpr uint32_t HookSourceX11 = 1;     // XInput 2 raw events
constexpr uint32_t HookSourceExtIdle = 2; // ext-idle-notify-v1
constexpr uint32_t HookSourceKdeIdle = 3; // org_kde_kwin_idle

// The five entry points, looked up by these names; all take no arguments.
extern "C" {
using HookRecPointerFn = HookRecord *(*)();
using HookControlFn = void (*)();
}
