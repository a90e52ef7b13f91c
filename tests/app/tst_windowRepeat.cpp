// The repeat editor in the window's drawer, offscreen: the entry table's selection writes the
// editor back into the entry it showed and loads the next one, several rows blank it, a delete
// writes nothing, rules the editor cannot show or that nobody touched stay as they were, exports
// write the edited rule, and the exception-date table works on the selected entry.

#include "ToolbarItems.h"
#include "repeatDrawer.h"
#include "windowTestUtil.h"

#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>

using windowtest::Window;

namespace
{
template <typename W>
W* part(Window& w, const char* name)
{
    W* found = w->repeatEditor()->findChild<W*>(QLatin1String(name));
    if (!found)
        qFatal("the drawer has no %s", name);
    return found;
}

QComboBox* typePopUp(Window& w)
{
    return part<QComboBox>(w, "theRepeatType");
}

/// The user chooses @p title in the type pop-up.
void chooseType(Window& w, const QString& title)
{
    QComboBox* popUp = typePopUp(w);
    const int i = popUp->findText(title);
    QVERIFY(i >= 0);
    popUp->setCurrentIndex(i);
    Q_EMIT popUp->activated(i);
}

QString rule(Window& w, int row)
{
    return w.doc().getEntryAtIndex(row)->getRRULENoRRULE();
}

bool markerShown(Window& w, int row)
{
    return !w.model()->index(row, EntryTableModel::Repeater).data(Qt::DecorationRole).isNull();
}
} // namespace

class TestWindowRepeat : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Kyiv");
        testutil::pinClock("2007-01-15T12:00:00Z"); // a Monday
        QVERIFY(m_dir.isValid());
    }
    void cleanupTestCase() { Clock::reset(); }

    // Select row 2, choose "Weekly", select row 5: entry 2 holds the weekly rule, entry 5 is shown.
    void selectionWritesTheEditorBack()
    {
        Window w;
        w.addEntries({"A", "B", "C", "D", "E", "F"});
        QVERIFY(w->drawer()->isAncestorOf(w->repeatEditor()));
        const int height = w->mainWindow()->height();
        w->toolbarAction(TheDrawerIdentifier)->trigger();
        QVERIFY(w->drawer()->isVisible());
        QCOMPARE(w->mainWindow()->height(), height); // the editor scrolls in the drawer instead
        w->selectRows({2});
        QVERIFY(typePopUp(w)->isEnabled());
        chooseType(w, "Weekly");
        QVERIFY(markerShown(w, 2)); // at once; the rule follows when the selection moves
        QVERIFY(rule(w, 2).isEmpty());
        w->selectRows({5});
        QCOMPARE(rule(w, 2), QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=MO"));
        QCOMPARE(w.model()->index(2, EntryTableModel::Repeater).data(Qt::ToolTipRole).toString(), rule(w, 2));
        QVERIFY(rule(w, 5).isEmpty());
        QCOMPARE(w->repeatEditor()->entry(), w.doc().getEntryAtIndex(5));
        QCOMPARE(typePopUp(w)->currentText(), QStringLiteral("Never"));

        // A sort keeps the edit: it lands in the entry that was shown, wherever that moves.
        chooseType(w, "Daily");
        w.doc().getEntryAtIndex(0)->setSummary("Z");
        w->sortSummary(); // F moves from row 5 to row 4
        QCOMPARE(rule(w, 4), QStringLiteral("FREQ=DAILY;INTERVAL=1"));
        QCOMPARE(w.doc().getEntryAtIndex(4)->getSummary(), QStringLiteral("F"));
    }

    // Several rows (or none): the editor is blank and disabled, as is the notes view.
    void severalRowsBlankTheEditor()
    {
        Window w;
        w.addEntries({"A", "B", "C"});
        w.doc().getEntryAtIndex(1)->setRRULE("FREQ=DAILY;INTERVAL=2");
        w->selectRows({1});
        QCOMPARE(typePopUp(w)->currentText(), QStringLiteral("Daily"));
        QCOMPARE(part<QLineEdit>(w, "dailyInterval")->text(), QStringLiteral("2"));
        w->selectRows({0, 1});
        QVERIFY(!w->repeatEditor()->entry());
        QVERIFY(!typePopUp(w)->isEnabled()); // blanked; the blank drawer itself is tst_repeatDrawer's
        QCOMPARE(typePopUp(w)->currentText(), QStringLiteral("Never"));
        QVERIFY(w->notesView()->isReadOnly());
        w->selectRows({2});
        QVERIFY(typePopUp(w)->isEnabled());
        QCOMPARE(rule(w, 1), QStringLiteral("FREQ=DAILY;INTERVAL=2"));
    }

    // After a delete the next selection change writes the editor into no entry.
    void noWriteBackAfterDelete()
    {
        Window w;
        w.addEntries({"A", "B", "C", "D"});
        w->selectRows({1});
        chooseType(w, "Weekly");
        w->deleteEntry();
        w->selectRows({1});
        w->selectRows({2});
        for (int row = 0; row < w.doc().entryCount(); ++row)
            QVERIFY2(rule(w, row).isEmpty(), qPrintable(w.doc().getEntryAtIndex(row)->getSummary()));
    }

    // A rule the editor cannot show, or one nobody changed, survives selection changes byte for
    // byte, also after another entry was edited just before it was shown.
    void untouchedRulesStay_data()
    {
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("week start") << "FREQ=WEEKLY;WKST=SU;BYDAY=MO" << true;
        QTest::newRow("set position") << "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1" << true;
        QTest::newRow("hourly") << "FREQ=HOURLY;INTERVAL=4" << true;
        QTest::newRow("tokens in another order") << "FREQ=WEEKLY;BYDAY=MO,WE;INTERVAL=2" << false;
    }
    void untouchedRulesStay()
    {
        QFETCH(QString, kept);
        QFETCH(bool, readOnly);
        Window w;
        w.addEntries({"Edited", "Kept", "Other"});
        w.doc().getEntryAtIndex(1)->setRRULE(kept);
        w.doc().getEntryAtIndex(1)->setTheRepeater(true);
        w->toolbarAction(TheDrawerIdentifier)->trigger();
        w->selectRows({0});
        chooseType(w, "Monthly");
        w->selectRows({1});
        QCOMPARE(rule(w, 0), QStringLiteral("FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=15"));
        QCOMPARE(typePopUp(w)->isEnabled(), !readOnly);
        if (readOnly)
            QCOMPARE(part<QLineEdit>(w, "theRuleText")->text(), kept);
        w->selectRows({2});
        w->selectRows({1});
        w->toolbarAction(TheDrawerIdentifier)->trigger(); // closed and opened again
        w->toolbarAction(TheDrawerIdentifier)->trigger();
        w->selectRows({0});
        QCOMPARE(rule(w, 1), kept);
        QVERIFY(markerShown(w, 1));
    }

    // Opening the drawer shows the rule the entry holds now, unless an edit is in progress.
    void openingTheDrawerRefreshes()
    {
        Window w;
        w.addEntries({"A"});
        w->selectRows({0});
        w.doc().getEntryAtIndex(0)->setRRULE("FREQ=YEARLY;INTERVAL=3;BYMONTH=3");
        w->openDrawer();
        QCOMPARE(typePopUp(w)->currentText(), QStringLiteral("Yearly"));
        QCOMPARE(part<QLineEdit>(w, "yearInterval")->text(), QStringLiteral("3"));
        chooseType(w, "Daily");
        w->openDrawer();
        w->openDrawer();
        QCOMPARE(typePopUp(w)->currentText(), QStringLiteral("Daily"));
    }

    // The exports clear the selection first, so the rule being edited is what they write.
    void exportsWriteTheEditedRule_data()
    {
        QTest::addColumn<bool>("vcal");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("iCalendar") << false << QByteArray("\r\nRRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO\r\n");
        QTest::newRow("vCalendar") << true << QByteArray("\r\nRRULE:W1 MO #0\r\n");
    }
    void exportsWriteTheEditedRule()
    {
        QFETCH(bool, vcal);
        QFETCH(QByteArray, line);
        Window w;
        w.addEntries({"Weekly"});
        w->selectRows({0});
        chooseType(w, "Weekly");
        const QString path = m_dir.filePath(vcal ? "edited.vcal" : "edited.ics");
        Dialogs::queueAnswer(path);
        if (vcal)
            w->exportToVCal();
        else
            w->exportToFile();
        QTRY_VERIFY(QFile::exists(path));
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        QVERIFY2(bytes.contains(line), bytes.constData());
    }

    // The exception-date table follows the selected entry: it adds and removes on that entry only.
    void exceptionDatesOfTheSelectedEntry()
    {
        Window w;
        w.addEntries({"A", "B"});
        for (int row : {0, 1})
            w.doc().getEntryAtIndex(row)->setRRULE("FREQ=DAILY;INTERVAL=1");
        const EntryPtr a = w.doc().getEntryAtIndex(0);
        const EntryPtr b = w.doc().getEntryAtIndex(1);
        b->setTheEXDATE(CalDate::fromFields(2007, 3, 4, 9, 0, 0));
        w->toolbarAction(TheDrawerIdentifier)->trigger();
        auto* table = part<QTableView>(w, "theEXDATETable2");
        auto* add = part<QPushButton>(w, "addEXDATEButton");
        auto* remove = part<QPushButton>(w, "removeEXDATEButton");

        w->selectRows({1});
        QCOMPARE(table->model()->rowCount(), 1);
        w->selectRows({0});
        QCOMPARE(table->model()->rowCount(), 0);
        add->click();
        QCOMPARE(a->getTheEXDATE(), QList<CalDate> {CalDate::now()});
        QCOMPARE(b->getTheEXDATE().size(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape); // leave the date as added
        table->selectRow(0);
        QVERIFY(remove->isEnabled());
        remove->click();
        QVERIFY(a->getTheEXDATE().isEmpty());
        QCOMPARE(b->getTheEXDATE().size(), 1);
        QCOMPARE(rule(w, 0), QStringLiteral("FREQ=DAILY;INTERVAL=1")); // exception dates are no edit of the rule
    }
};

QTEST_MAIN(TestWindowRepeat)
#include "tst_windowRepeat.moc"
