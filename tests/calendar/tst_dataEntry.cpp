#include "calendar/dataEntry.h"
#include "platform/Uuid.h"
#include "testutil.h"

#include <QRegularExpression>
#include <QTest>

namespace
{
CalDate at(const QString& text)
{
    return CalDate::parse(text, QStringLiteral("%Y-%m-%d %H:%M:%S"));
}
CalDate day(const QString& text)
{
    return CalDate::parse(text, QStringLiteral("%Y-%m-%d"));
}
CalDate clock(const QString& text)
{
    return CalDate::parse(QStringLiteral("2001-01-01 ") + text, QStringLiteral("%Y-%m-%d %H:%M"));
}
} // namespace

class TestDataEntry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-03-15T14:30:05Z");
    }
    void cleanup()
    {
        Clock::reset();
        Uuid::setGenerator({});
    }

    void freshEntry()
    {
        auto e = dataEntry::create();
        QCOMPARE(e->getCheck(), QStringLiteral("X"));
        QVERIFY(!e->getDataCheck());
        QCOMPARE(e->getDTSTAMP(), QStringLiteral("DTSTAMP:20070315T143005Z"));
        QCOMPARE(e->getSEQUENCE(), QStringLiteral("SEQUENCE:1"));
        QVERIFY(!e->notBlankLine());
        QVERIFY(e->getUIDValue().isEmpty());
        const QString uid = e->getUID();
        QVERIFY2(QRegularExpression("^UID:[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$").match(uid).hasMatch(),
                 qPrintable(uid));
        QCOMPARE(e->getUID(), uid); // made once, then kept
    }

    void durations_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<QString>("startDate");
        QTest::addColumn<QString>("startTime");
        QTest::addColumn<QString>("endDate");
        QTest::addColumn<QString>("endTime");
        QTest::addColumn<QString>("duration"); // DURATION afterwards ("" = unchanged from empty)
        QTest::addColumn<bool>("valid");
        auto row = [](const QString& name, const QString& zone, const char* startDate, const char* startTime,
                      const char* endDate, const char* endTime, const char* duration, bool valid) {
            QTest::newRow(qPrintable(name)) << zone << QString(startDate) << QString(startTime) << QString(endDate)
                                            << QString(endTime) << QString(duration) << valid;
        };
        for (const QString zone : {"Europe/Paris", "Asia/Kolkata", "Australia/Sydney"}) {
            row(zone + " timed", zone, "2007-03-15", "09:30", "2007-03-15", "11:00", "T1H30M", true);
            row(zone + " all-day one day", zone, "2007-03-15", "", "2007-03-15", "", "1D", true);
            row(zone + " all-day three days", zone, "2007-03-15", "", "2007-03-17", "", "3D", true);
            row(zone + " over midnight", zone, "2007-03-15", "09:00", "2007-03-16", "10:30", "1DT1H30M", true);
            row(zone + " 23 to 1", zone, "2007-03-15", "23:00", "2007-03-16", "01:00", "T2H", true);
            row(zone + " equal times invalid", zone, "2007-03-15", "09:00", "2007-03-15", "09:00", "", false);
            row(zone + " end before start", zone, "2007-03-15", "11:00", "2007-03-15", "09:00", "", false);
            row(zone + " all-day end before start", zone, "2007-03-15", "", "2007-03-14", "", "1D", false);
            row(zone + " start time only", zone, "2007-03-15", "09:00", "2007-03-15", "", "", false);
            row(zone + " end time only", zone, "2007-03-15", "", "2007-03-15", "10:00", "1D", false);
            row(zone + " start date only", zone, "2007-03-15", "", "", "", "1D", true);
        }
        // Daylight-saving changes inside the span: whole days on the wall clock, the rest in exact time.
        row("all-day over spring change", "Europe/Paris", "2007-03-24", "", "2007-03-26", "", "3D", true);
        row("timed over spring change", "Europe/Paris", "2007-03-24", "12:00", "2007-03-25", "12:00", "1D", true);
        row("timed over Sydney change", "Australia/Sydney", "2007-10-27", "23:00", "2007-10-28", "04:00", "T4H", true);
        row("night over spring change", "Europe/Paris", "2007-03-25", "01:00", "2007-03-25", "04:00", "T2H", true);
        row("a day and hours over autumn change", "Europe/Paris", "2007-10-27", "12:00", "2007-10-28", "14:00", "1DT2H",
            true);
    }
    void durations()
    {
        QFETCH(QString, zone);
        QFETCH(QString, startDate);
        QFETCH(QString, startTime);
        QFETCH(QString, endDate);
        QFETCH(QString, endTime);
        QFETCH(QString, duration);
        QFETCH(bool, valid);
        // The duration column is what DURATION holds at the end: an invalid step keeps the last valid one.
        testutil::pinZone(zone.toLatin1().constData());
        auto e = dataEntry::create();
        if (!startTime.isEmpty())
            e->setStartTime(clock(startTime));
        e->setStartDate(day(startDate));
        if (!endDate.isEmpty())
            e->setEndDate(day(endDate));
        if (!endTime.isEmpty())
            e->setEndTime(clock(endTime));
        QCOMPARE(e->getDURATIONValue(), duration);
        QCOMPARE(e->getDataCheck(), valid);
        if (!duration.isEmpty())
            QCOMPARE(e->getDURATION(), QStringLiteral("DURATION:P") + duration);
    }

    // What the problem rows say about an entry whose start and end do not fit together.
    void invalidReasons_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("startTime");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("endTime");
        QTest::addColumn<QString>("reason");
        auto row = [](const char* name, const char* start, const char* startTime, const char* end, const char* endTime,
                      const char* reason) {
            QTest::newRow(name) << QString(start) << QString(startTime) << QString(end) << QString(endTime)
                                << QString(reason);
        };
        row("backwards", "2007-03-15", "11:00", "2007-03-15", "10:00", "it ends before it starts");
        row("no length", "2007-03-15", "11:00", "2007-03-15", "11:00", "it ends when it starts");
        row("start time only", "2007-03-15", "11:00", "2007-03-15", "", "it has a start time but no end time");
        row("end time only", "2007-03-15", "", "2007-03-15", "10:00", "it has an end time but no start time");
        row("no dates", "", "", "", "", "it has no start date");
        row("consistent", "2007-03-15", "", "2007-03-16", "", "");
    }
    void invalidReasons()
    {
        QFETCH(QString, start);
        QFETCH(QString, startTime);
        QFETCH(QString, end);
        QFETCH(QString, endTime);
        QFETCH(QString, reason);
        auto date = [](const QString& d, const QString& t) {
            return d.isEmpty()
                ? CalDate()
                : CalDate::parse(d + ' ' + (t.isEmpty() ? QStringLiteral("00:00") : t), "%Y-%m-%d %H:%M");
        };
        auto e = dataEntry::create();
        e->updateStartDetail(date(start, QString()), startTime.isEmpty() ? CalDate() : date(start, startTime));
        e->updateEndDetail(date(end, QString()), endTime.isEmpty() ? CalDate() : date(end, endTime));
        QCOMPARE(e->invalidReason(), reason);
        QCOMPARE(e->getDataCheck(), reason.isEmpty());
    }

    void dtstartForms()
    {
        testutil::pinZone("Asia/Kolkata");
        auto timed = dataEntry::create();
        timed->setStartTime(clock("09:30"));
        QVERIFY(timed->getDTSTART().isEmpty()); // built by the date
        timed->setStartDate(day("2007-03-15"));
        QCOMPARE(timed->getDTSTART(), QStringLiteral("DTSTART;TZID=Asia/Kolkata:20070315T093000"));
        timed->advanceByDays(1);
        QCOMPARE(timed->getDTSTART(), QStringLiteral("DTSTART;TZID=Asia/Kolkata:20070316T093000"));
        timed->setStartTime(clock("14:05"));
        QCOMPARE(timed->getDTSTART(), QStringLiteral("DTSTART;TZID=Asia/Kolkata:20070316T140500"));
        timed->setStartTime(CalDate());
        QCOMPARE(timed->getDTSTART(), QStringLiteral("DTSTART;VALUE=DATE:20070316"));

        auto allDay = dataEntry::create();
        allDay->setStartDate(day("2007-03-15"));
        QCOMPARE(allDay->getDTSTART(), QStringLiteral("DTSTART;VALUE=DATE:20070315"));
        allDay->setStartTime(CalDate());
        QCOMPARE(allDay->getDTSTART(), QStringLiteral("DTSTART;VALUE=DATE:20070315"));
        // The zone is named by its identifier, never by an abbreviation such as IST.
        allDay->setStartTime(clock("09:30"));
        QCOMPARE(allDay->getDTSTART(), QStringLiteral("DTSTART;TZID=Asia/Kolkata:20070315T093000"));

        // A line read from a file keeps its own head.
        auto read = dataEntry::create();
        read->setDTSTART("DTSTART;TZID=America/New_York:20070101T080000");
        read->setStartDate(day("2007-02-03"));
        QCOMPARE(read->getDTSTART(), QStringLiteral("DTSTART;TZID=America/New_York:20070203T080000"));
    }

    void updateDetails()
    {
        auto e = dataEntry::create();
        e->setStartTime(clock("09:00"));
        e->setStartDate(day("2007-03-15"));
        e->setEndDate(day("2007-03-15"));
        e->setEndTime(clock("10:00"));
        QVERIFY(e->getDataCheck());
        e->updateStartDetail(day("2007-03-16"), clock("08:00"));
        QCOMPARE(e->getDTSTART(), QStringLiteral("DTSTART;TZID=Europe/Paris:20070316T080000"));
        e->updateEndDetail(day("2007-03-16"), clock("09:15"));
        QVERIFY(e->getDataCheck());
        QCOMPARE(e->getDURATIONValue(), QStringLiteral("T1H15M"));
        e->updateStartDetail(CalDate(), CalDate());
        QVERIFY(!e->getDataCheck());
    }

    void endFromDuration_data()
    {
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("expected");
        const QList<std::pair<const char*, const char*>> rows {
            {"PT1H30M", "2007-03-15 10:30:00"}, {"PT2H", "2007-03-15 11:00:00"},
            {"PT45M", "2007-03-15 09:45:00"},   {"PT45M\r", "2007-03-15 09:45:00"}, // with CR
            {"PT1M30S", "2007-03-15 09:01:30"}, {"PT90S", "2007-03-15 09:01:30"},
            {"P1D", "2007-03-15 09:00:00"}, // one day is the same day
            {"P3D", "2007-03-17 09:00:00"},     {"P2W", "2007-03-29 09:00:00"},
            {"P1DT2H", "2007-03-15 09:00:00"}, // mixed is not read
            {"XYZ", "2007-03-15 09:00:00"},     {"", "2007-03-15 09:00:00"},
            {"PT", "2007-03-15 09:00:00"},      {"P99999999999999999999D", "*"}, // a huge number does not overflow
        };
        for (const auto& [duration, expected] : rows)
            QTest::addRow("%s", *duration ? QByteArray(duration).replace('\r', "\\r").constData() : "empty")
                << QString(duration) << QString(expected);
    }
    void endFromDuration()
    {
        QFETCH(QString, duration);
        QFETCH(QString, expected);
        auto e = dataEntry::create();
        const CalDate end = e->getFullEndTimeUsingDateAndDuration(at("2007-03-15 09:00:00"), duration);
        if (expected == QLatin1String("*"))
            return; // only that it returns
        QCOMPARE(end.format("%Y-%m-%d %H:%M:%S"), expected);
    }

    void escapesAndCleaning()
    {
        auto e = dataEntry::create();
        e->setSummary(QStringLiteral("a\r\nb"));
        QCOMPARE(e->getSUMMARY(), QStringLiteral("SUMMARY:a\\n\\nb"));
        QCOMPARE(e->getCheck(), QString());
        e->setDESCRIPTION(QStringLiteral("x\ny, z;"));
        QCOMPARE(e->getDESCRIPTION(), QStringLiteral("DESCRIPTION:x\\ny, z;"));
        e->setLocation(QStringLiteral("Room\r\n 5\n"));
        QCOMPARE(e->getLocation(), QStringLiteral("Room 5"));
        e->setImportedUID(QStringLiteral("abc\r\n-def\n"));
        QCOMPARE(e->getUID(), QStringLiteral("UID:abc-def"));
    }

    void statusAndLocationLines_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("location");
        auto row = [](const char* name, const char* value, const char* status, const char* location) {
            QTest::newRow(name) << QString(value) << QString(status) << QString(location);
        };
        row("empty", "", "", "");
        row("bare", "CONFIRMED", "STATUS:CONFIRMED", "LOCATION:CONFIRMED");
        row("prefix alone", "STATUS:", "", "LOCATION:STATUS:");
        row("whole line", "STATUS:TENTATIVE", "STATUS:TENTATIVE", "LOCATION:STATUS:TENTATIVE");
    }
    void statusAndLocationLines()
    {
        QFETCH(QString, value);
        QFETCH(QString, status);
        QFETCH(QString, location);
        auto e = dataEntry::create();
        e->setStatus(value);
        e->setLocation(value);
        QCOMPARE(e->getSTATUS(), status);
        QCOMPARE(e->getLOCATION(), location);
    }

    void moving_data()
    {
        QTest::addColumn<int>("unit"); // 0 days, 1 months, 2 years
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("a day") << 0 << 1 << "2007-01-31 09:00"
                               << "2007-01-31 10:00";
        QTest::newRow("a month carries") << 1 << 1 << "2007-03-03 09:00"
                                         << "2007-03-03 10:00";
        QTest::newRow("back a year") << 2 << -1 << "2006-01-30 09:00"
                                     << "2006-01-30 10:00";
    }
    void moving()
    {
        QFETCH(int, unit);
        QFETCH(int, n);
        QFETCH(QString, start);
        QFETCH(QString, end);
        auto e = dataEntry::create();
        e->setStartTime(clock("09:00"));
        e->setStartDate(day(unit == 2 ? "2007-01-30" : unit == 1 ? "2007-01-31" : "2007-01-30"));
        e->setEndDate(e->getStartDate());
        e->setEndTime(clock("10:00"));
        if (unit == 0)
            e->advanceByDays(n);
        else if (unit == 1)
            e->advanceByMonths(n);
        else
            e->advanceByYears(n);
        QCOMPARE(e->getFullStartTime().format("%Y-%m-%d %H:%M"), start);
        QCOMPARE(e->getFullEndTime().format("%Y-%m-%d %H:%M"), end);
        QVERIFY(e->getDataCheck());
    }

    void recurrenceIdLine()
    {
        testutil::pinZone("Australia/Sydney");
        auto e = dataEntry::create();
        e->setRecDate(day("2007-03-15"));
        e->setRecTime(clock("09:30"));
        QCOMPARE(e->getTheRecString(), QStringLiteral("RECURRENCE-ID;TZID=Australia/Sydney:20070315T093000"));
    }

    void blankTest()
    {
        auto e = dataEntry::create();
        QVERIFY(!e->notBlankLine());
        e->setNotes("n");
        QVERIFY(e->notBlankLine());
        auto r = dataEntry::create();
        r->setRRULE("FREQ=DAILY");
        QVERIFY(r->notBlankLine());
        auto d = dataEntry::create();
        d->setEndTime(clock("09:00"));
        QVERIFY(d->notBlankLine());
    }

    void exceptionDatesAndTables()
    {
        auto e = dataEntry::create();
        e->setTheEXDATE(day("2007-03-15"));
        e->setTheEXDATE(day("2007-03-22"));
        QCOMPARE(e->getTheEXDATE().size(), 2);
        QCOMPARE(e->tableRowCount(1), 2);
        e->removeTheEXDATE(7); // out of range: nothing happens
        e->removeTheEXDATE(0);
        QCOMPARE(e->getTheEXDATE().constFirst().format("%d"), QStringLiteral("22"));
        auto o = dataEntry::create();
        o->setSummary("moved");
        e->addRecObjectArray(o);
        QCOMPARE(e->tableRowCount(13), 1);
        QCOMPARE(e->tableValue(13, 0, "theSummary").toString(), QStringLiteral("moved"));
        QVERIFY(!e->tableValue(13, 5, "theSummary").isValid());
        QCOMPARE(e->tableRowCount(99), 0);
        e->setTheRepeater(true);
        QCOMPARE(e->getTheRepeater(), QStringLiteral("repeat"));
    }
};

QTEST_GUILESS_MAIN(TestDataEntry)
#include "tst_dataEntry.moc"
