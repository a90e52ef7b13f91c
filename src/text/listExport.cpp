// Readable, tab-delimited and comma-delimited lists of the document's entries.

#include "calendar/aCalendar.h"
#include "formats/repeatList.h"
#include "platform/UserDefaults.h"
#include "platform/Encoding.h"
#include "platform/Memory.h"
#include "platform/Parallel.h"
#include "text/quickSort.h"
#include "text/theSorter.h"

#include <algorithm>
#include <array>
#include <memory>

namespace
{
// The AM/PM designation of @p time among the user's two, or "" when neither matches.
QString amPmOf(const CalDate& time, const QStringList& amAndPm)
{
    if (amAndPm.size() != 2 || time.isNull())
        return {};
    const QString plain = time.format(QStringLiteral("%p"));
    for (const QString& d : amAndPm) {
        if (plain.compare(d, Qt::CaseInsensitive) == 0)
            return d;
    }
    return {};
}

bool isControl(QChar c)
{
    return (c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7f;
}

// Each run of line breaks becomes one space ("budget\r\nhiring" reads "budget hiring"); other
// control characters (a NUL, a bell from a broken file) are left out, as spreadsheets and
// terminals would trip over them.
QString joinLines(QString text)
{
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString out;
    out.reserve(text.size());
    bool inBreak = false;
    for (const QChar c : std::as_const(text)) {
        const bool lineBreak = c == QLatin1Char('\r') || c == QLatin1Char('\n');
        if (isControl(c) && !lineBreak)
            continue;
        if (!lineBreak)
            out += c;
        else if (!inBreak)
            out += QLatin1Char(' ');
        inBreak = lineBreak;
    }
    return out;
}

// A field that begins with a double quote would open a quoted field for spreadsheets (and for the
// import's line splitting), which then runs on to the next quote before a tab: it is quoted
// itself, its quotes doubled, as spreadsheets write it.
QString cleanForTab(QString text)
{
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text = joinLines(std::move(text));
    if (text.startsWith(QLatin1Char('"'))) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

// Commas are deleted; a field that holds a double quote would be read as a quoted field by every
// CSV reader, so it is quoted itself, its quotes doubled.
QString cleanForComma(QString text)
{
    text.remove(QLatin1Char(','));
    text = joinLines(std::move(text));
    if (text.contains(QLatin1Char('"'))) {
        text.replace(QLatin1String("\""), QLatin1String("\"\""));
        text = QLatin1Char('"') + text + QLatin1Char('"');
    }
    return text;
}

/// What every line of one list shares: its columns, separator, field cleaning and formats.
struct ListFormat
{
    enum class Column { StartTime, StartDate, EndTime, EndDate, Summary };

    /// Texts of one writer's rows made before: most rows share their clock times and, in order
    /// of start, their days (one cache per thread).
    struct Cache
    {
        std::array<QString, 24 * 60> times; // by minute of the day
        struct Day
        {
            qint32 key = -1;
            QString text;
        };
        std::array<Day, 64> days;
    };

    ListFormat(const aCalendar& cal, const QStringList& columns, QChar separator, QString (*clean)(QString))
        : columns(columns)
        , separator(separator)
        , clean(clean)
    {
        const QString sep = cal.getShortTimeFormatSeparator();
        timeFormat = QStringLiteral("%H") + sep + QStringLiteral("%M");
        midnight = QStringLiteral("00") + sep + QStringLiteral("00");
        // Four-digit years: "03/15/40" would read back as 2040.
        dateFormat = cal.getCodedShortDateFormat();
        dateFormat.replace(QLatin1String("%y"), QLatin1String("%Y"));
        timesByMinute = !sep.contains(QLatin1Char('%'));
        datesByDay = onlyDateFields(dateFormat);
        static const std::pair<const char*, Column> known[] = {{"startTime", Column::StartTime},
                                                               {"startDate", Column::StartDate},
                                                               {"endTime", Column::EndTime},
                                                               {"endDate", Column::EndDate},
                                                               {"theSummary", Column::Summary}};
        // Unknown columns write nothing, not even a separator.
        for (const QString& column : columns) {
            for (const auto& [name, kind] : known) {
                if (column == QLatin1String(name))
                    kinds.append(kind);
            }
        }
    }

    // True when every field of @p format is one of the date's own (no clock time, no zone).
    static bool onlyDateFields(const QString& format)
    {
        for (qsizetype i = 0; i < format.size(); ++i) {
            if (format.at(i) != QLatin1Char('%'))
                continue;
            if (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('1'))
                ++i;
            if (i + 1 >= format.size() || !QStringView(u"YymdejaAbB%").contains(format.at(i + 1)))
                return false;
            ++i;
        }
        return true;
    }

    void appendHeading(QString& out) const
    {
        for (const QString& column : columns) {
            const QString title = aCalendar::columnTitle(column);
            if (!title.isEmpty())
                out += title + separator;
        }
        out += QStringLiteral("Description") + lineEnd;
    }

    QString time(const CalDate& d, Cache* cache) const
    {
        if (!cache || !timesByMinute || !d)
            return d.format(timeFormat);
        QString& text = cache->times[std::size_t(d.hour() * 60 + d.minute())];
        if (text.isNull())
            text = d.format(timeFormat);
        return text;
    }
    QString date(const CalDate& d, Cache* cache) const
    {
        if (!cache || !datesByDay || !d)
            return d.format(dateFormat);
        const qint32 key = d.year() * 512 + d.month() * 32 + d.day();
        Cache::Day& day = cache->days[std::size_t(key & 63)];
        if (day.key != key) {
            day.key = key;
            day.text = d.format(dateFormat);
        }
        return day.text;
    }

    void appendRow(QString& out, const repeatList::Row& r, Cache* cache = nullptr) const
    {
        if (!r.notBlank)
            return;
        const QString startTime = time(r.start, cache);
        const QString endTime = time(r.end, cache);
        // A whole-day entry has no times, also when it has no end (a time would read back as a
        // timed entry without an end).
        const bool bothMidnight = (startTime == midnight && endTime == midnight) || r.noTimes;
        for (const Column column : kinds) {
            switch (column) {
            case Column::StartTime:
                if (!bothMidnight)
                    out += startTime;
                break;
            case Column::StartDate:
                out += date(r.start, cache);
                break;
            case Column::EndTime:
                if (!bothMidnight)
                    out += endTime;
                break;
            case Column::EndDate:
                out += date(r.end, cache);
                break;
            case Column::Summary:
                out += clean(r.texts->getSummary());
                break;
            }
            out += separator;
        }
        out += clean(r.texts->getShortDESCRIPTION());
        out += lineEnd;
    }

    QStringList columns;
    QChar separator;
    QString (*clean)(QString);
    QString timeFormat;
    QString midnight;
    QString dateFormat;
    QLatin1String lineEnd {"\r\n"};
    QList<Column> kinds;
    bool timesByMinute = false;
    bool datesByDay = false;
};

repeatList::Row rowOf(const dataEntry& e)
{
    return {&e, e.getFullStartTime(), e.getFullEndTime(), !e.getStartTime() && !e.getEndTime(), e.notBlankLine()};
}

QString delimitedList(const aCalendar& cal, const EntryList& entries, const QStringList& columns, QChar separator,
                      QString (*clean)(QString), const aCalendar::ListOptions& options)
{
    theSorter sorter(entries);
    const EntryList& sorted = options.sortByStart ? sorter.sortByStart() : entries;
    const ListFormat format(cal, columns, separator, clean);
    QString out;
    if (options.heading)
        format.appendHeading(out);
    const auto cache = std::make_unique<ListFormat::Cache>();
    for (const EntryPtr& e : sorted) {
        if (e)
            format.appendRow(out, rowOf(*e), cache.get());
    }
    return out;
}
} // namespace

QString aCalendar::removeLeadZero(const QString& text)
{
    if (text.startsWith(QLatin1Char('0')) && !text.startsWith(QLatin1String("00")))
        return QLatin1Char(' ') + text.mid(1);
    return text;
}

QString aCalendar::theTabOut(const EntryList& entries, const QStringList& columns) const
{
    return theTabOut(entries, columns, ListOptions());
}

QString aCalendar::theCommaOut(const EntryList& entries, const QStringList& columns) const
{
    return theCommaOut(entries, columns, ListOptions());
}

QString aCalendar::theTabOut(const EntryList& entries, const QStringList& columns, const ListOptions& options) const
{
    return delimitedList(*this, entries, columns, QLatin1Char('\t'), &cleanForTab, options);
}

QString aCalendar::theCommaOut(const EntryList& entries, const QStringList& columns, const ListOptions& options) const
{
    return delimitedList(*this, entries, columns, QLatin1Char(','), &cleanForComma, options);
}

QByteArray aCalendar::delimitedListBytes(const repeatList& expansion, QList<qsizetype> rows,
                                         const QStringList& columns, bool tabs, const ListOptions& options) const
{
    return Parallel::joined(delimitedListParts(expansion, std::move(rows), columns, tabs, options));
}

QList<QByteArray> aCalendar::delimitedListParts(const repeatList& expansion, QList<qsizetype> rows,
                                                const QStringList& columns, bool tabs,
                                                const ListOptions& options) const
{
    return Parallel::collected([&](const Parallel::PartSink& sink) {
        return delimitedListTo(expansion, std::move(rows), columns, tabs, options, sink);
    });
}

bool aCalendar::delimitedListTo(const repeatList& expansion, QList<qsizetype> rows, const QStringList& columns,
                                bool tabs, const ListOptions& options,
                                const std::function<bool(const QByteArray&)>& sink) const
{
    if (options.sortByStart) {
        // The keys theSorter would take from the rows' entries, without making them.
        QList<double> keys(rows.size());
        for (qsizetype i = 0; i < rows.size(); ++i)
            keys[i] = expansion.startSeconds(rows.at(i));
        sorting::quickSortByKeys(rows.data(), keys.data(), rows.size());
    }
    const ListFormat format(*this, columns, tabs ? QLatin1Char('\t') : QLatin1Char(','),
                            tabs ? &cleanForTab : &cleanForComma);
    if (options.heading) {
        QString heading;
        format.appendHeading(heading);
        if (!sink(heading.toUtf8()))
            return false;
    }
    constexpr qsizetype kRowsPerPiece = 5000;
    return Parallel::bytesInPiecesTo(
        rows.size(), kRowsPerPiece,
        [&] {
            return [&, cache = std::make_shared<ListFormat::Cache>()](qsizetype i, QString& text) {
                format.appendRow(text, expansion.row(rows.at(i)), cache.get());
            };
        },
        [](QByteArray& out, const QString& text) { Encoding::appendUtf8(out, text); }, sink);
}

QString aCalendar::columnTitle(const QString& identifier)
{
    static const struct
    {
        const char* identifier;
        const char* title;
    } titles[] = {{"startTime", "Start Time"},
                  {"startDate", "Start Date"},
                  {"endTime", "End Time"},
                  {"endDate", "End Date"},
                  {"theSummary", "Summary"}};
    for (const auto& t : titles) {
        if (identifier == QLatin1String(t.identifier))
            return QString::fromLatin1(t.title);
    }
    return {};
}

QString aCalendar::textOutput() const
{
    const repeatList expanded(theData);
    return textOutputOf(expanded.getDataArray(), expanded.getWarningString());
}

// The list is for people and terminals: lines end in a line feed, and the two carriage returns
// after each heading and item are two line feeds.
QString aCalendar::textOutputOf(const EntryList& items, const QString& warningText) const
{
    QString warnings = warningText;
    warnings.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (items.isEmpty())
        return warnings;

    const DateNames& dayNames = names;
    const QString dayHeading = longDateFormat + QStringLiteral("\n\n");
    // A time format that already shows AM/PM gets no second designation.
    const bool addAmPm
        = userTimeFormat.startsWith(QLatin1String("%I")) && !userTimeFormat.contains(QLatin1String("%p"));
    auto timeText = [&](const CalDate& t) {
        QString s = removeLeadZero(t.format(userTimeFormat, &dayNames));
        if (addAmPm)
            s += QLatin1Char(' ') + amPmOf(t, amAndPmArray);
        return s;
    };

    CalDate day = items.first()->getDayOfEvent();
    CalDate dayEnd = day.addDays(1);
    QString out = day.format(UserDefaults::standard().string(QStringLiteral("NSDateFormatString")), &dayNames)
        + QStringLiteral("\n\n");
    for (const EntryPtr& item : items) {
        const CalDate start = item->getFullStartTime();
        if (start < day || start >= dayEnd) {
            day = item->getDayOfEvent();
            dayEnd = day.addDays(1);
            out += day.format(dayHeading, &dayNames);
        }
        out += QLatin1Char('\t');
        if (item->getDTSTART().startsWith(QLatin1String("DTSTART;VALUE=DATE:"))) {
            out += QLatin1Char('\t');
        } else {
            out += timeText(start);
            out += QStringLiteral(" - ");
            out += timeText(item->getFullEndTime());
            out += QLatin1Char('\t');
        }
        out += joinLines(item->getSummary());
        out += QStringLiteral("\n\n");
    }
    out += warnings;
    return out;
}
