#include "system/shellcommand.h"

#include <QProcess>

bool StartDetached(const QString& program, const QStringList& args) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

void FlushDnsCache() { StartDetached(QStringLiteral("resolvectl"), {QStringLiteral("flush-caches")}); }
