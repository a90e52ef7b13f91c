// vCard bytes read into an address book, its groups resolved to people, every person and address
// shown as the invite sheet shows them, and everyone invited: the invitation written with their
// names and addresses must stay well formed.
#include "addressbook/addressControl.h"
#include "addressbook/vCard.h"
#include "calendar/aCalendar.h"
#include "fuzzcommon.h"
#include "wellFormed.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    addressBook book;
    vCard::readCards(bytes, QStringLiteral("/tmp/fuzz.vcf"), &book);
    book.finish();
    book.problemText(3, true);
    for (const addressBookGroup& group : book.groups())
        book.members(group);
    book.me(QString(), QStringLiteral("Fuzz <fuzz@example.org>"));

    addressControl control(addressBookSource::fromFunction([book] { return book; }));
    control.setUpAddressess();
    control.statusText();
    for (int row = 0; row < control.getAddressGroupsArray().size(); ++row)
        control.displayGroupAddress(row);
    control.displayAllAddresses();
    // A few hundred invitees are as many as a test of the writer needs.
    QList<int> rows;
    for (int row = 0; row < qMin(int(control.getTheAddresses().size()), 200); ++row)
        rows << row;
    control.addAddressesToInvitees(rows);

    static const QString event = QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:fuzz\r\n"
                                                "DTSTART;TZID=Europe/Paris:20070315T093000\r\nDURATION:PT1H\r\n"
                                                "SUMMARY:Budget\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    aCalendar& doc = fuzz::freshDocument();
    doc.setData(event);
    const addressPerson* me = book.people().isEmpty() ? nullptr : &book.people().first();
    const QString orgName = me ? me->firstName + QLatin1Char(' ') + me->lastName : QString();
    const QString orgAddress = me && !me->emails.isEmpty() ? me->emails.first().address : QString();
    const QString invitation
        = doc.createInvitationString(doc.getTheData(), control.getTheInvitees(), orgName, orgAddress);
    if (const QString problem = wellFormed::iCalendarProblem(invitation, "\n"); !problem.isEmpty()) {
        std::fprintf(stderr, "invitation is not well formed: %s\n%s\n", problem.toUtf8().constData(),
                     invitation.left(4000).toUtf8().constData());
        std::abort();
    }
    return 0;
}
