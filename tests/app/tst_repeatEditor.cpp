// The repeat editor's state without a window: loading rules into the controls, building them
// back, the control actions and the guards that keep rules from files intact.
#include "calendar/dataEntry.h"
#include "repeatEditorState.h"
#include "testutil.h"

#include <QRandomGenerator>
#include <QTest>

using S = repeatEditorState;

namespace
{
EntryPtr entryWith(const QString& rule, const CalDate& start = CalDate::fromFields(2007, 4, 1, 9, 30, 0))
{
    EntryPtr e = dataEntry::create();
    e->setStartDate(start);
    e->setRRULE(rule);
    return e;
}

/// What the controls show, in one line: type, interval, chosen cells or position, end condition.
QString shown(const S& s)
{
    const S::Controls& c = s.controls();
    QStringList out {S::typeTitles().value(c.typeIndex, QStringLiteral("-"))};
    const auto cells = [](const auto& array, const QStringList& names) {
        QStringList on;
        for (int i = 0; i < int(array.size()); ++i) {
            if (array[i])
                on << names.value(i, QString::number(i + 1));
        }
        return on.join(QLatin1Char(','));
    };
    switch (c.typeIndex) {
    case S::Daily:
        out << c.dailyInterval;
        break;
    case S::Weekly:
        out << c.weekInterval << cells(c.weekCells, S::weekCellTitles());
        break;
    case S::Monthly:
        out << c.monthInterval
            << (c.monthChoice == 1 ? cells(c.monthCells, {})
                                   : QStringLiteral("pos%1/%2").arg(c.monthOrdinal).arg(c.monthWeekday))
            << (c.monthGridEnabled ? "grid" : "nogrid");
        break;
    case S::Yearly:
        out << c.yearInterval << cells(c.yearCells, S::yearCellTitles());
        if (c.yearBox)
            out << QStringLiteral("pos%1/%2").arg(c.yearOrdinal).arg(c.yearWeekday);
        break;
    default:
        break;
    }
    if (c.endTag == 2)
        out << QStringLiteral("after") << c.countText << c.timesText;
    if (c.endTag == 3)
        out << QStringLiteral("until") << c.untilText;
    return out.join(QLatin1Char(' '));
}

QStringList canonicalRules()
{
    return {"FREQ=DAILY;INTERVAL=1",
            "FREQ=DAILY;COUNT=5;INTERVAL=2",
            "FREQ=DAILY;UNTIL=20081231T235959;INTERVAL=3",
            "FREQ=WEEKLY;COUNT=10;INTERVAL=2;BYDAY=MO,WE",
            "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO,TU,WE,TH,FR,SA,SU",
            "FREQ=MONTHLY;COUNT=3;INTERVAL=1;BYDAY=-1SU",
            "FREQ=MONTHLY;UNTIL=20080131T235959;INTERVAL=6;BYDAY=2TU",
            "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=1,15,31",
            "FREQ=YEARLY;INTERVAL=1;UNTIL=20081231T235959;BYDAY=-1FR;BYMONTH=11",
            "FREQ=YEARLY;INTERVAL=2;COUNT=4;BYMONTH=3,9",
            "FREQ=YEARLY;INTERVAL=9999;BYDAY=4SA;BYMONTH=1,2,3,4,5,6,7,8,9,10,11,12"};
}
} // namespace

class TestRepeatEditor : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Kyiv");
        testutil::pinClock("2007-03-21T12:00:00Z"); // a Wednesday
    }
    void cleanupTestCase() { Clock::reset(); }

    // Loads show what the rule says; building gives the rule back (canonical forms byte for byte,
    // forms that leave parts to the start date with those parts filled in).
    void loadAndBuild_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("controls");
        QTest::addColumn<QString>("built");
        const QString dmy = QStringLiteral("%d/%m/%Y");
        QTest::newRow("no rule") << "" << dmy << "Never"
                                 << "";
        QTest::newRow("monthly last Sunday, 3 times")
            << "FREQ=MONTHLY;COUNT=3;INTERVAL=1;BYDAY=-1SU" << dmy << "Monthly 1 pos4/6 nogrid after 3 time(s)"
            << "FREQ=MONTHLY;COUNT=3;INTERVAL=1;BYDAY=-1SU";
        QTest::newRow("weekly without days, start on a Sunday") << "FREQ=WEEKLY;INTERVAL=1" << dmy << "Weekly 1 Sun"
                                                                << "FREQ=WEEKLY;INTERVAL=1;BYDAY=SU";
        QTest::newRow("monthly without days takes the start day")
            << "FREQ=MONTHLY;INTERVAL=2" << dmy << "Monthly 2 1 grid"
            << "FREQ=MONTHLY;INTERVAL=2;BYMONTHDAY=1";
        QTest::newRow("yearly without months takes the start month") << "FREQ=YEARLY" << dmy << "Yearly 1 Apr"
                                                                     << "FREQ=YEARLY;INTERVAL=1;BYMONTH=4";
        QTest::newRow("until in UTC is shown as its day, stored to the day's end")
            << "FREQ=DAILY;INTERVAL=1;UNTIL=20051231T000000Z" << dmy << "Daily 1 until 31/12/2005"
            << "FREQ=DAILY;UNTIL=20051231T235959;INTERVAL=1";
        QTest::newRow("US short date") << "FREQ=WEEKLY;UNTIL=20081231T235959;INTERVAL=1;BYDAY=FR"
                                       << "%m/%d/%y"
                                       << "Weekly 1 Fri until 12/31/08"
                                       << "FREQ=WEEKLY;UNTIL=20081231T235959;INTERVAL=1;BYDAY=FR";
        QTest::newRow("stray semicolon, plus sign") << "FREQ=MONTHLY;BYDAY=+2TU;" << dmy << "Monthly 1 pos1/1 nogrid"
                                                    << "FREQ=MONTHLY;INTERVAL=1;BYDAY=2TU";
        QTest::newRow("yearly position") << "FREQ=YEARLY;INTERVAL=1;UNTIL=20081231T235959;BYDAY=-1FR;BYMONTH=11" << dmy
                                         << "Yearly 1 Nov pos4/4 until 31/12/2008"
                                         << "FREQ=YEARLY;INTERVAL=1;UNTIL=20081231T235959;BYDAY=-1FR;BYMONTH=11";
        for (const QString& rule : canonicalRules())
            QTest::newRow(qPrintable(rule)) << rule << dmy << QString() << rule;
    }
    void loadAndBuild()
    {
        QFETCH(QString, rule);
        QFETCH(QString, format);
        QFETCH(QString, controls);
        QFETCH(QString, built);
        S s;
        s.setDateFormat(format);
        EntryPtr e = entryWith(rule); // 1 April 2007, a Sunday
        s.updateRRULEDrawer(*e);
        QVERIFY(!s.isReadOnly());
        QVERIFY(!s.isChanged());
        QVERIFY(s.controls().typeEnabled);
        if (!controls.isEmpty())
            QCOMPARE(shown(s), controls);
        QCOMPARE(s.buildRRULE(), built);
        // What the editor builds, it shows again as it was.
        e->setRRULE(built);
        const QString before = shown(s);
        s.updateRRULEDrawer(*e);
        QCOMPARE(shown(s), before);
        QCOMPARE(s.buildRRULE(), built);
    }

    // Nothing of one entry's rule is carried into the next entry shown.
    void nothingCarriesOver()
    {
        S s;
        const QStringList rules = canonicalRules() << QString();
        for (const QString& first : rules) {
            for (const QString& second : rules) {
                s.updateRRULEDrawer(*entryWith(first));
                s.updateRRULEDrawer(*entryWith(second));
                QCOMPARE(s.buildRRULE(), second);
            }
        }
    }

    // A rule the controls cannot express is shown as text, the type controls are off, and no
    // action stores anything over it.
    void unshowableRulesStayUnchanged_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<int>("typeIndex");
        QTest::newRow("FREQ not first") << "INTERVAL=1;FREQ=DAILY" << -1;
        QTest::newRow("hourly") << "FREQ=HOURLY;INTERVAL=1" << -1;
        QTest::newRow("lower case") << "freq=daily" << -1;
        QTest::newRow("translation error") << "Error" << -1;
        QTest::newRow("BYSETPOS") << "FREQ=MONTHLY;BYDAY=MO;BYSETPOS=1" << int(S::Monthly);
        QTest::newRow("WKST") << "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO;WKST=SU" << int(S::Weekly);
        QTest::newRow("BYHOUR") << "FREQ=DAILY;BYHOUR=9,17" << int(S::Daily);
        QTest::newRow("weekdays of a daily rule") << "FREQ=DAILY;BYDAY=MO,FR" << int(S::Daily);
        QTest::newRow("count in words") << "FREQ=DAILY;COUNT=ten" << int(S::Daily);
        QTest::newRow("count 0") << "FREQ=DAILY;COUNT=0;INTERVAL=1" << int(S::Daily);
        QTest::newRow("count too big") << "FREQ=DAILY;COUNT=10000" << int(S::Daily);
        QTest::newRow("count and until") << "FREQ=DAILY;COUNT=3;UNTIL=20081231" << int(S::Daily);
        QTest::newRow("two intervals") << "FREQ=DAILY;INTERVAL=1;INTERVAL=2" << int(S::Daily);
        QTest::newRow("bad until") << "FREQ=DAILY;UNTIL=20081331" << int(S::Daily);
        QTest::newRow("short until") << "FREQ=DAILY;UNTIL=2008" << int(S::Daily);
        QTest::newRow("token without value") << "FREQ=DAILY;X" << int(S::Daily);
        QTest::newRow("unknown weekday") << "FREQ=WEEKLY;BYDAY=MO,XX" << int(S::Weekly);
        QTest::newRow("weekly position") << "FREQ=WEEKLY;BYDAY=1MO" << int(S::Weekly);
        QTest::newRow("fifth Monday") << "FREQ=MONTHLY;BYDAY=5MO" << int(S::Monthly);
        QTest::newRow("every Monday of the month") << "FREQ=MONTHLY;BYDAY=MO" << int(S::Monthly);
        QTest::newRow("two positions") << "FREQ=MONTHLY;BYDAY=1MO,3MO" << int(S::Monthly);
        QTest::newRow("last day of the month") << "FREQ=MONTHLY;BYMONTHDAY=-1" << int(S::Monthly);
        QTest::newRow("days and position") << "FREQ=MONTHLY;BYMONTHDAY=1;BYDAY=1MO" << int(S::Monthly);
        QTest::newRow("position in the year") << "FREQ=YEARLY;BYDAY=20MO" << int(S::Yearly);
        QTest::newRow("yearly position without months") << "FREQ=YEARLY;BYDAY=1MO" << int(S::Yearly);
        QTest::newRow("month 13") << "FREQ=YEARLY;BYMONTH=13" << int(S::Yearly);
        QTest::newRow("month days of a yearly rule") << "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29" << int(S::Yearly);
        QTest::newRow("empty weekday list") << "FREQ=WEEKLY;BYDAY=" << int(S::Weekly);
        QTest::newRow("empty month list") << "FREQ=YEARLY;BYMONTH=1,,2" << int(S::Yearly);
        QTest::newRow("ordinal only") << "FREQ=MONTHLY;BYDAY=-1" << int(S::Monthly);
        QTest::newRow("name missing") << "FREQ=DAILY;=5" << int(S::Daily);
    }
    void unshowableRulesStayUnchanged()
    {
        QFETCH(QString, rule);
        QFETCH(int, typeIndex);
        S s;
        EntryPtr e = entryWith(rule);
        s.updateRRULEDrawer(*e);
        QVERIFY(s.isReadOnly());
        QCOMPARE(s.controls().typeIndex, typeIndex);
        QVERIFY(!s.controls().typeEnabled);
        QCOMPARE(s.controls().box, S::Pane::RuleText);
        QCOMPARE(s.controls().ruleText, rule);
        QVERIFY(!s.controls().endBoxShown);
        QVERIFY(!s.repeatTypeDidChange(QStringLiteral("Weekly"), e.get()));
        s.mainRadioButton(2);
        s.toggleWeekCell(1);
        QCOMPARE(s.buildRRULE(), rule);
        QVERIFY(!s.setTheRRULE(*e));
        QCOMPARE(e->getRRULENoRRULE(), rule);
    }

    // Any rule mixed from good and bad parts: one the editor shows settles after one build, and
    // one it cannot show comes back byte for byte.
    void mixedRulesSettle()
    {
        const QStringList freqs {"FREQ=DAILY", "FREQ=WEEKLY", "FREQ=MONTHLY", "FREQ=YEARLY", "FREQ=HOURLY", "COUNT=2"};
        // "|" separates the parts; "||" gives an empty one.
        const QStringList parts = QStringLiteral("INTERVAL=2|INTERVAL=0|COUNT=3|COUNT=ten|UNTIL=20081231|UNTIL=2008|"
                                                 "BYDAY=MO,WE|BYDAY=1MO|BYDAY=-1FR|BYDAY=5SU|BYMONTHDAY=1|"
                                                 "BYMONTHDAY=1,31|BYMONTHDAY=32|BYMONTH=3,9|BYMONTH=13|WKST=SU||X|=|"
                                                 "UNTIL=20080229T120000Z")
                                      .split(QLatin1Char('|'));
        QRandomGenerator random(14);
        S s;
        int shownRules = 0;
        for (int i = 0; i < 3000; ++i) {
            QStringList tokens {freqs.at(int(random.bounded(int(freqs.size()))))};
            for (int n = int(random.bounded(0, 4)); n > 0; --n)
                tokens << parts.at(int(random.bounded(int(parts.size()))));
            const QString rule = tokens.join(QLatin1Char(';'));
            EntryPtr e = entryWith(rule);
            s.updateRRULEDrawer(*e);
            const QString once = s.buildRRULE();
            if (s.isReadOnly()) {
                QCOMPARE(once, rule);
                continue;
            }
            ++shownRules;
            QVERIFY2(S::canShow(once), qPrintable(rule));
            e->setRRULE(once);
            s.updateRRULEDrawer(*e);
            QCOMPARE(s.buildRRULE(), once);
        }
        QVERIFY(shownRules > 500);
    }

    // A rule is written back only after a control changed, so token order stays as read.
    void writesBackOnlyWhenChanged()
    {
        S s;
        const QString read = QStringLiteral("FREQ=WEEKLY;BYDAY=MO;INTERVAL=2");
        EntryPtr e = entryWith(read);
        s.updateRRULEDrawer(*e);
        QVERIFY(!s.setTheRRULE(*e));
        QCOMPARE(e->getRRULENoRRULE(), read);

        // Away to another type and back reloads the stored rule: nothing changed.
        QVERIFY(s.repeatTypeDidChange(QStringLiteral("Daily"), e.get()));
        QVERIFY(s.isChanged());
        QVERIFY(s.repeatTypeDidChange(QStringLiteral("Weekly"), e.get()));
        QVERIFY(!s.isChanged());
        QVERIFY(!s.setTheRRULE(*e));

        s.toggleWeekCell(3);
        QVERIFY(s.setTheRRULE(*e));
        QCOMPARE(e->getRRULENoRRULE(), QStringLiteral("FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE"));
        QCOMPARE(e->getTheRepeater(), QStringLiteral("repeat"));

        // Text fields count as changed only when their text changes.
        s.updateRRULEDrawer(*e);
        QVERIFY(s.setInterval(S::Weekly, QStringLiteral("2")));
        QVERIFY(!s.isChanged());

        // "Never" turns the marker off at once and stores the empty rule.
        QVERIFY(s.repeatTypeDidChange(QStringLiteral("Never"), e.get()));
        QCOMPARE(e->getTheRepeater(), QStringLiteral("blank"));
        QVERIFY(!s.controls().exceptionsEnabled);
        QVERIFY(s.setTheRRULE(*e));
        QCOMPARE(e->getRRULENoRRULE(), QString());
        QVERIFY(!s.repeatTypeDidChange(QStringLiteral("Hourly"), e.get()));
    }

    // Choosing a type for an entry without that rule turns on today's cell.
    void typeChosenForEntryWithoutRule_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("built");
        QTest::newRow("Never") << "Never"
                               << "";
        QTest::newRow("Daily") << "Daily"
                               << "FREQ=DAILY;INTERVAL=1";
        QTest::newRow("Weekly on a Sunday") << "Weekly"
                                            << "FREQ=WEEKLY;INTERVAL=1;BYDAY=SU";
        QTest::newRow("Monthly") << "Monthly"
                                 << "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=18";
        QTest::newRow("Yearly") << "Yearly"
                                << "FREQ=YEARLY;INTERVAL=1;BYMONTH=3";
    }
    void typeChosenForEntryWithoutRule()
    {
        QFETCH(QString, type);
        QFETCH(QString, built);
        testutil::pinClock("2007-03-18T08:00:00Z"); // Sunday
        S s;
        EntryPtr e = entryWith(QString(), CalDate::fromFields(2007, 3, 21, 9, 0, 0)); // starts on a Wednesday
        s.updateRRULEDrawer(*e);
        QCOMPARE(s.controls().endText, QString());
        QVERIFY(!s.controls().endRadioEnabled);
        QVERIFY(s.repeatTypeDidChange(type, e.get()));
        QCOMPARE(s.buildRRULE(), built);
        QCOMPARE(e->getTheRepeater(), built.isEmpty() ? QStringLiteral("blank") : QStringLiteral("repeat"));
        QCOMPARE(s.controls().endText, built.isEmpty() ? QString() : QStringLiteral("End:"));
        QCOMPARE(s.controls().endRadioEnabled, !built.isEmpty());
        QCOMPARE(s.controls().exceptionsEnabled, !built.isEmpty());
        QVERIFY(s.setTheRRULE(*e));
        QCOMPARE(e->getRRULENoRRULE(), built);
        testutil::pinClock("2007-03-21T12:00:00Z");
    }

    // Both worked examples, clicked together from an entry without a rule.
    void examplesFromControls()
    {
        S s;
        EntryPtr e = entryWith(QString());
        s.updateRRULEDrawer(*e);
        s.repeatTypeDidChange(QStringLiteral("Weekly"), e.get()); // today: Wednesday
        QVERIFY(s.setInterval(S::Weekly, QStringLiteral("2")));
        s.toggleWeekCell(1);
        s.mainRadioButton(2);
        QCOMPARE(s.controls().timesText, QStringLiteral("Time(s)"));
        QVERIFY(s.controls().countEnabled);
        QVERIFY(s.setCountText(QStringLiteral("10")));
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=WEEKLY;COUNT=10;INTERVAL=2;BYDAY=MO,WE"));

        s.updateRRULEDrawer(*entryWith(QString()));
        s.repeatTypeDidChange(QStringLiteral("Yearly"), e.get()); // March on
        s.toggleYearCell(11);
        s.toggleYearCell(3);
        s.yearCheck(true);
        QVERIFY(s.controls().yearPopupsEnabled);
        s.setYearOrdinal(4);
        s.setYearWeekday(4);
        s.mainRadioButton(3);
        QVERIFY(s.controls().untilEnabled && !s.controls().countEnabled);
        QVERIFY(!s.setUntilText(QStringLiteral("Silvester")));
        QVERIFY(s.setUntilText(QStringLiteral("31/12/2008")));
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=YEARLY;INTERVAL=1;UNTIL=20081231T235959;BYDAY=-1FR;BYMONTH=11"));
        s.yearCheck(false);
        QVERIFY(!s.controls().yearPopupsEnabled);
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=YEARLY;INTERVAL=1;UNTIL=20081231T235959;BYMONTH=11"));
    }

    // Empty fields stand for interval 1 and for no end; the count takes 1 to 9999 only.
    void emptyAndBadFields()
    {
        S s;
        s.updateRRULEDrawer(*entryWith(QStringLiteral("FREQ=YEARLY;INTERVAL=2;BYMONTH=3")));
        QVERIFY(s.setInterval(S::Yearly, QString()));
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=YEARLY;INTERVAL=1;BYMONTH=3"));

        s.updateRRULEDrawer(*entryWith(QStringLiteral("FREQ=DAILY;INTERVAL=1")));
        s.mainRadioButton(2);
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=DAILY;INTERVAL=1"));
        for (const char* bad : {"ten", "0", "07", "10000", "-1", "1 "}) {
            QVERIFY2(!s.setCountText(QString::fromLatin1(bad)), bad);
            QVERIFY2(!s.setInterval(S::Daily, QString::fromLatin1(bad)), bad);
        }
        QVERIFY(s.setCountText(QStringLiteral("9999")));
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=DAILY;COUNT=9999;INTERVAL=1"));
        s.mainRadioButton(1); // the count stays in its field but no longer counts
        QVERIFY(!s.controls().countEnabled);
        QCOMPARE(s.controls().timesText, QString());
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=DAILY;INTERVAL=1"));
        s.mainRadioButton(3);
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=DAILY;INTERVAL=1"));
    }

    // Every grid keeps its last cell on; the monthly choice switches between grid and position.
    void gridsAndMonthlyChoice()
    {
        S s;
        s.updateRRULEDrawer(*entryWith(QStringLiteral("FREQ=YEARLY;INTERVAL=1;BYMONTH=5")));
        s.toggleYearCell(5);
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=YEARLY;INTERVAL=1;BYMONTH=5"));
        s.toggleYearCell(6);
        s.toggleYearCell(5);
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=YEARLY;INTERVAL=1;BYMONTH=6"));

        s.updateRRULEDrawer(*entryWith(QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=TU")));
        s.toggleWeekCell(2);
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=TU"));

        s.updateRRULEDrawer(*entryWith(QStringLiteral("FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=31")));
        s.toggleMonthCell(31);
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=31"));
        s.monthRadioButton(2);
        QVERIFY(s.controls().monthPopupsEnabled && !s.controls().monthGridEnabled);
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=MONTHLY;INTERVAL=1;BYDAY=1MO"));
        s.setMonthOrdinal(2);
        s.setMonthWeekday(3);
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=MONTHLY;INTERVAL=1;BYDAY=3TH"));
        s.monthRadioButton(1); // today is the 21st
        QVERIFY(!s.controls().monthPopupsEnabled && s.controls().monthGridEnabled);
        QCOMPARE(s.buildRRULE(), QStringLiteral("FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=21"));
    }
};

QTEST_GUILESS_MAIN(TestRepeatEditor)
#include "tst_repeatEditor.moc"
