// The standard modal message box: caption "Wordpop", the text, a single OK button.
// Tests answer it through TestHook, so that no test ever waits on a window.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace MessageBox {

// Shows the box modally and returns once it is closed. The box runs its own event loop, so
// the program's timers keep running behind it. A line feed in the text starts a new line.
// With WORDPOP_MESSAGE_LOG=<file> set (tests that run the program as a child process) and no
// TestHook alive, the text and a line feed are appended to that file (UTF-8) instead, and the
// call returns at once as if OK had been pressed.
void show(const QString &text);

// What one box held when it was shown.
struct Shown {
    QString caption;
    QString text;
    QStringList buttons;
};

// While a TestHook lives, every box is still built and run, but it is recorded and answered
// with OK from inside its own loop as soon as it is up. Hooks nest; the innermost one records.
class TestHook {
public:
    TestHook();
    ~TestHook();
    TestHook(const TestHook &) = delete;
    TestHook &operator=(const TestHook &) = delete;

    const QList<Shown> &shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }

    // Used by the implementation.
    static TestHook *current();
    void record(const Shown &s) { m_shown.append(s); }

private:
    TestHook *m_previous;
    QList<Shown> m_shown;
};

} // namespace MessageBox
