// The repeat drawer's widgets, offscreen: the grids, the controls showing and changing the editor
// state, the write-back between selections, and the exception-date and occurrence tables.
#include "Dialogs.h"
#include "calendar/dataEntry.h"
#include "repeatDrawer.h"
#include "repeatMatrices.h"
#include "repeatTables.h"
#include "testutil.h"

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>

#include <functional>

namespace
{
EntryPtr entryWith(const QString& rule)
{
    EntryPtr e = dataEntry::create();
    e->setStartTime(CalDate::fromFields(2007, 4, 1, 9, 30, 0));
    e->setStartDate(CalDate::fromFields(2007, 4, 1, 9, 30, 0));
    e->setRRULE(rule);
    return e;
}

template <typename W>
W* child(const QWidget& parent, const char* name)
{
    W* w = parent.findChild<W*>(QLatin1String(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

QAbstractButton* buttonTitled(const QWidget& parent, const QString& title)
{
    for (QAbstractButton* b : parent.findChildren<QAbstractButton*>()) {
        if (b->text() == title && b->isVisible())
            return b;
    }
    qFatal("no visible button %s", qPrintable(title));
    return nullptr;
}

void choose(QComboBox* popUp, const QString& title)
{
    const int i = popUp->findText(title);
    popUp->setCurrentIndex(i);
    Q_EMIT popUp->activated(i); // what a choice by the user sends
}

void type(QLineEdit* field, const QString& text, bool finish)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    if (finish)
        QTest::keyClick(field, Qt::Key_Return);
}
} // namespace

class TestRepeatDrawer : public QObject
{
    Q_OBJECT

    std::unique_ptr<repeatDrawer> m_drawer;
    const repeatDrawer& d() const { return *m_drawer; }

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Kyiv");
        testutil::pinClock("2007-03-21T12:00:00Z"); // Wednesday, 14:00 in Kyiv
    }
    void init()
    {
        Dialogs::resetForTests();
        m_drawer = std::make_unique<repeatDrawer>();
        m_drawer->setDateFormat(QStringLiteral("%d/%m/%Y"));
        m_drawer->resize(420, 900);
        m_drawer->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_drawer.get()));
    }
    void cleanup() { m_drawer.reset(); }
    void cleanupTestCase() { Clock::reset(); }

    // Each grid: its cells in order, the blank positions inert, at least one cell kept on.
    void matrices_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("cells");
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("tip");
        QTest::newRow("week") << 0 << 3 << 3 << 7 << 7 << "Sun"
                              << "Sunday";
        QTest::newRow("month") << 1 << 6 << 7 << 31 << 15 << "15"
                               << "Day 15 of the month";
        QTest::newRow("year") << 2 << 3 << 4 << 12 << 9 << "Sept"
                              << "September";
    }
    void matrices()
    {
        QFETCH(int, kind);
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(int, cells);
        QFETCH(int, tag);
        QFETCH(QString, title);
        QFETCH(QString, tip);
        std::unique_ptr<buttonMatrix> m;
        if (kind == 0)
            m = std::make_unique<weekMatrix>();
        else if (kind == 1)
            m = std::make_unique<monthMatrix>();
        else
            m = std::make_unique<yearMatrix>();
        m->show();
        QVERIFY(QTest::qWaitForWindowExposed(m.get()));
        QCOMPARE(m->cellCount(), cells);
        for (int i = 0; i < rows * columns; ++i) {
            QWidget* w = m->widgetAt(i / columns, i % columns);
            auto* button = qobject_cast<QAbstractButton*>(w);
            QCOMPARE(button != nullptr, i < cells);
            QCOMPARE(w->isEnabled(), i < cells);
            if (button) {
                QCOMPARE(button, m->cellWithTag(i + 1));
                QCOMPARE(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name), button->text());
                if (kind == 1)
                    QCOMPARE(button->font().pointSize(), 12);
            }
        }
        QAbstractButton* cell = m->cellWithTag(tag);
        QCOMPARE(cell->text(), title);
        QCOMPARE(cell->toolTip(), tip);
        QCOMPARE(QAccessible::queryAccessibleInterface(cell)->text(QAccessible::Description), tip);

        QSignalSpy toggled(m.get(), &buttonMatrix::cellToggled);
        QTest::mouseClick(cell, Qt::LeftButton);
        QVERIFY(m->isOn(tag) && cell->isChecked());
        QTest::mouseClick(cell, Qt::LeftButton); // the only cell on stays on
        QVERIFY(m->isOn(tag) && cell->isChecked());
        QTest::mouseClick(m->cellWithTag(1), Qt::LeftButton);
        QTest::mouseClick(cell, Qt::LeftButton);
        QVERIFY(!m->isOn(tag) && !cell->isChecked() && m->isOn(1));
        QCOMPARE(toggled.size(), 4);
        QCOMPARE(toggled.last().first().toInt(), tag);
    }

    void showsLoadedRule()
    {
        m_drawer->updateRRULEDrawer(entryWith(QStringLiteral("FREQ=MONTHLY;COUNT=3;INTERVAL=1;BYDAY=-1SU")));
        auto* popUp = child<QComboBox>(d(), "theRepeatType");
        QCOMPARE(popUp->currentText(), QStringLiteral("Monthly"));
        QVERIFY(popUp->isEnabled());
        QCOMPARE(child<QStackedWidget>(d(), "Box")->currentWidget()->objectName(), QStringLiteral("theMonthlyView"));
        QCOMPARE(child<QStackedWidget>(d(), "endBox")->currentWidget()->objectName(), QStringLiteral("theBottomView"));
        QCOMPARE(child<QComboBox>(d(), "monthOnePUB")->currentIndex(), 4);
        QCOMPARE(child<QComboBox>(d(), "monthOnePUB")->currentData().toInt(), -1);
        QCOMPARE(child<QComboBox>(d(), "monthTwoPUB")->currentIndex(), 6);
        QVERIFY(child<QComboBox>(d(), "monthTwoPUB")->isEnabled());
        QVERIFY(!child<QWidget>(d(), "theMonthView")->isEnabled());
        QCOMPARE(child<QLineEdit>(d(), "numberOfRepeats")->text(), QStringLiteral("3"));
        QVERIFY(child<QLineEdit>(d(), "numberOfRepeats")->isEnabled());
        QVERIFY(!child<QLineEdit>(d(), "repeatUntilDate")->isEnabled());
        QCOMPARE(child<QLabel>(d(), "theTimesText")->text(), QStringLiteral("time(s)"));
        QCOMPARE(child<QLabel>(d(), "endText")->text(), QStringLiteral("End:"));
        QCOMPARE(child<QButtonGroup>(d(), "radioButtons")->checkedId(), 2);
    }

    // The first example, clicked in the drawer; the count field takes digits only.
    void controlsBuildTheRule()
    {
        EntryPtr e = entryWith(QString());
        m_drawer->updateRRULEDrawer(e);
        QVERIFY(!child<QWidget>(d(), "theEXDATETable2")->isEnabled());
        QSignalSpy marker(m_drawer.get(), &repeatDrawer::repeaterChanged);
        choose(child<QComboBox>(d(), "theRepeatType"), QStringLiteral("Weekly"));
        QCOMPARE(marker.size(), 1);
        QCOMPARE(e->getTheRepeater(), QStringLiteral("repeat"));
        QVERIFY(buttonTitled(d(), QStringLiteral("Wed"))->isChecked()); // today
        QTest::mouseClick(buttonTitled(d(), QStringLiteral("Mon")), Qt::LeftButton);
        type(child<QLineEdit>(d(), "weekInterval"), QStringLiteral("2"), false);
        auto* count = child<QLineEdit>(d(), "numberOfRepeats");
        QVERIFY(!count->isEnabled());
        QTest::mouseClick(buttonTitled(d(), QStringLiteral("After")), Qt::LeftButton);
        QVERIFY(count->isEnabled());
        QCOMPARE(child<QLabel>(d(), "theTimesText")->text(), QStringLiteral("Time(s)"));
        type(count, QStringLiteral("1x0-"), false);
        QCOMPARE(count->text(), QStringLiteral("10"));
        QVERIFY(m_drawer->setTheRRULE(*e));
        QCOMPARE(e->getRRULENoRRULE(), QStringLiteral("FREQ=WEEKLY;COUNT=10;INTERVAL=2;BYDAY=MO,WE"));
    }

    // Opening the drawer shows the entry's rule again, unless the user is editing it; then the
    // edit is what is written. (The write-back between selections is tst_windowRepeat's.)
    void openingShowsTheRuleUnlessEditing()
    {
        EntryPtr e = entryWith(QStringLiteral("FREQ=DAILY;INTERVAL=1;COUNT=2"));
        m_drawer->updateRRULEDrawer(e);
        e->setRRULE(QStringLiteral("FREQ=YEARLY;INTERVAL=1;BYMONTH=4"));
        m_drawer->drawerDidOpen();
        QCOMPARE(child<QComboBox>(d(), "theRepeatType")->currentText(), QStringLiteral("Yearly"));
        QTest::mouseClick(buttonTitled(d(), QStringLiteral("Sept")), Qt::LeftButton);
        m_drawer->drawerDidOpen();
        QVERIFY(buttonTitled(d(), QStringLiteral("Sept"))->isChecked());
        QVERIFY(m_drawer->setTheRRULE(*e));
        QCOMPARE(e->getRRULENoRRULE(), QStringLiteral("FREQ=YEARLY;INTERVAL=1;BYMONTH=4,9"));
    }

    // No row or several rows: everything blank and disabled, the tables empty.
    void blankAndDisabled()
    {
        EntryPtr e = entryWith(QStringLiteral("FREQ=DAILY;UNTIL=20081231T235959;INTERVAL=1"));
        e->setTheEXDATE(CalDate::fromFields(2007, 4, 3, 9, 30, 0));
        m_drawer->updateRRULEDrawer(e);
        QCOMPARE(child<QTableView>(d(), "theEXDATETable2")->model()->rowCount(), 1);
        m_drawer->blankAndDisable();
        auto* popUp = child<QComboBox>(d(), "theRepeatType");
        QVERIFY(!popUp->isEnabled());
        QCOMPARE(popUp->currentText(), QStringLiteral("Never"));
        QCOMPARE(child<QStackedWidget>(d(), "Box")->currentIndex(), 0);
        QCOMPARE(child<QStackedWidget>(d(), "endBox")->currentIndex(), 0);
        QCOMPARE(child<QButtonGroup>(d(), "radioButtons")->checkedId(), 1);
        for (QAbstractButton* radio : child<QButtonGroup>(d(), "radioButtons")->buttons())
            QVERIFY(!radio->isEnabled());
        for (const char* field : {"numberOfRepeats", "repeatUntilDate"}) {
            QVERIFY(!child<QLineEdit>(d(), field)->isEnabled());
            QCOMPARE(child<QLineEdit>(d(), field)->text(), QString());
        }
        QCOMPARE(child<QLabel>(d(), "endText")->text(), QString());
        QCOMPARE(child<QTableView>(d(), "theEXDATETable2")->model()->rowCount(), 0);
        QVERIFY(!child<QPushButton>(d(), "addEXDATEButton")->isEnabled());
        QVERIFY(!child<QPushButton>(d(), "removeEXDATEButton")->isEnabled());
        QVERIFY(!m_drawer->setTheRRULE(*e));
        QCOMPARE(e->getRRULENoRRULE(), QStringLiteral("FREQ=DAILY;UNTIL=20081231T235959;INTERVAL=1"));
    }

    void unshowableRuleIsShownAsText()
    {
        const QString rule = QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;WKST=SU");
        EntryPtr e = entryWith(rule);
        m_drawer->updateRRULEDrawer(e);
        auto* popUp = child<QComboBox>(d(), "theRepeatType");
        QVERIFY(!popUp->isEnabled());
        QCOMPARE(popUp->currentText(), QStringLiteral("Weekly"));
        auto* text = child<QLineEdit>(d(), "theRuleText");
        QVERIFY(text->isVisible() && text->isReadOnly());
        QCOMPARE(text->text(), rule);
        QVERIFY(child<QPushButton>(d(), "addEXDATEButton")->isEnabled());
        QVERIFY(!m_drawer->setTheRRULE(*e));
        QCOMPARE(e->getRRULENoRRULE(), rule);
    }

    // The until field reads the document's date format; what is not a date is refused aloud.
    void untilField()
    {
        EntryPtr e = entryWith(QStringLiteral("FREQ=DAILY;INTERVAL=1"));
        m_drawer->updateRRULEDrawer(e);
        QTest::mouseClick(buttonTitled(d(), QStringLiteral("Until")), Qt::LeftButton);
        auto* until = child<QLineEdit>(d(), "repeatUntilDate");
        QVERIFY(until->isEnabled());
        Dialogs::queueAnswer(0);
        type(until, QStringLiteral("Silvester"), true);
        QCOMPARE(until->text(), QString());
        QCOMPARE(Dialogs::log().size(), 1);
        QVERIFY(Dialogs::log().first().startsWith(QStringLiteral("Error!: \"Silvester\" is not a date.")));
        type(until, QStringLiteral("31/12/2008"), false); // still being typed when the selection moves
        QVERIFY(m_drawer->setTheRRULE(*e));
        QCOMPARE(e->getRRULENoRRULE(), QStringLiteral("FREQ=DAILY;UNTIL=20081231T235959;INTERVAL=1"));
    }

    // Tag 1: add today's date and time, edit the day in place, remove the selected row.
    void exceptionDates()
    {
        EntryPtr e = entryWith(QStringLiteral("FREQ=DAILY;INTERVAL=1"));
        m_drawer->updateRRULEDrawer(e);
        auto* table = child<QTableView>(d(), "theEXDATETable2");
        auto* add = child<QPushButton>(d(), "addEXDATEButton");
        auto* remove = child<QPushButton>(d(), "removeEXDATEButton");
        QCOMPARE(table->property("tag").toInt(), 1);
        QVERIFY(add->isEnabled() && !remove->isEnabled());

        QTest::mouseClick(add, Qt::LeftButton);
        QCOMPARE(e->getTheEXDATE().size(), 1);
        QCOMPARE(e->getTheEXDATE().first(), CalDate::now());
        QCOMPARE(table->model()->index(0, 0).data().toString(), QStringLiteral("21/03/2007"));
        QVERIFY(remove->isEnabled());
        auto* editor = table->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        type(editor, QStringLiteral("25/03/2007"), true);
        // The view commits the edit on its next turn; the time of day stays.
        QTRY_COMPARE(e->getTheEXDATE().first(), CalDate::fromFields(2007, 3, 25, 14, 0, 0));
        QVERIFY(!table->model()->setData(table->model()->index(0, 0), QStringLiteral("someday")));
        QCOMPARE(e->getTheEXDATE().first(), CalDate::fromFields(2007, 3, 25, 14, 0, 0));

        table->selectRow(0);
        QTest::mouseClick(remove, Qt::LeftButton);
        QVERIFY(e->getTheEXDATE().isEmpty());
        QCOMPARE(table->model()->rowCount(), 0);
        QVERIFY(!remove->isEnabled());

        choose(child<QComboBox>(d(), "theRepeatType"), QStringLiteral("Never"));
        QVERIFY(!table->isEnabled() && !add->isEnabled());
    }

    // Tag 13: one row per override record, its dates in the document's format.
    void occurrences()
    {
        EntryPtr e = entryWith(QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=SU"));
        EntryPtr moved = dataEntry::create();
        moved->setRecDate(CalDate::fromFields(2007, 4, 8, 9, 30, 0));
        moved->setStartDate(CalDate::fromFields(2007, 4, 9, 9, 30, 0));
        e->addRecObjectArray(moved);
        m_drawer->updateRRULEDrawer(e);
        auto* table = child<QTableView>(d(), "theReoccTable");
        QCOMPARE(table->property("tag").toInt(), 13);
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(table->model()->index(0, 0).data().toString(), QStringLiteral("08/04/2007"));
        QCOMPARE(table->model()->index(0, 1).data().toString(), QStringLiteral("09/04/2007"));
        m_drawer->blankAndDisable();
        QCOMPARE(table->model()->rowCount(), 0);
    }

    // Every control announces its visible label and its tooltip.
    void accessibleNamesAndDescriptions()
    {
        m_drawer->updateRRULEDrawer(entryWith(QStringLiteral("FREQ=YEARLY;INTERVAL=1;BYMONTH=9")));
        int checked = 0;
        for (QWidget* w : m_drawer->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w)
                || qobject_cast<QComboBox*>(w) || qobject_cast<QTableView*>(w);
            if (!control || qobject_cast<QAbstractItemView*>(w->parentWidget()) || w->window() != m_drawer.get())
                continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            const QString name = a->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty(), qPrintable(w->objectName()));
            QVERIFY2(!w->toolTip().isEmpty(), qPrintable(name));
            QCOMPARE(a->text(QAccessible::Description), w->toolTip());
            if (auto* b = qobject_cast<QAbstractButton*>(w); b && !b->text().isEmpty())
                QCOMPARE(name, b->text());
            ++checked;
        }
        QVERIFY(checked > 70);
    }
};

QTEST_MAIN(TestRepeatDrawer)
#include "tst_repeatDrawer.moc"
