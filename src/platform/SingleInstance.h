// The one-instance rule: an advisory lock on a per-user file named after the mutex.
// The lock is held until the process ends; a second process finds it taken.
#pragma once

#include <QString>

namespace SingleInstance {

// The lock file for `name`: $XDG_RUNTIME_DIR/<name>.lock, else <temp>/<name>-<uid>.lock.
QString lockPath(const QString &name);

// Takes the lock for `name` without waiting. True when this process now holds it; false when
// another process does (or the file cannot be made, in which case nothing stops us: true).
// The descriptor is deliberately never closed, so the lock lasts exactly as long as we do.
bool acquire(const QString &name);

} // namespace SingleInstance
