// The real wordpop as a process of a test: its environment in a test's own folders and on a
// given X server, its start (also until its event loop runs) and its end as a session ends it.
// Header-only, without Xlib, so that tests that drive the program otherwise can use it too.
#pragma once

#include "common/TestHome.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace ProgramOnX {

inline const QString kProgram = QStringLiteral(WORDPOP_BINARY_DIR "/wordpop");

// The program's environment for a test: its folders in `home`, the X server `display`, and
// every message box it would show written to "messages.txt" in the test's folder instead.
inline QProcessEnvironment environment(const TestHome &home, const QString &display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WORDPOP_HOME", home.home());
    env.insert("XDG_CONFIG_HOME", home.configHome());
    env.insert("XDG_RUNTIME_DIR", home.runtimeDir());
    env.insert("WORDPOP_MESSAGE_LOG", home.root() + "/messages.txt");
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", display);
    return env;
}

// Starts the program in `env`, its output mixed into the test's; false when it did not start.
inline bool start(QProcess &program, const QProcessEnvironment &env)
{
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(kProgram, {});
    return program.waitForStarted(10000);
}

// Starts the program as start() does and waits until its event loop runs (it writes a byte to
// WORDPOP_READY_FD then); false when it did not start or its loop did not run within `ms`.
inline bool startAndWaitForLoop(QProcess &program, QProcessEnvironment env, int ms = 60000)
{
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return false;
    ::fcntl(ready[1], F_SETFD, 0); // the child inherits the write end only
    env.insert("WORDPOP_READY_FD", QString::number(ready[1]));
    const bool started = start(program, env);
    ::close(ready[1]);
    pollfd pfd{ready[0], POLLIN, 0};
    char c;
    const bool running = started && ::poll(&pfd, 1, ms) == 1 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    return running;
}

// Ends the program with `signal`, as a desktop session ends it; it must leave cleanly.
inline void endWith(QProcess &program, int signal = SIGTERM)
{
    ::kill(program.processId(), signal);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

} // namespace ProgramOnX
