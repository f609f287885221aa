// Minutes as the program's timers count them. The program runs on real minutes; a test sets a
// shorter minute so that a lesson interval of a quarter of an hour passes in milliseconds.
#pragma once

namespace TimeScale {

// 60000 unless a test changed it.
int msPerMinute();
// Tests only; a value of 0 or less restores real minutes.
void setMsPerMinute(int ms);

// A setting in minutes as a timer interval: negative counts as 0, too long is cut to the
// longest interval a timer takes.
int minutes(int m);
// A setting in milliseconds (the inactivity pause) on the same clock.
int milliseconds(int ms);

} // namespace TimeScale
