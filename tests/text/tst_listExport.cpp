#include "calendar/aCalendar.h"
#include "formats/repeatList.h"
#include "platform/Parallel.h"
#include "testutil.h"

#include <QtTest>

#include <numeric>

namespace
{
CalDate at(const QString& text)
{
    return text.size() == 8 ? CalDate::parse(text, QStringLiteral("%Y%m%d"))
                            : CalDate::parse(text, QStringLiteral("%Y%m%dT%H%M%S"));
}

EntryPtr makeEntry(const QString& start, const QString& end, const QString& summary,
                   const QString& description = QString(), const QString& rrule = QString())
{
    EntryPtr e = dataEntry::create();
    if (start.size() > 8)
        e->setStartTime(at(start));
    e->setStartDate(at(start));
    if (end.size() > 8)
        e->setEndTime(at(end));
    e->setEndDate(at(end));
    e->setSummary(summary);
    e->setDESCRIPTION(description);
    e->setRRULE(rrule);
    return e;
}

QVariantMap usSettings(const QString& timeFormat = QStringLiteral("%I:%M:%S %p"))
{
    return {{"NSShortDateFormatString", "%m/%d/%y"},
            {"NSDateFormatString", "%A, %B %e, %Y"},
            {"NSTimeFormatString", timeFormat},
            {"NSAMPMDesignation", QStringList {"AM", "PM"}}};
}

QVariantMap germanSettings()
{
    return {{"NSShortDateFormatString", "%d.%m.%Y"},
            {"NSDateFormatString", "%A, %e. %B %Y"},
            {"NSTimeFormatString", "%H:%M:%S"},
            {"NSAMPMDesignation", QStringList {"vorm.", "nachm."}},
            {"NSMonthNameArray",
             QStringList {"Januar", "Februar", "M\u00e4rz", "April", "Mai", "Juni", "Juli", "August", "September",
                          "Oktober", "November", "Dezember"}},
            {"NSWeekDayNameArray",
             QStringList {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"}}};
}

// Holiday (all day), Dentist (timed), a meeting the next afternoon; given out of order.
EntryList sample()
{
    return {makeEntry("20070316T140000", "20070316T153000", "Meeting, team", "Agenda:\r\nbudget"),
            makeEntry("20070315T093000", "20070315T100000", "Dentist", "Bring\tcard"),
            makeEntry("20070315", "20070315", "Holiday")};
}

const QStringList kColumns {"startDate", "startTime", "endDate", "endTime", "theSummary"};
} // namespace

class tst_listExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("America/New_York");
        testutil::pinClock("2007-01-15T12:00:00Z");
    }

    void removeLeadZero_data();
    void removeLeadZero();
    void commaListUs();
    void tabListGerman();
    void delimitedColumns();
    void midnightTimes();
    void expandedDelimitedList();
    void commaListReadsBack();
    void headingAndOrder();
    void textOutputUs_data();
    void textOutputUs();
    void textOutputGerman();
    void textOutputWarningsAndHeadings();
};

void tst_listExport::removeLeadZero_data()
{
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    auto row = [](const char* tag, const QString& in, const QString& out) { QTest::newRow(tag) << in << out; };
    row("one zero", "09:30", " 9:30");
    row("two zeros", "00:30", "00:30");
    row("no zero", "10:00", "10:00");
    row("lone zero", "0", " ");
    row("empty", "", "");
}

void tst_listExport::removeLeadZero()
{
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(aCalendar::removeLeadZero(in), out);
}

void tst_listExport::commaListUs()
{
    testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usSettings());
    aCalendar cal;
    QCOMPARE(cal.theCommaOut(sample(), kColumns),
             QStringLiteral("03/15/2007,,03/15/2007,,Holiday,\r\n"
                            "03/15/2007,09:30,03/15/2007,10:00,Dentist,Bring\tcard\r\n"
                            "03/16/2007,14:00,03/16/2007,15:30,Meeting team,Agenda: budget\r\n"));
}

void tst_listExport::tabListGerman()
{
    testutil::TempSettings settings(QLocale(QLocale::German, QLocale::Germany), germanSettings());
    aCalendar cal;
    QCOMPARE(cal.theTabOut(sample(), kColumns),
             QStringLiteral("15.03.2007\t\t15.03.2007\t\tHoliday\t\r\n"
                            "15.03.2007\t09:30\t15.03.2007\t10:00\tDentist\tBring card\r\n"
                            "16.03.2007\t14:00\t16.03.2007\t15:30\tMeeting, team\tAgenda: budget\r\n"));
}

void tst_listExport::delimitedColumns()
{
    testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usSettings());
    aCalendar cal;
    const EntryList one {makeEntry("20070315T093000", "20070315T100000", "a\tb,c\r\nd", "x,y\tz")};
    // Unknown identifiers write nothing, not even a separator; the description always ends the line.
    QCOMPARE(cal.theCommaOut(one, {"theSummary", "location", "endTime"}), QStringLiteral("a\tbc d,10:00,xy\tz\r\n"));
    QCOMPARE(cal.theTabOut(one, {"theSummary", "location"}), QStringLiteral("a b,c d\tx,y z\r\n"));
    QCOMPARE(cal.theTabOut(one, {}), QStringLiteral("x,y z\r\n"));
    // A tab field that begins with a quote is quoted, or it would swallow the lines up to the next quote.
    const EntryList quoted {makeEntry("20070315T093000", "20070315T100000", "\"Q1\" review", "Say \"hi\"")};
    QCOMPARE(cal.theTabOut(quoted, {"theSummary"}), QStringLiteral("\"\"\"Q1\"\" review\"\tSay \"hi\"\r\n"));
    QCOMPARE(cal.theCommaOut({}, kColumns), QString());
}

void tst_listExport::midnightTimes()
{
    testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usSettings());
    aCalendar cal;
    const EntryList list {makeEntry("20070315T000000", "20070316T000000", "both midnight"),
                          makeEntry("20070317T000000", "20070317T010000", "to one")};
    QCOMPARE(cal.theCommaOut(list, kColumns),
             QStringLiteral("03/15/2007,,03/16/2007,,both midnight,\r\n"
                            "03/17/2007,00:00,03/17/2007,01:00,to one,\r\n"));
    // The time separator follows the user's time format.
    testutil::TempSettings dotted(QLocale(QLocale::English, QLocale::UnitedStates),
                                  usSettings(QStringLiteral("%H.%M.%S")));
    aCalendar dots;
    QCOMPARE(dots.theCommaOut(list, {"startTime", "endTime"}), QStringLiteral(",,\r\n00.00,01.00,\r\n"));
}

void tst_listExport::expandedDelimitedList()
{
    testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usSettings());
    aCalendar cal;
    cal.getTheData() << makeEntry("20070310T090000", "20070310T100000", "Standup", QString(), "FREQ=DAILY;COUNT=3")
                     << makeEntry("20070311T120000", "20070311T130000", "Lunch");
    // Across the change to summer time in New York (11 March 2007) the clock time stays.
    const repeatList expanded(cal.getTheData());
    QCOMPARE(cal.theCommaOut(expanded.getDataArray(), kColumns),
             QStringLiteral("03/10/2007,09:00,03/10/2007,10:00,Standup,\r\n"
                            "03/11/2007,09:00,03/11/2007,10:00,Standup,\r\n"
                            "03/11/2007,12:00,03/11/2007,13:00,Lunch,\r\n"
                            "03/12/2007,09:00,03/12/2007,10:00,Standup,\r\n"));
    QCOMPARE(expanded.getWarningString(), QString());

    // Written from rows, days and times are formatted once per writer and then remembered: more
    // days than it remembers, several times of day.
    aCalendar many;
    many.getTheData() << makeEntry("20070101T091500", "20070101T100000", "Daily", QString(), "FREQ=DAILY;COUNT=150")
                      << makeEntry("20070102T094500", "20070103T091000", "Overnight", QString(), "FREQ=WEEKLY;COUNT=20")
                      << makeEntry("20071231T120000", "20071231T120000", "Horizon");
    const repeatList rows(many.getTheData());
    QList<qsizetype> all(rows.size());
    std::iota(all.begin(), all.end(), 0);
    QString expected;
    for (const EntryPtr& e : rows.getDataArray()) {
        const CalDate a = e->getFullStartTime(), b = e->getFullEndTime();
        expected += a.format("%m/%d/%Y,%H:%M,") + b.format("%m/%d/%Y,%H:%M,") + e->getSummary() + ",\r\n";
    }
    aCalendar::ListOptions unsorted;
    unsorted.sortByStart = false;
    QCOMPARE(QString::fromUtf8(many.delimitedListBytes(rows, all, kColumns, false, unsorted)), expected);
    // Made in small parts on several threads, and handed over in order.
    Parallel::setLimits(3, 7);
    QStringList parts;
    QVERIFY(many.delimitedListTo(rows, all, kColumns, false, unsorted, [&parts](const QByteArray& part) {
        parts << QString::fromUtf8(part);
        return true;
    }));
    // A sink that stops (a write failed) ends the making.
    int taken = 0;
    QVERIFY(!many.delimitedListTo(rows, all, kColumns, false, unsorted, [&taken](const QByteArray&) {
        return ++taken < 3;
    }));
    QCOMPARE(taken, 3);
    Parallel::setLimits(0);
    QVERIFY(parts.size() > 10);
    QCOMPARE(parts.join(QString()), expected);
}

// What the comma list writes with the default columns, the import reads with its default order:
// quoted quotes, line breaks, blank entries, a year of another century.
void tst_listExport::commaListReadsBack()
{
    testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usSettings());
    aCalendar cal;
    const EntryList entries {makeEntry("20070315T093000", "20070315T100000", "\"Q1\" review", "Bring\r\n\r\nslides"),
                             makeEntry("20070315T110000", "20070315T120000", "A plain event"),
                             makeEntry("19400316", "19400316", "Say \"hi\", Bob", "\"quoted\""), dataEntry::create()};
    const QStringList columns {"startTime", "startDate", "endTime", "endDate", "theSummary"};
    const QString text = cal.theCommaOut(entries, columns);
    QCOMPARE(text,
             QStringLiteral(",03/16/1940,,03/16/1940,\"Say \"\"hi\"\" Bob\",\"\"\"quoted\"\"\"\r\n"
                            "09:30,03/15/2007,10:00,03/15/2007,\"\"\"Q1\"\" review\",Bring slides\r\n"
                            "11:00,03/15/2007,12:00,03/15/2007,A plain event,\r\n"));
    cal.processCT(text, QStringLiteral(","));
    cal.makeAllEntriesWithSeparated(aCalendar::defaultColumnOrder());
    QStringList back;
    for (const EntryPtr& e : cal.getPendingEntries())
        back << e->getFullStartTime().format(QStringLiteral("%Y-%m-%d %H:%M")) + QLatin1Char('|') + e->getSummary()
                + QLatin1Char('|') + e->getShortDESCRIPTION() + QLatin1Char('|') + QString::number(e->getDataCheck());
    QCOMPARE(back,
             (QStringList {"1940-03-16 00:00|Say \"hi\" Bob|\"quoted\"|1",
                           "2007-03-15 09:30|\"Q1\" review|Bring slides|1", "2007-03-15 11:00|A plain event||1"}));
}

void tst_listExport::headingAndOrder()
{
    testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usSettings());
    aCalendar cal;
    aCalendar::ListOptions options;
    options.heading = true;
    options.sortByStart = false;
    QCOMPARE(cal.theTabOut(sample(), {"theSummary", "startDate", "location"}, options),
             QStringLiteral("Summary\tStart Date\tDescription\r\n"
                            "Meeting, team\t03/16/2007\tAgenda: budget\r\n"
                            "Dentist\t03/15/2007\tBring card\r\n"
                            "Holiday\t03/15/2007\t\r\n"));
    // The heading reads back as the column order.
    QCOMPARE(aCalendar::columnOrderFromHeading({"Summary", "Start Date", "Description"}),
             (ColumnOrder {{"Summary", "4"}, {"Start Date", "1"}, {"Description", "5"}}));
}

void tst_listExport::textOutputUs_data()
{
    QTest::addColumn<QString>("timeFormat");
    QTest::addColumn<QString>("dentist");
    QTest::addColumn<QString>("meeting");
    auto row = [](const char* tag, const QString& timeFormat, const QString& dentist, const QString& meeting) {
        QTest::newRow(tag) << timeFormat << dentist << meeting;
    };
    // A format that shows AM/PM itself gets no second designation.
    row("with %p", "%I:%M:%S %p", "\t 9:30 AM - 10:00 AM\tDentist\n\n", "\t 2:00 PM -  3:30 PM\tMeeting, team\n\n");
    row("without %p", "%I:%M:%S", "\t 9:30 AM - 10:00 AM\tDentist\n\n", "\t 2:00 PM -  3:30 PM\tMeeting, team\n\n");
    row("24 hours", "%H:%M:%S", "\t 9:30 - 10:00\tDentist\n\n", "\t14:00 - 15:30\tMeeting, team\n\n");
}

void tst_listExport::textOutputUs()
{
    QFETCH(QString, timeFormat);
    QFETCH(QString, dentist);
    QFETCH(QString, meeting);
    testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usSettings(timeFormat));
    aCalendar cal;
    cal.replaceTheData(sample());
    QCOMPARE(cal.textOutput(),
             QStringLiteral("Thursday, March 15, 2007\n\n\t\tHoliday\n\n") + dentist
                 + QStringLiteral("Friday, March 16, 2007\n\n") + meeting);
}

void tst_listExport::textOutputGerman()
{
    QVariantMap values = germanSettings();
    // A twelve-hour format whose designations never equal the default AM/PM: nothing after the space.
    values.insert(QStringLiteral("NSTimeFormatString"), QStringLiteral("%I:%M:%S"));
    testutil::TempSettings settings(QLocale(QLocale::German, QLocale::Germany), values);
    aCalendar cal;
    cal.replaceTheData(sample());
    QCOMPARE(cal.textOutput(),
             QStringLiteral("Donnerstag, 15. M\u00e4rz 2007\n\n\t\tHoliday\n\n"
                            "\t 9:30  - 10:00 \tDentist\n\n"
                            "Freitag, 16. M\u00e4rz 2007\n\n"
                            "\t 2:00  -  3:30 \tMeeting, team\n\n"));
}

void tst_listExport::textOutputWarningsAndHeadings()
{
    testutil::TempSettings settings(QLocale(QLocale::English, QLocale::UnitedStates), usSettings("%H:%M:%S"));
    aCalendar cal;
    QCOMPARE(cal.textOutput(), QString());
    cal.getTheData() << makeEntry("20070312T080000", "20070312T083000", "Walk", QString(), "FREQ=WEEKLY")
                     << makeEntry("20070320T100000", "20070320T110000", "Last");
    // The first heading uses "NSDateFormatString" as it is at export time, the others the format
    // read when the document was made.
    UserDefaults::standard().setValue(QStringLiteral("NSDateFormatString"), QStringLiteral("%d %b %Y"));
    QCOMPARE(cal.textOutput(),
             QStringLiteral("12 Mar 2007\n\n\t 8:00 -  8:30\tWalk\n\n"
                            "Monday, March 19, 2007\n\n\t 8:00 -  8:30\tWalk\n\n"
                            "Tuesday, March 20, 2007\n\n\t10:00 - 11:00\tLast\n\n"
                            "Monday, March 26, 2007\n\n\t 8:00 -  8:30\tWalk\n\n"
                            "\n\n")
                 + repeatList::weeklyWarning() + QStringLiteral("\n\n"));
}

QTEST_GUILESS_MAIN(tst_listExport)
#include "tst_listExport.moc"
