#pragma once
// File names are bytes on Linux. A music file copied from an old Windows disk may carry a
// name in code page 1252 or any other encoding, and it must still be listed and still play.
// Names are decoded as UTF-8; every byte of an invalid sequence becomes the lone surrogate
// U+DC00 + byte (U+DC80..U+DCFF, as Python's "surrogateescape"), so that encoding the text
// gives back exactly the bytes the system handed us.
#include <QByteArray>
#include <QString>

QString DecodeFileName(const QByteArray& bytes);
// Exact inverse of DecodeFileName. Lone surrogates that DecodeFileName cannot produce
// become '?'.
QByteArray EncodeFileName(const QString& name);

// True when anything (file, folder, device...) exists at the path; the path is encoded with
// EncodeFileName and followed through symbolic links.
bool FileExistsRaw(const QString& path);
// True only for a regular file (after symbolic links): a folder named like a file is not one.
bool RegularFileExistsRaw(const QString& path);
