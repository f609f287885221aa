// Test entry point for every program that drives Qt: one QApplication for the whole run.
// Widgets run offscreen unless QT_QPA_PLATFORM says otherwise; tests that need X11 talk to
// the X server ($DISPLAY) on connections of their own.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Texts are checked in Russian (the source texts) whatever the machine's locale; the
    // programs a test starts inherit it.
    if (!qEnvironmentVariableIsSet("WORDPOP_LANG"))
        qputenv("WORDPOP_LANG", "ru");
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
