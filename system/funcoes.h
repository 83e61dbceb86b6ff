#pragma once
// The unit funcoes: small stateless helpers that the windows share.
#include <QString>
#include <QStringList>

#include <cstdint>

// Value of the first line that contains key + "=" anywhere (case-sensitive, nothing
// trimmed): the part after the line's first "=", at most 255 characters. `def` when no line
// matches. Callers trim and convert numbers themselves.
QString ReadSetting(const QStringList& lines, const QString& key, const QString& def);
// Leading zeros up to `width` characters, counted without the leading blanks; a text that
// is already that long is returned as it was, blanks included. PadLeftZeros("7", 2) = "07".
QString PadLeftZeros(const QString& text, std::int32_t width);
// The default beep, then a plain box captioned with the application title.
void BeepMessage(const QString& text);
// The default beep, then an OK/Cancel question captioned "Tavon Sistemas". True only for OK.
bool ConfirmBox(const QString& text);
// Stands in for the Windows folder: the per-user configuration folder ($XDG_CONFIG_HOME,
// else ~/.config), without a trailing '/'.
QString GetWindowsFolder();
// 1 "Domingo" ... 7 "Sábado"; an empty text for any other number.
QString WeekdayName(int n);
// Plain text of a password read from PROXY.INI: every code-page-1252 byte lowered by the
// key, modulo 256; a key of zero or less gives one blank per byte.
QString DescramblePassword(const QString& text, std::int32_t key);
