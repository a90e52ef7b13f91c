#include "CliCommon.h"
#include "addressbook/invitee.h"

namespace cli
{
int inviteCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Write a meeting invitation (METHOD:REQUEST) for the entries of a "
                                               "calendar, naming an organiser and attendees."));
    p.addHelpOption();
    p.addOption({{"o", "output"}, "Write to FILE (standard output when absent or -).", "FILE"});
    p.addOption({"organizer", "The organiser, as \"Name <address>\".", "PERSON"});
    p.addOption({"attendee", "An attendee, as \"Name <address>\" (repeat for several).", "PERSON"});
    p.addOption({"from", "Input format: ics or vcal (default: from the extension).", "FORMAT"});
    p.addOption({"mail",
                 "Attach the invitation to a new message to the attendees in your mail program (written to "
                 "-o as well when given)."});
    p.addOption({"add-to-calendar",
                 "With --mail: also add the invitation to the calendar TITLE (the calendar application's or a "
                 "CalDAV account's).",
                 "TITLE"});
    addPasswordOption(p);
    p.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("The calendar to invite to."));
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli invite")} + args))
        return s.usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        s.writeOutput(QString(), helpText(p, QStringLiteral("invite")).toUtf8());
        return kOk;
    }
    if (p.isSet(QStringLiteral("add-to-calendar")) && !p.isSet(QStringLiteral("mail")))
        return s.usage(QStringLiteral("--add-to-calendar goes with --mail"));
    if (p.positionalArguments().size() != 1)
        return s.usage(QStringLiteral("invite needs exactly one input calendar"));
    if (!p.isSet(QStringLiteral("organizer")))
        return s.usage(QStringLiteral("invite needs --organizer \"Name <address>\""));
    QString orgName, orgAddress;
    if (!parsePerson(p.value(QStringLiteral("organizer")), &orgName, &orgAddress))
        return s.usage(QStringLiteral("bad --organizer %1").arg(p.value(QStringLiteral("organizer"))));
    QList<invitee> invitees;
    for (const QString& a : p.values(QStringLiteral("attendee"))) {
        QString name, address;
        if (!parsePerson(a, &name, &address))
            return s.usage(QStringLiteral("bad --attendee %1").arg(a));
        invitee i;
        i.setTheRealName(name.isEmpty() ? address : name);
        i.setInviteeEmailAddress(address);
        i.setInviteeName(name.isEmpty() ? address : name);
        invitees << i;
    }
    const QString input = p.positionalArguments().constFirst();
    Format f = p.isSet(QStringLiteral("from")) ? formatFromName(p.value(QStringLiteral("from")))
                                               : inputFormatFromPath(input);
    if (f != Format::ICal && f != Format::VCal)
        return s.usage(QStringLiteral("invite reads iCalendar or vCalendar files"));
    int status = kOk;
    if (!takePasswordOption(s, p, input == QLatin1String("-"), &status))
        return status;
    aCalendar doc;
    if (!readInto(s, doc, input, f, {}, false))
        return kUsage;
    if (!doc.dataCheck()) {
        OutputOptions none;
        return writeDocument(s, doc, none); // reports the rows
    }
    const QString text = doc.createInvitationString(doc.getTheData(), invitees, orgName, orgAddress);
    if (!p.isSet(QStringLiteral("mail")))
        return s.writeOutput(p.value(QStringLiteral("output")), text.toUtf8()) ? kOk : kUsage;
    if (p.isSet(QStringLiteral("output")) && !s.writeOutput(p.value(QStringLiteral("output")), text.toUtf8()))
        return kUsage;
    const QString calendar = p.value(QStringLiteral("add-to-calendar"));
    const QString message = doc.mailWindowMail({{QStringLiteral("theInvitees"), QVariant::fromValue(invitees)},
                                                {QStringLiteral("theOrg"), orgName},
                                                {QStringLiteral("theEmail"), orgAddress},
                                                {QStringLiteral("selectedCal"), calendar},
                                                {QStringLiteral("iCalTick"), !calendar.isEmpty()},
                                                {QStringLiteral("ict"), !calendar.isEmpty()}});
    if (!message.isEmpty()) {
        s.error(message);
        return kExportFailed;
    }
    return kOk;
}
} // namespace cli
