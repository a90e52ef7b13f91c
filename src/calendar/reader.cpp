// Reading iCalendar 2.0 and vCalendar 1.0 texts into the document: one pass over the lines,
// events become entries, overrides are linked to their parents, and what had to be dropped is
// reported through the document's problem flags.
//
// The reader works on views into the caller's text: lines are never copied unless they are
// folded, and only the values an entry keeps are turned into strings.

#include "calendar/aCalendar.h"
#include "calendar/fileZone.h"

#include "platform/ContentLines.h"
#include "platform/Encoding.h"
#include "platform/Memory.h"
#include "platform/Parallel.h"

#include <QByteArrayView>
#include <QHash>
#include <QStringView>
#include <QVarLengthArray>

#include <atomic>
#include <cstddef>
#include <limits>
#include <optional>

namespace
{
using namespace ContentLines;

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// The TZID parameter of a property, wherever it stands among the parameters.
QStringView tzidOf(QStringView name)
{
    QStringView tzid;
    forEachParameter(name, [&tzid](const Parameter& p) {
        if (tzid.isNull() && p.name.compare(QLatin1String("TZID"), Qt::CaseInsensitive) == 0)
            tzid = unquoted(p.value).trimmed();
    });
    return tzid;
}

// Parameters that only say how a text is written; a SUMMARY, DESCRIPTION or LOCATION carrying
// Parameters that only say how a text is written, or that a reader may ignore (an alternative
// representation, the value type, experimental ones); a SUMMARY, DESCRIPTION or LOCATION carrying
// nothing else keeps its text.
struct TextEncoding
{
    bool accepted = true;
    bool quotedPrintable = false;
    QStringView charset;
};

TextEncoding textEncodingOf(QStringView name)
{
    TextEncoding result;
    forEachParameter(name, [&result](const Parameter& p) {
        if (p.name.compare(QLatin1String("LANGUAGE"), Qt::CaseInsensitive) == 0
            || p.name.compare(QLatin1String("ALTREP"), Qt::CaseInsensitive) == 0
            || p.name.compare(QLatin1String("VALUE"), Qt::CaseInsensitive) == 0
            || p.name.startsWith(QLatin1String("X-"), Qt::CaseInsensitive)) {
            return;
        } else if (p.name.compare(QLatin1String("CHARSET"), Qt::CaseInsensitive) == 0) {
            result.charset = unquoted(p.value);
        } else if (p.name.compare(QLatin1String("ENCODING"), Qt::CaseInsensitive) == 0
                   && p.value.compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0) {
            result.quotedPrintable = true;
        } else if (p.value.isNull() && p.name.compare(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive) == 0) {
            result.quotedPrintable = true;
        } else {
            result.accepted = false;
        }
    });
    return result;
}

/// How the file's bytes became text: a value that names its character set is read again from its
/// own bytes when the whole file had to be read in a single-byte encoding.
struct SourceEncoding
{
    bool singleByte = false;
    Encoding::Fallback encoding = Encoding::Fallback::MacRoman;
};

QString decodeText(QStringView value, const TextEncoding& encoding, const SourceEncoding& source)
{
    if (!encoding.quotedPrintable) {
        if (source.singleByte && !encoding.charset.isEmpty()) {
            bool ascii = true;
            for (QChar c : value)
                ascii = ascii && c.unicode() < 0x80;
            if (!ascii)
                return unescapeText(
                    decodeCharset(Encoding::encodeSingleByte(value.toString(), source.encoding), encoding.charset));
        }
        return unescapeText(value);
    }
    // Encoded line breaks are CR LF; the entry holds LF alone.
    QString text = decodeCharset(decodeQuotedPrintableBytes(value.toUtf8()), encoding.charset);
    if (text.contains(QLatin1Char('\r'))) {
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.remove(QLatin1Char('\r'));
    }
    return unescapeText(text);
}

// Calendar fields of a compact date or date-time value (YYYYMMDD or YYYYMMDDTHHMM[SS]...). Null when
// the value holds no valid date; a time that is not complete and valid is not read either.
struct DateFields
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool hasTime = false;
    bool utc = false;
};

int digitsAt(QStringView v, qsizetype pos, int count)
{
    int value = 0;
    for (int k = 0; k < count; ++k)
        value = value * 10 + (v.at(pos + k).unicode() - '0');
    return value;
}

bool allDigits(QStringView v, qsizetype pos, int count)
{
    if (pos + count > v.size())
        return false;
    for (int k = 0; k < count; ++k) {
        if (!isDigit(v.at(pos + k)))
            return false;
    }
    return true;
}

std::optional<DateFields> dateFields(QStringView v)
{
    if (!allDigits(v, 0, 8))
        return std::nullopt;
    DateFields f;
    f.year = digitsAt(v, 0, 4);
    f.month = digitsAt(v, 4, 2);
    f.day = digitsAt(v, 6, 2);
    if (f.year < 1 || f.month < 1 || f.month > 12 || f.day < 1 || f.day > QDate(f.year, f.month, 1).daysInMonth())
        return std::nullopt;
    if (v.size() >= 13 && allDigits(v, 9, 4)) {
        const int hour = digitsAt(v, 9, 2);
        const int minute = digitsAt(v, 11, 2);
        if (hour <= 23 && minute <= 59) {
            f.hour = hour;
            f.minute = minute;
            f.hasTime = true;
            if (allDigits(v, 13, 2) && digitsAt(v, 13, 2) <= 59)
                f.second = digitsAt(v, 13, 2);
        }
    }
    f.utc = f.hasTime && v.endsWith(QLatin1Char('Z'));
    return f;
}

// A duration value (RFC 5545: [+-]P nW, or [+-]P nD T nH nM nS with any part left out).
struct Duration
{
    int sign = 1;
    qint64 days = 0; // weeks included
    qint64 seconds = 0;
    bool hasTime = false;
};

std::optional<Duration> parseDuration(QStringView v)
{
    Duration d;
    qsizetype i = 0;
    if (i < v.size() && (v.at(i) == QLatin1Char('+') || v.at(i) == QLatin1Char('-'))) {
        d.sign = v.at(i) == QLatin1Char('-') ? -1 : 1;
        ++i;
    }
    if (i >= v.size() || v.at(i) != QLatin1Char('P'))
        return std::nullopt;
    ++i;
    bool inTime = false;
    bool any = false;
    while (i < v.size()) {
        if (v.at(i) == QLatin1Char('T') && !inTime) {
            inTime = true;
            d.hasTime = true;
            ++i;
            continue;
        }
        qint64 n = 0;
        const qsizetype digitsFrom = i;
        while (i < v.size() && isDigit(v.at(i))) {
            if (n < 100000000)
                n = n * 10 + (v.at(i).unicode() - '0');
            ++i;
        }
        if (i == digitsFrom || i >= v.size())
            return std::nullopt;
        const char16_t unit = v.at(i).unicode();
        ++i;
        if (!inTime && unit == u'W')
            d.days += 7 * n;
        else if (!inTime && unit == u'D')
            d.days += n;
        else if (inTime && unit == u'H')
            d.seconds += 3600 * n;
        else if (inTime && unit == u'M')
            d.seconds += 60 * n;
        else if (inTime && unit == u'S')
            d.seconds += n;
        else
            return std::nullopt;
        any = true;
    }
    if (!any)
        return std::nullopt;
    // Keep absurd values within what date arithmetic handles.
    d.days = std::clamp<qint64>(d.days, 0, 3660000);
    d.seconds = std::clamp<qint64>(d.seconds, 0, qint64(3660000) * 86400);
    return d;
}

QString withoutBreaksAndSpaces(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r') && c != QLatin1Char(' '))
            out += c;
    }
    return out;
}

QStringView valueAfterColon(QStringView line, qsizetype colon)
{
    return colon < 0 ? QStringView() : line.mid(colon + 1);
}

// Where the value of a well-formed content line begins (the colon after NAME and its
// ";param=value" parts, values quoted whole or free of quotes), or -1. Lines the reader copies as
// they stand into what it writes must be well formed: peers drop or misread the rest.
qsizetype valueColon(QStringView line)
{
    auto nameChar = [](QChar c) { return (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-'); };
    qsizetype i = 0;
    while (i < line.size() && nameChar(line.at(i)))
        ++i;
    if (i == 0)
        return -1;
    while (i < line.size() && line.at(i) == QLatin1Char(';')) {
        const qsizetype nameFrom = ++i;
        while (i < line.size() && nameChar(line.at(i)))
            ++i;
        if (i == nameFrom || i >= line.size() || line.at(i) != QLatin1Char('='))
            return -1;
        do {
            ++i; // past '=' or ','
            if (i < line.size() && line.at(i) == QLatin1Char('"')) {
                const qsizetype close = line.indexOf(QLatin1Char('"'), i + 1);
                if (close < 0)
                    return -1;
                i = close + 1;
            } else {
                while (i < line.size() && line.at(i) != QLatin1Char(';') && line.at(i) != QLatin1Char(':')
                       && line.at(i) != QLatin1Char(',')) {
                    if (line.at(i) == QLatin1Char('"'))
                        return -1;
                    ++i;
                }
            }
        } while (i < line.size() && line.at(i) == QLatin1Char(','));
    }
    return i < line.size() && line.at(i) == QLatin1Char(':') ? i : -1;
}

// An ATTENDEE or ORGANIZER line is copied whole into what we write: only a well-formed one with
// an address after the colon is kept. A line cut in the middle of a quoted name would make every
// later line of the event part of that name for a peer.
bool wholeAddressLine(QStringView line, qsizetype colon)
{
    if (colon < 0)
        return false;
    const qsizetype at = valueColon(line);
    return at >= 0 && !line.mid(at + 1).trimmed().isEmpty();
}
} // namespace

/// One read of a calendar text into a document (aCalendar::setData).
class calendarReader
{
public:
    calendarReader(aCalendar& cal, QStringView text, const SourceEncoding& source)
        : m_cal(cal)
        , m_lines(text)
        , m_source(source)
        , m_local(Zones::local())
    {
        const CalDate now = CalDate::now(m_local);
        m_nowAbbreviation = now.format(QStringLiteral("%Z"));
        m_localId = Zones::idOf(m_local);
    }

    QString read();
    /// A large UTF-8 file read in pieces on all cores; false (and nothing read) where it cannot be.
    /// @p releasable: the bytes are the caller's alone and not read after, so that pieces read
    /// for good give back their pages.
    static bool readUtf8InPieces(aCalendar& cal, const QByteArray& bytes, const SourceEncoding& source,
                                 QString* message, bool releasable);

private:
    // What a read found that it could not keep whole; the document's problem flags.
    struct Flags
    {
        bool todo = false, event = false, error = false, desc = false;
    };
    struct Piece;

    /// A reader for the events of one piece of a file, starting in @p main's state after its
    /// header and zones: @p text begins with an event, on line @p firstLine of the file.
    calendarReader(const calendarReader& main, QStringView text, int firstLine)
        : m_cal(main.m_cal)
        , m_lines(text, firstLine)
        , m_source(main.m_source)
        , m_local(main.m_local)
        , m_nowAbbreviation(main.m_nowAbbreviation)
        , m_localId(main.m_localId)
        , m_version(main.m_version)
        , m_lastProperty(main.m_lastProperty)
        , m_appZone(main.m_appZone)
        , m_zones(main.m_zones)
        , m_fileZones(main.m_fileZones)
        , m_scannedAhead(main.m_scannedAhead)
        , m_unknownZoneLimit(std::numeric_limits<qsizetype>::max())
    {
    }

    void begin();
    void readComponents();
    QString end();
    void readPiece(Piece& piece, QStringView text) const;
    void take(Piece& piece);
    // Where the wall-clock reading of a value belongs.
    struct ValueZone
    {
        QString tzid; // the property's own TZID, if any
        bool utc = false;
    };

    struct PendingEvent
    {
        QString start, end, duration, rule, recurrence;
        ValueZone startZone, endZone, recurrenceZone;
        QList<std::pair<QString, QString>> exceptions; // value, TZID
        QList<std::pair<QString, QString>> extraDates; // RDATE value, TZID
        bool hasEnd = false, hasDuration = false, isOverride = false;
        int line = 0;
    };

    // A zone name as the reader resolved it: a zone of the database, the file's own VTIMEZONE
    // rules, or the user's zone (the name is the user's zone, or nothing knows it).
    struct ResolvedZone
    {
        QTimeZone zone;
        std::shared_ptr<const FileZoneRules> rules; // shared: later zones of the file do not move it
        bool local = false;
        bool unknown = false;
    };

    enum class Property { None, Description, Other };

    void readHeader();
    void readEvent(int line);
    void handleProperty(QStringView line, dataEntry& entry, PendingEvent& pending);
    void readAlarm(dataEntry& entry);
    void readTimezone(LineCursor& lines);
    void skipComponent(QStringView beginLine, bool stopAtEvent);
    void finishEvent(const EntryPtr& entry, PendingEvent& pending);
    void linkOverrides();
    void noteZoneDifference(const dataEntry& entry, const PendingEvent& p);
    QStringList notes() const;

    CalDate localDate(const DateFields& f) const
    {
        return CalDate::fromFields(f.year, f.month, f.day, f.hour, f.minute, f.second, m_local);
    }
    CalDate localDay(int year, int month, int day) const
    {
        return CalDate::fromFields(year, month, day, 0, 0, 0, m_local);
    }
    CalDate adjusted(const DateFields& f, const ValueZone& zone);
    CalDate inNamedZone(const DateFields& f, const QString& name);
    const ResolvedZone& resolve(const QString& name);
    /// The zone a value without TZID and without "Z" belongs to: the last DTSTART's TZID, else the
    /// calendar's X-WR-TIMEZONE; empty for neither.
    const QString& fileZone()
    {
        return !appZone().isEmpty() ? appZone() : m_cal.controlZoneString;
    }

    // A piece read ahead of the one before it starts from a guess of the last start's zone and of
    // the property before its first line; it is right if it never read either before setting it,
    // or if the guess was what the piece before left.
    const QString& appZone()
    {
        m_appZoneReadFirst |= !m_appZoneSet;
        return m_appZone;
    }
    void setAppZone(const QString& tzid)
    {
        m_appZone = tzid;
        m_appZoneSet = true;
    }
    Property lastProperty()
    {
        m_lastPropertyReadFirst |= !m_lastPropertySet;
        return m_lastProperty;
    }
    void setLastProperty(Property p)
    {
        m_lastProperty = p;
        m_lastPropertySet = true;
    }

    // Values that many events repeat (zone names, status, categories, alarms, attendees) share
    // one string: a large calendar then holds each of them once.
    QString intern(QStringView value)
    {
        if (value.isEmpty())
            return QString();
        if (value.size() > 256)
            return value.toString();
        auto it = m_interned.constFind(value);
        if (it != m_interned.constEnd())
            return *it;
        QString copy = value.toString();
        if (m_interned.size() < 4096)
            m_interned.insert(QStringView(copy), copy); // the key views the value's own characters
        return copy;
    }
    QString intern(const QString& value)
    {
        if (value.isEmpty() || value.size() > 256)
            return value;
        auto it = m_interned.constFind(QStringView(value));
        if (it != m_interned.constEnd())
            return *it;
        if (m_interned.size() < 4096)
            m_interned.insert(QStringView(value), value);
        return value;
    }

    aCalendar& m_cal;
    LineCursor m_lines;
    SourceEncoding m_source;
    QHash<QStringView, QString> m_interned;
    QString m_buffer;
    QTimeZone m_local;
    QString m_nowAbbreviation;
    QString m_localId;
    int m_version = 0;
    Property m_lastProperty = Property::None;
    bool m_lastPropertySet = false, m_lastPropertyReadFirst = false;
    QString m_appZone; // the last DTSTART's TZID
    bool m_appZoneSet = false, m_appZoneReadFirst = false;
    qsizetype m_firstOverride = 0;
    Flags m_flags;
    EntryList m_data, m_recObjects; // what this read adds to the document, in file order
    // Zones of this file.
    QHash<QString, ResolvedZone> m_zones;
    QHash<QString, std::shared_ptr<const FileZoneRules>> m_fileZones;
    bool m_scannedAhead = false;
    QStringList m_unknownZones;
    qsizetype m_unknownZoneLimit = 20;
    // Repeating entries whose zone changes its offset on other dates than the user's: zone name,
    // then "summary (line n)".
    QList<std::pair<QString, QString>> m_shiftedRepeats;
};

const calendarReader::ResolvedZone& calendarReader::resolve(const QString& name)
{
    auto it = m_zones.constFind(name);
    if (it != m_zones.constEnd())
        return *it;
    ResolvedZone r;
    if (name == m_nowAbbreviation || name == m_localId) {
        r.local = true;
    } else if (Zones::isKnown(name)) {
        r.zone = Zones::byName(name);
        r.local = r.zone == m_local;
    } else {
        if (!m_fileZones.contains(name) && !m_scannedAhead) {
            // The file defines its zones later than it uses them: read every VTIMEZONE ahead.
            m_scannedAhead = true;
            LineCursor ahead(m_lines.rest());
            while (!ahead.atEnd()) {
                if (startsWith(ahead.next(), "BEGIN:VTIMEZONE"))
                    readTimezone(ahead);
            }
        }
        const auto rules = m_fileZones.constFind(name);
        if (rules != m_fileZones.constEnd()) {
            r.rules = *rules;
        } else {
            r.local = true;
            r.unknown = true;
            if (m_unknownZones.size() < m_unknownZoneLimit)
                m_unknownZones.append(name);
        }
    }
    return *m_zones.insert(name, r);
}

CalDate calendarReader::inNamedZone(const DateFields& f, const QString& name)
{
    const ResolvedZone& r = resolve(name);
    if (r.local)
        return localDate(f);
    if (r.rules) {
        const qint64 wall
            = CalDate::fromFields(f.year, f.month, f.day, f.hour, f.minute, f.second, Zones::utc()).secsSinceEpoch();
        return CalDate::fromSecsSinceEpoch(r.rules->instantForWall(wall), m_local);
    }
    return CalDate::fromFields(f.year, f.month, f.day, f.hour, f.minute, f.second, r.zone).inZone(m_local);
}

CalDate calendarReader::adjusted(const DateFields& f, const ValueZone& zone)
{
    // A time in UTC is one instant whatever the file's zone says. vCalendar files (a TZ line, no
    // zone name) hold UTC times too; each is shown at the offset the user's zone has on its date.
    const bool vCalendarTimes
        = !m_cal.controlHoursFromGMT.isEmpty() && appZone().isEmpty() && m_cal.controlZoneString.isEmpty();
    if (zone.utc || (zone.tzid.isEmpty() && vCalendarTimes))
        return CalDate::fromFields(f.year, f.month, f.day, f.hour, f.minute, f.second, Zones::utc()).inZone(m_local);
    if (!zone.tzid.isEmpty())
        return inNamedZone(f, zone.tzid);
    if (!fileZone().isEmpty())
        return inNamedZone(f, fileZone());
    return localDate(f);
}

QString calendarReader::read()
{
    begin();
    readHeader();
    readComponents();
    return end();
}

void calendarReader::begin()
{
    // What the last read found goes; the entries stay.
    m_cal.todoBool = m_cal.eventBool = m_cal.errorBool = m_cal.descBool = false;
    m_cal.appTimeZone.clear();
    m_cal.controlHoursFromGMT.clear();
    m_cal.controlZoneString.clear();
    m_cal.readNotes.clear();
    // A document holding only the untouched entry it starts with loses it.
    if (m_cal.theData.size() == 1 && m_cal.theData.first()->getCheck() == QLatin1String("X"))
        m_cal.theData.clear();
    m_firstOverride = m_cal.theRecObjects.size();
}

void calendarReader::readComponents()
{
    while (!m_lines.atEnd()) {
        const QStringView line = m_lines.peek();
        if (startsWith(line, "BEGIN:VEVENT")) {
            const int number = m_lines.lineNumber();
            m_lines.next();
            readEvent(number);
        } else if (startsWith(line, "BEGIN:VTODO")) {
            m_flags.todo = true;
            skipComponent(m_lines.next(), true);
        } else if (startsWith(line, "BEGIN:VTIMEZONE")) {
            m_lines.next();
            readTimezone(m_lines);
        } else if (startsWith(line, "BEGIN:VCALENDAR")) {
            // Several calendars pasted together: each has its own header.
            readHeader();
        } else if (startsWith(line, "BEGIN:")) {
            m_flags.error = true;
            skipComponent(m_lines.next(), true);
        } else {
            // END:VCALENDAR and stray lines between components hold nothing to read.
            const QStringView stray = m_lines.next();
            if (!startsWith(stray, "END:VCALENDAR") && !stray.trimmed().isEmpty())
                m_flags.error = true;
        }
    }
}

QString calendarReader::end()
{
    m_cal.todoBool |= m_flags.todo;
    m_cal.eventBool |= m_flags.event;
    m_cal.errorBool |= m_flags.error;
    m_cal.descBool |= m_flags.desc;
    m_cal.appTimeZone = m_appZone;
    m_cal.theData.append(std::move(m_data));
    m_cal.theRecObjects.append(std::move(m_recObjects));
    if (!m_cal.theRecObjects.isEmpty())
        linkOverrides();
    m_cal.readNotes = notes();
    return m_cal.problemMessage();
}

namespace
{
thread_local aCalendar::ReadShape t_lastRead;
} // namespace

aCalendar::ReadShape aCalendar::lastReadShape()
{
    return t_lastRead;
}

/// One piece of a file read in pieces: its bytes, and what reading them found.
struct calendarReader::Piece
{
    qsizetype from = 0, to = 0;
    int firstLine = 1;
    bool read = false;
    // The state the piece was read from, and whether what it read depended on it.
    QString startZone;
    Property startProperty = Property::None;
    bool zoneReadFirst = false, propertyReadFirst = false;
    // The state it leaves for the next piece, where it set it.
    bool zoneSet = false, propertySet = false;
    QString endZone;
    Property endProperty = Property::None;
    Flags flags;
    EntryList data, recObjects;
    QStringList unknownZones;
    QList<std::pair<QString, QString>> shiftedRepeats;
};

void calendarReader::readPiece(Piece& piece, QStringView text) const
{
    calendarReader r(*this, text, piece.firstLine);
    r.readComponents();
    piece.read = true;
    piece.startZone = m_appZone;
    piece.startProperty = m_lastProperty;
    piece.zoneReadFirst = r.m_appZoneReadFirst;
    piece.propertyReadFirst = r.m_lastPropertyReadFirst;
    piece.zoneSet = r.m_appZoneSet;
    piece.propertySet = r.m_lastPropertySet;
    piece.endZone = r.m_appZone;
    piece.endProperty = r.m_lastProperty;
    piece.flags = r.m_flags;
    piece.data = std::move(r.m_data);
    piece.recObjects = std::move(r.m_recObjects);
    piece.unknownZones = std::move(r.m_unknownZones);
    piece.shiftedRepeats = std::move(r.m_shiftedRepeats);
}

void calendarReader::take(Piece& piece)
{
    m_data.append(std::move(piece.data));
    m_recObjects.append(std::move(piece.recObjects));
    m_flags.todo |= piece.flags.todo;
    m_flags.event |= piece.flags.event;
    m_flags.error |= piece.flags.error;
    m_flags.desc |= piece.flags.desc;
    // Each zone is named once, in the order the file first uses it.
    for (const QString& name : std::as_const(piece.unknownZones)) {
        if (m_unknownZones.size() < m_unknownZoneLimit && !m_unknownZones.contains(name))
            m_unknownZones.append(name);
    }
    for (auto& shifted : piece.shiftedRepeats) {
        if (m_shiftedRepeats.size() >= 1000)
            break;
        m_shiftedRepeats.append(std::move(shifted));
    }
    if (piece.zoneSet)
        m_appZone = piece.endZone;
    if (piece.propertySet)
        m_lastProperty = piece.endProperty;
}

bool calendarReader::readUtf8InPieces(aCalendar& cal, const QByteArray& bytes, const SourceEncoding& source,
                                      QString* message, bool releasable)
{
    // Pieces of a megabyte or more: enough for all cores, and few enough that a piece read from a
    // wrong guess (see appZone()) costs little to read again.
    const qsizetype pieceBytes = Parallel::pieceSize(qsizetype(1) << 20);
    const qsizetype n = bytes.size();
    const char* d = bytes.constData();
    if (n < 2 * pieceBytes || bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE")
        || bytes.startsWith("\xFE\xFF"))
        return false;
    const QByteArrayView all(bytes);
    // The start of the first event at or after @p from that begins a line, else n.
    auto eventAt = [&](qsizetype from) {
        for (qsizetype at = all.indexOf("BEGIN:VEVENT", from); at >= 0; at = all.indexOf("BEGIN:VEVENT", at + 1)) {
            if (at == 0 || d[at - 1] == '\n' || d[at - 1] == '\r')
                return at;
        }
        return n;
    };
    // Pieces begin with an event. Whatever a reader is in the midst of, a line that begins an
    // event ends it, so that every piece is read from the same point of the reader's loop.
    QList<Piece> pieces;
    for (qsizetype at = eventAt(0); at < n; at = eventAt(at + pieceBytes)) {
        if (!pieces.isEmpty())
            pieces.last().to = at;
        pieces.append(Piece {});
        pieces.last().from = at;
        pieces.last().to = n;
    }
    if (pieces.size() < 2)
        return false;

    // Line numbers, and what only a reading in file order can do: a zone defined, or a second
    // calendar header, after the first event (they change what later events mean).
    const qsizetype leading = pieces.first().from;
    QList<qsizetype> lineEnds(pieces.size() + 1, 0);
    std::atomic<bool> inOrderOnly {false};
    // Bytes given back cannot be read again: a file that is not UTF-8 is found before any is,
    // since the whole file is then read another way.
    std::atomic<bool> notUtf8 {false};
    auto countLineEnds = [&](qsizetype from, qsizetype to) {
        // CR LF, LF and a lone CR each end one line. Without branches, the compiler counts many
        // bytes at a time.
        const auto* b = reinterpret_cast<const uchar*>(d);
        const qsizetype last = std::min(to, n - 1);
        qsizetype count = 0;
        for (qsizetype i = from; i < last; ++i)
            count += (b[i] == '\n') | ((b[i] == '\r') & (b[i + 1] != '\n'));
        if (to == n && n > from)
            count += b[n - 1] == '\n' || b[n - 1] == '\r';
        return count;
    };
    Parallel::runJobs(int(pieces.size()) + 1, [&](int job, int) {
        if (job == 0) {
            lineEnds[0] = countLineEnds(0, leading);
            return;
        }
        const Piece& piece = pieces.at(job - 1);
        const QByteArrayView text = all.sliced(piece.from, piece.to - piece.from);
        if (text.indexOf("BEGIN:VTIMEZONE") >= 0 || text.indexOf("BEGIN:VCALENDAR") >= 0)
            inOrderOnly = true;
        else if (releasable && !Encoding::isValidUtf8Piece(text.data(), text.size()))
            notUtf8 = true;
        else
            lineEnds[job] = countLineEnds(piece.from, piece.to);
    });
    if (inOrderOnly || notUtf8)
        return false;
    QString head(leading, Qt::Uninitialized);
    const qsizetype headUnits = Encoding::decodeUtf8Piece(d, leading, reinterpret_cast<char16_t*>(head.data()));
    if (headUnits < 0)
        return false;
    head.truncate(headUnits);
    qsizetype line = 1 + lineEnds[0];
    for (qsizetype k = 0; k < pieces.size(); ++k) {
        pieces[k].firstLine = int(std::min<qsizetype>(line, std::numeric_limits<int>::max()));
        line += lineEnds[k + 1];
    }

    calendarReader reader(cal, head, source);
    reader.begin();
    reader.readHeader();
    reader.readComponents();

    // The pieces at once, each from the state the header leaves, on buffers kept per thread.
    // A piece that read nothing of that state is read for good: its bytes may go.
    std::atomic<qsizetype> released {0};
    QList<QString> buffers(Parallel::threadsFor(int(pieces.size())));
    auto readAt = [&](Piece& piece, QString& buffer) {
        const qsizetype size = piece.to - piece.from;
        if (buffer.size() < size)
            buffer.resize(size);
        char16_t* out = reinterpret_cast<char16_t*>(buffer.data());
        const qsizetype units = Encoding::decodeUtf8Piece(d + piece.from, size, out);
        if (units < 0) {
            notUtf8 = true;
            return;
        }
        reader.readPiece(piece, QStringView(out, units));
    };
    Parallel::runJobs(int(pieces.size()), [&](int job, int worker) {
        if (notUtf8)
            return;
        Piece& piece = pieces[job];
        readAt(piece, buffers[worker]);
        if (releasable && !notUtf8 && !piece.zoneReadFirst && !piece.propertyReadFirst) {
            Memory::releasePages(const_cast<char*>(d) + piece.from, piece.to - piece.from);
            released += piece.to - piece.from;
        }
    });
    if (notUtf8)
        return false; // the caller reads the whole text again from the start (only when no bytes went)
    // Joined in file order; a piece that depended on a state other than the one the piece before
    // left is read again from that state.
    t_lastRead = {int(pieces.size()), 0, released};
    for (Piece& piece : pieces) {
        if ((piece.zoneReadFirst && piece.startZone != reader.m_appZone)
            || (piece.propertyReadFirst && piece.startProperty != reader.m_lastProperty)) {
            ++t_lastRead.readAgain;
            Piece again;
            again.from = piece.from;
            again.to = piece.to;
            again.firstLine = piece.firstLine;
            piece = std::move(again);
            readAt(piece, buffers.first());
        }
        reader.take(piece);
    }
    *message = reader.end();
    return true;
}

QStringList calendarReader::notes() const
{
    QStringList out;
    const QString mine = m_localId;
    for (const QString& name : m_unknownZones)
        out << QStringLiteral("The time zone \"%1\" is not known; its times were read as times of your own zone (%2).")
                   .arg(name, mine);
    // One note per zone, naming a few of its entries.
    QStringList zones;
    for (const auto& [zone, entry] : m_shiftedRepeats) {
        if (!zones.contains(zone))
            zones << zone;
    }
    for (const QString& zone : std::as_const(zones)) {
        QStringList entries;
        for (const auto& [z, entry] : m_shiftedRepeats) {
            if (z == zone)
                entries << entry;
        }
        const qsizetype total = entries.size();
        if (total > 10) {
            entries = entries.mid(0, 10);
            entries << QStringLiteral("and %1 more").arg(total - 10);
        }
        out << QStringLiteral("Repeating entries written in the time zone %1 keep the clock time of your zone (%2) "
                              "from one occurrence to the next; the two zones change to or from daylight-saving "
                              "time on different dates, so around those dates some occurrences are an hour off the "
                              "file's times: %3.")
                   .arg(zone, mine, entries.join(QStringLiteral(", ")));
    }
    return out;
}

void calendarReader::linkOverrides()
{
    // The document's addRecObjectsToData, with an index of the overrides' UIDs only: the entry
    // list is walked once and no key text is made per entry, which keeps a large read from
    // needing a second copy of every UID at its end. As there, every entry gets a UID, every
    // entry with an override's UID lists that override once, and the last such entry becomes
    // its parent.
    QHash<QStringView, QList<EntryPtr>> overridesByUid;
    for (const EntryPtr& o : std::as_const(m_cal.theRecObjects)) {
        o->getUID();
        overridesByUid[QStringView(o->getUIDValue())].append(o);
    }
    bool linkedKeptOne = false;
    for (const EntryPtr& e : std::as_const(m_cal.theData)) {
        if (e->getUIDValue().isEmpty())
            e->setNewUID();
        if (e->getTheRecDate())
            continue; // an override kept as an entry of its own (below) is nobody's parent
        const auto it = overridesByUid.constFind(QStringView(e->getUIDValue()));
        if (it == overridesByUid.constEnd())
            continue;
        for (const EntryPtr& o : *it) {
            if (!o->getParentDataEntry())
                linkedKeptOne = true;
            o->setParentDataEntry(e);
            if (!e->getTheReoccDateArray().contains(o))
                e->addRecObjectArray(o);
        }
    }
    // An override kept as an entry by an earlier read has found its parent: it leaves the list.
    if (linkedKeptOne) {
        m_cal.theData.removeIf([](const EntryPtr& e) { return e->getTheRecDate() && e->getParentDataEntry(); });
    }
    // An override whose parent is not in the calendar (a server's export of one changed
    // occurrence) is an entry of its own; it keeps its RECURRENCE-ID.
    for (qsizetype i = m_firstOverride; i < m_cal.theRecObjects.size(); ++i) {
        const EntryPtr& o = m_cal.theRecObjects.at(i);
        if (!o->getParentDataEntry())
            m_cal.theData.append(o);
    }
}

void calendarReader::readHeader()
{
    // From BEGIN:VCALENDAR up to the first component.
    while (!m_lines.atEnd()) {
        const QStringView peeked = m_lines.peek();
        if (startsWith(peeked, "BEGIN:V") && !startsWith(peeked, "BEGIN:VCALENDAR"))
            return;
        const QStringView line = readPropertyLine(m_lines, m_buffer);
        const QStringView value = valueAfterColon(line, line.indexOf(QLatin1Char(':')));
        if (startsWith(line, "X-WR-TIMEZONE;VALUE=TEXT:")) {
            m_cal.controlZoneString = value.trimmed().toString();
        } else if (startsWith(line, "TZ:")) {
            QString hours = value.trimmed().toString();
            // A vCalendar offset of whole hours (+01) is written with its minutes (+0100).
            if (hours.size() <= 4)
                hours += QLatin1String("00");
            m_cal.controlHoursFromGMT = hours;
        } else if (startsWith(line, "VERSION:")) {
            int version = 0;
            for (qsizetype i = 0; i < value.size() && isDigit(value.at(i)) && version < 100000; ++i)
                version = version * 10 + (value.at(i).unicode() - '0');
            m_version = version;
        }
    }
}

void calendarReader::readTimezone(LineCursor& lines)
{
    // The component's lines, unfolded, up to its END (or the next event, for one left open).
    QStringList text;
    QString buffer;
    while (!lines.atEnd()) {
        const QStringView peeked = lines.peek();
        if (startsWith(peeked, "BEGIN:VEVENT") || startsWith(peeked, "BEGIN:VCALENDAR")
            || startsWith(peeked, "END:VCALENDAR"))
            break;
        const QStringView line = readPropertyLine(lines, buffer);
        if (startsWith(line, "END:VTIMEZONE"))
            break;
        if (text.size() < 10000)
            text.append(line.toString());
    }
    QList<QStringView> views;
    views.reserve(text.size());
    for (const QString& line : std::as_const(text))
        views.append(line);
    QString tzid;
    FileZoneRules rules = FileZoneRules::fromLines(views, &tzid);
    tzid = unescapeText(unquoted(QStringView(tzid)).trimmed());
    if (!tzid.isEmpty() && !rules.isEmpty() && !m_fileZones.contains(tzid) && m_fileZones.size() < 1000) {
        m_fileZones.insert(tzid, std::make_shared<const FileZoneRules>(std::move(rules)));
        m_zones.remove(tzid);
    }
}

void calendarReader::skipComponent(QStringView beginLine, bool stopAtEvent)
{
    // Up to the END line of the same name, nested components included. A component left open
    // ends before the next event so that the event is still read.
    const QStringView name = beginLine.mid(6).trimmed();
    int depth = 0;
    while (!m_lines.atEnd()) {
        const QStringView line = m_lines.peek();
        if (stopAtEvent
            && (startsWith(line, "BEGIN:VEVENT") || startsWith(line, "BEGIN:VCALENDAR")
                || startsWith(line, "END:VCALENDAR")))
            return;
        if (!stopAtEvent && (startsWith(line, "BEGIN:VEVENT") || startsWith(line, "END:VEVENT")))
            return;
        m_lines.next();
        if (startsWith(line, "BEGIN:") && line.mid(6).trimmed() == name) {
            ++depth;
        } else if (startsWith(line, "END:") && line.mid(4).trimmed() == name) {
            if (depth == 0)
                return;
            --depth;
        }
    }
}

void calendarReader::readAlarm(dataEntry& entry)
{
    // The alarm's inner lines, unfolded, each ended by CR LF (the writer folds them again).
    // Written back, the block must be whole: an alarm left open, or one whose inner components do
    // not close, is dropped (and reported) rather than copied into an unbalanced block; a line
    // that is not a well-formed property is dropped (and reported) alone.
    QString body;
    // The inner components still open, by name: each END must close the last one opened.
    QStringList open;
    bool mismatched = false;
    bool closed = false;
    while (!m_lines.atEnd()) {
        const QStringView peeked = m_lines.peek();
        if (startsWith(peeked, "BEGIN:VEVENT") || startsWith(peeked, "END:VEVENT")
            || startsWith(peeked, "END:VCALENDAR") || startsWith(peeked, "BEGIN:VCALENDAR"))
            break;
        if (startsWith(peeked, "END:VALARM") && open.isEmpty()) {
            m_lines.next();
            closed = true;
            break;
        }
        const QStringView line = readPropertyLine(m_lines, m_buffer);
        if (startsWith(line, "BEGIN:")) {
            open.append(line.mid(6).trimmed().toString());
        } else if (startsWith(line, "END:")) {
            if (open.isEmpty())
                break;
            if (line.mid(4).trimmed().compare(open.last(), Qt::CaseInsensitive) != 0)
                mismatched = true;
            open.removeLast();
        }
        if (valueColon(line) < 0) {
            m_flags.event = true;
            continue;
        }
        body += line;
        body += QLatin1String("\r\n");
    }
    if (!closed || !open.isEmpty() || mismatched) {
        m_flags.event = true;
        return;
    }
    entry.setAlarm(intern(body));
}

void calendarReader::readEvent(int line)
{
    const EntryPtr entry = dataEntry::create();
    // What files mean by an end equal to the start, or by no end at all.
    entry->setAllowsNoDuration(true);
    PendingEvent pending;
    pending.line = line;
    while (!m_lines.atEnd()) {
        const QStringView peeked = m_lines.peek();
        const char16_t first = peeked.at(0).unicode();
        if (first == u'E' && startsWith(peeked, "END:VEVENT")) {
            m_lines.next();
            break;
        }
        // An event left open ends where the next one (or the calendar) begins or ends.
        if ((first == u'B' || first == u'E')
            && (startsWith(peeked, "BEGIN:VEVENT") || startsWith(peeked, "BEGIN:VCALENDAR")
                || startsWith(peeked, "END:VCALENDAR")))
            break;
        handleProperty(readPropertyLine(m_lines, m_buffer), *entry, pending);
    }
    finishEvent(entry, pending);
}

void calendarReader::handleProperty(QStringView line, dataEntry& entry, PendingEvent& pending)
{
    const qsizetype colon = nameEnd(line);
    const QStringView name = colon < 0 ? line : line.left(colon);
    const QStringView value = valueAfterColon(line, colon);
    if (name.isEmpty()) {
        m_flags.event = true;
        return;
    }
    Property handled = Property::Other;

    // Property names are told apart by their first letter first: no two names the reader knows
    // share a prefix, so the order of the tests within a letter does not matter.
    switch (name.at(0).unicode()) {
    case u'S':
        if (startsWith(name, "SUMMARY")) {
            if (equals(name, "SUMMARY") || (equals(name, "SUMMARY;CHARSET=macintosh") && !m_source.singleByte)) {
                entry.setSummary(intern(unescapeText(value)));
            } else {
                const TextEncoding encoding = textEncodingOf(name);
                if (!encoding.accepted || name.at(7) != QLatin1Char(';'))
                    break;
                entry.setSummary(intern(decodeText(value, encoding, m_source)));
            }
            setLastProperty(handled);
            return;
        }
        if (equals(name, "STATUS")) {
            entry.setStatus(intern(value));
            return;
        }
        if (startsWith(name, "SEQUENCE")) {
            // The entry keeps its own sequence.
            setLastProperty(handled);
            return;
        }
        break;
    case u'U':
        if (equals(name, "URL;VALUE=URI") || equals(name, "URL")) {
            entry.setURL(value.toString());
            setLastProperty(handled);
            return;
        }
        if (startsWith(name, "UID")) {
            entry.setImportedUID(value.toString());
            setLastProperty(handled);
            return;
        }
        break;
    case u'L':
        if (startsWith(name, "LOCATION")) {
            const TextEncoding encoding = textEncodingOf(name);
            if (!encoding.accepted || (name.size() > 8 && name.at(8) != QLatin1Char(';')))
                break;
            // A location is one line: an escaped line break becomes a space.
            QString text = decodeText(value, encoding, m_source);
            if (text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
                text.remove(QLatin1Char('\r'));
                text.replace(QLatin1Char('\n'), QLatin1Char(' '));
            }
            entry.setLocation(intern(text));
            setLastProperty(handled);
            return;
        }
        if (startsWith(name, "LAST-MODIFIED")) {
            entry.setLastModified(value.toString());
            setLastProperty(handled);
            return;
        }
        break;
    case u'B':
        if (equals(name, "BEGIN")) {
            if (value.startsWith(QLatin1String("VALARM")))
                readAlarm(entry);
            else if (!value.trimmed().isEmpty())
                skipComponent(line, false);
            return;
        }
        break;
    case u'D':
        if (startsWith(name, "DESCRIPTION")) {
            const TextEncoding encoding = textEncodingOf(name);
            if (!encoding.accepted || (name.size() > 11 && name.at(11) != QLatin1Char(';'))) {
                m_flags.desc = true;
                return;
            }
            entry.setDESCRIPTION(decodeText(value, encoding, m_source));
            setLastProperty(Property::Description);
            return;
        }
        if (startsWith(name, "DTSTART")) {
            const QString tzid = intern(tzidOf(name));
            if (!tzid.isEmpty()) {
                setAppZone(tzid);
                entry.setFullZoneString(tzid);
            } else if (name.size() == 7) {
                entry.setHoursFromGMT(m_cal.controlHoursFromGMT);
            } else {
                entry.setFullZoneString(m_cal.controlZoneString);
            }
            pending.start = withoutBreaksAndSpaces(value);
            pending.startZone = {tzid, pending.start.endsWith(QLatin1Char('Z'))};
            return;
        }
        if (startsWith(name, "DTEND")) {
            pending.end = withoutBreaksAndSpaces(value);
            pending.endZone = {intern(tzidOf(name)), pending.end.endsWith(QLatin1Char('Z'))};
            pending.hasEnd = !pending.end.isEmpty();
            setLastProperty(handled);
            return;
        }
        if (startsWith(name, "DURATION")) {
            pending.duration = value.trimmed().toString();
            pending.hasDuration = !pending.duration.isEmpty();
            setLastProperty(handled);
            return;
        }
        if (startsWith(name, "DTSTAMP")) {
            // The entry keeps its own creation stamp.
            setLastProperty(handled);
            return;
        }
        if (startsWith(name, "DALARM")) {
            // vCalendar: run time;snooze time;repeat count;display text. A run time that is no
            // date-time (a cut line) would make an invalid TRIGGER: the alarm is dropped.
            const QList<QStringView> parts = value.split(QLatin1Char(';'));
            const QStringView runTime = parts.value(0).trimmed();
            const std::optional<DateFields> run = dateFields(runTime);
            if (!run || !run->hasTime || runTime.size() > 16) {
                m_flags.event = true;
                return;
            }
            const QString text = parts.size() >= 4 && !parts.at(3).trimmed().isEmpty()
                ? unescapeText(value.mid(parts.at(3).data() - value.data()))
                : entry.getSummary();
            entry.setAlarm(intern(QStringLiteral("TRIGGER;VALUE=DATE-TIME:") + parts.value(0).trimmed().toString()
                                  + QStringLiteral("\r\nDESCRIPTION:") + text + QStringLiteral("\r\n")));
            setLastProperty(handled);
            return;
        }
        break;
    case u'R':
        if (startsWith(name, "RRULE")) {
            pending.rule = value.trimmed().toString();
            setLastProperty(handled);
            return;
        }
        if (startsWith(name, "RDATE")) {
            pending.extraDates.append({value.toString(), intern(tzidOf(name))});
            setLastProperty(handled);
            return;
        }
        if (startsWith(name, "RECURRENCE")) {
            pending.recurrence = withoutBreaksAndSpaces(value);
            pending.recurrenceZone = {intern(tzidOf(name)), pending.recurrence.endsWith(QLatin1Char('Z'))};
            pending.isOverride = true;
            return;
        }
        break;
    case u'E':
        if (startsWith(name, "EXDATE")) {
            pending.exceptions.append({value.toString(), intern(tzidOf(name))});
            setLastProperty(handled);
            return;
        }
        break;
    case u' ':
    case u'\t':
        // A continuation that no property took: it belongs to the description before it.
        if (lastProperty() != Property::Description)
            break;
        entry.setDESCRIPTION(entry.getShortDESCRIPTION() + unescapeText(line));
        return;
    case u'C':
        if (startsWith(name, "CLASS")) {
            entry.setClass(intern(value));
            setLastProperty(handled);
            return;
        }
        if (startsWith(name, "CREATED")) {
            entry.setCreated(value.toString());
            setLastProperty(handled);
            return;
        }
        if (startsWith(name, "CATEGORIES")) {
            entry.setCategories(intern(value));
            setLastProperty(handled);
            return;
        }
        break;
    case u'T':
        if (startsWith(name, "TRANSP")) {
            entry.setTransp(intern(value));
            setLastProperty(handled);
            return;
        }
        break;
    case u'X':
        if (startsWith(name, "X-WR-ITIPSTATUSML")) {
            entry.setITIPSTATUSML(intern(value));
            setLastProperty(handled);
            return;
        }
        break;
    case u'O':
        if (startsWith(name, "ORGANIZER")) {
            if (!wholeAddressLine(line, colon))
                break;
            entry.setORGANIZER(intern(line));
            setLastProperty(handled);
            return;
        }
        break;
    case u'A':
        if (startsWith(name, "ATTENDEE")) {
            if (!wholeAddressLine(line, colon))
                break;
            entry.setATTENDEE(intern(line));
            setLastProperty(handled);
            return;
        }
        break;
    case u'P':
        if (startsWith(name, "PRIORITY")) {
            entry.setPriority(intern(value));
            setLastProperty(handled);
            return;
        }
        break;
    default:
        break;
    }
    // A property the reader does not use (or cannot use with these parameters) is dropped.
    m_flags.event = true;
}

void calendarReader::finishEvent(const EntryPtr& entry, PendingEvent& p)
{
    const std::optional<DateFields> start = dateFields(p.start);
    CalDate startDateTime; // the start as the file gives it, in the user's zone
    CalDate startDay; // unshifted start day, base of an all-day duration
    if (start) {
        if (start->hasTime) {
            startDateTime = adjusted(*start, p.startZone);
            entry->setStartTime(startDateTime);
            entry->setStartDate(startDateTime);
        } else {
            startDay = localDay(start->year, start->month, start->day);
            entry->setStartDate(startDay);
        }
    }

    if (p.hasEnd) {
        const std::optional<DateFields> end = dateFields(p.end);
        if (!end) {
            entry->setEndDate(CalDate());
        } else if (!end->hasTime) {
            // The last day is inclusive: one before the exclusive end. Days are not shifted
            // between zones, or a day entry would end before it starts for users west of it.
            // An end equal to the start is what its producer meant as one day.
            const bool sameDay = start && !start->hasTime && start->year == end->year && start->month == end->month
                && start->day == end->day;
            entry->setEndDate(sameDay ? startDay : localDay(end->year, end->month, end->day - 1));
        } else {
            const CalDate at = adjusted(*end, p.endZone);
            entry->setEndDate(at);
            entry->setEndTime(at);
        }
    } else if (p.hasDuration && start) {
        const std::optional<Duration> d = parseDuration(p.duration);
        if (d && startDateTime) {
            // Days are nominal, counted on the file's wall clock; hours, minutes and seconds are
            // exact time (RFC 5545), also across a daylight-saving change.
            DateFields base = *start;
            const QDate day = QDate(base.year, base.month, base.day).addDays(d->sign * d->days);
            if (day.isValid()) {
                base.year = day.year();
                base.month = day.month();
                base.day = day.day();
                const CalDate at = adjusted(base, p.startZone).addSeconds(d->sign * d->seconds);
                entry->setEndDate(at);
                entry->setEndTime(at);
            }
        } else if (d && startDay) {
            if (d->hasTime) {
                // A day entry measured in hours: the end keeps the clock time it reaches.
                const CalDate at = startDay.addSeconds(d->sign * (d->days * 86400 + d->seconds));
                entry->setEndDate(at);
                entry->setEndTime(at);
            } else {
                // P1D ends on the start day itself.
                entry->setEndDate(startDay.addDays(int(d->sign * d->days) - 1));
            }
        }
    } else if (startDateTime) {
        // A start time without an end: an event at that time without duration (RFC 5545).
        entry->setEndDate(startDateTime);
        entry->setEndTime(startDateTime);
    }

    if (!p.rule.isEmpty()) {
        QString rule = p.rule;
        if (m_version == 1)
            rule = m_cal.vCalRRULEtoiCalRRULE(rule);
        if (rule.isEmpty() || rule == QLatin1String("Error")) {
            // A rule that cannot be translated is dropped and reported; the entry stays.
            m_flags.event = true;
        } else {
            entry->setRRULE(rule);
            entry->setTheRepeater(true);
            if (startDateTime)
                noteZoneDifference(*entry, p);
        }
    }

    if (!p.extraDates.isEmpty()) {
        // Extra occurrences: dates, date-times or periods (whose start is taken), separated by
        // commas (iCalendar) or semicolons (vCalendar).
        QList<CalDate> extra;
        for (const auto& [value, tzid] : std::as_const(p.extraDates)) {
            for (QStringView piece : QStringView(value).split(QLatin1Char(','))) {
                for (QStringView part : piece.split(QLatin1Char(';'))) {
                    const qsizetype slash = part.indexOf(QLatin1Char('/'));
                    const QStringView text = (slash < 0 ? part : part.left(slash)).trimmed();
                    const std::optional<DateFields> f = dateFields(text);
                    if (!f || extra.size() >= 100000)
                        continue;
                    extra.append(f->hasTime ? adjusted(*f, {tzid, f->utc}) : localDay(f->year, f->month, f->day));
                }
            }
        }
        entry->copyTheRDATE(extra);
    }
    entry->setSourceLine(p.line);

    QVarLengthArray<CalDate, 8> exceptions;
    for (const auto& [value, tzid] : std::as_const(p.exceptions)) {
        // Several dates may share one value, separated by commas (iCalendar), semicolons
        // (vCalendar) or spaces.
        qsizetype i = 0;
        while (i < value.size()) {
            while (i < value.size()
                   && (value.at(i) == QLatin1Char(',') || value.at(i) == QLatin1Char(';') || value.at(i).isSpace()))
                ++i;
            qsizetype j = i;
            while (j < value.size() && value.at(j) != QLatin1Char(',') && value.at(j) != QLatin1Char(';')
                   && !value.at(j).isSpace())
                ++j;
            const QStringView piece = QStringView(value).mid(i, j - i);
            i = j;
            if (piece.size() == 8) {
                if (const auto f = dateFields(piece))
                    exceptions.append(localDay(f->year, f->month, f->day));
            } else if (piece.size() >= 13) {
                const auto f = dateFields(piece);
                if (f && f->hasTime)
                    exceptions.append(adjusted(*f, {tzid, f->utc}));
            }
        }
    }

    if (!exceptions.isEmpty()) {
        // Held at its exact size: a large calendar keeps many short lists.
        QList<CalDate> list;
        list.reserve(exceptions.size());
        for (const CalDate& d : exceptions)
            list.append(d);
        entry->copyTheEXDATE(list);
    }

    if (p.isOverride) {
        if (const auto r = dateFields(p.recurrence)) {
            if (r->hasTime) {
                const CalDate at = adjusted(*r, p.recurrenceZone);
                entry->setRecTime(at);
                entry->setRecDate(at);
            } else {
                entry->setRecDate(localDay(r->year, r->month, r->day));
            }
        }
        m_recObjects.append(entry);
    } else {
        m_data.append(entry);
    }
}

void calendarReader::noteZoneDifference(const dataEntry& entry, const PendingEvent& p)
{
    // Which zone the file's times belong to; vCalendar times are written in UTC by organisers
    // that repeat on their own clock, so they are not listed.
    if (!m_cal.controlHoursFromGMT.isEmpty() && fileZone().isEmpty())
        return;
    QString name;
    ResolvedZone utc;
    const ResolvedZone* zone = nullptr;
    if (p.startZone.utc) {
        utc.zone = Zones::utc();
        zone = &utc;
        name = QStringLiteral("UTC");
    } else {
        name = !p.startZone.tzid.isEmpty() ? p.startZone.tzid : fileZone();
        if (name.isEmpty())
            return;
        zone = &resolve(name);
    }
    if (zone->local || zone->unknown)
        return;
    auto offsetAt = [zone](qint64 at) {
        return zone->rules ? zone->rules->offsetAt(at) : CalDate::fromSecsSinceEpoch(at, zone->zone).offsetFromUtc();
    };
    // The difference between the two clocks over the rule's first year (or its whole span when shorter).
    const qint64 from = entry.getFullStartTime().secsSinceEpoch();
    const int difference = offsetAt(from) - CalDate::fromSecsSinceEpoch(from, m_local).offsetFromUtc();
    for (qint64 day = 15; day <= 366; day += 15) {
        const qint64 at = from + day * 86400;
        if (offsetAt(at) - CalDate::fromSecsSinceEpoch(at, m_local).offsetFromUtc() != difference) {
            const QString summary = entry.getSummary().isEmpty() ? QStringLiteral("(no summary)") : entry.getSummary();
            if (m_shiftedRepeats.size() < 1000)
                m_shiftedRepeats.append({name, QStringLiteral("\"%1\" (line %2)").arg(summary.left(80)).arg(p.line)});
            return;
        }
    }
}

QString aCalendar::setData(const QString& text)
{
    return readText(text, false, Encoding::Fallback::MacRoman);
}

QString aCalendar::readText(const QString& text, bool singleByte, Encoding::Fallback encoding)
{
    t_lastRead = {};
    calendarReader reader(*this, text, {singleByte, encoding});
    return withNotes(reader.read());
}

QString aCalendar::withNotes(QString message) const
{
    for (const QString& note : std::as_const(readNotes))
        message += (message.isEmpty() ? QString() : QStringLiteral("\n\n")) + note;
    return message;
}

QString aCalendar::setDataFromBytes(const QByteArray& bytes, Encoding::Fallback fallback)
{
    // A large UTF-8 file is read in pieces on all cores, each decoded only while it is read; the
    // result is the one the whole text gives.
    QString message;
    if (calendarReader::readUtf8InPieces(*this, bytes, {false, fallback}, &message, false))
        return withNotes(message);
    return setDecodedData(Encoding::decodeCalendar(bytes, fallback));
}

QString aCalendar::setDataFromBytes(QByteArray&& bytes, Encoding::Fallback fallback)
{
    QByteArray taken = std::move(bytes);
    QString message;
    // Shared bytes are read as the caller's own: another holder still reads them.
    if (calendarReader::readUtf8InPieces(*this, taken, {false, fallback}, &message, taken.isDetached()))
        return withNotes(message);
    return setDecodedData(Encoding::decodeCalendar(taken, fallback));
}

QString aCalendar::setDecodedData(Encoding::CalendarText decoded)
{
    const QString message = readText(decoded.text, decoded.singleByte, decoded.singleByteEncoding);
    if (decoded.replacedBytes == 0)
        return message;
    const QString note = QStringLiteral("The file is UTF-8 but for %1 byte(s) that are not; each was replaced by "
                                        "the character \uFFFD.")
                             .arg(decoded.replacedBytes);
    readNotes.append(note);
    return message.isEmpty() ? note : message + QStringLiteral("\n\n") + note;
}

QString aCalendar::processQuotedPrintablePart(const QByteArray& bytes)
{
    return decodeCharset(decodeQuotedPrintableBytes(bytes), {});
}
