// Calendar envelopes around the entries' blocks: iCalendar 2.0 and vCalendar 1.0 files.

#include "calendar/aCalendar.h"
#include "formats/writeContext.h"
#include "platform/Uuid.h"

#include <QSet>

namespace
{
// A file name becomes a TEXT value: no line breaks (they would start new properties), no other
// control characters (a file name may hold them; peers drop the line), and the characters TEXT
// reserves escaped.
QString textValue(QString text)
{
    writerParts::stripControlCharacters(text, 0);
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char(';'), QLatin1String("\\;"));
    text.replace(QLatin1Char(','), QLatin1String("\\,"));
    return text;
}
} // namespace

QString aCalendar::createICalString(const EntryList& entries, const QString* calName) const
{
    const dataEntry::WriteContext context = dataEntry::WriteContext::current();
    // Peers read X-WR-TIMEZONE as a zone identifier, so it names the zone, not an abbreviation.
    QString out = QStringLiteral("BEGIN:VCALENDAR\r\nCALSCALE:GREGORIAN\r\nX-WR-TIMEZONE;VALUE=TEXT:%1\r\n"
                                 "PRODID:-//Quenlor\\, //Quenlor//EN\r\n")
                      .arg(context.localId);
    if (calName) {
        const QString file = calName->mid(calName->lastIndexOf(QLatin1Char('/')) + 1);
        const QString name = file.left(file.indexOf(QLatin1Char('.')));
        out += dataEntry::the72Split(QStringLiteral("X-WR-CALNAME;VALUE=TEXT:") + textValue(name))
            + QStringLiteral("\r\n");
    }
    out += QStringLiteral("X-WR-RELCALID;VALUE=TEXT:%1\r\n").arg(Uuid::create());
    out += QStringLiteral("VERSION:2.0\r\n");

    // Each override follows its parent, once, even when it is listed twice or among the entries.
    QSet<const dataEntry*> written;
    written.reserve(entries.size());
    for (const EntryPtr& entry : entries) {
        if (!entry || written.contains(entry.get()))
            continue;
        written.insert(entry.get());
        entry->appendICal(out, context);
        for (const EntryPtr& child : entry->getTheReoccDateArray()) {
            if (!child || written.contains(child.get()))
                continue;
            written.insert(child.get());
            child->appendICal(out, context);
        }
    }
    out += QStringLiteral("END:VCALENDAR\r\n");
    return out;
}

QString aCalendar::createVCalString() const
{
    return createVCalStringWithData(getTheData());
}

QString aCalendar::createVCalStringWithData(const EntryList& entries) const
{
    const dataEntry::WriteContext context = dataEntry::WriteContext::current();
    QString tz = CalDate::now(context.local).offsetText();
    if (tz.size() > 3 && tz.endsWith(QLatin1String("00")))
        tz.chop(2);
    QString out = QStringLiteral("BEGIN:VCALENDAR\r\nPRODID:PalmDesktop Generated\r\nTZ:%1\r\nVERSION:1.0\r\n").arg(tz);
    QString message;
    // vCalendar has no RECURRENCE-ID: each override follows its parent (once) as an event of its
    // own, and the parent names the occurrence it replaces as an exception date.
    QSet<const dataEntry*> written;
    for (const EntryPtr& entry : entries) {
        if (!entry || written.contains(entry.get()))
            continue;
        written.insert(entry.get());
        // A blank entry adds nothing; an untranslatable rule adds nothing and returns its message.
        const QString problem = entry->appendVCal(out, context);
        if (!problem.isEmpty()) {
            message = problem;
            continue;
        }
        for (const EntryPtr& child : entry->getTheReoccDateArray()) {
            if (!child || written.contains(child.get()))
                continue;
            written.insert(child.get());
            const QString childProblem = child->appendVCal(out, context);
            if (!childProblem.isEmpty())
                message = childProblem;
        }
    }
    out += QStringLiteral("END:VCALENDAR\r\n");
    return message.isEmpty() ? out : message;
}
