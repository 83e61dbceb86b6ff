#include "system/programfolder.h"

#include <QFileInfo>

namespace {
QString overrideFolder;
}

QString ExecutablePath() {
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString ProgramFolder() {
    if (!overrideFolder.isEmpty()) return overrideFolder;
    QString folder = QFileInfo(ExecutablePath()).absolutePath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder;
}

void SetProgramFolderOverride(const QString& folder) { overrideFolder = folder; }
