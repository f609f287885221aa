// The scale of the program's clock; see TimeScale.h.
#include "platform/TimeScale.h"

#include <climits>
#include <cstdint>

namespace {
constexpr int kRealMinute = 60000;
int g_msPerMinute = kRealMinute;

int clampInterval(std::int64_t ms)
{
    if (ms < 0)
        return 0;
    return ms > INT_MAX ? INT_MAX : int(ms);
}
} // namespace

namespace TimeScale {

int msPerMinute() { return g_msPerMinute; }

void setMsPerMinute(int ms) { g_msPerMinute = ms > 0 ? ms : kRealMinute; }

int minutes(int m) { return clampInterval(std::int64_t(m) * g_msPerMinute); }

int milliseconds(int ms)
{
    if (ms <= 0)
        return 0;
    // Never shorter than 1 ms: a pause that exists must still wait for the event loop.
    const std::int64_t scaled = std::int64_t(ms) * g_msPerMinute / kRealMinute;
    return clampInterval(scaled > 0 ? scaled : 1);
}

} // namespace TimeScale
