#include "CliCommon.h"
#include "CliOptions.h"
#include "addressbook/addressControl.h"
#include "addressbook/systemAddressBook.h"

namespace cli
{
void addAddressBookOptions(QCommandLineParser& p)
{
    p.addOption({"address-book",
                 "Read the address book from PATH: a folder of vCard files, a .vcf file or an Evolution "
                 "contacts.db (repeat for several; default: the setting addressBookPaths, else "
                 "$XDG_DATA_HOME/contacts and Evolution's books).",
                 "PATH"});
}

void readAddressBook(Session& s, const QCommandLineParser& p, addressControl* control)
{
    control->setSource(std::make_shared<systemAddressBook>(p.values(QStringLiteral("address-book"))));
    control->setUpAddressess();
    const QString problems = control->getTheAddressBook().problemText(20, true);
    if (!problems.isEmpty())
        s.error(QStringLiteral("warning: ") + problems);
}

int contactsCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "List your own card, the groups of the address book and its people:\none line per person and e-mail "
        "address, NAME (LABEL) <ADDRESS>,\nas the window's Send Invitation sheet lists them."));
    addHelpOption(p);
    addAddressBookOptions(p);
    p.addOption({"group", "List only the people of the group NAME (\"All\": everybody).", "NAME"});
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli contacts")} + args))
        return s.usage(p.errorText());
    if (helpRequested(p))
        return s.writeOutput(QString(), helpText(p, QStringLiteral("contacts")).toUtf8()) ? kOk : kUsage;
    if (!p.positionalArguments().isEmpty())
        return s.usage(QStringLiteral("contacts takes no arguments (use --address-book PATH)"));

    addressControl control;
    readAddressBook(s, p, &control);
    QString text;
    if (p.isSet(QStringLiteral("group"))) {
        const int row = control.rowOfGroup(p.value(QStringLiteral("group")));
        if (row < 0)
            return s.usage(
                QStringLiteral("no group named %1 in the address book").arg(p.value(QStringLiteral("group"))));
        control.displayGroupAddress(row);
    } else {
        if (control.getMyEntry())
            text += QStringLiteral("Me: %1 <%2>\n").arg(control.getFullMeName(), control.getPrimaryEmailAddressOfMe());
        text += QStringLiteral("Groups:\n");
        const addressBook& book = control.getTheAddressBook();
        for (const addressBookGroup& g : book.groups()) {
            const qsizetype n = book.members(g).size();
            text += QStringLiteral("  %1 (%2 %3)\n").arg(g.name).arg(n).arg(n == 1 ? "person" : "people");
        }
        text += QStringLiteral("People:\n");
    }
    for (const addressEntry& row : control.getTheAddresses())
        text += QStringLiteral("  %1 <%2>\n").arg(row.getTheName().trimmed(), row.getTheEmailAddress());
    return s.writeOutput(QString(), text.toUtf8()) ? kOk : kUsage;
}
} // namespace cli
