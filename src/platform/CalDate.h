#pragma once

#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <compare>

/// Month, weekday and AM/PM names used when formatting and parsing dates.
/// Weekday lists start with Sunday (index 0), as the user's settings store them.
struct DateNames
{
    QStringList months; ///< 12 full month names
    QStringList shortMonths; ///< 12 abbreviated month names
    QStringList weekdays; ///< 7 full weekday names, Sunday first
    QStringList shortWeekdays; ///< 7 abbreviated weekday names, Sunday first
    QStringList amPm; ///< two designators, AM then PM

    /// English names, used when no names are given.
    static const DateNames& english();
};

/// Zone look-up. A zone name is an IANA identifier, a Windows zone name (as Outlook writes it) or
/// a vendor-prefixed path that ends in an IANA identifier ("/mozilla.org/20070129_1/Europe/Paris");
/// any other name resolves to the local zone. Names the zone database does not hold are never
/// taken as POSIX rules ("Eastern" is unknown, not a zone at offset 0).
namespace Zones
{
/// A zone as dates keep it: its number in the process's zone table. Copying a number costs nothing
/// (a QTimeZone copy counts references), and the table holds each zone's offset transitions, read
/// once per process, so offsets are found without asking the zone database again.
enum class Id : quint16 {
    Invalid = 0,
};
/// The table number of @p zone, entered on first use; Id::Invalid for an invalid zone.
Id idFor(const QTimeZone& zone);
/// The zone of table number @p id (an invalid zone for Id::Invalid). The reference stays valid.
const QTimeZone& zoneFor(Id id);
/// The offset from UTC in seconds of zone @p id at @p secs seconds since 1970 (0 for Id::Invalid).
int offsetAt(Id id, qint64 secs);

/// The machine's zone at the moment of the call (honours TZ).
QTimeZone local();
/// The table number of local().
Id localId();
Id utcId();
QTimeZone utc();
/// Resolves @p name; unknown names give local().
QTimeZone byName(const QString& name);
/// True when @p name resolves to a real zone (not the local fallback).
bool isKnown(const QString& name);
/// The identifier written into TZID parameters for @p zone.
QString idOf(const QTimeZone& zone);
} // namespace Zones

/// An instant with a time zone; the calendar fields are those of the instant in that zone.
/// Resolution is one second. A default-constructed value is null ("absent").
///
/// Field arithmetic carries: a day beyond a month's end moves into the next month
/// (31 Jan 2007 + 1 month = 3 Mar 2007). A wall-clock time that does not exist in the zone
/// (a daylight-saving gap) moves forward by the length of the gap.
class CalDate
{
public:
    CalDate() = default;

    /// Builds a date from fields in @p zone; fields out of range carry (month 13 is January
    /// of the next year, day 0 the last day of the previous month, hour 24 the next day).
    static CalDate fromFields(int year, int month, int day, int hour, int minute, int second,
                              const QTimeZone& zone = Zones::local());
    /// The instant @p secs seconds after 1970-01-01 00:00:00 UTC, seen in @p zone.
    static CalDate fromSecsSinceEpoch(qint64 secs, const QTimeZone& zone = Zones::local());
    /// The same two with the zone given by its table number (an invalid one means the local zone).
    static CalDate fromFields(int year, int month, int day, int hour, int minute, int second, Zones::Id zone);
    static CalDate fromSecsSinceEpoch(qint64 secs, Zones::Id zone);
    /// fromFields for the wall-clock reading @p wall, counted in seconds from 1970-01-01 00:00 on
    /// that clock (Julian day jd at s seconds after midnight is (jd - 2440588) * 86400 + s).
    static CalDate fromWallSeconds(qint64 wall, Zones::Id zone);
    /// The instant (seconds since 1970) fromWallSeconds() gives, without its fields; @p wallThen
    /// receives what the zone's clock reads at that instant (later than @p wall inside a gap).
    static qint64 instantAtWall(qint64 wall, Zones::Id zone, qint64* wallThen);
    /// The current moment (from Clock) in @p zone.
    static CalDate now(const QTimeZone& zone = Zones::local());

    /// Strict parse by calendar format: codes %d %e %m %y %Y %H %I %M %S %p (and %b %B %a %A
    /// with @p names); other characters match themselves, a space matches any run of blanks.
    /// Returns a null date when the text does not fit the format completely or a field is out of range.
    static CalDate parse(const QString& text, const QString& format, const QTimeZone& zone = Zones::local(),
                         const DateNames* names = nullptr);

    /// Formats with %Y %y %m %d %e %H %I %M %S %p %a %A %b %B %j %z %Z %%; "%1x" drops the leading
    /// zero of code x. A null date formats as an empty text.
    QString format(const QString& format, const DateNames* names = nullptr) const;

    bool isNull() const { return !m_valid; }
    explicit operator bool() const { return m_valid; }

    int year() const { return m_year; }
    int month() const { return m_month; }
    int day() const { return m_day; }
    int hour() const { return m_hour; }
    int minute() const { return m_minute; }
    int second() const { return m_second; }
    /// 0 = Sunday ... 6 = Saturday.
    int dayOfWeek() const;
    /// Day of the year, 1-366.
    int dayOfYear() const;
    /// Offset from UTC in seconds at this instant.
    int offsetFromUtc() const { return m_offset; }
    const QTimeZone& zone() const { return Zones::zoneFor(m_zone); }
    Zones::Id zoneId() const { return m_zone; }

    /// The same instant seen in another zone.
    CalDate inZone(const QTimeZone& zone) const;
    CalDate inZone(Zones::Id zone) const;
    /// The same fields in another zone (a different instant in general).
    CalDate withZone(const QTimeZone& zone) const;
    /// Same day, new clock time.
    CalDate withTime(int hour, int minute, int second) const;
    /// Midnight of the same day.
    CalDate startOfDay() const { return withTime(0, 0, 0); }

    /// Field arithmetic with carry, in the date's own zone.
    CalDate addComponents(int years, int months, int days, int hours, int minutes, int seconds) const;
    CalDate addYears(int n) const { return addComponents(n, 0, 0, 0, 0, 0); }
    CalDate addMonths(int n) const { return addComponents(0, n, 0, 0, 0, 0); }
    CalDate addDays(int n) const { return addComponents(0, 0, n, 0, 0, 0); }
    CalDate addHours(int n) const { return addComponents(0, 0, 0, n, 0, 0); }
    CalDate addMinutes(int n) const { return addComponents(0, 0, 0, 0, n, 0); }
    CalDate addSeconds(qint64 n) const;

    qint64 secsSinceEpoch() const { return m_secs; }
    double secondsSince1970() const { return double(m_secs); }

    /// Calendar difference @p to - @p from broken into days, hours, minutes and seconds, counted on
    /// the wall clock of @p from's zone (a day across a daylight-saving change is still one day).
    /// All parts carry the sign of the difference.
    static void difference(const CalDate& from, const CalDate& to, int* days, int* hours, int* minutes, int* seconds);

    /// Abbreviation of the zone at this instant (e.g. CET, IST).
    QString zoneAbbreviation() const;
    /// Offset as sign and four digits, e.g. +0100, -0330.
    QString offsetText() const;

    /// Compares instants; null dates order first and equal each other.
    friend bool operator==(const CalDate& a, const CalDate& b)
    {
        return a.m_valid == b.m_valid && (!a.m_valid || a.m_secs == b.m_secs);
    }
    friend std::strong_ordering operator<=>(const CalDate& a, const CalDate& b)
    {
        if (a.m_valid != b.m_valid)
            return a.m_valid ? std::strong_ordering::greater : std::strong_ordering::less;
        return a.m_secs <=> b.m_secs;
    }

private:
    void setFromSecs(qint64 secs);

    // Packed into 24 bytes: entries hold several dates and expansions make many of them.
    qint64 m_secs = 0;
    qint32 m_offset = 0;
    qint32 m_year = 0;
    quint8 m_month = 0, m_day = 0, m_hour = 0, m_minute = 0, m_second = 0;
    bool m_valid = false;
    Zones::Id m_zone = Zones::Id::Invalid;
};
