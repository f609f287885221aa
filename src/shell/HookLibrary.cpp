// Loading the activity library with dlopen and driving its hooks.
#include "shell/HookLibrary.h"

#include "HookRecord.h"
#include "platform/ActivityLibrary.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

HookLibrary::~HookLibrary()
{
    unload();
}

bool HookLibrary::load()
{
    if (isLoaded())
        return true;
    // The first library found is the one used: a broken copy in the program folder is not
    // quietly replaced by another one.
    for (const QString &file : ActivityLibrary::candidates()) {
        if (QFileInfo::exists(file))
            return load(file);
    }
    return false;
}

bool HookLibrary::load(const QString &file)
{
    if (isLoaded())
        unload();
    void *handle = dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return false;

    auto getRecord = reinterpret_cast<HookRecPointerFn>(dlsym(handle, "GETHOOKRECPOINTER"));
    m_startKeyb = reinterpret_cast<HookControlFn>(dlsym(handle, "STARTKEYBHOOK"));
    m_startMouse = reinterpret_cast<HookControlFn>(dlsym(handle, "STARTMOUSEHOOK"));
    m_stopKeyb = reinterpret_cast<HookControlFn>(dlsym(handle, "STOPKEYBHOOK"));
    m_stopMouse = reinterpret_cast<HookControlFn>(dlsym(handle, "STOPMOUSEHOOK"));
    m_handle = handle;
    m_file = file;
    if (!getRecord || !m_startKeyb || !m_startMouse || !m_stopKeyb || !m_stopMouse) {
        closeAll();
        return false;
    }
    // Without a record there is nowhere to put the pipe, so the library could never report.
    m_record = getRecord();
    int fds[2];
    if (!m_record || pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        closeAll();
        return false;
    }
    m_readFd = fds[0];
    m_writeFd = fds[1];
    m_record->keyboardHandle = 0;
    m_record->mouseHandle = 0;
    m_record->notifyFd = m_writeFd;
    startHooks();
    // A library that installs neither hook (no X server, no XInput 2) is as good as missing.
    if (m_record->keyboardHandle == 0 && m_record->mouseHandle == 0) {
        closeAll();
        return false;
    }
    return true;
}

void HookLibrary::unload()
{
    if (!isLoaded())
        return;
    if (m_record && m_record->keyboardHandle != 0)
        m_stopKeyb();
    if (m_record && m_record->mouseHandle != 0)
        m_stopMouse();
    closeAll();
}

void HookLibrary::closeAll()
{
    // The descriptor is about to close; its number must not reach whatever reuses it.
    if (m_record)
        m_record->notifyFd = -1;
    if (m_handle)
        dlclose(m_handle);
    m_handle = nullptr;
    m_file.clear();
    m_record = nullptr;
    m_startKeyb = m_startMouse = m_stopKeyb = m_stopMouse = nullptr;
    if (m_readFd >= 0)
        ::close(m_readFd);
    if (m_writeFd >= 0)
        ::close(m_writeFd);
    m_readFd = m_writeFd = -1;
}

void HookLibrary::startHooks()
{
    if (!isLoaded())
        return;
    m_startKeyb();
    m_startMouse();
}

void HookLibrary::stopHooks()
{
    if (!isLoaded())
        return;
    m_stopKeyb();
    m_stopMouse();
}

uint32_t HookLibrary::keyboardHandle() const
{
    return m_record ? m_record->keyboardHandle : 0;
}

uint32_t HookLibrary::mouseHandle() const
{
    return m_record ? m_record->mouseHandle : 0;
}

uint32_t HookLibrary::source() const
{
    return m_record ? m_record->source : 0;
}
