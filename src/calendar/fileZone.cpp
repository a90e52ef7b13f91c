#include "calendar/fileZone.h"

#include "platform/Numbers.h"

#include <QDate>

#include <algorithm>

namespace
{
constexpr qint64 kDay = 86400;
constexpr qint64 kEpochJulianDay = 2440588; // 1970-01-01

bool digitsAt(QStringView v, qsizetype pos, int count, int* value)
{
    if (pos + count > v.size())
        return false;
    int n = 0;
    for (int k = 0; k < count; ++k) {
        const char16_t c = v.at(pos + k).unicode();
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    *value = n;
    return true;
}

qint64 wallOf(int year, int month, int day, qint64 secondsOfDay)
{
    return (QDate(year, month, day).toJulianDay() - kEpochJulianDay) * kDay + secondsOfDay;
}

// A compact date or date-time ("19701025T030000", "19701025") as wall seconds.
bool parseWall(QStringView v, qint64* wall, bool* utc = nullptr)
{
    int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
    if (!digitsAt(v, 0, 4, &y) || !digitsAt(v, 4, 2, &m) || !digitsAt(v, 6, 2, &d))
        return false;
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > QDate(y, m, 1).daysInMonth())
        return false;
    if (v.size() >= 13 && v.at(8) == QLatin1Char('T')) {
        if (!digitsAt(v, 9, 2, &hh) || !digitsAt(v, 11, 2, &mm))
            return false;
        digitsAt(v, 13, 2, &ss);
        if (hh > 23 || mm > 59 || ss > 59)
            return false;
    }
    *wall = wallOf(y, m, d, hh * 3600 + mm * 60 + ss);
    if (utc)
        *utc = v.endsWith(QLatin1Char('Z'));
    return true;
}

// "+0100", "-0330", "+053000".
bool parseOffset(QStringView v, int* seconds)
{
    v = v.trimmed();
    if (v.size() < 5 || (v.at(0) != QLatin1Char('+') && v.at(0) != QLatin1Char('-')))
        return false;
    int h = 0, m = 0, s = 0;
    if (!digitsAt(v, 1, 2, &h) || !digitsAt(v, 3, 2, &m))
        return false;
    digitsAt(v, 5, 2, &s);
    if (h > 23 || m > 59 || s > 59)
        return false;
    *seconds = (v.at(0) == QLatin1Char('-') ? -1 : 1) * (h * 3600 + m * 60 + s);
    return true;
}

int weekdayOf(QStringView code)
{
    static const char* const codes[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
    for (int i = 0; i < 7; ++i) {
        if (code.compare(QLatin1String(codes[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    return 0;
}

QStringView valueOf(QStringView line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    return colon < 0 ? QStringView() : line.mid(colon + 1);
}

QStringView nameOf(QStringView line)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    QStringView name = colon < 0 ? line : line.left(colon);
    const qsizetype semi = name.indexOf(QLatin1Char(';'));
    return semi < 0 ? name : name.left(semi);
}
} // namespace

FileZoneRules FileZoneRules::fromLines(const QList<QStringView>& lines, QString* tzid)
{
    FileZoneRules rules;
    Observance current;
    bool inObservance = false;
    bool haveStart = false, haveFrom = false, haveTo = false;
    for (QStringView line : lines) {
        const QStringView name = nameOf(line);
        const QStringView value = valueOf(line);
        if (name == QLatin1String("BEGIN")
            && (value.trimmed() == QLatin1String("STANDARD") || value.trimmed() == QLatin1String("DAYLIGHT"))) {
            current = Observance();
            inObservance = true;
            haveStart = haveFrom = haveTo = false;
        } else if (name == QLatin1String("END") && inObservance) {
            inObservance = false;
            if (haveStart && haveTo) {
                if (!haveFrom)
                    current.offsetFrom = current.offsetTo;
                rules.m_observances.append(current);
            }
        } else if (!inObservance) {
            if (name == QLatin1String("TZID") && tzid)
                *tzid = value.trimmed().toString();
        } else if (name == QLatin1String("DTSTART")) {
            haveStart = parseWall(value.trimmed(), &current.startWall);
        } else if (name == QLatin1String("TZOFFSETFROM")) {
            haveFrom = parseOffset(value, &current.offsetFrom);
        } else if (name == QLatin1String("TZOFFSETTO")) {
            haveTo = parseOffset(value, &current.offsetTo);
        } else if (name == QLatin1String("RDATE")) {
            for (QStringView piece : value.split(QLatin1Char(','))) {
                qint64 wall = 0;
                if (parseWall(piece.trimmed(), &wall))
                    current.rdateWall.append(wall);
            }
        } else if (name == QLatin1String("RRULE")) {
            bool yearly = false;
            for (QStringView part : value.split(QLatin1Char(';'))) {
                const qsizetype eq = part.indexOf(QLatin1Char('='));
                if (eq < 0)
                    continue;
                const QStringView key = part.left(eq).trimmed();
                const QStringView v = part.mid(eq + 1).trimmed();
                if (key == QLatin1String("FREQ")) {
                    yearly = v == QLatin1String("YEARLY");
                } else if (key == QLatin1String("BYMONTH")) {
                    current.month = int(std::clamp<qint64>(Numbers::leadingInt(v), 0, 12));
                } else if (key == QLatin1String("BYDAY") && v.size() >= 2) {
                    current.weekday = weekdayOf(v.right(2));
                    current.nth = int(std::clamp<qint64>(Numbers::leadingInt(v.left(v.size() - 2)), -5, 5));
                } else if (key == QLatin1String("BYMONTHDAY")) {
                    for (QStringView d : v.split(QLatin1Char(','))) {
                        const int n = int(Numbers::leadingInt(d));
                        if (n >= 1 && n <= 31)
                            current.monthDays.append(n);
                    }
                } else if (key == QLatin1String("UNTIL")) {
                    qint64 wall = 0;
                    bool utc = false;
                    if (parseWall(v, &wall, &utc))
                        current.untilUtc = utc ? wall : wall - current.offsetFrom;
                } else if (key == QLatin1String("COUNT")) {
                    current.count = int(std::clamp<qint64>(Numbers::leadingInt(v), 0, 100000));
                }
            }
            current.yearly = yearly;
        }
    }
    return rules;
}

bool FileZoneRules::onsetInYear(const Observance& o, int year, qint64* wall)
{
    const QDate start = QDate::fromJulianDay(Numbers::floorDiv(o.startWall, kDay) + kEpochJulianDay);
    const qint64 timeOfDay = o.startWall - Numbers::floorDiv(o.startWall, kDay) * kDay;
    const int month = o.month ? o.month : start.month();
    if (year < 1 || year > 9999)
        return false;
    const QDate first(year, month, 1);
    const int dim = first.daysInMonth();
    int day = 0;
    if (o.weekday && o.nth > 0) {
        day = 1 + (o.weekday - first.dayOfWeek() + 7) % 7 + 7 * (o.nth - 1);
    } else if (o.weekday && o.nth < 0) {
        const QDate last(year, month, dim);
        day = dim - (last.dayOfWeek() - o.weekday + 7) % 7 + 7 * (o.nth + 1);
    } else if (o.weekday) {
        for (int d : o.monthDays) {
            if (d <= dim && QDate(year, month, d).dayOfWeek() == o.weekday && (day == 0 || d < day))
                day = d;
        }
    } else if (!o.monthDays.isEmpty()) {
        day = o.monthDays.first();
    } else {
        day = start.day();
    }
    if (day < 1 || day > dim)
        return false;
    *wall = wallOf(year, month, day, timeOfDay);
    if (*wall < o.startWall || *wall - o.offsetFrom > o.untilUtc)
        return false;
    return o.count == 0 || year - start.year() < o.count;
}

bool FileZoneRules::latestOnset(const Observance& o, qint64 utc, qint64* onset)
{
    bool found = false;
    auto consider = [&](qint64 wall) {
        const qint64 at = wall - o.offsetFrom;
        if (at <= utc && (!found || at > *onset)) {
            *onset = at;
            found = true;
        }
    };
    consider(o.startWall);
    for (qint64 wall : o.rdateWall)
        consider(wall);
    if (o.yearly) {
        const int year = QDate::fromJulianDay(Numbers::floorDiv(utc, kDay) + kEpochJulianDay).year();
        for (int y = year - 1; y <= year + 1; ++y) {
            qint64 wall = 0;
            if (onsetInYear(o, y, &wall))
                consider(wall);
        }
    }
    return found;
}

int FileZoneRules::offsetAt(qint64 utc) const
{
    const Observance* best = nullptr;
    qint64 bestOnset = 0;
    for (const Observance& o : m_observances) {
        qint64 onset = 0;
        if (latestOnset(o, utc, &onset) && (!best || onset > bestOnset)) {
            best = &o;
            bestOnset = onset;
        }
    }
    if (best)
        return best->offsetTo;
    // Before every onset: the offset the earliest observance changes from.
    const auto earliest
        = std::min_element(m_observances.cbegin(), m_observances.cend(),
                           [](const Observance& a, const Observance& b) { return a.startWall < b.startWall; });
    return earliest == m_observances.cend() ? 0 : earliest->offsetFrom;
}

qint64 FileZoneRules::instantForWall(qint64 wall) const
{
    QList<int> offsets;
    for (const Observance& o : m_observances) {
        for (int off : {o.offsetFrom, o.offsetTo}) {
            if (!offsets.contains(off))
                offsets.append(off);
        }
    }
    bool found = false;
    qint64 best = 0;
    for (int off : std::as_const(offsets)) {
        const qint64 at = wall - off;
        if (offsetAt(at) == off && (!found || at < best)) {
            best = at;
            found = true;
        }
    }
    if (found)
        return best;
    // In a gap: the clock before the change, which puts the reading after it.
    const int largest = offsets.isEmpty() ? 0 : *std::max_element(offsets.cbegin(), offsets.cend());
    return wall - offsetAt(wall - largest);
}
