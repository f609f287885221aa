// An activity library that lacks "STOPMOUSEHOOK": the program must not use it at all.
// It counts its start calls so a test can see that none was made.
#include <cstdint>

namespace {
uint32_t g_record[4];
int g_starts;
}

extern "C" {
__attribute__((visibility("default"))) uint32_t *GETHOOKRECPOINTER() { return g_record; }
__attribute__((visibility("default"))) void STARTKEYBHOOK() { ++g_starts; g_record[0] = 1; }
__attribute__((visibility("default"))) void STARTMOUSEHOOK() { ++g_starts; g_record[1] = 1; }
__attribute__((visibility("default"))) void STOPKEYBHOOK() { g_record[0] = 0; }
__attribute__((visibility("default"))) int STARTCALLS() { return g_starts; }
}
