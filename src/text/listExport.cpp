// Readable, tab-delimited and comma-delimited lists of the document's entries.

#include "calendar/aCalendar.h"
#include "formats/repeatList.h"
#include "platform/UserDefaults.h"
#include "text/theSorter.h"

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

QString cleanForTab(QString text)
{
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

QString cleanForComma(QString text)
{
    text.remove(QLatin1Char(','));
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

QString delimitedList(const aCalendar& cal, const EntryList& entries, const QStringList& columns, QChar separator,
                      QString (*clean)(QString))
{
    theSorter sorter(entries);
    const EntryList& sorted = sorter.sortByStart();
    const QString sep = cal.getShortTimeFormatSeparator();
    const QString timeFormat = QStringLiteral("%H") + sep + QStringLiteral("%M");
    const QString midnight = QStringLiteral("00") + sep + QStringLiteral("00");
    const QString dateFormat = cal.getCodedShortDateFormat();

    QString out;
    for (const EntryPtr& e : sorted) {
        if (!e)
            continue;
        const CalDate start = e->getFullStartTime();
        const CalDate end = e->getFullEndTime();
        const QString startTime = start.format(timeFormat);
        const QString endTime = end.format(timeFormat);
        const bool bothMidnight = startTime == midnight && endTime == midnight;
        for (const QString& column : columns) {
            if (column == QLatin1String("startTime"))
                out += bothMidnight ? QString() : startTime;
            else if (column == QLatin1String("startDate"))
                out += start.format(dateFormat);
            else if (column == QLatin1String("endTime"))
                out += bothMidnight ? QString() : endTime;
            else if (column == QLatin1String("endDate"))
                out += end.format(dateFormat);
            else if (column == QLatin1String("theSummary"))
                out += clean(e->getSummary());
            else
                continue; // unknown columns write nothing, not even a separator
            out += separator;
        }
        out += clean(e->getShortDESCRIPTION());
        out += QLatin1Char('\r');
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
    return delimitedList(*this, entries, columns, QLatin1Char('\t'), &cleanForTab);
}

QString aCalendar::theCommaOut(const EntryList& entries, const QStringList& columns) const
{
    return delimitedList(*this, entries, columns, QLatin1Char(','), &cleanForComma);
}

QString aCalendar::textOutput() const
{
    const repeatList expanded(theData);
    const EntryList& items = expanded.getDataArray();
    if (items.isEmpty())
        return expanded.getWarningString();

    const DateNames& dayNames = names;
    const QString dayHeading = longDateFormat + QStringLiteral("\r\r");
    // A time format that already shows AM/PM gets no second designation.
    const bool addAmPm = userTimeFormat.startsWith(QLatin1String("%I")) && !userTimeFormat.contains(QLatin1String("%p"));
    auto timeText = [&](const CalDate& t) {
        QString s = removeLeadZero(t.format(userTimeFormat, &dayNames));
        if (addAmPm)
            s += QLatin1Char(' ') + amPmOf(t, amAndPmArray);
        return s;
    };

    CalDate day = items.first()->getDayOfEvent();
    CalDate dayEnd = day.addDays(1);
    QString out = day.format(UserDefaults::standard().string(QStringLiteral("NSDateFormatString")), &dayNames)
        + QStringLiteral("\r\r");
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
        out += item->getSummary();
        out += QStringLiteral("\r\r");
    }
    out += expanded.getWarningString();
    return out;
}
