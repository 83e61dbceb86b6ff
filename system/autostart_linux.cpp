// The Linux layer of the Startup shortcut: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/<link name>.desktop (default ~/.config/autostart/), which the
// desktop session runs at logon.
#include "system/autostart.h"

#include "system/filenames.h"
#include "system/funcoes.h"
#include "system/rawfile.h"

namespace {

// The escapes of a desktop entry's string values: backslash, and the control characters
// that would break the line.
QString EscapeValue(const QString& value) {
    QString out;
    for (QChar c : value) {
        switch (c.unicode()) {
        case '\\': out += QLatin1String("\\\\"); break;
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\r': out += QLatin1String("\\r"); break;
        default: out += c;
        }
    }
    return out;
}

// One Exec argument: always in double quotes, with '"', '`', '$' and '\' escaped by a
// backslash, and '%' doubled (field codes); the string escapes apply on top of that.
QString QuoteExecArgument(const QString& argument) {
    QString quoted = QStringLiteral("\"");
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%')) quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return EscapeValue(quoted);
}

QString EscapeArgumentsTail(const QString& arguments) {
    QString tail = arguments;
    tail.replace(QLatin1String("%"), QLatin1String("%%"));
    return EscapeValue(tail);
}

}  // namespace

QString StartupShortcutPath(const QString& linkName) {
    return GetWindowsFolder() + QStringLiteral("/autostart/") + linkName + QStringLiteral(".desktop");
}

void CreateStartupShortcut(const QString& target, const QString& arguments, const QString& workingFolder,
                           const QString& linkName) {
    QString exec = QuoteExecArgument(target);
    if (!arguments.trimmed().isEmpty()) exec += QLatin1Char(' ') + EscapeArgumentsTail(arguments);
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=") + EscapeValue(linkName) + QStringLiteral("\n"
                                         "Exec=") + exec + QStringLiteral("\n"
                                         "Path=") + EscapeValue(workingFolder) + QStringLiteral("\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n");
    const QString path = StartupShortcutPath(linkName);
    // A folder that cannot be made or written is no concern of the caller's.
    if (!MakePathRaw(path.left(path.lastIndexOf(QLatin1Char('/'))))) return;
    // Names that are not UTF-8 go out as their own bytes; everything else is UTF-8.
    WriteFileRawAtomic(path, EncodeFileName(entry));
}

void DeleteStartupShortcut(const QString& linkName) { RemoveFileRaw(StartupShortcutPath(linkName)); }

bool StartupShortcutExists(const QString& linkName) { return FileExistsRaw(StartupShortcutPath(linkName)); }
