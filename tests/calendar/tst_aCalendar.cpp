#include "calendar/aCalendar.h"
#include "testutil.h"

#include <QTest>

namespace
{
CalDate at(const QString& text)
{
    return CalDate::parse(text, QStringLiteral("%Y-%m-%d %H:%M:%S"));
}

EntryPtr timedEntry(const QString& summary, const QString& start, const QString& end)
{
    auto e = dataEntry::create();
    const CalDate s = at(start), f = at(end);
    e->setStartTime(s);
    e->setStartDate(s);
    e->setEndDate(f);
    e->setEndTime(f);
    e->setSummary(summary);
    return e;
}
} // namespace

class TestACalendar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
    }
    void cleanup() { Clock::reset(); }

    void columnOrderFirstAndSecondStart()
    {
        testutil::TempSettings settings;
        QVERIFY(!UserDefaults::standard().contains("commataborder"));
        aCalendar first;
        QCOMPARE(first.getCommaTabDataOrder(), aCalendar::defaultColumnOrder());
        QVERIFY(UserDefaults::standard().contains("commataborder"));
        QCOMPARE(first.getCommaTabDataOrder().at(4), (ColumnDescriptor {"Summary", "4"}));

        ColumnOrder mine {{"Summary", "4"}, {"Start Date", "1"}};
        aCalendar::saveColumnOrder(mine);
        aCalendar second;
        QCOMPARE(second.getCommaTabDataOrder(), mine);
    }

    void userFormats_data()
    {
        QTest::addColumn<QString>("shortDate");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("reduced");
        QTest::addColumn<QString>("dateSeparator");
        QTest::addColumn<QString>("timeSeparator");
        QTest::addColumn<QString>("userTime");
        QTest::addColumn<QString>("coded");
        auto row = [](const char* name, const char* shortDate, const char* time, const char* reduced,
                      const char* dateSeparator, const char* timeSeparator, const char* userTime, const char* coded) {
            QTest::newRow(name) << QString(shortDate) << QString(time) << QString(reduced) << QString(dateSeparator)
                                << QString(timeSeparator) << QString(userTime) << QString(coded);
        };
        row("uk", "%d/%m/%Y", "%H:%M:%S", "d/m/y", "/", ":", "%H:%M", "%d/%m/%Y");
        row("us short", "%1m/%e/%y", "%1I:%M:%S %p", "m/d/y", "/", ":", "%I:%M %p", "%m/%e/%y");
        row("german", "%d.%m.%y", "%H.%M.%S", "d.m.y", ".", ".", "%H.%M", "%d.%m.%y");
        row("iso", "%Y-%m-%d", "%H:%M", "y-m-d", "-", ":", "%H:%M", "%Y-%m-%d");
    }
    void userFormats()
    {
        QFETCH(QString, shortDate);
        QFETCH(QString, time);
        QFETCH(QString, reduced);
        QFETCH(QString, dateSeparator);
        QFETCH(QString, timeSeparator);
        QFETCH(QString, userTime);
        QFETCH(QString, coded);
        testutil::TempSettings settings {QLocale("en_US"),
                                         {{"NSShortDateFormatString", shortDate}, {"NSTimeFormatString", time}}};
        aCalendar cal;
        QCOMPARE(cal.getShortDateFormat(), reduced);
        QCOMPARE(cal.getShortDateFormatSeparator(), dateSeparator);
        QCOMPARE(cal.getShortTimeFormatSeparator(), timeSeparator);
        QCOMPARE(cal.getUserTimeFormat(), userTime);
        QCOMPARE(cal.getCodedShortDateFormat(), coded);
        QCOMPARE(cal.getTimeFormatter(), QStringLiteral("%H") + timeSeparator + QStringLiteral("%M"));
    }

    void amPmAndTimeWithoutSeconds()
    {
        testutil::TempSettings settings {QLocale("en_US"),
                                         {{"NSAMPMDesignation", QStringList {"a. m.", "p. m."}},
                                          {"NSShortDateFormatString", "%m/%d/%y"},
                                          {"NSShortTimeDateFormatString", "%M/%D/%Y %I:%M %p"}}};
        aCalendar cal;
        QCOMPARE(cal.getAmAndPmArray(), (QStringList {"a.m.", "p.m."}));
        // The short date is removed without regard to case, then the leading spaces.
        QCOMPARE(cal.getLongTimeFormatterNoSecString(), QStringLiteral("%I:%M %p"));
        UserDefaults::standard().setValue("NSShortTimeDateFormatString", "%H:%M");
        QCOMPARE(cal.getLongTimeFormatterNoSecString(), QStringLiteral("%H:%M"));
        UserDefaults::standard().setValue("NSShortTimeDateFormatString", "%m/%d/%y %m/%d/%y %H:%M");
        QCOMPARE(cal.getLongTimeFormatterNoSecString(), QStringLiteral("%H:%M"));
        const QVariantMap locale = cal.systemDefinedLocale();
        QCOMPARE(locale.size(), 6);
        QCOMPARE(locale.value("NSMonthNameArray").toStringList().value(0), QStringLiteral("January"));
    }

    void validation()
    {
        testutil::TempSettings settings;
        aCalendar cal;
        QVERIFY(!cal.dataCheck()); // an empty list cannot be exported

        cal.getTheData().append(dataEntry::create()); // blank and invalid, but alone
        QVERIFY(!cal.dataCheck());
        QCOMPARE(cal.getTheProblemEntries(), QStringList {"0"});

        cal.getTheData().append(timedEntry("good", "2007-03-15 09:00:00", "2007-03-15 10:00:00"));
        QVERIFY(cal.dataCheck()); // the blank one is ignored among others
        QVERIFY(cal.getTheProblemEntries().isEmpty());

        cal.getTheData().append(timedEntry("backwards", "2007-03-15 11:00:00", "2007-03-15 10:00:00"));
        QVERIFY(!cal.dataCheck());
        QCOMPARE(cal.getTheProblemEntries(), QStringList {"2"});
        QCOMPARE(cal.getIntForTheProblemEntryNumber(0), 2);
        QCOMPARE(cal.getTheProblemEntryNumber(2)->getSummary(), QStringLiteral("backwards"));
    }

    // Every message of a read, typed out: a dropped space or a misspelt word must fail here.
    void problemMessages_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("message");
        const QStringList todo {"BEGIN:VTODO", "END:VTODO"};
        const QStringList unused {"BEGIN:VEVENT", "X-UNUSED:1", "DTSTART;VALUE=DATE:20070315", "END:VEVENT"};
        const QStringList journal {"BEGIN:VJOURNAL", "END:VJOURNAL"};
        const QStringList description {"BEGIN:VEVENT", "DESCRIPTION;FMTTYPE=text/html:x", "DTSTART;VALUE=DATE:20070315",
                                       "END:VEVENT"};
        const QString contact = QStringLiteral(
            "Please contact support@quenlor.example with details and a copy of the file which triggered the problem. "
            "(Error %1)");
        const QString todoText = "Your data file contains 'To Do' entries.  These are not currently supported by the "
                                 "program and have therefore been removed from the displayed data. ('To Do' will be "
                                 "supported in a later version.)";
        const QString detail = "The program has encountered an appointment entry detail that it cannot process.  This "
                               "data will be discarded.";
        const QString entry = "The program has encountered an appointment entry that it cannot fully process. This "
                              "data will be discarded.";
        const QString other = "Your data file contains an entry (or entries) that are not supported by the program.";
        const QString two = "The program has encountered 2 problems:\n\n1. ";
        // The spaces before some paragraph breaks are part of the messages.
        QTest::newRow("1501") << todo + unused + journal
                              << "The program has encountered 3 problems:\n\n1. " + todoText + " \n\n2. " + entry
                + "\n\n3. " + other + "\n\n" + contact.arg(1501);
        QTest::newRow("1502") << todo + unused << two + todoText + "\n\n2. " + detail + " \n\n" + contact.arg(1502);
        QTest::newRow("1503") << todo + journal << two + todoText + "\n\n2. " + other + "\n\n" + contact.arg(1503);
        QTest::newRow("1504") << unused + journal << two + detail + "\n\n2. " + other + "\n\n" + contact.arg(1504);
        QTest::newRow("1505") << todo << todoText + " (Error 1505)";
        QTest::newRow("1506") << unused << detail + "\n\n" + contact.arg(1506);
        QTest::newRow("1507") << journal << other + "\n\n" + contact.arg(1507);
        QTest::newRow("1508") << description
                              << "Your data file contains an entry (or entries) that have a description type not "
                                 "supported by Tidewell. This part of the entry has been discarded although the "
                                 "appointment (and any associated summary text) has been preserved and is included in "
                                 "the data presented. (Error 1508)";
        QTest::newRow("1508 yields to others") << description + journal << other + "\n\n" + contact.arg(1507);
    }
    void problemMessages()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, message);
        testutil::TempSettings settings;
        aCalendar cal;
        const QString text = (QStringList {"BEGIN:VCALENDAR", "VERSION:2.0"} + lines + QStringList {"END:VCALENDAR"})
                                 .join(QStringLiteral("\r\n"));
        QCOMPARE(cal.setData(text + QStringLiteral("\r\n")), message);
    }

    void overrideLinking()
    {
        testutil::TempSettings settings;
        aCalendar cal;
        auto a = timedEntry("a", "2007-03-15 09:00:00", "2007-03-15 10:00:00");
        auto b = timedEntry("b", "2007-03-16 09:00:00", "2007-03-16 10:00:00");
        auto c = timedEntry("c", "2007-03-17 09:00:00", "2007-03-17 10:00:00");
        a->setImportedUID("same");
        b->setImportedUID("same");
        cal.getTheData() << a << b << c;
        auto o = dataEntry::create();
        o->setImportedUID("same");
        cal.addRecObject(o);
        cal.addRecObjectsToData();
        QCOMPARE(a->getTheReoccDateArray().size(), 1);
        QCOMPARE(b->getTheReoccDateArray().size(), 1);
        QCOMPARE(o->getParentDataEntry(), b); // the later one
        QVERIFY(!c->getUIDValue().isEmpty()); // linking gives every entry a UID
        QVERIFY(c->getTheReoccDateArray().isEmpty());
        // Linking again (a later read links earlier overrides too) adds nothing twice.
        cal.addRecObjectsToData();
        QCOMPARE(a->getTheReoccDateArray().size(), 1);
        // The parent does not keep its override alive through the back pointer, and vice versa.
        std::weak_ptr<dataEntry> weakB = b;
        cal.getTheData().removeAt(1);
        b.reset();
        QVERIFY(weakB.expired());
        QCOMPARE(o->getParentDataEntry(), EntryPtr());
    }

    void listOperations()
    {
        testutil::TempSettings settings;
        aCalendar cal;
        auto a = timedEntry("a", "2007-03-15 09:00:00", "2007-03-15 10:00:00");
        auto b = timedEntry("b", "2007-03-16 09:00:00", "2007-03-16 10:00:00");
        cal.replaceTheData({a, b});
        cal.replaceTheData(cal.getTheData()); // replacing by itself keeps the entries
        QCOMPARE(cal.entryCount(), 2);
        cal.setDescriptionTo("notes", 1);
        QCOMPARE(cal.getShortDescriptionForEntry(1), QStringLiteral("notes"));
        QCOMPARE(cal.getShortDescriptionForEntry(7), QString());
        cal.removeObjectAtIndex(9);
        cal.removeObjectAtIndex(0);
        QCOMPARE(cal.calObjectAtIndex(0), b);
        QCOMPARE(cal.calObjectAtIndex(3), EntryPtr());
        cal.setTheFileSource("/home/ann/Calendars/My.Cal.ics");
        QCOMPARE(cal.getCalName(), QStringLiteral("My.Cal"));
        QCOMPARE(cal.getCommaTabDataItemCount(0), 0);
        cal.removeAllObjectsFromCal();
        QCOMPARE(cal.entryCount(), 0);
    }

    // zoneAdjust: each row pins the user's zone and the moment of reading.
    void zoneAdjust_data()
    {
        QTest::addColumn<QString>("userZone");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("appZone");
        QTest::addColumn<QString>("calendarZone");
        QTest::addColumn<QString>("tzLine");
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        auto row = [](const char* name, const char* userZone, const char* now, const char* appZone,
                      const char* calendarZone, const char* tzLine, const char* in, const char* out) {
            QTest::newRow(name) << QString(userZone) << QString(now) << QString(appZone) << QString(calendarZone)
                                << QString(tzLine) << QString(in) << QString(out);
        };
        const char* winter = "2007-01-15T12:00:00Z";
        row("no zone information keeps seconds", "Europe/Paris", winter, "", "", "", "2007-03-15 09:30:45",
            "2007-03-15 09:30:45");
        row("calendar zone New York read in London", "Europe/London", winter, "", "America/New_York", "",
            "2007-01-15 09:00:00", "2007-01-15 14:00:00");
        row("DTSTART zone wins over calendar zone", "Europe/London", winter, "Europe/Paris", "America/New_York", "",
            "2007-01-15 09:00:00", "2007-01-15 08:00:00");
        row("own zone identifier keeps seconds", "Europe/Paris", winter, "Europe/Paris", "", "", "2007-03-15 09:30:45",
            "2007-03-15 09:30:45");
        row("own zone abbreviation keeps seconds", "Europe/Paris", winter, "", "CET", "", "2007-03-15 09:30:45",
            "2007-03-15 09:30:45");
        row("conversion drops seconds", "Asia/Kolkata", winter, "Australia/Sydney", "", "", "2007-01-15 09:30:45",
            "2007-01-15 04:00:00");
        row("Windows zone name", "Europe/Paris", winter, "Eastern Standard Time", "", "", "2007-01-15 09:00:00",
            "2007-01-15 15:00:00");
        row("unknown zone behaves as local", "Europe/Paris", winter, "Mars/Olympus", "", "", "2007-01-15 09:00:45",
            "2007-01-15 09:00:00");
        row("Sydney reads New York over its summer", "Australia/Sydney", winter, "America/New_York", "", "",
            "2007-01-15 09:00:00", "2007-01-16 01:00:00");
        // vCalendar: UTC times, each shown at the offset of its own date (not today's).
        row("TZ line, zone at +1 all year", "Africa/Lagos", winter, "", "", "+00", "2007-03-15 08:30:00",
            "2007-03-15 09:30:00");
        row("TZ line, summer event read in winter", "Europe/London", winter, "", "", "+0000", "2007-07-15 08:30:00",
            "2007-07-15 09:30:00");
        row("TZ line, summer event read in summer", "Europe/London", "2007-07-01T12:00:00Z", "", "", "+0000",
            "2007-07-15 08:30:00", "2007-07-15 09:30:00");
        row("TZ line, Kolkata", "Asia/Kolkata", winter, "", "", "+0530", "2007-03-15 08:30:00", "2007-03-15 14:00:00");
        row("TZ line, Sydney winter event read in summer", "Australia/Sydney", winter, "", "", "+1000",
            "2007-07-15 08:30:00", "2007-07-15 18:30:00");
    }
    void zoneAdjust()
    {
        QFETCH(QString, userZone);
        QFETCH(QString, now);
        QFETCH(QString, appZone);
        QFETCH(QString, calendarZone);
        QFETCH(QString, tzLine);
        QFETCH(QString, in);
        QFETCH(QString, out);
        testutil::pinZone(userZone.toLatin1().constData());
        testutil::pinClock(now.toLatin1().constData());
        testutil::TempSettings settings;
        aCalendar cal;
        cal.setAppTimeZone(appZone);
        cal.setControlZoneString(calendarZone);
        cal.setControlHoursFromGMT(tzLine);
        const CalDate result = cal.zoneAdjust(at(in));
        QCOMPARE(result.format("%Y-%m-%d %H:%M:%S"), out);
        QCOMPARE(Zones::idOf(result.zone()), userZone);
    }
};

QTEST_GUILESS_MAIN(TestACalendar)
#include "tst_aCalendar.moc"
