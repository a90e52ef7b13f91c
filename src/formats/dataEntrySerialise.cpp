// One entry as an iCalendar or a vCalendar 1.0 VEVENT block.

#include "calendar/dataEntry.h"

#include <algorithm>

namespace
{
const QString kCrLf = QStringLiteral("\r\n");

QString localZoneName()
{
    return Zones::idOf(Zones::local());
}

// Cuts @p line into pieces of 72 UTF-16 units joined by @p fold; lines of up to 73 units stay
// whole. A cut never separates the two halves of a surrogate pair: it moves one unit earlier.
QString fold(const QString& line, QLatin1String foldText)
{
    if (line.size() <= 73)
        return line;
    QString out;
    out.reserve(line.size() + line.size() / 72 * 3 + 3);
    qsizetype pos = 0;
    while (line.size() - pos >= 74) {
        qsizetype piece = 72;
        if (line.at(pos + piece - 1).isHighSurrogate() && line.at(pos + piece).isLowSurrogate())
            --piece;
        out += QStringView(line).mid(pos, piece);
        out += foldText;
        pos += piece;
    }
    out += QStringView(line).mid(pos);
    return out;
}

// vCalendar has no line continuation for these values: every line break becomes "\n", and a CR
// LF pair one escape, so no raw CR can split the line.
QString escapeVcalBreaks(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return text;
}

// Hours (characters 0-2) and minutes (3-4) of a "%z" text; the minutes carry no sign.
void offsetParts(const QString& z, int* hours, int* minutes)
{
    *hours = z.left(3).toInt();
    *minutes = z.mid(3, 2).toInt();
}

// vCalendar times are UTC as organisers compute them: the wall clock minus the offset in force
// now, whatever offset the entry's own date has. @p fullStart decides the offset correction.
QString vcalUtc(const CalDate& instant, const CalDate& fullStart)
{
    if (instant.isNull())
        return {};
    int startH = 0, startM = 0, nowH = 0, nowM = 0;
    offsetParts(fullStart ? fullStart.offsetText() : CalDate::now().offsetText(), &startH, &startM);
    offsetParts(CalDate::now().offsetText(), &nowH, &nowM);
    const qint64 shift = qint64(startH - nowH) * 3600 + qint64(startM - nowM) * 60;
    return instant.addSeconds(shift).inZone(Zones::utc()).format(QStringLiteral("%Y%m%dT%H%M%SZ"));
}

QString withLineEnd(const QString& text)
{
    return text.endsWith(kCrLf) || text.isEmpty() ? text : text + kCrLf;
}
} // namespace

QString dataEntry::the72Split(const QString& line)
{
    return fold(line, QLatin1String("\r\n "));
}

QString dataEntry::the72SplitWithN(const QString& line)
{
    return fold(line, QLatin1String("\n "));
}

QString dataEntry::getICalDTEND() const
{
    QString text = QStringLiteral("DTEND;");
    if (DTEND.isEmpty())
        return text;
    if (DTEND.size() >= 10)
        text += QStringLiteral("TZID=%1:").arg(localZoneName());
    else
        text += QStringLiteral("VALUE=DATE:");
    return text + DTEND;
}

QString dataEntry::getICal()
{
    if (!notBlankLine())
        return {};
    QString out;
    auto line = [&out](const QString& text) { out += text + kCrLf; };
    line(QStringLiteral("BEGIN:VEVENT"));
    line(getSEQUENCE());
    line(getUID());
    line(getDTSTAMP());
    // An entry with only an end date has no start line; an empty line would break the file.
    if (!DTSTART.isEmpty())
        line(the72Split(getDTSTART()));
    if (!theSummary.isEmpty())
        line(the72Split(getSUMMARY()));
    if (!DESCRIPTION.isEmpty())
        line(the72Split(getDESCRIPTION()));
    const QString end = getICalDTEND();
    line(the72Split(end == QLatin1String("DTEND;") ? getDURATION() : end));
    if (!RRULE.isEmpty())
        line(the72Split(getRRULE()));
    const QString exdateHead = QStringLiteral("EXDATE;TZID=%1:").arg(localZoneName());
    const QString clock = startTime ? startTime.format(QStringLiteral("%H%M%S")) : QStringLiteral("000000");
    for (const CalDate& ex : theCalEXDATE) {
        if (ex)
            line(exdateHead + ex.format(QStringLiteral("%Y%m%d")) + QLatin1Char('T') + clock);
    }
    const QString statusLine = getSTATUS();
    if (!statusLine.isEmpty())
        line(statusLine);
    if (!alarm.isEmpty()) {
        // The stored texts carry their own line ends; one that lost it must not swallow END:VALARM.
        out += QStringLiteral("BEGIN:VALARM\r\n") + withLineEnd(alarm) + withLineEnd(ALARMID)
            + QStringLiteral("END:VALARM\r\n");
    }
    const QString locationLine = getLOCATION();
    if (!locationLine.isEmpty())
        line(the72Split(locationLine));
    if (!URL.isEmpty())
        line(the72Split(QStringLiteral("URL;VALUE=URI:") + URL));
    if (!ITIPSTATUSML.isEmpty())
        line(QStringLiteral("X-WR-ITIPSTATUSML:") + ITIPSTATUSML);
    const std::pair<const char*, const QString*> plain[] = {
        {"CLASS:", &theClass},    {"CREATED:", &theCreated}, {"PRIORITY:", &thePriority},
        {"CATEGORIES:", &theCategories}, {"TRANSP:", &transp}, {"LAST-MODIFIED:", &lastModified},
    };
    for (const auto& [name, value] : plain) {
        if (!value->isEmpty())
            line(QLatin1String(name) + *value);
    }
    for (const QString& attendee : ATTENDEE)
        line(the72Split(attendee));
    if (!ORGANIZER.isEmpty())
        line(the72Split(ORGANIZER));
    if (theRecDate)
        line(getTheRecString());
    line(QStringLiteral("END:VEVENT"));
    return out;
}

QString dataEntry::getVCalDTEND() const
{
    const CalDate fullStart = getFullStartTime();
    // A timed entry within one day has equal start and end dates; only equal instants mean
    // there is no end to write.
    const CalDate fullEnd = endDate ? getFullEndTime() : endTime ? getFullEndTimeUsingStartDate() : CalDate();
    if (fullStart == fullEnd)
        return {};
    if (!endTime && !startTime && !endDate)
        return {};
    if (endDate && !endTime && !startTime) {
        if (!RRULE.isEmpty())
            return QStringLiteral("DTEND:");
        // A day entry over several days is written as a daily repeat up to its last day.
        return QStringLiteral("RRULE:D1 ") + vcalUtc(getFullEndTime(), fullStart) + kCrLf;
    }
    if (fullEnd.isNull())
        return {};
    return QStringLiteral("DTEND:") + vcalUtc(fullEnd, fullStart) + kCrLf;
}

namespace
{
// The end part of a repeating day entry, from its duration: "RRULE:W<n>D<n> <end>" when the
// duration has weeks or days, else "DTEND:<end>". The end is plain GMT.
QString vcalDurationEnd(const QString& durationLine, const CalDate& fullStart)
{
    const qsizetype p = durationLine.indexOf(QLatin1String(":P"));
    QString rest = p < 0 ? QString() : durationLine.mid(p + 2);
    QString weeks, days;
    qsizetype w = rest.indexOf(QLatin1Char('W'));
    if (w >= 0) {
        weeks = rest.left(w);
        rest = rest.mid(w + 1);
    }
    qsizetype d = rest.indexOf(QLatin1Char('D'));
    if (d >= 0) {
        days = rest.left(d);
        rest = rest.mid(d + 1);
    }
    rest.remove(QLatin1Char('T'));
    int hours = 0, minutes = 0;
    const qsizetype h = rest.indexOf(QLatin1Char('H'));
    if (h >= 0) {
        hours = rest.left(h).toInt();
        rest = rest.mid(h + 1);
    }
    const qsizetype m = rest.indexOf(QLatin1Char('M'));
    if (m >= 0)
        minutes = rest.left(m).toInt();
    const int weekCount = std::clamp(weeks.toInt(), 0, 100000);
    const int dayCount = std::clamp(days.toInt(), 0, 1000000);
    if (!weeks.isEmpty())
        weeks = QString::number(weekCount);
    if (!days.isEmpty())
        days = QString::number(dayCount);
    const CalDate end = fullStart.addComponents(0, 0, weekCount * 7 + dayCount, std::clamp(hours, 0, 1000000),
                                                std::clamp(minutes, 0, 1000000), 0);
    const QString endText = end.inZone(Zones::utc()).format(QStringLiteral("%Y%m%dT%H%M%SZ"));
    if (!weeks.isEmpty() || !days.isEmpty()) {
        QString text = QStringLiteral("RRULE:");
        if (!weeks.isEmpty())
            text += QLatin1Char('W') + weeks;
        if (!days.isEmpty())
            text += QLatin1Char('D') + days;
        return text + QLatin1Char(' ') + endText + kCrLf;
    }
    return QStringLiteral("DTEND:") + endText + kCrLf;
}
} // namespace

QString dataEntry::getVCal()
{
    if (!notBlankLine())
        return {};
    const CalDate fullStart = getFullStartTime();
    QString out = QStringLiteral("BEGIN:VEVENT\r\n");
    if (!theSummary.isEmpty())
        out += QStringLiteral("SUMMARY;CHARSET=macintosh:") + escapeVcalBreaks(theSummary) + kCrLf;
    if (!DESCRIPTION.isEmpty())
        out += QStringLiteral("DESCRIPTION;CHARSET=macintosh:") + escapeVcalBreaks(DESCRIPTION) + kCrLf;
    const QString locationLine = getLOCATION();
    if (!locationLine.isEmpty())
        out += QStringLiteral("LOCATION;CHARSET=macintosh:") + escapeVcalBreaks(locationLine.mid(9)) + kCrLf;
    out += getUID() + kCrLf;
    if (fullStart)
        out += QStringLiteral("DTSTART:") + vcalUtc(fullStart, fullStart) + kCrLf;
    const QString end = getVCalDTEND();
    if (end == QLatin1String("DTEND:"))
        out += fullStart ? vcalDurationEnd(getDURATION(), fullStart) : QString();
    else
        out += end;
    if (!RRULE.isEmpty()) {
        const QString rule = rruleVcal();
        if (!rule.startsWith(QLatin1String("RRULE:")))
            return rule;
        out += rule;
        if (!theCalEXDATE.isEmpty()) {
            out += QStringLiteral("EXDATE:");
            for (const CalDate& ex : theCalEXDATE) {
                if (ex.isNull())
                    continue;
                const CalDate at =
                    CalDate::fromFields(ex.year(), ex.month(), ex.day(), startTime ? startTime.hour() : 0,
                                        startTime ? startTime.minute() : 0, startTime ? startTime.second() : 0);
                out += QLatin1Char(' ') + vcalUtc(at, fullStart);
            }
            out += kCrLf;
        }
    }
    out += QStringLiteral("END:VEVENT\r\n");
    return out;
}
