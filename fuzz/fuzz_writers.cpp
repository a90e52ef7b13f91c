// Every writer over what the reader made of the input: iCalendar, vCalendar, comma and tab lists,
// the readable list, the mailed invitation, the invitation blocks appended to the calendar
// application's file and the resources put on a CalDAV server. Whatever was read, each output
// must stay well formed (wellFormed.h); a problem aborts with the output's name and the line.
//
// Input: a calendar file, optionally followed by "\n--\n" and lines of its own: the calendar's
// name, the organiser and two invitees as "Name <address>". Without them the invitees' names and
// addresses come from the first entry's texts. The last byte chooses the list options.
#include "addressbook/invitee.h"
#include "bridges/bridges.h"
#include "bridges/caldavCalendars.h"
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"
#include "wellFormed.h"

#include <cstdio>
#include <cstdlib>

namespace
{
void check(const char* what, const QString& problem, const QString& text)
{
    if (problem.isEmpty())
        return;
    std::fprintf(stderr, "%s is not well formed: %s\n--- output ---\n%s\n--- end ---\n", what,
                 problem.toUtf8().constData(), text.left(4000).toUtf8().constData());
    std::abort();
}

struct Person
{
    QString name;
    QString address;
};

Person person(const QString& line)
{
    const qsizetype open = line.lastIndexOf(QLatin1Char('<'));
    if (open < 0)
        return {QString(), line};
    return {line.left(open).trimmed(), line.mid(open + 1).chopped(line.endsWith(QLatin1Char('>')) ? 1 : 0)};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const uint8_t options = size > 0 ? data[size - 1] : 0;

    QStringList extra;
    const qsizetype marker = bytes.indexOf("\n--\n");
    if (marker >= 0) {
        extra = QString::fromUtf8(bytes.mid(marker + 4)).split(QLatin1Char('\n'));
        bytes.truncate(marker + 1);
    }

    aCalendar& doc = fuzz::freshDocument();
    doc.setDataFromBytes(bytes, Encoding::Fallback::MacRoman);
    doc.dataCheck();
    const EntryList& entries = doc.getTheData();

    const EntryPtr first = entries.value(0);
    const QString calName = extra.size() > 0 ? extra.at(0) : first ? first->getSummary() : QString();
    const Person org = extra.size() > 1 ? person(extra.at(1))
                                        : Person {first ? first->getLocation() : QString(), QStringLiteral("o@x")};
    QList<invitee> invitees;
    for (int i = 0; i < 2; ++i) {
        const Person p = extra.size() > 2 + i ? person(extra.at(2 + i))
            : first ? Person {i ? first->getLocation() : first->getSummary(), first->getShortDESCRIPTION()}
                    : Person {};
        invitee one;
        one.setTheRealName(p.name);
        one.setInviteeName(p.name);
        one.setInviteeEmailAddress(p.address);
        invitees << one;
    }

    const QString ics = doc.createICalString(entries, &calName);
    check("iCalendar", wellFormed::iCalendarProblem(ics), ics);
    const QString vcs = doc.createVCalString();
    check("vCalendar", wellFormed::vCalendarProblem(vcs.toUtf8()), vcs);

    static const QStringList allColumns {"startTime", "startDate", "endTime", "endDate", "theSummary"};
    QStringList columns;
    for (int i = 0; i < allColumns.size(); ++i) {
        if (!(options & (1 << i)))
            columns << allColumns.at(i);
    }
    aCalendar::ListOptions listOptions;
    listOptions.heading = options & 0x20;
    listOptions.sortByStart = !(options & 0x40);
    const EntryList listed = (options & 0x80) ? doc.getTheFullExpandedRepeats() : entries;
    const QString csv = doc.theCommaOut(listed, columns, listOptions);
    check("comma list", wellFormed::delimitedProblem(csv, QLatin1Char(',')), csv);
    const QString tab = doc.theTabOut(listed, columns, listOptions);
    check("tab list", wellFormed::delimitedProblem(tab, QLatin1Char('\t')), tab);
    const QString text = doc.textOutput();
    check("readable list", wellFormed::textProblem(text), text);

    const QString invitation = doc.createInvitationString(entries, invitees, org.name, org.address);
    check("invitation", wellFormed::iCalendarProblem(invitation, "\n"), invitation);

    // The blocks the invite command appends to a calendar of the calendar application.
    QString blocks;
    for (const EntryPtr& e : entries) {
        if (e)
            blocks += e->getICalForICal(invitees, org.name, org.address);
    }
    const QString wrapped = QStringLiteral("BEGIN:VCALENDAR\r\n") + blocks + QStringLiteral("END:VCALENDAR\r\n");
    check("appended invitation", wellFormed::iCalendarProblem(wrapped), wrapped);
    bridges::appendToCalendarText(bytes, blocks.toUtf8());

    // What a CalDAV append sends, plain and as invitations.
    for (const char* sort : {"0", "1"}) {
        const QVariantMap parameters {{QStringLiteral("sort"), QString::fromLatin1(sort)},
                                      {QStringLiteral("theInvitees"), QVariant::fromValue(invitees)},
                                      {QStringLiteral("theOrg"), org.name},
                                      {QStringLiteral("theEmail"), org.address}};
        const caldav::AppendPlan plan
            = caldav::planAppend(doc, parameters, QUrl(QStringLiteral("http://127.0.0.1:9/cal/")));
        for (const caldav::Upload& upload : plan.uploads)
            check("CalDAV resource", wellFormed::iCalendarProblem(QString::fromUtf8(upload.body)),
                  QString::fromUtf8(upload.body));
    }
    return 0;
}
