// Shared by the settings tests: a private program folder with a fresh record, byte access to
// the settings file, and a way to make a folder read-only even for a test run as root.
#pragma once

#include "common/TestHome.h"
#include "platform/ProgramFolder.h"
#include "settings/TOptions.h"

#include <QByteArray>
#include <QFile>

#include <cstdint>
#include <cstring>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramFolder::resolve();
        ASSERT_EQ(ProgramFolder::path(), home.home());
        std::memset(&o, 0, sizeof o);
    }
    void TearDown() override { ProgramFolder::set(QString()); }

    QByteArray fileBytes() const { return home.readFile("wordpop.opt"); }
    QByteArray image() const { return QByteArray(reinterpret_cast<const char *>(&o), sizeof o); }

    TestHome home;
    TOptions o;
};

inline std::int32_t int32At(const QByteArray &b, int offset)
{
    std::int32_t v = 0;
    std::memcpy(&v, b.constData() + offset, 4);
    return v;
}

inline void putInt32(QByteArray &b, int offset, std::int32_t v)
{
    std::memcpy(b.data() + offset, &v, 4);
}

// The zero-terminated string at an offset.
inline QByteArray stringAt(const QByteArray &b, int offset)
{
    return QByteArray(b.constData() + offset);
}

// Takes away, for this thread, the capabilities that let root ignore file permissions, so a
// read-only folder is read-only for the test whoever runs it.
class WithoutFileOverride {
public:
    WithoutFileOverride()
    {
        m_ok = ::syscall(SYS_capget, &m_header, m_saved) == 0;
        if (!m_ok)
            return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, m_saved, sizeof reduced);
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        __user_cap_header_struct h = m_header;
        m_ok = ::syscall(SYS_capset, &h, reduced) == 0;
    }
    ~WithoutFileOverride()
    {
        if (m_ok) {
            __user_cap_header_struct h = m_header;
            ::syscall(SYS_capset, &h, m_saved);
        }
    }
    bool ok() const { return m_ok; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_ok = false;
};
