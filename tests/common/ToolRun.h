// Runs a command-line program to its end in a test (wordpop-dict above all) and keeps what it
// said. Header-only.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <string>

struct ToolRun {
    int exit = -1; // -1: it did not end in time; -2: it crashed
    std::string out, err;
};

inline ToolRun runTool(const QString &program, const QStringList &args, int ms = 120000)
{
    QProcess p;
    p.start(program, args);
    ToolRun r;
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        r.err = "timed out";
        return r;
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
}

// The dictionary tool built beside the program.
inline ToolRun dictTool(const QStringList &args)
{
    return runTool(QStringLiteral(WORDPOP_BINARY_DIR "/wordpop-dict"), args);
}
