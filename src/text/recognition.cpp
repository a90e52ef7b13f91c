// Recognisers for dates and times written by people, over POSIX extended regular expressions.
//
// Matching works on UTF-8 bytes with the thread's locale switched to a UTF-8 C locale while the
// matcher runs, so that "." and bracket expressions take whole characters and month names such as
// "März" match whatever the process locale is. Each pattern is compiled once and kept until exit.

#include "calendar/aCalendar.h"
#include "platform/NaturalDate.h"

#include <QGlobalStatic>
#include <QHash>
#include <QMutex>

#include <algorithm>
#include <clocale>
#include <locale.h>
#include <memory>
#include <regex.h>

namespace
{
// --- compiled patterns ---------------------------------------------------------------------------

locale_t utf8Locale()
{
    static const locale_t loc = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "en_US.utf8"}) {
            if (locale_t l = newlocale(LC_CTYPE_MASK, name, locale_t(nullptr)))
                return l;
        }
        return locale_t(nullptr);
    }();
    return loc;
}

// Switches the calling thread to the UTF-8 locale for the lifetime of the object.
class Utf8Scope
{
public:
    Utf8Scope()
    {
        if (const locale_t l = utf8Locale())
            m_old = uselocale(l);
    }
    ~Utf8Scope()
    {
        if (m_old)
            uselocale(m_old);
    }
    Utf8Scope(const Utf8Scope&) = delete;
    Utf8Scope& operator=(const Utf8Scope&) = delete;

private:
    locale_t m_old = nullptr;
};

struct CompiledPattern
{
    regex_t re {};
    bool ok = false;

    explicit CompiledPattern(const QByteArray& pattern)
    {
        Utf8Scope scope;
        ok = regcomp(&re, pattern.constData(), REG_EXTENDED) == 0;
    }
    ~CompiledPattern()
    {
        if (ok)
            regfree(&re);
    }
    CompiledPattern(const CompiledPattern&) = delete;
    CompiledPattern& operator=(const CompiledPattern&) = delete;
};

// Compiled patterns, shared by all threads (regexec on one compiled pattern is thread-safe); the
// few patterns this file builds fit easily, and beyond the limit a pattern is compiled for one use
// only. The cache is destroyed with the other statics at exit, freeing every pattern; a caller
// still matching then keeps its pattern alive through its own reference, and a call after that
// compiles for one use.
class PatternCache
{
public:
    using Ptr = std::shared_ptr<const CompiledPattern>;

    Ptr get(const QByteArray& pattern)
    {
        {
            QMutexLocker locker(&m_lock);
            if (const auto it = m_patterns.constFind(pattern); it != m_patterns.constEnd())
                return it.value();
        }
        Ptr compiled = std::make_shared<const CompiledPattern>(pattern);
        QMutexLocker locker(&m_lock);
        if (const auto it = m_patterns.constFind(pattern); it != m_patterns.constEnd())
            return it.value();
        if (m_patterns.size() < kLimit)
            m_patterns.insert(pattern, compiled);
        return compiled;
    }

private:
    static constexpr qsizetype kLimit = 512;
    QMutex m_lock;
    QHash<QByteArray, Ptr> m_patterns;
};

Q_GLOBAL_STATIC(PatternCache, patternCache)

PatternCache::Ptr compiledPattern(const QByteArray& pattern)
{
    if (PatternCache* cache = patternCache())
        return cache->get(pattern);
    return std::make_shared<const CompiledPattern>(pattern);
}

struct Span
{
    qsizetype start;
    qsizetype end;
};

qsizetype nextCharStart(const QByteArray& text, qsizetype pos)
{
    ++pos;
    while (pos < text.size() && (uchar(text.at(pos)) & 0xC0) == 0x80)
        ++pos;
    return pos;
}

// Every non-overlapping leftmost-longest match of @p pattern in @p text that @p accept takes, as
// byte spans. A match @p accept refuses hides nothing: the search goes on one character after the
// place where that match began, so a shorter phrase inside it can still be found. An empty match
// is not a phrase: the search steps one character on, so it always ends.
template <typename Accept>
QList<Span> acceptedSpans(const QByteArray& text, const QByteArray& pattern, Accept accept)
{
    QList<Span> spans;
    const PatternCache::Ptr compiled = compiledPattern(pattern);
    if (!compiled->ok)
        return spans; // a pattern that does not compile matches nothing
    Utf8Scope scope;
    const bool wholeChars = utf8Locale() != nullptr;
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos <= size) {
        regmatch_t m[1];
        // REG_STARTEND: the text may hold NUL bytes, and the matcher must not measure the rest
        // of a long text again for every match.
        m[0].rm_so = regoff_t(pos);
        m[0].rm_eo = regoff_t(size);
        const int flags = REG_STARTEND | (pos > 0 ? REG_NOTBOL : 0);
        if (regexec(&compiled->re, text.constData(), 1, m, flags) != 0)
            break;
        qsizetype start = m[0].rm_so;
        qsizetype end = m[0].rm_eo;
        if (start < pos || end < start || end > size)
            break;
        if (!wholeChars) {
            // Byte matching: widen the match to whole UTF-8 characters.
            while (start > 0 && (uchar(text.at(start)) & 0xC0) == 0x80)
                --start;
            while (end < size && (uchar(text.at(end)) & 0xC0) == 0x80)
                ++end;
        }
        if (end == start) {
            if (start >= size)
                break;
            pos = nextCharStart(text, start);
            continue;
        }
        if (!accept(Span {start, end})) {
            if (start >= size)
                break;
            pos = nextCharStart(text, start);
            continue;
        }
        spans.append({start, end});
        pos = end;
    }
    return spans;
}

QList<Span> matchSpans(const QByteArray& text, const QByteArray& pattern)
{
    return acceptedSpans(text, pattern, [](const Span&) { return true; });
}

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The character that ends before byte @p pos, or that starts at it; 0 at the ends of the text.
char32_t charBefore(const QByteArray& text, qsizetype pos)
{
    qsizetype begin = pos - 1;
    while (begin > 0 && (uchar(text.at(begin)) & 0xC0) == 0x80)
        --begin;
    if (begin < 0)
        return 0;
    const QList<uint> ucs4 = QString::fromUtf8(text.constData() + begin, pos - begin).toUcs4();
    return ucs4.isEmpty() ? 0 : char32_t(ucs4.first());
}

char32_t charAt(const QByteArray& text, qsizetype pos)
{
    if (pos >= text.size())
        return 0;
    return charBefore(text, nextCharStart(text, pos));
}

bool isLetter(char32_t c)
{
    return c != 0 && QChar::isLetter(c);
}

QStringList matchTexts(const QByteArray& text, const QByteArray& pattern)
{
    QStringList out;
    for (const Span& s : matchSpans(text, pattern))
        out.append(QString::fromUtf8(text.constData() + s.start, s.end - s.start));
    return out;
}

// --- pattern building ----------------------------------------------------------------------------

// Text from the user's settings (month names, separators) goes into patterns literally.
QString escaped(const QString& text)
{
    static const QString specials = QStringLiteral("\\.[()*+?{|^$");
    QString out;
    out.reserve(text.size() * 2);
    for (const QChar c : text) {
        if (specials.contains(c))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

QByteArray withArg(const char* templ, const QString& arg)
{
    QString p = QString::fromLatin1(templ);
    p.replace(QLatin1String("%@"), arg);
    return p.toUtf8();
}

// Month-name dates; the year is optional ("5th December", "December 5"), and when it is there the
// longest match takes it.
const char* const kDayBeforeMonth = "[0-9]?[0-9](th)?(st)?(nd)?(rd)?(,)? %@(,)?( )?[0-9]?[0-9]?[0-9]?[0-9]?";
const char* const kMonthBeforeDay = "%@(,)? [0-9]?[0-9](th)?(st)?(nd)?(rd)?(,)?( )?[0-9]?[0-9]?[0-9]?[0-9]?";
const char* const kNumericDate = "[0-9]?[0-9](/|.|%@)[0-9]?[0-9](/|.|%@)[0-9]?[0-9]?[0-9]?[0-9]";
// Hours with AM/PM; also "3pm" without minutes and "9:30:00 AM" with seconds. Seconds need a real
// ":" or "." on both sides, or "5 10:30 am" (a day, then the time) would read as one time.
const char* const kTimeAmPm = "[1-2]?[0-9]((:|.)([0-5][0-9])?|[:.][0-5][0-9][:.][0-5][0-9])?( )?((am)|(pm)|(AM)|(PM))";
const char* const kTime24User = "[0-2][0-9]%@[0-5][0-9]";
const char* const kTime24 = "[0-2][0-9](:|.)[0-5][0-9]";
const char* const kAmPm = "((am)|(pm)|(AM)|(PM))";

bool hasDigit(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() >= '0' && c.unicode() <= '9')
            return true;
    }
    return false;
}

// Deletes the punctuation removePunc deletes, except @p keep (the user's date separator).
QString removePuncExcept(const QString& text, QChar keep)
{
    QString out = text;
    for (const char c : {'.', ',', '!', '?', ';', ':'}) {
        if (QLatin1Char(c) != keep)
            out.remove(QLatin1Char(c));
    }
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    out.replace(QLatin1Char('\r'), QLatin1Char(' '));
    out.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return out;
}

QChar firstChar(const QString& s)
{
    return s.isEmpty() ? QChar() : s.at(0);
}

// The lenient parser's view of the document's conventions (no settings store involved, so any
// thread may use it).
NaturalDateSettings settingsOf(const aCalendar& cal)
{
    return NaturalDateSettings::fromShortDateFormat(cal.getShortDateFormat(), cal.dateNames(),
                                                    cal.getShortTimeFormatSeparator());
}

// Replaces the date codes of a short date format by digit patterns; every other character is
// taken literally. @p fourDigitYear narrows the year to exactly four digits.
QByteArray shortDatePattern(const QString& format, bool fourDigitYear)
{
    QString out;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('%') && i + 1 < format.size()) {
            const QChar code = format.at(i + 1);
            const char* part = nullptr;
            switch (code.unicode()) {
            case 'm':
                part = "[0-9]?[0-9]";
                break;
            case 'y':
            case 'Y':
                part = fourDigitYear ? "[0-9][0-9][0-9][0-9]" : "[0-9]?[0-9]?[0-9]?[0-9]";
                break;
            case 'e':
                part = "[1-3]?[0-9]";
                break;
            case 'd':
                part = "[0-3]?[0-9]";
                break;
            default:
                break;
            }
            if (part) {
                out += QLatin1String(part);
                ++i;
                continue;
            }
        }
        out += escaped(QString(c));
    }
    return out.toUtf8();
}

// The time phrases of @p bytes, by the first rule that finds any. A time does not begin right
// after a digit ("6 11:30 pm" is the end of "2006" and "11:30 pm"), and the numbers of a numeric
// date ("12.05" in "12.05.2006", "12/05" in "12/05/2006") are no time.
QList<Span> timeSpans(const QByteArray& bytes, const QString& dateSeparator, const QString& timeSeparator)
{
    if (std::none_of(bytes.cbegin(), bytes.cend(), isAsciiDigit))
        return {}; // every time has a digit
    const QString dateSep = escaped(dateSeparator);
    const QList<Span> dates
        = matchSpans(bytes, withArg("[0-9]?[0-9](/|%@)[0-9]?[0-9](/|%@)[0-9]?[0-9]?[0-9]?[0-9]", dateSep));
    const QByteArray rules[]
        = {QByteArray(kTimeAmPm), withArg(kTime24User, escaped(timeSeparator)), QByteArray(kTime24)};
    for (const QByteArray& rule : rules) {
        // Candidates come in text order, so one forward walk over the dates finds the overlaps.
        qsizetype next = 0;
        const QList<Span> found = acceptedSpans(bytes, rule, [&](const Span& s) {
            if (s.start > 0 && isAsciiDigit(bytes.at(s.start - 1)))
                return false;
            while (next < dates.size() && dates.at(next).end <= s.start)
                ++next;
            return !(next < dates.size() && dates.at(next).start < s.end);
        });
        if (!found.isEmpty())
            return found;
    }
    return {};
}

// @p text (as @p bytes) with the time phrases @p times replaced by blanks.
QString blanked(const QString& text, QByteArray bytes, const QList<Span>& times)
{
    if (times.isEmpty())
        return text;
    for (const Span& s : times)
        std::fill(bytes.begin() + s.start, bytes.begin() + s.end, ' ');
    return QString::fromUtf8(bytes);
}

QStringList textsOf(const QByteArray& bytes, const QList<Span>& spans)
{
    QStringList out;
    out.reserve(spans.size());
    for (const Span& s : spans)
        out.append(QString::fromUtf8(bytes.constData() + s.start, s.end - s.start));
    return out;
}

// A month abbreviation may be written longer, as far as the full name goes ("Sept" for "Sep",
// "September"): "Sep(t(e(m(b(e(r)?)?)?)?)?)?".
QString abbreviationPattern(const QString& abbreviation, const QString& full)
{
    QString out = escaped(abbreviation);
    if (full.size() <= abbreviation.size() || !full.startsWith(abbreviation))
        return out;
    const QString rest = full.mid(abbreviation.size());
    for (const QChar c : rest)
        out += QLatin1Char('(') + escaped(QString(c));
    out += QStringLiteral(")?").repeated(rest.size());
    return out;
}

// A month-name date must stand apart from the words and numbers around it: "3 Jun" in
// "3 Junior" and "15 December" in "2015 December" are no dates.
bool standsAlone(const QByteArray& bytes, const Span& s)
{
    const char first = bytes.at(s.start);
    if (isAsciiDigit(first) ? s.start > 0 && isAsciiDigit(bytes.at(s.start - 1)) : isLetter(charBefore(bytes, s.start)))
        return false;
    return !(isLetter(charBefore(bytes, s.end)) && isLetter(charAt(bytes, s.end)));
}
} // namespace

QStringList aCalendar::regex(const QString& text, const QString& pattern) const
{
    return matchTexts(text.toUtf8(), pattern.toUtf8());
}

QString aCalendar::removePunc(const QString& text)
{
    return removePuncExcept(text, QChar());
}

QString aCalendar::removeThNdSt(const QString& text)
{
    QString out = text;
    for (const char* ending : {"th ", "nd ", "rd ", "TH ", "ND ", "RD "})
        out.remove(QLatin1String(ending));
    return out;
}

QStringList aCalendar::returnDatesInString(const QString& text) const
{
    QStringList dates;
    returnDatesAndTimes(text, &dates, nullptr);
    return dates;
}

void aCalendar::returnDatesAndTimes(const QString& text, QStringList* dates, QStringList* times) const
{
    const QByteArray textBytes = text.toUtf8();
    const QList<Span> timePhrases = timeSpans(textBytes, shortDateFormatSeparator, shortTimeFormatSeparator);
    if (times)
        *times = textsOf(textBytes, timePhrases);
    if (dates)
        *dates = datesIn(blanked(text, textBytes, timePhrases));
}

QStringList aCalendar::datesIn(const QString& withoutTimes) const
{
    const QString cleaned = removePunc(withoutTimes);
    const QByteArray bytes = cleaned.toUtf8();
    QStringList found;
    for (int month = 0; month < 12; ++month) {
        const QString full = names.months.value(month);
        const QString abbreviated = names.shortMonths.value(month);
        const struct
        {
            const QString& name;
            const char* templ;
            bool abbreviation;
        } searches[] = {{full, kDayBeforeMonth, false},
                        {full, kMonthBeforeDay, false},
                        {abbreviated, kDayBeforeMonth, true},
                        {abbreviated, kMonthBeforeDay, true}};
        for (const auto& search : searches) {
            // The name is a literal part of the pattern: a text without it cannot match, and an
            // empty name (damaged settings) would make bare numbers look like dates.
            if (search.name.isEmpty() || !cleaned.contains(search.name))
                continue;
            const QString name = search.abbreviation ? abbreviationPattern(search.name, full) : escaped(search.name);
            const QList<Span> spans = acceptedSpans(bytes, withArg(search.templ, name),
                                                    [&bytes](const Span& s) { return standsAlone(bytes, s); });
            if (!spans.isEmpty()) {
                for (const Span& s : spans)
                    found.append(QString::fromUtf8(bytes.constData() + s.start, s.end - s.start));
                break;
            }
        }
    }
    if (!found.isEmpty() || !hasDigit(cleaned))
        return found;
    // Numeric dates. Where the user's separator is punctuation ("12.05.2006"), it is kept, or
    // the clean-up would have glued the numbers together.
    const QChar sep = firstChar(shortDateFormatSeparator);
    const QString numericText = removePuncExcept(withoutTimes, sep);
    return matchTexts(numericText.toUtf8(), withArg(kNumericDate, escaped(shortDateFormatSeparator)));
}

QStringList aCalendar::returnTimeInString(const QString& text) const
{
    QStringList times;
    returnDatesAndTimes(text, nullptr, &times);
    return times;
}

CalDate aCalendar::returnCalendarDate(const QString& phrase) const
{
    const QString cleaned = removeThNdSt(removePunc(phrase));
    const QByteArray bytes = cleaned.toUtf8();
    QString format = getCodedShortDateFormat();
    if (matchSpans(bytes, shortDatePattern(format, false)).size() != 1)
        return NaturalDate::parse(phrase, settingsOf(*this));
    // Read the year as written: four digits with %Y, otherwise two with %y.
    if (matchSpans(bytes, shortDatePattern(format, true)).size() == 1)
        format.replace(QLatin1String("%y"), QLatin1String("%Y"));
    else
        format.replace(QLatin1String("%Y"), QLatin1String("%y"));
    return NaturalDate::dateWithString(cleaned, format, &names);
}

CalDate aCalendar::returnCalendarTime(const QString& phrase) const
{
    QString p = phrase;
    p.remove(QLatin1Char(' '));
    if (p.size() > 64)
        return {}; // no time of day is written that long
    const QByteArray bytes = p.toUtf8();
    const QString sep = shortTimeFormatSeparator;
    const QString sepPattern = escaped(sep);

    // With AM/PM the format takes the separator the phrase uses (":", "." or the user's), so that
    // "9.30pm" reads as 21:30; any other character between hours and minutes does not fit.
    auto amPmFormat = [&](bool withSeconds) {
        qsizetype i = 0;
        while (i < p.size() && p.at(i).isDigit())
            ++i;
        QString used = QStringLiteral(":");
        if (i < p.size() && (p.at(i) == QLatin1Char('.') || QString(p.at(i)) == sep))
            used = QString(p.at(i));
        return QStringLiteral("%I") + used + QStringLiteral("%M")
            + (withSeconds ? used + QStringLiteral("%S") : QString()) + QStringLiteral("%p");
    };
    auto exactlyOne = [&](const QByteArray& pattern) { return matchSpans(bytes, pattern).size() == 1; };

    QString format;
    const QByteArray sepGroup = withArg("((:)|(.)|(%@))", sepPattern);
    if (exactlyOne("[1-2]?[0-9]" + sepGroup + "[0-5][0-9]" + sepGroup + "[0-5][0-9]( )?" + kAmPm))
        format = amPmFormat(true);
    else if (exactlyOne("[1-2]?[0-9]" + sepGroup + "[0-5][0-9]( )?" + kAmPm))
        format = amPmFormat(false);
    else if (exactlyOne(QByteArray("[1-2]?[0-9]( )?") + kAmPm))
        format = QStringLiteral("%I%p");
    else if (exactlyOne("[0-2][0-9]:[0-5][0-9]"))
        format = QStringLiteral("%H:%M");
    else if (exactlyOne("[0-2][0-9][.][0-5][0-9]"))
        format = QStringLiteral("%H.%M"); // a real dot: any other character is left to the user's separator
    else if (exactlyOne(withArg("[0-2][0-9](%@)[0-5][0-9]", sepPattern)))
        format = getTimeFormatter();
    else if (exactlyOne("[0-2][0-9][0-5][0-9]"))
        format = getTimeFormatter();
    else
        format = QStringLiteral("%I:%M%p");
    return NaturalDate::dateWithString(p, format, &names);
}

CalDate aCalendar::returnTCDate(const QString& field) const
{
    NaturalDateSettings settings = settingsOf(*this);
    if (field.size() > 256)
        return {}; // not a date; the lenient parse refuses it too
    // Three numbers in the user's own order: the ordering comes from the short date format.
    QString ordering = shortDateFormat;
    ordering.remove(shortDateFormatSeparator);
    ordering.replace(QLatin1Char('d'), QLatin1Char('D'));
    ordering.replace(QLatin1Char('m'), QLatin1Char('M'));
    ordering.replace(QLatin1Char('y'), QLatin1Char('Y'));
    ordering += QLatin1Char('H');
    const QString sep = escaped(shortDateFormatSeparator);
    const QByteArray pattern = withArg("[0-9]?[0-9]%@[0-9]?[0-9]%@[0-9]?[0-9]?[0-9]?[0-9]", sep);
    if (!matchSpans(field.toUtf8(), pattern).isEmpty()) {
        const QString locale = NaturalDateSettings::orderingOfFormat(ordering);
        settings.ordering = locale;
    }
    return NaturalDate::parse(field, settings);
}
