#include "calendar/aCalendar.h"
#include "testutil.h"
#include "text/theSorter.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

namespace
{
EntryPtr entryAt(qint64 secs, const QString& summary = QString())
{
    EntryPtr e = dataEntry::create();
    const CalDate d = CalDate::fromSecsSinceEpoch(secs);
    e->setStartTime(d);
    e->setStartDate(d);
    e->setEndTime(d.addHours(1));
    e->setEndDate(d.addHours(1));
    e->setSummary(summary);
    return e;
}

QStringList summaries(const EntryList& list)
{
    QStringList out;
    for (const EntryPtr& e : list)
        out << e->getSummary();
    return out;
}
} // namespace

class tst_sorter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
    }

    void smallLists();
    void equalKeysFollowThreeWayPartition();
    void randomKeys();
    void largeDegenerateInputs_data();
    void largeDegenerateInputs();
    void byEndAndBySummary();
    void documentSorts();
};

void tst_sorter::smallLists()
{
    theSorter empty;
    QVERIFY(empty.sortByStart().isEmpty());
    QVERIFY(empty.sortBySummary().isEmpty());
    EntryPtr one = entryAt(1000, QStringLiteral("one"));
    theSorter single({one});
    QCOMPARE(single.sortByStart(), EntryList{one});
    QCOMPARE(single.sortByEnd(), EntryList{one});
    // The sorter works on its own copy of the list.
    EntryList given{entryAt(3000, "c"), entryAt(1000, "a"), entryAt(2000, "b")};
    theSorter sorter(given);
    QCOMPARE(summaries(sorter.sortByStart()), (QStringList{"a", "b", "c"}));
    QCOMPARE(summaries(given), (QStringList{"c", "a", "b"}));
    QCOMPARE(summaries(sorter.newArrayStartSort({entryAt(5, "y"), entryAt(4, "x")})), (QStringList{"x", "y"}));
}

void tst_sorter::equalKeysFollowThreeWayPartition()
{
    // Not stable: the partition exchanges the two equal keys in front of the pivot.
    theSorter sorter({entryAt(1000, "A"), entryAt(1000, "B"), entryAt(2000, "C")});
    QCOMPARE(summaries(sorter.sortByStart()), (QStringList{"B", "A", "C"}));
    theSorter mixed({entryAt(2000, "a"), entryAt(1000, "b"), entryAt(2000, "c"), entryAt(1000, "d"),
                     entryAt(2000, "e")});
    QCOMPARE(summaries(mixed.sortByStart()), (QStringList{"b", "d", "e", "c", "a"}));
}

void tst_sorter::randomKeys()
{
    QRandomGenerator rng(42);
    EntryList list;
    QList<double> keys;
    for (int i = 0; i < 5000; ++i) {
        list << entryAt(1170000000 + qint64(rng.bounded(200)) * 3600);
        keys << list.last()->startSeconds1970();
    }
    const EntryList sorted = theSorter(list).sortByStart();
    QCOMPARE(sorted.size(), list.size());
    std::sort(keys.begin(), keys.end());
    for (int i = 0; i < sorted.size(); ++i)
        QCOMPARE(sorted.at(i)->startSeconds1970(), keys.at(i));
    // Same entries, each once.
    QSet<dataEntry*> seen;
    for (const EntryPtr& e : sorted)
        seen.insert(e.get());
    QCOMPARE(seen.size(), list.size());
}

void tst_sorter::largeDegenerateInputs_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("size");
    QTest::newRow("100000 equal keys") << 0 << 100000;
    QTest::newRow("100000 ascending keys") << 1 << 100000;
    QTest::newRow("4000 descending keys") << 2 << 4000;
    QTest::newRow("100000 keys in two values") << 3 << 100000;
}

void tst_sorter::largeDegenerateInputs()
{
    QFETCH(int, kind);
    QFETCH(int, size);
    // The quicksort itself, on keys alone: deep recursion would overflow the stack here.
    EntryList list;
    QList<double> keys;
    const EntryPtr shared = entryAt(0);
    for (int i = 0; i < size; ++i) {
        list << shared;
        keys << (kind == 0 ? 7.0 : kind == 1 ? double(i) : kind == 2 ? double(size - i) : double(i % 2));
    }
    QElapsedTimer timer;
    timer.start();
    theSorter::quickSort(list, keys);
    QVERIFY(std::is_sorted(keys.cbegin(), keys.cend()));
    QVERIFY(timer.elapsed() < 5000 * testutil::kSlowdown);
}

void tst_sorter::byEndAndBySummary()
{
    EntryPtr longOne = entryAt(1000, "long");
    longOne->setEndDate(CalDate::fromSecsSinceEpoch(90000));
    longOne->setEndTime(CalDate::fromSecsSinceEpoch(90000));
    EntryPtr shortOne = entryAt(2000, "short");
    QCOMPARE(summaries(theSorter({longOne, shortOne}).sortByEnd()), (QStringList{"short", "long"}));
    // Plain code-unit order: upper case before lower case.
    theSorter bySummary({entryAt(1, "b"), entryAt(2, "B"), entryAt(3, "a"), entryAt(4, QString::fromUtf8("\xc3\xa4")),
                         entryAt(5, "")});
    QCOMPARE(summaries(bySummary.sortBySummary()),
             (QStringList{"", "B", "a", "b", QString::fromUtf8("\xc3\xa4")}));
}

void tst_sorter::documentSorts()
{
    testutil::TempSettings settings;
    aCalendar cal;
    cal.getTheData() << entryAt(3000, "c") << entryAt(1000, "B") << entryAt(2000, "a");
    cal.getTheData().at(0)->setEndDate(CalDate::fromSecsSinceEpoch(3600));
    cal.getTheData().at(0)->setEndTime(CalDate::fromSecsSinceEpoch(3600));
    cal.sortStart();
    QCOMPARE(summaries(cal.getTheData()), (QStringList{"B", "a", "c"}));
    cal.sortSummary();
    QCOMPARE(summaries(cal.getTheData()), (QStringList{"B", "a", "c"}));
    cal.sortEnd();
    QCOMPARE(summaries(cal.getTheData()), (QStringList{"c", "B", "a"}));
}

QTEST_GUILESS_MAIN(tst_sorter)
#include "tst_sorter.moc"
