#include "calendar/dataEntry.h"

#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/Numbers.h"
#include "platform/Uuid.h"

#include <QDateTime>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>

namespace
{
using Numbers::leadingInt;

QString localZoneName()
{
    return Zones::idOf(Zones::local());
}

int clampInt(qint64 v)
{
    return int(std::clamp<qint64>(v, -100000000, 100000000));
}

bool endsWithCode(const QString& text, QChar code)
{
    if (text.endsWith(code))
        return true;
    if (text.size() >= 2 && (text.endsWith(QLatin1Char('\r')) || text.endsWith(QLatin1Char('\n'))))
        return text.at(text.size() - 2) == code;
    return false;
}

// iCalendar TEXT: a backslash is written as two (or a second reading would take it for an escape),
// every CR and every LF as backslash-n.
QString escapeBreaks(QString text)
{
    // Most texts have neither: leave them (and their shared data) alone.
    if (!text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\\')))
        return text;
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return text;
}

// The head of a property line is its text up to the first colon; the old value is the text
// between the first and the second colon.
QStringView headOf(const QString& line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    return colon < 0 ? QStringView(line) : QStringView(line).left(colon);
}

QStringView oldValueOf(const QString& line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return {};
    const qsizetype second = line.indexOf(QLatin1Char(':'), colon + 1);
    return second < 0 ? QStringView(line).mid(colon + 1) : QStringView(line).mid(colon + 1, second - colon - 1);
}

// Joins the parts into one text allocated at its final size (DTSTART texts live as long as
// their entries).
QString joined(std::initializer_list<QStringView> parts)
{
    qsizetype size = 0;
    for (QStringView p : parts)
        size += p.size();
    QString out;
    out.reserve(size);
    for (QStringView p : parts)
        out.append(p);
    return out;
}
} // namespace

const QString& dataEntry::extraDefault(X field)
{
    static const QString none;
    static const QString zulu = QStringLiteral("Z");
    static const QString zeroHours = QStringLiteral("0");
    switch (field) {
    case X::zoneString:
        return zulu;
    case X::hoursFromGMT:
        return zeroHours;
    default:
        return none;
    }
}

const dataEntry::Links& dataEntry::defaultLinks()
{
    static const Links none;
    return none;
}

const QStringList& dataEntry::attendees() const
{
    static const QStringList none;
    return m_extras ? m_extras->ATTENDEE : none;
}

dataEntry::dataEntry()
    : m_texts(new Texts)
{
    setDTSTAMP();
}

void dataEntry::setNewUID()
{
    mt().UID = Uuid::create();
}

void dataEntry::setImportedUID(const QString& uid)
{
    QString s = uid;
    s.remove(QLatin1Char('\r'));
    s.remove(QLatin1Char('\n'));
    mt().UID = s;
}

void dataEntry::setUIDcopy(const QString& uid)
{
    mt().UID = uid;
}

void dataEntry::setDTSTAMP()
{
    // Entries made within the same second share one stamp text (a large read makes thousands).
    thread_local qint64 lastSecond = std::numeric_limits<qint64>::min();
    thread_local QString lastZone;
    thread_local QString lastStamp;
    const qint64 second = Clock::now().toSecsSinceEpoch();
    if (second != lastSecond || ex(X::zoneString) != lastZone) {
        lastStamp = CalDate::fromSecsSinceEpoch(second, Zones::utc()).format(QStringLiteral("%Y%m%dT%H%M%S"))
            + ex(X::zoneString);
        lastSecond = second;
        lastZone = ex(X::zoneString);
    }
    mt().DTSTAMP = lastStamp;
}

void dataEntry::setStartDate(const CalDate& d)
{
    startDate = d;
    if (d.isNull()) {
        startDateSet = false;
        setDURATION();
        return;
    }
    mt().theCheck.clear();
    startDateSet = true;
    const QString day = d.format(QStringLiteral("%Y%m%d"));
    if (!DTSTART.isEmpty()) {
        const QStringView head = headOf(DTSTART);
        if (head.startsWith(QLatin1String("DTSTART;TZID="))) {
            const QStringView old = oldValueOf(DTSTART);
            const qsizetype t = old.indexOf(QLatin1Char('T'));
            // A timed line always has a clock part; keep the old one, or the entry's own time.
            QString clock = t >= 0 ? old.mid(t + 1).toString() : QString();
            if (clock.isEmpty())
                clock = startTime ? startTime.format(QStringLiteral("%H%M%S")) : QStringLiteral("000000");
            DTSTART = joined({head, u":", day, u"T", clock});
        } else {
            DTSTART = joined({head, u":", day});
        }
    } else if (startTime) {
        DTSTART
            = joined({u"DTSTART;TZID=", localZoneName(), u":", day, u"T", startTime.format(QStringLiteral("%H%M%S"))});
    } else {
        DTSTART = joined({u"DTSTART;VALUE=DATE:", day});
    }
    setDURATION();
}

void dataEntry::setStartTime(const CalDate& t)
{
    startTime = t;
    mt().theCheck.clear();
    startTimeSet = !t.isNull();
    if (!DTSTART.isEmpty()) {
        const QStringView head = headOf(DTSTART);
        if (head.startsWith(QLatin1String("DTSTART;TZID="))) {
            if (t) {
                const QStringView old = oldValueOf(DTSTART);
                const qsizetype tpos = old.indexOf(QLatin1Char('T'));
                DTSTART
                    = joined({head, u":", tpos < 0 ? old : old.left(tpos), u"T", t.format(QStringLiteral("%H%M%S"))});
            } else {
                DTSTART = joined({u"DTSTART;VALUE=DATE:", startDate.format(QStringLiteral("%Y%m%d"))});
            }
        } else if (t) {
            // The zone is named by its identifier: an abbreviation such as CEST or IST is
            // ambiguous and peers cannot resolve it.
            DTSTART = joined({u"DTSTART;TZID=", localZoneName(), u":", oldValueOf(DTSTART), u"T",
                              t.format(QStringLiteral("%H%M%S"))});
        }
    }
    setDURATION();
}

void dataEntry::setEndDate(const CalDate& d)
{
    endDate = d;
    mt().theCheck.clear();
    endDateSet = !d.isNull();
    setDURATION();
}

void dataEntry::setEndTime(const CalDate& t)
{
    endTime = t;
    mt().theCheck.clear();
    endTimeSet = !t.isNull();
    setDURATION();
}

void dataEntry::updateStartDetail(const CalDate& date, const CalDate& time)
{
    startDateSet = startTimeSet = endDateSet = endTimeSet = false;
    DTSTART.clear();
    startDate = date;
    startTime = time;
    setStartTime(time);
    setStartDate(date);
    if (startDate.isNull() || endDate.isNull())
        dataCheck = false;
}

void dataEntry::updateEndDetail(const CalDate& date, const CalDate& time)
{
    mt().DTEND.clear();
    endDate = date;
    endTime = time;
    setEndTime(time);
    setEndDate(date);
}

static CalDate combine(const CalDate& date, const CalDate& time)
{
    if (date.isNull())
        return {};
    return CalDate::fromFields(date.year(), date.month(), date.day(), time ? time.hour() : 0, time ? time.minute() : 0,
                               time ? time.second() : 0, Zones::local());
}

CalDate dataEntry::getFullStartTime() const
{
    return combine(startDate, startTime);
}

CalDate dataEntry::getFullEndTime() const
{
    return combine(endDate, endTime);
}

CalDate dataEntry::getFullEndTimeUsingStartDate() const
{
    return combine(startDate, endTime);
}

CalDate dataEntry::getDayOfEvent() const
{
    return combine(startDate, CalDate());
}

double dataEntry::startSeconds1970() const
{
    return getFullStartTime().secondsSince1970();
}

double dataEntry::endSeconds1970() const
{
    return getFullEndTime().secondsSince1970();
}

CalDate dataEntry::getFullEndTimeUsingDateAndDuration(const CalDate& baseIn, const QString* durationIn) const
{
    const CalDate base = baseIn ? baseIn : getFullStartTime();
    const QString text = durationIn ? *durationIn : getDuration();
    if (base.isNull())
        return base;
    if (text.startsWith(QLatin1String("PT"))) {
        const QString r = text.mid(2);
        qint64 hours = 0, minutes = 0, seconds = 0;
        const qsizetype h = r.indexOf(QLatin1Char('H'));
        if (h >= 0) {
            hours = leadingInt(r.left(h));
            const QString rest = r.mid(h + 1);
            minutes = leadingInt(rest.left(rest.size() - 1));
        } else if (endsWithCode(text, QLatin1Char('M'))) {
            minutes = leadingInt(r.left(r.size() - 1));
        } else if (endsWithCode(text, QLatin1Char('S'))) {
            const qsizetype m = r.indexOf(QLatin1Char('M'));
            if (m >= 0) {
                minutes = leadingInt(r.left(m));
                const QString rest = r.mid(m + 1);
                seconds = leadingInt(rest.left(rest.size() - 1));
            } else {
                seconds = leadingInt(r.left(r.size() - 1));
            }
        } else {
            return base;
        }
        return base.addComponents(0, 0, 0, clampInt(hours), clampInt(minutes), clampInt(seconds));
    }
    if (text.startsWith(QLatin1Char('P'))) {
        const QString rest = text.mid(1);
        if (rest.endsWith(QLatin1Char('D')))
            return base.addDays(clampInt(leadingInt(rest) - 1));
        if (rest.endsWith(QLatin1Char('W')))
            return base.addDays(clampInt(7 * leadingInt(rest)));
        return base;
    }
    return base;
}

void dataEntry::advanceByDays(int n)
{
    setStartDate(getFullStartTime().addDays(n));
    setEndDate(getFullEndTime().addDays(n));
}

void dataEntry::advanceByMonths(int n)
{
    setStartDate(getFullStartTime().addMonths(n));
    setEndDate(getFullEndTime().addMonths(n));
}

void dataEntry::advanceByYears(int n)
{
    setStartDate(getFullStartTime().addYears(n));
    setEndDate(getFullEndTime().addYears(n));
}

void dataEntry::setDURATION()
{
    if (!startDateSet && !endDateSet) {
        dataCheck = false;
        return;
    }
    if (startTimeSet != endTimeSet) {
        dataCheck = false;
        return;
    }
    const CalDate end = endDateSet ? getFullEndTime()
        : endTimeSet               ? getFullEndTimeUsingStartDate()
                                   : getFullStartTime();
    CalDate start;
    if (startDateSet)
        start = getFullStartTime();
    else if (startTimeSet)
        start = combine(endDate, startTime);
    else
        start = getFullEndTime();
    if (start.isNull() || end.isNull()) {
        dataCheck = false;
        return;
    }
    // Whole days on the wall clock (nominal), the rest in exact time.
    int days = 0, hours = 0, minutes = 0, seconds = 0;
    CalDate::difference(start, end, &days, nullptr, nullptr, nullptr);
    const qint64 total = end.secsSinceEpoch() - start.secsSinceEpoch();
    qint64 rest = total;
    if (days > 0) {
        rest = end.secsSinceEpoch() - start.addDays(days).secsSinceEpoch();
        if (rest < 0) {
            --days;
            rest = end.secsSinceEpoch() - start.addDays(days).secsSinceEpoch();
        }
    }
    if (rest > 0) {
        hours = int(std::min<qint64>(rest / 3600, 100000000));
        minutes = int(rest % 3600 / 60);
        seconds = int(rest % 60);
    } else if (days <= 0) {
        // Backwards: only the sign matters (the entry is invalid).
        days = hours = minutes = seconds = 0;
    }
    const bool noTimes = !startTimeSet && !endTimeSet;
    if (startDateSet && endDateSet && noTimes)
        days += 1;
    if (total == 0 && noTimes)
        days = 1;
    const bool instant = total == 0 && !noTimes && allowsNoDuration;
    dataCheck = total >= 0 && (endDate.isNull() || total > 0 || days > 0 || instant);
    // Built in a buffer and kept at its exact size: every entry holds one.
    char text[64];
    int n = 0;
    auto put = [&text, &n](int value, char unit) {
        n += std::snprintf(text + n, sizeof text - size_t(n), "%d%c", value, unit);
    };
    if (days > 0)
        put(days, 'D');
    if (hours > 0 || minutes > 0 || seconds >= 1) {
        text[n++] = 'T';
        if (hours > 0)
            put(hours, 'H');
        if (minutes > 0)
            put(minutes, 'M');
        if (seconds > 0)
            put(seconds, 'S');
    }
    if (n == 0 && instant) {
        std::memcpy(text, "T0S", 3);
        n = 3;
    }
    if (n == 0 || (DURATION.size() == n && DURATION == QLatin1String(text, n)))
        return;
    // Most entries of a calendar share a handful of durations; they share the texts too.
    thread_local QString recent[8];
    thread_local int recentNext = 0;
    for (const QString& r : recent) {
        if (r.size() == n && r == QLatin1String(text, n)) {
            DURATION = r;
            return;
        }
    }
    DURATION = QString::fromLatin1(text, n);
    recent[recentNext] = DURATION;
    recentNext = (recentNext + 1) % 8;
}

bool dataEntry::notBlankLine() const
{
    return startDate || endDate || startTime || endTime || !tx().theSummary.isEmpty() || !tx().Notes.isEmpty()
        || !tx().DESCRIPTION.isEmpty() || !tx().RRULE.isEmpty();
}

void dataEntry::setTheEXDATE(const CalDate& d)
{
    mt().theCalEXDATE.append(d);
}

void dataEntry::copyTheEXDATE(const QList<CalDate>& list)
{
    mt().theCalEXDATE = list;
}

void dataEntry::removeTheEXDATE(int index)
{
    if (index >= 0 && index < tx().theCalEXDATE.size())
        mt().theCalEXDATE.removeAt(index);
}

void dataEntry::addRecObjectArray(const EntryPtr& entry)
{
    ml().theRecObjectsArray.append(entry);
}

void dataEntry::setTheRepeater(bool repeating)
{
    mt().theRepeater = repeating ? QStringLiteral("repeat") : QStringLiteral("blank");
}

void dataEntry::setSummary(const QString& s)
{
    mt().theSummary = s;
    mt().theCheck.clear();
    setSUMMARY(s);
}

QString dataEntry::getShortDESCRIPTION() const
{
    return Encoding::fromKeptUtf8(tx().DESCRIPTION);
}

void dataEntry::setDESCRIPTION(const QString& s)
{
    mt().DESCRIPTION = Encoding::compactUtf8(s);
}

void dataEntry::setNotes(const QString& s)
{
    mt().Notes = s;
    mt().theCheck.clear();
}

void dataEntry::setLocation(const QString& s)
{
    QString l = s;
    l.remove(QLatin1Char('\r'));
    l.remove(QLatin1Char('\n'));
    setExtra(X::location, l);
}

QString dataEntry::getSEQUENCE() const
{
    return QStringLiteral("SEQUENCE:") + tx().SEQUENCE;
}

QString dataEntry::getUID()
{
    if (tx().UID.isEmpty())
        setNewUID();
    return QStringLiteral("UID:") + tx().UID;
}

QString dataEntry::getDTSTAMP() const
{
    return QStringLiteral("DTSTAMP:") + tx().DTSTAMP;
}

QString dataEntry::getSUMMARY() const
{
    return QStringLiteral("SUMMARY:") + escapeBreaks(tx().theSummary);
}

QString dataEntry::getDESCRIPTION() const
{
    return QStringLiteral("DESCRIPTION:") + escapeBreaks(getShortDESCRIPTION());
}

QString dataEntry::getRRULE() const
{
    return QStringLiteral("RRULE:") + tx().RRULE;
}

QString dataEntry::getDuration() const
{
    return QStringLiteral("P") + DURATION;
}

QString dataEntry::getDURATION() const
{
    return QStringLiteral("DURATION:") + getDuration();
}

static QString propertyOrEmpty(const QString& value, const QString& prefix)
{
    if (value.startsWith(prefix))
        return value == prefix ? QString() : value;
    return value.isEmpty() ? QString() : prefix + value;
}

QString dataEntry::getSTATUS() const
{
    return propertyOrEmpty(ex(X::status), QStringLiteral("STATUS:"));
}

QString dataEntry::getLOCATION() const
{
    return propertyOrEmpty(ex(X::location), QStringLiteral("LOCATION:"));
}

QString dataEntry::getTheRecString() const
{
    // An occurrence of an all-day series is named by its date, as it was read: a date-time would
    // match no occurrence.
    if (!lx().theRecTime)
        return QStringLiteral("RECURRENCE-ID;VALUE=DATE:") + lx().theRecDate.format(QStringLiteral("%Y%m%d"));
    return QStringLiteral("RECURRENCE-ID;TZID=%1:").arg(localZoneName())
        + lx().theRecDate.format(QStringLiteral("%Y%m%d")) + QLatin1Char('T')
        + lx().theRecTime.format(QStringLiteral("%H%M%S"));
}

QString dataEntry::invalidReason() const
{
    if (dataCheck)
        return {};
    if (!startDateSet && !endDateSet)
        return startTimeSet || endTimeSet ? QStringLiteral("it has a time but no date")
                                          : QStringLiteral("it has no start date");
    if (startTimeSet && !endTimeSet)
        return QStringLiteral("it has a start time but no end time");
    if (endTimeSet && !startTimeSet)
        return QStringLiteral("it has an end time but no start time");
    if (!startDateSet)
        return QStringLiteral("it has no start date");
    const CalDate end = endDateSet ? getFullEndTime() : getFullEndTimeUsingStartDate();
    const CalDate start = getFullStartTime();
    if (start && end && end < start)
        return QStringLiteral("it ends before it starts");
    if (start && end && end == start)
        return QStringLiteral("it ends when it starts");
    return QStringLiteral("its start and end do not fit together");
}

int dataEntry::tableRowCount(int tag) const
{
    if (tag == 1)
        return int(tx().theCalEXDATE.size());
    if (tag == 13)
        return int(lx().theRecObjectsArray.size());
    return 0;
}

static QVariant dateVariant(const CalDate& d)
{
    if (d.isNull())
        return {};
    return QDateTime::fromSecsSinceEpoch(d.secsSinceEpoch(), d.zone());
}

QVariant dataEntry::tableValue(int tag, int row, const QString& column) const
{
    if (tag == 1 && row >= 0 && row < tx().theCalEXDATE.size())
        return dateVariant(tx().theCalEXDATE.at(row));
    if (tag == 13 && row >= 0 && row < lx().theRecObjectsArray.size())
        return lx().theRecObjectsArray.at(row)->propertyValue(column);
    return {};
}

void dataEntry::setTableValue(int tag, int row, const QVariant& value)
{
    if (tag != 1 || row < 0 || row >= tx().theCalEXDATE.size())
        return;
    const QDateTime dt = value.toDateTime();
    if (dt.isValid())
        mt().theCalEXDATE[row] = CalDate::fromSecsSinceEpoch(dt.toSecsSinceEpoch(), Zones::local());
}

QVariant dataEntry::propertyValue(const QString& name) const
{
    static const QHash<QString, std::function<QVariant(const dataEntry&)>> getters {
        {"startDate", [](const dataEntry& e) { return dateVariant(e.startDate); }},
        {"endDate", [](const dataEntry& e) { return dateVariant(e.endDate); }},
        {"startTime", [](const dataEntry& e) { return dateVariant(e.startTime); }},
        {"endTime", [](const dataEntry& e) { return dateVariant(e.endTime); }},
        {"theRecDate", [](const dataEntry& e) { return dateVariant(e.lx().theRecDate); }},
        {"theRecTime", [](const dataEntry& e) { return dateVariant(e.lx().theRecTime); }},
        {"theSummary", [](const dataEntry& e) { return QVariant(e.tx().theSummary); }},
        {"Notes", [](const dataEntry& e) { return QVariant(e.tx().Notes); }},
        {"DESCRIPTION", [](const dataEntry& e) { return QVariant(e.getShortDESCRIPTION()); }},
        {"UID", [](const dataEntry& e) { return QVariant(e.tx().UID); }},
        {"RRULE", [](const dataEntry& e) { return QVariant(e.tx().RRULE); }},
        {"DTSTART", [](const dataEntry& e) { return QVariant(e.DTSTART); }},
        {"DURATION", [](const dataEntry& e) { return QVariant(e.DURATION); }},
        {"location", [](const dataEntry& e) { return QVariant(e.ex(X::location)); }},
        {"status", [](const dataEntry& e) { return QVariant(e.ex(X::status)); }},
        {"theRepeater", [](const dataEntry& e) { return QVariant(e.tx().theRepeater); }},
    };
    auto it = getters.constFind(name);
    return it == getters.constEnd() ? QVariant() : (*it)(*this);
}
