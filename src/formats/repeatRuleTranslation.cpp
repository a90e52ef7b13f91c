// Repeat rules between the iCalendar grammar (held in memory) and the vCalendar 1.0 grammar
// (read from and written to organiser files).

#include "calendar/aCalendar.h"
#include "calendar/dataEntry.h"
#include "formats/repeatList.h"
#include "platform/Numbers.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <numeric>

namespace
{
using Numbers::leadingInt;

const QString kYearlyMessage
    = QStringLiteral("There appears to be a yearly repeating event that can not be translated to vCal version 1");
const QString kMonthlyMessage
    = QStringLiteral("There appears to be a monthly repeating event that can not be translated to vCal version 1");
const QString kUnspecifiedMessage
    = QStringLiteral("There was an unspecified error in processing the repeat rule for an event.\n\n"
                     "Your repeat event type may not be supported by vCal version 1.");

const QStringList kWeekdayCodes {QStringLiteral("MO"), QStringLiteral("TU"), QStringLiteral("WE"), QStringLiteral("TH"),
                                 QStringLiteral("FR"), QStringLiteral("SA"), QStringLiteral("SU")};
bool allDigits(QStringView text)
{
    if (text.isEmpty())
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; });
}

// An interval below 1 would make a rule that never advances; an absent or unreadable interval is 1.
int positiveInterval(QStringView text)
{
    const qint64 n = leadingInt(text);
    return n >= 1 ? int(std::min<qint64>(n, 100000)) : 1;
}

// "YYYYMMDDTHHMM..." (seconds and any "Z" ignored) in the local zone; a date alone gives midnight.
// Null when the text holds no date.
CalDate compactToCal(const QString& text)
{
    if (text.size() < 8 || !allDigits(QStringView(text).left(8)))
        return {};
    QString hour = QStringLiteral("00");
    QString minute = QStringLiteral("00");
    if (text.size() >= 13 && allDigits(QStringView(text).mid(9, 4))) {
        hour = text.mid(9, 2);
        minute = text.mid(11, 2);
    }
    return CalDate::parse(
        QStringLiteral("%1/%2/%3 %4 %5").arg(text.mid(6, 2), text.mid(4, 2), text.left(4), hour, minute),
        QStringLiteral("%d/%m/%Y %H %M"));
}

// vCalendar day number of an "MD" rule: "15", "15+", "1-" (first from the end) or "LD" (last day).
int monthDayNumber(const QString& token)
{
    if (token.compare(QLatin1String("LD"), Qt::CaseInsensitive) == 0)
        return -1;
    static const QRegularExpression re(QStringLiteral("^([0-9]{1,2})([+-]?)$"));
    const auto m = re.match(token);
    if (!m.hasMatch())
        return 0;
    const int n = m.captured(1).toInt();
    if (n < 1 || n > 31)
        return 0;
    return m.captured(2) == QLatin1String("-") ? -n : n;
}

// Week position of an "MP" rule: "1+", "2", "1-" (last) ... up to 5.
int weekPosition(const QString& token)
{
    static const QRegularExpression re(QStringLiteral("^([1-5])([+-]?)$"));
    const auto m = re.match(token);
    if (!m.hasMatch())
        return 0;
    const int n = m.captured(1).toInt();
    return m.captured(2) == QLatin1String("-") ? -n : n;
}

QString weekdayCode(const QString& token)
{
    const QString upper = token.toUpper();
    return kWeekdayCodes.contains(upper) ? upper : QString();
}

// Two ASCII letters are compared without making an upper-case copy; anything else goes the long way
// (the upper case of some letters, such as the long s, is an ASCII letter).
QString weekdayCode(QStringView token)
{
    if (token.size() != 2 || token.at(0).unicode() >= 128 || token.at(1).unicode() >= 128)
        return weekdayCode(token.toString());
    auto upper = [](QChar c) {
        return c >= QLatin1Char('a') && c <= QLatin1Char('z') ? char16_t(c.unicode() - 32) : c.unicode();
    };
    const char16_t text[2] = {upper(token.at(0)), upper(token.at(1))};
    for (const QString& code : kWeekdayCodes) {
        if (code == QStringView(text, 2))
            return code;
    }
    return {};
}

bool isLocalDateTimeToken(const QString& token)
{
    static const QRegularExpression re(QStringLiteral("^[0-9]{8}(T[0-9]{4}([0-9]{2})?)?$"));
    return re.match(token).hasMatch();
}

// The date of the (k+1)-th occurrence of a rule starting on @p start, counting the start as the first.
// Occurrences stop at the end of the calendar range; past it the last one before it is returned.
// Each is worked out without walking the occurrences, so an absurd COUNT costs no more than a small one.
const QDate kLastDay(9999, 12, 31);

// Step by step, for starts before year 1, where month and year arithmetic meets the missing year 0.
QDate monthlyWalk(const QDate& start, qint64 k, int interval, const QList<int>& months, bool yearly)
{
    QDate current = start;
    for (qint64 step = 0; k > 0; ++step) {
        if (yearly) {
            const qint64 year = start.year() + step * interval;
            if (year > kLastDay.year())
                break;
            for (int m : months) {
                if (step == 0 && m <= start.month())
                    continue;
                const QDate d(int(year), m, start.day());
                if (!d.isValid())
                    continue;
                current = d;
                if (--k == 0)
                    break;
            }
        } else {
            const qint64 monthIndex = qint64(start.year()) * 12 + (start.month() - 1) + (step + 1) * interval;
            if (monthIndex / 12 > kLastDay.year())
                break;
            const QDate d(int(monthIndex / 12), int(monthIndex % 12) + 1, start.day());
            if (!d.isValid())
                continue;
            current = d;
            --k;
        }
    }
    return current;
}

// @p weekdays: sorted, distinct, 1 (Monday) to 7. Week 0 is the start's week, from its Monday;
// a week counts while its Monday is within the range.
QDate weeklyOccurrence(const QDate& start, qint64 k, int interval, const QList<int>& weekdays)
{
    if (k <= 0 || weekdays.isEmpty())
        return start;
    const QDate monday = start.addDays(-(start.dayOfWeek() - 1));
    const qint64 step = qint64(7) * interval;
    if (monday.toJulianDay() > kLastDay.toJulianDay())
        return start;
    const qint64 lastWeek = (kLastDay.toJulianDay() - monday.toJulianDay()) / step;
    const qint64 perWeek = weekdays.size();
    // Days of the start's own week after the start.
    const auto later = std::upper_bound(weekdays.begin(), weekdays.end(), start.dayOfWeek());
    const qint64 firstWeek = weekdays.end() - later;
    auto day = [&](qint64 week, int dow) { return monday.addDays(week * step + dow - 1); };
    if (k <= firstWeek)
        return day(0, *(later + (k - 1)));
    const qint64 rest = k - firstWeek;
    if (rest <= lastWeek * perWeek)
        return day((rest - 1) / perWeek + 1, weekdays.at((rest - 1) % perWeek));
    if (lastWeek >= 1)
        return day(lastWeek, weekdays.last());
    return firstWeek > 0 ? day(0, weekdays.last()) : start;
}

// Every @p interval months on the start's day; months without that day (31 April, 30 February)
// hold no occurrence. Whether one holds it repeats every 400 years.
QDate monthlyOccurrence(const QDate& start, qint64 k, int interval)
{
    if (k <= 0)
        return start;
    if (start.year() < 1)
        return monthlyWalk(start, k, interval, {}, false);
    const qint64 firstIndex = qint64(start.year()) * 12 + (start.month() - 1);
    const qint64 lastIndex = qint64(kLastDay.year()) * 12 + 11;
    // Step s (from 0) falls in month firstIndex + (s + 1) * interval.
    const qint64 steps = std::max<qint64>((lastIndex - firstIndex) / interval, 0);
    auto date = [&](qint64 s) {
        const qint64 index = firstIndex + (s + 1) * interval;
        return QDate(int(index / 12), int(index % 12) + 1, start.day());
    };
    const qint64 period = 4800 / std::gcd(qint64(4800), qint64(interval));
    QList<qint64> held; // steps of one period that hold the day
    for (qint64 s = 0; s < std::min(period, steps); ++s) {
        if (date(s).isValid())
            held.append(s);
    }
    if (held.isEmpty())
        return start;
    const qint64 target = (k - 1) / held.size() * period + held.at((k - 1) % held.size());
    if (target < steps)
        return date(target);
    // Fewer occurrences than asked for: the last one in the range.
    for (qint64 s = steps - 1; s >= 0 && s >= steps - period; --s) {
        if (date(s).isValid())
            return date(s);
    }
    return start;
}

// Every @p interval years in the months of @p months (sorted, distinct) on the start's day.
QDate yearlyOccurrence(const QDate& start, qint64 k, int interval, const QList<int>& months)
{
    if (k <= 0 || start.year() > kLastDay.year())
        return start;
    if (start.year() < 1)
        return monthlyWalk(start, k, interval, months, true);
    QDate current = start;
    for (int m : months) {
        if (m <= start.month())
            continue;
        const QDate d(start.year(), m, start.day());
        if (d.isValid()) {
            current = d;
            if (--k == 0)
                return current;
        }
    }
    // Later years differ only in whether they are leap years.
    auto heldIn = [&](bool leap) {
        QList<int> held;
        for (int m : months) {
            if (QDate(leap ? 2000 : 2001, m, start.day()).isValid())
                held.append(m);
        }
        return held;
    };
    const QList<int> common = heldIn(false);
    const QList<int> leap = heldIn(true);
    qint64 lastYear = 0;
    for (qint64 year = qint64(start.year()) + interval; year <= kLastDay.year(); year += interval) {
        const QList<int>& held = QDate::isLeapYear(int(year)) ? leap : common;
        if (held.isEmpty())
            continue;
        if (k <= held.size())
            return QDate(int(year), held.at(k - 1), start.day());
        k -= held.size();
        lastYear = year;
    }
    if (lastYear == 0)
        return current;
    const QList<int>& held = QDate::isLeapYear(int(lastYear)) ? leap : common;
    return QDate(int(lastYear), held.last(), start.day());
}
} // namespace

CalDate aCalendar::timeToCal(const QString& text) const
{
    return compactToCal(text);
}

CalDate dataEntry::timeToCal(const QString& text) const
{
    return compactToCal(text);
}

QString aCalendar::vCalRRULEtoiCalRRULE(const QString& vcal) const
{
    const QString error = QStringLiteral("Error");
    QString text = vcal;
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (tokens.isEmpty())
        return error;

    enum class Kind { Daily, Weekly, Yearly, MonthlyByDay, MonthlyByPosition };
    const QString& first = tokens.first();
    Kind kind;
    QString code;
    if (first.startsWith(QLatin1Char('D'))) {
        kind = Kind::Daily;
        code = QStringLiteral("D");
    } else if (first.startsWith(QLatin1Char('W'))) {
        kind = Kind::Weekly;
        code = QStringLiteral("W");
    } else if (first.startsWith(QLatin1String("YM"))) {
        kind = Kind::Yearly;
        code = QStringLiteral("YM");
    } else if (first.startsWith(QLatin1String("MD"))) {
        kind = Kind::MonthlyByDay;
        code = QStringLiteral("MD");
    } else if (first.startsWith(QLatin1String("MP"))) {
        kind = Kind::MonthlyByPosition;
        code = QStringLiteral("MP");
    } else {
        return error;
    }
    QString intervalText = first;
    intervalText.remove(code);
    const QString intervalPart = QStringLiteral(";INTERVAL=%1").arg(positiveInterval(intervalText));

    QString countPart;
    QString untilPart;
    QStringList weekdays;
    QStringList months;
    QStringList monthDays;
    QStringList positioned; // "1MO", "-1FR" of a by-position monthly rule
    QList<int> positions;
    bool positionsUsed = false;
    for (qsizetype i = 1; i < tokens.size(); ++i) {
        const QString& tok = tokens.at(i);
        if (tok.startsWith(QLatin1Char('#'))) {
            // "#0" is vCalendar's "repeat forever": no COUNT part at all.
            const qint64 n = leadingInt(QStringView(tok).mid(1));
            countPart = n > 0 ? QStringLiteral(";COUNT=%1").arg(n) : QString();
            continue;
        }
        const bool utcEnd = tok.endsWith(QLatin1Char('Z')) && (kind == Kind::Daily ? tok.size() == 16 : tok.size() > 3);
        if (utcEnd || isLocalDateTimeToken(tok)) {
            CalDate end = timeToCal(tok);
            // Times ending in Z are UTC and follow the file's zone; a bare date-time is already local.
            if (utcEnd)
                end = zoneAdjust(end);
            if (end)
                untilPart = QStringLiteral(";UNTIL=") + end.format(QStringLiteral("%Y%m%dT%H%M%S"));
            continue;
        }
        switch (kind) {
        case Kind::Weekly:
            if (tok.size() == 2 && !weekdayCode(tok).isEmpty())
                weekdays.append(weekdayCode(tok));
            break;
        case Kind::Yearly:
            // Anything but a month number would make the rule unreadable.
            if (allDigits(tok) && tok.toInt() >= 1 && tok.toInt() <= 12)
                months.append(tok);
            break;
        case Kind::MonthlyByDay:
            if (const int n = monthDayNumber(tok))
                monthDays.append(QString::number(n));
            break;
        case Kind::MonthlyByPosition:
            if (const int p = weekPosition(tok)) {
                // A position after weekdays starts a new group ("1+ SU 1- SU").
                if (positionsUsed) {
                    positions.clear();
                    positionsUsed = false;
                }
                positions.append(p);
            } else if (const QString wd = weekdayCode(tok); !wd.isEmpty()) {
                for (int p : std::as_const(positions)) {
                    const QString value = QString::number(p) + wd;
                    if (!positioned.contains(value))
                        positioned.append(value);
                }
                positionsUsed = true;
            }
            break;
        case Kind::Daily:
            break;
        }
    }

    switch (kind) {
    case Kind::Daily:
        return QStringLiteral("FREQ=DAILY") + countPart + intervalPart + untilPart;
    case Kind::Weekly: {
        QString rule = QStringLiteral("FREQ=WEEKLY") + untilPart + intervalPart;
        if (!weekdays.isEmpty())
            rule += QStringLiteral(";BYDAY=") + weekdays.join(QLatin1Char(','));
        return rule + countPart;
    }
    case Kind::Yearly: {
        // Without a month list the rule repeats in the start's month, which is what no BYMONTH means.
        QString rule = QStringLiteral("FREQ=YEARLY") + intervalPart;
        if (!months.isEmpty())
            rule += QStringLiteral(";BYMONTH=") + months.join(QLatin1Char(','));
        return rule + countPart + untilPart;
    }
    case Kind::MonthlyByDay: {
        QString rule = QStringLiteral("FREQ=MONTHLY") + intervalPart;
        if (!monthDays.isEmpty())
            rule += QStringLiteral(";BYMONTHDAY=") + monthDays.join(QLatin1Char(','));
        return rule + countPart + untilPart;
    }
    case Kind::MonthlyByPosition:
        if (positioned.isEmpty())
            return error;
        return QStringLiteral("FREQ=MONTHLY") + intervalPart + QStringLiteral(";BYDAY=")
            + positioned.join(QLatin1Char(',')) + countPart + untilPart;
    }
    return error;
}

QString dataEntry::rruleVcal() const
{
    const QList<QStringView> parts = QStringView(tx().RRULE).split(u';', Qt::SkipEmptyParts);

    // iCalendar allows the parts in any order, so the frequency is found first.
    QString token;
    bool daily = false, weekly = false, monthly = false, yearly = false;
    int errorCode = 0;
    bool haveFreq = false;
    for (QStringView part : parts) {
        if (!part.startsWith(QLatin1String("FREQ=")))
            continue;
        haveFreq = true;
        const QString freq = part.mid(5).trimmed().toString().toUpper();
        daily = weekly = monthly = yearly = false;
        if (freq == QLatin1String("DAILY")) {
            token = QStringLiteral("D");
            daily = true;
        } else if (freq == QLatin1String("WEEKLY")) {
            token = QStringLiteral("W");
            weekly = true;
        } else if (freq == QLatin1String("MONTHLY")) {
            // vCalendar has no bare "M"; by-day-of-month on the start's day is the same rule.
            token = QStringLiteral("MD");
            monthly = true;
        } else if (freq == QLatin1String("YEARLY")) {
            token = QStringLiteral("YM");
            yearly = true;
        } else {
            token.clear(); // hourly and finer: vCalendar's tokens cannot say it
        }
    }
    if (!haveFreq || token.isEmpty())
        errorCode = 99;

    QStringView intervalText;
    QString countText;
    QString untilText;
    QString weekdayText;
    QString monthText;
    QList<int> weekdayList;
    QList<int> monthList;
    QString positionText; // MP
    QString monthDayText; // MD
    QString wkst;
    for (QStringView part : parts) {
        if (part.startsWith(QLatin1String("FREQ="))) {
            continue;
        } else if (part.startsWith(QLatin1String("INTERVAL="))) {
            intervalText = part.mid(9);
        } else if (part.startsWith(QLatin1String("COUNT="))) {
            countText += part.mid(6);
        } else if (part.startsWith(QLatin1String("UNTIL="))) {
            untilText = part.mid(6).trimmed().toString();
        } else if (part.startsWith(QLatin1String("BYDAY="))) {
            if (weekly) {
                const QList<QStringView> days = part.mid(6).split(u',', Qt::SkipEmptyParts);
                for (QStringView d : days) {
                    const QString wd = weekdayCode(d.trimmed());
                    if (wd.isEmpty()) {
                        errorCode = 99; // "1MO" and the like have no weekly vCalendar form
                        continue;
                    }
                    if (!weekdayText.isEmpty())
                        weekdayText += QLatin1Char(' ');
                    weekdayText += wd;
                    if (!weekdayList.contains(int(kWeekdayCodes.indexOf(wd)) + 1))
                        weekdayList.append(int(kWeekdayCodes.indexOf(wd)) + 1);
                }
            } else if (yearly) {
                errorCode = 1;
            } else if (monthly) {
                // vCalendar's "MP": week positions, each followed by its weekday ("1+ MO 1- FR").
                // A weekday without a position is every such weekday of the month.
                for (QStringView d : part.mid(6).split(u',', Qt::SkipEmptyParts)) {
                    d = d.trimmed();
                    const QString wd = d.size() >= 2 ? weekdayCode(d.right(2)) : QString();
                    const QStringView ordinal = d.left(d.size() - 2);
                    const qint64 n = ordinal.isEmpty() ? 0 : leadingInt(ordinal);
                    if (wd.isEmpty() || n < -5 || n > 5
                        || (!ordinal.isEmpty()
                            && (n == 0
                                || !allDigits(
                                    ordinal.mid(ordinal.startsWith(u'-') || ordinal.startsWith(u'+') ? 1 : 0))))) {
                        errorCode = 2;
                        continue;
                    }
                    if (!positionText.isEmpty())
                        positionText += QLatin1Char(' ');
                    if (n == 0)
                        positionText += QStringLiteral("1+ 2+ 3+ 4+ 5+ ") + wd;
                    else
                        positionText += QString::number(std::abs(n)) + (n > 0 ? u'+' : u'-') + QLatin1Char(' ') + wd;
                }
            } else {
                errorCode = 99;
            }
        } else if (part.startsWith(QLatin1String("BYMONTHDAY="))) {
            if (!monthly) {
                errorCode = 2;
                continue;
            }
            // vCalendar's "MD": days of the month, "1-" counting from its end.
            for (QStringView d : part.mid(11).split(u',', Qt::SkipEmptyParts)) {
                const qint64 n = leadingInt(d.trimmed());
                if (n == 0 || n < -31 || n > 31) {
                    errorCode = 2;
                    continue;
                }
                if (!monthDayText.isEmpty())
                    monthDayText += QLatin1Char(' ');
                monthDayText += n > 0 ? QString::number(n) : QString::number(-n) + QLatin1Char('-');
            }
        } else if (part.startsWith(QLatin1String("BYMONTH="))) {
            if (!yearly) {
                errorCode = 99;
                continue;
            }
            QString list = part.mid(8).toString();
            list.replace(QLatin1Char(','), QLatin1Char(' '));
            monthText += (monthText.isEmpty() || list.isEmpty() ? QString() : QStringLiteral(" ")) + list;
            for (QStringView m : part.mid(8).split(u',', Qt::SkipEmptyParts)) {
                const int n = int(leadingInt(m));
                if (n >= 1 && n <= 12 && !monthList.contains(n))
                    monthList.append(n);
            }
        } else if (part.startsWith(QLatin1String("WKST="))) {
            wkst = weekdayCode(part.mid(5).trimmed());
        } else if (part.startsWith(QLatin1String("BYSETPOS=")) || part.startsWith(QLatin1String("BYYEARDAY="))
                   || part.startsWith(QLatin1String("BYWEEKNO=")) || part.startsWith(QLatin1String("BYHOUR="))
                   || part.startsWith(QLatin1String("BYMINUTE=")) || part.startsWith(QLatin1String("BYSECOND="))) {
            errorCode = 99; // dropping them would write a different rule
        }
    }

    // vCalendar has no week start. It matters only for rules that repeat every few weeks on several
    // weekdays (which weeks are taken together); elsewhere it is dropped.
    if (errorCode == 0 && !wkst.isEmpty() && wkst != QLatin1String("MO") && weekly && weekdayList.size() > 1
        && positiveInterval(intervalText) > 1)
        errorCode = 99;
    if (errorCode == 0 && monthly && !positionText.isEmpty() && !monthDayText.isEmpty())
        errorCode = 2; // days of the month and weekday positions together
    if (monthly && !positionText.isEmpty())
        token = QStringLiteral("MP");

    QString text;
    if (errorCode == 0) {
        const int interval = positiveInterval(intervalText);
        text = QStringLiteral("RRULE:") + token + QString::number(interval);
        if (!positionText.isEmpty())
            text += QLatin1Char(' ') + positionText;
        if (!monthDayText.isEmpty())
            text += QLatin1Char(' ') + monthDayText;
        if (!monthText.isEmpty())
            text += QLatin1Char(' ') + monthText;
        if (!weekdayText.isEmpty())
            text += QLatin1Char(' ') + weekdayText;
        const CalDate start = getFullStartTime();
        if (!countText.isEmpty() && start) {
            const qint64 n = leadingInt(countText);
            const qint64 k = std::max<qint64>(n >= 1 ? n - 1 : n, 0);
            // The last occurrence is found on the local calendar; only the written instant is UTC.
            const QDate first(start.year(), start.month(), start.day());
            QDate last;
            if (daily) {
                last = first.addDays(std::min<qint64>(k * interval, kLastDay.toJulianDay() - first.toJulianDay()));
            } else if (weekly) {
                QList<int> days = weekdayList;
                std::sort(days.begin(), days.end());
                if (days.size() > 1)
                    last = weeklyOccurrence(first, k, interval, days);
                else
                    last = first.addDays(
                        std::min<qint64>(k * interval * 7, kLastDay.toJulianDay() - first.toJulianDay()));
            } else if (yearly) {
                QList<int> ms = monthList.isEmpty() ? QList<int> {start.month()} : monthList;
                std::sort(ms.begin(), ms.end());
                last = yearlyOccurrence(first, k, interval, ms);
            } else if (!positionText.isEmpty() || !monthDayText.isEmpty()) {
                // Found on the rule's days; a count beyond what can be listed stays a count.
                const qint64 jd = repeatList::lastCountedDay(*this);
                last = jd > 0 ? QDate::fromJulianDay(jd) : (n > repeatList::kMaxOccurrences ? QDate() : first);
            } else {
                last = monthlyOccurrence(first, k, interval);
            }
            if (last.isNull()) {
                text += QStringLiteral(" #%1").arg(n);
            } else if (endTime || startTime || endDate) {
                // The end of the repeat is the last occurrence's start: vCalendar readers repeat
                // up to and including it (its end would admit one more for an event of several
                // days). Readers that repeat the start's UTC time and readers that repeat its local
                // time put that occurrence an hour apart across a daylight-saving change; the later
                // of the two keeps it for both.
                const CalDate local = CalDate::fromFields(
                    last.year(), last.month(), last.day(), startTime ? startTime.hour() : 0,
                    startTime ? startTime.minute() : 0, startTime ? startTime.second() : 0, Zones::local());
                const CalDate sameUtcTime
                    = start.addSeconds(qint64(QDate(start.year(), start.month(), start.day()).daysTo(last)) * 86400);
                const CalDate end = std::max(local, sameUtcTime);
                text += QLatin1Char(' ') + end.inZone(Zones::utc()).format(QStringLiteral("%Y%m%dT%H%M%SZ"));
            } else {
                text += QLatin1Char(' ') + last.toString(QStringLiteral("yyyyMMdd"));
            }
        }
        if (!untilText.isEmpty()) {
            // vCalendar end dates are UTC date-times; a local UNTIL (or a date alone, which ends on
            // the entry's start time of that day) is converted so that readers keep it.
            QString until = untilText;
            if (!untilText.endsWith(QLatin1Char('Z')) && isLocalDateTimeToken(untilText)) {
                CalDate u = compactToCal(untilText);
                if (u && untilText.size() == 15)
                    u = u.withTime(u.hour(), u.minute(), untilText.mid(13, 2).toInt());
                else if (u && untilText.size() == 8 && startTime)
                    u = u.withTime(startTime.hour(), startTime.minute(), startTime.second());
                if (u)
                    until = u.inZone(Zones::utc()).format(QStringLiteral("%Y%m%dT%H%M%SZ"));
            }
            text += QLatin1Char(' ') + until;
        }
        // Without a duration vCalendar 1.0 means "#2": an open rule says "#0", for ever.
        if (countText.isEmpty() && untilText.isEmpty())
            text += QStringLiteral(" #0");
    } else if (errorCode == 1) {
        text = kYearlyMessage;
    } else if (errorCode == 2) {
        text = kMonthlyMessage;
    } else {
        text = kUnspecifiedMessage;
    }

    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1String("  "), QLatin1String(" "));
    if (!text.endsWith(QLatin1String("\r\n")))
        text += QLatin1String("\r\n");
    return text;
}
