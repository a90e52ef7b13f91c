// Comma- and tab-delimited text: splitting into rows and fields, and one entry per row.
//
// Splitting is a single forward scan over the text, so any input (no line ends at all, a million
// columns, quotes that never close, NUL bytes) costs time linear in its length.

#include "calendar/aCalendar.h"
#include "platform/NaturalDate.h"

#include <QHash>
#include <QRegularExpression>

#include <vector>

namespace
{
constexpr char16_t kQuote = u'"';
constexpr char16_t kLineFeed = u'\n';

// Every CR LF becomes one LF, then every remaining CR an LF.
QString unifyLineEnds(const QString& text)
{
    if (!text.contains(QLatin1Char('\r')))
        return text;
    QString out(text.size(), Qt::Uninitialized);
    const QChar* src = text.constData();
    const qsizetype n = text.size();
    QChar* dst = out.data();
    qsizetype k = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (src[i] == u'\r') {
            dst[k++] = QChar(kLineFeed);
            if (i + 1 < n && src[i + 1] == kLineFeed)
                ++i;
        } else {
            dst[k++] = src[i];
        }
    }
    out.truncate(k);
    return out;
}

// Finds where rows end. A double quote at the start of a field opens a quoted field; inside it a
// doubled quote is one quote character, and a single quote followed by the delimiter, a line end
// or the end of the text closes it. Line ends inside a quoted field belong to the field, so a
// multi-line description exported by a mail program or a spreadsheet stays in its row. A quote
// that never closes takes only the rest of its row.
class RowScanner
{
public:
    RowScanner(QStringView text, QStringView limiter)
        : m_text(text)
        , m_limiter(limiter)
    {
    }

    // Spans [start, end) of every row, in text order; the line feeds are not part of any row.
    // A line feed at the very end of the text ends the last row and starts an empty one.
    QList<std::pair<qsizetype, qsizetype>> rows()
    {
        QList<std::pair<qsizetype, qsizetype>> spans;
        const qsizetype n = m_text.size();
        qsizetype rowStart = 0;
        qsizetype i = 0;
        bool fieldStart = true;
        while (i < n) {
            const QChar c = m_text[i];
            if (c == kLineFeed) {
                spans.append({rowStart, i});
                rowStart = ++i;
                fieldStart = true;
            } else if (fieldStart && c == kQuote) {
                const qsizetype close = closingQuote(i + 1);
                if (close >= 0) {
                    i = close + 1;
                    fieldStart = false;
                } else {
                    // Never closed: the field runs to the end of this row.
                    const qsizetype lf = m_text.indexOf(QChar(kLineFeed), i);
                    i = lf < 0 ? n : lf;
                }
            } else if (delimiterAt(i)) {
                i += m_limiter.size();
                fieldStart = true;
            } else {
                ++i;
                fieldStart = false;
            }
        }
        spans.append({rowStart, n});
        return spans;
    }

private:
    bool delimiterAt(qsizetype i) const
    {
        if (m_limiter.isEmpty())
            return false;
        if (m_text[i] != m_limiter[0])
            return false;
        return m_limiter.size() == 1 || m_text.sliced(i).startsWith(m_limiter);
    }

    // The closing quote of a quoted field whose content starts at @p from, or -1. The first call
    // builds, in one backward pass, the table telling for every position whether a quoted scan
    // from there ever closes; the forward search then never runs into the end of the text, which
    // keeps the whole split linear even with many quotes that never close.
    qsizetype closingQuote(qsizetype from)
    {
        const qsizetype n = m_text.size();
        if (m_closes.empty()) {
            m_closes.assign(std::size_t(n) + 2, false);
            for (qsizetype i = n - 1; i >= 0; --i) {
                bool v;
                if (m_text[i] != kQuote)
                    v = m_closes[std::size_t(i + 1)];
                else if (i + 1 < n && m_text[i + 1] == kQuote)
                    v = m_closes[std::size_t(i + 2)];
                else
                    v = i + 1 == n || m_text[i + 1] == kLineFeed || delimiterAt(i + 1) || m_closes[std::size_t(i + 1)];
                m_closes[std::size_t(i)] = v;
            }
        }
        if (from > n || !m_closes[std::size_t(from)])
            return -1;
        qsizetype i = from;
        while (i < n) {
            if (m_text[i] == kQuote) {
                if (i + 1 < n && m_text[i + 1] == kQuote) {
                    i += 2;
                    continue;
                }
                if (i + 1 == n || m_text[i + 1] == kLineFeed || delimiterAt(i + 1))
                    return i;
            }
            ++i;
        }
        return -1; // not reached: the table said it closes
    }

    QStringView m_text;
    QStringView m_limiter;
    std::vector<bool> m_closes;
};

// Fields of a comma row in which quotes delimit fields. A field starting with a quote runs to a
// quote followed by a comma or the row's end; doubled quotes inside it are single quotes, other
// quotes are kept. A field of one lone quote is empty; an unclosed quoted field takes the rest of
// the row, commas included. Quotes in fields that do not start with one are plain characters.
QStringList splitQuotedCommaRow(QStringView row)
{
    QStringList fields;
    const qsizetype n = row.size();
    qsizetype i = 0;
    while (true) {
        if (i < n && row[i] == kQuote) {
            QString field;
            qsizetype j = i + 1;
            bool closed = false;
            qsizetype runStart = j;
            while (j < n) {
                if (row[j] != kQuote) {
                    ++j;
                    continue;
                }
                if (j + 1 < n && row[j + 1] == kQuote) {
                    field.append(row.sliced(runStart, j + 1 - runStart));
                    j += 2;
                    runStart = j;
                    continue;
                }
                if (j + 1 == n || row[j + 1] == u',') {
                    closed = true;
                    break;
                }
                ++j;
            }
            field.append(row.sliced(runStart, j - runStart));
            if (!closed) {
                // A lone quote before a comma (or the row's end) is an empty field.
                if (i + 1 == n || row[i + 1] == u',') {
                    fields.append(QString());
                    i += 1;
                    if (i == n)
                        break;
                    ++i; // the comma
                    continue;
                }
                fields.append(field);
                break;
            }
            fields.append(field);
            i = j + 1; // past the closing quote
            if (i == n)
                break;
            ++i; // the comma
        } else {
            const qsizetype comma = row.sliced(i).indexOf(u',');
            if (comma < 0) {
                fields.append(row.sliced(i).toString());
                break;
            }
            fields.append(row.sliced(i, comma).toString());
            i += comma + 1;
        }
    }
    return fields;
}

QStringList splitAt(QStringView row, QStringView limiter)
{
    QStringList fields;
    if (limiter.isEmpty()) {
        fields.append(row.toString());
        return fields;
    }
    qsizetype start = 0;
    while (true) {
        const qsizetype at = row.indexOf(limiter, start);
        if (at < 0)
            break;
        fields.append(row.sliced(start, at - start).toString());
        start = at + limiter.size();
    }
    fields.append(row.sliced(start).toString());
    return fields;
}

QStringList splitRow(QStringView row, QStringView limiter)
{
    if (limiter != u",")
        return splitAt(row, limiter);
    // Quotes delimit comma fields only where a quote meets a comma, or where the row opens with a
    // quoted field; elsewhere (5" screen) they are ordinary characters.
    const bool quoted = row.startsWith(QChar(kQuote)) || row.contains(u"\",") || row.contains(u",\"");
    return quoted ? splitQuotedCommaRow(row) : splitAt(row, limiter);
}

// Values of fields already read in this import. Columns of real files repeat the same few times
// and dates over and over, and reading one costs far more than a look-up. Bounded, so a file of
// all-different values costs no more than reading every field.
template <typename Parse>
CalDate cachedParse(QHash<QString, CalDate>& seen, const QString& field, Parse parse)
{
    constexpr qsizetype kMaxRemembered = 4096;
    const auto it = seen.constFind(field);
    if (it != seen.constEnd())
        return *it;
    const CalDate value = parse();
    if (seen.size() < kMaxRemembered)
        seen.insert(field, value);
    return value;
}
} // namespace

// Owned by the document; made by the first row of an import, dropped by the next split.
struct CommaTabParseCache
{
    NaturalDateSettings timeSettings;
    QHash<QString, CalDate> times;
    QHash<QString, CalDate> dates;
};

namespace
{
QString unescapeDescription(QString text)
{
    if (!text.contains(QLatin1Char('\\')))
        return text;
    text.replace(QLatin1String("\\,"), QLatin1String(","));
    text.replace(QLatin1String("\\n"), QLatin1String("\r"));
    text.replace(QLatin1String("\\t"), QLatin1String(" "));
    return text;
}

// Titles and codes accepted for a column, with spaces, hyphens and underscores ignored and case
// folded ("start date", "Start-Date" and "startdate" are one title).
QString columnKey(QString text)
{
    text = text.toLower();
    text.remove(QRegularExpression(QStringLiteral("[\\s_-]")));
    return text;
}
} // namespace

bool aCalendar::processCT(const QString& text, const QString& limiter)
{
    commaTabData.clear();
    commaTabDataMax = 0;
    commaTabParsed.reset();

    const QString unified = unifyLineEnds(text);
    // A text that begins with a quote and ends with one (or one and a line end) is a list of
    // quoted rows: its final line end closes the last row instead of starting an empty one.
    const bool quotedRows = unified.startsWith(QChar(kQuote))
        && (unified.endsWith(QChar(kQuote)) || unified.endsWith(QLatin1String("\"\n")));

    RowScanner scanner(unified, limiter);
    QList<std::pair<qsizetype, qsizetype>> spans = scanner.rows();
    if (quotedRows && spans.size() > 1 && spans.last().first == unified.size())
        spans.removeLast();

    commaTabData.reserve(spans.size());
    const QStringView all(unified);
    for (const auto& [start, end] : std::as_const(spans)) {
        QStringList fields = splitRow(all.sliced(start, end - start), limiter);
        commaTabDataMax = std::max(commaTabDataMax, int(std::min<qsizetype>(fields.size(), INT_MAX)));
        commaTabData.append(std::move(fields));
    }
    return true;
}

void aCalendar::clearCommaTabData()
{
    commaTabData.clear();
    commaTabDataMax = 0;
    commaTabParsed.reset();
}

bool aCalendar::dropCommaTabHeader()
{
    if (commaTabData.isEmpty())
        return false;
    commaTabData.removeFirst();
    commaTabDataMax = 0;
    for (const QStringList& row : std::as_const(commaTabData))
        commaTabDataMax = std::max(commaTabDataMax, int(std::min<qsizetype>(row.size(), INT_MAX)));
    return true;
}

QString aCalendar::makeEntryWithSeparated(int row, const ColumnOrder& order)
{
    const QStringList fields = commaTabData.value(row);
    const qsizetype n = std::min(fields.size(), order.size());

    if (!commaTabParsed) {
        // A time column: the lenient parse ("9:30", "9:30:00 AM", "21.30", "3 pm") with the
        // conventions the document read at its creation. No settings store is touched, so this
        // runs on the import's worker thread while the GUI thread goes on.
        commaTabParsed = std::make_shared<CommaTabParseCache>();
        commaTabParsed->timeSettings = NaturalDateSettings::fromShortDateFormat(
            getShortDateFormat(), dateNames(), getShortTimeFormatSeparator());
    }
    CommaTabParseCache& parsed = *commaTabParsed;
    auto timeOf = [&parsed](const QString& field) {
        return cachedParse(parsed.times, field, [&] { return NaturalDate::parse(field, parsed.timeSettings); });
    };
    auto dateOf = [this, &parsed](const QString& field) {
        return cachedParse(parsed.dates, field, [&] { return returnTCDate(field); });
    };

    const EntryPtr entry = dataEntry::create();
    for (qsizetype i = 0; i < n; ++i) {
        const QString& field = fields.at(i);
        bool ok = false;
        const int code = order.at(i).code.toInt(&ok);
        if (!ok)
            continue;
        switch (code) {
        case 0:
            if (!field.isEmpty())
                entry->setStartTime(timeOf(field));
            break;
        case 1:
            entry->setStartDate(dateOf(field));
            break;
        case 2:
            if (!field.isEmpty())
                entry->setEndTime(timeOf(field));
            break;
        case 3:
            entry->setEndDate(dateOf(field));
            break;
        case 4:
            entry->setSummary(field);
            break;
        case 5:
            entry->setDESCRIPTION(unescapeDescription(field));
            break;
        default:
            break;
        }
    }
    pendingEntriesToAdd.append(entry);
    // The GUI thread reads only this count while the worker runs.
    pendingProgress.storeRelease(int(std::min<qsizetype>(pendingEntriesToAdd.size(), INT_MAX)));
    return QString();
}

int aCalendar::makeAllEntriesWithSeparated(const ColumnOrder& order, const QAtomicInt* cancel)
{
    int made = 0;
    for (int row = 0; row < commaTabData.size(); ++row) {
        if (cancel && cancel->loadAcquire())
            break;
        makeEntryWithSeparated(row, order);
        ++made;
    }
    return made;
}

ColumnOrder aCalendar::columnOrderFromText(const QString& text, QString* error)
{
    static const ColumnOrder known = defaultColumnOrder();
    ColumnOrder order;
    const QStringList items = text.split(QLatin1Char(','));
    if (text.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("No columns given");
        return {};
    }
    for (const QString& raw : items) {
        const QString item = raw.trimmed();
        const QString key = columnKey(item);
        if (key.isEmpty() || key == u"-" || key == u"ignore" || key == u"skip") {
            order.append({QStringLiteral("Ignore"), QStringLiteral("-1")});
            continue;
        }
        bool isNumber = false;
        const int code = item.toInt(&isNumber);
        bool found = false;
        for (const ColumnDescriptor& c : known) {
            if ((isNumber && code == c.code.toInt()) || (!isNumber && key == columnKey(c.title))) {
                order.append(c);
                found = true;
                break;
            }
        }
        if (!found && isNumber) {
            order.append({QStringLiteral("Ignore"), QString::number(code)});
            found = true;
        }
        if (!found) {
            if (error)
                *error = QStringLiteral("Unknown column \"%1\"; use Start Time, Start Date, End Time, End Date, "
                                        "Summary, Description (or 0-5), or - to skip a column")
                             .arg(item);
            return {};
        }
    }
    if (error)
        error->clear();
    return order;
}
