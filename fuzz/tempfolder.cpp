#include "fuzz/tempfolder.h"

#include <QFile>
#include <QTemporaryDir>

namespace fuzz {

const QString& TempFolder() {
    static QTemporaryDir dir;
    static const QString path = dir.path() + QLatin1Char('/');
    return path;
}

void WriteFile(const QString& name, const QByteArray& bytes) {
    QFile file(TempFolder() + name);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

}  // namespace fuzz
