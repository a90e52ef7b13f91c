#include "calendar/aCalendar.h"
#include "formatsTestUtil.h"
#include "testutil.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace formatstest;

namespace
{
QString crlf(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

const QString kMonthly
    = QStringLiteral("There appears to be a monthly repeating event that can not be translated to vCal version 1\r\n");
const QString kYearly
    = QStringLiteral("There appears to be a yearly repeating event that can not be translated to vCal version 1\r\n");
} // namespace

class tst_writer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_settings = std::make_unique<testutil::TempSettings>(); }

    void init()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
        countedUuids();
    }

    void cleanupTestCase() { Uuid::setGenerator({}); }

    void emptyICal_data()
    {
        QTest::addColumn<bool>("named");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("nameLine");
        QTest::newRow("no name") << false << ""
                                 << "";
        QTest::newRow("file name") << true << "/home/u/Calendars/Work.ics"
                                   << "X-WR-CALNAME;VALUE=TEXT:Work\n";
        QTest::newRow("dots") << true << "/home/u/My.Cal.ics"
                              << "X-WR-CALNAME;VALUE=TEXT:My\n";
        QTest::newRow("no folder") << true << "Home.ics"
                                   << "X-WR-CALNAME;VALUE=TEXT:Home\n";
        // A line break in a file name must not start a property of its own.
        QTest::newRow("unsafe name") << true << "/tmp/Team, A;B\nEND:VCALENDAR.ics"
                                     << "X-WR-CALNAME;VALUE=TEXT:Team\\, A\\;BEND:VCALENDAR\n";
    }

    void emptyICal()
    {
        QFETCH(bool, named);
        QFETCH(QString, path);
        QFETCH(QString, nameLine);
        aCalendar cal;
        const QString text = named ? cal.createICalString({}, path) : cal.createICalString({}, nullptr);
        QCOMPARE(text,
                 crlf(QStringLiteral("BEGIN:VCALENDAR\n"
                                     "CALSCALE:GREGORIAN\n"
                                     "X-WR-TIMEZONE;VALUE=TEXT:Europe/Paris\n"
                                     "PRODID:-//Quenlor\\, //Quenlor//EN\n")
                      + nameLine
                      + QStringLiteral("X-WR-RELCALID;VALUE=TEXT:00000000-0000-0000-0000-000000000001\n"
                                       "VERSION:2.0\n"
                                       "END:VCALENDAR\n")));
    }

    void relCalIdIsNewEachTime()
    {
        aCalendar cal;
        QVERIFY(cal.createICalString({}, nullptr).contains(QLatin1String("000000000001\r\n")));
        QVERIFY(cal.createICalString({}, nullptr).contains(QLatin1String("000000000002\r\n")));
    }

    void overridesFollowTheirParentOnce()
    {
        EntryPtr parent = timed(QStringLiteral("Weekly"), 2007, 3, 15, 9, 0, 10, 0);
        parent->setUIDcopy(QStringLiteral("PARENT"));
        parent->setRRULE(QStringLiteral("FREQ=WEEKLY;INTERVAL=1"));
        EntryPtr moved = timed(QStringLiteral("Weekly (moved)"), 2007, 3, 22, 11, 0, 12, 0);
        moved->setUIDcopy(QStringLiteral("PARENT"));
        moved->setRecDate(day(2007, 3, 22));
        moved->setRecTime(at(2007, 3, 22, 9, 0));
        moved->setParentDataEntry(parent);
        parent->addRecObjectArray(moved);
        parent->addRecObjectArray(moved);
        EntryPtr holiday = allDay(QStringLiteral("Holiday"), day(2007, 4, 2), day(2007, 4, 2));

        aCalendar cal;
        const QString text = cal.createICalString({parent, dataEntry::create(), holiday}, nullptr);
        QCOMPARE(text,
                 crlf(QStringLiteral("BEGIN:VCALENDAR\n"
                                     "CALSCALE:GREGORIAN\n"
                                     "X-WR-TIMEZONE;VALUE=TEXT:Europe/Paris\n"
                                     "PRODID:-//Quenlor\\, //Quenlor//EN\n"
                                     "X-WR-RELCALID;VALUE=TEXT:00000000-0000-0000-0000-000000000001\n"
                                     "VERSION:2.0\n"
                                     "BEGIN:VEVENT\n"
                                     "SEQUENCE:1\n"
                                     "UID:PARENT\n"
                                     "DTSTAMP:20070115T120000Z\n"
                                     "DTSTART;TZID=Europe/Paris:20070315T090000\n"
                                     "SUMMARY:Weekly\n"
                                     "DURATION:PT1H\n"
                                     "RRULE:FREQ=WEEKLY;INTERVAL=1\n"
                                     "END:VEVENT\n"
                                     "BEGIN:VEVENT\n"
                                     "SEQUENCE:1\n"
                                     "UID:PARENT\n"
                                     "DTSTAMP:20070115T120000Z\n"
                                     "DTSTART;TZID=Europe/Paris:20070322T110000\n"
                                     "SUMMARY:Weekly (moved)\n"
                                     "DURATION:PT1H\n"
                                     "RECURRENCE-ID;TZID=Europe/Paris:20070322T090000\n"
                                     "END:VEVENT\n"
                                     "BEGIN:VEVENT\n"
                                     "SEQUENCE:1\n"
                                     "UID:00000000-0000-0000-0000-000000000002\n"
                                     "DTSTAMP:20070115T120000Z\n"
                                     "DTSTART;VALUE=DATE:20070402\n"
                                     "SUMMARY:Holiday\n"
                                     "DURATION:P1D\n"
                                     "END:VEVENT\n"
                                     "END:VCALENDAR\n")));
        // Listed among the entries as well, it is still written once.
        const QString again = cal.createICalString({parent, moved}, nullptr);
        QCOMPARE(again.count(QLatin1String("RECURRENCE-ID")), 1);
    }

    void zoneLines_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QByteArray>("now");
        QTest::addColumn<QString>("tz");
        QTest::newRow("Paris winter") << QByteArray("Europe/Paris") << QByteArray("2007-01-15T12:00:00Z") << "+01";
        QTest::newRow("Paris summer") << QByteArray("Europe/Paris") << QByteArray("2007-07-01T12:00:00Z") << "+02";
        QTest::newRow("Kolkata") << QByteArray("Asia/Kolkata") << QByteArray("2007-01-15T12:00:00Z") << "+0530";
        QTest::newRow("Sao Paulo summer")
            << QByteArray("America/Sao_Paulo") << QByteArray("2007-01-15T12:00:00Z") << "-02";
        QTest::newRow("Sao Paulo winter")
            << QByteArray("America/Sao_Paulo") << QByteArray("2007-07-01T12:00:00Z") << "-03";
        QTest::newRow("New York") << QByteArray("America/New_York") << QByteArray("2007-01-15T12:00:00Z") << "-05";
        QTest::newRow("St Johns") << QByteArray("America/St_Johns") << QByteArray("2007-01-15T12:00:00Z") << "-0330";
        QTest::newRow("Sydney") << QByteArray("Australia/Sydney") << QByteArray("2007-01-15T12:00:00Z") << "+11";
        QTest::newRow("UTC") << QByteArray("UTC") << QByteArray("2007-01-15T12:00:00Z") << "+00";
    }

    void zoneLines()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QByteArray, now);
        QFETCH(QString, tz);
        testutil::pinZone(zone.constData());
        testutil::pinClock(now.constData());
        aCalendar cal;
        QCOMPARE(cal.createVCalStringWithData({}),
                 QStringLiteral("BEGIN:VCALENDAR\r\nPRODID:PalmDesktop Generated\r\nTZ:%1\r\nVERSION:1.0\r\n"
                                "END:VCALENDAR\r\n")
                     .arg(tz));
        const QString ical = cal.createICalString({timed(QStringLiteral("x"), 2007, 3, 15, 9, 0, 10, 0)}, nullptr);
        QVERIFY(ical.contains(QStringLiteral("\r\nX-WR-TIMEZONE;VALUE=TEXT:%1\r\n").arg(QString::fromLatin1(zone))));
        QVERIFY(
            ical.contains(QStringLiteral("\r\nDTSTART;TZID=%1:20070315T090000\r\n").arg(QString::fromLatin1(zone))));
    }

    void untranslatableRuleFailsTheExport_data()
    {
        QTest::addColumn<QStringList>("rules"); // one entry per rule, "" for none, "blank" for a blank entry
        QTest::addColumn<QString>("message");
        QStringList tenGood;
        for (int i = 0; i < 10; ++i)
            tenGood << (i % 2 ? QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=MO") : QString());
        QTest::newRow("one bad among ten good")
            << (QStringList(tenGood.mid(0, 5))
                << QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=13;BYDAY=FR") << tenGood.mid(5))
            << kMonthly;
        QTest::newRow("blank after the bad one")
            << QStringList {QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=13;BYDAY=FR"), QStringLiteral("blank")} << kMonthly;
        QTest::newRow("last message wins") << QStringList {QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=13;BYDAY=FR"),
                                                           QStringLiteral("FREQ=YEARLY;BYDAY=1SU")}
                                           << kYearly;
        QTest::newRow("all good") << tenGood << QString();
    }

    void untranslatableRuleFailsTheExport()
    {
        QFETCH(QStringList, rules);
        QFETCH(QString, message);
        EntryList entries;
        for (const QString& rule : rules) {
            if (rule == QLatin1String("blank")) {
                entries << dataEntry::create();
                continue;
            }
            EntryPtr e = timed(QStringLiteral("e"), 2007, 3, 15, 9, 0, 10, 0);
            e->setRRULE(rule);
            entries << e;
        }
        aCalendar cal;
        const QString text = cal.createVCalStringWithData(entries);
        if (message.isEmpty()) {
            QVERIFY(text.startsWith(QLatin1String("BEGIN:VCALENDAR\r\n")));
            QCOMPARE(text.count(QLatin1String("BEGIN:VEVENT")), rules.size());
        } else {
            QCOMPARE(text, message);
        }
    }

    // A peer parser reads the iCalendar file: folded lines, overrides, exception dates and zones.
    void peerReadsICalendarFile()
    {
        if (!testutil::pythonHas(QStringLiteral("icalendar")))
            QSKIP("/usr/bin/python3 cannot import icalendar");

        EntryPtr parent
            = timed(QStringLiteral("Weekly \U0001F4C5 planning with a summary long enough to be folded twice over, "
                                   "surely, yes indeed it is long"),
                    2007, 3, 15, 9, 0, 10, 0);
        parent->setRRULE(QStringLiteral("FREQ=WEEKLY;INTERVAL=1;COUNT=10"));
        parent->setTheEXDATE(day(2007, 3, 29));
        parent->setATTENDEE(QStringLiteral(
            "ATTENDEE;CN=\"Anne Example\";ROLE=REQ-PARTICIPANT;RSVP=TRUE:mailto:anne.example@example.com"));
        EntryPtr moved = timed(QStringLiteral("Moved"), 2007, 3, 22, 11, 0, 12, 0);
        moved->setUIDcopy(parent->getUID().mid(4));
        moved->setRecDate(day(2007, 3, 22));
        moved->setRecTime(at(2007, 3, 22, 9, 0));
        parent->addRecObjectArray(moved);
        aCalendar cal;
        const QString text = cal.createICalString(
            {parent, allDay(QStringLiteral("Day"), day(2007, 4, 2), day(2007, 4, 3))}, QStringLiteral("/x/Work.ics"));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("out.ics"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        file.close();

        const QString script
            = QStringLiteral("import sys, icalendar\n"
                             "cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())\n"
                             "print('CAL', cal.get('X-WR-CALNAME'), cal.get('X-WR-TIMEZONE'), cal.get('VERSION'))\n"
                             "for ev in cal.walk('VEVENT'):\n"
                             "    s = ev.decoded('DTSTART')\n"
                             "    rid = ev.get('RECURRENCE-ID')\n"
                             "    ex = ev.get('EXDATE')\n"
                             "    print('EV', ev.get('SUMMARY'), s.isoformat(), getattr(getattr(s, 'tzinfo', None), "
                             "'zone', getattr(s, 'tzinfo', None)),\n"
                             "          rid.dt.isoformat() if rid else '-', ex.dts[0].dt.isoformat() if ex else '-',\n"
                             "          str(ev.get('ATTENDEE', '-')))\n");
        QString error;
        const QStringList lines = testutil::runPython(script, {path}, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), QStringLiteral("CAL Work Europe/Paris 2.0"));
        QCOMPARE(lines.at(1),
                 QStringLiteral("EV ") + parent->getSummary()
                     + QStringLiteral(" 2007-03-15T09:00:00+01:00 Europe/Paris - 2007-03-29T09:00:00+02:00 "
                                      "mailto:anne.example@example.com"));
        QCOMPARE(lines.at(2),
                 QStringLiteral("EV Moved 2007-03-22T11:00:00+01:00 Europe/Paris 2007-03-22T09:00:00+01:00 - -"));
        QCOMPARE(lines.at(3), QStringLiteral("EV Day 2007-04-02 None - - -"));
    }

private:
    std::unique_ptr<testutil::TempSettings> m_settings;
};

QTEST_GUILESS_MAIN(tst_writer)
#include "tst_writer.moc"
