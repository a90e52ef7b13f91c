#include "calendar/aCalendar.h"
#include "testutil.h"
#include "text/quickSort.h"
#include "text/theSorter.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtTest>

#include <numeric>

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

// The partition as designed, scanning every key: the order the fast sort must reproduce.
void plainSort(double* keys, int* ids, qsizetype l, qsizetype r)
{
    auto exch = [&](qsizetype a, qsizetype b) {
        std::swap(keys[a], keys[b]);
        std::swap(ids[a], ids[b]);
    };
    while (l < r) {
        const double v = keys[r];
        qsizetype i = l - 1, j = r, p = l - 1, q = r;
        for (;;) {
            while (keys[++i] < v) { }
            while (v < keys[--j]) {
                if (j == l)
                    break;
            }
            if (i >= j)
                break;
            exch(i, j);
            if (keys[i] == v)
                exch(++p, i);
            if (v == keys[j])
                exch(j, --q);
        }
        exch(i, r);
        j = i - 1;
        i = i + 1;
        for (qsizetype k = l; k < p; ++k, --j)
            exch(k, j);
        for (qsizetype k = r - 1; k > q; --k, ++i)
            exch(i, k);
        plainSort(keys, ids, l, j);
        l = i;
    }
}

// Keys of a few shapes: 0 random with ties, 1 sorted with ties, 2 reversed with ties, 3 organ pipe,
// 4 sorted runs one after another (an expansion before its sort), 5 few values.
QList<double> keysOfShape(int shape, int n, quint32 seed)
{
    QRandomGenerator rng(seed);
    QList<double> keys;
    for (int i = 0; i < n; ++i) {
        switch (shape) {
        case 0:
            keys << double(rng.bounded(n / 4 + 1));
            break;
        case 1:
            keys << double(i / (1 + int(rng.bounded(4))));
            break;
        case 2:
            keys << double((n - i) / 3);
            break;
        case 3:
            keys << double(std::min(i, n - i) / 2);
            break;
        case 4:
            keys << double((i % 500) * 7 + i / 500);
            break;
        default:
            keys << double(rng.bounded(3));
            break;
        }
    }
    if (shape == 1)
        std::sort(keys.begin(), keys.end());
    return keys;
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
    void sameOrderAsThePlainPartition_data();
    void sameOrderAsThePlainPartition();
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
    QCOMPARE(single.sortByStart(), EntryList {one});
    QCOMPARE(single.sortByEnd(), EntryList {one});
    // The sorter works on its own copy of the list.
    EntryList given {entryAt(3000, "c"), entryAt(1000, "a"), entryAt(2000, "b")};
    theSorter sorter(given);
    QCOMPARE(summaries(sorter.sortByStart()), (QStringList {"a", "b", "c"}));
    QCOMPARE(summaries(given), (QStringList {"c", "a", "b"}));
    QCOMPARE(summaries(sorter.newArrayStartSort({entryAt(5, "y"), entryAt(4, "x")})), (QStringList {"x", "y"}));
}

void tst_sorter::equalKeysFollowThreeWayPartition()
{
    // Not stable: the partition exchanges the two equal keys in front of the pivot.
    theSorter sorter({entryAt(1000, "A"), entryAt(1000, "B"), entryAt(2000, "C")});
    QCOMPARE(summaries(sorter.sortByStart()), (QStringList {"B", "A", "C"}));
    theSorter mixed(
        {entryAt(2000, "a"), entryAt(1000, "b"), entryAt(2000, "c"), entryAt(1000, "d"), entryAt(2000, "e")});
    QCOMPARE(summaries(mixed.sortByStart()), (QStringList {"b", "d", "e", "c", "a"}));
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
    QTest::newRow("1000000 ascending keys with ties") << 4 << 1000000;
    QTest::newRow("1000000 descending keys with ties") << 5 << 1000000;
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
        keys << (kind == 0       ? 7.0
                     : kind == 1 ? double(i)
                     : kind == 2 ? double(size - i)
                     : kind == 3 ? double(i % 2)
                     : kind == 4 ? double(i / 3)
                                 : double((size - i) / 3));
    }
    QElapsedTimer timer;
    timer.start();
    theSorter::quickSort(list, keys);
    QVERIFY(std::is_sorted(keys.cbegin(), keys.cend()));
    QVERIFY(timer.elapsed() < 5000 * testutil::kSlowdown);
}

void tst_sorter::sameOrderAsThePlainPartition_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<int>("size");
    const char* names[] = {"random", "sorted", "reversed", "organ pipe", "sorted runs", "three values"};
    for (int shape = 0; shape < 6; ++shape) {
        for (int size : {2, 3, 17, 1500, 6000})
            QTest::addRow("%s %d", names[shape], size) << shape << size;
    }
    // Large enough to be sorted in parts on several threads.
    QTest::addRow("random 100000") << 0 << 100000;
    QTest::addRow("three values 100000") << 5 << 100000;
}

void tst_sorter::sameOrderAsThePlainPartition()
{
    QFETCH(int, shape);
    QFETCH(int, size);
    Parallel::setLimits(4);
    const auto unlimited = qScopeGuard([] { Parallel::setLimits(0); });
    for (quint32 seed = 1; seed <= 3; ++seed) {
        QList<double> keys = keysOfShape(shape, size, seed);
        QList<double> plainKeys = keys, itemKeys = keys;
        QList<int> ids(size), plainIds(size);
        std::iota(ids.begin(), ids.end(), 0);
        std::iota(plainIds.begin(), plainIds.end(), 0);
        plainSort(plainKeys.data(), plainIds.data(), 0, size - 1);
        sorting::quickSortByKeys(ids.data(), keys.data(), size);
        QCOMPARE(ids, plainIds);
        // Items that are not plain numbers are moved once, after their positions are sorted.
        QStringList items, plainItems;
        for (int i = 0; i < size; ++i)
            items << QString::number(i);
        for (int id : std::as_const(plainIds))
            plainItems << QString::number(id);
        sorting::quickSortByKeys(items.data(), itemKeys.data(), size);
        QCOMPARE(items, plainItems);
        QCOMPARE(itemKeys, plainKeys);
    }
}

void tst_sorter::byEndAndBySummary()
{
    EntryPtr longOne = entryAt(1000, "long");
    longOne->setEndDate(CalDate::fromSecsSinceEpoch(90000));
    longOne->setEndTime(CalDate::fromSecsSinceEpoch(90000));
    EntryPtr shortOne = entryAt(2000, "short");
    QCOMPARE(summaries(theSorter({longOne, shortOne}).sortByEnd()), (QStringList {"short", "long"}));
    // Plain code-unit order: upper case before lower case.
    theSorter bySummary(
        {entryAt(1, "b"), entryAt(2, "B"), entryAt(3, "a"), entryAt(4, QString::fromUtf8("\xc3\xa4")), entryAt(5, "")});
    QCOMPARE(summaries(bySummary.sortBySummary()), (QStringList {"", "B", "a", "b", QString::fromUtf8("\xc3\xa4")}));
}

void tst_sorter::documentSorts()
{
    testutil::TempSettings settings;
    aCalendar cal;
    cal.getTheData() << entryAt(3000, "c") << entryAt(1000, "B") << entryAt(2000, "a");
    cal.getTheData().at(0)->setEndDate(CalDate::fromSecsSinceEpoch(3600));
    cal.getTheData().at(0)->setEndTime(CalDate::fromSecsSinceEpoch(3600));
    cal.sortStart();
    QCOMPARE(summaries(cal.getTheData()), (QStringList {"B", "a", "c"}));
    cal.sortSummary();
    QCOMPARE(summaries(cal.getTheData()), (QStringList {"B", "a", "c"}));
    cal.sortEnd();
    QCOMPARE(summaries(cal.getTheData()), (QStringList {"c", "B", "a"}));
}

QTEST_GUILESS_MAIN(tst_sorter)
#include "tst_sorter.moc"
