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

    // Calls @p row(start, end) for every row, in text order (the line feeds are not part of any
    // row; a line feed at the very end of the text ends the last row and starts an empty one),
    // until it returns false.
    template <typename Row>
    void rows(Row row)
    {
        const qsizetype n = m_text.size();
        qsizetype rowStart = 0;
        qsizetype i = 0;
        bool fieldStart = true;
        while (i < n) {
            const QChar c = m_text[i];
            if (c == kLineFeed) {
                if (!row(rowStart, i))
                    return;
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
        row(rowStart, n);
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
} // namespace

// The records of one delimited text. Each field is a span of the text; a quoted field's span is
// its content between the quotes, flagged when doubled quotes in it still stand for one quote
// each. Eight bytes per field and eight per record, beside the text itself.
struct CommaTabRows
{
    struct Field
    {
        quint32 start;
        quint32 length; // kDoubledQuotes set: "" inside stands for "
    };
    static constexpr quint32 kDoubledQuotes = 0x80000000u;
    /// Texts beyond this length are read up to the last record that ends before it.
    static constexpr qsizetype kMaxText = 0x7fffffff;

    QString text;
    std::vector<Field> fields;
    std::vector<qsizetype> rowStarts {0}; // first field of each record, and one past the last
    bool limitReached = false;

    qsizetype rowCount() const { return qsizetype(rowStarts.size()) - 1; }
    qsizetype fieldCount(qsizetype row) const { return rowStarts[std::size_t(row + 1)] - rowStarts[std::size_t(row)]; }
    QString field(qsizetype row, qsizetype column) const
    {
        const Field& f = fields[std::size_t(rowStarts[std::size_t(row)] + column)];
        QString out = text.sliced(f.start, f.length & ~kDoubledQuotes);
        if (f.length & kDoubledQuotes)
            out.replace(QLatin1String("\"\""), QLatin1String("\""));
        return out;
    }
    QStringList row(qsizetype row) const
    {
        QStringList out;
        const qsizetype n = fieldCount(row);
        out.reserve(n);
        for (qsizetype i = 0; i < n; ++i)
            out.append(field(row, i));
        return out;
    }
};

namespace
{
// Splits one record into fields, appending their spans to @p rows. @p base is the record's place
// in the whole text.
class FieldSplitter
{
public:
    FieldSplitter(CommaTabRows& rows, QStringView limiter)
        : m_rows(rows)
        , m_limiter(limiter)
        // Quotes delimit fields for commas (and semicolons and the like from other spreadsheets);
        // a tab-delimited file keeps them in its fields.
        , m_quoting(limiter.size() == 1 && limiter != u"\t")
    {
    }

    void split(QStringView row, qsizetype base)
    {
        if (m_quoting && quotedRow(row))
            splitQuoted(row, base);
        else
            splitAt(row, base);
    }

private:
    void add(qsizetype start, qsizetype length, bool doubled = false)
    {
        m_rows.fields.push_back({quint32(start), quint32(length) | (doubled ? CommaTabRows::kDoubledQuotes : 0u)});
    }

    // Quotes delimit fields only where a quote meets a delimiter, or where the row opens with a
    // quoted field; elsewhere (5" screen) they are ordinary characters.
    bool quotedRow(QStringView row) const
    {
        const QChar d = m_limiter[0];
        const QChar quoteThenDelimiter[2] = {QChar(kQuote), d};
        const QChar delimiterThenQuote[2] = {d, QChar(kQuote)};
        return row.startsWith(QChar(kQuote)) || row.contains(QStringView(quoteThenDelimiter, 2))
            || row.contains(QStringView(delimiterThenQuote, 2));
    }

    void splitAt(QStringView row, qsizetype base)
    {
        if (m_limiter.isEmpty()) {
            addKept(row, base);
            return;
        }
        qsizetype start = 0;
        while (true) {
            const qsizetype at = row.indexOf(m_limiter, start);
            if (at < 0)
                break;
            addKept(row.sliced(start, at - start), base + start);
            start = at + m_limiter.size();
        }
        addKept(row.sliced(start), base + start);
    }

    // Quotes stay in the fields of a tab row, with one exception: a field quoted as spreadsheets
    // quote it, holding doubled quotes and no single ones ("""Q1"" review", which our tab list
    // writes for a text that begins with a quote), is read as what it quotes.
    void addKept(QStringView field, qsizetype base)
    {
        const qsizetype n = field.size();
        if (n >= 4 && field.front() == kQuote && field.back() == kQuote) {
            bool pairsOnly = true;
            bool anyPair = false;
            for (qsizetype i = 1; i < n - 1 && pairsOnly; ++i) {
                if (field[i] != kQuote)
                    continue;
                if (i + 1 < n - 1 && field[i + 1] == kQuote) {
                    anyPair = true;
                    ++i;
                } else {
                    pairsOnly = false;
                }
            }
            if (pairsOnly && anyPair) {
                add(base + 1, n - 2, true);
                return;
            }
        }
        add(base, n);
    }

    // A field starting with a quote runs to a quote followed by the delimiter or the row's end;
    // doubled quotes inside it are single quotes, other quotes are kept. A field of one lone
    // quote is empty; an unclosed quoted field takes the rest of the row, delimiters included.
    // Quotes in fields that do not start with one are plain characters.
    void splitQuoted(QStringView row, qsizetype base)
    {
        const QChar d = m_limiter[0];
        const qsizetype n = row.size();
        qsizetype i = 0;
        while (true) {
            if (i < n && row[i] == kQuote) {
                qsizetype j = i + 1;
                bool closed = false;
                bool doubled = false;
                while (j < n) {
                    if (row[j] != kQuote) {
                        ++j;
                        continue;
                    }
                    if (j + 1 < n && row[j + 1] == kQuote) {
                        doubled = true;
                        j += 2;
                        continue;
                    }
                    if (j + 1 == n || row[j + 1] == d) {
                        closed = true;
                        break;
                    }
                    ++j;
                }
                if (!closed) {
                    // A lone quote before a delimiter (or the row's end) is an empty field.
                    if (i + 1 == n || row[i + 1] == d) {
                        add(base + i, 0);
                        i += 1;
                        if (i == n)
                            break;
                        ++i; // the delimiter
                        continue;
                    }
                    add(base + i + 1, n - i - 1, doubled);
                    break;
                }
                add(base + i + 1, j - i - 1, doubled);
                i = j + 1; // past the closing quote
                if (i == n)
                    break;
                ++i; // the delimiter
            } else {
                const qsizetype at = row.sliced(i).indexOf(d);
                if (at < 0) {
                    add(base + i, n - i);
                    break;
                }
                add(base + i, at);
                i += at + 1;
            }
        }
    }

    CommaTabRows& m_rows;
    QStringView m_limiter;
    bool m_quoting;
};

// True when @p row holds nothing but blanks and delimiters.
bool blankRow(QStringView row, QStringView limiter)
{
    for (const QChar c : row) {
        if (!c.isSpace() && !limiter.contains(c))
            return false;
    }
    return true;
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
    NaturalDateSettings dateSettings; // with ownDateOrder: the order given for the file
    bool ownDateOrder = false;
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
    commaTabData.reset();
    commaTabDataMax = 0;
    commaTabParsed.reset();

    auto rows = std::make_shared<CommaTabRows>();
    rows->text = unifyLineEnds(text);
    qsizetype usable = rows->text.size();
    if (usable > CommaTabRows::kMaxText) {
        usable = CommaTabRows::kMaxText;
        rows->limitReached = true;
    }
    const QStringView all = QStringView(rows->text).first(usable);
    FieldSplitter splitter(*rows, limiter);
    RowScanner scanner(all, limiter);
    int widest = 0;
    scanner.rows([&](qsizetype start, qsizetype end) {
        const QStringView row = all.sliced(start, end - start);
        if (blankRow(row, limiter))
            return true;
        if (rows->rowCount() >= kMaxCommaTabRows) {
            rows->limitReached = true;
            return false;
        }
        splitter.split(row, start);
        rows->rowStarts.push_back(qsizetype(rows->fields.size()));
        widest = std::max(widest, int(std::min<qsizetype>(rows->fieldCount(rows->rowCount() - 1), INT_MAX)));
        return true;
    });
    // A text cut at kMaxText loses its last, partial record.
    if (usable < rows->text.size() && rows->rowCount() > 0) {
        rows->rowStarts.pop_back();
        rows->fields.resize(std::size_t(rows->rowStarts.back()));
    }
    rows->fields.shrink_to_fit();
    rows->rowStarts.shrink_to_fit();
    commaTabDataMax = widest;
    const bool complete = !rows->limitReached;
    commaTabData = std::move(rows);
    return complete;
}

QList<QStringList> aCalendar::getCommaTabData() const
{
    QList<QStringList> out;
    const int n = getCommaTabRowCount();
    out.reserve(n);
    for (int row = 0; row < n; ++row)
        out.append(commaTabData->row(row));
    return out;
}

int aCalendar::getCommaTabRowCount() const
{
    return commaTabData ? int(commaTabData->rowCount()) : 0;
}

QStringList aCalendar::getCommaTabRow(int row) const
{
    if (row < 0 || row >= getCommaTabRowCount())
        return {};
    return commaTabData->row(row);
}

int aCalendar::getCommaTabDataItemCount(int row) const
{
    if (row < 0 || row >= getCommaTabRowCount())
        return 0;
    return int(std::min<qsizetype>(commaTabData->fieldCount(row), INT_MAX));
}

bool aCalendar::getCommaTabRowLimitReached() const
{
    return commaTabData && commaTabData->limitReached;
}

void aCalendar::clearCommaTabData()
{
    commaTabData.reset();
    commaTabDataMax = 0;
    commaTabParsed.reset();
}

bool aCalendar::dropCommaTabHeader()
{
    if (getCommaTabRowCount() == 0)
        return false;
    CommaTabRows& rows = *commaTabData;
    rows.rowStarts.erase(rows.rowStarts.begin());
    commaTabDataMax = 0;
    for (qsizetype row = 0; row < rows.rowCount(); ++row)
        commaTabDataMax = std::max(commaTabDataMax, int(std::min<qsizetype>(rows.fieldCount(row), INT_MAX)));
    commaTabParsed.reset();
    return true;
}

QString aCalendar::makeEntryWithSeparated(int row, const ColumnOrder& order)
{
    const qsizetype fieldCount = row >= 0 && row < getCommaTabRowCount() ? commaTabData->fieldCount(row) : 0;
    const qsizetype n = std::min(fieldCount, order.size());

    if (!commaTabParsed) {
        // A time column: the lenient parse ("9:30", "9:30:00 AM", "21.30", "3 pm") with the
        // conventions the document read at its creation. No settings store is touched, so this
        // runs on the import's worker thread while the GUI thread goes on.
        commaTabParsed = std::make_shared<CommaTabParseCache>();
        commaTabParsed->timeSettings = NaturalDateSettings::fromShortDateFormat(getShortDateFormat(), dateNames(),
                                                                                getShortTimeFormatSeparator());
        if (!commaTabDateOrder.isEmpty()) {
            // The file's own order of day, month and year, with dots between the numbers allowed.
            commaTabParsed->dateSettings = commaTabParsed->timeSettings;
            commaTabParsed->dateSettings.ordering = commaTabDateOrder.toUpper() + QLatin1Char('H');
            commaTabParsed->dateSettings.dateSeparator = QLatin1Char('.');
            commaTabParsed->ownDateOrder = true;
        }
    }
    CommaTabParseCache& parsed = *commaTabParsed;
    auto timeOf = [&parsed](const QString& field) {
        return cachedParse(parsed.times, field, [&] { return NaturalDate::parse(field, parsed.timeSettings); });
    };
    auto dateOf = [this, &parsed](const QString& field) {
        return cachedParse(parsed.dates, field, [&] {
            return parsed.ownDateOrder ? NaturalDate::parse(field, parsed.dateSettings) : returnTCDate(field);
        });
    };

    const EntryPtr entry = dataEntry::create();
    for (qsizetype i = 0; i < n; ++i) {
        bool ok = false;
        const int code = order.at(i).code.toInt(&ok);
        if (!ok || code < 0 || code > 6)
            continue;
        const QString field = commaTabData->field(row, i);
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
        case 6:
            entry->setLocation(field);
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
    const int rows = getCommaTabRowCount();
    for (int row = 0; row < rows; ++row) {
        if (cancel && cancel->loadAcquire())
            break;
        makeEntryWithSeparated(row, order);
        ++made;
    }
    return made;
}

namespace
{
// The code a column title names (any case, spaces, hyphens and underscores ignored), or -2.
// Beside the titles of the column-order sheet, the headings spreadsheets and mail programs
// export: Outlook and Google name the summary "Subject".
int codeOfTitle(const QString& title)
{
    static const struct
    {
        const char* key;
        int code;
    } titles[] = {{"starttime", 0}, {"startdate", 1}, {"endtime", 2},     {"enddate", 3},
                  {"summary", 4},   {"subject", 4},   {"description", 5}, {"location", 6}};
    const QString key = columnKey(title);
    for (const auto& t : titles) {
        if (key == QLatin1String(t.key))
            return t.code;
    }
    return -2;
}

ColumnDescriptor columnOfCode(int code)
{
    static const ColumnOrder known = aCalendar::defaultColumnOrder() + ColumnOrder {{"Location", "6"}};
    for (const ColumnDescriptor& c : known) {
        if (c.code.toInt() == code)
            return c;
    }
    return {QStringLiteral("Ignore"), QString::number(code)};
}
} // namespace

ColumnOrder aCalendar::columnOrderFromText(const QString& text, QString* error)
{
    ColumnOrder order;
    if (text.trimmed().isEmpty()) {
        if (error)
            *error = QStringLiteral("No columns given");
        return {};
    }
    for (const QString& raw : text.split(QLatin1Char(','))) {
        const QString item = raw.trimmed();
        const QString key = columnKey(item);
        if (key.isEmpty() || key == u"-" || key == u"ignore" || key == u"skip") {
            order.append({QStringLiteral("Ignore"), QStringLiteral("-1")});
            continue;
        }
        bool isNumber = false;
        const int number = item.toInt(&isNumber);
        const int code = isNumber ? number : codeOfTitle(item);
        if (code == -2) {
            if (error)
                *error = QStringLiteral("Unknown column \"%1\"; use Start Time, Start Date, End Time, End Date, "
                                        "Summary (or Subject), Description, Location (or 0-6), or - to skip a column")
                             .arg(item);
            return {};
        }
        order.append(columnOfCode(code));
    }
    if (error)
        error->clear();
    return order;
}

ColumnOrder aCalendar::columnOrderFromHeading(const QStringList& headings, QStringList* ignored)
{
    ColumnOrder order;
    bool anyKnown = false;
    for (const QString& heading : headings) {
        const int code = codeOfTitle(heading.trimmed());
        if (code == -2) {
            order.append({QStringLiteral("Ignore"), QStringLiteral("-1")});
            if (ignored && !heading.trimmed().isEmpty())
                ignored->append(heading.trimmed());
        } else {
            order.append(columnOfCode(code));
            anyKnown = true;
        }
    }
    return anyKnown ? order : ColumnOrder();
}
