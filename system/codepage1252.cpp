#include "system/codepage1252.h"

#include "system/rawfile.h"

#include <array>
#include <cstdint>

namespace {

// Code points of the bytes 0x80..0x9F; the undefined ones keep their own value.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char ByteFor(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
    return '?';
}

QByteArray Join(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        out += ToCp1252(line);
        out += "\r\n";
    }
    return out;
}

}  // namespace

QByteArray ToCp1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            out += '?';  // one character outside the code page, one '?'
            ++i;
        } else {
            out += ByteFor(u);
        }
    }
    return out;
}

QString FromCp1252(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const std::uint8_t b = static_cast<std::uint8_t>(bytes[i]);
        d[i] = QChar((b >= 0x80 && b <= 0x9F) ? kHigh[b - 0x80] : char16_t(b));
    }
    return out;
}

QStringList ReadLines1252(const QString& path, bool* ok) {
    const std::optional<QByteArray> bytes = ReadFileRaw(path);
    if (ok) *ok = bytes.has_value();
    QStringList lines;
    if (!bytes) return lines;
    const QByteArray& b = *bytes;
    qsizetype start = 0;
    while (start < b.size()) {
        qsizetype end = b.indexOf('\n', start);
        const bool last = end < 0;
        if (last) end = b.size();
        qsizetype stop = end;
        if (!last && stop > start && b[stop - 1] == '\r') --stop;
        lines << FromCp1252(b.mid(start, stop - start));
        start = end + 1;
    }
    return lines;
}

bool WriteLines1252(const QString& path, const QStringList& lines) {
    return WriteFileRaw(path, Join(lines));
}

bool WriteLines1252Atomic(const QString& path, const QStringList& lines) {
    return WriteFileRawAtomic(path, Join(lines));
}
