#include "calendar/aCalendar.h"
#include "formats/repeatList.h"
#include "platform/Parallel.h"
#include "platform/Uuid.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

namespace
{
const QString kStamp = QStringLiteral("%Y%m%dT%H%M%S");

CalDate at(const QString& text)
{
    return text.size() == 8 ? CalDate::parse(text, QStringLiteral("%Y%m%d")) : CalDate::parse(text, kStamp);
}

/// An entry as the reader makes it: times first, then dates. "20070315T093000" is timed,
/// "20070315" all-day; an empty end leaves the end absent.
EntryPtr makeEntry(const QString& start, const QString& end, const QString& rrule = QString(),
                   const QString& summary = QStringLiteral("x"))
{
    EntryPtr e = dataEntry::create();
    const CalDate s = at(start);
    const CalDate en = end.isEmpty() ? CalDate() : at(end);
    if (start.size() > 8)
        e->setStartTime(s);
    e->setStartDate(s);
    if (!end.isEmpty()) {
        if (end.size() > 8)
            e->setEndTime(en);
        e->setEndDate(en);
    }
    e->setSummary(summary);
    e->setRRULE(rrule);
    return e;
}

QStringList starts(const EntryList& list)
{
    QStringList out;
    for (const EntryPtr& e : list)
        out << e->getFullStartTime().format(kStamp);
    return out;
}

QString joined(const EntryList& list)
{
    return starts(list).join(QLatin1Char(','));
}

/// The warning for repeating events of each frequency named that continue past the horizon.
QString pastTheLastDate(const QStringList& frequencies)
{
    QString out = QStringLiteral("\r\r");
    for (const QString& f : frequencies)
        out += "There are " + f + " repeating events that continue past the last date\r\r";
    return out;
}

EntryList expand(const EntryPtr& e, const QString& horizon = QString())
{
    repeatList rl {EntryList()};
    return rl.expandRRULEDatesUntil(e, horizon.isEmpty() ? CalDate() : at(horizon));
}
} // namespace

class tst_repeatList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
    }
    void init() { testutil::pinZone("Europe/Paris"); }

    void boundedRules_data();
    void boundedRules();
    void agreesWithDateutil();
    void horizonDaily();
    void horizonWeeklyCapsPerWeekday();
    void horizonMonthlyAndYearly();
    void wallClockStaysAcrossDaylightSaving_data();
    void wallClockStaysAcrossDaylightSaving();
    void exceptionDates();
    void hostileRules_data();
    void hostileRules();
    void tooManyOccurrences_data();
    void tooManyOccurrences();
    void wholeList();
    void multiDayCopies();
    void overridesReplaceOccurrences_data();
    void overridesReplaceOccurrences();
    void extraDates();
    void copiesCarryTheirSource();
    void piecesExpandAsOneLoop_data();
    void piecesExpandAsOneLoop();
    void rowsAreTheEntriesTheyStandFor_data();
    void rowsAreTheEntriesTheyStandFor();
    void documentHelpers();
};

void tst_repeatList::piecesExpandAsOneLoop_data()
{
    QTest::addColumn<int>("bigRules"); // rules of 100,000 occurrences each, beyond the room for copies past 10
    QTest::newRow("shapes of all kinds") << 0;
    QTest::newRow("more copies than there is room for") << 11;
}

// Entries are expanded in pieces on several threads; the rows, their order and the warnings
// must be those of one loop over the entries in order.
void tst_repeatList::piecesExpandAsOneLoop()
{
    QFETCH(int, bigRules);
    EntryList entries;
    const char* rules[] = {"FREQ=DAILY;COUNT=4", "FREQ=WEEKLY;BYDAY=MO,WE,FR", "FREQ=MONTHLY;BYDAY=-1FR",
                           "FREQ=YEARLY;COUNT=3", "FREQ=DAILY;INTERVAL=3;COUNT=300", ""};
    for (int i = 0; i < 60; ++i) {
        const QString day = QStringLiteral("200703%1").arg(10 + i % 18);
        const bool allDay = i % 7 == 3;
        EntryPtr e = makeEntry(allDay ? day : day + QStringLiteral("T093000"),
                               allDay ? day : (i % 11 == 5 ? QStringLiteral("20070401T100000") : day + "T101500"),
                               i == 4 ? QStringLiteral("FREQ=DAILY;COUNT=200000") : QString::fromLatin1(rules[i % 6]),
                               QStringLiteral("entry %1").arg(i));
        if (i % 9 == 2) {
            e->setTheRDATE(at(day + QStringLiteral("T170000")));
            e->setTheEXDATE(at(QStringLiteral("20070330")));
        }
        if (i % 10 == 1) {
            // An override of a later occurrence, and one of the first.
            for (const QString& when : {QStringLiteral("20070402"), day}) {
                EntryPtr o = makeEntry(when + QStringLiteral("T120000"), when + QStringLiteral("T130000"), QString(),
                                       QStringLiteral("moved %1").arg(i));
                o->setRecDate(at(when));
                e->addRecObjectArray(o);
                o->setParentDataEntry(e);
            }
        }
        entries << e;
    }
    for (int i = 0; i < bigRules; ++i)
        entries << makeEntry("20070301T080000", "20070301T081500", "FREQ=DAILY;COUNT=100000", "big");
    entries << makeEntry("20090101T120000", "20090101T130000");
    auto dump = [&](int threads) {
        Parallel::setLimits(threads, 1);
        const repeatList rl(entries);
        Parallel::setLimits(0);
        QStringList out {QString::number(rl.size()), rl.getWarningString()};
        for (qsizetype i = 0; i < rl.size(); i += 1 + i / 1000) {
            const repeatList::Row r = rl.row(i);
            out << QStringLiteral("%1 %2 %3%4 %5 %6")
                       .arg(r.start.format(kStamp), r.end.format(kStamp))
                       .arg(r.noTimes)
                       .arg(r.notBlank)
                       .arg(r.texts->getSummary())
                       .arg(rl.startSeconds(i), 0, 'f', 0);
        }
        return out;
    };
    const QStringList oneLoop = dump(1);
    QCOMPARE(dump(3), oneLoop);
    QVERIFY(oneLoop.size() > 1000);
    QVERIFY(oneLoop.at(1).contains(repeatList::tooManyWarning())); // a rule of 200,000
    if (bigRules > 0)
        QVERIFY(oneLoop.at(0).toLongLong() < bigRules * 100000); // copies were left out
}

void tst_repeatList::rowsAreTheEntriesTheyStandFor_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("extraDate"); // an RDATE with a time of its own, or none
    auto row = [](const char* name, const char* zone, const char* start, const char* end, const char* rule,
                  const char* extra = "") {
        QTest::newRow(name) << QString(zone) << QString(start) << QString(end) << QString(rule) << QString(extra);
    };
    row("timed daily", "Europe/Paris", "20070301T100000", "20070301T113000", "FREQ=DAILY;COUNT=4");
    row("into the spring gap", "Europe/Paris", "20070323T023000", "20070323T033000", "FREQ=DAILY;COUNT=5");
    row("ending in the gap", "Europe/Paris", "20070323T013000", "20070323T023000", "FREQ=DAILY;COUNT=5");
    row("gap at midnight", "America/Sao_Paulo", "20181101T003000", "20181101T013000", "FREQ=DAILY;COUNT=6");
    row("a day left out", "Pacific/Apia", "20111228T100000", "20111228T110000", "FREQ=DAILY;COUNT=6");
    row("spanning days over the change", "Europe/Paris", "20070323T220000", "20070325T010000", "FREQ=DAILY;COUNT=3");
    row("all-day, three days, weekly", "Europe/Paris", "20070301", "20070304", "FREQ=WEEKLY;COUNT=3");
    row("no end", "Europe/Paris", "20070105T090000", "", "FREQ=MONTHLY;COUNT=3");
    row("all-day without end", "Europe/Paris", "20070105", "", "FREQ=YEARLY;COUNT=3");
    row("extra date at its own time", "Europe/Paris", "20070301T100000", "20070301T110000", "FREQ=WEEKLY;COUNT=2",
        "20070305T150000");
}

// The list writers read rows instead of making the copies: each row must say what the entry at
// its place would.
void tst_repeatList::rowsAreTheEntriesTheyStandFor()
{
    QFETCH(QString, zone);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, rule);
    QFETCH(QString, extraDate);
    testutil::pinZone(zone.toLatin1().constData());
    EntryPtr e = makeEntry(start, end, rule, QStringLiteral("Series"));
    e->setDESCRIPTION(QStringLiteral("Notes"));
    if (!extraDate.isEmpty())
        e->setTheRDATE(at(extraDate));
    const EntryPtr last = makeEntry("20090101T120000", "20090101T130000");
    const repeatList rl(EntryList {e, last});
    QList<repeatList::Row> rows;
    QList<double> seconds;
    for (qsizetype i = 0; i < rl.size(); ++i) {
        rows << rl.row(i);
        seconds << rl.startSeconds(i);
    }
    const EntryList& made = rl.getDataArray();
    QCOMPARE(made.size(), rl.size());
    QVERIFY(made.size() > 3);
    for (qsizetype i = 0; i < made.size(); ++i) {
        const dataEntry& m = *made.at(i);
        const repeatList::Row& r = rows.at(i);
        const QByteArray where = QByteArray::number(i) + ": " + m.getFullStartTime().format(kStamp).toLatin1();
        QVERIFY2(r.start == m.getFullStartTime() && r.start.zoneId() == m.getFullStartTime().zoneId(), where);
        QVERIFY2(r.end.isNull() == m.getFullEndTime().isNull() && (r.end.isNull() || r.end == m.getFullEndTime()),
                 where);
        QVERIFY2(r.start.format(kStamp) == m.getFullStartTime().format(kStamp), where);
        QVERIFY2(r.end.format(kStamp) == m.getFullEndTime().format(kStamp), where);
        QCOMPARE(r.noTimes, !m.getStartTime() && !m.getEndTime());
        QCOMPARE(r.notBlank, m.notBlankLine());
        QCOMPARE(r.texts->getSummary(), m.getSummary());
        QCOMPARE(r.texts->getShortDESCRIPTION(), m.getShortDESCRIPTION());
        QCOMPARE(seconds.at(i), m.startSeconds1970());
    }
}

void tst_repeatList::boundedRules_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* name, const char* start, const char* rule, const char* expected) {
        QTest::newRow(name) << QString(start) << QString(rule) << QString(expected);
    };

    row("daily every 2nd, 3 times", "20070301T100000", "FREQ=DAILY;INTERVAL=2;COUNT=3",
        "20070303T100000,20070305T100000");
    row("daily until a day: the whole day counts", "20070301T100000", "FREQ=DAILY;UNTIL=20070304T000000Z",
        "20070302T100000,20070303T100000,20070304T100000");
    row("weekly MO,WE from a Monday", "20070115T090000", "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO,WE;COUNT=4",
        "20070117T090000,20070122T090000,20070124T090000");
    row("weekly until includes the last Monday", "20050103T100000", "FREQ=WEEKLY;INTERVAL=1;UNTIL=20050131",
        "20050110T100000,20050117T100000,20050124T100000,20050131T100000");
    // The start counts as the first of COUNT even off the rule's days.
    row("weekly MO,WE,FR from a Tuesday", "20070116T090000", "FREQ=WEEKLY;BYDAY=MO,WE,FR;COUNT=4",
        "20070117T090000,20070119T090000,20070122T090000");
    // Weeks of an interval begin on Monday: from a Wednesday the next Monday is two weeks on.
    row("fortnightly from a Wednesday", "20070117T090000", "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE;COUNT=4",
        "20070129T090000,20070131T090000,20070212T090000");
    row("fortnightly week from Sunday", "20070121T090000", "FREQ=WEEKLY;INTERVAL=2;BYDAY=SU,MO;WKST=SU;COUNT=3",
        "20070122T090000,20070204T090000");
    row("monthly on the 31st skips short months", "20070131T080000", "FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=31;COUNT=4",
        "20070331T080000,20070531T080000,20070731T080000");
    row("monthly on the last day", "20070131T080000", "FREQ=MONTHLY;BYMONTHDAY=-1;COUNT=3",
        "20070228T080000,20070331T080000");
    row("monthly on 5 and 25 from the 20th", "20070120T080000", "FREQ=MONTHLY;BYMONTHDAY=5,25;COUNT=4",
        "20070125T080000,20070205T080000,20070225T080000");
    // The last Friday of February 2007 is the 23rd.
    row("monthly last Friday", "20070126T180000", "FREQ=MONTHLY;INTERVAL=1;BYDAY=-1FR;COUNT=4",
        "20070223T180000,20070330T180000,20070427T180000");
    row("every third month, first Monday", "20071001T090000", "FREQ=MONTHLY;INTERVAL=3;BYDAY=1MO;COUNT=3",
        "20080107T090000,20080407T090000");
    row("monthly second Tuesday until May", "20070109T090000", "FREQ=MONTHLY;BYDAY=2TU;UNTIL=20070531T235959Z",
        "20070213T090000,20070313T090000,20070410T090000,20070508T090000");
    row("monthly fifth Thursday skips months without one", "20070329T090000", "FREQ=MONTHLY;BYDAY=5TH;COUNT=4",
        "20070531T090000,20070830T090000,20071129T090000");
    row("monthly from the 31st keeps the 31st", "20070131T100000", "FREQ=MONTHLY;COUNT=4",
        "20070331T100000,20070531T100000,20070731T100000");
    row("monthly all-day", "20070115", "FREQ=MONTHLY;COUNT=3", "20070215T000000,20070315T000000");
    row("yearly on 29 February", "20080229T120000", "FREQ=YEARLY;COUNT=3", "20120229T120000,20160229T120000");
    row("yearly March and September", "20070310T100000", "FREQ=YEARLY;INTERVAL=1;BYMONTH=3,9;COUNT=4",
        "20070910T100000,20080310T100000,20080910T100000");
    row("yearly until", "20070310T100000", "FREQ=YEARLY;BYMONTH=3,9;UNTIL=20080310", "20070910T100000,20080310T100000");
    row("yearly fourth Thursday of November", "20071122T150000", "FREQ=YEARLY;BYMONTH=11;BYDAY=4TH;COUNT=3",
        "20081127T150000,20091126T150000");
    // COUNT is the total over all months named, not per month.
    row("yearly positions in two months", "20070311T100000", "FREQ=YEARLY;BYMONTH=3,10;BYDAY=2SU;COUNT=3",
        "20071014T100000,20080309T100000");
    row("count of one", "20070301T100000", "FREQ=DAILY;COUNT=1", "");
}

void tst_repeatList::boundedRules()
{
    QFETCH(QString, start);
    QFETCH(QString, rule);
    QFETCH(QString, expected);
    QCOMPARE(joined(expand(makeEntry(start, QString(), rule))), expected);
}

void tst_repeatList::agreesWithDateutil()
{
    // An independent reading of RFC 5545 for rules whose start lies on the rule's days and whose
    // UNTIL is the end of a day (where the day-wise UNTIL reading agrees).
    const QList<QPair<QString, QString>> cases {
        {"20070301T100000", "FREQ=DAILY;INTERVAL=2;COUNT=7"},
        {"20070320T093000", "FREQ=DAILY;UNTIL=20070405T235959"},
        {"20070115T090000", "FREQ=WEEKLY;BYDAY=MO,WE;COUNT=9"},
        {"20070117T090000", "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE;COUNT=8"},
        {"20070227T090000", "FREQ=WEEKLY;BYDAY=TU,TH;UNTIL=20070410T235959"},
        {"20070131T080000", "FREQ=MONTHLY;BYMONTHDAY=31;COUNT=6"},
        {"20070115T080000", "FREQ=MONTHLY;BYMONTHDAY=1,15;UNTIL=20070901T235959"},
        {"20070126T180000", "FREQ=MONTHLY;BYDAY=-1FR;COUNT=14"},
        {"20071001T090000", "FREQ=MONTHLY;INTERVAL=3;BYDAY=1MO;COUNT=6"},
        {"20070329T090000", "FREQ=MONTHLY;BYDAY=5TH;COUNT=6"},
        {"20070131T100000", "FREQ=MONTHLY;COUNT=8"},
        {"20080229T120000", "FREQ=YEARLY;COUNT=4"},
        {"20070310T100000", "FREQ=YEARLY;BYMONTH=3,9;COUNT=5"},
        {"20071122T150000", "FREQ=YEARLY;BYMONTH=11;BYDAY=4TH;COUNT=4"},
        {"20070311T100000", "FREQ=YEARLY;BYMONTH=3,10;BYDAY=2SU;UNTIL=20100101T000000"},
    };
    const QString script = QStringLiteral(R"(
import sys
try:
    from dateutil.rrule import rrulestr
except ImportError:
    sys.exit(3)
from datetime import datetime
for line in sys.stdin:
    line = line.strip()
    if not line:
        continue
    start, rule = line.split('|')
    dt = datetime.strptime(start, '%Y%m%dT%H%M%S')
    occ = [d.strftime('%Y%m%dT%H%M%S') for d in rrulestr(rule, dtstart=dt)]
    print(','.join(o for o in occ if o != start))
)");
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script});
    if (!py.waitForStarted())
        QSKIP("/usr/bin/python3 is not available");
    QByteArray input;
    for (const auto& c : cases)
        input += (c.first + QLatin1Char('|') + c.second + QLatin1Char('\n')).toUtf8();
    py.write(input);
    py.closeWriteChannel();
    QVERIFY(py.waitForFinished(30000));
    if (py.exitCode() == 3)
        QSKIP("python3-dateutil is not installed");
    QCOMPARE(py.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(py.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (int i = 0; i < cases.size(); ++i) {
        const QString ours = joined(expand(makeEntry(cases.at(i).first, QString(), cases.at(i).second)));
        QVERIFY2(ours == lines.value(i),
                 qPrintable(cases.at(i).second + QStringLiteral("\n ours: ") + ours + QStringLiteral("\n peer: ")
                            + lines.value(i)));
    }
}

void tst_repeatList::horizonDaily()
{
    // A year before the horizon: every day up to and including the first at or after it.
    repeatList rl {EntryList()};
    EntryList occ
        = rl.expandRRULEDatesUntil(makeEntry("20060310T100000", QString(), "FREQ=DAILY"), at("20070310T100000"));
    QCOMPARE(occ.size(), 365);
    QCOMPARE(starts(occ).last(), QStringLiteral("20070310T100000"));
    // The horizon at 09:00 takes the 10:00 occurrence of that day as the first past it.
    occ = rl.expandRRULEDatesUntil(makeEntry("20060310T100000", QString(), "FREQ=DAILY"), at("20070310T090000"));
    QCOMPARE(starts(occ).last(), QStringLiteral("20070310T100000"));
    // A week before the horizon: still at least 100.
    occ = rl.expandRRULEDatesUntil(makeEntry("20070301T100000", QString(), "FREQ=DAILY;INTERVAL=1"),
                                   at("20070308T100000"));
    QCOMPARE(occ.size(), 100);
    // A negative COUNT is no COUNT.
    occ = rl.expandRRULEDatesUntil(makeEntry("20070301T100000", QString(), "FREQ=DAILY;COUNT=-4"),
                                   at("20070308T100000"));
    QCOMPARE(occ.size(), 100);
    QCOMPARE(rl.getWarningString(), pastTheLastDate({"daily"}));
}

void tst_repeatList::horizonWeeklyCapsPerWeekday()
{
    repeatList rl {EntryList()};
    // Ten years ahead: each weekday stops after 100 further weeks.
    const EntryList occ = rl.expandRRULEDatesUntil(makeEntry("20070115T090000", QString(), "FREQ=WEEKLY;BYDAY=MO,WE"),
                                                   at("20170101T000000"));
    QCOMPARE(occ.size(), 100 + 101);
    QCOMPARE(starts(occ).first(), QStringLiteral("20070117T090000"));
    QCOMPARE(starts(occ).last(), QStringLiteral("20081217T090000"));
    // A near horizon: each weekday runs to its first date at or past it.
    const EntryList near = rl.expandRRULEDatesUntil(makeEntry("20070115T090000", QString(), "FREQ=WEEKLY;BYDAY=MO,WE"),
                                                    at("20070124T000000"));
    QCOMPARE(joined(near), QStringLiteral("20070117T090000,20070122T090000,20070124T090000,20070129T090000"));
    QCOMPARE(rl.getWarningString(), pastTheLastDate({"weekly"}));
}

void tst_repeatList::horizonMonthlyAndYearly()
{
    repeatList rl {EntryList()};
    QCOMPARE(joined(rl.expandRRULEDatesUntil(makeEntry("20070131T080000", QString(), "FREQ=MONTHLY;BYMONTHDAY=31"),
                                             at("20070601T000000"))),
             QStringLiteral("20070331T080000,20070531T080000,20070731T080000"));
    // An entry at or past the horizon gives no plain monthly steps.
    QCOMPARE(joined(rl.expandRRULEDatesUntil(makeEntry("20070131T080000", QString(), "FREQ=MONTHLY"),
                                             at("20070101T000000"))),
             QString());
    // Yearly rules run through the horizon's year.
    QCOMPARE(joined(rl.expandRRULEDatesUntil(makeEntry("20070310T100000", QString(), "FREQ=YEARLY;BYMONTH=3,9"),
                                             at("20080401T000000"))),
             QStringLiteral("20070910T100000,20080310T100000,20080910T100000"));
    QCOMPARE(rl.getWarningString(), pastTheLastDate({"monthly", "yearly"}));
    // A null horizon gives each frequency its least.
    QCOMPARE(expand(makeEntry("20070301T100000", QString(), "FREQ=DAILY")).size(), 100);
    QCOMPARE(expand(makeEntry("20070301T100000", QString(), "FREQ=MONTHLY")).size(), 0);
}

void tst_repeatList::wallClockStaysAcrossDaylightSaving_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* name, const char* zone, const char* start, const char* rule, const char* expected) {
        QTest::newRow(name) << QByteArray(zone) << QString(start) << QString(rule) << QString(expected);
    };
    row("Paris, spring", "Europe/Paris", "20070323T093000", "FREQ=DAILY;COUNT=4",
        "20070324T093000,20070325T093000,20070326T093000");
    row("Paris, autumn, weekly", "Europe/Paris", "20071021T230000", "FREQ=WEEKLY;COUNT=3",
        "20071028T230000,20071104T230000");
    row("Sydney, autumn", "Australia/Sydney", "20070324T080000", "FREQ=DAILY;COUNT=3",
        "20070325T080000,20070326T080000");
    row("Sydney, spring, monthly last Sunday", "Australia/Sydney", "20070930T083000", "FREQ=MONTHLY;BYDAY=-1SU;COUNT=3",
        "20071028T083000,20071125T083000");
    row("New York, spring", "America/New_York", "20070310T120000", "FREQ=DAILY;COUNT=3",
        "20070311T120000,20070312T120000");
}

void tst_repeatList::wallClockStaysAcrossDaylightSaving()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, start);
    QFETCH(QString, rule);
    QFETCH(QString, expected);
    testutil::pinZone(zone.constData());
    const EntryList occ = expand(makeEntry(start, QString(), rule));
    QCOMPARE(joined(occ), expected);
    // The instants differ by whole days less or more the changed offset, and DTSTART keeps the clock.
    for (const EntryPtr& e : occ) {
        QVERIFY(e->getDTSTART().endsWith(start.mid(8)));
        QCOMPARE(e->getFullStartTime().zone().id(), zone);
    }
}

void tst_repeatList::exceptionDates()
{
    // Two consecutive exceptions both go; an exception on the day before a clock change leaves the
    // day after it alone (the days are compared, not 24-hour spans).
    EntryPtr e = makeEntry("20070322T100000", "20070322T110000", "FREQ=DAILY;COUNT=6");
    e->setTheEXDATE(at("20070323T100000"));
    e->setTheEXDATE(at("20070324T000000"));
    QCOMPARE(joined(expand(e)), QStringLiteral("20070325T100000,20070326T100000,20070327T100000"));
    // The entry itself is never removed, and an exception counts against COUNT (RFC 5545).
    EntryPtr f = makeEntry("20070322T100000", "20070322T110000", "FREQ=DAILY;COUNT=3");
    f->setTheEXDATE(at("20070322T100000"));
    f->setTheEXDATE(at("20070324T220000"));
    repeatList rl({f});
    QCOMPARE(joined(rl.getDataArray()), QStringLiteral("20070322T100000,20070323T100000"));
}

void tst_repeatList::hostileRules_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("start");
    auto row = [](const char* name, const char* rule, const char* expected, const char* start) {
        QTest::newRow(name) << QString(rule) << QString(expected) << QString(start);
    };
    row("interval 0 is 1", "FREQ=DAILY;INTERVAL=0;COUNT=3", "20070302T100000,20070303T100000", "");
    row("negative interval is 1", "FREQ=WEEKLY;INTERVAL=-2;COUNT=2", "20070308T100000", "");
    row("unreadable interval is 1", "FREQ=MONTHLY;INTERVAL=x;COUNT=2", "20070401T100000", "");
    row("sixth Monday", "FREQ=MONTHLY;BYDAY=6MO;COUNT=5", "", "");
    row("second to last Friday", "FREQ=MONTHLY;BYDAY=-2FR;COUNT=5", "", "");
    row("not a weekday", "FREQ=MONTHLY;BYDAY=1XX;COUNT=5", "", "");
    row("yearly sixth Monday", "FREQ=YEARLY;BYDAY=9MO;COUNT=5", "", "");
    row("weekly, no weekday", "FREQ=WEEKLY;BYDAY=QQ;COUNT=5", "", "");
    row("day 32", "FREQ=MONTHLY;BYMONTHDAY=32;COUNT=5", "", "");
    row("day text", "FREQ=MONTHLY;BYMONTHDAY=abc;COUNT=5", "", "");
    row("month 13", "FREQ=YEARLY;BYMONTH=13;COUNT=5", "", "");
    row("30 February never comes", "FREQ=YEARLY;BYMONTH=2;COUNT=5", "", "20070130T100000");
    row("30th every 12 months from February", "FREQ=MONTHLY;INTERVAL=12;BYMONTHDAY=30;COUNT=5", "", "20070201T100000");
    row("29 February every 4 years from a common year", "FREQ=YEARLY;INTERVAL=4;BYMONTH=2;COUNT=5", "",
        "20070129T100000");
    row("empty parts", "FREQ=WEEKLY;;BYDAY=TH,,FR;;COUNT=3;", "20070302T100000,20070308T100000", "");
    row("lower case, line end", "freq=daily;count=2\r\n", "20070302T100000", "");
    row("unknown frequency", "FREQ=HOURLY;COUNT=5", "", "");
    row("Error from vCalendar", "Error", "", "");
    row("unreadable count is none, unreadable until too", "FREQ=YEARLY;COUNT=zz;UNTIL=2007xx01", "20080301T100000", "");
    row("huge interval", "FREQ=DAILY;INTERVAL=999999999999;COUNT=3", "", "");
}

void tst_repeatList::hostileRules()
{
    QFETCH(QString, rule);
    QFETCH(QString, expected);
    QFETCH(QString, start);
    QElapsedTimer timer;
    timer.start();
    // By default Thursday 1 March 2007; horizon one year on.
    repeatList rl {EntryList()};
    const QString from = start.isEmpty() ? QStringLiteral("20070301T100000") : start;
    QCOMPARE(joined(rl.expandRRULEDatesUntil(makeEntry(from, QString(), rule), at("20080301T000000"))), expected);
    QVERIFY(timer.elapsed() < 2000 * testutil::kSlowdown);
}

void tst_repeatList::tooManyOccurrences_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("horizon");
    QTest::addColumn<int>("size");
    QTest::newRow("a billion times") << "FREQ=DAILY;COUNT=1000000000"
                                     << "20070401T000000" << repeatList::kMaxOccurrences;
    QTest::newRow("until the year 9999") << "FREQ=WEEKLY;BYDAY=MO,TU;UNTIL=99991231T235959Z"
                                         << "20070401T000000" << repeatList::kMaxOccurrences;
    QTest::newRow("horizon centuries away") << "FREQ=DAILY"
                                            << "25000101T000000" << repeatList::kMaxOccurrences;
    // Years beyond 9999 cannot be listed either.
    QTest::newRow("yearly a billion times") << "FREQ=YEARLY;COUNT=1000000000"
                                            << "20070401T000000" << 9999 - 2007;
}

void tst_repeatList::tooManyOccurrences()
{
    QFETCH(QString, rule);
    QFETCH(QString, horizon);
    QFETCH(int, size);
    EntryPtr a = makeEntry("20070301T100000", "20070301T110000", rule);
    EntryPtr b = makeEntry("20070302T100000", "20070302T110000", QStringLiteral("FREQ=YEARLY;COUNT=1000000000"));
    repeatList rl {EntryList()};
    QCOMPARE(rl.expandRRULEDatesUntil(a, at(horizon)).size(), size);
    rl.expandRRULEDatesUntil(b, at(horizon));
    QVERIFY(rl.getWarningString().startsWith(QStringLiteral("\r\r")));
    QCOMPARE(rl.getWarningString().count(
                 QStringLiteral("There are repeating events with more occurrences than can be listed")),
             1);
}

void tst_repeatList::wholeList()
{
    // Empty in, empty out, no warnings.
    repeatList empty {EntryList()};
    QVERIFY(empty.getDataArray().isEmpty());
    QCOMPARE(empty.getWarningString(), QString());

    // The horizon is the start of the last entry given; the result is sorted by start.
    EntryPtr weekly = makeEntry("20070305T090000", "20070305T100000", "FREQ=WEEKLY", "weekly");
    EntryPtr plain = makeEntry("20070310T120000", "20070310T130000", QString(), "plain");
    EntryPtr last = makeEntry("20070320T080000", "20070320T083000", QString(), "last");
    EntryPtr noStart = dataEntry::create();
    noStart->setRRULE(QStringLiteral("FREQ=DAILY;COUNT=3"));
    noStart->setSummary(QStringLiteral("no start"));
    repeatList rl({weekly, plain, noStart, last});
    const EntryList& out = rl.getDataArray();
    QStringList summaries;
    for (const EntryPtr& e : out)
        summaries << e->getSummary() + QLatin1Char('@') + e->getFullStartTime().format(QStringLiteral("%m%d"));
    QCOMPARE(summaries.join(QLatin1Char(' ')),
             QStringLiteral("no start@ weekly@0305 plain@0310 weekly@0312 weekly@0319 last@0320 weekly@0326"));
    QVERIFY(out.contains(weekly) && out.contains(plain) && out.contains(last));
    QCOMPARE(rl.getWarningString(), pastTheLastDate({"weekly"}));
}

void tst_repeatList::multiDayCopies()
{
    // Monday 10:00 to Wednesday 12:00: copies from Tuesday and Wednesday 10:00, each as long.
    EntryPtr e = makeEntry("20070312T100000", "20070314T120000");
    repeatList rl({e});
    const EntryList& out = rl.getDataArray();
    QCOMPARE(out.size(), 3);
    QCOMPARE(out.at(0), e);
    QStringList spans;
    for (const EntryPtr& c : out)
        spans << c->getFullStartTime().format(kStamp) + QLatin1Char('-') + c->getFullEndTime().format(kStamp)
                + QLatin1Char(' ') + c->getDURATIONValue() + QLatin1Char(' ') + c->getDTSTART().section(':', 1);
    QCOMPARE(spans,
             (QStringList {"20070312T100000-20070314T120000 2DT2H 20070312T100000",
                           "20070313T100000-20070315T120000 2DT2H 20070313T100000",
                           "20070314T100000-20070316T120000 2DT2H 20070314T100000"}));
    // An all-day entry of two days gets one copy; a timed one ending next morning none.
    repeatList allDay({makeEntry("20070312", "20070313")});
    QCOMPARE(joined(allDay.getDataArray()), QStringLiteral("20070312T000000,20070313T000000"));
    QCOMPARE(allDay.getDataArray().at(1)->getDTSTART(), QStringLiteral("DTSTART;VALUE=DATE:20070313"));
    repeatList overnight({makeEntry("20070312T220000", "20070313T080000")});
    QCOMPARE(overnight.getDataArray().size(), 1);
}

void tst_repeatList::overridesReplaceOccurrences_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("recurrence"); // the occurrence replaced; 8 characters for a date
    QTest::addColumn<QString>("movedTo");
    QTest::addColumn<QString>("rows");
    auto row = [](const char* name, const char* start, const char* end, const char* rule, const char* recurrence,
                  const char* movedTo, const char* rows) {
        QTest::newRow(name) << QString(start) << QString(end) << QString(rule) << QString(recurrence)
                            << QString(movedTo) << QString(rows);
    };
    row("timed", "20070305T090000", "20070305T100000", "FREQ=DAILY;COUNT=4", "20070307T090000", "20070307T150000",
        "20070305T090000,20070306T090000,20070307T150000,20070308T090000");
    // An all-day series: its occurrences are days, and so is the one an override names.
    row("all-day", "20070301", "20070301", "FREQ=WEEKLY;COUNT=4", "20070315", "20070316",
        "20070301T000000,20070308T000000,20070316T000000,20070322T000000");
    // The first occurrence is the entry itself; its override takes its place.
    row("first occurrence", "20070305T090000", "20070305T100000", "FREQ=DAILY;COUNT=3", "20070305T090000",
        "20070305T113000", "20070305T113000,20070306T090000,20070307T090000");
}

void tst_repeatList::overridesReplaceOccurrences()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QString, rule);
    QFETCH(QString, recurrence);
    QFETCH(QString, movedTo);
    QFETCH(QString, rows);
    Uuid::setGenerator([] { return QStringLiteral("00000000-0000-0000-0000-000000000001"); });
    EntryPtr e = makeEntry(start, end, rule, "series");
    EntryPtr o = makeEntry(movedTo, movedTo.size() > 8 ? movedTo.left(9) + QStringLiteral("235900") : movedTo,
                           QString(), "moved");
    o->setRecDate(at(recurrence.left(8)));
    if (recurrence.size() > 8)
        o->setRecTime(at(recurrence));
    e->addRecObjectArray(o);
    o->setParentDataEntry(e);
    repeatList rl({e});
    QCOMPARE(joined(rl.getDataArray()), rows);
    QVERIFY(rl.getDataArray().contains(o)); // the override object itself
    QCOMPARE(rl.getDataArray().count(o), 1);
    Uuid::setGenerator({});
}

// Extra dates (RDATE) are occurrences too, at their own time; exception dates remove them as well.
void tst_repeatList::extraDates()
{
    EntryPtr e = makeEntry("20070305T100000", "20070305T110000", "FREQ=WEEKLY;COUNT=2");
    e->setTheRDATE(at("20070307T100000"));
    e->setTheRDATE(at("20070308T153000"));
    e->setTheRDATE(at("20070312T100000")); // also the rule's
    e->setTheRDATE(at("20070320T100000"));
    e->setTheEXDATE(at("20070320"));
    repeatList rl({e});
    QCOMPARE(joined(rl.getDataArray()),
             QStringLiteral("20070305T100000,20070307T100000,20070308T153000,20070312T100000"));
    QCOMPARE(rl.getDataArray().at(2)->getFullEndTime().format(kStamp), QStringLiteral("20070308T163000"));
    QCOMPARE(rl.getDataArray().at(2)->getDTSTART(), QStringLiteral("DTSTART;TZID=Europe/Paris:20070308T153000"));
    // Without a rule.
    EntryPtr rent = makeEntry("20070401", "20070401");
    rent->setTheRDATE(at("20070501"));
    testutil::TempSettings settings;
    aCalendar cal;
    cal.getTheData() << rent;
    QVERIFY(cal.containsRepeats());
    QCOMPARE(joined(cal.getTheFullExpandedRepeats()), QStringLiteral("20070401T000000,20070501T000000"));
}

void tst_repeatList::copiesCarryTheirSource()
{
    EntryPtr e = makeEntry("20070305T090000", "20070305T100000", "FREQ=DAILY;COUNT=3", "A long shared summary");
    e->setDESCRIPTION(QStringLiteral("A description"));
    e->setLocation(QStringLiteral("Room 1"));
    e->setTheEXDATE(at("20070310T000000"));
    repeatList rl {EntryList()};
    const EntryPtr copy = rl.copyTheEntry(*e);
    QCOMPARE(copy->getLocation(), QString()); // secondary properties are not carried
    QCOMPARE(copy->getDTSTAMP(), QStringLiteral("DTSTAMP:20070115T120000Z"));
    QVERIFY(copy->getDataCheck());
    const EntryList occ = rl.expandRRULEDatesUntil(e, CalDate());
    QCOMPARE(occ.size(), 2);
    for (const EntryPtr& c : occ) {
        QCOMPARE(c->getSummary(), e->getSummary());
        QCOMPARE(c->getShortDESCRIPTION(), e->getShortDESCRIPTION());
        QCOMPARE(c->getDURATIONValue(), QStringLiteral("T1H"));
        QVERIFY(c->getDataCheck());
        QVERIFY(!c->getParentDataEntry());
    }
}

void tst_repeatList::documentHelpers()
{
    QVERIFY(repeatList::isDate(at("20070305T000000"), at("20070305T235959")));
    QVERIFY(repeatList::isDate(at("20070306T000000"), at("20070305T235959")));
    QVERIFY(!repeatList::isDate(at("20070304T235959"), at("20070305T000000")));
    QVERIFY(!repeatList::isDate(CalDate(), at("20070305T000000")));

    testutil::TempSettings settings;
    aCalendar cal;
    QVERIFY(!cal.containsRepeats());
    QVERIFY(cal.getTheFullExpandedRepeats().isEmpty());
    cal.getTheData() << makeEntry("20070305T090000", "20070305T100000")
                     << makeEntry("20070306T090000", "20070306T100000", "FREQ=DAILY;COUNT=3");
    QVERIFY(cal.containsRepeats());
    QCOMPARE(joined(cal.getTheFullExpandedRepeats()),
             QStringLiteral("20070305T090000,20070306T090000,20070307T090000,20070308T090000"));
}

QTEST_GUILESS_MAIN(tst_repeatList)
#include "tst_repeatList.moc"
