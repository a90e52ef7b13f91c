// One entry as an iCalendar or a vCalendar 1.0 VEVENT block.
//
// Blocks are appended straight to the writer's output: a calendar of 100,000 entries would
// otherwise build and copy several short-lived texts per property line.

#include "calendar/dataEntry.h"
#include "formats/writeContext.h"
#include "platform/Encoding.h"
#include "platform/Numbers.h"

#include <QDate>

#include <algorithm>
#include <cstring>

namespace
{
using Numbers::floorDiv;

const QString kCrLf = QStringLiteral("\r\n");
constexpr qint64 kDay = 86400;
constexpr qint64 kEpochJulianDay = 2440588; // 1970-01-01
// Offset in seconds as its "%z" text reads when cut into hours (characters 0-2, signed) and
// minutes (3-4, no sign): -0330 gives -3 and 30.
void offsetParts(int offsetSeconds, int* hours, int* minutes)
{
    const int total = std::abs(offsetSeconds) / 60;
    *hours = offsetSeconds < 0 ? -(total / 60) : total / 60;
    *minutes = total % 60;
}

// Fixed-width date and time texts are put together in a small buffer and appended at once.
struct StampBuffer
{
    char16_t text[24];
    int size = 0;

    // A field as "%m" "%d" "%H" "%M" "%S" print it (0-99 here; CalDate fields are in range).
    void twoDigits(int value)
    {
        text[size++] = char16_t(u'0' + value / 10);
        text[size++] = char16_t(u'0' + value % 10);
    }
    void year(int value)
    {
        text[size++] = char16_t(u'0' + value / 1000);
        text[size++] = char16_t(u'0' + value / 100 % 10);
        text[size++] = char16_t(u'0' + value / 10 % 10);
        text[size++] = char16_t(u'0' + value % 10);
    }
    void put(char16_t c) { text[size++] = c; }
    QStringView view() const { return QStringView(text, size); }
};

bool plainYear(int year)
{
    return year >= 1000 && year <= 9999;
}

// "%Y%m%d" of a date's own fields; nothing for an absent date.
void appendDate(QString& out, const CalDate& date)
{
    if (!date)
        return;
    if (!plainYear(date.year())) {
        out += date.format(QStringLiteral("%Y%m%d"));
        return;
    }
    StampBuffer b;
    b.year(date.year());
    b.twoDigits(date.month());
    b.twoDigits(date.day());
    out += b.view();
}

// "%H%M%S" of a time, or "000000" for an absent one.
void appendClock(QString& out, const CalDate& time)
{
    StampBuffer b;
    b.twoDigits(time ? time.hour() : 0);
    b.twoDigits(time ? time.minute() : 0);
    b.twoDigits(time ? time.second() : 0);
    out += b.view();
}

// "%Y%m%dT%H%M%SZ" of @p instant moved by @p shift seconds and seen in GMT. Years 1000-9999 are
// worked out here; others take the general route, which prints them its own way.
void appendUtcStamp(QString& out, const CalDate& instant, qint64 shift)
{
    static const qint64 firstDay = QDate(1000, 1, 1).toJulianDay() - kEpochJulianDay;
    static const qint64 lastDay = QDate(9999, 12, 31).toJulianDay() - kEpochJulianDay;
    if (instant.isNull())
        return;
    const qint64 secs = instant.secsSinceEpoch() + shift;
    const qint64 days = floorDiv(secs, kDay);
    if (days < firstDay || days > lastDay) {
        out += instant.addSeconds(shift).inZone(Zones::utc()).format(QStringLiteral("%Y%m%dT%H%M%SZ"));
        return;
    }
    int year = 0, month = 0, day = 0;
    QDate::fromJulianDay(days + kEpochJulianDay).getDate(&year, &month, &day);
    const int rest = int(secs - days * kDay);
    StampBuffer b;
    b.year(year);
    b.twoDigits(month);
    b.twoDigits(day);
    b.put(u'T');
    b.twoDigits(rest / 3600);
    b.twoDigits(rest % 3600 / 60);
    b.twoDigits(rest % 60);
    b.put(u'Z');
    out += b.view();
}

// vCalendar times are UTC: each instant at the offset its own date has, so a file written in
// winter and one written in summer say the same and peers read them as we do.
void appendVcalUtc(QString& out, const CalDate& instant)
{
    appendUtcStamp(out, instant, 0);
}

// Date and time of day joined in the local zone, as the entry's full start and end are.
CalDate combine(const CalDate& date, const CalDate& time, const dataEntry::WriteContext& context)
{
    if (date.isNull())
        return {};
    return CalDate::fromFields(date.year(), date.month(), date.day(), time ? time.hour() : 0, time ? time.minute() : 0,
                               time ? time.second() : 0, context.local);
}

// UTF-8 octets of the character at @p i of @p line; @p units is set to its UTF-16 length.
// A lone surrogate is written as U+FFFD, three octets.
inline int octetsAt(QStringView line, qsizetype i, int& units)
{
    const char16_t c = line[i].unicode();
    units = 1;
    if (c < 0x80)
        return 1;
    if (c < 0x800)
        return 2;
    if (QChar::isHighSurrogate(c) && i + 1 < line.size() && QChar::isLowSurrogate(line[i + 1].unicode())) {
        units = 2;
        return 4;
    }
    return 3;
}

// True when @p line may stay on one line: at most 73 UTF-16 units and @p maxOctets of UTF-8.
bool fitsOneLine(QStringView line, int maxOctets)
{
    if (line.size() > 73)
        return false;
    if (line.size() * 3 <= maxOctets)
        return true;
    int octets = 0;
    for (qsizetype i = 0; i < line.size();) {
        int units;
        octets += octetsAt(line, i, units);
        if (octets > maxOctets)
            return false;
        i += units;
    }
    return true;
}

// Cuts @p line into pieces of at most 72 UTF-16 units and 72 UTF-8 octets joined by @p foldText;
// a line of up to 73 units stays whole while it fits in 75 octets (74 after a fold's space), so
// no written line exceeds the 75 octets readers allow. A cut never falls inside a character.
void appendFoldedText(QString& out, QStringView line, QLatin1String foldText)
{
    qsizetype pos = 0;
    while (!fitsOneLine(line.mid(pos), pos == 0 ? 75 : 74)) {
        qsizetype end = pos;
        int units = 0, octets = 0;
        while (end < line.size()) {
            int u;
            const int o = octetsAt(line, end, u);
            if (units + u > 72 || octets + o > 72)
                break;
            units += u;
            octets += o;
            end += u;
        }
        out += line.mid(pos, end - pos);
        out += foldText;
        pos = end;
    }
    out += line.mid(pos);
}

QString fold(const QString& line, QLatin1String foldText)
{
    if (fitsOneLine(line, 75))
        return line;
    QString out;
    out.reserve(line.size() + line.size() / 72 * 3 + 3);
    appendFoldedText(out, line, foldText);
    return out;
}

// Folds the line that starts at @p from in @p out (it has no line end yet) and ends it.
void foldLineFrom(QString& out, qsizetype from, const dataEntry::WriteContext& context)
{
    if (!fitsOneLine(QStringView(out).mid(from), 75)) {
        QString& line = context.scratch;
        line.resize(0);
        line.append(QStringView(out).mid(from));
        out.truncate(from);
        appendFoldedText(out, line, QLatin1String("\r\n "));
    }
    out += kCrLf;
}

void appendFoldedLine(QString& out, QStringView line, const dataEntry::WriteContext& context)
{
    const qsizetype from = out.size();
    out += line;
    foldLineFrom(out, from, context);
}

// iCalendar TEXT: a backslash is doubled, every CR and every LF becomes "\n".
void appendEscapedBreaks(QString& out, QStringView text)
{
    const char16_t* const begin = text.utf16();
    const char16_t* const end = begin + text.size();
    const char16_t* from = begin;
    for (const char16_t* p = begin; p != end; ++p) {
        if (*p == u'\r' || *p == u'\n' || *p == u'\\') {
            out += QStringView(from, p);
            out += *p == u'\\' ? QStringView(u"\\\\") : QStringView(u"\\n");
            from = p + 1;
        }
    }
    out += QStringView(from, end);
}

// Decodes UTF-8 the entry made (so well-formed) into @p out, as appendEscapedBreaks() escapes the
// text: one pass, no text in between.
void appendEscapedUtf8(QString& out, const QByteArray& utf8)
{
    const qsizetype at = out.size();
    // A byte gives at most one unit, or two for an escaped break or backslash.
    out.resize(at + 2 * utf8.size());
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data()) + at;
    char16_t* o = begin;
    const char* p = utf8.constData();
    const char* const end = p + utf8.size();
    while (p != end) {
        const char* stop = p;
        while (stop != end && *stop != '\r' && *stop != '\n' && *stop != '\\')
            ++stop;
        const qsizetype units = Encoding::decodeKeptUtf8(p, stop - p, o);
        if (units < 0) {
            // Not from the entry's own encoder after all: decoded as the rest of the system would.
            const QString text = QString::fromUtf8(p, stop - p);
            std::memcpy(o, text.utf16(), std::size_t(text.size()) * sizeof(char16_t));
            o += text.size();
        } else {
            o += units;
        }
        if (stop == end)
            break;
        *o++ = u'\\';
        *o++ = *stop == '\\' ? u'\\' : u'n';
        p = stop + 1;
    }
    out.truncate(at + (o - begin));
}

// The text of UTF-8 the entry made, decoded into @p room (reused from entry to entry).
QStringView decodedInto(QString& room, const QByteArray& utf8)
{
    room.resize(utf8.size());
    const qsizetype units = Encoding::decodeKeptUtf8(utf8.constData(), utf8.size(), reinterpret_cast<char16_t*>(room.data()));
    if (units < 0)
        room = QString::fromUtf8(utf8);
    else
        room.truncate(units);
    return room;
}

// vCalendar has no line continuation for these values: every line break becomes "\n", and a CR
// LF pair one escape, so no raw CR can split the line; a backslash is doubled.
void appendVcalEscaped(QString& out, QStringView text)
{
    const char16_t* const begin = text.utf16();
    const char16_t* const end = begin + text.size();
    const char16_t* from = begin;
    for (const char16_t* p = begin; p != end; ++p) {
        if (*p == u'\r' || *p == u'\n') {
            out += QStringView(from, p);
            out += QStringView(u"\\n");
            if (*p == u'\r' && p + 1 != end && p[1] == u'\n')
                ++p;
            from = p + 1;
        } else if (*p == u'\\') {
            out += QStringView(from, p);
            out += QStringView(u"\\\\");
            from = p + 1;
        }
    }
    out += QStringView(from, end);
}

// A vCalendar text property. Texts Mac OS Roman can hold are written in it, as organisers expect;
// others in UTF-8, quoted-printable so that the file stays 7-bit whatever encodes the rest of it.
void appendVcalText(QString& out, QStringView name, QStringView text)
{
    out += name;
    if (Encoding::fitsMacRoman(text)) {
        out += QStringView(u";CHARSET=macintosh:");
        appendVcalEscaped(out, text);
        out += kCrLf;
        return;
    }
    out += QStringView(u";CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:");
    QString escaped = text.toString();
    if (escaped.contains(QLatin1Char('\\')))
        escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    if (escaped.contains(QLatin1Char('\r'))) {
        escaped.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        escaped.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    }
    const QByteArray bytes = escaped.toUtf8();
    static const char hex[] = "0123456789ABCDEF";
    qsizetype lineLength = out.size() - (out.lastIndexOf(QLatin1Char('\n')) + 1);
    // Encoded in a byte buffer and appended once: descriptions can be long.
    QByteArray qp;
    qp.reserve(bytes.size() * 3 + bytes.size() / 24 + 8);
    for (const char ch : bytes) {
        const uchar b = uchar(ch);
        int n = b == '\n' ? 6 : (b < 0x20 || b >= 0x7F || b == '=') ? 3 : 1;
        // Soft line breaks keep lines short; one never splits an "=XX".
        if (lineLength + n > 75) {
            qp += "=\r\n";
            lineLength = 0;
        }
        // A continued line never begins with white space, which a reader may take for a fold,
        // nor with "B" or "E", so that no text reads as a BEGIN: or END: line to a reader that
        // splits components before it decodes values.
        if (lineLength == 0 && n == 1 && (b == ' ' || b == 'B' || b == 'b' || b == 'E' || b == 'e'))
            n = 3;
        if (b == '\n') {
            qp += "=0D=0A";
        } else if (n == 3) {
            qp += '=';
            qp += hex[b >> 4];
            qp += hex[b & 15];
        } else {
            qp += char(b);
        }
        lineLength += n;
    }
    out += QLatin1String(qp);
    out += kCrLf;
}

// The value of a property that may be stored with or without its name: "" when it is empty or
// the bare name.
QStringView valueOfProperty(const QString& stored, QLatin1String name)
{
    if (stored.startsWith(name))
        return QStringView(stored).mid(name.size());
    return stored;
}

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

enum class VcalEnd {
    None,
    Written,
    FromDuration, // the end part is "DTEND:": the duration decides it
};

// The vCalendar end part, appended to @p out unless it is to come from the duration.
VcalEnd appendVcalEnd(QString& out, const CalDate& startDate, const CalDate& startTime, const CalDate& endDate,
                      const CalDate& endTime, bool repeating, const dataEntry::WriteContext& context)
{
    const CalDate fullStart = combine(startDate, startTime, context);
    // A timed entry within one day has equal start and end dates; only equal instants mean
    // there is no end to write.
    const CalDate fullEnd = endDate ? combine(endDate, endTime, context)
        : endTime                   ? combine(startDate, endTime, context)
                                    : CalDate();
    if (fullStart == fullEnd)
        return VcalEnd::None;
    if (!endTime && !startTime && !endDate)
        return VcalEnd::None;
    if (endDate && !endTime && !startTime) {
        if (repeating)
            return VcalEnd::FromDuration;
        // A day entry over several days is written as a daily repeat up to its last day.
        out += QStringView(u"RRULE:D1 ");
        appendVcalUtc(out, fullEnd);
        out += kCrLf;
        return VcalEnd::Written;
    }
    if (fullEnd.isNull())
        return VcalEnd::None;
    out += QStringView(u"DTEND:");
    appendVcalUtc(out, fullEnd);
    out += kCrLf;
    return VcalEnd::Written;
}
} // namespace

dataEntry::WriteContext dataEntry::WriteContext::current()
{
    WriteContext context;
    context.local = Zones::local();
    context.localId = Zones::idOf(context.local);
    offsetParts(CalDate::now(context.local).offsetFromUtc(), &context.nowHours, &context.nowMinutes);
    return context;
}

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
    if (tx().DTEND.isEmpty())
        return text;
    if (tx().DTEND.size() >= 10)
        text += QStringLiteral("TZID=") + Zones::idOf(Zones::local()) + QLatin1Char(':');
    else
        text += QStringLiteral("VALUE=DATE:");
    return text + tx().DTEND;
}

QString dataEntry::getICal()
{
    QString out;
    appendICal(out, WriteContext::current());
    return out;
}

void dataEntry::appendICal(QString& out, const WriteContext& context)
{
    if (!notBlankLine())
        return;
    const qsizetype blockStart = out.size();
    // SEQUENCE, UID and DTSTAMP come from the file read and can be of any length.
    out += QStringView(u"BEGIN:VEVENT\r\n");
    qsizetype from = out.size();
    out += QStringView(u"SEQUENCE:");
    out += tx().SEQUENCE;
    foldLineFrom(out, from, context);
    if (tx().UID.isEmpty())
        setNewUID();
    from = out.size();
    out += QStringView(u"UID:");
    out += tx().UID;
    foldLineFrom(out, from, context);
    from = out.size();
    out += QStringView(u"DTSTAMP:");
    out += tx().DTSTAMP;
    foldLineFrom(out, from, context);
    // An entry with only an end date has no start line; an empty line would break the file.
    if (!DTSTART.isEmpty())
        appendFoldedLine(out, DTSTART, context);
    from = out.size();
    if (!tx().theSummary.isEmpty()) {
        out += QStringView(u"SUMMARY:");
        appendEscapedBreaks(out, tx().theSummary);
        foldLineFrom(out, from, context);
    }
    if (!tx().DESCRIPTION.isEmpty()) {
        from = out.size();
        out += QStringView(u"DESCRIPTION:");
        appendEscapedUtf8(out, tx().DESCRIPTION);
        foldLineFrom(out, from, context);
    }
    from = out.size();
    if (tx().DTEND.isEmpty()) {
        out += QStringView(u"DURATION:P");
    } else if (tx().DTEND.size() >= 10) {
        out += QStringView(u"DTEND;TZID=");
        out += context.localId;
        out += QLatin1Char(':');
    } else {
        out += QStringView(u"DTEND;VALUE=DATE:");
    }
    // A duration is never empty in a well-formed file (an entry that was never made consistent
    // has none).
    out += !tx().DTEND.isEmpty()   ? tx().DTEND
        : !DURATION.isEmpty() ? DURATION
        : startTime           ? QStringLiteral("T0S")
                              : QStringLiteral("1D");
    foldLineFrom(out, from, context);
    if (!tx().RRULE.isEmpty()) {
        from = out.size();
        out += QStringView(u"RRULE:");
        out += tx().RRULE;
        foldLineFrom(out, from, context);
    }
    writerParts::appendDateLists(out, *this, context.localId, kCrLf);
    const QString& status = ex(X::status);
    if (!status.isEmpty() && status != QLatin1String("STATUS:")) {
        from = out.size();
        if (!status.startsWith(QLatin1String("STATUS:")))
            out += QStringView(u"STATUS:");
        out += status;
        foldLineFrom(out, from, context);
    }
    if (!ex(X::alarm).isEmpty()) {
        // The stored texts carry their own line ends; one that lost it must not swallow END:VALARM.
        out += QStringView(u"BEGIN:VALARM\r\n");
        // Read alarms keep their lines unfolded; a long one is folded here.
        for (const QString* text : {&ex(X::alarm), &ex(X::ALARMID)}) {
            for (const QStringView line : QStringView(*text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const QStringView bare = line.endsWith(QLatin1Char('\r')) ? line.chopped(1) : line;
                if (!bare.isEmpty())
                    appendFoldedLine(out, bare, context);
            }
        }
        out += QStringView(u"END:VALARM\r\n");
    }
    const QString& location = ex(X::location);
    if (!location.isEmpty() && location != QLatin1String("LOCATION:")) {
        from = out.size();
        out += QStringView(u"LOCATION:");
        appendEscapedBreaks(out, valueOfProperty(location, QLatin1String("LOCATION:")));
        foldLineFrom(out, from, context);
    }
    if (const QString& url = ex(X::URL); !url.isEmpty()) {
        from = out.size();
        out += QStringView(u"URL;VALUE=URI:");
        out += url;
        foldLineFrom(out, from, context);
    }
    const std::pair<QStringView, const QString*> plain[] = {
        {QStringView(u"X-WR-ITIPSTATUSML:"), &ex(X::ITIPSTATUSML)},
        {QStringView(u"CLASS:"), &ex(X::theClass)},
        {QStringView(u"CREATED:"), &ex(X::theCreated)},
        {QStringView(u"PRIORITY:"), &ex(X::thePriority)},
        {QStringView(u"CATEGORIES:"), &ex(X::theCategories)},
        {QStringView(u"TRANSP:"), &ex(X::transp)},
        {QStringView(u"LAST-MODIFIED:"), &ex(X::lastModified)},
    };
    for (const auto& [name, value] : plain) {
        if (!value->isEmpty()) {
            // Values read from a file can be of any length.
            from = out.size();
            out += name;
            out += *value;
            foldLineFrom(out, from, context);
        }
    }
    for (const QString& attendee : attendees())
        appendFoldedLine(out, attendee, context);
    if (const QString& organizer = ex(X::ORGANIZER); !organizer.isEmpty())
        appendFoldedLine(out, organizer, context);
    writerParts::appendRecurrenceId(out, *this, context.localId, kCrLf);
    out += QStringView(u"END:VEVENT\r\n");
    writerParts::stripControlCharacters(out, blockStart);
}

QString dataEntry::getVCalDTEND() const
{
    QString out;
    const WriteContext context = WriteContext::current();
    if (appendVcalEnd(out, startDate, startTime, endDate, endTime, !tx().RRULE.isEmpty(), context) == VcalEnd::FromDuration)
        return QStringLiteral("DTEND:");
    return out;
}

QString dataEntry::getVCal()
{
    QString out;
    const QString message = appendVCal(out, WriteContext::current());
    return message.isEmpty() ? out : message;
}

QString dataEntry::appendVCal(QString& out, const WriteContext& context, const QString* given)
{
    if (!notBlankLine())
        return {};
    const qsizetype blockStart = out.size();
    const CalDate fullStart = combine(startDate, startTime, context);
    out += QStringView(u"BEGIN:VEVENT\r\n");
    if (!tx().theSummary.isEmpty())
        appendVcalText(out, u"SUMMARY", tx().theSummary);
    if (!tx().DESCRIPTION.isEmpty())
        appendVcalText(out, u"DESCRIPTION", decodedInto(context.text, tx().DESCRIPTION));
    const QString& location = ex(X::location);
    if (!location.isEmpty() && location != QLatin1String("LOCATION:"))
        appendVcalText(out, u"LOCATION", valueOfProperty(location, QLatin1String("LOCATION:")));
    if (tx().UID.isEmpty())
        setNewUID();
    out += QStringView(u"UID:");
    out += tx().UID;
    out += kCrLf;
    if (fullStart) {
        out += QStringView(u"DTSTART:");
        appendVcalUtc(out, fullStart);
        out += kCrLf;
    }
    if (appendVcalEnd(out, startDate, startTime, endDate, endTime, !tx().RRULE.isEmpty(), context) == VcalEnd::FromDuration
        && fullStart)
        out += vcalDurationEnd(getDURATION(), fullStart);
    // The instants of exception dates: the day at the entry's start time.
    auto appendAt = [&](const CalDate& day, const CalDate& time) {
        appendVcalUtc(out,
                      CalDate::fromFields(day.year(), day.month(), day.day(), time ? time.hour() : 0,
                                          time ? time.minute() : 0, time ? time.second() : 0, context.local));
    };
    if (!tx().RRULE.isEmpty()) {
        const QString rule = given ? *given : rruleVcal();
        if (!rule.startsWith(QLatin1String("RRULE:"))) {
            out.truncate(blockStart);
            return rule;
        }
        out += rule;
        // vCalendar has no RECURRENCE-ID: an occurrence that an override replaces is an exception
        // date of the series, and the override an event of its own (the file writer adds it).
        // One value per line: libical's vCalendar reader, for one, reads no list.
        for (const CalDate& x : tx().theCalEXDATE) {
            if (x.isNull())
                continue;
            out += QStringView(u"EXDATE:");
            appendAt(x, startTime);
            out += kCrLf;
        }
        for (const EntryPtr& o : lx().theRecObjectsArray) {
            if (!o || o->getTheRecDate().isNull())
                continue;
            out += QStringView(u"EXDATE:");
            appendAt(o->getTheRecDate(), o->getTheRecTime() ? o->getTheRecTime() : startTime);
            out += kCrLf;
        }
    }
    for (const CalDate& r : lx().theCalRDATE) {
        if (r.isNull())
            continue;
        out += QStringView(u"RDATE:");
        appendAt(r, startTime ? r : CalDate());
        out += kCrLf;
    }
    out += QStringView(u"END:VEVENT\r\n");
    writerParts::stripControlCharacters(out, blockStart);
    return {};
}

void writerParts::stripControlCharacters(QString& out, qsizetype from)
{
    auto forbidden = [](char16_t c) { return (c < 0x20 && c != u'\t' && c != u'\r' && c != u'\n') || c == 0x7F; };
    const char16_t* data = reinterpret_cast<const char16_t*>(out.constData());
    const qsizetype n = out.size();
    qsizetype i = from;
    // Nearly every block has none: look at 32 units at a time, without a branch per unit.
    while (i + 32 <= n) {
        unsigned found = 0;
        for (int k = 0; k < 32; ++k) {
            const char16_t c = data[i + k];
            found |= unsigned(c < 0x20) & unsigned(c != u'\t') & unsigned(c != u'\r') & unsigned(c != u'\n');
            found |= unsigned(c == 0x7F);
        }
        if (found)
            break;
        i += 32;
    }
    while (i < n && !forbidden(data[i]))
        ++i;
    if (i == n)
        return;
    char16_t* p = reinterpret_cast<char16_t*>(out.data());
    qsizetype kept = i;
    for (; i < out.size(); ++i) {
        if (!forbidden(p[i]))
            p[kept++] = p[i];
    }
    out.truncate(kept);
}

void writerParts::appendEscapedText(QString& out, QStringView text)
{
    appendEscapedBreaks(out, text);
}

void writerParts::appendDateLists(QString& out, const dataEntry& entry, const QString& localId, QStringView lineEnd)
{
    const CalDate& startTime = entry.getStartTime();
    for (const CalDate& x : entry.getTheEXDATE()) {
        if (!x)
            continue;
        // The form of the start: a date for an all-day entry (a date-time would match none of its
        // occurrences), else the day at the start time.
        if (startTime) {
            out += QStringView(u"EXDATE;TZID=");
            out += localId;
            out += QLatin1Char(':');
            appendDate(out, x);
            out += QLatin1Char('T');
            appendClock(out, startTime);
        } else {
            out += QStringView(u"EXDATE;VALUE=DATE:");
            appendDate(out, x);
        }
        out += lineEnd;
    }
    for (const CalDate& r : entry.getTheRDATE()) {
        if (!r)
            continue;
        if (startTime) {
            out += QStringView(u"RDATE;TZID=");
            out += localId;
            out += QLatin1Char(':');
            appendDate(out, r);
            out += QLatin1Char('T');
            appendClock(out, r);
        } else {
            out += QStringView(u"RDATE;VALUE=DATE:");
            appendDate(out, r);
        }
        out += lineEnd;
    }
}

void writerParts::appendRecurrenceId(QString& out, const dataEntry& entry, const QString& localId, QStringView lineEnd)
{
    if (!entry.getTheRecDate())
        return;
    if (entry.getTheRecTime()) {
        out += QStringView(u"RECURRENCE-ID;TZID=");
        out += localId;
        out += QLatin1Char(':');
        appendDate(out, entry.getTheRecDate());
        out += QLatin1Char('T');
        appendClock(out, entry.getTheRecTime());
    } else {
        out += QStringView(u"RECURRENCE-ID;VALUE=DATE:");
        appendDate(out, entry.getTheRecDate());
    }
    out += lineEnd;
}
