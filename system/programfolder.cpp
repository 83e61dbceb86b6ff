#include "system/programfolder.h"

#include "system/filenames.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

namespace {
QString overrideFolder;

// An installed package puts this marker beside the executable: its own folder is then not
// the operator's to write, and each user gets a program folder of their own.
const char kPerUserMarker[] = "PASTA_POR_USUARIO";

QString PerUserFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString folder = base + QStringLiteral("/sonaris-v1/");
    QDir().mkpath(folder);
    return folder;
}
}  // namespace

QString ExecutablePath() {
    // The link's own bytes, so that a folder whose name is not UTF-8 survives (see
    // filenames.h); the kernel gives the path with every link resolved.
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n > 0 && static_cast<size_t>(n) < sizeof buf) return DecodeFileName(QByteArray(buf, n));
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString ProgramFolder() {
    if (!overrideFolder.isEmpty()) return overrideFolder;
    QString folder = QFileInfo(ExecutablePath()).absolutePath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    if (FileExistsRaw(folder + QLatin1String(kPerUserMarker))) return PerUserFolder();
    return folder;
}

void SetProgramFolderOverride(const QString& folder) { overrideFolder = folder; }
