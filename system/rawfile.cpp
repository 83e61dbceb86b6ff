#include "system/rawfile.h"

#include "system/filenames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

namespace {

bool WriteAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// The process's umask, read without changing it (umask() would set it for a moment under
// the feet of other threads).
mode_t CurrentUmask() {
    FILE* f = std::fopen("/proc/self/status", "re");
    if (!f) return 022;
    char line[256];
    mode_t mask = 022;
    while (std::fgets(line, sizeof line, f)) {
        unsigned value;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = static_cast<mode_t>(value);
            break;
        }
    }
    std::fclose(f);
    return mask;
}

}  // namespace

std::optional<QByteArray> ReadFileRaw(const QString& path) {
    const int fd = ::open(EncodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buf, n);
    }
    ::close(fd);
    return out;
}

bool WriteFileRaw(const QString& path, const QByteArray& bytes) {
    const int fd = ::open(EncodeFileName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, bytes);
    return ::close(fd) == 0 && written;
}

bool WriteFileRawAtomic(const QString& path, const QByteArray& bytes) {
    const QByteArray target = EncodeFileName(path);
    if (target.isEmpty() || target.endsWith('/')) return false;
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : target.left(slash));
    const QByteArray base = target.mid(slash + 1);

    QByteArray pattern = folder;
    if (!pattern.endsWith('/')) pattern += '/';
    pattern += '.' + base + ".XXXXXX";
    std::vector<char> name(pattern.constData(), pattern.constData() + pattern.size() + 1);
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;

    struct stat old;
    const mode_t mode = ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());
    bool ok = WriteAll(fd, bytes);
    ok = ok && ::fchmod(fd, mode) == 0;
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(name.data(), target.constData()) == 0;
    if (!ok) {
        ::unlink(name.data());
        return false;
    }
    // Make the rename itself durable; a failure here does not undo the write.
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool RemoveFileRaw(const QString& path) {
    const QByteArray p = EncodeFileName(path);
    if (::unlink(p.constData()) == 0) return true;
    struct stat st;
    return errno == ENOENT && ::lstat(p.constData(), &st) != 0;
}

bool MakePathRaw(const QString& folder) {
    QByteArray p = EncodeFileName(folder);
    while (p.size() > 1 && p.endsWith('/')) p.chop(1);
    if (p.isEmpty()) return false;
    struct stat st;
    if (::stat(p.constData(), &st) == 0) return S_ISDIR(st.st_mode);
    const qsizetype slash = p.lastIndexOf('/');
    if (slash > 0 && !MakePathRaw(DecodeFileName(p.left(slash)))) return false;
    if (::mkdir(p.constData(), 0777) == 0) return true;
    return errno == EEXIST && ::stat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}
