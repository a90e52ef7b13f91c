// The invite sheet and the address book: the sheet and the address window are InviteFlow's; the
// controller opens them, forwards the sheet's actions and hands "Mail" to the mail bridge.
#include "AppControl.h"
#include "InviteFlow.h"
#include "InviteSheet.h"
#include "MyWindow.h"
#include "addressbook/systemAddressBook.h"

void AppControl::setUpAddressBook()
{
    if (!theAddressBook.hasSource())
        theAddressBook.setSource(std::make_shared<systemAddressBook>());
    theAddressBook.setUpAddressess();
}

void AppControl::setAddressBookSource(std::shared_ptr<addressBookSource> source)
{
    theAddressBook.setSource(std::move(source));
    theAddressBook.setUpAddressess();
}

InviteFlow* AppControl::inviteFlow()
{
    if (!m_invite) {
        m_invite = new InviteFlow(theAddressBook, theWindow);
        connect(m_invite, &InviteFlow::mailRequested, this, &AppControl::sendInvitation);
        connect(m_invite, &InviteFlow::cancelled, this, [this] { reloadData(); });
    }
    return m_invite;
}

void AppControl::showInviteSheet()
{
    // The sender fields come from the user's own card, the pop-up from the calendar list.
    inviteFlow()->showInviteSheet(theCal->getTheCalArray());
}

void AppControl::openAddressBook()
{
    inviteFlow()->openAddressBook();
}

void AppControl::mailWindowMail()
{
    if (InviteSheet* sheet = inviteFlow()->sheet())
        sheet->mailWindowMail(); // closes the sheet and comes back through sendInvitation()
}

void AppControl::sendInvitation(const QVariantMap& parameters)
{
    if (!OS102) {
        errorMessage(QStringLiteral("To export directly to Mail you need to be running Mac OS X 10.2 or greater.  "
                                    "Please export the file as an iCal file and then attach to a mail message."));
        return;
    }
    const QString message = theCal->mailWindowMail(parameters);
    if (!message.isEmpty())
        errorMessage(message);
}

void AppControl::mailWindowCancel()
{
    if (InviteSheet* sheet = inviteFlow()->sheet())
        sheet->mailWindowCancel(); // the table is reloaded once the sheet has closed
}

void AppControl::mailTickDidChange()
{
    if (InviteSheet* sheet = inviteFlow()->sheet())
        sheet->mailTickDidChange();
}

void AppControl::addressAdd()
{
    if (InviteSheet* sheet = inviteFlow()->sheet())
        sheet->addressAdd();
}

void AppControl::addressDelete()
{
    if (InviteSheet* sheet = inviteFlow()->sheet())
        sheet->addressDelete();
}
