// The window with CalDAV accounts, offscreen, against a Radicale started by the test: the
// account dialog (Preferences), the calendar pop-up, "From iCal" and "To iCal" on a CalDAV
// calendar, the password asked once per run, the progress sheet's "Cancel".

#include "CalDavAccountsDialog.h"
#include "bridges/bridgesTestUtil.h"
#include "bridges/caldavCalendars.h"
#include "bridges/radicale.h"
#include "windowTestUtil.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

using windowtest::Window;
using Item = AppControl::MenuItem;

namespace
{
const int kWait = 20000 * int(testutil::kSlowdown);

QStringList popupItems(Window& w)
{
    QStringList out;
    for (int i = 0; i < w->calendarPopup()->count(); ++i)
        out << w->calendarPopup()->itemText(i);
    return out;
}

qsizetype logged(const QString& start)
{
    qsizetype n = 0;
    for (const QString& line : Dialogs::log())
        n += line.startsWith(start) ? 1 : 0;
    return n;
}
} // namespace

class tst_caldavWindow : public QObject
{
    Q_OBJECT
    caldavtest::Radicale m_server;
    std::unique_ptr<bridgetest::Library> m_library;

    caldav::Account ann() const { return {"Ann", m_server.url("/"), "ann"}; }

    /// A window whose pop-up comes from the real calendar list, with Ann's account (and her
    /// password in memory when @p password is given), once her calendars are in the pop-up.
    std::unique_ptr<Window> window(const QString& password = QStringLiteral("secret"), const QVariantMap& settings = {})
    {
        auto w = std::make_unique<Window>(QStringList {}, settings);
        (*w)->setCalendarListSource({});
        caldav::Accounts::save({ann()});
        if (!password.isEmpty())
            caldav::Passwords::store(ann(), password, [](bool, QString) {});
        return w;
    }

    static void refreshAndWait(Window& w, const QString& title)
    {
        caldav::Calendars::instance().refresh();
        QTRY_VERIFY_WITH_TIMEOUT(popupItems(w).contains(title), kWait);
    }

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Kyiv");
        testutil::pinClock("2007-03-01T12:00:00Z");
        m_library = std::make_unique<bridgetest::Library>();
        QString why;
        if (!m_server.start(&why))
            QSKIP(qPrintable(why));
        QVERIFY(m_server.makeCalendar("ann", "work", "Work", {"VEVENT"}));
        QVERIFY(m_server.makeCalendar("ann", "tasks", "Tasks", {"VTODO"}));
        QVERIFY(m_server.makeCalendar("ann", "busy", "Busy", {"VEVENT"}));
    }
    void init()
    {
        caldav::Passwords::resetForTests();
        caldav::Passwords::setSecretServiceEnabled(false);
        caldav::Calendars::instance().resetForTests();
    }

    void accountDialog()
    {
        Window w;
        w->setCalendarListSource({});
        QAction* preferences = w->menuItem(Item::Preferences);
        QVERIFY(preferences->isEnabled());
        preferences->trigger();
        auto* dialog = w->mainWindow()->findChild<CalDavAccountsDialog*>();
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());

        // Assistive technology reads each control's visible label and its tooltip.
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (QWidget* buddy = label->buddy())
                QCOMPARE(buddy->accessibleName(), label->text());
        }
        QList<QWidget*> controls;
        for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
            QCOMPARE(b->accessibleName(), b->text());
            controls << b;
        }
        controls << dialog->accountList() << dialog->nameField() << dialog->serverField() << dialog->userField()
                 << dialog->passwordField();
        for (QWidget* c : controls) {
            QVERIFY2(!c->toolTip().isEmpty(), qPrintable(c->accessibleName()));
            QCOMPARE(c->accessibleDescription(), c->toolTip());
        }

        auto fill = [&](const QString& password) {
            dialog->nameField()->setText("Ann");
            dialog->serverField()->setText(m_server.url("/").toString());
            dialog->userField()->setText("ann");
            dialog->passwordField()->setText(password);
            QTest::mouseClick(dialog->addButton(), Qt::LeftButton);
        };
        fill("wrong");
        QTRY_COMPARE_WITH_TIMEOUT(logged("Error!: The account Ann was not added"), 1, kWait);
        QCOMPARE(Dialogs::log().last(),
                 QString("Error!: The account Ann was not added: the server refused the user "
                         "name or password (401 Unauthorized)."));
        QVERIFY(caldav::Accounts::load().isEmpty());

        fill("secret");
        QTRY_VERIFY_WITH_TIMEOUT(popupItems(w).contains("Work"), kWait);
        QCOMPARE(popupItems(w), (QStringList {"No iCal", "Busy", "Work"}));
        QCOMPARE(dialog->statusLabel()->text(), QString("Ann was added with its calendars Busy, Work."));
        QCOMPARE(dialog->accountList()->count(), 1);
        QVERIFY(dialog->passwordField()->text().isEmpty());
        // No password store here: said once, kept for the run.
        QCOMPARE(logged("Warning!: The password could not be kept in the desktop's password store"), 1);

        dialog->accountList()->setCurrentRow(0);
        Dialogs::queueAnswer(0);
        QTest::mouseClick(dialog->removeButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(popupItems(w), QStringList {"No iCal"}, kWait);
        QVERIFY(caldav::Accounts::load().isEmpty());
        QCOMPARE(dialog->accountList()->count(), 0);
    }

    void fromAndToCalendar()
    {
        // The calendar chosen in the last run is chosen again once it has been found.
        auto w = window("secret", {{"calendar", "Work"}});
        refreshAndWait(*w, "Work");
        QCOMPARE((*w)->calendarPopup()->currentText(), QString("Work"));
        QCOMPARE(m_server.put("ann", "/ann/work/theirs.ics",
                              "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//x//EN\r\nBEGIN:VEVENT\r\nUID:theirs\r\n"
                              "DTSTAMP:20070101T000000Z\r\nSUMMARY:Theirs\r\n"
                              "DTSTART;TZID=Europe/Kyiv:20070301T100000\r\nDURATION:PT1H\r\nEND:VEVENT\r\n"
                              "END:VCALENDAR\r\n"),
                 201);
        (*w)->menuItem(Item::ImportICal)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w->summaries(), QStringList {"Theirs"}, kWait);
        QVERIFY(w->doc().getDirectiCalImport());

        // Sent back with two new entries: asked first, the one already there reported.
        w->addEntries({"Mine", "Also mine"});
        Dialogs::queueAnswer(0); // "Export to iCal"
        (*w)->menuItem(Item::ExportICal)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(logged("Error!: Added 2 of 3 entries"), 1, kWait);
        QVERIFY(logged("Warning! Danger!: You are about to send data back to iCal") == 1);
        QCOMPARE(Dialogs::log().last(),
                 QString("Error!: Added 2 of 3 entries to the calendar \"Work\".\nNot added:\n"
                         "  Theirs: an event with this UID is already in the calendar (412 "
                         "Precondition Failed)\nAdded:\n  Mine\n  Also mine"));
        QVERIFY(!(*w)->getAlertWindow());
        QCOMPARE(m_server.items("ann", "work").size(), 3);

        // All new: nothing to say.
        w->doc().removeAllObjectsFromCal();
        w->addEntries({"Third"});
        const qsizetype before = Dialogs::log().size();
        (*w)->menuItem(Item::ExportICal)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_server.items("ann", "work").size(), 4, kWait);
        QTRY_VERIFY(!(*w)->getAlertWindow());
        QCOMPARE(Dialogs::log().size(), before);
    }

    void passwordOncePerRun()
    {
        auto w = window(QString());
        Dialogs::queueAnswer(QString("wrong"));
        caldav::Calendars::instance().refresh();
        QTRY_COMPARE_WITH_TIMEOUT(logged("CalDAV Password: "), 1, kWait);
        QCOMPARE(Dialogs::log().last(),
                 "CalDAV Password: The password of the CalDAV account \"Ann\" (ann at "
                     + m_server.url("/").toDisplayString() + "):");
        QTRY_VERIFY_WITH_TIMEOUT(!caldav::Calendars::instance().refreshing(), kWait);
        QVERIFY(!popupItems(*w).contains("Work"));
        // Refused: asked again, saying so.
        Dialogs::queueAnswer(QString("secret"));
        refreshAndWait(*w, "Work");
        QCOMPARE(logged("CalDAV Password: The server refused the password of the account Ann.\n"), 1);
        // Kept for the run.
        caldav::Calendars::instance().refresh();
        QTRY_VERIFY_WITH_TIMEOUT(!caldav::Calendars::instance().refreshing(), kWait);
        QCOMPARE(logged("CalDAV Password: "), 2);
    }

    void cancelAnAppend()
    {
        auto w = window();
        refreshAndWait(*w, "Busy");
        QStringList summaries;
        for (int i = 0; i < 300; ++i)
            summaries << QString("Entry %1").arg(i);
        w->addEntries(summaries);
        QComboBox* popup = (*w)->calendarPopup();
        popup->setCurrentIndex(popup->findText("Busy"));
        (*w)->menuItem(Item::ExportICal)->trigger();
        auto sheetBar = [&]() -> QProgressBar* {
            for (QProgressBar* b : (*w)->mainWindow()->findChildren<QProgressBar*>()) {
                if (b->accessibleName() == "Progress" && b->isVisible())
                    return b;
            }
            return nullptr;
        };
        QTRY_VERIFY_WITH_TIMEOUT(sheetBar(), kWait);
        QProgressBar* bar = sheetBar();
        QPushButton* cancel = nullptr;
        for (QPushButton* b : bar->parentWidget()->findChildren<QPushButton*>())
            cancel = b->text() == "Cancel" ? b : cancel;
        QVERIFY(cancel);
        QCOMPARE(cancel->accessibleDescription(), cancel->toolTip());
        QTest::mouseClick(cancel, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(logged("Error!: Added "), 1, kWait);
        QVERIFY2(Dialogs::log().last().contains(": not sent: cancelled"), qPrintable(Dialogs::log().last()));
        QVERIFY(m_server.items("ann", "busy").size() < 300);
    }
};

QTEST_MAIN(tst_caldavWindow)
#include "tst_caldavWindow.moc"
