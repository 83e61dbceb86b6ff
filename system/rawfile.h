#pragma once
// Whole-file reads and writes on paths given as texts, encoded with EncodeFileName, so that
// folders whose names are not valid UTF-8 still work. No code-page conversion here: see
// codepage1252.h for the program's text files.
#include <QByteArray>
#include <QString>

#include <optional>

// The file's bytes; nothing when it is missing, a folder, or cannot be read.
std::optional<QByteArray> ReadFileRaw(const QString& path);
// Creates or truncates the file and writes the bytes. False on any failure (the file may
// then be left short).
bool WriteFileRaw(const QString& path, const QByteArray& bytes);
// Writes the bytes to a temporary file in the same folder, flushes it to disk and renames
// it over the old file, so a failure (read-only folder, full disk) leaves the old file as it
// was. An existing file keeps its permission bits. False on any failure.
bool WriteFileRawAtomic(const QString& path, const QByteArray& bytes);
// Removes a file (not a folder). True when it is gone afterwards.
bool RemoveFileRaw(const QString& path);
// Creates the folder and any missing parents. True when it exists afterwards.
bool MakePathRaw(const QString& folder);
