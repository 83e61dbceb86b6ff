#pragma once
// Ways to make a write of CFG.ACI really fail while the tests run as root, who ignores the
// permission bits of folders.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

#include <csignal>
#include <sys/resource.h>

// The folder made immutable (chattr +i): no file can be created or renamed in it, not even by
// root. Effective() is false where the file system does not support the attribute.
class ImmutableFolder {
public:
    explicit ImmutableFolder(const QString& folder) : folder_(folder) {
        set_ = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), folder_}) == 0;
        if (set_) {
            QFile probe(QDir(folder_).filePath(QStringLiteral(".probe")));
            effective_ = !probe.open(QIODevice::WriteOnly);
            if (!effective_) probe.remove();
        }
    }
    ~ImmutableFolder() {
        if (set_) QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), folder_});
    }
    bool Effective() const { return effective_; }

private:
    QString folder_;
    bool set_ = false;
    bool effective_ = false;
};

// A full disk, as far as this process is concerned: files may be created but no byte may be
// written to them (RLIMIT_FSIZE 0, which binds root too; SIGXFSZ ignored so write() fails
// with EFBIG instead of ending the process). Keep its scope to the one call under test.
class FullDisk {
public:
    FullDisk() {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit none = old_;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &none);
    }
    ~FullDisk() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
};
