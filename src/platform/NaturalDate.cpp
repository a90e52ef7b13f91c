#include "NaturalDate.h"

#include "Clock.h"
#include "UserDefaults.h"

#include <QDate>

namespace
{
// Longer texts are not dates; the limit also bounds the work done on pasted junk.
constexpr qsizetype kMaxLength = 256;

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

struct Number
{
    int value = 0;
    int digits = 0;
};

// The order of day, month and year, as positions 0..2; empty when @p ordering does not name
// all three exactly once.
struct Order
{
    int day = -1, month = -1, year = -1;
    bool valid() const { return day >= 0 && month >= 0 && year >= 0; }
};

Order orderOf(const QString& ordering)
{
    Order o;
    int slot = 0;
    for (const QChar c : ordering) {
        const char u = char(c.toUpper().unicode());
        int* target = u == 'D' ? &o.day : u == 'M' ? &o.month : u == 'Y' ? &o.year : nullptr;
        if (!target)
            continue;
        if (*target >= 0)
            return {};
        *target = slot++;
    }
    return slot == 3 ? o : Order{};
}

int yearFromTwoDigits(int yy)
{
    // The century that puts the year at most 20 years after the current one, as the strict
    // parser of "%y" does.
    const int thisYear = Clock::now().date().year();
    int year = 2000 + yy;
    if (year > thisYear + 20)
        year -= 100;
    return year;
}

struct ZoneWord
{
    const char* name;
    int offsetMinutes;
};

// Zone words that mail programs put after a time; the ambiguous rest is not read.
constexpr ZoneWord kZoneWords[] = {
    {"utc", 0},     {"gmt", 0},     {"ut", 0},      {"z", 0},       {"est", -300}, {"edt", -240},
    {"cst", -360},  {"cdt", -300},  {"mst", -420},  {"mdt", -360},  {"pst", -480}, {"pdt", -420},
    {"cet", 60},    {"cest", 120},
};

class Parser
{
public:
    Parser(const QString& text, const NaturalDateSettings& settings)
        : s(text)
        , n(text.size())
        , st(settings)
        , names(tablesFor(settings.names))
        , monthNames(names.monthNames)
        , weekdayNames(names.weekdayNames)
        , amPmNames(names.amPmNames)
    {
        order = orderOf(settings.ordering);
        if (!order.valid())
            order = orderOf(QStringLiteral("MDY"));
    }

    CalDate run();

private:
    struct Name
    {
        QString text;
        int index;
    };

    // The names to match, prepared once per set of user names rather than on every parse.
    struct NameTables
    {
        DateNames source;
        QList<Name> monthNames;
        QList<Name> weekdayNames;
        QList<Name> amPmNames;
    };

    static void addNames(QList<Name>& out, const QStringList& list)
    {
        for (int i = 0; i < list.size(); ++i) {
            QString name = list.at(i);
            name.remove(QLatin1Char(' '));
            // "Dez." and "Dez" are the same abbreviation; the dot is read separately.
            while (name.endsWith(QLatin1Char('.')) && name.size() > 1 && !name.contains(QLatin1String(".m")))
                name.chop(1);
            if (!name.isEmpty())
                out.append({name, i});
        }
    }

    static bool sameNames(const DateNames& a, const DateNames& b)
    {
        // Lists that share their data compare equal at once.
        return a.months == b.months && a.shortMonths == b.shortMonths && a.weekdays == b.weekdays
            && a.shortWeekdays == b.shortWeekdays && a.amPm == b.amPm;
    }

    // Per thread, so workers never share a cache; the copy of the names kept in the cache also keeps
    // their data alive, so a match by shared data is always a real match.
    static const NameTables& tablesFor(const DateNames& userNames)
    {
        thread_local NameTables tables;
        thread_local bool filled = false;
        if (filled && sameNames(tables.source, userNames))
            return tables;
        tables = NameTables();
        tables.source = userNames;
        const DateNames& en = DateNames::english();
        addNames(tables.monthNames, userNames.months);
        addNames(tables.monthNames, userNames.shortMonths);
        addNames(tables.monthNames, en.months);
        addNames(tables.monthNames, en.shortMonths);
        tables.monthNames.append({QStringLiteral("sept"), 8});
        addNames(tables.weekdayNames, userNames.weekdays);
        addNames(tables.weekdayNames, userNames.shortWeekdays);
        addNames(tables.weekdayNames, en.weekdays);
        addNames(tables.weekdayNames, en.shortWeekdays);
        addNames(tables.amPmNames, userNames.amPm);
        for (const char* e : {"am", "a.m.", "a.m", "pm", "p.m.", "p.m"})
            tables.amPmNames.append({QString::fromLatin1(e), e[0] == 'p' ? 1 : 0});
        filled = true;
        return tables;
    }

    QChar at(qsizetype i) const { return i < n ? s.at(i) : QChar(); }
    bool digitAt(qsizetype i) const { return i < n && isAsciiDigit(s.at(i)); }
    bool letterAt(qsizetype i) const { return i < n && s.at(i).isLetter(); }

    void skipSpaces(qsizetype& p) const
    {
        while (p < n && s.at(p).isSpace())
            ++p;
    }

    // Reads a run of ASCII digits; very long runs are read to their end (a date part is never
    // more than four digits, which the callers check).
    bool readNumber(qsizetype& p, Number& out) const
    {
        if (!digitAt(p))
            return false;
        out = {};
        while (digitAt(p)) {
            if (out.digits < 9)
                out.value = out.value * 10 + (s.at(p).unicode() - '0');
            ++out.digits;
            ++p;
        }
        return true;
    }

    // Longest name of @p names at @p p that ends at a word boundary; -1 when none does.
    int matchName(qsizetype& p, const QList<Name>& names) const
    {
        int best = -1;
        qsizetype bestLen = 0;
        for (const Name& name : names) {
            const qsizetype len = name.text.size();
            if (len <= bestLen || p + len > n)
                continue;
            if (QStringView(s).mid(p, len).compare(name.text, Qt::CaseInsensitive) != 0)
                continue;
            if (letterAt(p + len) && name.text.back().isLetter())
                continue;
            best = name.index;
            bestLen = len;
        }
        if (best >= 0)
            p += bestLen;
        return best;
    }

    bool matchWord(qsizetype& p, const char* word) const
    {
        const qsizetype len = qsizetype(qstrlen(word));
        if (p + len > n || QStringView(s).mid(p, len).compare(QLatin1String(word), Qt::CaseInsensitive) != 0)
            return false;
        if (letterAt(p + len))
            return false;
        p += len;
        return true;
    }

    // True when a time starts at @p p: digits then ":" , "." and two digits, or an AM/PM word.
    bool timeAhead(qsizetype p) const
    {
        Number num;
        if (!readNumber(p, num))
            return false;
        if ((at(p) == QLatin1Char(':') || at(p) == QLatin1Char('.')) && digitAt(p + 1) && digitAt(p + 2))
            return true;
        skipSpaces(p);
        qsizetype q = p;
        return matchName(q, amPmNames) >= 0 || matchWord(q, "uhr") || matchWord(q, "noon");
    }

    bool setDate(int y, int m, int d, bool yearGiven)
    {
        if (haveDate)
            return fail();
        haveDate = true;
        year = y;
        month = m;
        day = d;
        hasYear = yearGiven;
        return true;
    }

    bool setTime(int h, int m, int sec)
    {
        if (haveTime)
            return fail();
        if (h < 0 || h > 23 || m < 0 || m > 59 || sec < 0 || sec > 59)
            return fail();
        haveTime = true;
        hour = h;
        minute = m;
        second = sec;
        return true;
    }

    bool fail()
    {
        failed = true;
        return false;
    }

    bool tryNumericDate(qsizetype& p);
    bool tryDayMonth(qsizetype& p);
    bool tryMonthDay(qsizetype& p);
    bool tryYearAfterMonth(qsizetype& p, int& y, bool& given);
    bool tryTime(qsizetype& p);
    bool tryZone(qsizetype& p);
    bool tryWord(qsizetype& p);

    const QString& s;
    const qsizetype n;
    const NaturalDateSettings& st;
    Order order;
    const NameTables& names;
    const QList<Name>& monthNames;
    const QList<Name>& weekdayNames;
    const QList<Name>& amPmNames;

    bool failed = false;
    bool haveDate = false, hasYear = false;
    int year = 0, month = 0, day = 0;
    int relativeDays = 0;
    bool relative = false;
    bool haveTime = false;
    int hour = 0, minute = 0, second = 0;
    bool haveZone = false;
    int zoneOffsetSecs = 0;
};

// Three numbers with one separator: 12/05/2006, 2006-12-05, 05.12.06 (when "." is the user's
// separator), with an optional ISO "T" time directly after.
bool Parser::tryNumericDate(qsizetype& p)
{
    qsizetype q = p;
    Number a, b, c;
    if (!readNumber(q, a))
        return false;
    const QChar sep = at(q);
    if (sep != QLatin1Char('/') && sep != QLatin1Char('-') && sep != QLatin1Char('.') && sep != st.dateSeparator)
        return false;
    ++q;
    if (!readNumber(q, b) || at(q) != sep)
        return false;
    ++q;
    if (!readNumber(q, c))
        return false;
    // A fourth number ("1.2.3.4") or digits glued to letters make this something else.
    if ((at(q) == sep && digitAt(q + 1)) || (letterAt(q) && at(q).toLower() != QLatin1Char('t')))
        return fail();

    int y, m, d;
    int yearDigits;
    if (a.digits == 4) {
        if (b.digits > 2 || c.digits > 2)
            return fail();
        y = a.value;
        m = b.value;
        d = c.value;
        yearDigits = 4;
    } else {
        const Number parts[3] = {a, b, c};
        const Number& yn = parts[order.year];
        const Number& mn = parts[order.month];
        const Number& dn = parts[order.day];
        if (mn.digits > 2 || dn.digits > 2 || (yn.digits != 2 && yn.digits != 4))
            return false;
        y = yn.digits == 2 ? yearFromTwoDigits(yn.value) : yn.value;
        m = mn.value;
        d = dn.value;
        yearDigits = yn.digits;
    }
    // A dot between numbers is also how versions are written; read it as a date only when the
    // user writes dates that way or the year is spelled out.
    if (sep == QLatin1Char('.') && sep != st.dateSeparator && yearDigits != 4)
        return false;
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > QDate(y, m, 1).daysInMonth()) {
        // "21.30.00" with "." between hours, minutes and seconds is a time.
        if (sep == st.timeSeparator && a.digits <= 2)
            return false;
        return fail();
    }
    if (!setDate(y, m, d, true))
        return false;
    p = q;
    // ISO date-time: 2006-12-05T14:30.
    if ((at(p) == QLatin1Char('T') || at(p) == QLatin1Char('t')) && digitAt(p + 1)) {
        ++p;
        if (!tryTime(p))
            return fail();
    }
    return true;
}

bool Parser::tryYearAfterMonth(qsizetype& p, int& y, bool& given)
{
    given = false;
    qsizetype q = p;
    while (q < n && (s.at(q).isSpace() || s.at(q) == QLatin1Char(',') || s.at(q) == QLatin1Char('-')
                     || s.at(q) == QLatin1Char('/') || s.at(q) == QLatin1Char('\'')))
        ++q;
    if (!digitAt(q) || timeAhead(q))
        return true; // no year; what follows is read separately
    Number num;
    readNumber(q, num);
    if (letterAt(q))
        return true; // "5 December 6th" and similar: not a year, left for the main loop
    if (num.digits == 4) {
        y = num.value;
    } else if (num.digits == 2) {
        y = yearFromTwoDigits(num.value);
    } else {
        return true; // one or three digits: not a year; the main loop refuses it
    }
    given = true;
    p = q;
    return true;
}

// Day before month: "5 December 2006", "5th of Dec", "5. Dezember", "05-Dec-06".
bool Parser::tryDayMonth(qsizetype& p)
{
    qsizetype q = p;
    Number d;
    if (!readNumber(q, d) || d.digits > 2)
        return false;
    qsizetype afterOrdinal = q;
    if (matchWord(afterOrdinal, "st") || matchWord(afterOrdinal, "nd") || matchWord(afterOrdinal, "rd")
        || matchWord(afterOrdinal, "th"))
        q = afterOrdinal;
    else if (at(q) == QLatin1Char('.'))
        ++q;
    while (q < n && (s.at(q).isSpace() || s.at(q) == QLatin1Char('-') || s.at(q) == QLatin1Char('/')))
        ++q;
    if (matchWord(q, "of"))
        skipSpaces(q);
    const int m = matchName(q, monthNames);
    if (m < 0)
        return false;
    if (at(q) == QLatin1Char('.'))
        ++q;
    int y = 0;
    bool given = false;
    tryYearAfterMonth(q, y, given);
    p = q;
    return setDate(y, m + 1, d.value, given);
}

// Month before day: "December 5, 2006", "Dec 5th", "Dec-05-2006". A month without a day fails.
bool Parser::tryMonthDay(qsizetype& p)
{
    qsizetype q = p;
    const int m = matchName(q, monthNames);
    if (m < 0)
        return false;
    if (at(q) == QLatin1Char('.'))
        ++q;
    while (q < n && (s.at(q).isSpace() || s.at(q) == QLatin1Char(',') || s.at(q) == QLatin1Char('-')
                     || s.at(q) == QLatin1Char('/')))
        ++q;
    if (matchWord(q, "the"))
        skipSpaces(q);
    Number d;
    if (timeAhead(q) || !readNumber(q, d) || d.digits > 2)
        return fail(); // "December 2006", "December 14:30": no day
    qsizetype afterOrdinal = q;
    if (matchWord(afterOrdinal, "st") || matchWord(afterOrdinal, "nd") || matchWord(afterOrdinal, "rd")
        || matchWord(afterOrdinal, "th"))
        q = afterOrdinal;
    else if (at(q) == QLatin1Char('.') && !digitAt(q + 1))
        ++q;
    int y = 0;
    bool given = false;
    tryYearAfterMonth(q, y, given);
    p = q;
    return setDate(y, m + 1, d.value, given);
}

// 9:30, 9:30:00 AM, 9.30pm, 21.30, 3 pm, 12 noon, 14 Uhr.
bool Parser::tryTime(qsizetype& p)
{
    qsizetype q = p;
    Number h, m, sec;
    if (!readNumber(q, h) || h.digits > 2)
        return false;
    bool hasMinutes = false;
    const QChar sep = at(q);
    if ((sep == QLatin1Char(':') || sep == QLatin1Char('.')) && digitAt(q + 1)) {
        qsizetype r = q + 1;
        if (!readNumber(r, m) || m.digits != 2)
            return false;
        if (at(r) == sep && digitAt(r + 1)) {
            // Seconds after a dot only where the user writes times that way: "10.02.14" is
            // otherwise a version or a date, not a time.
            if (sep != QLatin1Char(':') && sep != st.timeSeparator)
                return false;
            ++r;
            if (!readNumber(r, sec) || sec.digits != 2)
                return false;
            if (at(r) == QLatin1Char('.') && digitAt(r + 1)) {
                ++r; // fractions of a second are dropped
                Number frac;
                readNumber(r, frac);
            }
        }
        if (digitAt(r))
            return false;
        q = r;
        hasMinutes = true;
    }
    qsizetype r = q;
    skipSpaces(r);
    int ampm = matchName(r, amPmNames);
    if (ampm >= 0) {
        q = r;
        int hour12 = h.value;
        if (hour12 < 1 || hour12 > 23 || (hour12 > 12 && ampm == 0))
            return fail();
        if (hour12 <= 12) {
            hour12 %= 12;
            if (ampm == 1)
                hour12 += 12;
        }
        p = q;
        return setTime(hour12, m.value, sec.value);
    }
    if (matchWord(r, "noon")) {
        if (h.value != 12 || hasMinutes)
            return fail();
        p = r;
        return setTime(12, 0, 0);
    }
    if (!hasMinutes) {
        if (!matchWord(r, "uhr") && !matchWord(r, "h"))
            return false;
        q = r;
    }
    if (letterAt(q) && !(at(q).toLower() == QLatin1Char('z') && !letterAt(q + 1)))
        return false;
    p = q;
    return setTime(h.value, m.value, sec.value);
}

// After a time: "Z", "UTC", "GMT", "+0100", "-05:00", "GMT+1", and an optional "(CET)" comment.
bool Parser::tryZone(qsizetype& p)
{
    if (!haveTime || haveZone)
        return false;
    qsizetype q = p;
    int offsetMinutes = 0;
    bool found = false;
    for (const ZoneWord& z : kZoneWords) {
        qsizetype r = q;
        if (matchWord(r, z.name)) {
            offsetMinutes = z.offsetMinutes;
            q = r;
            found = true;
            break;
        }
    }
    if (at(q) == QLatin1Char('+') || at(q) == QLatin1Char('-')) {
        const int sign = at(q) == QLatin1Char('-') ? -1 : 1;
        qsizetype r = q + 1;
        Number hh, mm;
        int hours = 0, minutes = 0;
        if (!readNumber(r, hh)) {
            if (!found)
                return false;
            r = q; // "GMT-" with no number: the word alone
        } else if (hh.digits == 4) {
            hours = hh.value / 100;
            minutes = hh.value % 100;
        } else if (hh.digits <= 2) {
            hours = hh.value;
            if (at(r) == QLatin1Char(':') && digitAt(r + 1)) {
                ++r;
                if (!readNumber(r, mm) || mm.digits != 2)
                    return fail();
                minutes = mm.value;
            }
        } else {
            return fail();
        }
        if (hours > 14 || minutes > 59)
            return fail();
        offsetMinutes += sign * (hours * 60 + minutes);
        q = r;
        found = true;
    }
    if (!found)
        return false;
    // "+0100 (CET)": the comment repeats the offset.
    qsizetype r = q;
    skipSpaces(r);
    if (at(r) == QLatin1Char('(')) {
        qsizetype close = r + 1;
        while (close < n && close - r < 12 && (s.at(close).isLetterOrNumber() || s.at(close) == QLatin1Char(' ')))
            ++close;
        if (at(close) == QLatin1Char(')'))
            q = close + 1;
    }
    haveZone = true;
    zoneOffsetSecs = offsetMinutes * 60;
    p = q;
    return true;
}

bool Parser::tryWord(qsizetype& p)
{
    qsizetype q = p;
    if (matchName(q, weekdayNames) >= 0) {
        if (at(q) == QLatin1Char('.'))
            ++q;
        p = q;
        return true;
    }
    static const char* const fillers[] = {"at", "on", "of", "the", "am", "um", "uhr", "den", "@"};
    for (const char* f : fillers) {
        if (matchWord(q, f)) {
            p = q;
            return true;
        }
    }
    struct Relative
    {
        const char* word;
        int days;
    };
    static const Relative relatives[] = {{"today", 0}, {"tomorrow", 1}, {"yesterday", -1}};
    for (const Relative& r : relatives) {
        if (matchWord(q, r.word)) {
            if (haveDate || relative)
                return fail();
            relative = true;
            relativeDays = r.days;
            p = q;
            return true;
        }
    }
    if (matchWord(q, "noon")) {
        p = q;
        return setTime(12, 0, 0);
    }
    if (matchWord(q, "midnight")) {
        p = q;
        return setTime(0, 0, 0);
    }
    return false;
}

CalDate Parser::run()
{
    qsizetype p = 0;
    while (!failed) {
        // Separators between the parts: blanks, commas, quotes left over from delimited text,
        // and a dash or "@" standing alone.
        while (p < n) {
            const QChar c = s.at(p);
            if (c.isSpace() || c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('@'))
                ++p;
            else if (c == QLatin1Char('-') && (p + 1 >= n || s.at(p + 1).isSpace()) && p > 0 && s.at(p - 1).isSpace())
                ++p;
            else if (c == QLatin1Char('.') && (p + 1 == n || (p > 0 && s.at(p - 1).isLetter())))
                ++p; // the end of a sentence, or an abbreviation's dot ("vorm.")
            else
                break;
        }
        if (p >= n)
            break;
        const qsizetype before = p;
        if (digitAt(p)) {
            if (tryNumericDate(p) || failed)
                continue;
            if (tryDayMonth(p) || failed)
                continue;
            if (tryTime(p) || failed)
                continue;
            return {};
        }
        if (tryMonthDay(p) || failed)
            continue;
        if (tryZone(p) || failed)
            continue;
        if (tryWord(p) || failed)
            continue;
        if (p == before)
            return {};
    }
    if (failed || (!haveDate && !haveTime && !relative))
        return {};
    if (relative && haveDate)
        return {};

    const QTimeZone zone = st.zone.isValid() ? st.zone : Zones::local();
    if (!haveDate) {
        const CalDate today = CalDate::fromSecsSinceEpoch(Clock::now().toSecsSinceEpoch(), zone);
        const QDate d = QDate(today.year(), today.month(), today.day()).addDays(relativeDays);
        year = d.year();
        month = d.month();
        day = d.day();
    } else if (!hasYear) {
        year = CalDate::fromSecsSinceEpoch(Clock::now().toSecsSinceEpoch(), zone).year();
    }
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > QDate(year, month, 1).daysInMonth())
        return {};
    if (haveZone) {
        const CalDate atOffset = CalDate::fromFields(year, month, day, hour, minute, second, QTimeZone(zoneOffsetSecs));
        return atOffset.inZone(zone);
    }
    return CalDate::fromFields(year, month, day, hour, minute, second, zone);
}
} // namespace

QString NaturalDateSettings::orderingOfFormat(const QString& shortDateFormat)
{
    QString out;
    for (qsizetype i = 0; i < shortDateFormat.size(); ++i) {
        const char c = char(shortDateFormat.at(i).toLower().unicode());
        char letter = 0;
        if (c == 'd' || c == 'e')
            letter = 'D';
        else if (c == 'm' || c == 'b')
            letter = 'M';
        else if (c == 'y')
            letter = 'Y';
        if (letter && !out.contains(QLatin1Char(letter)))
            out += QLatin1Char(letter);
    }
    if (out.size() != 3)
        return QStringLiteral("MDYH");
    return out + QLatin1Char('H');
}

NaturalDateSettings NaturalDateSettings::fromShortDateFormat(const QString& shortDateFormat, const DateNames& names,
                                                             const QString& timeSeparator)
{
    NaturalDateSettings s;
    if (timeSeparator.size() == 1 && !timeSeparator.at(0).isLetterOrNumber())
        s.timeSeparator = timeSeparator.at(0);
    s.ordering = orderingOfFormat(shortDateFormat);
    s.names = names;
    // The separator: the first character that is not a code or a code letter.
    QString reduced = shortDateFormat;
    reduced.remove(QLatin1Char('%'));
    reduced.remove(QLatin1Char('1'));
    for (const QChar c : std::as_const(reduced)) {
        if (!c.isLetterOrNumber()) {
            s.dateSeparator = c;
            break;
        }
    }
    return s;
}

NaturalDateSettings NaturalDateSettings::fromUserDefaults()
{
    const UserDefaults& prefs = UserDefaults::standard();
    QString time = prefs.string(QStringLiteral("NSTimeFormatString"));
    time.replace(QLatin1String("%1"), QLatin1String("%"));
    return fromShortDateFormat(prefs.string(QStringLiteral("NSShortDateFormatString")), prefs.dateNames(),
                               time.mid(2, 1));
}

CalDate NaturalDate::dateWithString(const QString& text, const QString& calendarFormat, const DateNames* names)
{
    return CalDate::parse(text, calendarFormat, Zones::local(), names);
}

CalDate NaturalDate::parse(const QString& text, const NaturalDateSettings& settings)
{
    if (text.size() > kMaxLength)
        return {};
    return Parser(text, settings).run();
}

CalDate NaturalDate::dateWithNaturalLanguageString(const QString& text)
{
    if (text.size() > kMaxLength)
        return {};
    return parse(text, NaturalDateSettings::fromUserDefaults());
}

CalDate NaturalDate::dateWithNaturalLanguageString(const QString& text, const QVariantMap& locale)
{
    if (text.size() > kMaxLength)
        return {};
    NaturalDateSettings settings = NaturalDateSettings::fromUserDefaults();
    const QString ordering = locale.value(QStringLiteral("NSDateTimeOrdering")).toString();
    if (orderOf(ordering).valid())
        settings.ordering = ordering;
    return parse(text, settings);
}
