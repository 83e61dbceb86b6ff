#include "system/funcoes.h"

#include "system/codepage1252.h"
#include "system/filenames.h"
#include "system/messageboxes.h"

#include <QDir>

namespace {
constexpr qsizetype kMaxSettingLength = 255;
}

QString ReadSetting(const QStringList& lines, const QString& key, const QString& def) {
    const QString needle = key + QLatin1Char('=');
    for (const QString& line : lines) {
        if (!line.contains(needle)) continue;
        return line.mid(line.indexOf(QLatin1Char('=')) + 1).left(kMaxSettingLength);
    }
    return def;
}

QString PadLeftZeros(const QString& text, std::int32_t width) {
    qsizetype first = 0;
    while (first < text.size() && text[first].unicode() <= 32) ++first;
    const qsizetype length = text.size() - first;
    if (length >= width) return text;
    return QString(width - length, QLatin1Char('0')) + text.mid(first);
}

void BeepMessage(const QString& text) {
    MessageBoxes().Beep();
    MessageBoxes().Message(text, ApplicationTitle());
}

bool ConfirmBox(const QString& text) {
    MessageBoxes().Beep();
    return MessageBoxes().Confirm(text, QStringLiteral("Tavon Sistemas"));
}

QString GetWindowsFolder() {
    // The XDG rules: a relative $XDG_CONFIG_HOME is invalid and is ignored.
    QString folder = DecodeFileName(qgetenv("XDG_CONFIG_HOME"));
    if (!folder.startsWith(QLatin1Char('/'))) {
        QString home = DecodeFileName(qgetenv("HOME"));
        if (home.isEmpty()) home = QDir::homePath();
        while (home.size() > 1 && home.endsWith(QLatin1Char('/'))) home.chop(1);
        folder = (home == QLatin1String("/") ? QString() : home) + QStringLiteral("/.config");
    }
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return folder;
}

QString WeekdayName(int n) {
    static const char16_t* const names[] = {u"Domingo",      u"Segunda-Feira", u"Terça-Feira", u"Quarta-Feira",
                                            u"Quinta-Feira", u"Sexta-Feira",   u"Sábado"};
    if (n < 1 || n > 7) return QString();
    return QString::fromUtf16(names[n - 1]);
}

QString DescramblePassword(const QString& text, std::int32_t key) {
    QByteArray bytes = ToCp1252(text);
    // Lowering a byte by one, key times over, is lowering it by the key modulo 256.
    const int shift = key > 0 ? key % 256 : 0;
    for (char& c : bytes) {
        c = key > 0 ? static_cast<char>((static_cast<unsigned char>(c) - shift + 256) % 256) : ' ';
    }
    return FromCp1252(bytes);
}
