// The delimited import's worker beside the work the GUI thread goes on with meanwhile: matching
// free text, reading dates, formatting, reading and writing settings, and cancelling. Run under
// ThreadSanitizer (TIDEWELL_SANITIZE=thread) this shows any state the two threads share unlocked.
#include "calendar/aCalendar.h"
#include "platform/NaturalDate.h"
#include "testutil.h"

#include <QTest>

#include <thread>

namespace
{
QString csvRows(int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("10:%1 AM,03/%2/2007,11:%1 AM,03/%2/2007,\"Row %3, part\",\"d\\n%3\"\n")
                    .arg(i % 60, 2, 10, QLatin1Char('0'))
                    .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                    .arg(i);
    return text;
}

// What the window may do while the import runs; returns the number of wrong results.
int guiThreadWork(int round)
{
    int wrong = 0;
    const aCalendar other;
    const QStringList dates
        = other.returnDatesInString(QStringLiteral("Lunch on 12/%1/2006 at 12:30 pm").arg(1 + round % 28));
    if (dates.size() != 1 || other.returnCalendarDate(dates.value(0)).day() != 1 + round % 28)
        ++wrong;
    if (other.returnCalendarTime(QStringLiteral("12:30 pm")).hour() != 12)
        ++wrong;
    if (!NaturalDate::dateWithNaturalLanguageString(QStringLiteral("March 5, 2008 10:15")))
        ++wrong;
    if (CalDate::now(Zones::local()).format(QStringLiteral("%Y")).size() != 4)
        ++wrong;
    UserDefaults::standard().setValue(QStringLiteral("calendar"), QStringLiteral("Work %1").arg(round));
    if (UserDefaults::standard().string(QStringLiteral("NSShortDateFormatString")).isEmpty())
        ++wrong;
    return wrong;
}
} // namespace

class TestImportThreads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-03-15T12:00:00Z");
    }

    void workerBesideGuiThread_data()
    {
        QTest::addColumn<bool>("cancelHalfway");
        QTest::newRow("runs to the end") << false;
        QTest::newRow("cancelled") << true;
    }
    void workerBesideGuiThread()
    {
        QFETCH(bool, cancelHalfway);
        testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates),
                                        {{"NSShortDateFormatString", "%m/%d/%y"}});
        aCalendar cal;
        QVERIFY(cal.processCT(csvRows(1500), QStringLiteral(",")));
        const int rows = cal.getCommaTabRowCount();
        const ColumnOrder order = cal.getCommaTabDataOrder();
        aCalendar::saveColumnOrder(order);

        QAtomicInt cancel(0);
        int made = -1;
        std::thread worker([&] { made = cal.makeAllEntriesWithSeparated(order, &cancel); });
        int wrong = 0;
        int round = 0;
        while (cal.pendingCount() < rows) {
            wrong += guiThreadWork(round++);
            if (cancelHalfway && cal.pendingCount() >= rows / 2)
                cancel.storeRelease(1);
            if (cancel.loadAcquire())
                break;
        }
        worker.join();
        QCOMPARE(wrong, 0);
        QCOMPARE(made, cal.pendingCount());
        if (!cancelHalfway)
            QCOMPARE(made, rows);
        QVERIFY(made >= (cancelHalfway ? rows / 2 : rows));

        cal.addPendingData();
        QCOMPARE(cal.entryCount(), made);
        const EntryPtr e = cal.getEntryAtIndex(std::min(made, 1500) - 1);
        QCOMPARE(e->getSummary(), QStringLiteral("Row %1, part").arg(std::min(made, 1500) - 1));
        QVERIFY(e->getDataCheck());
    }
};

QTEST_GUILESS_MAIN(TestImportThreads)
#include "tst_importThreads.moc"
