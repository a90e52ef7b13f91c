// The invite sheet and the address window, offscreen, driven with the mouse and keyboard the way
// a user drives them, over an address book folder written by the test.

#include "AddressTableModel.h"
#include "AddressWindow.h"
#include "InviteFlow.h"
#include "InviteSheet.h"
#include "addressbook/addressControl.h"
#include "addressbook/systemAddressBook.h"
#include "calendar/aCalendar.h"
#include "testutil.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

namespace
{
QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

void click(QAbstractItemView* view, int row, int column = 0, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QRect rect = view->visualRect(view->model()->index(row, column));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, rect.center());
}

QStringList column(const QAbstractItemModel* model, int c)
{
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r)
        out << model->index(r, c).data().toString();
    return out;
}

bool partOfAnotherControl(const QWidget* w, const QWidget* top)
{
    for (const QWidget* p = w->parentWidget(); p && p != top; p = p->parentWidget()) {
        if (qobject_cast<const QAbstractItemView*>(p) || qobject_cast<const QComboBox*>(p))
            return true;
    }
    return false;
}

QStringList identifiers(const QTableView* view)
{
    QStringList out;
    for (int c = 0; c < view->model()->columnCount(); ++c)
        out << view->model()->headerData(c, Qt::Horizontal, Qt::UserRole).toString();
    return out;
}
} // namespace

class TestInviteSheet : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<testutil::TempSettings> m_settings;
    std::unique_ptr<addressControl> m_control;
    std::unique_ptr<QWidget> m_window;

    QString book() const { return m_dir.filePath("contacts"); }

    void write(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(book());
        QFile f(book() + "/" + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Kyiv");
        write("anna.vcf",
              crlf("BEGIN:VCARD\nVERSION:3.0\nUID:ANNA\nN:Berg;Anna;;;\n"
                   "EMAIL;TYPE=WORK:anna@work.example\nEMAIL;TYPE=HOME:anna@home.example\nEND:VCARD\n"));
        write("eve.vcf",
              crlf("BEGIN:VCARD\nVERSION:4.0\nUID:urn:uuid:EVE\nFN:Eve Evans\nN:Evans;Eve;;;\n"
                   "EMAIL;TYPE=work:eve@work.example\nEND:VCARD\n"));
        write("carl.vcf",
              crlf("BEGIN:VCARD\nVERSION:2.1\nUID:CARL\nN:Dunn;Carl\nEMAIL;INTERNET:carl@dunn.example\n"
                   "CATEGORIES:Chess\nEND:VCARD\n"));
        write("team.vcf",
              crlf("BEGIN:VCARD\nVERSION:4.0\nKIND:group\nFN:Team\nUID:T\nMEMBER:urn:uuid:ANNA\n"
                   "MEMBER:urn:uuid:EVE\nEND:VCARD\n"));
        write("zz-broken.vcf", crlf("BEGIN:VCARD\nVERSION:3.0\nFN:Cut Off\n"));
    }

    void init()
    {
        m_settings = std::make_unique<testutil::TempSettings>();
        qputenv("EMAIL", "Carl <carl@dunn.example>");
        m_control = std::make_unique<addressControl>(std::make_shared<systemAddressBook>(QStringList {book()}));
        m_control->setUpAddressess();
        m_window = std::make_unique<QWidget>();
        m_window->resize(800, 600);
        m_window->show();
    }
    void cleanup()
    {
        m_window.reset();
        m_control.reset();
        m_settings.reset();
    }

    // Choose a group, add two people, rename an invitee, mail: the parameters name both invitees
    // (tst_inviteWindow hands them to the mail bridge).
    void chooseAddEditMail()
    {
        InviteFlow flow(*m_control, m_window.get());
        InviteSheet* sheet = flow.showInviteSheet({"Home", "Work"});
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->parentWidget(), m_window.get());
        QCOMPARE(sheet->senderName()->text(), QStringLiteral("Carl Dunn"));
        QCOMPARE(sheet->senderEmail()->text(), QStringLiteral("carl@dunn.example"));
        QCOMPARE(identifiers(sheet->groupTable()), QStringList {"theGroup"});
        QCOMPARE(identifiers(sheet->peopleTable()), (QStringList {"theName", "theEmailAddress"}));
        QCOMPARE(identifiers(sheet->inviteeTable()),
                 (QStringList {"theRealName", "inviteeEmailAddress", "inviteeName"}));
        QCOMPARE(column(sheet->groupTable()->model(), 0), (QStringList {"All", "Chess", "Team"}));
        QCOMPARE(sheet->peopleTable()->model()->rowCount(), 4);
        QVERIFY(!sheet->addButton()->isEnabled());
        QVERIFY(!sheet->removeButton()->isEnabled());
        QVERIFY(sheet->calendarTick()->isEnabled());
        QVERIFY(!sheet->calendarPopup()->isEnabled());

        click(sheet->groupTable(), 2);
        QCOMPARE(column(sheet->peopleTable()->model(), 0),
                 (QStringList {"Anna Berg (Work)", "Anna Berg (Home)", "Eve Evans (Work)"}));
        click(sheet->peopleTable(), 0);
        click(sheet->peopleTable(), 2, 0, Qt::ControlModifier);
        QVERIFY(sheet->addButton()->isEnabled());
        QVERIFY(!sheet->removeButton()->isEnabled());
        QTest::mouseClick(sheet->addButton(), Qt::LeftButton);
        QCOMPARE(column(sheet->inviteeTable()->model(), 1), (QStringList {"anna@work.example", "eve@work.example"}));
        QVERIFY(sheet->addButton()->isEnabled());
        QVERIFY(!sheet->removeButton()->isEnabled());

        // Selecting invitees leaves the people; only "Remove" applies.
        click(sheet->inviteeTable(), 1);
        QVERIFY(!sheet->peopleTable()->selectionModel()->hasSelection());
        QVERIFY(!sheet->addButton()->isEnabled());
        QVERIFY(sheet->removeButton()->isEnabled());

        // Rename the first invitee in place; the edit reaches the invitee's field.
        const QModelIndex name = sheet->inviteeTable()->model()->index(0, 0);
        sheet->inviteeTable()->edit(name);
        auto* editor = sheet->inviteeTable()->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, "Annie Berg");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(m_control->getTheInvitees().at(0).getTheRealName(), QStringLiteral("Annie Berg"));

        // On the box itself: a wide tick box takes clicks on its box and label only.
        QTest::mouseClick(sheet->calendarTick(), Qt::LeftButton, {}, QPoint(8, sheet->calendarTick()->height() / 2));
        QVERIFY(sheet->calendarPopup()->isEnabled());
        sheet->calendarPopup()->setCurrentIndex(1);
        QTest::mouseClick(sheet->calendarTick(), Qt::LeftButton, {}, QPoint(8, sheet->calendarTick()->height() / 2));
        QVERIFY(!sheet->calendarPopup()->isEnabled());

        QSignalSpy mailed(&flow, &InviteFlow::mailRequested);
        QTest::mouseClick(sheet->mailButton(), Qt::LeftButton);
        QCOMPARE(mailed.size(), 1);
        QTRY_VERIFY(!flow.sheet());
        const QVariantMap parameters = mailed.first().first().toMap();
        QCOMPARE(parameters.value("theOrg").toString(), QStringLiteral("Carl Dunn"));
        QCOMPARE(parameters.value("theEmail").toString(), QStringLiteral("carl@dunn.example"));
        QCOMPARE(parameters.value("selectedCal").toString(), QStringLiteral("Work"));
        QCOMPARE(parameters.value("iCalTick").toBool(), false);
        QCOMPARE(parameters.value("ict").toBool(), false);
        QCOMPARE(parameters.value("theInvitees").value<QList<invitee>>().size(), 2);

        // The next sheet starts with the same invitees; removing them empties the list.
        sheet = flow.showInviteSheet({});
        QCOMPARE(sheet->inviteeTable()->model()->rowCount(), 2);
        click(sheet->inviteeTable(), 0);
        click(sheet->inviteeTable(), 1, 0, Qt::ShiftModifier);
        QTest::mouseClick(sheet->removeButton(), Qt::LeftButton);
        QVERIFY(m_control->getTheInvitees().isEmpty());
        QVERIFY(!sheet->removeButton()->isEnabled());
        QSignalSpy cancelled(&flow, &InviteFlow::cancelled);
        QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
        QCOMPARE(cancelled.size(), 1);
        QTRY_VERIFY(!flow.sheet());
    }

    void withoutCalendarsTheTickIsOff()
    {
        InviteFlow flow(*m_control, m_window.get());
        InviteSheet* sheet = flow.showInviteSheet({});
        QVERIFY(!sheet->calendarTick()->isEnabled());
        QVERIFY(!sheet->calendarPopup()->isEnabled());
        sheet->calendarTick()->setChecked(true); // cannot be clicked; not even set from code counts
        const QVariantMap p = sheet->invitationParameters();
        QCOMPARE(p.value("iCalTick").toBool(), false);
        QCOMPARE(p.value("selectedCal").toString(), QString());
        QVERIFY(p.value("theInvitees").value<QList<invitee>>().isEmpty());
    }

    // The address window re-reads the book, says what it could not read, and "This is me" makes
    // the sender of the open sheet (unless the user typed there).
    void addressWindowAndThisIsMe()
    {
        InviteFlow flow(*m_control, m_window.get());
        InviteSheet* sheet = flow.showInviteSheet({"Home"});
        QTest::mouseClick(sheet->addressBookButton(), Qt::LeftButton);
        AddressWindow* window = flow.addressWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->statusLine()->text(),
                 QStringLiteral("3 people, 2 groups. 1 card could not be read: zz-broken.vcf, card 1: no END:VCARD."));
        QTableWidget* people = window->peopleTable();
        QCOMPARE(people->item(1, 0)->text(), QStringLiteral("Carl Dunn (me)"));
        QVERIFY(!window->thisIsMeButton()->isEnabled());
        click(people, 2);
        QCOMPARE(people->item(2, 0)->text(), QStringLiteral("Eve Evans"));
        QCOMPARE(people->item(2, 2)->text(), QStringLiteral("Team"));
        QTest::mouseClick(window->thisIsMeButton(), Qt::LeftButton);
        QCOMPARE(UserDefaults::standard().string("meCard"), QStringLiteral("EVE"));
        QCOMPARE(people->item(2, 0)->text(), QStringLiteral("Eve Evans (me)"));
        QCOMPARE(sheet->senderName()->text(), QStringLiteral("Eve Evans"));
        QCOMPARE(sheet->senderEmail()->text(), QStringLiteral("eve@work.example"));
        sheet->senderName()->setText("Eve E. (typed)");
        click(people, 0);
        QTest::mouseClick(window->thisIsMeButton(), Qt::LeftButton);
        QCOMPARE(sheet->senderName()->text(), QStringLiteral("Eve E. (typed)"));
    }

    // Every control is named by its visible label and described by its tooltip.
    void accessibleNamesAndDescriptions()
    {
        InviteFlow flow(*m_control, m_window.get());
        InviteSheet* sheet = flow.showInviteSheet({"Home"});
        flow.openAddressBook();
        for (QWidget* top : QList<QWidget*> {sheet, flow.addressWindow()}) {
            QList<QWidget*> controls;
            for (QWidget* w : top->findChildren<QWidget*>()) {
                if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w)
                    || (qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QHeaderView*>(w)))
                    controls << w;
            }
            QVERIFY(controls.size() >= (top == sheet ? 10 : 2));
            for (QWidget* w : controls) {
                if (partOfAnotherControl(w, top))
                    continue; // a table's corner button, a pop-up's list
                QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
                QVERIFY(a);
                const QString label = a->text(QAccessible::Name);
                QVERIFY2(!label.isEmpty(), qPrintable(w->objectName()));
                if (auto* b = qobject_cast<QAbstractButton*>(w))
                    QCOMPARE(label, b->text());
                QVERIFY2(!w->toolTip().isEmpty(), qPrintable(w->objectName()));
                QCOMPARE(a->text(QAccessible::Description), w->toolTip());
            }
            for (QLabel* l : top->findChildren<QLabel*>()) {
                if (l->buddy())
                    QCOMPARE(l->buddy()->accessibleName(), l->text());
            }
        }
    }
};

QTEST_MAIN(TestInviteSheet)
#include "tst_inviteSheet.moc"
