// Sets (or, given no value, removes) an environment variable for one scope and puts back what
// was there before: for tests that point the code under test at a server of their own.
#pragma once

#include <QByteArray>
#include <QtGlobal>

class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};
