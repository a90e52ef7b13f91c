// Invitations from the main window: "To Mail" asks, "Send Invitation" opens the invite sheet over
// the address book, and "Mail" hands the invitation to the mail bridge, here a stand-in mail
// program that records what it was given.

#include "AddressTableModel.h"
#include "AddressWindow.h"
#include "InviteFlow.h"
#include "InviteSheet.h"
#include "addressbook/systemAddressBook.h"
#include "bridges/bridges.h"
#include "bridges/bridgesTestUtil.h"
#include "windowTestUtil.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace
{
QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

void click(QAbstractItemView* view, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers,
                      view->visualRect(view->model()->index(row, 0)).center());
}
} // namespace

class TestInviteWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_books;
    std::unique_ptr<bridgetest::FakeDesktop> m_desktop;
    QList<QPair<QByteArray, QByteArray>> m_saved;

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Kyiv");
        QVERIFY(bridgetest::writeFile(
            m_books.filePath("team.vcf"),
            crlf("BEGIN:VCARD\nVERSION:3.0\nUID:ANNA\nN:Berg;Anna;;;\nEMAIL;TYPE=WORK:anna@work.example\n"
                 "CATEGORIES:Team\nEND:VCARD\n"
                 "BEGIN:VCARD\nVERSION:3.0\nUID:BO\nN:Dahl;Bo;;;\nEMAIL:bo@dahl.example\nCATEGORIES:Team\nEND:VCARD\n"
                 "BEGIN:VCARD\nVERSION:3.0\nUID:ME\nN:Org;Olga;;;\nEMAIL:olga@org.example\nEND:VCARD\n")));
        m_desktop = std::make_unique<bridgetest::FakeDesktop>();
        m_desktop->addProgram("thunderbird");
        m_desktop->setMailHandler("thunderbird.desktop", m_desktop->bin() + "/thunderbird %u");
        for (const auto& variable : m_desktop->variables())
            m_saved.append({variable.first, qgetenv(variable.first.constData())});
        m_desktop->apply();
        bridges::mailStartMs = 300;
        qputenv("EMAIL", "olga@org.example");
    }
    void cleanupTestCase()
    {
        for (const auto& [name, value] : m_saved)
            value.isNull() ? qunsetenv(name.constData()) : qputenv(name.constData(), value);
    }

    void toMailSendInvitation()
    {
        windowtest::Window w;
        w->setAddressBookSource(std::make_shared<systemAddressBook>(QStringList {m_books.path()}));
        w->setData(QString::fromUtf8(windowtest::calendarText({{"Review", "20070320T090000"}})));
        w->updateTheMenus();

        Dialogs::queueAnswer(0); // "Send Invitation"
        w->exportToMail();
        QTRY_VERIFY(w->inviteFlow()->sheet());
        QCOMPARE(Dialogs::log().value(0),
                 QStringLiteral("Export to Mail: Do you want to invite specific people to the "
                                "meeting or just send the file?"));
        InviteSheet* sheet = w->inviteFlow()->sheet();
        QCOMPARE(sheet->parentWidget(), static_cast<QWidget*>(w->mainWindow()));
        QCOMPARE(sheet->senderName()->text(), QStringLiteral("Olga Org"));
        QVERIFY(!w->getAlertWindow());

        click(sheet->groupTable(), 1); // "Team"
        click(sheet->peopleTable(), 0);
        click(sheet->peopleTable(), 1, Qt::ShiftModifier);
        w->addressAdd();
        QCOMPARE(w->addressBook().getTheInvitees().size(), 2);
        QVERIFY(sheet->inviteeModel()->setData(sheet->inviteeModel()->index(1, 0), "Bo D.", Qt::EditRole));
        w->mailWindowMail();
        QTRY_VERIFY(!w->inviteFlow()->sheet());
        QVERIFY2(Dialogs::log().size() == 1, qPrintable(Dialogs::log().join('\n'))); // no error

        const QList<QStringList> calls = m_desktop->calls("thunderbird");
        QCOMPARE(calls.size(), 1);
        QVERIFY2(calls.first().join(' ').contains("to='Anna Berg <anna@work.example>,\"Bo D.\" <bo@dahl.example>'"),
                 qPrintable(calls.first().join(' ')));
        QDirIterator attachment(m_desktop->cache(), {"iCal.ics"}, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY(attachment.hasNext());
        const QString invitation = QString::fromUtf8(bridgetest::readFile(attachment.next()));
        QVERIFY2(invitation.contains("\nATTENDEE;CN=Anna Berg:mailto:anna@work.example\n"
                                     "ATTENDEE;CN=Bo D.:mailto:bo@dahl.example\n"),
                 qPrintable(invitation));
        QVERIFY(invitation.contains("\nORGANIZER;CN=Olga Org:mailto:olga@org.example\n"));

        // The menu opens the sheet again with the same invitees, and the address window.
        QVERIFY(w->menuItem(AppControl::MenuItem::SendInvitation)->isEnabled());
        w->menuItem(AppControl::MenuItem::SendInvitation)->trigger();
        QVERIFY(w->inviteFlow()->sheet());
        QCOMPARE(w->inviteFlow()->sheet()->inviteeTable()->model()->rowCount(), 2);
        w->menuItem(AppControl::MenuItem::AddressBook)->trigger();
        QVERIFY(w->inviteFlow()->addressWindow()->isVisible());
        w->mailWindowCancel();
        QTRY_VERIFY(!w->inviteFlow()->sheet());
    }

    // The bridge's message reaches the user: the calendar to add the invitation to has gone.
    void bridgeMessageIsShown()
    {
        bridgetest::Library library; // without that calendar
        windowtest::Window w({"Work"});
        w->setAddressBookSource(std::make_shared<systemAddressBook>(QStringList {m_books.path()}));
        w->setData(QString::fromUtf8(windowtest::calendarText({{"Review", "20070320T090000"}})));
        w->updateTheMenus();
        w->showInviteSheet();
        InviteSheet* sheet = w->inviteFlow()->sheet();
        QVERIFY(sheet->calendarTick()->isEnabled());
        sheet->calendarTick()->setChecked(true);
        QVERIFY(sheet->calendarPopup()->isEnabled());
        Dialogs::queueAnswer(0);
        QTest::mouseClick(sheet->mailButton(), Qt::LeftButton);
        QTRY_COMPARE(Dialogs::log().value(0),
                     QStringLiteral("Error!: The calendar you have selected no longer exists. Please select another "
                                    "calendar."));
    }
};

QTEST_MAIN(TestInviteWindow)
#include "tst_inviteWindow.moc"
