// Linked into sanitizer builds of the program and of the tests.
// Leaks of the desktop's own libraries (D-Bus, fontconfig, the X and GL client libraries) that
// Qt loads on a real display are theirs, not ours: LeakSanitizer leaves them out and keeps
// watching our code.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libdbus-1.so\n"
           "leak:libfontconfig.so\n"
           "leak:libX11.so\n"
           "leak:libxcb\n"
           "leak:libEGL\n"
           "leak:libGLX\n"
           "leak:libglib-2.0.so\n"
           "leak:libgstreamer\n"
           "leak:libpulse\n";
}
