#pragma once

// Content lines as iCalendar, vCalendar 1.0 and vCard (2.1, 3.0, 4.0) write them:
// "NAME;PARAM=VALUE;PARAM:value", folded onto continuation lines that begin with a space or a
// tab, and, for quoted-printable values, continued after a soft line break ("=" at the end).
// The calendar reader and the vCard reader share these pieces so that both read a file alike.
//
// Everything works on views into the caller's text; the caller keeps the text alive.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstddef>

namespace ContentLines
{
inline bool isFold(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

// Everything a reader calls per line is inline: readers make several such calls per line.

// Prefix and equality tests against ASCII literals.
template <std::size_t N>
bool startsWith(QStringView text, const char (&prefix)[N])
{
    constexpr qsizetype length = qsizetype(N) - 1;
    if (text.size() < length)
        return false;
    const char16_t* p = text.utf16();
    for (qsizetype i = 0; i < length; ++i) {
        if (p[i] != char16_t(uchar(prefix[i])))
            return false;
    }
    return true;
}

template <std::size_t N>
bool equals(QStringView text, const char (&literal)[N])
{
    return text.size() == qsizetype(N) - 1 && startsWith(text, literal);
}

/// Case-insensitive search for an upper-case ASCII word.
inline bool containsWord(QStringView text, QLatin1String word)
{
    const qsizetype n = word.size();
    for (qsizetype i = 0; i + n <= text.size(); ++i) {
        if ((text.at(i).unicode() | 0x20) != (uchar(word.at(0).toLatin1()) | 0x20))
            continue;
        if (text.mid(i, n).compare(word, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

/// Lines end with CR LF, LF or a lone CR. Empty lines carry nothing and are skipped everywhere,
/// so CR LF and LF files read alike.
class LineCursor
{
public:
    explicit LineCursor(QStringView text)
        : m_data(text.utf16())
        , m_size(text.size())
    {
    }
    /// A cursor over a part of a text that begins on line @p firstLine of the whole.
    LineCursor(QStringView text, int firstLine)
        : m_data(text.utf16())
        , m_size(text.size())
        , m_posLine(firstLine)
        , m_startLine(firstLine)
    {
    }

    bool atEnd()
    {
        fill();
        return m_start >= m_size;
    }
    /// The next line without consuming it (empty at the end of the text).
    QStringView peek()
    {
        fill();
        return QStringView(m_data + m_start, m_end - m_start);
    }
    QStringView next()
    {
        const QStringView line = peek();
        m_pos = m_end;
        m_posLine = m_startLine;
        m_filled = false;
        return line;
    }
    /// Number (from 1) of the line peek() shows.
    int lineNumber()
    {
        fill();
        return m_startLine;
    }
    /// The text from the next line on.
    QStringView rest()
    {
        fill();
        return QStringView(m_data + m_start, m_size - m_start);
    }

private:
    void fill()
    {
        if (m_filled)
            return;
        qsizetype p = m_pos;
        int line = m_posLine;
        while (p < m_size && (m_data[p] == u'\n' || m_data[p] == u'\r')) {
            // CR LF, LF and a lone CR each end one line.
            if (m_data[p] == u'\n' || p + 1 >= m_size || m_data[p + 1] != u'\n')
                ++line;
            ++p;
        }
        qsizetype e = p;
        while (e < m_size && m_data[e] != u'\n' && m_data[e] != u'\r')
            ++e;
        m_start = p;
        m_end = e;
        m_startLine = line;
        m_filled = true;
    }

    const char16_t* m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    qsizetype m_start = 0;
    qsizetype m_end = 0;
    int m_posLine = 1;
    int m_startLine = 1;
    bool m_filled = false;
};

/// Position of the colon that ends a property name. Parameter values may be quoted and hold
/// colons themselves (ALTREP="cid:..."); unbalanced quotes fall back to the first colon.
inline qsizetype nameEnd(QStringView line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char16_t c = line.at(i).unicode();
        if (c == u'"')
            quoted = !quoted;
        else if (c == u':' && !quoted)
            return i;
    }
    return line.indexOf(QLatin1Char(':'));
}

/// "BEGIN:V..." or "END:V...": a soft line break never joins such a line.
inline bool isComponentBoundary(QStringView line)
{
    return startsWith(line, "BEGIN:V") || startsWith(line, "END:V");
}

/// One property line with its continuations joined: lines that begin with a space or a tab, and,
/// for quoted-printable values, lines after a soft line break ("=" at the end). The result points
/// into the text when nothing had to be joined, else into @p buffer.
inline QStringView readPropertyLine(LineCursor& lines, QString& buffer)
{
    const QStringView first = lines.next();
    const qsizetype colon = first.indexOf(QLatin1Char(':'));
    const QStringView head = colon < 0 ? first : first.left(colon);
    // Only a line with parameters can be quoted-printable.
    const bool quotedPrintable = head.size() > 16 && containsWord(head, QLatin1String("QUOTED-PRINTABLE"));

    auto continues = [&lines]() { return !lines.atEnd() && isFold(lines.peek().at(0)); };
    auto softBreak = [&lines, quotedPrintable](QStringView current) {
        return quotedPrintable && current.endsWith(QLatin1Char('=')) && !lines.atEnd()
            && !isComponentBoundary(lines.peek());
    };
    if (!continues() && !softBreak(first))
        return first;
    buffer.resize(0);
    buffer.append(first);
    for (;;) {
        if (continues()) {
            buffer.append(lines.next().sliced(1));
        } else if (softBreak(buffer)) {
            buffer.chop(1);
            buffer.append(lines.next());
        } else {
            break;
        }
    }
    return buffer;
}

struct Parameter
{
    QStringView name;
    QStringView value;
};

/// Calls @p fn for each parameter after the property name ("SUMMARY;LANGUAGE=en;CHARSET=UTF-8"
/// gives two). A parameter without "=" (vCalendar's bare "QUOTED-PRINTABLE") has a null value.
template <typename Fn>
void forEachParameter(QStringView name, Fn fn)
{
    qsizetype i = name.indexOf(QLatin1Char(';'));
    while (i >= 0 && i < name.size()) {
        qsizetype j = i + 1;
        bool quoted = false;
        while (j < name.size() && (quoted || name.at(j) != QLatin1Char(';'))) {
            if (name.at(j) == QLatin1Char('"'))
                quoted = !quoted;
            ++j;
        }
        const QStringView part = name.mid(i + 1, j - i - 1);
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        fn(eq < 0 ? Parameter {part, {}} : Parameter {part.left(eq), part.mid(eq + 1)});
        i = j;
    }
}

/// The value without the double quotes around it, when it has both.
QStringView unquoted(QStringView value);

/// Text escapes of iCalendar and vCard (and of vCalendar writers that copy them): \n or \N is a
/// line break, \, \; and \\ stand for the character itself; any other backslash stays as written.
QString unescapeText(QStringView value);

/// Quoted-printable bytes decoded; an "=" that starts no escape stays as text, soft line breaks go.
QByteArray decodeQuotedPrintableBytes(const QByteArray& in);

/// Bytes in the character set a CHARSET parameter names (ISO-8859-1 read as its superset
/// Windows-1252, as mail readers do; any other name the system's converters know); without a
/// usable name, UTF-8 when the bytes are valid UTF-8, else Mac OS Roman (what organiser desktops
/// wrote).
QString decodeCharset(const QByteArray& bytes, QStringView charset);
} // namespace ContentLines
