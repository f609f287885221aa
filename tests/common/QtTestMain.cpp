// Test entry point for every program that drives Qt: one QApplication for the whole run.
// Widgets run offscreen unless QT_QPA_PLATFORM says otherwise; tests that need X11 talk to
// the X server ($DISPLAY) on connections of their own.
#include <QApplication>
#include <gtest/gtest.h>

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

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
