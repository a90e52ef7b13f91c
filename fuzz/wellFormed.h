#pragma once

// Checks that what a writer produced can be read by any other program: the fuzz targets abort on a
// problem, and tests/fuzz replays the inputs that once gave one with the same checks. Header only,
// so that both can include it without a library of their own.
//
// Each function returns "" when the text is well formed, otherwise the first problem found with
// its line number.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace wellFormed
{
namespace detail
{
inline bool isNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

inline bool isControl(unsigned char c)
{
    return (c < 0x20 && c != '\t') || c == 0x7f;
}

/// Splits @p bytes at @p lineEnd; a last line without its line end counts as a line. Reports a CR
/// or LF that is not part of a line end.
inline QString splitLines(const QByteArray& bytes, const QByteArray& lineEnd, QList<QByteArray>* lines)
{
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype at = bytes.indexOf(lineEnd, from);
        if (at < 0)
            at = bytes.size();
        const QByteArray line = bytes.mid(from, at - from);
        if (line.contains('\r') || line.contains('\n'))
            return QStringLiteral("line %1: a line break inside the line").arg(lines->size() + 1);
        lines->append(line);
        from = at + lineEnd.size();
    }
    return {};
}

/// The parameters of one unfolded content line, up to the colon that starts its value.
inline QString contentLineProblem(const QByteArray& line)
{
    qsizetype i = 0;
    while (i < line.size() && isNameChar(line.at(i)))
        ++i;
    if (i == 0)
        return QStringLiteral("no property name");
    while (i < line.size() && line.at(i) == ';') {
        const qsizetype nameFrom = ++i;
        while (i < line.size() && isNameChar(line.at(i)))
            ++i;
        if (i == nameFrom)
            return QStringLiteral("a parameter without a name");
        if (i >= line.size() || line.at(i) != '=')
            return QStringLiteral("a parameter without a value");
        do {
            ++i; // '=' or ','
            if (i < line.size() && line.at(i) == '"') {
                const qsizetype close = line.indexOf('"', i + 1);
                if (close < 0)
                    return QStringLiteral("an unclosed quote in a parameter");
                i = close + 1;
            } else {
                while (i < line.size() && line.at(i) != ';' && line.at(i) != ':' && line.at(i) != ',') {
                    if (line.at(i) == '"')
                        return QStringLiteral("a quote inside a parameter value");
                    ++i;
                }
            }
        } while (i < line.size() && line.at(i) == ',');
    }
    if (i >= line.size() || line.at(i) != ':')
        return QStringLiteral("no colon before the value");
    return {};
}

/// BEGIN and END lines pair up by name (ignoring case) and every component is closed.
class Components
{
public:
    QString take(const QByteArray& line, int number)
    {
        const QByteArray upper = line.toUpper();
        if (upper.startsWith("BEGIN:")) {
            m_open.append(upper.mid(6));
        } else if (upper.startsWith("END:")) {
            if (m_open.isEmpty() || m_open.last() != upper.mid(4))
                return QStringLiteral("line %1: %2 closes nothing open").arg(number).arg(QString::fromUtf8(line));
            m_open.removeLast();
        }
        return {};
    }
    QString finish() const
    {
        return m_open.isEmpty() ? QString()
                                : QStringLiteral("BEGIN:%1 is never ended").arg(QString::fromUtf8(m_open.last()));
    }

private:
    QList<QByteArray> m_open;
};
} // namespace detail

/// iCalendar as RFC 5545 wants it written: lines of at most 75 octets (UTF-8) ended by
/// @p lineEnd, no control characters, folded lines that unfold into "NAME;PARAM=VALUE:value"
/// (parameter values quoted whole or free of quotes), BEGIN and END in pairs.
inline QString iCalendarProblem(const QString& text, const QByteArray& lineEnd = "\r\n")
{
    QList<QByteArray> lines;
    if (QString problem = detail::splitLines(text.toUtf8(), lineEnd, &lines); !problem.isEmpty())
        return problem;
    detail::Components components;
    QByteArray logical;
    int logicalNumber = 0;
    auto finishLogical = [&]() -> QString {
        if (logicalNumber == 0)
            return {};
        if (const QString p = detail::contentLineProblem(logical); !p.isEmpty())
            return QStringLiteral("line %1: %2: %3").arg(logicalNumber).arg(p, QString::fromUtf8(logical.left(200)));
        return components.take(logical, logicalNumber);
    };
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        const int number = i + 1;
        if (line.size() > 75)
            return QStringLiteral("line %1: %2 octets: %3").arg(number).arg(line.size()).arg(QString::fromUtf8(line));
        for (const char c : line) {
            if (detail::isControl(uchar(c)))
                return QStringLiteral("line %1: control character %2").arg(number).arg(int(uchar(c)));
        }
        if (line.isEmpty())
            return QStringLiteral("line %1: an empty line").arg(number);
        if (line.at(0) == ' ' || line.at(0) == '\t') {
            if (logicalNumber == 0)
                return QStringLiteral("line %1: a continuation with no line before it").arg(number);
            logical += line.mid(1);
            continue;
        }
        if (const QString p = finishLogical(); !p.isEmpty())
            return p;
        logical = line;
        logicalNumber = number;
    }
    if (const QString p = finishLogical(); !p.isEmpty())
        return p;
    return components.finish();
}

/// vCalendar 1.0: lines ended by CR LF (quoted-printable soft breaks included), no control
/// characters, BEGIN and END in pairs.
inline QString vCalendarProblem(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    if (QString problem = detail::splitLines(bytes, "\r\n", &lines); !problem.isEmpty())
        return problem;
    detail::Components components;
    for (int i = 0; i < lines.size(); ++i) {
        for (const char c : lines.at(i)) {
            if (detail::isControl(uchar(c)))
                return QStringLiteral("line %1: control character %2").arg(i + 1).arg(int(uchar(c)));
        }
        if (const QString p = components.take(lines.at(i), i + 1); !p.isEmpty())
            return p;
    }
    return components.finish();
}

/// A comma (RFC 4180) or tab list: rows ended by CR LF, each with as many fields as the first,
/// quoted fields closed and their quotes doubled, no control characters but the separator. Comma
/// lists quote every field that holds a quote; tab lists only those that begin with one.
inline QString delimitedProblem(const QString& text, QChar separator)
{
    const QByteArray bytes = text.toUtf8();
    const char sep = char(separator.unicode());
    int row = 1;
    int fields = 1;
    int expected = -1;
    bool quoted = false;
    bool fieldStart = true;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (quoted) {
            if (c == '"') {
                if (i + 1 < bytes.size() && bytes.at(i + 1) == '"') {
                    ++i;
                    continue;
                }
                quoted = false;
                if (i + 1 < bytes.size() && bytes.at(i + 1) != sep && bytes.at(i + 1) != '\r')
                    return QStringLiteral("row %1: text after a closing quote").arg(row);
            } else if (c == '\r' || c == '\n') {
                return QStringLiteral("row %1: a line break inside a quoted field").arg(row);
            }
            continue;
        }
        if (c == sep) {
            ++fields;
            fieldStart = true;
            continue;
        }
        if (c == '\r') {
            if (i + 1 >= bytes.size() || bytes.at(i + 1) != '\n')
                return QStringLiteral("row %1: a CR without LF").arg(row);
            ++i;
            if (expected < 0)
                expected = fields;
            else if (fields != expected)
                return QStringLiteral("row %1: %2 fields, the first row has %3").arg(row).arg(fields).arg(expected);
            ++row;
            fields = 1;
            fieldStart = true;
            continue;
        }
        if (c == '\n')
            return QStringLiteral("row %1: a LF without CR").arg(row);
        if (detail::isControl(uchar(c)))
            return QStringLiteral("row %1: control character %2").arg(row).arg(int(uchar(c)));
        if (c == '"') {
            // Tab lists quote only a field that begins with a quote; spreadsheets read the rest as
            // it stands.
            if (fieldStart)
                quoted = true;
            else if (sep == ',')
                return QStringLiteral("row %1: a quote inside an unquoted field").arg(row);
        }
        fieldStart = false;
    }
    if (quoted)
        return QStringLiteral("row %1: an unclosed quote").arg(row);
    if (!bytes.isEmpty() && !bytes.endsWith("\r\n"))
        return QStringLiteral("row %1: the last row has no line end").arg(row);
    return {};
}

/// A readable list: lines ended by LF, no control characters but tab.
inline QString textProblem(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    int line = 1;
    for (const char c : bytes) {
        if (c == '\n')
            ++line;
        else if (detail::isControl(uchar(c)))
            return QStringLiteral("line %1: control character %2").arg(line).arg(int(uchar(c)));
    }
    return {};
}
} // namespace wellFormed
