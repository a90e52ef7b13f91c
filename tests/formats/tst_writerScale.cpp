// Writers at scale: blocks written in place match the single-entry blocks, COUNT ends of absurd
// rules cost no more than small ones, date texts at the edges of the year range, and the Mac OS
// Roman bytes of a vCalendar file.

#include "calendar/aCalendar.h"
#include "formats/writeContext.h"
#include "formatsTestUtil.h"
#include "platform/Encoding.h"
#include "platform/Parallel.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace formatstest;

namespace
{
EntryPtr timedWithRule(const CalDate& start, int hours, const char* rule)
{
    auto e = dataEntry::create();
    e->setSummary(QStringLiteral("Rule"));
    const CalDate d = day(start.year(), start.month(), start.day());
    e->updateStartDetail(d, start);
    e->updateEndDetail(d, start.addHours(hours));
    e->setRRULE(QString::fromLatin1(rule));
    return e;
}

// Entries of every shape the blocks distinguish.
EntryList mixedEntries()
{
    EntryList list;
    EntryPtr weekly = timed(QStringLiteral("Weekly\nreview"), 2007, 3, 15, 9, 30, 11, 0);
    weekly->setRRULE(QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=TH;COUNT=8"));
    weekly->setTheEXDATE(day(2007, 3, 22));
    weekly->setTheEXDATE(day(2007, 3, 29));
    weekly->setDESCRIPTION(QString(150, QLatin1Char('d')) + QStringLiteral("\r\nend"));
    weekly->setLocation(QStringLiteral("Room \xD83D\xDE00 1"));
    weekly->setAlarm(QStringLiteral("ACTION:DISPLAY\r\nTRIGGER:-PT15M"));
    weekly->setATTENDEE(QStringLiteral("ATTENDEE;CN=\"Anne\":mailto:") + QString(80, QLatin1Char('a')));
    EntryPtr moved = timed(QStringLiteral("Moved"), 2007, 3, 22, 10, 0, 11, 0);
    moved->setRecDate(day(2007, 3, 22));
    moved->setRecTime(at(2007, 3, 22, 9, 30));
    weekly->addRecObjectArray(moved);
    list << weekly << allDay(QStringLiteral("Trip"), day(2007, 3, 14), day(2007, 3, 16)) << dataEntry::create();
    EntryPtr spanning = allDay(QStringLiteral("Course"), day(2007, 6, 4), day(2007, 6, 6));
    spanning->setRRULE(QStringLiteral("FREQ=YEARLY;INTERVAL=1"));
    list << spanning << timed(QStringLiteral("Zero length"), 2007, 10, 28, 2, 30, 2, 30);
    return list;
}

QString between(const QString& text, const QString& from, const QString& to)
{
    const qsizetype start = text.indexOf(from) + from.size();
    return text.mid(start, text.lastIndexOf(to) - start);
}
} // namespace

class tst_writerScale : public QObject
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
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
        countedUuids();
    }

    void cleanupTestCase()
    {
        Uuid::setGenerator({});
        Clock::reset();
    }

    // The writers append each block in place; what they write must be the entries' own blocks.
    void calendarsAreTheEntriesBlocks()
    {
        aCalendar cal;
        const EntryList list = mixedEntries();
        const QString ics = cal.createICalString(list, nullptr);
        QString blocks;
        for (const EntryPtr& e : list) {
            blocks += e->getICal();
            for (const EntryPtr& child : e->getTheReoccDateArray())
                blocks += child->getICal();
        }
        QCOMPARE(between(ics, QStringLiteral("VERSION:2.0\r\n"), QStringLiteral("END:VCALENDAR\r\n")), blocks);

        const QString vcs = cal.createVCalStringWithData(list);
        QString vblocks;
        for (const EntryPtr& e : list) {
            vblocks += e->getVCal();
            for (const EntryPtr& child : e->getTheReoccDateArray())
                vblocks += child->getVCal();
        }
        QCOMPARE(vcs,
                 QStringLiteral("BEGIN:VCALENDAR\r\nPRODID:PalmDesktop Generated\r\nTZ:+01\r\nVERSION:1.0\r\n")
                     + vblocks + QStringLiteral("END:VCALENDAR\r\n"));
    }

    // Large calendars are written in pieces at once: the file is the same however many pieces,
    // identifiers made for entries without one included.
    void piecesWriteTheSameFile()
    {
        aCalendar cal;
        auto write = [&](int pieces) {
            Parallel::setLimits(pieces, 1);
            countedUuids();
            EntryList list;
            for (int i = 0; i < 3; ++i)
                list << mixedEntries();
            const QString name = QStringLiteral("pieces.ics");
            QString problem;
            const QStringList files {cal.createICalString(list, &name),
                                     QString::fromUtf8(cal.createICalBytes(list, &name)),
                                     cal.createVCalStringWithData(list),
                                     QString::fromLatin1(cal.createVCalBytes(list, &problem)) + problem};
            Parallel::setLimits(0);
            return files;
        };
        const QStringList whole = write(1);
        QVERIFY(whole.at(0).contains(QStringLiteral("UID:00000000-0000-0000-0000-000000000002\r\n")));
        for (const int pieces : {2, 5, 40})
            QCOMPARE(write(pieces), whole);
    }

    // A rule without a vCalendar form leaves no half-written block behind.
    void untranslatableRuleAppendsNothing()
    {
        EntryPtr bad = timed(QStringLiteral("First Monday"), 2007, 3, 5, 9, 0, 10, 0);
        bad->setRRULE(QStringLiteral("FREQ=MONTHLY;BYDAY=1MO;BYMONTHDAY=1,2,3,4,5,6,7"));
        bad->setTheEXDATE(day(2007, 4, 2)); // nor an exception date after the message
        const auto context = dataEntry::WriteContext::current();
        QString out = QStringLiteral("BEGIN:VCALENDAR\r\n");
        const QString message = bad->appendVCal(out, context);
        QCOMPARE(out, QStringLiteral("BEGIN:VCALENDAR\r\n"));
        QCOMPARE(message,
                 QStringLiteral(
                     "There appears to be a monthly repeating event that can not be translated to vCal version 1\r\n"));
        QCOMPARE(bad->getVCal(), message);

        aCalendar cal;
        EntryList list = mixedEntries();
        list.insert(1, bad);
        QCOMPARE(cal.createVCalStringWithData(list), message);
        QString problem;
        QVERIFY(cal.createVCalBytes(list, &problem).isEmpty());
        QCOMPARE(problem, message);
    }

    void countEnds_data()
    {
        QTest::addColumn<EntryPtr>("entry");
        QTest::addColumn<QString>("expected");
        // The end is the last occurrence's start. 31 January: months without a 31st hold no occurrence.
        QTest::newRow("monthly on the 31st")
            << timedWithRule(at(2008, 1, 31, 9, 0), 1, "FREQ=MONTHLY;COUNT=7") << "RRULE:MD1 20081231T080000Z\r\n";
        QTest::newRow("yearly on 29 February")
            << timedWithRule(at(2008, 2, 29, 9, 0), 1, "FREQ=YEARLY;COUNT=3") << "RRULE:YM1 20160229T080000Z\r\n";
        // Wednesday 30 January: Friday of the same week, then every other week.
        QTest::newRow("fortnightly on three days")
            << timedWithRule(at(2008, 1, 30, 9, 0), 1, "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE,FR;COUNT=5")
            << "RRULE:W2 MO WE FR 20080215T080000Z\r\n";
        QTest::newRow("monthly every 7 months on the 31st")
            << timedWithRule(at(2008, 1, 31, 9, 0), 1, "FREQ=MONTHLY;INTERVAL=7;COUNT=3")
            << "RRULE:MD7 20090331T080000Z\r\n";
        // Counts beyond the calendar range end on the last occurrence in it.
        QTest::newRow("weekly, a billion")
            << timedWithRule(at(2008, 1, 31, 9, 0), 1, "FREQ=WEEKLY;COUNT=1000000000;BYDAY=MO,FR")
            << "RRULE:W1 MO FR 99991231T080000Z\r\n";
        QTest::newRow("monthly, a billion") << timedWithRule(at(2008, 1, 31, 9, 0), 1, "FREQ=MONTHLY;COUNT=1000000000")
                                            << "RRULE:MD1 99991231T080000Z\r\n";
        QTest::newRow("yearly 29 February, a billion")
            << timedWithRule(at(2008, 2, 29, 9, 0), 1, "FREQ=YEARLY;COUNT=1000000000")
            << "RRULE:YM1 99960229T080000Z\r\n";
        QTest::newRow("yearly in a month without the day")
            << timedWithRule(at(2008, 1, 31, 9, 0), 1, "FREQ=YEARLY;BYMONTH=2;COUNT=1000000000")
            << "RRULE:YM1 2 20080131T080000Z\r\n";
    }

    void countEnds()
    {
        QFETCH(EntryPtr, entry);
        QFETCH(QString, expected);
        QCOMPARE(entry->rruleVcal(), expected);
        // Walking a billion occurrences would take milliseconds per entry; a file of such entries must
        // still export at once.
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < 1000; ++i)
            entry->rruleVcal();
        QVERIFY2(timer.elapsed() < 1000 * testutil::kSlowdown,
                 qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
    }

    void yearRangeEdges_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("1000") << 1000 << "10000615";
        QTest::newRow("9999") << 9999 << "99990615";
        QTest::newRow("10000") << 10000 << "100000615";
    }

    // Years outside 1000-9999 take the general formatting route; both must agree at the seams.
    void yearRangeEdges()
    {
        QFETCH(int, year);
        QFETCH(QString, stamp);
        testutil::pinZone("UTC");
        EntryPtr e = timedWithRule(CalDate::fromFields(year, 6, 15, 10, 30, 0), 1, "FREQ=DAILY");
        e->setTheEXDATE(day(year, 6, 15));
        e->setRecDate(day(year, 6, 15));
        e->setRecTime(day(year, 6, 15));
        const QString ics = e->getICal();
        QVERIFY2(ics.contains(QStringLiteral("\r\nEXDATE;TZID=UTC:") + stamp + QStringLiteral("T103000\r\n")),
                 qPrintable(ics));
        QVERIFY(ics.contains(QStringLiteral("\r\nRECURRENCE-ID;TZID=UTC:") + stamp + QStringLiteral("T000000\r\n")));
        const QString vcs = e->getVCal();
        QVERIFY2(vcs.contains(QStringLiteral("\r\nDTSTART:") + stamp + QStringLiteral("T103000Z\r\nDTEND:") + stamp
                              + QStringLiteral("T113000Z\r\n")),
                 qPrintable(vcs));
        QVERIFY(vcs.contains(QStringLiteral("\r\nEXDATE:") + stamp + QStringLiteral("T103000Z\r\n")));
    }

    void macRoman_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii and line ends") << QStringLiteral("SUMMARY:a\r\n") << QByteArray("SUMMARY:a\r\n");
        QTest::newRow("nul") << QString(QChar(0)) << QByteArray(1, '\0');
        QTest::newRow("accents") << QStringLiteral("Zürich café")
                                 << QByteArray("Z\x9F"
                                               "rich caf\x8E");
        QTest::newRow("euro and apple") << QStringLiteral("\u20AC\uF8FF") << QByteArray("\xDB\xF0");
        QTest::newRow("not in Mac OS Roman") << QStringLiteral("Łódź")
                                             << QByteArray("?\x97"
                                                           "d?");
        QTest::newRow("pair is one character") << QStringLiteral("a\xD83D\xDE00z") << QByteArray("a?z");
        QTest::newRow("lone halves") << QStringLiteral("\xD83Dx\xDE00") << QByteArray("?x?");
        QTest::newRow("high half at the end") << QStringLiteral("x\xD83D") << QByteArray("x?");
    }

    void macRoman()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Encoding::encodeMacRoman(text), bytes);
    }

    // The description is kept as UTF-8 and escaped while it is decoded: the line is what escaping
    // the text and encoding the file give, a lone surrogate as U+FFFD.
    void descriptionLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("breaks and backslashes") << QString::fromUtf8("café\nline\\x\r\nend\\")
                                                << QByteArray("DESCRIPTION:caf\xC3\xA9\\nline\\\\x\\n\\nend\\\\");
        QTest::newRow("four bytes after an ascii run") << QString::fromUtf8("0123456789abcdef😀")
                                                       << QByteArray("DESCRIPTION:0123456789abcdef\xF0\x9F\x98\x80");
        QTest::newRow("lone surrogate") << (QStringLiteral("x ") + QChar(0xDC00) + QStringLiteral(" y"))
                                        << QByteArray("DESCRIPTION:x \xEF\xBF\xBD y");
    }
    void descriptionLine()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, line);
        EntryPtr e = timed(QStringLiteral("Notes"), 2007, 3, 15, 9, 30, 11, 0);
        e->setDESCRIPTION(text);
        QCOMPARE(e->getShortDESCRIPTION(), text);
        aCalendar cal;
        const QByteArray file = cal.createICalBytes({e}, nullptr);
        QVERIFY2(file.contains("\r\n" + line + "\r\n"), file.constData());
    }

    void macRomanRoundTrip()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        QCOMPARE(Encoding::encodeMacRoman(Encoding::decodeMacRoman(all)), all);
    }

private:
    std::unique_ptr<testutil::TempSettings> m_settings;
};

QTEST_GUILESS_MAIN(tst_writerScale)
#include "tst_writerScale.moc"
