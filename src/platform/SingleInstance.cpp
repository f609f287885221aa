// flock() on a per-user lock file; the kernel drops the lock when the process ends, however it ends.
#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace SingleInstance {

QString lockPath(const QString &name)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime + "/" + name + ".lock";
    return QDir::tempPath() + "/" + name + "-" + QString::number(::getuid()) + ".lock";
}

bool acquire(const QString &name)
{
    const QByteArray path = QFile::encodeName(lockPath(name));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return true; // a lock we cannot make must not keep the user from the program
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;
    const int err = errno;
    ::close(fd);
    return err != EWOULDBLOCK;
}

} // namespace SingleInstance
