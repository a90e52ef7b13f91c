// A VTIMEZONE for the zone the entries' TZIDs name, made from Qt's time-zone database.
#include "bridges/caldavTimeZone.h"

#include <QDateTime>
#include <QList>

#include <optional>

namespace caldav
{
namespace
{
constexpr int kYearsAhead = 10;

struct Transition
{
    QDateTime atUtc;
    int before = 0;
    int after = 0;
    bool daylight = false;
    QString name;

    /// The wall-clock time at which it happens, in the offset before it.
    QDateTime local() const { return atUtc.toUTC().addSecs(before); }
};

QDateTime yearStart(int year)
{
    return QDateTime(QDate(year, 1, 1), QTime(0, 0), QTimeZone::utc());
}

QList<Transition> transitionsIn(const QTimeZone& zone, int fromYear, int toYear)
{
    QList<Transition> out;
    if (!zone.hasTransitions())
        return out;
    for (const QTimeZone::OffsetData& d : zone.transitions(yearStart(fromYear), yearStart(toYear).addSecs(-1))) {
        Transition t;
        t.atUtc = d.atUtc;
        t.after = d.offsetFromUtc;
        t.before = zone.offsetFromUtc(d.atUtc.addSecs(-1));
        t.daylight = d.daylightTimeOffset != 0;
        t.name = d.abbreviation;
        if (t.before != t.after)
            out << t;
    }
    return out;
}

QString offsetText(int seconds)
{
    const QChar sign = seconds < 0 ? QLatin1Char('-') : QLatin1Char('+');
    const int s = qAbs(seconds);
    QString text = QStringLiteral("%1%2%3")
                       .arg(sign)
                       .arg(s / 3600, 2, 10, QLatin1Char('0'))
                       .arg(s % 3600 / 60, 2, 10, QLatin1Char('0'));
    if (s % 60)
        text += QStringLiteral("%1").arg(s % 60, 2, 10, QLatin1Char('0'));
    return text;
}

QString stamp(const QDateTime& local)
{
    return local.toString(QStringLiteral("yyyyMMdd'T'HHmmss"));
}

/// A yearly transition: the nth (or with nth -1 the last) weekday of a month, at a wall time.
struct Rule
{
    int month = 0;
    int nth = 0;
    int weekday = 0;
    QTime time;
    int before = 0;
    int after = 0;
    bool daylight = false;
};

QDate dayFor(int year, const Rule& r)
{
    const QDate first(year, r.month, 1);
    if (r.nth > 0) {
        const int day = 1 + (r.weekday - first.dayOfWeek() + 7) % 7 + 7 * (r.nth - 1);
        return day <= first.daysInMonth() ? QDate(year, r.month, day) : QDate();
    }
    const QDate last(year, r.month, first.daysInMonth());
    return last.addDays(-((last.dayOfWeek() - r.weekday + 7) % 7));
}

bool matches(const Rule& r, const Transition& t)
{
    const QDateTime local = t.local();
    return local.time() == r.time && local.date() == dayFor(local.date().year(), r) && t.before == r.before
        && t.after == r.after && t.daylight == r.daylight;
}

bool yearMatches(const QTimeZone& zone, int year, const QList<Rule>& rules)
{
    const QList<Transition> ts = transitionsIn(zone, year, year + 1);
    if (ts.size() != rules.size())
        return false;
    for (qsizetype i = 0; i < ts.size(); ++i) {
        if (!matches(rules.at(i), ts.at(i)))
            return false;
    }
    return true;
}

/// The rules of @p reference's transitions that hold for the next years too, or nullopt.
std::optional<QList<Rule>> yearlyRules(const QTimeZone& zone, const QList<Transition>& reference, int year)
{
    QList<Rule> rules;
    for (const Transition& t : reference) {
        const QDate d = t.local().date();
        Rule r {d.month(), (d.day() - 1) / 7 + 1, d.dayOfWeek(), t.local().time(), t.before, t.after, t.daylight};
        // "The last Sunday" and "the fourth Sunday" are told apart by the years around.
        if (d.day() + 7 > d.daysInMonth())
            r.nth = -1;
        rules << r;
    }
    for (int i = 0; i < rules.size(); ++i) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            bool all = true;
            for (int y = year + 1; y <= year + kYearsAhead && all; ++y) {
                const QList<Transition> ts = transitionsIn(zone, y, y + 1);
                all = ts.size() == rules.size() && matches(rules.at(i), ts.at(i));
            }
            if (all)
                break;
            if (attempt == 1 || rules.at(i).nth != -1)
                return std::nullopt;
            rules[i].nth = (reference.at(i).local().date().day() - 1) / 7 + 1;
        }
    }
    return rules;
}

void observance(QString& out, bool daylight, const QDateTime& start, int from, int to, const QString& name,
                const QString& rrule = {})
{
    const QLatin1String kind = daylight ? QLatin1String("DAYLIGHT") : QLatin1String("STANDARD");
    out += QStringLiteral("BEGIN:%1\r\nDTSTART:%2\r\n").arg(kind, stamp(start));
    if (!rrule.isEmpty())
        out += rrule + QStringLiteral("\r\n");
    out += QStringLiteral("TZOFFSETFROM:%1\r\nTZOFFSETTO:%2\r\n").arg(offsetText(from), offsetText(to));
    if (!name.isEmpty())
        out += QStringLiteral("TZNAME:%1\r\n").arg(name);
    out += QStringLiteral("END:%1\r\n").arg(kind);
}

void explicitObservances(QString& out, const QList<Transition>& ts)
{
    for (const Transition& t : ts)
        observance(out, t.daylight, t.local(), t.before, t.after, t.name);
}

/// What is in force at the start of @p year, as an observance of its own, for the events of
/// that year before its first transition.
void initialObservance(QString& out, const QTimeZone& zone, int year)
{
    const QDateTime at = yearStart(year);
    const int offset = zone.offsetFromUtc(at);
    observance(out, zone.isDaylightTime(at), at.addSecs(offset).toUTC(), offset, offset, zone.abbreviation(at));
}
} // namespace

QString vtimezone(const QTimeZone& zone, const QString& tzid, int fromYear, int referenceYear)
{
    fromYear = qMin(fromYear, referenceYear);
    QString out = QStringLiteral("BEGIN:VTIMEZONE\r\nTZID:%1\r\n").arg(tzid);
    const QList<Transition> reference = transitionsIn(zone, referenceYear, referenceYear + 1);
    const std::optional<QList<Rule>> rules
        = reference.isEmpty() ? std::nullopt : yearlyRules(zone, reference, referenceYear);
    if (rules) {
        int ruleStart = referenceYear;
        while (ruleStart > 1970 && yearMatches(zone, ruleStart - 1, *rules))
            --ruleStart;
        const int first = qMin(fromYear, ruleStart);
        initialObservance(out, zone, first);
        explicitObservances(out, transitionsIn(zone, first, ruleStart));
        const QList<Transition> starts = transitionsIn(zone, ruleStart, ruleStart + 1);
        static const char* const kDays[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
        for (qsizetype i = 0; i < starts.size(); ++i) {
            const Rule& r = rules->at(i);
            observance(out, r.daylight, starts.at(i).local(), r.before, r.after, starts.at(i).name,
                       QStringLiteral("RRULE:FREQ=YEARLY;BYMONTH=%1;BYDAY=%2%3")
                           .arg(r.month)
                           .arg(r.nth)
                           .arg(QLatin1String(kDays[r.weekday - 1])));
        }
    } else {
        // One offset now (what was last in force stays so), or a rule of another form.
        const int until
            = reference.isEmpty() && transitionsIn(zone, referenceYear, referenceYear + kYearsAhead).isEmpty()
            ? referenceYear + 1
            : referenceYear + kYearsAhead + 1;
        initialObservance(out, zone, fromYear);
        explicitObservances(out, transitionsIn(zone, fromYear, until));
    }
    out += QStringLiteral("END:VTIMEZONE\r\n");
    return out;
}
} // namespace caldav
