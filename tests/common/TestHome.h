// A private program folder and XDG folders for one test, removed afterwards.
// Every test that touches files uses it, so no test ever sees the user's own files.
#pragma once

#include <QTemporaryDir>
#include <QString>
#include <QByteArray>

class TestHome {
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome &) = delete;
    TestHome &operator=(const TestHome &) = delete;

    // The program folder, with its trailing "/".
    QString home() const { return m_home; }
    QString configHome() const { return m_root.path() + "/config"; }
    QString runtimeDir() const { return m_root.path() + "/runtime"; }
    QString root() const { return m_root.path(); }

    // Writes (or overwrites) a file below the program folder, making its folders.
    void writeFile(const QString &relative, const QByteArray &bytes) const;
    QByteArray readFile(const QString &relative) const;

private:
    QTemporaryDir m_root;
    QString m_home;
    QByteArray m_saved[3];
    bool m_had[3];
};
