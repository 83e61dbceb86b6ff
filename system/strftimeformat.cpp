#include "system/strftimeformat.h"

#include <langinfo.h>
#include <locale.h>

namespace {

class Converter {
public:
    Converter(const QByteArray& ampm, int depth) : ampm_(ampm), depth_(depth) {}

    QString Run(const QByteArray& f) {
        for (qsizetype i = 0; i < f.size(); ++i) {
            if (f[i] != '%' || i + 1 >= f.size()) {
                literal_ += f[i];
                continue;
            }
            ++i;
            bool unpadded = false;
            while (i < f.size() && QByteArray("-_0^#").contains(f[i])) {
                if (f[i] == '-' || f[i] == '_') unpadded = true;
                ++i;
            }
            while (i < f.size() && f[i] >= '0' && f[i] <= '9') ++i;
            while (i < f.size() && (f[i] == 'E' || f[i] == 'O')) ++i;
            if (i >= f.size()) break;
            Directive(f[i], unpadded);
        }
        FlushLiteral();
        return out_;
    }

private:
    void Field(const char* padded, const char* plain, bool unpadded) {
        FlushLiteral();
        out_ += QLatin1String(unpadded ? plain : padded);
    }
    void Nested(const QByteArray& f) {
        FlushLiteral();
        if (depth_ < 3) out_ += Converter(ampm_, depth_ + 1).Run(f);
    }
    void Directive(char c, bool unpadded) {
        switch (c) {
        case 'a': Field("ddd", "ddd", false); break;
        case 'A': Field("dddd", "dddd", false); break;
        case 'b': case 'h': Field("MMM", "MMM", false); break;
        case 'B': Field("MMMM", "MMMM", false); break;
        case 'd': Field("dd", "d", unpadded); break;
        case 'e': Field("d", "d", true); break;
        case 'm': Field("MM", "M", unpadded); break;
        case 'y': case 'g': Field("yy", "yy", false); break;
        case 'Y': case 'G': Field("yyyy", "yyyy", false); break;
        case 'H': Field("HH", "H", unpadded); break;
        case 'k': Field("H", "H", true); break;
        case 'I': Field("hh", "h", unpadded); break;
        case 'l': Field("h", "h", true); break;
        case 'M': Field("mm", "m", unpadded); break;
        case 'S': Field("ss", "s", unpadded); break;
        case 'p': Field("AP", "AP", false); break;
        case 'P': Field("ap", "ap", false); break;
        case 'Z': case 'z': Field("t", "t", false); break;
        case 'D': Nested("%m/%d/%y"); break;
        case 'F': Nested("%Y-%m-%d"); break;
        case 'R': Nested("%H:%M"); break;
        case 'T': Nested("%H:%M:%S"); break;
        case 'r': Nested(ampm_.isEmpty() ? QByteArray("%I:%M:%S %p") : ampm_); break;
        case 'n': case 't': literal_ += ' '; break;
        case '%': literal_ += '%'; break;
        default: literal_ += '%'; literal_ += c; break;
        }
    }
    // Qt reads letters as fields, so literal text with letters or quotes goes in quotes.
    void FlushLiteral() {
        if (literal_.isEmpty()) return;
        const QString text = QString::fromUtf8(literal_);
        bool needsQuotes = false;
        for (QChar ch : text) needsQuotes = needsQuotes || ch.isLetter() || ch == QLatin1Char('\'');
        if (needsQuotes) {
            QString quoted = text;
            quoted.replace(QLatin1String("'"), QLatin1String("''"));
            out_ += QLatin1Char('\'') + quoted + QLatin1Char('\'');
        } else {
            out_ += text;
        }
        literal_.clear();
    }

    QByteArray ampm_;
    int depth_;
    QString out_;
    QByteArray literal_;  // bytes of the locale's own text, UTF-8
};

QString FromLocale(nl_item item) {
    locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) loc = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return item == T_FMT ? QStringLiteral("HH:mm:ss") : QStringLiteral("MM/dd/yy");
    const QByteArray format = nl_langinfo_l(item, loc);
    const QByteArray ampm = nl_langinfo_l(T_FMT_AMPM, loc);
    freelocale(loc);
    return QtFormatFromStrftime(format, ampm);
}

}  // namespace

QString QtFormatFromStrftime(const QByteArray& strftimeFormat, const QByteArray& ampm) {
    return Converter(ampm, 0).Run(strftimeFormat);
}

QString LocaleTimeFormat() { return FromLocale(T_FMT); }
QString LocaleShortDateFormat() { return FromLocale(D_FMT); }
