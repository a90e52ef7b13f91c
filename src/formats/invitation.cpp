// Invitation blocks: the mailed METHOD:REQUEST calendar and the block appended to a calendar of
// the calendar application.

#include "addressbook/invitee.h"
#include "calendar/aCalendar.h"
#include "calendar/dataEntry.h"
#include "formats/writeContext.h"

#include <QSet>

namespace
{
// Names and addresses come from the address book and may hold anything. A line break would end
// the property early and a double quote would end a quoted parameter value, so both go.
QString oneLine(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

QString cnValue(const QString& name)
{
    QString value = oneLine(name);
    value.remove(QLatin1Char('"'));
    return value;
}

// A bare parameter value cannot hold ":", ";" or ","; such a name is quoted.
QString bareOrQuotedCn(const QString& name)
{
    const QString value = cnValue(name);
    if (value.contains(QLatin1Char(':')) || value.contains(QLatin1Char(';')) || value.contains(QLatin1Char(',')))
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

QString locationLine(const dataEntry& entry)
{
    QString location = entry.getLocation();
    if (location.startsWith(QLatin1String("LOCATION:")))
        location = location.mid(9);
    QString out = QStringLiteral("LOCATION:");
    writerParts::appendEscapedText(out, location);
    return out;
}

QString endLine(const dataEntry& entry)
{
    const QString end = entry.getICalDTEND();
    return end == QLatin1String("DTEND;") ? entry.getDURATION() : end;
}
} // namespace

QString dataEntry::getICal(const QList<invitee>& invitees, const QString& theOrg, const QString& theEmail)
{
    if (!notBlankLine())
        return {};
    QString out;
    auto line = [&out](const QString& text) { out += text + QLatin1Char('\n'); };
    line(QStringLiteral("BEGIN:VEVENT"));
    line(QStringLiteral("SEQUENCE:2"));
    for (const invitee& person : invitees) {
        line(the72SplitWithN(QStringLiteral("ATTENDEE;CN=") + bareOrQuotedCn(person.getTheRealName())
                             + QStringLiteral(":mailto:") + oneLine(person.getTheInviteeEmailAddress())));
    }
    line(the72SplitWithN(getDTSTAMP()));
    if (!tx().theSummary.isEmpty())
        line(the72SplitWithN(getSUMMARY()));
    line(the72SplitWithN(getUID()));
    line(the72SplitWithN(QStringLiteral("ORGANIZER;CN=") + bareOrQuotedCn(theOrg) + QStringLiteral(":mailto:")
                         + oneLine(theEmail)));
    if (!DTSTART.isEmpty())
        line(the72SplitWithN(getDTSTART()));
    if (!tx().DESCRIPTION.isEmpty())
        line(the72SplitWithN(getDESCRIPTION()));
    line(the72SplitWithN(endLine(*this)));
    if (!tx().RRULE.isEmpty())
        line(the72SplitWithN(getRRULE()));
    // Invitees see the cancelled occurrences and the room too.
    writerParts::appendDateLists(out, *this, Zones::idOf(Zones::local()), u"\n");
    if (!getLOCATION().isEmpty())
        line(the72SplitWithN(locationLine(*this)));
    writerParts::appendRecurrenceId(out, *this, Zones::idOf(Zones::local()), u"\n");
    line(QStringLiteral("END:VEVENT"));
    writerParts::stripControlCharacters(out, 0);
    return out;
}

QString dataEntry::getICalForICal(const QList<invitee>& invitees, const QString& theOrg, const QString& theEmail)
{
    Q_UNUSED(theOrg);
    Q_UNUSED(theEmail);
    if (!notBlankLine())
        return {};
    QString out;
    // The calendar application's files end lines with CR LF, folded lines included.
    auto line = [&out](const QString& text) { out += text + QStringLiteral("\r\n"); };
    line(QStringLiteral("BEGIN:VEVENT"));
    line(QStringLiteral("SEQUENCE:3"));
    for (const invitee& person : invitees) {
        line(the72Split(QStringLiteral("ATTENDEE;CN=\"") + cnValue(person.getTheRealName())
                        + QStringLiteral("\":mailto:") + oneLine(person.getTheInviteeEmailAddress())));
    }
    line(the72Split(getDTSTAMP()));
    if (!tx().theSummary.isEmpty())
        line(the72Split(getSUMMARY()));
    line(the72Split(getUID()));
    if (!DTSTART.isEmpty())
        line(the72Split(getDTSTART()));
    if (!tx().DESCRIPTION.isEmpty())
        line(the72Split(getDESCRIPTION()));
    line(the72Split(endLine(*this)));
    if (!tx().RRULE.isEmpty())
        line(the72Split(getRRULE()));
    writerParts::appendDateLists(out, *this, Zones::idOf(Zones::local()), u"\r\n");
    if (!getLOCATION().isEmpty())
        line(the72Split(locationLine(*this)));
    line(QStringLiteral("X-WR-ITIPSTATUSML;VALUE=TEXT:UNCLEAN"));
    line(QStringLiteral("END:VEVENT"));
    writerParts::stripControlCharacters(out, 0);
    return out;
}

QString aCalendar::createInvitationString(const EntryList& entries, const QList<invitee>& invitees,
                                          const QString& theOrg, const QString& theEmail) const
{
    // RFC 5546 readers refuse a calendar without VERSION and PRODID.
    QString out = QStringLiteral("BEGIN:VCALENDAR\nMETHOD:REQUEST\nVERSION:2.0\nPRODID:-//Quenlor\\, //Quenlor//EN\n");
    // Each override follows its parent once, with its RECURRENCE-ID.
    QSet<const dataEntry*> written;
    for (const EntryPtr& entry : entries) {
        if (!entry || written.contains(entry.get()))
            continue;
        written.insert(entry.get());
        out += entry->getICal(invitees, theOrg, theEmail);
        for (const EntryPtr& child : entry->getTheReoccDateArray()) {
            if (child && !written.contains(child.get())) {
                written.insert(child.get());
                out += child->getICal(invitees, theOrg, theEmail);
            }
        }
    }
    out += QStringLiteral("END:VCALENDAR");
    return out;
}
