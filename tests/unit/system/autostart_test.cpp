#include "system/autostart.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

// A desktop entry's string escapes (\s \n \t \r \\).
QString UnescapeValue(const QString& value) {
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != QLatin1Char('\\') || i + 1 == value.size()) { out += value[i]; continue; }
        const QChar c = value[++i];
        out += c == QLatin1Char('s') ? QChar(' ') : c == QLatin1Char('n') ? QChar('\n')
             : c == QLatin1Char('t') ? QChar('\t') : c == QLatin1Char('r') ? QChar('\r') : c;
    }
    return out;
}

// The Exec key's arguments, un-quoted by the Desktop Entry rules: string escapes first,
// then quoting (inside "...", a backslash escapes " ` $ \), then %% is a literal %.
QStringList ExecArguments(const QString& exec) {
    const QString s = UnescapeValue(exec);
    QStringList args;
    QString current;
    bool inQuotes = false, any = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < s.size() && QStringLiteral("\"`$\\").contains(s[i + 1])) current += s[++i];
            else if (c == QLatin1Char('"')) inQuotes = false;
            else current += c;
        } else if (c == QLatin1Char('"')) {
            inQuotes = any = true;
        } else if (c == QLatin1Char(' ')) {
            if (any) args << current;
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any) args << current;
    for (QString& a : args) a.replace(QLatin1String("%%"), QLatin1String("%"));
    return args;
}

QString Key(const QString& file, const QString& key) {
    const QString text = QString::fromUtf8(ReadBytes(file));
    for (const QString& line : text.split('\n'))
        if (line.startsWith(key + '=')) return line.mid(key.size() + 1);
    return "<missing>";
}

class Autostart : public ::testing::Test {
protected:
    TempProgramFolder folder;
    QString EntryPath() const { return folder.ConfigHome() + "/autostart/" + StartupLinkName + ".desktop"; }
};

TEST_F(Autostart, EntryIsCreatedFoundAndDeleted) {
    EXPECT_FALSE(StartupShortcutExists(StartupLinkName));
    CreateStartupShortcut("/opt/sonaris/sonaris-v1", "", "/opt/sonaris/", StartupLinkName);
    EXPECT_TRUE(StartupShortcutExists(StartupLinkName));
    EXPECT_EQ(StartupShortcutPath(StartupLinkName), EntryPath());

    const QString text = QString::fromUtf8(ReadBytes(EntryPath()));
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_EQ(Key(EntryPath(), "Type"), "Application");
    EXPECT_EQ(Key(EntryPath(), "Name"), StartupLinkName);
    EXPECT_EQ(Key(EntryPath(), "Exec"), "\"/opt/sonaris/sonaris-v1\"");
    EXPECT_EQ(Key(EntryPath(), "Path"), "/opt/sonaris/");
    EXPECT_EQ(Key(EntryPath(), "X-GNOME-Autostart-enabled"), "true");

    DeleteStartupShortcut(StartupLinkName);
    EXPECT_FALSE(StartupShortcutExists(StartupLinkName));
    DeleteStartupShortcut(StartupLinkName);  // nothing there: nothing happens
}

TEST_F(Autostart, ExecGivesBackAnAwkwardPathExactly) {
    const QString target = QStringLiteral("/home/loja/Área de Trabalho/it's \"Só\" $HOME `x` back\\slash 100%/sonaris v1");
    const QString working = QStringLiteral("/home/loja/Área de Trabalho/back\\slash/");
    CreateStartupShortcut(target, "", working, StartupLinkName);
    const QByteArray bytes = ReadBytes(EntryPath());
    EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes);  // valid UTF-8
    EXPECT_EQ(ExecArguments(Key(EntryPath(), "Exec")), QStringList{target});
    EXPECT_EQ(UnescapeValue(Key(EntryPath(), "Path")), working);
}

TEST_F(Autostart, ArgumentsFollowTheTarget) {
    CreateStartupShortcut("/opt/a b/run", "--minimised", "/opt/a b/", "Other");
    EXPECT_EQ(ExecArguments(Key(folder.ConfigHome() + "/autostart/Other.desktop", "Exec")),
              (QStringList{"/opt/a b/run", "--minimised"}));
}

TEST_F(Autostart, ReplacesAnExistingEntry) {
    CreateStartupShortcut("/old/path", "", "/old/", StartupLinkName);
    CreateStartupShortcut("/new/path", "", "/new/", StartupLinkName);
    EXPECT_EQ(ExecArguments(Key(EntryPath(), "Exec")), QStringList{"/new/path"});
}

TEST_F(Autostart, AnEntryPutThereByHandCounts) {
    QDir().mkpath(folder.ConfigHome() + "/autostart");
    WriteBytes(EntryPath(), "[Desktop Entry]\n");
    EXPECT_TRUE(StartupShortcutExists(StartupLinkName));
}

TEST_F(Autostart, FolderIsLookedUpAtEveryCall) {
    CreateStartupShortcut("/opt/s", "", "/opt/", StartupLinkName);
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.File("elsewhere")));
    EXPECT_FALSE(StartupShortcutExists(StartupLinkName));
    qputenv("XDG_CONFIG_HOME", old);
    EXPECT_TRUE(StartupShortcutExists(StartupLinkName));
}

TEST_F(Autostart, UnwritableFolderIsIgnoredSilently) {
    WriteBytes(folder.File("plainfile"), "x");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.File("plainfile")));
    CreateStartupShortcut("/opt/s", "", "/opt/", StartupLinkName);
    EXPECT_FALSE(StartupShortcutExists(StartupLinkName));
    DeleteStartupShortcut(StartupLinkName);
    EXPECT_EQ(ReadBytes(folder.File("plainfile")), "x");
}

}  // namespace
