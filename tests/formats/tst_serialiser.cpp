#include "calendar/aCalendar.h"
#include "formatsTestUtil.h"
#include "testutil.h"

#include <QtTest>

using namespace formatstest;

Q_DECLARE_METATYPE(EntryPtr)

namespace
{
// Expected blocks are written with LF for readability; the formats use CR LF.
QString crlf(QString text)
{
    return text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

EntryPtr richEntry()
{
    EntryPtr e = timed(QStringLiteral("Team meeting"), 2007, 3, 15, 9, 30, 11, 0);
    e->setDESCRIPTION(QStringLiteral("Line one\r\nLine two"));
    e->setRRULE(QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=TH"));
    e->setTheEXDATE(day(2007, 3, 22));
    e->setTheEXDATE(day(2007, 3, 29)); // after the change to summer time
    e->setStatus(QStringLiteral("CONFIRMED"));
    e->setAlarm(QStringLiteral("ACTION:DISPLAY\r\nTRIGGER:-PT15M\r\n"));
    e->setALARMID(QStringLiteral("X-WR-ALARMUID:A1\r\n"));
    e->setLocation(QStringLiteral("Room 1"));
    e->setURL(QStringLiteral("http://example.com/m"));
    e->setITIPSTATUSML(QStringLiteral("UNCLEAN"));
    e->setClass(QStringLiteral("PUBLIC"));
    e->setCreated(QStringLiteral("20070101T000000Z"));
    e->setPriority(QStringLiteral("5"));
    e->setCategories(QStringLiteral("Work"));
    e->setTransp(QStringLiteral("OPAQUE"));
    e->setLastModified(QStringLiteral("20070102T000000Z"));
    e->setATTENDEE(
        QStringLiteral("ATTENDEE;CN=\"Anne Example\";ROLE=REQ-PARTICIPANT;RSVP=TRUE:mailto:anne.example@example.com"));
    e->setORGANIZER(QStringLiteral("ORGANIZER;CN=Bob:mailto:bob@example.com"));
    return e;
}
} // namespace

class tst_serialiser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Paris");
        m_settings = std::make_unique<testutil::TempSettings>();
    }

    void init()
    {
        testutil::pinClock("2007-01-15T12:00:00Z");
        countedUuids();
    }

    void cleanupTestCase() { Uuid::setGenerator({}); }

    void fold_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QList<int>>("pieces");
        QTest::newRow("short") << 10 << QList<int> {10};
        QTest::newRow("73 stays") << 73 << QList<int> {73};
        QTest::newRow("74") << 74 << QList<int> {72, 2};
        QTest::newRow("145") << 145 << QList<int> {72, 73};
        QTest::newRow("146") << 146 << QList<int> {72, 72, 2};
        QTest::newRow("200") << 200 << QList<int> {72, 72, 56};
    }

    void fold()
    {
        QFETCH(int, length);
        QFETCH(QList<int>, pieces);
        QString line;
        for (int i = 0; i < length; ++i)
            line += QChar(u'a' + i % 26);
        QString crlfExpected, lfExpected;
        int pos = 0;
        for (int n : pieces) {
            if (pos > 0) {
                crlfExpected += QStringLiteral("\r\n ");
                lfExpected += QStringLiteral("\n ");
            }
            crlfExpected += line.mid(pos, n);
            lfExpected += line.mid(pos, n);
            pos += n;
        }
        QCOMPARE(dataEntry::the72Split(line), crlfExpected);
        QCOMPARE(dataEntry::the72SplitWithN(line), lfExpected);
    }

    // Folding counts UTF-8 octets, so no written line exceeds 75 of them.
    void foldCountsOctets_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QList<int>>("pieces"); // UTF-16 units per piece
        QTest::newRow("two-octet text that fits") << QString(37, QChar(0xE9)) << QList<int> {37};
        QTest::newRow("two-octet text") << QString(40, QChar(0xE9)) << QList<int> {36, 4};
        QTest::newRow("three-octet text") << QString(30, QChar(0x65E5)) << QList<int> {24, 6};
        QTest::newRow("last piece over 74 octets")
            << QString(72, QLatin1Char('a')) + QString(25, QChar(0x65E5)) << QList<int> {72, 24, 1};
    }

    void foldCountsOctets()
    {
        QFETCH(QString, line);
        QFETCH(QList<int>, pieces);
        const QStringList parts = dataEntry::the72Split(line).split(QStringLiteral("\r\n "));
        QCOMPARE(parts.size(), pieces.size());
        for (int i = 0; i < parts.size(); ++i) {
            QCOMPARE(parts.at(i).size(), pieces.at(i));
            QVERIFY(parts.at(i).toUtf8().size() + (i ? 1 : 0) <= 75);
        }
    }

    void foldKeepsSurrogatePairs_data()
    {
        QTest::addColumn<int>("before"); // units before the character outside the BMP
        QTest::addColumn<QList<int>>("pieces");
        QTest::newRow("pair across the cut") << 71 << QList<int> {71, 12};
        // 70 ASCII octets and the pair's 4 would pass 72 octets: the pair starts the next piece.
        QTest::newRow("pair just before the cut") << 70 << QList<int> {70, 13};
        QTest::newRow("pair just after the cut") << 72 << QList<int> {72, 11};
    }

    void foldKeepsSurrogatePairs()
    {
        QFETCH(int, before);
        QFETCH(QList<int>, pieces);
        const QString line = QString(before, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x93\x85") // U+1F4C5
            + QString(81 - before, QLatin1Char('b'));
        QCOMPARE(line.size(), 83);
        for (const bool lf : {false, true}) {
            const QString sep = lf ? QStringLiteral("\n ") : QStringLiteral("\r\n ");
            const QString folded = lf ? dataEntry::the72SplitWithN(line) : dataEntry::the72Split(line);
            const QStringList parts = folded.split(sep);
            QCOMPARE(parts.size(), pieces.size());
            for (int i = 0; i < parts.size(); ++i)
                QCOMPARE(parts.at(i).size(), pieces.at(i));
            QCOMPARE(parts.join(QString()), line);
            QVERIFY(folded.isValidUtf16());
        }
    }

    void iCalBlock()
    {
        EntryPtr e = richEntry();
        const QString expected
            = crlf(QStringLiteral("BEGIN:VEVENT\n"
                                  "SEQUENCE:1\n"
                                  "UID:00000000-0000-0000-0000-000000000001\n"
                                  "DTSTAMP:20070115T120000Z\n"
                                  "DTSTART;TZID=Europe/Paris:20070315T093000\n"
                                  "SUMMARY:Team meeting\n"
                                  "DESCRIPTION:Line one\\n\\nLine two\n"
                                  "DURATION:PT1H30M\n"
                                  "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=TH\n"
                                  "EXDATE;TZID=Europe/Paris:20070322T093000\n"
                                  "EXDATE;TZID=Europe/Paris:20070329T093000\n"
                                  "STATUS:CONFIRMED\n"
                                  "BEGIN:VALARM\n"
                                  "ACTION:DISPLAY\n"
                                  "TRIGGER:-PT15M\n"
                                  "X-WR-ALARMUID:A1\n"
                                  "END:VALARM\n"
                                  "LOCATION:Room 1\n"
                                  "URL;VALUE=URI:http://example.com/m\n"
                                  "X-WR-ITIPSTATUSML:UNCLEAN\n"
                                  "CLASS:PUBLIC\n"
                                  "CREATED:20070101T000000Z\n"
                                  "PRIORITY:5\n"
                                  "CATEGORIES:Work\n"
                                  "TRANSP:OPAQUE\n"
                                  "LAST-MODIFIED:20070102T000000Z\n"
                                  "ATTENDEE;CN=\"Anne Example\";ROLE=REQ-PARTICIPANT;RSVP=TRUE:mailto:anne.ex\n"
                                  " ample@example.com\n"
                                  "ORGANIZER;CN=Bob:mailto:bob@example.com\n"
                                  "END:VEVENT\n"));
        QCOMPARE(e->getICal(), expected);
        // The UID made on the first call stays.
        QCOMPARE(e->getICal(), expected);
    }

    void iCalMinimalAllDay()
    {
        EntryPtr e = allDay(QStringLiteral("Holiday"), day(2007, 3, 15), day(2007, 3, 17));
        e->setDTEND(QStringLiteral("20070318"));
        QCOMPARE(e->getICal(),
                 crlf(QStringLiteral("BEGIN:VEVENT\n"
                                     "SEQUENCE:1\n"
                                     "UID:00000000-0000-0000-0000-000000000001\n"
                                     "DTSTAMP:20070115T120000Z\n"
                                     "DTSTART;VALUE=DATE:20070315\n"
                                     "SUMMARY:Holiday\n"
                                     "DTEND;VALUE=DATE:20070318\n"
                                     "END:VEVENT\n")));
    }

    void iCalDTEND_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << ""
                              << "DTEND;";
        QTest::newRow("date") << "20050315"
                              << "DTEND;VALUE=DATE:20050315";
        QTest::newRow("nine characters") << "200503151"
                                         << "DTEND;VALUE=DATE:200503151";
        QTest::newRow("date-time") << "20050315T110000"
                                   << "DTEND;TZID=Europe/Paris:20050315T110000";
    }

    void iCalDTEND()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        dataEntry e;
        e.setDTEND(value);
        QCOMPARE(e.getICalDTEND(), expected);
    }

    void blankEntryWritesNothing()
    {
        dataEntry e;
        e.setLocation(QStringLiteral("somewhere")); // not enough to make an entry
        QCOMPARE(e.getICal(), QString());
        QCOMPARE(e.getVCal(), QString());
    }

    void overrideEndsWithRecurrenceId()
    {
        EntryPtr e = timed(QStringLiteral("Moved"), 2007, 3, 22, 10, 0, 11, 0);
        e->setRecDate(day(2007, 3, 22));
        e->setRecTime(at(2007, 3, 22, 9, 30));
        e->setORGANIZER(QStringLiteral("ORGANIZER:mailto:bob@example.com"));
        QVERIFY(
            e->getICal().endsWith(QStringLiteral("ORGANIZER:mailto:bob@example.com\r\n"
                                                 "RECURRENCE-ID;TZID=Europe/Paris:20070322T093000\r\nEND:VEVENT\r\n")));
    }

    void longDescriptionFolds()
    {
        EntryPtr e = timed(QStringLiteral("x"), 2007, 3, 15, 9, 0, 10, 0);
        const QString text(188, QLatin1Char('d')); // 200 with "DESCRIPTION:"
        e->setDESCRIPTION(text);
        const QString line = QStringLiteral("DESCRIPTION:") + text;
        QVERIFY(e->getICal().contains(line.left(72) + QStringLiteral("\r\n ") + line.mid(72, 72)
                                      + QStringLiteral("\r\n ") + line.mid(144) + QStringLiteral("\r\n")));
    }

    void vCalBlock()
    {
        EntryPtr e = richEntry();
        QCOMPARE(e->getVCal(),
                 crlf(QStringLiteral("BEGIN:VEVENT\n"
                                     "SUMMARY;CHARSET=macintosh:Team meeting\n"
                                     "DESCRIPTION;CHARSET=macintosh:Line one\\nLine two\n"
                                     "LOCATION;CHARSET=macintosh:Room 1\n"
                                     "UID:00000000-0000-0000-0000-000000000001\n"
                                     "DTSTART:20070315T083000Z\n"
                                     "DTEND:20070315T100000Z\n"
                                     "RRULE:W1 TH #0\n"
                                     "EXDATE:20070322T083000Z\n"
                                     "EXDATE:20070329T073000Z\n"
                                     "END:VEVENT\n")));
    }

    void vCalLineBreaks_data()
    {
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("written");
        QTest::newRow("LF") << "a\nb"
                            << "a\\nb";
        QTest::newRow("CR LF") << "a\r\nb"
                               << "a\\nb";
        QTest::newRow("CR alone") << "a\rb"
                                  << "a\\nb";
    }

    void vCalLineBreaks()
    {
        QFETCH(QString, summary);
        QFETCH(QString, written);
        EntryPtr e = timed(summary, 2007, 3, 15, 9, 0, 10, 0);
        const QString block = e->getVCal();
        QVERIFY(block.contains(QStringLiteral("\r\nSUMMARY;CHARSET=macintosh:") + written + QStringLiteral("\r\n")));
        QCOMPARE(block.count(QLatin1Char('\r')), block.count(QLatin1Char('\n')));
    }

    void vCalEnd_data()
    {
        QTest::addColumn<EntryPtr>("entry");
        QTest::addColumn<QString>("end");
        QTest::newRow("timed within one day") << timed("a", 2007, 3, 15, 9, 30, 11, 0) << "DTEND:20070315T100000Z\r\n";
        QTest::newRow("start equals end") << timed("a", 2007, 3, 15, 9, 30, 9, 30) << "";
        QTest::newRow("one whole day") << allDay("a", day(2007, 3, 15), day(2007, 3, 15)) << "";
        QTest::newRow("several days") << allDay("a", day(2005, 3, 14), day(2005, 3, 16))
                                      << "RRULE:D1 20050315T230000Z\r\n";
        EntryPtr startOnly = dataEntry::create();
        startOnly->setStartDate(day(2007, 3, 15));
        QTest::newRow("start date only") << startOnly << "";
        EntryPtr noEndDate = dataEntry::create();
        noEndDate->updateStartDetail(day(2007, 3, 15), at(2007, 3, 15, 9, 30));
        noEndDate->setEndTime(at(2007, 3, 15, 11, 0));
        QTest::newRow("end time without end date") << noEndDate << "DTEND:20070315T100000Z\r\n";
        EntryPtr overnight = dataEntry::create();
        overnight->updateStartDetail(day(2007, 3, 15), at(2007, 3, 15, 23, 0));
        overnight->updateEndDetail(day(2007, 3, 16), at(2007, 3, 16, 1, 0));
        QTest::newRow("overnight") << overnight << "DTEND:20070316T000000Z\r\n";
    }

    void vCalEnd()
    {
        QFETCH(EntryPtr, entry);
        QFETCH(QString, end);
        QCOMPARE(entry->getVCalDTEND(), end);
    }

    void vCalRepeatingDaySpan()
    {
        EntryPtr e = allDay(QStringLiteral("Fair"), day(2005, 3, 14), day(2005, 3, 16));
        e->setRRULE(QStringLiteral("FREQ=YEARLY;INTERVAL=1;BYMONTH=3"));
        QCOMPARE(e->getVCalDTEND(), QStringLiteral("DTEND:"));
        QCOMPARE(e->getVCal(),
                 crlf(QStringLiteral("BEGIN:VEVENT\n"
                                     "SUMMARY;CHARSET=macintosh:Fair\n"
                                     "UID:00000000-0000-0000-0000-000000000001\n"
                                     "DTSTART:20050313T230000Z\n"
                                     "RRULE:D3 20050316T230000Z\n"
                                     "RRULE:YM1 3 #0\n"
                                     "END:VEVENT\n")));
    }

    // The UTC written is the instant itself, at its own date's offset, whenever the file is written.
    void vCalWinterAndSummerClock_data()
    {
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("start");
        QTest::newRow("winter clock") << "2007-01-15T12:00:00Z"
                                      << "DTSTART:20070710T080000Z";
        QTest::newRow("summer clock") << "2007-07-01T12:00:00Z"
                                      << "DTSTART:20070710T080000Z";
    }

    void vCalWinterAndSummerClock()
    {
        QFETCH(QString, now);
        QFETCH(QString, start);
        testutil::pinClock(now.toLatin1().constData());
        EntryPtr e = timed(QStringLiteral("Summer"), 2007, 7, 10, 10, 0, 11, 0);
        QVERIFY2(e->getVCal().contains(start + QStringLiteral("\r\n")), qPrintable(e->getVCal()));
    }

    void exceptionDatesWithoutRuleAreNotWritten()
    {
        EntryPtr e = timed(QStringLiteral("Once"), 2007, 3, 15, 9, 0, 10, 0);
        e->setTheEXDATE(day(2007, 3, 22));
        QVERIFY(!e->getVCal().contains(QLatin1String("EXDATE")));
        QVERIFY(e->getICal().contains(QLatin1String("EXDATE;TZID=Europe/Paris:20070322T090000\r\n")));
    }

    // What makes a second reading differ or a peer refuse the file: backslashes, date-form
    // exceptions and overrides of all-day series, control characters, an entry without duration.
    void iCalValuesReadBackAsWritten()
    {
        EntryPtr days = allDay(QStringLiteral("C:\\temp\\new"), day(2007, 3, 1), day(2007, 3, 1));
        days->setRRULE(QStringLiteral("FREQ=WEEKLY;COUNT=4"));
        days->setTheEXDATE(day(2007, 3, 8));
        days->setTheRDATE(day(2007, 3, 10));
        days->setLocation(QStringLiteral("Hall \\ 2"));
        static const char16_t description[] = u"bell\u0007 nul\u0000 del\u007F tab\tend";
        days->setDESCRIPTION(QString::fromUtf16(description, std::size(description) - 1));
        EntryPtr moved = allDay(QStringLiteral("Moved"), day(2007, 3, 16), day(2007, 3, 16));
        moved->setRecDate(day(2007, 3, 15));
        EntryPtr instant = timed(QStringLiteral("Reminder"), 2007, 3, 15, 9, 0, 9, 0);
        instant->setAllowsNoDuration(true);
        QVERIFY(instant->getDataCheck());
        const QString block = days->getICal() + moved->getICal() + instant->getICal();
        for (const char* line : {"SUMMARY:C:\\\\temp\\\\new\r\n", "EXDATE;VALUE=DATE:20070308\r\n",
                                 "RDATE;VALUE=DATE:20070310\r\n", "LOCATION:Hall \\\\ 2\r\n",
                                 "DESCRIPTION:bell nul del tab\tend\r\n", "RECURRENCE-ID;VALUE=DATE:20070315\r\n",
                                 "DTSTART;TZID=Europe/Paris:20070315T090000\r\nSUMMARY:Reminder\r\nDURATION:PT0S\r\n"})
            QVERIFY2(block.contains(QLatin1String(line)), line);
        // vCalendar: one value per line, each at local midnight of its day in UTC.
        const QString vcal = days->getVCal();
        QVERIFY2(vcal.contains(QLatin1String("\r\nEXDATE:20070307T230000Z\r\nRDATE:20070309T230000Z\r\n")),
                 qPrintable(vcal));
    }

    // Texts Mac OS Roman cannot hold are written in UTF-8 (quoted-printable); others stay Mac OS Roman.
    void vCalTextsInUtf8_data()
    {
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("line"); // the first line of the property
        QTest::newRow("Mac OS Roman") << QStringLiteral("Zoë's café in Kraków")
                                      << QStringLiteral("SUMMARY;CHARSET=macintosh:Zoë's café in Kraków");
        QTest::newRow("not in Mac OS Roman")
            << QStringLiteral("会議")
            << QStringLiteral("SUMMARY;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E4=BC=9A=E8=AD=B0");
        QTest::newRow("line break and backslash")
            << QStringLiteral("Ł\\x\nb")
            << QStringLiteral("SUMMARY;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C5=81\\\\x=0D=0Ab");
        // Soft line breaks keep every line within 76 characters and never split an "=XX".
        QTest::newRow("long text")
            << QString(40, QChar(0x4F1A)) + QStringLiteral(" with Zoë 😀")
            << QStringLiteral("SUMMARY;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E4=BC=9A=E4=BC=9A=E4=BC=9A=");
    }
    void vCalTextsInUtf8()
    {
        QFETCH(QString, summary);
        QFETCH(QString, line);
        EntryPtr e = timed(summary, 2007, 3, 15, 9, 0, 10, 0);
        const QString block = e->getVCal();
        QVERIFY2(block.contains(QStringLiteral("\r\n") + line + QStringLiteral("\r\n")), qPrintable(block));
        for (const QString& l : block.split(QStringLiteral("\r\n")))
            QVERIFY2(l.size() <= 76 || l.startsWith(QLatin1String("SUMMARY;CHARSET=macintosh")), qPrintable(l));
        aCalendar cal;
        cal.setData(QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:1.0\r\n") + block + QStringLiteral("END:VCALENDAR\r\n"));
        QCOMPARE(cal.getEntryAtIndex(0)->getSummary(), summary);
    }

private:
    std::unique_ptr<testutil::TempSettings> m_settings;
};

QTEST_GUILESS_MAIN(tst_serialiser)
#include "tst_serialiser.moc"
