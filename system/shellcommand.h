#pragma once
// Running a system command and forgetting it: no shell, no window, output discarded.
#include <QString>
#include <QStringList>

// True when the program could be started; callers may ignore it.
bool StartDetached(const QString& program, const QStringList& args);
// Empties the system's name-resolution cache (resolvectl flush-caches), as the "ipconfig
// /flushdns" of the Windows player did. Whatever happens is ignored.
void FlushDnsCache();
