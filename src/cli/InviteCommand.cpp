#include "CliCommon.h"
#include "CliOptions.h"
#include "addressbook/addressControl.h"
#include "addressbook/invitee.h"

#include <QSet>

namespace cli
{
int inviteCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Write a meeting invitation (METHOD:REQUEST) for the entries of a "
                                               "calendar,\nnaming an organiser and attendees."));
    addHelpOption(p);
    p.addOption({{"o", "output"}, "Write to FILE (standard output when absent or -).", "FILE"});
    p.addOption({"organizer", "The organiser, as \"Name <address>\" or an address (or use --from-me).", "PERSON"});
    p.addOption({"attendee", "An attendee, as \"Name <address>\" or an address (repeat for several).", "PERSON"});
    p.addOption({"from", "Input format: ics or vcal (default: from the file's extension).", "FORMAT"});
    p.addOption({"group",
                 "Invite every person of the address-book group NAME at their first e-mail address, each address "
                 "once (repeat for several groups; \"All\": everybody; see tidewell-cli contacts).",
                 "NAME"});
    p.addOption({"all-addresses", "With --group: invite each person at every e-mail address of their card."});
    p.addOption({"from-me",
                 "Take the organiser from your own card in the address book (the one chosen with \"This is "
                 "me\" in the address window, else the card with the address in $EMAIL)."});
    addAddressBookOptions(p);
    p.addOption({"mail",
                 "Attach the invitation to a new message to the attendees in your mail program (written to "
                 "-o as well when given)."});
    p.addOption({"add-to-calendar",
                 "With --mail: also add the invitation to the calendar TITLE (the calendar application's or a "
                 "CalDAV account's).",
                 "TITLE"});
    addPasswordOption(p);
    p.addPositionalArgument(QStringLiteral("INPUT"),
                            QStringLiteral("The calendar file (- for standard input, with --from)."));
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli invite")} + args))
        return s.usage(p.errorText());
    if (helpRequested(p))
        return s.writeOutput(QString(), helpText(p, QStringLiteral("invite")).toUtf8()) ? kOk : kUsage;
    if (p.isSet(QStringLiteral("add-to-calendar")) && !p.isSet(QStringLiteral("mail")))
        return s.usage(QStringLiteral("--add-to-calendar goes with --mail"));
    if (p.positionalArguments().size() != 1)
        return s.usage(QStringLiteral("invite needs exactly one input calendar"));
    const bool fromMe = p.isSet(QStringLiteral("from-me"));
    if (fromMe && p.isSet(QStringLiteral("organizer")))
        return s.usage(QStringLiteral("invite takes --organizer or --from-me, not both"));
    if (!fromMe && !p.isSet(QStringLiteral("organizer")))
        return s.usage(QStringLiteral("invite needs --organizer \"Name <address>\" (or --from-me)"));
    QString orgName, orgAddress;
    if (!fromMe && !parsePerson(p.value(QStringLiteral("organizer")), &orgName, &orgAddress))
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
    if (fromMe || p.isSet(QStringLiteral("group"))) {
        addressControl book;
        readAddressBook(s, p, &book);
        if (fromMe) {
            orgName = book.getFullMeName();
            orgAddress = book.getPrimaryEmailAddressOfMe();
            if (orgAddress.isEmpty())
                return s.usage(book.getMyEntry()
                                   ? QStringLiteral("your own card in the address book has no e-mail address")
                                   : QStringLiteral("no card of your own in the address book (choose one with "
                                                    "\"This is me\" in the address window, or set EMAIL)"));
        }
        // Each address once, also when it is already an attendee or in two of the groups; without
        // --all-addresses each person once, at the first address of their card (rows come in
        // the card's order).
        const bool allAddresses = p.isSet(QStringLiteral("all-addresses"));
        QSet<QString> seen;
        QSet<QString> seenPeople;
        for (const invitee& i : invitees)
            seen.insert(i.getTheInviteeEmailAddress().toLower());
        for (const QString& group : p.values(QStringLiteral("group"))) {
            const int row = book.rowOfGroup(group);
            if (row < 0)
                return s.usage(QStringLiteral("no group named %1 in the address book").arg(group));
            book.displayGroupAddress(row);
            for (int r = 0; r < book.getTheAddresses().size(); ++r) {
                const addressEntry& entry = book.getTheAddresses().at(r);
                if (!allAddresses && seenPeople.contains(entry.getTheUniqueNameID()))
                    continue;
                seenPeople.insert(entry.getTheUniqueNameID());
                const QString address = entry.getTheEmailAddress().toLower();
                if (seen.contains(address))
                    continue;
                seen.insert(address);
                book.addAddressToInvitee(r);
            }
        }
        for (const invitee& fromBook : book.getTheInvitees()) {
            invitee i = fromBook;
            if (i.getTheRealName().isEmpty())
                i.setTheRealName(i.getTheInviteeEmailAddress());
            invitees << i;
        }
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
