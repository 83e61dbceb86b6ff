#include "system/filenames.h"

#include <sys/stat.h>

#include <cstdint>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Length of the valid UTF-8 sequence starting at `i`, and its code point; 0 when invalid
// (truncated, overlong, an encoded surrogate, beyond U+10FFFF, a stray continuation byte).
int ValidSequence(const QByteArray& b, qsizetype i, char32_t* cp) {
    const auto at = [&](qsizetype k) { return static_cast<std::uint8_t>(b[k]); };
    const std::uint8_t c = at(i);
    int len;
    char32_t value;
    if (c < 0x80) { *cp = c; return 1; }
    if (c >= 0xC2 && c <= 0xDF) { len = 2; value = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; value = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; value = c & 0x07; }
    else return 0;
    if (i + len > b.size()) return 0;
    for (int k = 1; k < len; ++k) {
        const std::uint8_t cc = at(i + k);
        if ((cc & 0xC0) != 0x80) return 0;
        value = (value << 6) | (cc & 0x3F);
    }
    if (len == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) return 0;
    if (len == 4 && (value < 0x10000 || value > 0x10FFFF)) return 0;
    *cp = value;
    return len;
}

void AppendUtf8(QByteArray& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

QString DecodeFileName(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        const int len = ValidSequence(bytes, i, &cp);
        if (len == 0) {
            out += QChar(static_cast<char16_t>(kEscapeBase + static_cast<std::uint8_t>(bytes[i])));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            out += QChar(static_cast<char16_t>(0xD800 + (v >> 10)));
            out += QChar(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            out += QChar(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

QByteArray EncodeFileName(const QString& name) {
    QByteArray out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() && QChar::isLowSurrogate(name[i + 1].unicode())) {
            AppendUtf8(out, QChar::surrogateToUcs4(u, name[i + 1].unicode()));
            ++i;
        } else if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
            out += static_cast<char>(u - kEscapeBase);
        } else if (QChar::isSurrogate(u)) {
            out += '?';
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

bool FileExistsRaw(const QString& path) {
    if (path.isEmpty()) return false;
    struct stat st;
    return ::stat(EncodeFileName(path).constData(), &st) == 0;
}

bool RegularFileExistsRaw(const QString& path) {
    if (path.isEmpty()) return false;
    struct stat st;
    return ::stat(EncodeFileName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}
