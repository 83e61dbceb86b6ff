#include "system/singleinstance.h"

#include "system/filenames.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace {
QString RuntimeFolder() {
    const QString runtime = DecodeFileName(qgetenv("XDG_RUNTIME_DIR"));
    if (runtime.startsWith(QLatin1Char('/')) && QFileInfo(runtime).isDir()) return runtime;
    return QDir::tempPath();
}
}  // namespace

SingleInstance::SingleInstance()
    : path_(RuntimeFolder() + QStringLiteral("/sonaris-v1-") + QString::number(::getuid()) + QStringLiteral(".lock")),
      lock_(std::make_unique<QLockFile>(path_)) {
    // Never stale by age: the player runs for weeks. A lock whose process has died is still
    // recognised as stale and removed by QLockFile.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Acquire() {
    if (lock_->isLocked()) return true;
    return lock_->tryLock(0);
}
