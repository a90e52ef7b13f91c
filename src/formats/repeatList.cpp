#include "formats/repeatList.h"

#include "calendar/aCalendar.h"
#include "platform/Numbers.h"
#include "platform/Parallel.h"
#include "text/quickSort.h"
#include "text/theSorter.h"

#include <QDate>
#include <QHash>
#include <QSet>
#include <QVarLengthArray>

#include <algorithm>
#include <limits>

namespace
{
// Years beyond this cannot be written back as four-digit iCalendar dates; rules stop there.
constexpr int kLastYear = 9999;
// A rule whose periods stay empty this long can no longer produce (31 February, say).
constexpr int kIdlePeriods = 1000;
// Keeps interval arithmetic far from overflow; such steps leave the supported years at once.
constexpr qint64 kMaxInterval = 100000000;
// Julian day of 1970-01-01, where wall-clock seconds are counted from.
constexpr qint64 kEpochJulianDay = 2440588;

enum class Freq { None, Daily, Weekly, Monthly, Yearly };

/// A weekday position: the n-th weekday of a month (1..5), the last one (-1) or every one (0).
struct Position
{
    enum Kind { Nth, Last, Every } kind;
    int nth;
    int weekday; // 1 = Monday ... 7 = Sunday
    friend bool operator==(const Position&, const Position&) = default;
};

struct Rule
{
    Freq freq = Freq::None;
    qint64 count = 0; // 0: none
    qint64 interval = 1;
    QDate until; // null: none
    QString byDay, byMonthDay, byMonth;
    int wkst = 1;
};

QString stripped(QString s)
{
    s.remove(QLatin1Char('\r'));
    s.remove(QLatin1Char('\n'));
    return s.trimmed();
}

// A weekday code: MO, TU ... SU (or a longer prefix of the English abbreviation, e.g. MON).
int weekdayOfCode(const QString& code)
{
    static const char* const names[] = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};
    if (code.size() < 2 || code.size() > 3)
        return 0;
    for (int i = 0; i < 7; ++i) {
        if (QLatin1String(names[i]).startsWith(code))
            return i + 1;
    }
    return 0;
}

bool parseInt(const QString& text, qint64* value)
{
    bool ok = false;
    const qint64 v = stripped(text).toLongLong(&ok);
    if (ok)
        *value = v;
    return ok;
}

Rule parseRule(const QString& rrule)
{
    Rule rule;
    QString text = stripped(rrule).toUpper();
    if (text.startsWith(QLatin1String("RRULE:")))
        text = text.mid(6);
    const QStringList parts = text.split(QLatin1Char(';'));
    const QString freq = stripped(parts.value(0));
    if (freq == QLatin1String("FREQ=DAILY"))
        rule.freq = Freq::Daily;
    else if (freq == QLatin1String("FREQ=WEEKLY"))
        rule.freq = Freq::Weekly;
    else if (freq == QLatin1String("FREQ=MONTHLY"))
        rule.freq = Freq::Monthly;
    else if (freq == QLatin1String("FREQ=YEARLY"))
        rule.freq = Freq::Yearly;
    else
        return rule;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString part = stripped(parts.at(i));
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString name = part.left(eq);
        const QString value = part.mid(eq + 1);
        qint64 n = 0;
        if (name == QLatin1String("COUNT")) {
            // A negative or unreadable count is no count.
            rule.count = parseInt(value, &n) && n > 0 ? n : 0;
        } else if (name == QLatin1String("INTERVAL")) {
            // An interval of 0 or less would never advance: read it as 1.
            rule.interval = parseInt(value, &n) && n > 0 ? std::min(n, kMaxInterval) : 1;
        } else if (name == QLatin1String("UNTIL")) {
            // The day only: the time of day and any "Z" are ignored.
            const QString v = value.left(8);
            bool okY = false, okM = false, okD = false;
            const int y = v.left(4).toInt(&okY), m = v.mid(4, 2).toInt(&okM), d = v.mid(6, 2).toInt(&okD);
            const QDate day(y, m, d);
            rule.until = (v.size() == 8 && okY && okM && okD && day.isValid()) ? day : QDate();
        } else if (name == QLatin1String("BYDAY")) {
            rule.byDay = value;
        } else if (name == QLatin1String("BYMONTHDAY")) {
            rule.byMonthDay = value;
        } else if (name == QLatin1String("BYMONTH")) {
            rule.byMonth = value;
        } else if (name == QLatin1String("WKST")) {
            if (const int wd = weekdayOfCode(value))
                rule.wkst = wd;
        }
    }
    return rule;
}

QStringList tokens(const QString& list)
{
    QStringList out;
    for (const QString& t : list.split(QLatin1Char(','))) {
        const QString s = stripped(t);
        if (!s.isEmpty())
            out.append(s);
    }
    return out;
}

// "2MO", "-1FR", "+1TU", or a plain weekday code (every such weekday of the month). Ordinals
// beyond 5 or below -1 name a day no month has: the position is refused.
bool parsePosition(const QString& token, Position* pos)
{
    if (token.size() < 2)
        return false;
    const int weekday = weekdayOfCode(token.right(2));
    if (!weekday)
        return false;
    const QString ordinal = token.left(token.size() - 2);
    if (ordinal.isEmpty()) {
        *pos = {Position::Every, 0, weekday};
        return true;
    }
    bool ok = false;
    const int n = ordinal.toInt(&ok);
    if (!ok || n > 5 || n < -1)
        return false;
    *pos = n >= 1 ? Position {Position::Nth, n, weekday} : Position {Position::Last, 0, weekday};
    return true;
}

struct Candidate
{
    qint64 jd;
    int stream;
};
using Period = QVarLengthArray<Candidate, 32>;

qint64 monthIndexOf(const QDate& d)
{
    return qint64(d.year()) * 12 + (d.month() - 1);
}

int dayOfWeekJd(qint64 jd)
{
    // Julian day 0 was a Monday.
    return int(((jd % 7) + 7) % 7) + 1;
}

// Days of @p pos in the month starting on @p firstJd with @p dim days.
void positionDays(const Position& pos, qint64 firstJd, int dim, QVarLengthArray<int, 8>& days)
{
    const int firstDow = dayOfWeekJd(firstJd);
    const int firstDay = 1 + (pos.weekday - firstDow + 7) % 7;
    switch (pos.kind) {
    case Position::Nth: {
        const int day = firstDay + 7 * (pos.nth - 1);
        if (day <= dim)
            days.append(day);
        break;
    }
    case Position::Last: {
        const int lastDow = dayOfWeekJd(firstJd + dim - 1);
        days.append(dim - (lastDow - pos.weekday + 7) % 7);
        break;
    }
    case Position::Every:
        for (int day = firstDay; day <= dim; day += 7)
            days.append(day);
        break;
    }
}

/// The candidate dates of a rule, period by period (a day, week, month or year, every interval
/// periods), each period's dates in time order and none before the start. Each date belongs to a
/// stream (one weekday, month day, position or month), which the horizon limit follows.
class Generator
{
public:
    enum class Continue { Daily, Weekly, Monthly, Yearly };

    Generator(const Rule& rule, const QDate& start)
        : m_rule(rule)
        , m_start(start)
        , m_startJd(start.toJulianDay())
    {
        switch (rule.freq) {
        case Freq::Daily:
            setUpDaily();
            break;
        case Freq::Weekly:
            setUpWeekly();
            break;
        case Freq::Monthly:
            setUpMonthly();
            break;
        case Freq::Yearly:
            setUpYearly();
            break;
        case Freq::None:
            break;
        }
    }

    int streams() const { return m_streams; }
    Continue continueRule() const { return m_continue; }

    /// Fills @p out with period @p k; false when the period lies beyond the supported years.
    bool period(qint64 k, Period& out, qint64* periodStartJd) const
    {
        out.clear();
        switch (m_rule.freq) {
        case Freq::Daily: {
            const qint64 jd = m_startJd + k * m_rule.interval;
            if (jd > m_lastJd)
                return false;
            *periodStartJd = jd;
            out.append({jd, 0});
            return true;
        }
        case Freq::Weekly: {
            const qint64 ws = m_weekStartJd + 7 * m_rule.interval * k;
            if (ws > m_lastJd)
                return false;
            *periodStartJd = ws;
            for (const Candidate& c : m_weekSlots) {
                const qint64 jd = ws + c.jd;
                if (jd >= m_startJd && jd <= m_lastJd)
                    out.append({jd, c.stream});
            }
            return true;
        }
        case Freq::Monthly:
            return monthPeriod(m_anchorMonth + k * m_rule.interval, out, periodStartJd);
        case Freq::Yearly:
            return yearPeriod(qint64(m_start.year()) + k * m_rule.interval, out, periodStartJd);
        case Freq::None:
            return false;
        }
        return false;
    }

private:
    void setUpDaily()
    {
        m_streams = 1;
        m_continue = Continue::Daily;
    }

    void setUpWeekly()
    {
        m_continue = Continue::Weekly;
        QList<int> weekdays;
        if (stripped(m_rule.byDay).isEmpty()) {
            weekdays.append(m_start.dayOfWeek());
        } else {
            for (const QString& t : tokens(m_rule.byDay)) {
                const int wd = weekdayOfCode(t);
                if (wd && !weekdays.contains(wd))
                    weekdays.append(wd);
            }
        }
        // Weeks begin on the week start day, as RFC 5545 counts them for intervals above 1.
        m_weekStartJd = m_startJd - (m_start.dayOfWeek() - m_rule.wkst + 7) % 7;
        const int firstDow = dayOfWeekJd(m_weekStartJd);
        for (int j = 0; j < 7; ++j) {
            const int wd = (firstDow - 1 + j) % 7 + 1;
            const qsizetype s = weekdays.indexOf(wd);
            if (s >= 0)
                m_weekSlots.append({j, int(s)});
        }
        m_streams = int(weekdays.size());
    }

    void setUpMonthly()
    {
        m_continue = Continue::Monthly;
        m_anchorMonth = monthIndexOf(m_start);
        if (!stripped(m_rule.byMonthDay).isEmpty()) {
            for (const QString& t : tokens(m_rule.byMonthDay)) {
                bool ok = false;
                const int n = t.toInt(&ok);
                if (ok && n != 0 && n >= -31 && n <= 31 && !m_monthDays.contains(n))
                    m_monthDays.append(n);
            }
            m_streams = int(m_monthDays.size());
            m_monthMode = MonthMode::MonthDays;
        } else if (!stripped(m_rule.byDay).isEmpty()) {
            for (const QString& t : tokens(m_rule.byDay)) {
                Position p;
                // A position named twice gives its days once (a long BYDAY list of one code
                // would otherwise be walked for every period).
                if (parsePosition(t, &p) && !m_positions.contains(p))
                    m_positions.append(p);
            }
            m_streams = int(m_positions.size());
            m_monthMode = MonthMode::Positions;
            // The first occurrence is the first matching day on or after the start; later ones
            // follow interval months after the month it falls in.
            Period first;
            qint64 dummy = 0;
            bool found = false;
            const qint64 startMonth = m_anchorMonth;
            for (int a = 0; a < 24 && m_streams > 0; ++a) {
                m_anchorMonth = startMonth + a;
                if (monthPeriod(m_anchorMonth, first, &dummy) && !first.isEmpty()) {
                    found = true;
                    break;
                }
            }
            if (!found)
                m_streams = 0;
        } else {
            // Without BYMONTHDAY and BYDAY the rule repeats on the start's day of the month,
            // skipping months that lack it.
            m_monthDays.append(m_start.day());
            m_streams = 1;
            m_monthMode = MonthMode::MonthDays;
        }
    }

    void setUpYearly()
    {
        m_continue = Continue::Yearly;
        if (stripped(m_rule.byMonth).isEmpty()) {
            m_months.append(m_start.month());
        } else {
            for (const QString& t : tokens(m_rule.byMonth)) {
                bool ok = false;
                const int m = t.toInt(&ok);
                if (ok && m >= 1 && m <= 12 && !m_months.contains(m))
                    m_months.append(m);
            }
            std::sort(m_months.begin(), m_months.end());
        }
        if (!stripped(m_rule.byDay).isEmpty()) {
            for (const QString& t : tokens(m_rule.byDay)) {
                Position p;
                // A position named twice gives its days once (a long BYDAY list of one code
                // would otherwise be walked for every period).
                if (parsePosition(t, &p) && !m_positions.contains(p))
                    m_positions.append(p);
            }
            m_yearByPosition = true;
            m_streams = int(m_months.size() * m_positions.size());
        } else {
            m_streams = int(m_months.size());
        }
    }

    bool monthPeriod(qint64 monthIndex, Period& out, qint64* periodStartJd) const
    {
        out.clear();
        const qint64 y = monthIndex / 12;
        if (y > kLastYear)
            return false;
        const int m = int(monthIndex % 12) + 1;
        const QDate first(int(y), m, 1);
        const int dim = first.daysInMonth();
        const qint64 firstJd = first.toJulianDay();
        *periodStartJd = firstJd;
        if (m_monthMode == MonthMode::MonthDays) {
            for (int s = 0; s < m_monthDays.size(); ++s) {
                const int n = m_monthDays.at(s);
                const int day = n > 0 ? n : dim + n + 1;
                if (day >= 1 && day <= dim)
                    add(out, firstJd + day - 1, s);
            }
        } else {
            QVarLengthArray<int, 8> days;
            for (int s = 0; s < m_positions.size(); ++s) {
                days.clear();
                positionDays(m_positions.at(s), firstJd, dim, days);
                for (int day : days)
                    add(out, firstJd + day - 1, s);
            }
        }
        finish(out);
        return true;
    }

    bool yearPeriod(qint64 year, Period& out, qint64* periodStartJd) const
    {
        out.clear();
        if (year > kLastYear)
            return false;
        *periodStartJd = QDate(int(year), 1, 1).toJulianDay();
        QVarLengthArray<int, 8> days;
        for (int mi = 0; mi < m_months.size(); ++mi) {
            const QDate first(int(year), m_months.at(mi), 1);
            const qint64 firstJd = first.toJulianDay();
            const int dim = first.daysInMonth();
            if (m_yearByPosition) {
                for (int pi = 0; pi < m_positions.size(); ++pi) {
                    days.clear();
                    positionDays(m_positions.at(pi), firstJd, dim, days);
                    for (int day : days)
                        add(out, firstJd + day - 1, int(mi * m_positions.size() + pi));
                }
            } else if (m_start.day() <= dim) {
                // Years whose month lacks the start's day (29 February) are skipped.
                add(out, firstJd + m_start.day() - 1, mi);
            }
        }
        finish(out);
        return true;
    }

    void add(Period& out, qint64 jd, int stream) const
    {
        if (jd >= m_startJd)
            out.append({jd, stream});
    }

    // Time order. A day named twice (BYMONTHDAY=31,-1; BYDAY=4MO,-1MO) stays once per stream: the
    // expansion lists it once but counts it for each stream, or a stream whose days another one
    // always names first would never reach the horizon.
    static void finish(Period& out)
    {
        std::stable_sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) { return a.jd < b.jd; });
    }

    enum class MonthMode { MonthDays, Positions };

    const Rule& m_rule;
    QDate m_start;
    qint64 m_startJd;
    qint64 m_lastJd = QDate(kLastYear, 12, 31).toJulianDay();
    int m_streams = 0;
    Continue m_continue = Continue::Daily;
    qint64 m_weekStartJd = 0;
    QVarLengthArray<Candidate, 7> m_weekSlots; // day offset in the week, stream
    qint64 m_anchorMonth = 0;
    MonthMode m_monthMode = MonthMode::MonthDays;
    QList<int> m_monthDays;
    QList<Position> m_positions;
    QList<int> m_months;
    bool m_yearByPosition = false;
};

// prefix + "YYYYMMDD" + suffix in one allocation.
QString withDay(const QString& prefix, int y, int m, int d, const QString& suffix)
{
    QString out(prefix.size() + 8 + suffix.size(), Qt::Uninitialized);
    QChar* p = out.data();
    std::copy(prefix.cbegin(), prefix.cend(), p);
    p += prefix.size();
    const int digits[8] = {y / 1000 % 10, y / 100 % 10, y / 10 % 10, y % 10, m / 10, m % 10, d / 10, d % 10};
    for (int v : digits)
        *p++ = QChar(u'0' + v);
    std::copy(suffix.cbegin(), suffix.cend(), p);
    return out;
}

int wholeDays(const CalDate& from, const CalDate& to)
{
    int days = 0;
    CalDate::difference(from, to, &days, nullptr, nullptr, nullptr);
    return days;
}

} // namespace

/// Makes the copies of one source entry: a prepared prototype is copied (sharing its texts) and
/// only the dates, DTSTART and DURATION are set per copy.
struct repeatList::CopyMaker
{
    CopyMaker(const repeatList& owner, const dataEntry& source)
        : proto(*owner.copyTheEntry(source))
        , zone(Zones::local())
    {
        const CalDate fullStart = source.getFullStartTime();
        const CalDate fullEnd = source.getFullEndTime();
        startJd = QDate(fullStart.year(), fullStart.month(), fullStart.day()).toJulianDay();
        const CalDate& t = source.getStartTime();
        if (t) {
            h = t.hour();
            mi = t.minute();
            s = t.second();
        }
        hasEnd = !fullEnd.isNull();
        if (hasEnd) {
            spanDays = QDate(fullEnd.year(), fullEnd.month(), fullEnd.day()).toJulianDay() - startJd;
            const CalDate& et = source.getEndTime();
            if (et) {
                eh = et.hour();
                emi = et.minute();
                es = et.second();
            }
        }
        // A moved entry keeps the head of its DTSTART line and its clock part; only the date changes.
        const QString& line = source.getDTSTART();
        if (!line.isEmpty()) {
            const qsizetype colon = line.indexOf(QLatin1Char(':'));
            const QString head = colon < 0 ? line : line.left(colon);
            prefix = head + QLatin1Char(':');
            if (head.startsWith(QLatin1String("DTSTART;TZID="))) {
                QString old = colon < 0 ? QString() : line.mid(colon + 1);
                const qsizetype second = old.indexOf(QLatin1Char(':'));
                if (second >= 0)
                    old.truncate(second);
                const qsizetype tpos = old.indexOf(QLatin1Char('T'));
                QString clock = tpos >= 0 ? old.mid(tpos + 1) : QString();
                if (clock.isEmpty())
                    clock = t ? t.format(QStringLiteral("%H%M%S")) : QStringLiteral("000000");
                suffix = QLatin1Char('T') + clock;
            }
        } else if (t) {
            prefix = QStringLiteral("DTSTART;TZID=") + Zones::idOf(zone) + QLatin1Char(':');
            suffix = QLatin1Char('T') + t.format(QStringLiteral("%H%M%S"));
        } else {
            prefix = QStringLiteral("DTSTART;VALUE=DATE:");
        }
    }

    /// The start (the copy's startDate, in seconds) and the whole days of the copy make() gives
    /// for day @p jd, without making it once the first copy at the source's clock time is known.
    double measure(qint64 jd, int* days)
    {
        // The instants fromFields would give, and whether the clock reads the times asked for
        // there (a daylight-saving gap moves them).
        qint64 then = 0;
        const qint64 start = CalDate::instantAtWall(wallAt(jd, startClock()), zoneId, &then);
        bool shifted = Numbers::floorMod(then, 86400) != startClock();
        if (hasEnd && !shifted) {
            CalDate::instantAtWall(wallAt(jd + spanDays, endClock()), zoneId, &then);
            shifted = Numbers::floorMod(then, 86400) != endClock();
        }
        if (!shifted && refValid)
            *days = refDays;
        else
            make(jd, days); // a daylight-saving gap, or the first copy: it sets the reference
        return double(start);
    }

    static qint64 wallAt(qint64 jd, qint64 clock) { return (jd - kEpochJulianDay) * 86400 + clock; }
    qint64 startClock() const { return qint64(h) * 3600 + mi * 60 + s; }
    qint64 endClock() const { return qint64(eh) * 3600 + emi * 60 + es; }

    /// A copy's full start and end: getFullStartTime() and getFullEndTime() of the copy make()
    /// gives for day @p jd. The copy's dates come from
    /// fromFields, so combining them with times of the same clock fields gives them back; only a
    /// date a daylight-saving gap moved is combined anew.
    /// @p startSecs is the copy's startDate in seconds (its key in the expansion), which gives its
    /// start date without working out the zone offset again.
    void rowDates(qint64 jd, double startSecs, CalDate* start, CalDate* end) const
    {
        *start = fullStart(startSecs);
        *end = CalDate();
        if (hasEnd)
            *end = atClock(CalDate::fromWallSeconds(wallAt(jd + spanDays, endClock()), zoneId), eh, emi, es);
    }

    /// getFullStartTime() of the copy whose startDate is @p startSecs seconds after 1970.
    CalDate fullStart(double startSecs) const
    {
        return atClock(CalDate::fromSecsSinceEpoch(qint64(startSecs), zoneId), h, mi, s);
    }

    /// @p date with its clock set to @p hour, @p minute, @p second on its own day, as the entry's
    /// date and time combine.
    CalDate atClock(const CalDate& date, int hour, int minute, int second) const
    {
        if (date.hour() == hour && date.minute() == minute && date.second() == second)
            return date;
        return CalDate::fromFields(date.year(), date.month(), date.day(), hour, minute, second, zoneId);
    }

    /// A copy starting on day @p jd (the source's clock times, the source's length in days);
    /// @p days receives its whole days from start to end.
    EntryPtr make(qint64 jd, int* days)
    {
        auto e = std::make_shared<dataEntry>(proto);
        int y = 0, m = 0, d = 0;
        QDate::fromJulianDay(jd).getDate(&y, &m, &d);
        e->startDate = CalDate::fromFields(y, m, d, h, mi, s, zone);
        e->startDateSet = true;
        e->DTSTART = withDay(prefix, y, m, d, suffix);
        bool shifted = e->startDate.hour() != h || e->startDate.minute() != mi || e->startDate.second() != s;
        if (hasEnd) {
            QDate::fromJulianDay(jd + spanDays).getDate(&y, &m, &d);
            e->endDate = CalDate::fromFields(y, m, d, eh, emi, es, zone);
            e->endDateSet = true;
            shifted = shifted || e->endDate.hour() != eh || e->endDate.minute() != emi || e->endDate.second() != es;
        }
        // Copies whose clock times exist as given all have the same wall-clock length, hence the
        // same duration text and validity: work them out once. A time moved by a daylight-saving
        // gap is worked out afresh.
        if (shifted || !refValid) {
            e->setDURATION();
            const int whole = hasEnd ? wholeDays(e->getFullStartTime(), e->getFullEndTime()) : 0;
            if (!shifted) {
                refDuration = e->DURATION;
                refCheck = e->dataCheck;
                refDays = whole;
                refValid = true;
            }
            *days = whole;
        } else {
            e->DURATION = refDuration;
            e->dataCheck = refCheck;
            *days = refDays;
        }
        return e;
    }

    /// A copy starting on day @p jd at @p secs seconds after midnight (an extra date with a time of
    /// its own), as long as the source.
    EntryPtr makeAt(qint64 jd, qint64 secs, int* days)
    {
        auto e = std::make_shared<dataEntry>(proto);
        int y = 0, m = 0, d = 0;
        QDate::fromJulianDay(jd).getDate(&y, &m, &d);
        const int sh = int(secs / 3600), smi = int(secs % 3600 / 60), ss = int(secs % 60);
        e->startDate = CalDate::fromFields(y, m, d, sh, smi, ss, zone);
        e->startTime = e->startDate;
        e->startDateSet = e->startTimeSet = true;
        char16_t clock[7] = {u'T',
                             char16_t(u'0' + sh / 10),
                             char16_t(u'0' + sh % 10),
                             char16_t(u'0' + smi / 10),
                             char16_t(u'0' + smi % 10),
                             char16_t(u'0' + ss / 10),
                             char16_t(u'0' + ss % 10)};
        e->DTSTART = withDay(prefix, y, m, d, QString(reinterpret_cast<const QChar*>(clock), 7));
        if (hasEnd) {
            const qint64 length
                = spanDays * 86400 + (qint64(eh) * 3600 + emi * 60 + es) - (qint64(h) * 3600 + mi * 60 + s);
            const qint64 wallEnd = jd * 86400 + secs + length;
            const qint64 endJd = Numbers::floorDiv(wallEnd, 86400);
            const qint64 rest = wallEnd - endJd * 86400;
            QDate::fromJulianDay(endJd).getDate(&y, &m, &d);
            e->endDate = CalDate::fromFields(y, m, d, int(rest / 3600), int(rest % 3600 / 60), int(rest % 60), zone);
            e->endTime = e->endDate;
            e->endDateSet = e->endTimeSet = true;
        }
        e->setDURATION();
        *days = hasEnd ? wholeDays(e->getFullStartTime(), e->getFullEndTime()) : 0;
        return e;
    }

    dataEntry proto;
    QTimeZone zone;
    Zones::Id zoneId = Zones::idFor(zone);
    qint64 startJd = 0;
    qint64 spanDays = 0;
    bool hasEnd = false;
    int h = 0, mi = 0, s = 0, eh = 0, emi = 0, es = 0;
    QString prefix;
    QString suffix;
    bool refValid = false;
    QString refDuration;
    bool refCheck = false;
    int refDays = 0;
};

QString repeatList::dailyWarning()
{
    return QStringLiteral("There are daily repeating events that continue past the last date");
}

QString repeatList::weeklyWarning()
{
    return QStringLiteral("There are weekly repeating events that continue past the last date");
}

QString repeatList::monthlyWarning()
{
    return QStringLiteral("There are monthly repeating events that continue past the last date");
}

QString repeatList::yearlyWarning()
{
    return QStringLiteral("There are yearly repeating events that continue past the last date");
}

QString repeatList::tooManyWarning()
{
    return QStringLiteral("There are repeating events with more occurrences than can be listed");
}

repeatList::repeatList(const EntryList& entries)
    : theRepeatArray(entries)
    , m_stamp(CalDate::now(Zones::utc()).format(QStringLiteral("%Y%m%dT%H%M%S")) + QLatin1Char('Z'))
{
    expandRepeatDates();
}

QString repeatList::getWarningString() const
{
    return theWarningString.isEmpty() ? QString() : QStringLiteral("\r\r") + theWarningString;
}

repeatList::repeatList(ForPiece, const QString& stamp)
    : m_stamp(stamp)
{
}

void repeatList::addWarning(const QString& text)
{
    if (!stringInString(theWarningString, text)) {
        theWarningString += text + QStringLiteral("\r\r");
        m_warningsAdded.append(text);
    }
}

bool repeatList::takeBudget(qsizetype n)
{
    if (n > m_budget) {
        m_budgetRefused = true;
        m_budget = 0;
        addWarning(tooManyWarning());
        return false;
    }
    m_budget -= n;
    return true;
}

int repeatList::stringInString(const QString& text, const QString& part)
{
    return text.contains(part) ? 1 : 0;
}

bool repeatList::isDate(const CalDate& a, const CalDate& b)
{
    if (a.isNull() || b.isNull())
        return false;
    return QDate(a.year(), a.month(), a.day()) >= QDate(b.year(), b.month(), b.day());
}

EntryPtr repeatList::copyTheEntry(const dataEntry& entry) const
{
    auto e = std::make_shared<dataEntry>();
    e->startDate = entry.startDate;
    e->endDate = entry.endDate;
    e->startTime = entry.startTime;
    e->endTime = entry.endTime;
    e->startDateSet = entry.startDateSet;
    e->endDateSet = entry.endDateSet;
    e->startTimeSet = entry.startTimeSet;
    e->endTimeSet = entry.endTimeSet;
    // The texts are shared, but for the stamp and the table's repeat mark, which a copy has not.
    e->m_texts = entry.m_texts;
    e->mt().theRepeater = QStringLiteral("blank");
    e->DTSTART = entry.DTSTART;
    e->allowsNoDuration = entry.allowsNoDuration;
    e->setDURATION();
    e->mt().DTSTAMP = m_stamp;
    return e;
}

EntryList repeatList::expandRRULEDatesUntil(const EntryPtr& entry, const CalDate& until)
{
    Work work;
    if (entry)
        expandEntry(*entry, until, work);
    EntryList out;
    out.reserve(work.list.size());
    for (const Occurrence& o : std::as_const(work.list))
        out.append(makeCopy(o));
    return out;
}

void repeatList::Work::append(EntryPtr e, double key, int wholeDays)
{
    list.append({std::move(e), 0, -1});
    keys.append(key);
    days.append(wholeDays);
}

void repeatList::Work::appendCopy(qint32 maker, qint64 jd, double key, int wholeDays)
{
    list.append({EntryPtr(), qint32(jd), maker});
    keys.append(key);
    days.append(wholeDays);
}

EntryPtr repeatList::makeCopy(const Occurrence& o) const
{
    if (o.entry || o.maker < 0)
        return o.entry;
    int days = 0;
    return m_makers[size_t(o.maker)]->make(o.jd, &days);
}

const EntryList& repeatList::getDataArray() const
{
    if (!m_made) {
        theRepeatArray.clear();
        theRepeatArray.reserve(m_occurrences.size());
        for (const Occurrence& o : m_occurrences)
            theRepeatArray.append(makeCopy(o));
        m_made = true;
    }
    return theRepeatArray;
}

repeatList::Row repeatList::row(qsizetype i) const
{
    const Occurrence& o = m_occurrences.at(i);
    Row r;
    if (o.entry) {
        r.texts = o.entry.get();
        r.start = o.entry->getFullStartTime();
        r.end = o.entry->getFullEndTime();
        r.noTimes = !o.entry->getStartTime() && !o.entry->getEndTime();
        r.notBlank = o.entry->notBlankLine();
        return r;
    }
    const CopyMaker& maker = *m_makers[size_t(o.maker)];
    r.texts = &maker.proto;
    maker.rowDates(o.jd, m_keys.at(i), &r.start, &r.end);
    r.noTimes = !maker.proto.getStartTime() && !maker.proto.getEndTime();
    r.notBlank = true; // a copy has a start date
    return r;
}

double repeatList::startSeconds(qsizetype i) const
{
    const Occurrence& o = m_occurrences.at(i);
    if (o.entry)
        return o.entry->startSeconds1970();
    return m_makers[size_t(o.maker)]->fullStart(m_keys.at(i)).secondsSince1970();
}

void repeatList::ruleDays(const dataEntry& entry, const CalDate& horizon, QList<qint64>& days)
{
    if (entry.tx().RRULE.isEmpty() || entry.startDate.isNull())
        return;
    const Rule rule = parseRule(entry.tx().RRULE);
    if (rule.freq == Freq::None)
        return;
    const CalDate fullStart = entry.getFullStartTime();
    if (fullStart.isNull())
        return;
    const QDate start(fullStart.year(), fullStart.month(), fullStart.day());
    if (start.year() < 1)
        return;
    const qint64 startJd = start.toJulianDay();
    const Generator gen(rule, start);
    if (gen.streams() == 0)
        return;

    enum class Mode { Count, Until, Horizon };
    const Mode mode = rule.count > 0 ? Mode::Count : rule.until.isValid() ? Mode::Until : Mode::Horizon;
    const qint64 untilJd = rule.until.isValid() ? rule.until.toJulianDay() : 0;
    // One more than can be listed, to know when to warn.
    const qsizetype cap = kMaxOccurrences + 1;
    const qsizetype target = mode == Mode::Count ? qsizetype(std::min<qint64>(rule.count - 1, cap)) : cap;
    if (target <= 0)
        return;

    CopyMaker maker(*this, entry);
    auto instantOf = [&](qint64 jd) {
        return CalDate::fromWallSeconds(CopyMaker::wallAt(jd, maker.startClock()), maker.zoneId);
    };

    struct Stream
    {
        bool done = false;
        qsizetype n = 0; // dates taken, the seed included
        bool prevBeforeHorizon = false;
        int prevYear = 0;
    };
    QList<Stream> streams(gen.streams());
    int doneStreams = 0;

    Period period;
    qint64 periodStart = 0;
    int idle = 0;
    qint64 lastSeenJd = std::numeric_limits<qint64>::min();
    qint64 lastListedJd = std::numeric_limits<qint64>::min();
    bool complete = false;
    bool outOfRange = false;
    for (qint64 k = 0; !complete; ++k) {
        if (!gen.period(k, period, &periodStart)) {
            outOfRange = true;
            break;
        }
        if (mode == Mode::Until && periodStart > untilJd)
            break;
        bool taken = false;
        for (const Candidate& c : std::as_const(period)) {
            const bool repeated = c.jd == lastSeenJd; // named by an earlier stream of this period
            lastSeenJd = c.jd;
            if (mode == Mode::Count) {
                if (repeated)
                    continue;
                // The entry itself is the first occurrence and counts toward COUNT.
                if (c.jd != startJd)
                    days.append(c.jd);
                taken = true;
                if (days.size() >= target) {
                    complete = true;
                    break;
                }
            } else if (mode == Mode::Until) {
                if (repeated)
                    continue;
                if (c.jd > untilJd) {
                    complete = true;
                    break;
                }
                if (c.jd != startJd)
                    days.append(c.jd);
                taken = true;
                if (days.size() >= target) {
                    complete = true;
                    break;
                }
            } else {
                Stream& st = streams[c.stream];
                if (st.done)
                    continue;
                const CalDate at = instantOf(c.jd);
                ++st.n;
                st.prevBeforeHorizon = at < horizon;
                st.prevYear = at.year();
                if (c.jd != startJd && c.jd != lastListedJd) {
                    days.append(c.jd);
                    lastListedJd = c.jd;
                }
                taken = true;
                // Whether this stream takes one more date, judged on the date just taken.
                bool more = false;
                switch (gen.continueRule()) {
                case Generator::Continue::Daily:
                    more = st.n <= 100 || st.prevBeforeHorizon;
                    break;
                case Generator::Continue::Weekly:
                    more = st.n <= 100 && st.prevBeforeHorizon;
                    break;
                case Generator::Continue::Monthly:
                    more = st.prevBeforeHorizon;
                    break;
                case Generator::Continue::Yearly:
                    more = horizon && st.prevYear < horizon.year();
                    break;
                }
                if (!more) {
                    st.done = true;
                    ++doneStreams;
                }
                if (days.size() >= target) {
                    complete = true;
                    break;
                }
            }
        }
        if (mode == Mode::Horizon && doneStreams == streams.size())
            break;
        idle = taken ? 0 : idle + 1;
        if (idle > kIdlePeriods)
            break;
    }
    // Stopping at the last supported year cuts a rule short only when it still had dates to give.
    const bool unfinished
        = (mode == Mode::Count && days.size() < target) || (mode == Mode::Horizon && doneStreams < streams.size());
    if (days.size() > kMaxOccurrences || (outOfRange && unfinished && idle <= kIdlePeriods && !days.isEmpty())) {
        days.resize(std::min<qsizetype>(days.size(), kMaxOccurrences));
        addWarning(tooManyWarning());
    }
    if (mode == Mode::Horizon) {
        switch (rule.freq) {
        case Freq::Daily:
            addWarning(dailyWarning());
            break;
        case Freq::Weekly:
            addWarning(weeklyWarning());
            break;
        case Freq::Monthly:
            addWarning(monthlyWarning());
            break;
        case Freq::Yearly:
            addWarning(yearlyWarning());
            break;
        case Freq::None:
            break;
        }
    }
}

qint64 repeatList::lastCountedDay(const dataEntry& entry)
{
    const Rule rule = parseRule(entry.tx().RRULE);
    if (rule.count <= 1 || rule.count > kMaxOccurrences)
        return 0;
    repeatList quiet {EntryList()};
    QList<qint64> days;
    quiet.ruleDays(entry, CalDate(), days);
    return days.isEmpty() ? 0 : days.last();
}

EntryPtr repeatList::expandEntry(const dataEntry& entry, const CalDate& horizon, Work& work)
{
    const CalDate fullStart = entry.getFullStartTime();
    if (fullStart.isNull() || fullStart.year() < 1)
        return {};
    const bool timed = !entry.startTime.isNull();
    const qint64 startJd = QDate(fullStart.year(), fullStart.month(), fullStart.day()).toJulianDay();
    const qint64 startSecs = timed ? qint64(fullStart.hour()) * 3600 + fullStart.minute() * 60 + fullStart.second() : 0;

    // Occurrences by day and, for timed entries, by the second of the day they start at: the rule's
    // days at the entry's own time, and the extra dates (RDATE) at theirs.
    struct Moment
    {
        qint64 jd;
        qint64 secs;
        bool operator<(const Moment& o) const { return jd != o.jd ? jd < o.jd : secs < o.secs; }
        bool operator==(const Moment& o) const { return jd == o.jd && secs == o.secs; }
    };
    QList<qint64> days;
    ruleDays(entry, horizon, days);
    QList<Moment> moments;
    moments.reserve(days.size() + entry.getTheRDATE().size());
    for (qint64 jd : std::as_const(days))
        moments.append({jd, startSecs});
    for (const CalDate& r : entry.getTheRDATE()) {
        if (r.isNull() || r.year() < 1)
            continue;
        const Moment m {QDate(r.year(), r.month(), r.day()).toJulianDay(),
                        timed ? qint64(r.hour()) * 3600 + r.minute() * 60 + r.second() : 0};
        if (m.jd != startJd || m.secs != startSecs)
            moments.append(m);
    }
    if (!entry.getTheRDATE().isEmpty()) {
        std::sort(moments.begin(), moments.end());
        moments.erase(std::unique(moments.begin(), moments.end()), moments.end());
        if (moments.size() > kMaxOccurrences) {
            moments.resize(kMaxOccurrences);
            addWarning(tooManyWarning());
        }
    }

    // Exception dates remove the occurrences on their calendar day (never the entry itself).
    if (!entry.tx().theCalEXDATE.isEmpty()) {
        QSet<qint64> excluded;
        for (const CalDate& x : entry.tx().theCalEXDATE) {
            if (x)
                excluded.insert(QDate(x.year(), x.month(), x.day()).toJulianDay());
        }
        moments.removeIf([&](const Moment& m) { return excluded.contains(m.jd); });
    }

    // Overrides take the place of the occurrence they replace: found by its day for an all-day
    // series (or an override that names only a day), by its day and time otherwise. The first
    // occurrence, the entry itself, can be replaced too.
    QHash<qint64, EntryPtr> byDay;
    QHash<qint64, EntryPtr> byMoment;
    for (const EntryPtr& o : entry.getTheReoccDateArray()) {
        const CalDate& d = o ? o->getTheRecDate() : CalDate();
        if (d.isNull() || d.year() < 1)
            continue;
        const qint64 jd = QDate(d.year(), d.month(), d.day()).toJulianDay();
        const CalDate& t = o->getTheRecTime();
        if (!timed || t.isNull())
            byDay.insert(jd, o);
        else
            byMoment.insert(jd * 86400 + qint64(t.hour()) * 3600 + t.minute() * 60 + t.second(), o);
    }
    auto overrideOf = [&](qint64 jd, qint64 secs) -> EntryPtr {
        if (!byMoment.isEmpty()) {
            if (const EntryPtr o = byMoment.value(jd * 86400 + secs))
                return o;
        }
        return byDay.isEmpty() ? EntryPtr() : byDay.value(jd);
    };
    const EntryPtr replacesEntry = overrideOf(startJd, startSecs);

    if (moments.isEmpty() || !takeBudget(moments.size()))
        return replacesEntry;
    const qint32 makerIndex = newMaker(entry);
    CopyMaker& maker = *m_makers.back();
    for (const Moment& m : std::as_const(moments)) {
        if (const EntryPtr o = overrideOf(m.jd, m.secs)) {
            work.append(o, o->startSeconds1970(), wholeDays(o->getFullStartTime(), o->getFullEndTime()));
            continue;
        }
        int span = 0;
        if (m.secs == startSecs) {
            const double key = maker.measure(m.jd, &span);
            work.appendCopy(makerIndex, m.jd, key, span);
        } else {
            // An extra date with a time of its own (rare): made at once.
            EntryPtr e = maker.makeAt(m.jd, m.secs, &span);
            const double key = e->startDate.secondsSince1970();
            work.append(std::move(e), key, span);
        }
    }
    return replacesEntry;
}

bool repeatList::expandInPieces(Work& work, qsizetype count, const CalDate& horizon)
{
    const int n = int(std::min<qsizetype>(64, count / Parallel::pieceSize(256)));
    if (n < 2 || Parallel::threadsFor(n) < 2)
        return false;
    struct Piece
    {
        std::unique_ptr<repeatList> list;
        Work work;
        QList<std::pair<qsizetype, EntryPtr>> replaced; // overrides of entries' first occurrences
    };
    std::vector<Piece> pieces(static_cast<std::size_t>(n));
    Parallel::runJobs(n, [&](int k, int) {
        Piece& piece = pieces[std::size_t(k)];
        piece.list.reset(new repeatList(ForPiece {}, m_stamp));
        for (qsizetype i = Parallel::pieceStart(count, k, n); i < Parallel::pieceStart(count, k + 1, n); ++i) {
            if (EntryPtr o = piece.list->expandEntry(*work.list.at(i).entry, horizon, piece.work))
                piece.replaced.append({i, std::move(o)});
        }
    });
    qsizetype used = 0;
    for (const Piece& piece : pieces) {
        if (piece.list->m_budgetRefused)
            return false;
        used += kMaxCopies - piece.list->m_budget;
    }
    if (used > m_budget)
        return false;
    m_budget -= used;
    qsizetype rows = work.list.size();
    for (const Piece& piece : pieces)
        rows += piece.work.list.size();
    work.list.reserve(rows);
    work.keys.reserve(rows);
    work.days.reserve(rows);
    for (Piece& piece : pieces) {
        const qint32 base = qint32(m_makers.size());
        m_makers.insert(m_makers.end(), piece.list->m_makers.begin(), piece.list->m_makers.end());
        for (Occurrence& o : piece.work.list) {
            if (o.maker >= 0)
                o.maker += base;
        }
        work.list.append(std::move(piece.work.list));
        work.keys.append(std::move(piece.work.keys));
        work.days.append(std::move(piece.work.days));
        piece.work = Work {}; // its room goes back before the next piece's is added
        for (const QString& warning : std::as_const(piece.list->m_warningsAdded))
            addWarning(warning);
        for (const auto& [i, o] : std::as_const(piece.replaced)) {
            const CalDate start = o->getFullStartTime();
            const CalDate end = o->getFullEndTime();
            work.list[i].entry = o;
            work.keys[i] = start.secondsSince1970();
            work.days[i] = start && end ? wholeDays(start, end) : 0;
        }
    }
    return true;
}

void repeatList::addDayCopies(const dataEntry& entry, int days, Work& work)
{
    if (days <= 0 || entry.startDate.isNull() || entry.endDate.isNull())
        return;
    qsizetype n = days;
    if (n > kMaxOccurrences) {
        n = kMaxOccurrences;
        addWarning(tooManyWarning());
    }
    if (!takeBudget(n))
        return;
    const qint32 makerIndex = newMaker(entry);
    CopyMaker& maker = *m_makers.back();
    for (qsizetype k = 1; k <= n; ++k) {
        int span = 0;
        const double key = maker.measure(maker.startJd + k, &span);
        work.appendCopy(makerIndex, maker.startJd + k, key, span);
    }
}

qint32 repeatList::newMaker(const dataEntry& source)
{
    m_makers.push_back(std::make_shared<CopyMaker>(*this, source));
    return qint32(m_makers.size() - 1);
}

void repeatList::expandRepeatDates()
{
    const EntryList given = theRepeatArray;
    // The horizon is the start of the last entry given (the last one that has a start).
    CalDate horizon;
    for (qsizetype i = given.size() - 1; i >= 0 && horizon.isNull(); --i) {
        if (given.at(i))
            horizon = given.at(i)->getFullStartTime();
    }

    Work work;
    for (const EntryPtr& e : given) {
        if (!e)
            continue;
        const CalDate start = e->getFullStartTime();
        const CalDate end = e->getFullEndTime();
        work.append(e, start.secondsSince1970(), start && end ? wholeDays(start, end) : 0);
    }
    const qsizetype firstCount = work.list.size();
    for (qsizetype i = expandInPieces(work, firstCount, horizon) ? firstCount : 0; i < firstCount; ++i) {
        const EntryPtr e = work.list.at(i).entry;
        // An override of the first occurrence stands in the entry's place.
        if (const EntryPtr o = expandEntry(*e, horizon, work)) {
            const CalDate start = o->getFullStartTime();
            const CalDate end = o->getFullEndTime();
            work.list[i].entry = o;
            work.keys[i] = start.secondsSince1970();
            work.days[i] = start && end ? wholeDays(start, end) : 0;
        }
    }

    // Every entry that spans several days gets one copy per further day.
    const qsizetype withOccurrences = work.list.size();
    for (qsizetype i = 0; i < withOccurrences; ++i) {
        if (work.days.at(i) > 0) {
            // A copy that spans days is the source of copies of its own: made now.
            if (!work.list.at(i).entry)
                work.list[i].entry = makeCopy(work.list.at(i));
            const EntryPtr e = work.list.at(i).entry;
            addDayCopies(*e, work.days.at(i), work);
        }
    }

    work.days = {}; // not needed further: room for the sort
    sorting::quickSortByKeys(work.list.data(), work.keys.data(), work.list.size());
    m_occurrences = std::move(work.list);
    m_keys = std::move(work.keys);
    theRepeatArray.clear(); // the given list: getDataArray() makes the expanded one
    m_made = false;
}

EntryList aCalendar::getTheFullExpandedRepeats() const
{
    return repeatList(theData).getDataArray();
}

bool aCalendar::containsRepeats() const
{
    // Extra dates (RDATE) make occurrences too.
    return std::any_of(theData.cbegin(), theData.cend(), [](const EntryPtr& e) {
        return e && (!e->getRRULENoRRULE().isEmpty() || !e->getTheRDATE().isEmpty());
    });
}
