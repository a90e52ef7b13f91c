#include "CalDate.h"

#include "Clock.h"
#include "Numbers.h"

#include <QDate>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QMutex>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace
{
using Numbers::floorDiv;

constexpr qint64 kDay = 86400;
constexpr qint64 kEpochJulianDay = 2440588; // 1970-01-01
// --- the zone table ------------------------------------------------------------------------------
//
// Every zone a date has used gets a number and a record that lives as long as the process. The
// record holds the zone's transitions between 1900 and 2200, read once from the zone database and
// checked against it; an offset is then a search in that table. Dates outside it, and zones whose
// data does not agree with itself, ask the database as before.

constexpr qint64 kTableFrom = -2208988800; // 1900-01-01 00:00:00 UTC
constexpr qint64 kTableTo = 7258118400; // 2200-01-01 00:00:00 UTC
constexpr int kMaxZones = 65535;

struct ZoneRecord
{
    QTimeZone zone;
    QByteArray id;
    bool fixed = false; // one offset for all time
    int fixedOffset = 0;
    bool tableUsable = false;
    int offsetBefore = 0; // before the first transition (from kTableFrom on)
    std::vector<qint64> at; // transition instants, ascending
    std::vector<int> offsetAfter; // offset from at[k] on
};

struct ZoneTable
{
    QMutex lock;
    QHash<QByteArray, int> byId;
    std::atomic<int> count {1};
    std::atomic<ZoneRecord*> records[kMaxZones + 1] {};
};

ZoneTable& zoneTable()
{
    static ZoneTable* table = new ZoneTable; // never freed: dates may outlive every other static
    return *table;
}

QDateTime utcAt(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs, QTimeZone::utc());
}

void buildTransitions(ZoneRecord& r)
{
    const QTimeZone& zone = r.zone;
    if (!zone.hasTransitions()) {
        r.fixed = true;
        r.fixedOffset = zone.offsetFromUtc(utcAt(0));
        return;
    }
    r.offsetBefore = zone.offsetFromUtc(utcAt(kTableFrom));
    int previous = r.offsetBefore;
    QDateTime cursor = utcAt(kTableFrom);
    bool retried = false;
    for (;;) {
        const QTimeZone::OffsetData next = zone.nextTransition(cursor);
        if (!next.atUtc.isValid()) {
            // Qt's database reader loses the thread where its table ends and the zone's rule for
            // later years takes over (2037 for most zones): one day later it finds it again.
            if (retried)
                break;
            retried = true;
            cursor = cursor.addSecs(86400);
            continue;
        }
        retried = false;
        const qint64 at = next.atUtc.toSecsSinceEpoch();
        if (at >= kTableTo)
            break;
        if (at <= (r.at.empty() ? kTableFrom : r.at.back()) || r.at.size() > 100000)
            return; // not ascending: leave the table unused
        // The table must say what the database says on both sides of every transition.
        if (zone.offsetFromUtc(utcAt(at - 1)) != previous || zone.offsetFromUtc(next.atUtc) != next.offsetFromUtc)
            return;
        r.at.push_back(at);
        r.offsetAfter.push_back(next.offsetFromUtc);
        previous = next.offsetFromUtc;
        cursor = next.atUtc;
    }
    // After the last transition found, the offset must stay as it is up to the table's end.
    const qint64 last = r.at.empty() ? kTableFrom : r.at.back();
    for (qint64 t = last + 91 * 86400; t < kTableTo; t += 182 * 86400) {
        if (zone.offsetFromUtc(utcAt(t)) != previous)
            return;
    }
    r.at.shrink_to_fit();
    r.offsetAfter.shrink_to_fit();
    r.tableUsable = true;
}

const ZoneRecord* recordOf(Zones::Id id)
{
    const int index = int(id);
    if (index <= 0 || index > kMaxZones)
        return nullptr;
    return zoneTable().records[index].load(std::memory_order_acquire);
}

// Outside the table: the transitions around the instant, asked of the database, a few remembered.
int databaseOffset(const ZoneRecord& r, qint64 secs)
{
    struct Span
    {
        const ZoneRecord* zone = nullptr;
        qint64 from = 0;
        qint64 to = -1; // exclusive
        int offset = 0;
    };
    thread_local Span spans[8];
    thread_local int next = 0;
    for (const Span& s : spans) {
        if (s.zone == &r && secs >= s.from && secs < s.to)
            return s.offset;
    }
    const QDateTime at = utcAt(secs);
    Span span;
    span.zone = &r;
    span.offset = r.zone.offsetFromUtc(at);
    const QTimeZone::OffsetData after = r.zone.nextTransition(at);
    const QTimeZone::OffsetData before = r.zone.previousTransition(at.addSecs(1));
    span.from = before.atUtc.isValid() ? before.atUtc.toSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    span.to = after.atUtc.isValid() ? after.atUtc.toSecsSinceEpoch() : std::numeric_limits<qint64>::max();
    if (!(secs >= span.from && secs < span.to)) {
        // The zone data disagreed with itself; remember just this second.
        span.from = secs;
        span.to = secs + 1;
    }
    spans[next] = span;
    next = (next + 1) % 8;
    return span.offset;
}

int recordOffset(const ZoneRecord& r, qint64 secs)
{
    if (r.fixed)
        return r.fixedOffset;
    if (!r.tableUsable || secs < kTableFrom || secs >= kTableTo)
        return databaseOffset(r, secs);
    // Most look-ups fall in the span of the one before.
    struct Recent
    {
        const ZoneRecord* zone = nullptr;
        qint64 from = 0;
        qint64 to = -1;
        int offset = 0;
    };
    thread_local Recent recent;
    if (recent.zone == &r && secs >= recent.from && secs < recent.to)
        return recent.offset;
    const auto it = std::upper_bound(r.at.cbegin(), r.at.cend(), secs);
    const std::size_t k = std::size_t(it - r.at.cbegin());
    recent.zone = &r;
    recent.from = k == 0 ? kTableFrom : r.at[k - 1];
    recent.to = k == r.at.size() ? kTableTo : r.at[k];
    recent.offset = k == 0 ? r.offsetBefore : r.offsetAfter[k - 1];
    return recent.offset;
}

int zoneOffset(Zones::Id zone, qint64 secs)
{
    const ZoneRecord* r = recordOf(zone);
    return r ? recordOffset(*r, secs) : 0;
}

// Days since 1970-01-01 of a proleptic Gregorian date (years from 1 on; QDate has no year 0).
qint64 daysFromCivil(qint64 y, int m, int d)
{
    y -= m <= 2;
    const qint64 era = floorDiv(y, 400);
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(qint64 z, int* year, int* month, int* day)
{
    z += 719468;
    const qint64 era = floorDiv(z, 146097);
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    *year = int(yoe + era * 400 + (m <= 2));
    *month = m;
    *day = d;
}

constexpr qint64 kFirstCivilDay = -719162; // 0001-01-01

// Seconds since the epoch of a wall-clock reading taken as UTC.
qint64 wallSeconds(int year, int month, int day, qint64 secondsOfDay)
{
    // Months carry into years, days into months, seconds into days.
    qint64 monthIndex = qint64(year) * 12 + (month - 1);
    const int y = int(floorDiv(monthIndex, 12));
    const int m = int(monthIndex - qint64(y) * 12) + 1;
    const qint64 jd
        = y >= 1 ? daysFromCivil(y, m, 1) + kEpochJulianDay + (day - 1) : QDate(y, m, 1).toJulianDay() + (day - 1);
    return (jd - kEpochJulianDay) * kDay + secondsOfDay;
}

// The instant at which @p zone's wall clock reads @p wall. A reading inside a gap moves forward by
// the gap; a reading that occurs twice gives the first occurrence.
qint64 instantForWall(Zones::Id zone, qint64 wall)
{
    const int off1 = zoneOffset(zone, wall - zoneOffset(zone, wall));
    const qint64 t1 = wall - off1;
    const int check1 = zoneOffset(zone, t1);
    if (check1 == off1) {
        // Could still be the second of two readings; prefer the earlier one.
        const int before = zoneOffset(zone, t1 - 3 * 3600);
        if (before > off1 && zoneOffset(zone, wall - before) == before)
            return wall - before;
        return t1;
    }
    const int off2 = check1;
    const qint64 t2 = wall - off2;
    if (zoneOffset(zone, t2) == off2)
        return t2;
    return wall - std::min(off1, off2);
}

int parseDigits(const QString& text, int& pos, int minDigits, int maxDigits, bool* ok)
{
    int value = 0;
    int n = 0;
    while (pos < text.size() && n < maxDigits && text.at(pos).isDigit() && text.at(pos).unicode() < 128) {
        value = value * 10 + (text.at(pos).unicode() - '0');
        ++pos;
        ++n;
    }
    *ok = n >= minDigits;
    return value;
}

// Matches the longest name of @p list at @p pos, case-insensitively; returns its index or -1.
int matchName(const QString& text, int& pos, const QStringList& list)
{
    int best = -1;
    int bestLen = 0;
    for (int i = 0; i < list.size(); ++i) {
        const QString& name = list.at(i);
        if (name.isEmpty() || name.size() <= bestLen)
            continue;
        if (text.mid(pos, name.size()).compare(name, Qt::CaseInsensitive) == 0) {
            best = i;
            bestLen = int(name.size());
        }
    }
    if (best >= 0)
        pos += bestLen;
    return best;
}

// Appends @p value in decimal, padded with zeros to @p width when @p leadingZero.
void appendPadded(QString& out, int value, int width, bool leadingZero)
{
    char16_t digits[16];
    int n = 0;
    qint64 v = value < 0 ? -qint64(value) : qint64(value);
    do {
        digits[n++] = char16_t(u'0' + v % 10);
        v /= 10;
    } while (v > 0 && n < 12);
    if (leadingZero) {
        while (n < width && n < 12)
            digits[n++] = u'0';
    }
    if (value < 0)
        out += QLatin1Char('-');
    while (n > 0)
        out += QChar(digits[--n]);
}

// The local zone as the environment's TZ names it, kept per thread with the TZ entry it was made
// from. Looking the zone up again costs a mutex, an environment search and a zone construction; a
// date is made for every entry read or moved, so the entry is recognised by its address in the
// environment instead (setenv always stores a new "TZ=..." text, and never changes one).
struct LocalZone
{
    bool filled = false;
    char** env = nullptr;
    qsizetype slot = 0;
    const char* entry = nullptr; // the "TZ=..." text, or null when TZ is not set
    QByteArray value;
    bool set = false;
    QTimeZone zone;
    Zones::Id id = Zones::Id::Invalid;
};

QTimeZone zoneFromTz(bool set, const QByteArray& tz)
{
    QTimeZone zone;
    QByteArray id = tz.startsWith(':') ? tz.mid(1) : tz;
    if (set && !id.isEmpty()) {
        if (id == "UTC" || id == "GMT" || id == "UTC0" || id == "GMT0")
            id = "UTC";
        zone = QTimeZone(id);
    }
    if (!zone.isValid())
        zone = QTimeZone::systemTimeZone();
    if (!zone.isValid())
        zone = QTimeZone::utc();
    return zone;
}

const LocalZone& localZone()
{
    thread_local LocalZone cache;
    char** env = environ;
    if (cache.filled && env == cache.env && cache.entry && env && env[cache.slot] == cache.entry)
        return cache;
    qsizetype slot = 0;
    const char* entry = nullptr;
    for (; env && env[slot]; ++slot) {
        if (std::strncmp(env[slot], "TZ=", 3) == 0) {
            entry = env[slot];
            break;
        }
    }
    const bool set = entry != nullptr;
    const QByteArray value = set ? QByteArray(entry + 3) : QByteArray();
    if (!cache.filled || set != cache.set || value != cache.value) {
        cache.zone = zoneFromTz(set, value);
        cache.id = Zones::idFor(cache.zone);
        cache.set = set;
        cache.value = value;
        cache.filled = true;
    }
    cache.env = env;
    cache.slot = slot;
    cache.entry = entry;
    return cache;
}

bool plausibleZoneId(const QString& name)
{
    // Ids go to the zone database as file names: refuse anything that could leave it.
    if (name.isEmpty() || name.size() > 64 || name.contains(QLatin1String("..")) || name.startsWith(QLatin1Char('/')))
        return false;
    for (QChar c : name) {
        const ushort u = c.unicode();
        if (!((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '/' || u == '_'
              || u == '-' || u == '+'))
            return false;
    }
    return true;
}

// A zone of the zone database. Qt takes any name it cannot find as a POSIX rule ("Eastern" becomes
// a zone at offset 0), so a name counts only when the database lists it or holds a file for it.
QTimeZone databaseZone(const QString& name)
{
    if (!plausibleZoneId(name))
        return {};
    const QByteArray id = name.toUtf8();
    QTimeZone zone(id);
    if (!zone.isValid())
        return {};
    if (QTimeZone::isTimeZoneIdAvailable(id))
        return zone;
    static const QString dir = [] {
        const QString tzdir = qEnvironmentVariable("TZDIR");
        return tzdir.isEmpty() ? QStringLiteral("/usr/share/zoneinfo") : tzdir;
    }();
    const QFileInfo file(dir + QLatin1Char('/') + name);
    return file.isFile() ? zone : QTimeZone();
}

QTimeZone resolveName(const QString& raw)
{
    QString name = raw.trimmed();
    if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
        name = name.mid(1, name.size() - 2).trimmed();
    if (name.isEmpty() || name.size() > 128)
        return {};
    if (QTimeZone zone = databaseZone(name); zone.isValid())
        return zone;
    const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(name.toUtf8());
    if (!iana.isEmpty()) {
        QTimeZone zone(iana);
        if (zone.isValid())
            return zone;
    }
    // Vendor-prefixed ids end in a database id: "/mozilla.org/20070129_1/America/New_York",
    // "/softwarestudio.org/Olson_20011030_5/Europe/Paris". The longest such tail wins.
    const QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype from = 1; from < parts.size(); ++from) {
        if (QTimeZone zone = databaseZone(parts.mid(from).join(QLatin1Char('/'))); zone.isValid())
            return zone;
    }
    return {};
}

QTimeZone cachedByName(const QString& name)
{
    thread_local QHash<QString, QTimeZone> cache;
    auto it = cache.constFind(name);
    if (it != cache.constEnd())
        return *it;
    QTimeZone zone = resolveName(name);
    if (cache.size() > 256)
        cache.clear();
    cache.insert(name, zone);
    return zone;
}
} // namespace

const DateNames& DateNames::english()
{
    static const DateNames names {{"January", "February", "March", "April", "May", "June", "July", "August",
                                   "September", "October", "November", "December"},
                                  {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"},
                                  {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
                                  {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
                                  {"AM", "PM"}};
    return names;
}

QTimeZone Zones::local()
{
    return localZone().zone;
}

Zones::Id Zones::localId()
{
    return localZone().id;
}

Zones::Id Zones::utcId()
{
    static const Id id = idFor(QTimeZone::utc());
    return id;
}

Zones::Id Zones::idFor(const QTimeZone& zone)
{
    if (!zone.isValid())
        return Id::Invalid;
    // The few zones a thread uses answer without the table's lock.
    struct Recent
    {
        QTimeZone zone;
        Id id = Id::Invalid;
    };
    thread_local Recent recent[8];
    thread_local int next = 0;
    for (const Recent& r : recent) {
        if (r.id != Id::Invalid && r.zone == zone)
            return r.id;
    }
    ZoneTable& table = zoneTable();
    Id id = Id::Invalid;
    {
        QMutexLocker locker(&table.lock);
        const QByteArray name = zone.id();
        const auto it = table.byId.constFind(name);
        if (it != table.byId.constEnd()) {
            id = Id(*it);
        } else {
            const int index = table.count.load(std::memory_order_relaxed);
            if (index > kMaxZones)
                return localId(); // beyond any real use: the zone database has some 600 zones
            auto* record = new ZoneRecord;
            record->zone = zone;
            record->id = name;
            buildTransitions(*record);
            table.records[index].store(record, std::memory_order_release);
            table.count.store(index + 1, std::memory_order_relaxed);
            table.byId.insert(name, index);
            id = Id(index);
        }
    }
    recent[next] = {zone, id};
    next = (next + 1) % 8;
    return id;
}

const QTimeZone& Zones::zoneFor(Id id)
{
    static const QTimeZone invalid;
    const ZoneRecord* r = recordOf(id);
    return r ? r->zone : invalid;
}

int Zones::offsetAt(Id id, qint64 secs)
{
    return zoneOffset(id, secs);
}

QTimeZone Zones::utc()
{
    static const QTimeZone zone = QTimeZone::utc();
    return zone;
}

QTimeZone Zones::byName(const QString& name)
{
    QTimeZone zone = cachedByName(name);
    return zone.isValid() ? zone : local();
}

bool Zones::isKnown(const QString& name)
{
    return cachedByName(name).isValid();
}

QString Zones::idOf(const QTimeZone& zone)
{
    return QString::fromUtf8(zone.id());
}

CalDate CalDate::fromFields(int year, int month, int day, int hour, int minute, int second, const QTimeZone& zone)
{
    return fromFields(year, month, day, hour, minute, second, Zones::idFor(zone));
}

CalDate CalDate::fromFields(int year, int month, int day, int hour, int minute, int second, Zones::Id zone)
{
    const qint64 secondsOfDay = qint64(hour) * 3600 + qint64(minute) * 60 + second;
    // Keep within the range QDate handles comfortably; far-off years are junk input.
    if (year < -9999 || year > 99999)
        return {};
    CalDate d;
    d.m_zone = zone != Zones::Id::Invalid ? zone : Zones::localId();
    d.setFromSecs(instantForWall(d.m_zone, wallSeconds(year, month, day, secondsOfDay)));
    return d;
}

CalDate CalDate::fromSecsSinceEpoch(qint64 secs, const QTimeZone& zone)
{
    return fromSecsSinceEpoch(secs, Zones::idFor(zone));
}

CalDate CalDate::fromSecsSinceEpoch(qint64 secs, Zones::Id zone)
{
    CalDate d;
    d.m_zone = zone != Zones::Id::Invalid ? zone : Zones::localId();
    d.setFromSecs(secs);
    return d;
}

CalDate CalDate::fromWallSeconds(qint64 wall, Zones::Id zone)
{
    CalDate d;
    d.m_zone = zone != Zones::Id::Invalid ? zone : Zones::localId();
    d.setFromSecs(::instantForWall(d.m_zone, wall));
    return d;
}

qint64 CalDate::instantAtWall(qint64 wall, Zones::Id zone, qint64* wallThen)
{
    if (zone == Zones::Id::Invalid)
        zone = Zones::localId();
    const qint64 instant = ::instantForWall(zone, wall);
    *wallThen = instant + zoneOffset(zone, instant);
    return instant;
}

CalDate CalDate::now(const QTimeZone& zone)
{
    return fromSecsSinceEpoch(Clock::now().toSecsSinceEpoch(), zone);
}

void CalDate::setFromSecs(qint64 secs)
{
    m_secs = secs;
    m_offset = zoneOffset(m_zone, secs);
    const qint64 wall = secs + m_offset;
    const qint64 days = floorDiv(wall, kDay);
    const qint64 rest = wall - days * kDay;
    int year = 0, month = 0, day = 0;
    if (days >= kFirstCivilDay) {
        civilFromDays(days, &year, &month, &day);
        m_valid = true;
    } else {
        const QDate date = QDate::fromJulianDay(days + kEpochJulianDay);
        date.getDate(&year, &month, &day);
        m_valid = date.isValid();
    }
    m_year = year;
    m_month = quint8(month);
    m_day = quint8(day);
    m_hour = int(rest / 3600);
    m_minute = int((rest % 3600) / 60);
    m_second = int(rest % 60);
}

int CalDate::dayOfWeek() const
{
    return m_valid ? QDate(m_year, m_month, m_day).dayOfWeek() % 7 : 0;
}

int CalDate::dayOfYear() const
{
    return m_valid ? QDate(m_year, m_month, m_day).dayOfYear() : 0;
}

CalDate CalDate::inZone(const QTimeZone& zone) const
{
    if (!m_valid)
        return {};
    return fromSecsSinceEpoch(m_secs, zone);
}

CalDate CalDate::inZone(Zones::Id zone) const
{
    if (!m_valid)
        return {};
    return fromSecsSinceEpoch(m_secs, zone);
}

CalDate CalDate::withZone(const QTimeZone& zone) const
{
    if (!m_valid)
        return {};
    return fromFields(m_year, m_month, m_day, m_hour, m_minute, m_second, zone);
}

CalDate CalDate::withTime(int hour, int minute, int second) const
{
    if (!m_valid)
        return {};
    return fromFields(m_year, m_month, m_day, hour, minute, second, m_zone);
}

CalDate CalDate::addComponents(int years, int months, int days, int hours, int minutes, int seconds) const
{
    if (!m_valid)
        return {};
    // Years and months first (with carry of the day), then the rest on the wall clock.
    const qint64 secondsOfDay
        = qint64(m_hour + qint64(hours)) * 3600 + (m_minute + qint64(minutes)) * 60 + (m_second + qint64(seconds));
    const qint64 y = qint64(m_year) + years + floorDiv(qint64(m_month - 1) + months, 12);
    if (y < -9999 || y > 99999)
        return {};
    const qint64 monthIndex = qint64(m_year) * 12 + (m_month - 1) + months + qint64(years) * 12;
    const int ny = int(floorDiv(monthIndex, 12));
    const int nm = int(monthIndex - qint64(ny) * 12) + 1;
    const qint64 jdDays = qint64(days) + floorDiv(secondsOfDay, kDay);
    const qint64 sod = secondsOfDay - floorDiv(secondsOfDay, kDay) * kDay;
    const qint64 wall = wallSeconds(ny, nm, m_day, sod) + jdDays * kDay;
    CalDate d;
    d.m_zone = m_zone;
    d.setFromSecs(instantForWall(m_zone, wall));
    return d;
}

CalDate CalDate::addSeconds(qint64 n) const
{
    if (!m_valid)
        return {};
    return fromSecsSinceEpoch(m_secs + n, m_zone);
}

void CalDate::difference(const CalDate& from, const CalDate& to, int* days, int* hours, int* minutes, int* seconds)
{
    qint64 diff = 0;
    if (from.m_valid && to.m_valid) {
        const CalDate t = to.inZone(from.m_zone);
        const qint64 wallFrom = from.m_secs + from.m_offset;
        const qint64 wallTo = t.m_secs + t.m_offset;
        diff = wallTo - wallFrom;
    }
    const qint64 d = diff / kDay; // truncates toward zero, so every part keeps the sign
    diff -= d * kDay;
    if (days)
        *days = int(d);
    if (hours)
        *hours = int(diff / 3600);
    if (minutes)
        *minutes = int((diff % 3600) / 60);
    if (seconds)
        *seconds = int(diff % 60);
}

QString CalDate::zoneAbbreviation() const
{
    if (!m_valid)
        return {};
    if (zone() == QTimeZone::utc())
        return QStringLiteral("GMT");
    return zone().abbreviation(QDateTime::fromSecsSinceEpoch(m_secs, QTimeZone::utc()));
}

QString CalDate::offsetText() const
{
    const int off = std::abs(m_offset) / 60;
    const int hours = std::min(off / 60, 99);
    const int minutes = off % 60;
    const char16_t text[5] = {m_offset < 0 ? u'-' : u'+', char16_t(u'0' + hours / 10), char16_t(u'0' + hours % 10),
                              char16_t(u'0' + minutes / 10), char16_t(u'0' + minutes % 10)};
    return QString(reinterpret_cast<const QChar*>(text), 5);
}

QString CalDate::format(const QString& fmt, const DateNames* names) const
{
    if (!m_valid)
        return {};
    const DateNames& n = names ? *names : DateNames::english();
    auto nameAt = [](const QStringList& list, int i, const QStringList& fallback) {
        return (i >= 0 && i < list.size()) ? list.at(i) : fallback.value(i);
    };
    QString out;
    out.reserve(fmt.size() + 8);
    for (qsizetype i = 0; i < fmt.size(); ++i) {
        const QChar c = fmt.at(i);
        if (c != QLatin1Char('%') || i + 1 >= fmt.size()) {
            out += c;
            continue;
        }
        QChar code = fmt.at(++i);
        bool zero = true;
        if (code == QLatin1Char('1') && i + 1 < fmt.size()) {
            zero = false;
            code = fmt.at(++i);
        }
        const DateNames& en = DateNames::english();
        switch (code.unicode()) {
        case 'Y':
            appendPadded(out, m_year, 1, false);
            break;
        case 'y':
            appendPadded(out, ((m_year % 100) + 100) % 100, 2, zero);
            break;
        case 'm':
            appendPadded(out, m_month, 2, zero);
            break;
        case 'd':
            appendPadded(out, m_day, 2, zero);
            break;
        case 'e':
            appendPadded(out, m_day, 1, false);
            break;
        case 'H':
            appendPadded(out, m_hour, 2, zero);
            break;
        case 'I':
            appendPadded(out, m_hour % 12 == 0 ? 12 : m_hour % 12, 2, zero);
            break;
        case 'M':
            appendPadded(out, m_minute, 2, zero);
            break;
        case 'S':
            appendPadded(out, m_second, 2, zero);
            break;
        case 'j':
            appendPadded(out, dayOfYear(), 3, zero);
            break;
        case 'p':
            out += nameAt(n.amPm, m_hour < 12 ? 0 : 1, en.amPm);
            break;
        case 'a':
            out += nameAt(n.shortWeekdays, dayOfWeek(), en.shortWeekdays);
            break;
        case 'A':
            out += nameAt(n.weekdays, dayOfWeek(), en.weekdays);
            break;
        case 'b':
            out += nameAt(n.shortMonths, m_month - 1, en.shortMonths);
            break;
        case 'B':
            out += nameAt(n.months, m_month - 1, en.months);
            break;
        case 'z':
            out += offsetText();
            break;
        case 'Z':
            out += zoneAbbreviation();
            break;
        case '%':
            out += QLatin1Char('%');
            break;
        default:
            out += QLatin1Char('%');
            if (!zero)
                out += QLatin1Char('1');
            out += code;
            break;
        }
    }
    return out;
}

CalDate CalDate::parse(const QString& text, const QString& fmt, const QTimeZone& zone, const DateNames* names)
{
    const DateNames& n = names ? *names : DateNames::english();
    int year = 2001, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    int pm = -1;
    bool twelveHour = false;
    int pos = 0;
    for (qsizetype i = 0; i < fmt.size(); ++i) {
        const QChar c = fmt.at(i);
        if (c == QLatin1Char(' ')) {
            if (pos >= text.size() || !text.at(pos).isSpace())
                return {};
            while (pos < text.size() && text.at(pos).isSpace())
                ++pos;
            continue;
        }
        if (c != QLatin1Char('%') || i + 1 >= fmt.size()) {
            if (pos >= text.size() || text.at(pos) != c)
                return {};
            ++pos;
            continue;
        }
        QChar code = fmt.at(++i);
        if (code == QLatin1Char('1') && i + 1 < fmt.size())
            code = fmt.at(++i);
        bool ok = true;
        switch (code.unicode()) {
        case 'd':
        case 'e':
            day = parseDigits(text, pos, 1, 2, &ok);
            break;
        case 'm':
            month = parseDigits(text, pos, 1, 2, &ok);
            break;
        case 'Y':
            year = parseDigits(text, pos, 1, 4, &ok);
            break;
        case 'y': {
            const int start = pos;
            const int yy = parseDigits(text, pos, 1, 2, &ok);
            if (pos - start == 2 || pos - start == 1) {
                // Two-digit years: the century that puts the year at most 20 years ahead of today.
                const int thisYear = Clock::now().date().year();
                year = 2000 + yy;
                if (year > thisYear + 20)
                    year -= 100;
            }
            break;
        }
        case 'H':
            hour = parseDigits(text, pos, 1, 2, &ok);
            break;
        case 'I':
            hour = parseDigits(text, pos, 1, 2, &ok);
            twelveHour = true;
            ok = ok && hour >= 1 && hour <= 12;
            break;
        case 'M':
            minute = parseDigits(text, pos, 1, 2, &ok);
            break;
        case 'S':
            second = parseDigits(text, pos, 1, 2, &ok);
            break;
        case 'p': {
            int idx = matchName(text, pos, n.amPm);
            if (idx < 0)
                idx = matchName(text, pos, DateNames::english().amPm);
            ok = idx >= 0;
            pm = idx;
            break;
        }
        case 'b':
        case 'B': {
            int idx = matchName(text, pos, n.months);
            if (idx < 0)
                idx = matchName(text, pos, n.shortMonths);
            ok = idx >= 0;
            month = idx + 1;
            break;
        }
        case 'a':
        case 'A': {
            int idx = matchName(text, pos, n.weekdays);
            if (idx < 0)
                idx = matchName(text, pos, n.shortWeekdays);
            ok = idx >= 0;
            break;
        }
        case '%':
            ok = pos < text.size() && text.at(pos) == QLatin1Char('%');
            ++pos;
            break;
        default:
            return {};
        }
        if (!ok)
            return {};
    }
    if (pos != text.size())
        return {};
    if (pm >= 0) {
        if (twelveHour || hour <= 12) {
            hour %= 12;
            if (pm == 1)
                hour += 12;
        }
    }
    if (month < 1 || month > 12 || day < 1 || day > QDate(year, month, 1).daysInMonth() || hour > 23 || minute > 59
        || second > 59)
        return {};
    return fromFields(year, month, day, hour, minute, second, zone);
}
