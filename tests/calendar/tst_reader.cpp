#include "calendar/aCalendar.h"
#include "platform/Encoding.h"
#include "platform/Parallel.h"
#include "platform/Uuid.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <functional>
#include <memory>

namespace
{
const QString kMinute = QStringLiteral("%Y-%m-%d %H:%M");

QByteArray dataFile(const char* name)
{
    QFile f(QStringLiteral(TIDEWELL_TEST_DATA "/calendar/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Joins lines with CR LF, as calendar files are written.
QString crlf(const QStringList& lines)
{
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
}

QString ical(const QStringList& eventLines, const QStringList& header = {})
{
    return crlf(QStringList {"BEGIN:VCALENDAR", "VERSION:2.0"} + header + QStringList {"BEGIN:VEVENT"} + eventLines
                + QStringList {"END:VEVENT", "END:VCALENDAR"});
}

QString start(const EntryPtr& e)
{
    return e->getFullStartTime().format(kMinute);
}

QString end(const EntryPtr& e)
{
    return e->getFullEndTime().format(kMinute);
}

QStringList exdates(const EntryPtr& e)
{
    QStringList out;
    for (const CalDate& d : e->getTheEXDATE())
        out << d.format(kMinute);
    return out;
}

// What a round trip must keep of an entry, as comparable text.
QString snapshot(const EntryPtr& e, bool withRule = true)
{
    QStringList parts {e->getSummary(),
                       e->getShortDESCRIPTION(),
                       e->getLocation(),
                       e->getUIDValue(),
                       e->getStartDate().format(QStringLiteral("%Y-%m-%d")),
                       e->getStartTime().format(QStringLiteral("%H:%M")),
                       e->getEndDate().format(QStringLiteral("%Y-%m-%d")),
                       e->getEndTime().format(QStringLiteral("%H:%M")),
                       exdates(e).join(',')};
    if (withRule)
        parts << e->getRRULENoRRULE();
    for (const EntryPtr& o : e->getTheReoccDateArray())
        parts << QStringLiteral("override ") + o->getTheRecDate().format(QStringLiteral("%Y-%m-%d"))
                + o->getTheRecTime().format(QStringLiteral(" %H:%M")) + QLatin1Char(' ') + snapshot(o);
    return parts.join(QStringLiteral(" | "));
}

QStringList snapshots(const EntryList& list, bool withRule = true)
{
    QStringList out;
    for (const EntryPtr& e : list)
        out << snapshot(e, withRule);
    return out;
}

const char* kContact = "Please contact ";

// A calendar of @p events, each from @p event(i), after @p header lines; CR LF line ends.
QByteArray calendarOf(const QStringList& header, int events, const std::function<QStringList(int)>& event)
{
    QStringList lines {"BEGIN:VCALENDAR"};
    lines += header;
    for (int i = 0; i < events; ++i)
        lines += event(i);
    lines << "END:VCALENDAR";
    return crlf(lines).toUtf8();
}

QStringList vevent(const QStringList& lines)
{
    return QStringList {"BEGIN:VEVENT"} + lines + QStringList {"END:VEVENT"};
}

QStringList version2()
{
    return {"VERSION:2.0", "PRODID:-//test//EN"};
}

// Events in UTC, with folds and non-ASCII text.
QStringList utcEvent(int i)
{
    return vevent({QStringLiteral("UID:u%1").arg(i), QStringLiteral("SUMMARY:Caf\u00e9 \U0001F600 %1").arg(i),
                   QStringLiteral("DTSTART:200703%1T090000Z").arg(10 + i % 18),
                   QStringLiteral("DTEND:200703%1T100000Z").arg(10 + i % 18), "DESCRIPTION:folded over",
                   " two lines, with BEGIN:VEVENT inside"});
}

// Zone names and floating times mixed: a floating time takes the zone of the start before it.
QStringList zonedThenFloatingEvent(int i)
{
    const QString start = i % 7 < 3
        ? QStringLiteral("DTSTART;TZID=%1:20070301T090000").arg(i % 2 ? "America/New_York" : "Asia/Tokyo")
        : QStringLiteral("DTSTART:20070301T090000");
    return vevent({QStringLiteral("UID:z%1").arg(i), start, "DURATION:PT1H", "RRULE:FREQ=WEEKLY;COUNT=5"});
}

// Everything a read leaves in the document, as text: entries written back, their lines and
// zones, overrides, flags, notes and the message.
QString readResult(aCalendar& cal, const QString& message)
{
    QStringList out {message, cal.getReadNotes().join('\n'), cal.getAppTimeZone(),
                     QStringLiteral("%1%2%3%4")
                         .arg(cal.getTodoBool())
                         .arg(cal.getEventBool())
                         .arg(cal.getErrorBool())
                         .arg(cal.getDescBool()),
                     QString::number(cal.getTheRecObjects().size())};
    for (const EntryPtr& e : cal.getTheData())
        out << snapshot(e) + QStringLiteral(" | line %1 | %2 %3").arg(e->getSourceLine()).arg(e->getFullZoneString(), e->getHoursFromGMT());
    const QString name = QStringLiteral("pieces");
    for (const QString& line : QString::fromUtf8(cal.createICalBytes(cal.getTheData(), &name)).split("\r\n")) {
        if (!line.startsWith("X-WR-RELCALID"))
            out << line;
    }
    return out.join('\n');
}
} // namespace

class TestReader : public QObject
{
    Q_OBJECT

    std::unique_ptr<testutil::TempSettings> m_settings;

    std::unique_ptr<aCalendar> read(const QString& text, QString* message = nullptr)
    {
        auto cal = std::make_unique<aCalendar>();
        const QString m = cal->setData(text);
        if (message)
            *message = m;
        return cal;
    }

private Q_SLOTS:
    void init()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-01-15T12:00:00Z");
        m_settings = std::make_unique<testutil::TempSettings>();
        Uuid::setGenerator({});
    }
    void cleanup()
    {
        m_settings.reset();
        Clock::reset();
        Uuid::setGenerator({});
    }

    void sampleFile()
    {
        QString message;
        const auto cal = read(Encoding::decode(dataFile("sample.ics"), Encoding::Fallback::MacRoman), &message);
        QVERIFY(message.endsWith(QLatin1String("(Error 1505)")));
        QCOMPARE(cal->entryCount(), 3);
        QCOMPARE(cal->getTheRecObjects().size(), 1);
        QCOMPARE(cal->getAppTimeZone(), QStringLiteral("Europe/Paris"));
        QCOMPARE(cal->getControlZoneString(), QStringLiteral("Europe/Paris"));

        const EntryPtr review = cal->getEntryAtIndex(0);
        QCOMPARE(start(review), QStringLiteral("2007-03-15 09:30"));
        QCOMPARE(end(review), QStringLiteral("2007-03-15 11:00"));
        QCOMPARE(review->getDURATIONValue(), QStringLiteral("T1H30M"));
        QVERIFY(review->getDataCheck());
        QCOMPARE(review->getUIDValue(), QStringLiteral("urn:uuid:6f1c0a52-1b7e-4c1e-9d7a-0a4b2f6a9e01"));
        QCOMPARE(review->getSummary(), QStringLiteral("Weekly review, team A"));
        QCOMPARE(review->getShortDESCRIPTION(),
                 QStringLiteral("Agenda:\n1. numbers\n2. plans for the next quarter and a long line that is folded "
                                "onto a second line"));
        QCOMPARE(review->getLocation(), QStringLiteral("Room 4, second floor"));
        QCOMPARE(review->getRRULENoRRULE(), QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=TH;COUNT=10"));
        QCOMPARE(review->getTheRepeater(), QStringLiteral("repeat"));
        QCOMPARE(exdates(review), (QStringList {"2007-03-22 09:30", "2007-04-05 09:30", "2007-04-12 09:30"}));
        QCOMPARE(review->getCategories(), QStringLiteral("work:review"));
        QCOMPARE(review->getATTENDEE(),
                 QStringList {"ATTENDEE;CN=\"Doe: Jane\";ROLE=REQ-PARTICIPANT:mailto:jane@example.com"});
        QCOMPARE(review->getORGANIZER(), QStringLiteral("ORGANIZER;CN=Max:mailto:max@example.com"));
        QCOMPARE(review->getAlarm(), QStringLiteral("ACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nDESCRIPTION:Reminder\r\n"));
        QCOMPARE(review->getStatus(), QStringLiteral("CONFIRMED"));
        QCOMPARE(review->getDTSTART(), QStringLiteral("DTSTART;TZID=Europe/Paris:20070315T093000"));

        // The override found its parent through a UID full of colons.
        QCOMPARE(review->getTheReoccDateArray().size(), 1);
        const EntryPtr moved = review->getTheReoccDateArray().first();
        QCOMPARE(moved->getParentDataEntry(), review);
        QCOMPARE(moved->getTheRecDate().format(kMinute), QStringLiteral("2007-03-29 09:30"));
        QCOMPARE(moved->getTheRecTime().format(QStringLiteral("%H:%M")), QStringLiteral("09:30"));
        QCOMPARE(start(moved), QStringLiteral("2007-03-29 14:00"));

        const EntryPtr holiday = cal->getEntryAtIndex(1);
        QVERIFY(holiday->getStartTime().isNull());
        QCOMPARE(start(holiday), QStringLiteral("2007-04-02 00:00"));
        QCOMPARE(holiday->getEndDate().format(QStringLiteral("%Y-%m-%d")), QStringLiteral("2007-04-06"));
        QCOMPARE(holiday->getDURATIONValue(), QStringLiteral("5D"));
        QCOMPARE(holiday->getTransp(), QStringLiteral("TRANSPARENT"));
        QVERIFY(holiday->getDataCheck());

        // A UTC time is one instant, whatever zone an earlier event named.
        const EntryPtr call = cal->getEntryAtIndex(2);
        QCOMPARE(start(call), QStringLiteral("2007-06-01 10:00"));
        QCOMPARE(end(call), QStringLiteral("2007-06-01 10:45"));
        QCOMPARE(call->getURL(), QStringLiteral("http://example.com:8080/call"));
    }

    void lineEndsDoNotMatter()
    {
        const QString text = Encoding::decode(dataFile("sample.ics"), Encoding::Fallback::MacRoman);
        QString lf = text;
        lf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QString cr = text;
        cr.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
        QString blank = text;
        blank.replace(QStringLiteral("\r\n"), QStringLiteral("\r\n\r\n"));
        QString m1, m2, m3, m4;
        const QStringList expected = snapshots(read(text, &m1)->getTheData());
        QCOMPARE(snapshots(read(lf, &m2)->getTheData()), expected);
        QCOMPARE(snapshots(read(cr, &m3)->getTheData()), expected);
        // Blank lines between every line (CR LF CR LF) neither lose events nor raise problems.
        QCOMPARE(snapshots(read(blank, &m4)->getTheData()), expected);
        QCOMPARE(m2, m1);
        QCOMPARE(m3, m1);
        QCOMPARE(m4, m1);
    }

    void endForms_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<bool>("timed");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("duration");

        auto row = [](const char* name, const QStringList& lines, const char* start, const char* end, bool timed,
                      bool valid, const char* duration) {
            QTest::newRow(name) << lines << QString(start) << QString(end) << timed << valid << QString(duration);
        };
        const char* at0930 = "2007-03-15 09:30";
        const char* day = "2007-03-15 00:00";
        row("end time", {"DTSTART:20070315T093000", "DTEND:20070315T110000"}, at0930, "2007-03-15 11:00", true, true,
            "T1H30M");
        row("all-day one day", {"DTSTART;VALUE=DATE:20070315", "DTEND;VALUE=DATE:20070316"}, day, day, false, true,
            "1D");
        row("all-day over month end", {"DTSTART;VALUE=DATE:20070227", "DTEND;VALUE=DATE:20070302"}, "2007-02-27 00:00",
            "2007-03-01 00:00", false, true, "3D");
        row("all-day ends 29 February", {"DTSTART;VALUE=DATE:20080228", "DTEND;VALUE=DATE:20080301"},
            "2008-02-28 00:00", "2008-02-29 00:00", false, true, "2D");
        row("PT45M", {"DTSTART:20070315T093000", "DURATION:PT45M"}, at0930, "2007-03-15 10:15", true, true, "T45M");
        row("PT1H30M", {"DTSTART:20070315T093000", "DURATION:PT1H30M"}, at0930, "2007-03-15 11:00", true, true,
            "T1H30M");
        row("timed P1D", {"DTSTART:20070315T093000", "DURATION:P1D"}, at0930, "2007-03-16 09:30", true, true, "1D");
        row("timed P1DT2H", {"DTSTART:20070315T230000", "DURATION:P1DT2H"}, "2007-03-15 23:00", "2007-03-17 01:00",
            true, true, "1DT2H");
        row("all-day P1D", {"DTSTART;VALUE=DATE:20070315", "DURATION:P1D"}, day, day, false, true, "1D");
        row("all-day P1W", {"DTSTART;VALUE=DATE:20070315", "DURATION:P1W"}, day, "2007-03-21 00:00", false, true, "7D");
        // RFC 5545: a start time without an end is an event at that time without duration; an end
        // equal to the start is one too (reminders, milestones); a day that ends on itself is one day.
        row("start time without end is an instant", {"DTSTART:20070315T093000"}, at0930, at0930, true, true, "T0S");
        row("end equal to the start", {"DTSTART:20070315T093000", "DTEND:20070315T093000"}, at0930, at0930, true, true,
            "T0S");
        row("all-day end equal to the start", {"DTSTART;VALUE=DATE:20070315", "DTEND;VALUE=DATE:20070315"}, day, day,
            false, true, "1D");
        row("seconds kept", {"DTSTART:20070315T093015", "DTEND:20070315T100045"}, at0930, "2007-03-15 10:00", true,
            true, "T30M30S");
        // Hours are exact time: two hours across the spring change end at 04:00 on the clock.
        row("two hours over the spring change", {"DTSTART;TZID=Europe/Paris:20070325T010000", "DURATION:PT2H"},
            "2007-03-25 01:00", "2007-03-25 04:00", true, true, "T2H");
        row("across the spring change", {"DTSTART:20070324T220000", "DURATION:P1D"}, "2007-03-24 22:00",
            "2007-03-25 22:00", true, true, "1D");
        row("unreadable duration leaves no end", {"DTSTART:20070315T093000", "DURATION:PXYZ"}, at0930, "", true, false,
            "");
        row("31 February is no date", {"DTSTART;VALUE=DATE:20070231"}, "", "", false, false, "");
        row("end before start", {"DTSTART:20070315T093000", "DTEND:20070315T080000"}, at0930, "2007-03-15 08:00", true,
            false, "");
    }
    void endForms()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(bool, timed);
        QFETCH(bool, valid);
        QFETCH(QString, duration);
        QString message;
        const auto cal = read(ical(lines), &message);
        QCOMPARE(message, QString());
        QCOMPARE(cal->entryCount(), 1);
        const EntryPtr e = cal->getEntryAtIndex(0);
        QCOMPARE(::start(e), start);
        QCOMPARE(::end(e), end);
        QCOMPARE(!e->getStartTime().isNull(), timed);
        QCOMPARE(e->getDataCheck(), valid);
        QCOMPARE(e->getDURATIONValue(), duration);
    }

    void textValues_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("location");
        QTest::addColumn<int>("error"); // 0: no message

        auto row = [](const char* name, const QStringList& lines, const QString& summary, const QString& description,
                      const QString& location,
                      int error) { QTest::newRow(name) << lines << summary << description << location << error; };
        row("folded over three lines", {"SUMMARY:Lunch with\\, ", " the whole\\nteam ", " today"},
            "Lunch with, the whole\nteam today", "", "", 0);
        row("escapes", {"SUMMARY:a\\;b\\\\c\\Nd\\x"}, "a;b\\c\nd\\x", "", "", 0);
        row("macintosh summary", {"SUMMARY;CHARSET=macintosh:Caf\u00e9"}, "Caf\u00e9", "", "", 0);
        row("language kept", {"SUMMARY;LANGUAGE=en:Lunch", "DESCRIPTION;LANGUAGE=en-us:Notes"}, "Lunch", "Notes", "",
            0);
        row("Outlook quoted-printable",
            {"SUMMARY;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Caf=C3=A9 =E2=82=AC",
             "LOCATION;ENCODING=QUOTED-PRINTABLE;CHARSET=ISO-8859-1:Z=FCrich"},
            "Caf\u00e9 \u20ac", "", "Z\u00fcrich", 0);
        row("bare QUOTED-PRINTABLE", {"SUMMARY;QUOTED-PRINTABLE:a=3Db_c", "DESCRIPTION;QUOTED-PRINTABLE:x=0D=0Ay"},
            "a=b_c", "x\ny", "", 0);
        row("soft line breaks joined",
            {"DESCRIPTION;ENCODING=QUOTED-PRINTABLE:one =", "two =", "three", "SUMMARY:after"}, "after",
            "one two three", "", 0);
        row("Mac OS Roman bytes", {"SUMMARY;ENCODING=QUOTED-PRINTABLE:Caf=8E"}, "Caf\u00e9", "", "", 0);
        row("alternative representations kept",
            {"SUMMARY;ALTREP=\"cid:x@y\":Lunch", "DESCRIPTION;ALTREP=\"cid:x\";VALUE=TEXT:Notes",
             "LOCATION;X-OUTLOOK-ID=7;ALTREP=\"http://x\":Room"},
            "Lunch", "Notes", "Room", 0);
        row("other summary parameter", {"SUMMARY;FMTTYPE=text/html:Lunch", "DESCRIPTION:kept"}, "", "kept", "", 1506);
        row("other description parameter", {"SUMMARY:kept", "DESCRIPTION;FMTTYPE=text/html:gone"}, "kept", "", "",
            1508);
        row("other location parameter", {"SUMMARY:kept", "LOCATION;FMTTYPE=x:gone"}, "kept", "", "", 1506);
        row("location line break", {"LOCATION:Room 5\\nFloor 2\\, east"}, "", "", "Room 5 Floor 2, east", 0);
        row("unused property", {"SUMMARY:s", "X-ANYTHING:1"}, "s", "", "", 1506);
        row("line without colon", {"SUMMARY:s", "GARBAGE"}, "s", "", "", 1506);
    }
    void textValues()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, summary);
        QFETCH(QString, description);
        QFETCH(QString, location);
        QFETCH(int, error);
        QString message;
        const auto cal = read(ical(QStringList {"DTSTART;VALUE=DATE:20070315"} + lines), &message);
        QCOMPARE(cal->entryCount(), 1);
        const EntryPtr e = cal->getEntryAtIndex(0);
        QCOMPARE(e->getSummary(), summary);
        QCOMPARE(e->getShortDESCRIPTION(), description);
        QCOMPARE(e->getLocation(), location);
        if (error == 0)
            QCOMPARE(message, QString());
        else
            QVERIFY2(message.endsWith(QStringLiteral("(Error %1)").arg(error)), qPrintable(message));
    }

    void quotedPrintable_data()
    {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("ascii") << QByteArray("plain text") << "plain text";
        QTest::newRow("utf-8") << QByteArray("Caf=C3=A9") << "Caf\u00e9";
        QTest::newRow("lower-case hex") << QByteArray("=c3=a9") << "\u00e9";
        QTest::newRow("mac roman fallback") << QByteArray("=8E=8F") << "\u00e9\u00e8";
        QTest::newRow("soft break LF") << QByteArray("ab=\ncd") << "abcd";
        QTest::newRow("soft break CR LF") << QByteArray("ab=\r\ncd") << "abcd";
        QTest::newRow("underscore stays") << QByteArray("a_b") << "a_b";
        QTest::newRow("not hex") << QByteArray("1=ZZ2") << "1=ZZ2";
        QTest::newRow("short at end") << QByteArray("x=4") << "x=4";
        QTest::newRow("lone equals") << QByteArray("=") << "=";
        QTest::newRow("NUL byte") << QByteArray("a=00b", 5) << QString::fromUtf16(u"a\0b", 3);
    }
    void quotedPrintable()
    {
        QFETCH(QByteArray, in);
        QFETCH(QString, out);
        QCOMPARE(aCalendar::processQuotedPrintablePart(in), out);
    }

    void exceptionDates()
    {
        const auto cal
            = read(ical({"DTSTART;TZID=Europe/Paris:20070301T100000", "DTEND;TZID=Europe/Paris:20070301T110000",
                         "RRULE:FREQ=WEEKLY", "EXDATE;VALUE=DATE:20070308", "EXDATE;TZID=Europe/Paris:20070315T100000",
                         "EXDATE:20070322T090000Z,20070329T080000Z", "EXDATE:20070405T09,garbage,2007"}));
        QCOMPARE(exdates(cal->getEntryAtIndex(0)),
                 (QStringList {"2007-03-08 00:00", "2007-03-15 10:00", "2007-03-22 10:00", "2007-03-29 10:00"}));
    }

    void components_data()
    {
        QTest::addColumn<QStringList>("between");
        QTest::addColumn<int>("error");
        QTest::newRow("to-do") << QStringList {"BEGIN:VTODO",   "SUMMARY:todo", "BEGIN:VALARM",
                                               "TRIGGER:-PT5M", "END:VALARM",   "END:VTODO"}
                               << 1505;
        QTest::newRow("journal") << QStringList {"BEGIN:VJOURNAL", "SUMMARY:j", "END:VJOURNAL"} << 1507;
        QTest::newRow("to-do and journal")
            << QStringList {"BEGIN:VTODO", "END:VTODO", "BEGIN:VJOURNAL", "END:VJOURNAL"} << 1503;
        QTest::newRow("nested unknown component") << QStringList {"BEGIN:X-THING", "BEGIN:VALARM", "END:VALARM",
                                                                  "BEGIN:X-THING", "END:X-THING",  "END:X-THING"}
                                                  << 1507;
        QTest::newRow("time zone") << QStringList {"BEGIN:VTIMEZONE", "TZID:X", "BEGIN:STANDARD", "END:STANDARD",
                                                   "END:VTIMEZONE"}
                                   << 0;
        QTest::newRow("pasted calendars")
            << QStringList {"END:VCALENDAR", "BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//x//y//EN"} << 0;
        QTest::newRow("unknown component left open") << QStringList {"BEGIN:VJOURNAL", "SUMMARY:j"} << 1507;
        QTest::newRow("event left open") << QStringList {"BEGIN:VEVENT", "SUMMARY:open"} << 0;
    }
    void components()
    {
        QFETCH(QStringList, between);
        QFETCH(int, error);
        QString message;
        const QStringList first {"BEGIN:VEVENT", "SUMMARY:one", "DTSTART;VALUE=DATE:20070315", "END:VEVENT"};
        const QStringList second {"BEGIN:VEVENT", "SUMMARY:two", "DTSTART;VALUE=DATE:20070316", "END:VEVENT"};
        const auto cal = read(crlf(QStringList {"BEGIN:VCALENDAR", "VERSION:2.0"} + first + between + second
                                   + QStringList {"END:VCALENDAR"}),
                              &message);
        QStringList summaries;
        for (const EntryPtr& e : cal->getTheData())
            summaries << e->getSummary();
        QCOMPARE(summaries.first(), QStringLiteral("one"));
        QCOMPARE(summaries.last(), QStringLiteral("two"));
        QVERIFY(summaries.size() <= 3);
        if (error == 0)
            QCOMPARE(message, QString());
        else
            QVERIFY2(message.endsWith(QStringLiteral("(Error %1)").arg(error)), qPrintable(message));
        if (error == 1505 || error == 1508)
            QVERIFY(!message.contains(QLatin1String(kContact)));
    }

    void alarmInsideEvent()
    {
        const auto cal = read(ical({"SUMMARY:s", "BEGIN:VALARM", "ACTION:AUDIO", "TRIGGER;VALUE=DURATION:-PT10M",
                                    "END:VALARM", "DTSTART;VALUE=DATE:20070315", "LOCATION:after"}));
        const EntryPtr e = cal->getEntryAtIndex(0);
        QCOMPARE(e->getAlarm(), QStringLiteral("ACTION:AUDIO\r\nTRIGGER;VALUE=DURATION:-PT10M\r\n"));
        QCOMPARE(e->getLocation(), QStringLiteral("after"));
        QCOMPARE(start(e), QStringLiteral("2007-03-15 00:00"));
    }

    void overrides()
    {
        const auto cal = read(crlf({"BEGIN:VCALENDAR",
                                    "VERSION:2.0",
                                    "BEGIN:VEVENT",
                                    "UID:a:b:c",
                                    "DTSTART:20070301T100000",
                                    "DTEND:20070301T110000",
                                    "RRULE:FREQ=DAILY;COUNT=5",
                                    "END:VEVENT",
                                    "BEGIN:VEVENT",
                                    "UID:a:b:c",
                                    "RECURRENCE-ID:20070303T100000",
                                    "DTSTART:20070303T120000",
                                    "DTEND:20070303T130000",
                                    "SUMMARY:later",
                                    "END:VEVENT",
                                    "BEGIN:VEVENT",
                                    "UID:orphan",
                                    "RECURRENCE-ID;VALUE=DATE:20070304",
                                    "DTSTART;VALUE=DATE:20070305",
                                    "END:VEVENT",
                                    "END:VCALENDAR"}));
        // The override without a parent (a server's export of one changed occurrence) is an entry
        // of its own and keeps its date-only RECURRENCE-ID.
        QCOMPARE(cal->entryCount(), 2);
        QCOMPARE(cal->getTheRecObjects().size(), 2);
        QCOMPARE(cal->getEntryAtIndex(1), cal->getTheRecObjects().last());
        QVERIFY(
            cal->getEntryAtIndex(1)->getICal().contains(QLatin1String("\r\nRECURRENCE-ID;VALUE=DATE:20070304\r\n")));
        const EntryPtr parent = cal->getEntryAtIndex(0);
        QCOMPARE(parent->getTheReoccDateArray().size(), 1);
        const EntryPtr o = parent->getTheReoccDateArray().first();
        QCOMPARE(o->getSummary(), QStringLiteral("later"));
        QCOMPARE(o->getTheRecDate().format(kMinute), QStringLiteral("2007-03-03 10:00"));
        const EntryPtr orphan = cal->getTheRecObjects().last();
        QVERIFY(!orphan->getParentDataEntry());
        QCOMPARE(orphan->getTheRecDate().format(kMinute), QStringLiteral("2007-03-04 00:00"));
    }

    void untouchedEntryMakesWay()
    {
        aCalendar cal;
        cal.getTheData().append(dataEntry::create());
        cal.setData(ical({"SUMMARY:read", "DTSTART;VALUE=DATE:20070315"}));
        QCOMPARE(cal.entryCount(), 1);
        QCOMPARE(cal.getEntryAtIndex(0)->getSummary(), QStringLiteral("read"));

        aCalendar edited;
        auto mine = dataEntry::create();
        mine->setSummary(QStringLiteral("mine"));
        edited.getTheData().append(mine);
        edited.setData(ical({"SUMMARY:read", "DTSTART;VALUE=DATE:20070315"}));
        QCOMPARE(edited.entryCount(), 2);
        QCOMPARE(edited.getEntryAtIndex(0), mine);
    }

    void vCalendarFile()
    {
        testutil::pinZone("Europe/London");
        QString message;
        const auto cal = read(Encoding::decode(dataFile("palm.vcs"), Encoding::Fallback::MacRoman), &message);
        // The third event's rule cannot be translated: it is dropped and reported, the event stays.
        QVERIFY2(message.endsWith(QLatin1String("(Error 1506)")), qPrintable(message));
        QCOMPARE(cal->getControlHoursFromGMT(), QStringLiteral("+0100"));
        QCOMPARE(cal->entryCount(), 3);

        const EntryPtr dentist = cal->getEntryAtIndex(0);
        QCOMPARE(start(dentist), QStringLiteral("2007-01-15 08:30"));
        QCOMPARE(end(dentist), QStringLiteral("2007-01-15 09:30"));
        QCOMPARE(dentist->getAlarm(),
                 QStringLiteral("TRIGGER;VALUE=DATE-TIME:20070115T081500Z\r\nDESCRIPTION:Leave now: dentist\r\n"));

        const EntryPtr cafe = cal->getEntryAtIndex(1);
        QCOMPARE(cafe->getSummary(), QStringLiteral("Caf\u00e9 meeting"));
        QCOMPARE(cafe->getShortDESCRIPTION(), QStringLiteral("First line\nsecond line"));
        const QString rule = cafe->getRRULENoRRULE();
        QVERIFY2(rule.startsWith(QLatin1String("FREQ=WEEKLY")) && rule.contains(QLatin1String("BYDAY=TU"))
                     && rule.contains(QLatin1String("COUNT=5")),
                 qPrintable(rule));
        QCOMPARE(cafe->getTheRepeater(), QStringLiteral("repeat"));
        QCOMPARE(exdates(cafe), (QStringList {"2007-01-23 12:00", "2007-01-30 12:00"}));

        const EntryPtr odd = cal->getEntryAtIndex(2);
        QCOMPARE(odd->getRRULENoRRULE(), QString());
        QCOMPARE(odd->getTheRepeater(), QStringLiteral("blank"));
        QCOMPARE(start(odd), QStringLiteral("2007-01-17 12:00"));
    }

    void zones_data()
    {
        QTest::addColumn<QByteArray>("userZone");
        QTest::addColumn<QByteArray>("now");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");

        auto row = [](const char* name, const char* userZone, const char* now, const QString& text, const char* start,
                      const char* end) {
            QTest::newRow(name) << QByteArray(userZone) << QByteArray(now) << text << QString(start) << QString(end);
        };
        const char* winter = "2007-01-15T12:00:00Z";
        const QStringList nineToTen {"DTSTART:20070115T090000", "DTEND:20070115T100000"};
        row("London reads New York", "Europe/London", winter,
            ical(nineToTen, {"X-WR-TIMEZONE;VALUE=TEXT:America/New_York"}), "2007-01-15 14:00", "2007-01-15 15:00");
        row("X-WR-TIMEZONE without VALUE is ignored", "Europe/London", winter,
            ical(nineToTen, {"X-WR-TIMEZONE:America/New_York"}), "2007-01-15 09:00", "2007-01-15 10:00");
        row("London reads Kolkata", "Europe/London", winter,
            ical({"DTSTART;TZID=Asia/Kolkata:20070115T090000", "DTEND;TZID=Asia/Kolkata:20070115T100000"}),
            "2007-01-15 03:30", "2007-01-15 04:30");
        row("London reads Sydney summer", "Europe/London", winter,
            ical({"DTSTART;TZID=Australia/Sydney:20070115T090000", "DURATION:PT2H"}), "2007-01-14 22:00",
            "2007-01-15 00:00");
        row("Sydney reads London summer", "Australia/Sydney", winter,
            ical({"DTSTART;TZID=Europe/London:20070715T090000", "DTEND;TZID=Europe/London:20070715T100000"}),
            "2007-07-15 18:00", "2007-07-15 19:00");
        row("Kolkata reads UTC", "Asia/Kolkata", winter, ical({"DTSTART:20070115T090000Z", "DTEND:20070115T100000Z"}),
            "2007-01-15 14:30", "2007-01-15 15:30");
        row("Windows zone name", "Europe/London", winter,
            ical({"DTSTART;TZID=\"W. Europe Standard Time\":20070115T090000",
                  "DTEND;TZID=\"W. Europe Standard Time\":20070115T100000"}),
            "2007-01-15 08:00", "2007-01-15 09:00");
        row("TZID after another parameter", "Europe/London", winter,
            ical({"DTSTART;VALUE=DATE-TIME;TZID=Europe/Paris:20070115T090000", "DURATION:PT1H"}), "2007-01-15 08:00",
            "2007-01-15 09:00");
        row("no zone information", "Asia/Kolkata", winter, ical(nineToTen), "2007-01-15 09:00", "2007-01-15 10:00");
        row("day entry read west of its zone", "America/New_York", winter,
            ical({"DTSTART;VALUE=DATE:20070315", "DTEND;VALUE=DATE:20070316"},
                 {"X-WR-TIMEZONE;VALUE=TEXT:Europe/Paris"}),
            "2007-03-15 00:00", "2007-03-15 00:00");
        // vCalendar times are UTC, each shown at the offset of its own date: the same in winter and summer.
        const QString summerVcal
            = crlf({"BEGIN:VCALENDAR", "VERSION:1.0", "TZ:+00", "BEGIN:VEVENT", "DTSTART:20070715T083000Z",
                    "DTEND:20070715T093000Z", "END:VEVENT", "END:VCALENDAR"});
        row("vCalendar read in winter", "Europe/London", winter, summerVcal, "2007-07-15 09:30", "2007-07-15 10:30");
        row("vCalendar read in summer", "Europe/London", "2007-07-01T12:00:00Z", summerVcal, "2007-07-15 09:30",
            "2007-07-15 10:30");
        row("vCalendar in Kolkata", "Asia/Kolkata", "2007-07-01T12:00:00Z", summerVcal, "2007-07-15 14:00",
            "2007-07-15 15:00");
    }
    void zones()
    {
        QFETCH(QByteArray, userZone);
        QFETCH(QByteArray, now);
        QFETCH(QString, text);
        QFETCH(QString, start);
        QFETCH(QString, end);
        testutil::pinZone(userZone.constData());
        testutil::pinClock(now.constData());
        const auto cal = read(text);
        QCOMPARE(cal->entryCount(), 1);
        const EntryPtr e = cal->getEntryAtIndex(0);
        QCOMPARE(::start(e), start);
        QCOMPARE(::end(e), end);
        QVERIFY(e->getDataCheck());
    }

    // Zone names the database does not hold directly: vendor paths, and the file's own VTIMEZONE
    // (Outlook's display names, "EST/EDT", Lotus Notes' "Eastern"), wherever it stands in the file.
    void fileZones_data()
    {
        QTest::addColumn<QString>("tzid");
        QTest::addColumn<QString>("timezone"); // VTIMEZONE lines, "" for none; "after" puts it after the event
        QTest::addColumn<bool>("after");
        QTest::addColumn<QString>("summerStart"); // 15 July 09:00 there, seen in Paris
        QTest::addColumn<QString>("winterStart"); // 15 January 09:00 there
        QTest::addColumn<bool>("known");
        const QString eastern = QStringLiteral(
            "BEGIN:STANDARD\r\nDTSTART:19701101T020000\r\nRRULE:FREQ=YEARLY;BYDAY=1SU;BYMONTH=11\r\nTZOFFSETFROM:-"
            "0400\r\n"
            "TZOFFSETTO:-0500\r\nEND:STANDARD\r\nBEGIN:DAYLIGHT\r\nDTSTART:19700308T020000\r\n"
            "RRULE:FREQ=YEARLY;BYDAY=2SU;BYMONTH=3\r\nTZOFFSETFROM:-0500\r\nTZOFFSETTO:-0400\r\nEND:DAYLIGHT\r\n");
        auto row = [](const char* name, const char* tzid, const QString& timezone, bool after, const char* summer,
                      const char* winter, bool known) {
            QTest::newRow(name) << QString(tzid) << timezone << after << QString(summer) << QString(winter) << known;
        };
        row("vendor path", "/mozilla.org/20070129_1/America/New_York", "", false, "2007-07-15 15:00",
            "2007-01-15 15:00", true);
        row("Outlook display name", "Eastern Time (US & Canada)", eastern, false, "2007-07-15 15:00",
            "2007-01-15 15:00", true);
        row("defined after use", "EST/EDT", eastern, true, "2007-07-15 15:00", "2007-01-15 15:00", true);
        row("one offset all year", "(UTC-03:00) Brasilia",
            "BEGIN:STANDARD\r\nDTSTART:16010101T000000\r\nTZOFFSETFROM:-0300\r\nTZOFFSETTO:-0300\r\nEND:STANDARD\r\n",
            false, "2007-07-15 14:00", "2007-01-15 13:00", true);
        // A letter-only name is no POSIX rule of offset 0: unknown, read in the user's zone, and said so.
        row("letters only, no VTIMEZONE", "Eastern", "", false, "2007-07-15 09:00", "2007-01-15 09:00", false);
    }
    void fileZones()
    {
        QFETCH(QString, tzid);
        QFETCH(QString, timezone);
        QFETCH(bool, after);
        QFETCH(QString, summerStart);
        QFETCH(QString, winterStart);
        QFETCH(bool, known);
        const QString zone = timezone.isEmpty()
            ? QString()
            : "BEGIN:VTIMEZONE\r\nTZID:" + tzid + "\r\n" + timezone + "END:VTIMEZONE\r\n";
        auto event = [&](const char* day) {
            return "BEGIN:VEVENT\r\nDTSTART;TZID=\"" + tzid + "\":" + day
                + "T090000\r\nDURATION:PT1H\r\nEND:VEVENT\r\n";
        };
        const QString events = event("20070715") + event("20070115");
        QString message;
        const auto cal
            = read("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + (after ? events + zone : zone + events) + "END:VCALENDAR\r\n",
                   &message);
        QCOMPARE(cal->entryCount(), 2);
        QCOMPARE(start(cal->getEntryAtIndex(0)), summerStart);
        QCOMPARE(start(cal->getEntryAtIndex(1)), winterStart);
        QCOMPARE(message.isEmpty(), known);
        if (!known)
            QCOMPARE(message,
                     "The time zone \"" + tzid
                         + "\" is not known; its times were read as times of your own zone (Europe/Paris).");
        if (timezone.isEmpty())
            return;
        // Zones defined after one was used leave it as it was.
        QString many = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + zone + event("20070715");
        for (int i = 0; i < 40; ++i)
            many += "BEGIN:VTIMEZONE\r\nTZID:Zone " + QString::number(i) + "\r\n" + timezone + "END:VTIMEZONE\r\n";
        const auto again = read(many + event("20070115") + "END:VCALENDAR\r\n");
        QCOMPARE(start(again->getEntryAtIndex(1)), winterStart);
    }

    // Repeating entries from a zone whose daylight-saving dates differ from the user's are named.
    void repeatsFromOtherZonesAreListed()
    {
        QString message;
        const auto cal = read(crlf({"BEGIN:VCALENDAR",
                                    "VERSION:2.0",
                                    "BEGIN:VEVENT",
                                    "SUMMARY:New York weekly",
                                    "DTSTART;TZID=America/New_York:20070301T090000",
                                    "DURATION:PT1H",
                                    "RRULE:FREQ=WEEKLY;COUNT=8",
                                    "END:VEVENT",
                                    "BEGIN:VEVENT",
                                    "SUMMARY:Berlin weekly",
                                    "DTSTART;TZID=Europe/Berlin:20070301T090000",
                                    "DURATION:PT1H",
                                    "RRULE:FREQ=WEEKLY;COUNT=8",
                                    "END:VEVENT",
                                    "BEGIN:VEVENT",
                                    "SUMMARY:New York once",
                                    "DTSTART;TZID=America/New_York:20070301T090000",
                                    "DURATION:PT1H",
                                    "END:VEVENT",
                                    "END:VCALENDAR"}),
                              &message);
        QCOMPARE(cal->entryCount(), 3);
        QCOMPARE(message,
                 QStringLiteral("Repeating entries written in the time zone America/New_York keep the clock time of "
                                "your zone (Europe/Paris) from one occurrence to the next; the two zones change to or "
                                "from daylight-saving time on different dates, so around those dates some occurrences "
                                "are an hour off the file's times: \"New York weekly\" (line 3)."));
    }

    // Bytes: a fold in the middle of a character's bytes is joined; a few stray bytes in a UTF-8 file
    // are replaced (and said so) instead of reading the whole file as Mac OS Roman; a vCalendar
    // value read in the character set it names.

    // A large file is read in pieces at once; what it gives must be what the whole text gives,
    // whatever state the reader carries from one event to the next.
    void piecesReadAsTheWhole_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("inPieces");
        QTest::addColumn<bool>("readAgain");
        const QStringList v2 = version2();
        auto utc = utcEvent;
        QTest::newRow("UTC times") << calendarOf(v2, 40, utc) << true << false;
        QTest::newRow("zone names, then floating times") << calendarOf(v2, 40, zonedThenFloatingEvent) << true << true;
        QTest::newRow("calendar zone, floating times") << calendarOf(v2 + QStringList {"X-WR-TIMEZONE;VALUE=TEXT:Asia/Tokyo"}, 30, [](int i) {
            return vevent({QStringLiteral("UID:f%1").arg(i), QStringLiteral("DTSTART:20070%1T080000").arg(301 + i % 20),
                           "RRULE:FREQ=DAILY;COUNT=3", QStringLiteral("EXDATE:20070%1T080000").arg(302 + i % 20)});
        }) << true << false;
        QTest::newRow("vCalendar") << calendarOf({"VERSION:1.0", "TZ:-05"}, 30, [](int i) {
            return vevent({QStringLiteral("SUMMARY;CHARSET=macintosh:Meeting %1").arg(i),
                           "DESCRIPTION;ENCODING=QUOTED-PRINTABLE:first=0D=0A=", "second line",
                           QStringLiteral("DTSTART:200703%1T150000Z").arg(10 + i % 9), "DTEND:20070320T160000Z",
                           "RRULE:W1 TU TH #10", "DALARM:20070310T144500Z;PT5M;2;Meeting", "CATEGORIES:Business"});
        }) << true << false;
        QTest::newRow("continuation after the event's first line") << calendarOf(v2, 30, [](int i) {
            QStringList lines {QStringLiteral("UID:c%1").arg(i), "DTSTART:20070301T090000Z"};
            if (i % 3 == 0)
                lines.prepend(" continues the description before");
            lines << (i % 2 ? "SUMMARY:last" : "DESCRIPTION:last");
            return vevent(lines);
        }) << true << true;
        QTest::newRow("overrides before and after their series") << calendarOf(v2, 30, [](int i) {
            const QString uid = QStringLiteral("UID:s%1").arg(i / 3);
            if (i % 3 == 1)
                return vevent({uid, "DTSTART:20070305T090000Z", "RRULE:FREQ=DAILY;COUNT=9"});
            return vevent({uid, QStringLiteral("RECURRENCE-ID:2007030%1T090000Z").arg(6 + i % 3),
                           QStringLiteral("DTSTART:2007030%1T110000Z").arg(6 + i % 3), "SUMMARY:moved"});
        }) << true << false;
        QTest::newRow("unknown zones, zones of the file, repeats shifted") << calendarOf(
            v2 + QStringList {"BEGIN:VTIMEZONE", "TZID:Local Time", "BEGIN:STANDARD", "DTSTART:16010101T000000",
                              "TZOFFSETFROM:+0300", "TZOFFSETTO:+0300", "END:STANDARD", "END:VTIMEZONE"},
            60, [](int i) {
                const QString zone = i % 4 == 0   ? QStringLiteral("Nowhere/%1").arg(i % 44)
                                     : i % 4 == 1 ? QStringLiteral("Local Time")
                                     : i % 4 == 2 ? QStringLiteral("America/New_York")
                                                  : QStringLiteral("Nowhere/%1").arg(40 - i % 28);
                return vevent({QStringLiteral("DTSTART;TZID=\"%1\":20070301T090000").arg(zone), "RRULE:FREQ=WEEKLY",
                               QStringLiteral("SUMMARY:in %1").arg(zone)});
            }) << true << false;
        QByteArray mixed = calendarOf(v2, 30, utc);
        mixed.replace("END:VEVENT\r\nBEGIN:VEVENT\r\nUID:u7\r\n", "END:VEVENT\n\n\rBEGIN:VTODO\rSUMMARY:x\rEND:VTODO\r"
                                                                  "stray\r\n\r\nBEGIN:VJOURNAL\r\nBEGIN:VEVENT\r\nUID:u7\r\n");
        mixed.replace("UID:u12\r\n", "UID:u12\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n");
        mixed.replace("END:VEVENT\r\nBEGIN:VEVENT\r\nUID:u20", "BEGIN:VEVENT\r\nUID:u20");
        QTest::newRow("other components, stray lines, line ends, events left open") << mixed << true << false;
        QByteArray lateZone = calendarOf(v2, 30, utc);
        lateZone.replace("END:VCALENDAR", "BEGIN:VTIMEZONE\r\nTZID:Late\r\nEND:VTIMEZONE\r\nEND:VCALENDAR");
        QTest::newRow("a zone defined after the events") << lateZone << false << false;
        QTest::newRow("two calendars") << calendarOf(v2, 30, utc) + calendarOf({"VERSION:1.0", "TZ:+01"}, 30, utc) << false << false;
        QByteArray latin = calendarOf(v2, 30, utc);
        latin.replace("UID:u25", "UID:u25\r\nLOCATION:caf\xe9");
        QTest::newRow("a byte that is not UTF-8") << latin << false << false;
    }
    void piecesReadAsTheWhole()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, inPieces);
        QFETCH(bool, readAgain);
        const Encoding::Fallback fallback = Encoding::Fallback::MacRoman;
        auto counted = [] {
            auto n = std::make_shared<int>(0);
            Uuid::setGenerator([n] { return QStringLiteral("uid-%1").arg(++*n); });
        };
        counted();
        aCalendar whole;
        const QString expected = readResult(whole, whole.setDecodedData(Encoding::decodeCalendar(bytes, fallback)));
        for (int threads : {1, 3}) {
            for (bool handedOver : {false, true}) {
                Parallel::setLimits(threads, 64);
                counted();
                aCalendar pieces;
                const QString message = handedOver
                    ? pieces.setDataFromBytes(QByteArray(bytes.constData(), bytes.size()), fallback)
                    : pieces.setDataFromBytes(bytes, fallback);
                const aCalendar::ReadShape shape = aCalendar::lastReadShape();
                Parallel::setLimits(0);
                QCOMPARE(readResult(pieces, message), expected);
                QCOMPARE(shape.pieces > 1, inPieces);
                QCOMPARE(shape.readAgain > 0, readAgain);
            }
        }
    }

    // Bytes handed over are given back page by page as their pieces are read for good; that a
    // file is not UTF-8 is found before any page goes, since the whole file is then read again.
    void handedOverBytesGoBack_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("released"); // 1: some bytes given back, 0: none, -1: either
        QTest::newRow("UTC times") << calendarOf(version2(), 400, utcEvent) << 1;
        QTest::newRow("zone names, then floating times") << calendarOf(version2(), 400, zonedThenFloatingEvent) << -1;
        QByteArray late = calendarOf(version2(), 400, utcEvent);
        late.replace("UID:u390\r\n", "UID:u390\r\nLOCATION:caf\xe9\r\n");
        QTest::newRow("a late byte that is not UTF-8") << late << 0;
    }
    void handedOverBytesGoBack()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, released);
        const Encoding::Fallback fallback = Encoding::Fallback::MacRoman;
        aCalendar whole;
        const QString expected = readResult(whole, whole.setDecodedData(Encoding::decodeCalendar(bytes, fallback)));
        Parallel::setLimits(2, 8192);
        aCalendar pieces;
        const QString message = pieces.setDataFromBytes(QByteArray(bytes.constData(), bytes.size()), fallback);
        const aCalendar::ReadShape shape = aCalendar::lastReadShape();
        Parallel::setLimits(0);
        QCOMPARE(readResult(pieces, message), expected);
        if (released >= 0)
            QCOMPARE(shape.bytesReleased > 0, released == 1);
    }

    void fileBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("note");
        QTest::newRow("fold inside a character")
            << dataFile("fold-inside-a-character.ics") << QStringLiteral("Grüße aus München") << "";
        QTest::newRow("one stray byte")
            << QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:Caf\xc3\xa9 r\xe9sum\xc3\xa9\r\n"
                          "DTSTART;VALUE=DATE:20070315\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
            << QStringLiteral("Café r\uFFFDsumé")
            << "The file is UTF-8 but for 1 byte(s) that are not; each was replaced by the character \uFFFD.";
        QTest::newRow("Latin-1 file") << QByteArray("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:Caf\xe9 cr\xe8me\r\n"
                                                    "DTSTART;VALUE=DATE:20070315\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                                      << QStringLiteral("Café crème") << "";
        QTest::newRow("vCalendar CHARSET=ISO-8859-1") << QByteArray(
            "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY;CHARSET=ISO-8859-1:Caf\xe9 cr\xe8me\r\n"
            "DESCRIPTION;CHARSET=macintosh:Caf\x8e\r\nDTSTART:20070315T090000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                                                      << QStringLiteral("Café crème") << "";
        QTest::newRow("vCalendar CHARSET=UTF-8 among Latin-1") << QByteArray(
            "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nSUMMARY;CHARSET=UTF-8:\xe4\xbc\x9a\xe8\xad\xb0\r\n"
            "DESCRIPTION;CHARSET=ISO-8859-1:caf\xe9 \xe9t\xe9 cr\xe8me br\xfbl\xe9"
            "e\r\n"
            "DTSTART:20070315T090000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                                                               << QStringLiteral("会議") << "";
    }
    void fileBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, summary);
        QFETCH(QString, note);
        aCalendar cal;
        const QString message = cal.setDataFromBytes(
            bytes, bytes.contains("VERSION:1.0") ? Encoding::Fallback::MacRoman : Encoding::Fallback::Windows1252);
        QCOMPARE(cal.entryCount(), 1);
        QCOMPARE(cal.getEntryAtIndex(0)->getSummary(), summary);
        QCOMPARE(message, note);
        if (bytes.contains("DESCRIPTION;CHARSET=macintosh"))
            QCOMPARE(cal.getEntryAtIndex(0)->getShortDESCRIPTION(), QStringLiteral("Café"));
        if (bytes.contains("br\xfbl"))
            QCOMPARE(cal.getEntryAtIndex(0)->getShortDESCRIPTION(), QStringLiteral("café été crème brûlée"));
    }

    // Lines that could only be copied into invalid output are dropped and reported (1506); the rest
    // of the event stays.
    void brokenLinesAreDropped_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("attendees");
        QTest::addColumn<bool>("organizer");
        QTest::addColumn<QString>("alarm");
        QTest::newRow("attendee cut inside its quoted name")
            << QStringList {"ATTENDEE;CN=\"Doe, Jane:mailto:jane@example.com", "ATTENDEE;CN=Bob:mailto:bob@example.com"}
            << 1 << false << "";
        QTest::newRow("organizer without address") << QStringList {"ORGANIZER;CN=Max:"} << 0 << false << "";
        QTest::newRow("alarm never closed")
            << QStringList {"BEGIN:VALARM", "ACTION:DISPLAY", "TRIGGER:-PT5M", "ORGANIZER:mailto:max@example.com"} << 0
            << false << "";
        QTest::newRow("alarm with a component inside")
            << QStringList {"BEGIN:VALARM", "ACTION:DISPLAY", "BEGIN:X-INNER", "X-A:1",
                            "END:X-INNER",  "TRIGGER:-PT5M",  "END:VALARM"}
            << 0 << false << "ACTION:DISPLAY\r\nBEGIN:X-INNER\r\nX-A:1\r\nEND:X-INNER\r\nTRIGGER:-PT5M\r\n";
        QTest::newRow("cut DALARM") << QStringList {"DALARM:200703", "ORGANIZER:mailto:max@example.com"} << 0 << true
                                    << "";
    }
    void brokenLinesAreDropped()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, attendees);
        QFETCH(bool, organizer);
        QFETCH(QString, alarm);
        QString message;
        const auto cal
            = read(ical(QStringList {"SUMMARY:kept", "DTSTART:20070315T090000", "DURATION:PT1H"} + lines), &message);
        QCOMPARE(cal->entryCount(), 1);
        const EntryPtr e = cal->getEntryAtIndex(0);
        QCOMPARE(e->getSummary(), QStringLiteral("kept"));
        QCOMPARE(e->getATTENDEE().size(), attendees);
        QCOMPARE(!e->getORGANIZER().isEmpty(), organizer);
        QCOMPARE(e->getAlarm(), alarm);
        QCOMPARE(message.endsWith(QLatin1String("(Error 1506)")), alarm.isEmpty());
    }

    void extraDatesAndSourceLines()
    {
        const auto cal = read(crlf(
            {"BEGIN:VCALENDAR", "VERSION:2.0", "BEGIN:VEVENT", "UID:a", "DTSTART;TZID=Europe/Paris:20070305T100000",
             "DURATION:PT1H", "RDATE;TZID=America/New_York:20070307T100000,20070308T090000",
             "RDATE;VALUE=PERIOD:20070310T090000Z/PT2H", "END:VEVENT", "", "BEGIN:VEVENT", "UID:b",
             "DTSTART;VALUE=DATE:20070401", "RDATE;VALUE=DATE:20070501", "END:VEVENT", "END:VCALENDAR"}));
        QCOMPARE(cal->entryCount(), 2);
        QStringList rdates;
        for (const CalDate& d : cal->getEntryAtIndex(0)->getTheRDATE())
            rdates << d.format(kMinute);
        QCOMPARE(rdates, (QStringList {"2007-03-07 16:00", "2007-03-08 15:00", "2007-03-10 10:00"}));
        QCOMPARE(cal->getEntryAtIndex(1)->getTheRDATE().value(0).format(kMinute), QStringLiteral("2007-05-01 00:00"));
        QCOMPARE(cal->getEntryAtIndex(0)->getSourceLine(), 3);
        QCOMPARE(cal->getEntryAtIndex(1)->getSourceLine(), 11);
    }

    // The reader shifts each date as the document's zoneAdjust does (it only asks for the present
    // once per read): compare the two over zones with odd offsets, both seasons and DST edges.
    void shiftsMatchZoneAdjust_data()
    {
        QTest::addColumn<QByteArray>("userZone");
        QTest::addColumn<QByteArray>("now");
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("startName");
        QTest::addColumn<QString>("suffix");
        const QList<QByteArray> zones {"Europe/London", "Asia/Kolkata", "Australia/Sydney", "America/St_Johns"};
        const QList<QByteArray> clocks {"2007-01-15T12:00:00Z", "2007-07-15T12:00:00Z"};
        struct Variant
        {
            const char* name;
            const char* header;
            const char* startName;
            const char* suffix;
        };
        const Variant variants[] = {{"X-WR-TIMEZONE", "X-WR-TIMEZONE;VALUE=TEXT:America/New_York", "DTSTART", ""},
                                    {"TZ line", "TZ:+01", "DTSTART", "Z"},
                                    {"TZID", "", "DTSTART;TZID=Asia/Kolkata", ""},
                                    {"nothing", "", "DTSTART", ""}};
        for (const QByteArray& zone : zones)
            for (const QByteArray& clock : clocks)
                for (const Variant& v : variants)
                    QTest::addRow("%s %s %s", zone.constData(), clock.left(7).constData(), v.name)
                        << zone << clock << QString::fromLatin1(v.header) << QString::fromLatin1(v.startName)
                        << QString::fromLatin1(v.suffix);
    }
    void shiftsMatchZoneAdjust()
    {
        QFETCH(QByteArray, userZone);
        QFETCH(QByteArray, now);
        QFETCH(QString, header);
        QFETCH(QString, startName);
        QFETCH(QString, suffix);
        testutil::pinZone(userZone.constData());
        testutil::pinClock(now.constData());
        const QStringList times {"20070311T023000", "20071104T013000", "20070325T013000", "20071028T013000",
                                 "20070715T083000", "20070115T233000", "20080229T120000"};
        for (const QString& t : times) {
            const QStringList head = header.isEmpty() ? QStringList() : QStringList {header};
            const auto cal = read(ical({startName + ':' + t + suffix, "DTEND:" + t + suffix}, head));
            const EntryPtr e = cal->getEntryAtIndex(0);
            const CalDate local = CalDate::parse(t.left(13), QStringLiteral("%Y%m%dT%H%M"));
            if (local.format(QStringLiteral("%H%M")) != t.mid(9, 4)) {
                // The file's time does not exist on the user's clock (a spring gap here). Made as
                // a local date first it would move an hour before being converted; the reader
                // converts the file's own reading.
                const QString zone = header.isEmpty() ? startName.mid(13) : header.mid(25);
                if (!zone.isEmpty() && suffix.isEmpty())
                    QCOMPARE(e->getStartTime().inZone(Zones::byName(zone)).format(QStringLiteral("%H%M")), t.mid(9, 4));
                continue;
            }
            const CalDate expected = cal->zoneAdjust(local);
            QVERIFY2(e->getStartTime() == expected,
                     qPrintable(t + ": " + e->getStartTime().format(kMinute) + " vs " + expected.format(kMinute)));
        }
    }

    void truncatedPrefixesKeepCompleteEvents()
    {
        const QString text = Encoding::decode(dataFile("sample.ics"), Encoding::Fallback::MacRoman);
        QVERIFY(!text.isEmpty());
        aCalendar cal;
        for (qsizetype n = 0; n <= text.size(); ++n) {
            const QString prefix = text.left(n);
            cal.removeAllObjectsFromCal();
            cal.setData(prefix);
            // Every event whose END line was read is kept (as an entry or as an override).
            const qsizetype complete = prefix.count(QLatin1String("END:VEVENT"));
            QVERIFY2(cal.entryCount() >= complete - 1, qPrintable(QString::number(n)));
        }
    }

    void corruptedBytes()
    {
        const QByteArray original = dataFile("sample.ics") + dataFile("palm.vcs");
        QRandomGenerator random(20070315);
        for (int round = 0; round < 300; ++round) {
            QByteArray bytes = original;
            const int flips = 1 + int(random.bounded(20));
            for (int k = 0; k < flips; ++k)
                bytes[int(random.bounded(int(bytes.size())))] = char(random.bounded(256));
            if (round % 3 == 0)
                bytes.truncate(int(random.bounded(int(bytes.size()))));
            aCalendar cal;
            cal.setData(Encoding::decode(bytes, Encoding::Fallback::MacRoman));
            QVERIFY(cal.entryCount() <= bytes.count('\n') + 1);
        }
    }

    void hostileInput_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("minEntries");
        const QString megabyte(1 << 20, QLatin1Char('x'));
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("no calendar") << QStringLiteral("hello\nworld") << 0;
        QTest::newRow("1 MB summary") << ical({"SUMMARY:" + megabyte}) << 1;
        QTest::newRow("1 MB line without colon") << ical({megabyte}) << 1;
        QTest::newRow("1 MB of equals signs")
            << ical({"DESCRIPTION;QUOTED-PRINTABLE:" + QString(1 << 20, QLatin1Char('='))}) << 1;
        QTest::newRow("100000 continuation lines")
            << ical({"SUMMARY:a" + QStringLiteral("\r\n b").repeated(100000)}) << 1;
        QTest::newRow("100000 soft line breaks")
            << ical({"DESCRIPTION;QUOTED-PRINTABLE:" + QStringLiteral("ab=\r\n").repeated(100000) + "c"}) << 1;
        QTest::newRow("NUL bytes") << ical(
            {QString::fromUtf16(u"SUMMARY:a\0b", 11), QString(QChar(0)), QString::fromUtf16(u"DTSTART\0:2007", 13)})
                                   << 1;
        QTest::newRow("only BEGIN:VEVENT") << QStringLiteral("BEGIN:VEVENT\r\n").repeated(50000) << 50000;
        QTest::newRow("only BEGIN lines") << QStringLiteral("BEGIN:X\r\n").repeated(50000) << 0;
        QTest::newRow("only END lines") << QStringLiteral("END:VEVENT\r\nEND:VCALENDAR\r\n").repeated(20000) << 0;
        QTest::newRow("nested alarms left open") << ical(QStringList(20000, QStringLiteral("BEGIN:VALARM"))) << 1;
        QTest::newRow("short values") << ical({"DTSTART:2007", "DTEND:20070315T1", "DURATION:P", "EXDATE:200703151",
                                               "RECURRENCE-ID:2", "RRULE:", "UID", "DALARM:", "BEGIN"})
                                      << 0;
        QTest::newRow("ends inside an event") << QStringLiteral("BEGIN:VCALENDAR\nBEGIN:VEVENT\nSUMMARY:cut") << 1;
        QTest::newRow("ends inside an alarm")
            << QStringLiteral("BEGIN:VCALENDAR\nBEGIN:VEVENT\nSUMMARY:cut\nBEGIN:VALARM\nTRIGGER:-PT5M") << 1;
        QTest::newRow("ends in a fold") << QStringLiteral("BEGIN:VCALENDAR\nBEGIN:VEVENT\nSUMMARY:cut\n ") << 1;
        QTest::newRow("huge numbers") << ical(
            {"DTSTART:99999999T999999", "DURATION:P99999999999999W", "EXDATE:00000000T000000"})
                                      << 1;
        QTest::newRow("huge duration") << ical({"DTSTART:20070315T093000", "DURATION:P999999999DT99999999H"}) << 1;
    }
    void hostileInput()
    {
        QFETCH(QString, text);
        QFETCH(int, minEntries);
        QElapsedTimer timer;
        timer.start();
        aCalendar cal;
        cal.setData(text);
        QVERIFY(cal.entryCount() + int(cal.getTheRecObjects().size()) >= minEntries);
        // Linear work: even the largest of these takes well under a second.
        QVERIFY2(timer.elapsed() < 5000 * testutil::kSlowdown, qPrintable(QString::number(timer.elapsed())));
    }

    void hugeSummaryKept()
    {
        const QString megabyte(1 << 20, QLatin1Char('y'));
        aCalendar cal;
        cal.setData(ical({"SUMMARY:" + megabyte, "DTSTART;VALUE=DATE:20070315"}));
        QCOMPARE(cal.getEntryAtIndex(0)->getSummary().size(), megabyte.size());
    }

    void roundTripICalendar()
    {
        int next = 0;
        Uuid::setGenerator(
            [&next]() { return QStringLiteral("00000000-0000-0000-0000-%1").arg(++next, 12, 10, QLatin1Char('0')); });
        const auto first = read(Encoding::decode(dataFile("sample.ics"), Encoding::Fallback::MacRoman));
        const QString written = first->createICalString(first->getTheData(), QStringLiteral("/tmp/Sample.ics"));
        QString message;
        const auto second = read(Encoding::decodeUtf8(written.toUtf8()), &message);
        QCOMPARE(message, QString());
        QCOMPARE(snapshots(second->getTheData()), snapshots(first->getTheData()));
        QCOMPARE(second->getTheRecObjects().size(), first->getTheRecObjects().size());
    }

    void roundTripVCalendar()
    {
        testutil::pinZone("Europe/London");
        const auto first = read(Encoding::decode(dataFile("palm.vcs"), Encoding::Fallback::MacRoman));
        auto located = first->getEntryAtIndex(0);
        located->setLocation(QStringLiteral("High Street 5, London"));
        located->setDESCRIPTION(QStringLiteral("Two\nlines"));
        // The writer names every entry (UIDs are made when written), so compare after writing.
        const QString written = first->createVCalStringWithData(first->getTheData());
        QVERIFY(written.startsWith(QLatin1String("BEGIN:VCALENDAR\r\n")));
        const auto second = read(Encoding::decode(Encoding::encodeMacRoman(written), Encoding::Fallback::MacRoman));
        // A count becomes an end date in vCalendar 1.0; from then on the rule stays as it is.
        QCOMPARE(snapshots(second->getTheData(), false), snapshots(first->getTheData(), false));
        const auto third = read(second->createVCalStringWithData(second->getTheData()));
        QCOMPARE(snapshots(third->getTheData()), snapshots(second->getTheData()));
        QVERIFY(second->getEntryAtIndex(1)->getRRULENoRRULE().contains(QLatin1String("BYDAY=TU")));
    }
};

QTEST_GUILESS_MAIN(TestReader)
#include "tst_reader.moc"
