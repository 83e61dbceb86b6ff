#pragma once
// Start with the user's session, and the mark of a player left activated: one autostart
// entry per link name. The entry's place is looked up anew at every call, nothing is kept
// in memory, and failures are silent (the next start then just does not resume).
#include <QString>

// The program's one link name.
inline const QString StartupLinkName = QStringLiteral("Vendrasil Sonaris-V1 - DM");

// Writes (or replaces) the entry that starts `target` with `arguments` in `workingFolder`.
// `arguments` is a command-line tail appended to the quoted target as it is.
void CreateStartupShortcut(const QString& target, const QString& arguments, const QString& workingFolder,
                           const QString& linkName);
void DeleteStartupShortcut(const QString& linkName);
bool StartupShortcutExists(const QString& linkName);
// Where the entry of that link name lives (exposed for tests and diagnostics).
QString StartupShortcutPath(const QString& linkName);
