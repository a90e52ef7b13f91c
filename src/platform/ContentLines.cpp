#include "ContentLines.h"

#include "Encoding.h"

namespace ContentLines
{
namespace
{
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
} // namespace

QStringView unquoted(QStringView value)
{
    if (value.size() >= 2 && value.front() == QLatin1Char('"') && value.back() == QLatin1Char('"'))
        return value.mid(1, value.size() - 2);
    return value;
}

QString unescapeText(QStringView value)
{
    qsizetype slash = value.indexOf(QLatin1Char('\\'));
    if (slash < 0)
        return value.toString();
    QString out;
    out.reserve(value.size());
    qsizetype from = 0;
    while (slash >= 0) {
        out.append(value.data() + from, slash - from);
        const char16_t n = slash + 1 < value.size() ? value.at(slash + 1).unicode() : u'\0';
        if (n == u'n' || n == u'N') {
            out.append(QLatin1Char('\n'));
            from = slash + 2;
        } else if (n == u',' || n == u';' || n == u'\\') {
            out.append(QChar(n));
            from = slash + 2;
        } else {
            out.append(QLatin1Char('\\'));
            from = slash + 1;
        }
        slash = value.indexOf(QLatin1Char('\\'), from);
    }
    out.append(value.data() + from, value.size() - from);
    return out;
}

QByteArray decodeQuotedPrintableBytes(const QByteArray& in)
{
    QByteArray out(in.size(), Qt::Uninitialized);
    char* dst = out.data();
    const char* p = in.constData();
    const qsizetype n = in.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        if (c != '=') {
            *dst++ = c;
            continue;
        }
        // Soft line break: "=" before LF or CR LF.
        if (i + 1 < n && p[i + 1] == '\n') {
            ++i;
            continue;
        }
        if (i + 2 < n && p[i + 1] == '\r' && p[i + 2] == '\n') {
            i += 2;
            continue;
        }
        if (i + 2 < n) {
            const int hi = hexValue(p[i + 1]);
            const int lo = hexValue(p[i + 2]);
            if (hi >= 0 && lo >= 0) {
                *dst++ = char((hi << 4) | lo);
                i += 2;
                continue;
            }
        }
        // Not an escape: the "=" is text.
        *dst++ = c;
    }
    out.truncate(dst - out.constData());
    return out;
}

QString decodeCharset(const QByteArray& bytes, QStringView charset)
{
    const QString name = charset.trimmed().toString().toLower();
    if (equals(name, "iso-8859-1") || equals(name, "latin1") || equals(name, "latin-1"))
        return Encoding::decodeWindows1252(bytes);
    QString text;
    if (!equals(name, "utf-8") && Encoding::decodeCharset(bytes, charset, &text))
        return text;
    if (Encoding::isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return Encoding::decodeMacRoman(bytes);
}
} // namespace ContentLines
