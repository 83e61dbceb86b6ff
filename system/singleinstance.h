#pragma once
// One running player per user: a lock file in the user's runtime folder ($XDG_RUNTIME_DIR,
// else the temporary folder) whose name carries the user id. The lock lives as long as the
// object; a lock left by a crashed run (its process is gone) is taken over.
#include <QLockFile>
#include <QString>

#include <memory>

class SingleInstance {
public:
    SingleInstance();
    ~SingleInstance();
    // True when this object holds the lock (now or from an earlier call); false while
    // another live process holds it.
    bool Acquire();
    // The lock file's path, looked up when the object was made.
    QString LockPath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};
