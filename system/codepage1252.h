#pragma once
// Every file the program reads or writes (settings, the schedule, the history) is Windows
// code page 1252 with CR LF line ends, as the files of the shops' installations are. All
// conversions happen here, at the file boundary; inside the program texts are QStrings.
#include <QByteArray>
#include <QString>
#include <QStringList>

// Code page 1252, not Latin-1: 0x80..0x9F hold the euro sign, curly quotes, dashes... The
// five bytes that code page 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the
// code points of the same value, so every byte survives a round trip. Characters outside the
// code page become '?'.
QByteArray ToCp1252(const QString& text);
QString FromCp1252(const QByteArray& bytes);

// The file's lines. Lines end with CR LF; a bare LF is taken as a line end too, and a last
// line without an end counts. A missing or unreadable file gives an empty list and *ok false.
QStringList ReadLines1252(const QString& path, bool* ok = nullptr);
// Replaces the whole file; every line, the last included, ends with CR LF.
bool WriteLines1252(const QString& path, const QStringList& lines);
// The same through a temporary file renamed over the old one: on failure (read-only
// folder, full disk) the old file stays intact and the result is false.
bool WriteLines1252Atomic(const QString& path, const QStringList& lines);
