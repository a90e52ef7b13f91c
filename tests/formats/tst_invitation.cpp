#include "addressbook/invitee.h"
#include "calendar/aCalendar.h"
#include "formatsTestUtil.h"
#include "testutil.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace formatstest;

namespace
{
invitee person(const QString& name, const QString& email)
{
    invitee p;
    p.setTheRealName(name);
    p.setInviteeEmailAddress(email);
    p.setInviteeName(name + QStringLiteral(" (work)"));
    return p;
}

EntryPtr review()
{
    EntryPtr e = timed(QStringLiteral("Project review"), 2007, 3, 15, 9, 30, 11, 0);
    e->setDESCRIPTION(QStringLiteral("Agenda"));
    return e;
}

} // namespace

class tst_invitation : public QObject
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

    void mailedBlock()
    {
        EntryPtr e = review();
        const QList<invitee> people {person(QStringLiteral("Anne Example"), QStringLiteral("anne@example.com")),
                                     person(QStringLiteral("Bob Builder"), QStringLiteral("bob@example.com"))};
        QCOMPARE(e->getICal(people, QStringLiteral("Carol Chair"), QStringLiteral("carol@example.com")),
                 QStringLiteral("BEGIN:VEVENT\n"
                                "SEQUENCE:2\n"
                                "ATTENDEE;CN=Anne Example:mailto:anne@example.com\n"
                                "ATTENDEE;CN=Bob Builder:mailto:bob@example.com\n"
                                "DTSTAMP:20070115T120000Z\n"
                                "SUMMARY:Project review\n"
                                "UID:00000000-0000-0000-0000-000000000001\n"
                                "ORGANIZER;CN=Carol Chair:mailto:carol@example.com\n"
                                "DTSTART;TZID=Europe/Paris:20070315T093000\n"
                                "DESCRIPTION:Agenda\n"
                                "DURATION:PT1H30M\n"
                                "END:VEVENT\n"));
    }

    void calendarApplicationBlock()
    {
        EntryPtr e = review();
        e->setRRULE(QStringLiteral("FREQ=WEEKLY;INTERVAL=1"));
        e->setDTEND(QStringLiteral("20070315T110000"));
        const QList<invitee> people {person(QStringLiteral("Anne Example"), QStringLiteral("anne@example.com"))};
        QCOMPARE(e->getICalForICal(people, QStringLiteral("Carol Chair"), QStringLiteral("carol@example.com")),
                 QStringLiteral("BEGIN:VEVENT\r\n"
                                "SEQUENCE:3\r\n"
                                "ATTENDEE;CN=\"Anne Example\":mailto:anne@example.com\r\n"
                                "DTSTAMP:20070115T120000Z\r\n"
                                "SUMMARY:Project review\r\n"
                                "UID:00000000-0000-0000-0000-000000000001\r\n"
                                "DTSTART;TZID=Europe/Paris:20070315T093000\r\n"
                                "DESCRIPTION:Agenda\r\n"
                                "DTEND;TZID=Europe/Paris:20070315T110000\r\n"
                                "RRULE:FREQ=WEEKLY;INTERVAL=1\r\n"
                                "X-WR-ITIPSTATUSML;VALUE=TEXT:UNCLEAN\r\n"
                                "END:VEVENT\r\n"));
    }

    // The mailed invitation folds with LF and a space, the block for the calendar application's
    // CR LF files with CR LF and a space.
    void longAttendeeLinesFold()
    {
        EntryPtr e = review();
        const QList<invitee> people {person(QStringLiteral("Maximilian Alexander von Example-Langername"),
                                            QStringLiteral("maximilian.alexander@example.com"))};
        QVERIFY(
            e->getICal(people, QString(), QString())
                .contains(QStringLiteral("\nATTENDEE;CN=Maximilian Alexander von Example-Langername:mailto:maximilia\n"
                                         " n.alexander@example.com\n")));
        QVERIFY(e->getICalForICal(people, QString(), QString())
                    .contains(QStringLiteral(
                        "\r\nATTENDEE;CN=\"Maximilian Alexander von Example-Langername\":mailto:maximil\r\n"
                        " ian.alexander@example.com\r\n")));
    }

    void noInvitees()
    {
        EntryPtr e = review();
        const QString mailed = e->getICal({}, QStringLiteral("Carol"), QStringLiteral("carol@example.com"));
        QVERIFY(!mailed.contains(QLatin1String("ATTENDEE")));
        QVERIFY(mailed.contains(QLatin1String("\nORGANIZER;CN=Carol:mailto:carol@example.com\n")));
        const QString app = e->getICalForICal({}, QStringLiteral("Carol"), QStringLiteral("carol@example.com"));
        QVERIFY(!app.contains(QLatin1String("ATTENDEE")));
        QVERIFY(!app.contains(QLatin1String("ORGANIZER")));
    }

    void blankEntryAndInvitationCalendar()
    {
        EntryPtr blank = dataEntry::create();
        QCOMPARE(blank->getICal({}, QStringLiteral("C"), QStringLiteral("c@example.com")), QString());
        QCOMPARE(blank->getICalForICal({}, QStringLiteral("C"), QStringLiteral("c@example.com")), QString());

        aCalendar cal;
        EntryPtr e = allDay(QStringLiteral("Offsite"), day(2007, 4, 2), day(2007, 4, 3));
        const QString text
            = cal.createInvitationString({blank, e, blank}, {}, QStringLiteral("C"), QStringLiteral("c@example.com"));
        QCOMPARE(text,
                 QStringLiteral("BEGIN:VCALENDAR\n"
                                "METHOD:REQUEST\n"
                                "VERSION:2.0\n"
                                "PRODID:-//Quenlor\\, //Quenlor//EN\n"
                                "BEGIN:VEVENT\n"
                                "SEQUENCE:2\n"
                                "DTSTAMP:20070115T120000Z\n"
                                "SUMMARY:Offsite\n"
                                "UID:00000000-0000-0000-0000-000000000001\n"
                                "ORGANIZER;CN=C:mailto:c@example.com\n"
                                "DTSTART;VALUE=DATE:20070402\n"
                                "DURATION:P2D\n"
                                "END:VEVENT\n"
                                "END:VCALENDAR"));
        QCOMPARE(
            cal.createInvitationString({}, {}, QString(), QString()),
            QStringLiteral(
                "BEGIN:VCALENDAR\nMETHOD:REQUEST\nVERSION:2.0\nPRODID:-//Quenlor\\, //Quenlor//EN\nEND:VCALENDAR"));
    }

    void namesCannotBreakTheLine_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("mailed");
        QTest::addColumn<QString>("app");
        auto row = [](const char* tag, const QString& name, const QString& email, const QString& mailed,
                      const QString& app) { QTest::newRow(tag) << name << email << mailed << app; };
        row("plain", "Anne Example", "anne@example.com", "ATTENDEE;CN=Anne Example:mailto:anne@example.com",
            "ATTENDEE;CN=\"Anne Example\":mailto:anne@example.com");
        row("comma", "Doe, John", "jd@example.com", "ATTENDEE;CN=\"Doe, John\":mailto:jd@example.com",
            "ATTENDEE;CN=\"Doe, John\":mailto:jd@example.com");
        row("semicolon", "A;B", "ab@example.com", "ATTENDEE;CN=\"A;B\":mailto:ab@example.com",
            "ATTENDEE;CN=\"A;B\":mailto:ab@example.com");
        row("colon", "Dr: Who", "who@example.com", "ATTENDEE;CN=\"Dr: Who\":mailto:who@example.com",
            "ATTENDEE;CN=\"Dr: Who\":mailto:who@example.com");
        row("double quote", "Say \"Hi\"", "hi@example.com", "ATTENDEE;CN=Say Hi:mailto:hi@example.com",
            "ATTENDEE;CN=\"Say Hi\":mailto:hi@example.com");
        row("line breaks", "Line\r\nBreak", "lb@example.com\n", "ATTENDEE;CN=LineBreak:mailto:lb@example.com",
            "ATTENDEE;CN=\"LineBreak\":mailto:lb@example.com");
        row("quoted comma", "\"Doe, J\"", "d@example.com", "ATTENDEE;CN=\"Doe, J\":mailto:d@example.com",
            "ATTENDEE;CN=\"Doe, J\":mailto:d@example.com");
    }

    void namesCannotBreakTheLine()
    {
        QFETCH(QString, name);
        QFETCH(QString, email);
        QFETCH(QString, mailed);
        QFETCH(QString, app);
        EntryPtr e = review();
        const QList<invitee> people {person(name, email)};
        const QString m = e->getICal(people, name, email);
        QVERIFY2(m.contains(QLatin1Char('\n') + mailed + QLatin1Char('\n')), qPrintable(m));
        // The organiser follows the same rules as an attendee of the mailed block.
        QString organiser = mailed;
        organiser.replace(QLatin1String("ATTENDEE;"), QLatin1String("ORGANIZER;"));
        QVERIFY2(m.contains(QLatin1Char('\n') + organiser + QLatin1Char('\n')), qPrintable(m));
        const QString a = e->getICalForICal(people, name, email);
        QVERIFY2(a.contains(QStringLiteral("\r\n") + app + QStringLiteral("\r\n")), qPrintable(a));
    }

    // A peer parser reads the mailed calendar's attendees and organiser back.
    void peerReadsInvitation()
    {
        if (!testutil::pythonHas(QStringLiteral("icalendar")))
            QSKIP("/usr/bin/python3 cannot import icalendar");

        aCalendar cal;
        EntryPtr e = review();
        e->setSummary(
            QStringLiteral("Review with a long summary that certainly needs folding, and an emoji \U0001F4C5 too"));
        const QList<invitee> people {person(QStringLiteral("Anne Example"), QStringLiteral("anne@example.com")),
                                     person(QStringLiteral("Doe, John \"JD\" Maximilian Alexander von Example"),
                                            QStringLiteral("john.doe@example.com"))};
        const QString text = cal.createInvitationString({e}, people, QStringLiteral("Carol: Chair"),
                                                        QStringLiteral("carol@example.com"));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("invite.ics"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        file.close();

        const QString script = QStringLiteral("import sys, icalendar\n"
                                              "cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())\n"
                                              "print('METHOD', cal.get('METHOD'))\n"
                                              "for ev in cal.walk('VEVENT'):\n"
                                              "    print('SUMMARY', ev.get('SUMMARY'))\n"
                                              "    atts = ev.get('ATTENDEE')\n"
                                              "    atts = atts if isinstance(atts, list) else [atts]\n"
                                              "    for a in atts:\n"
                                              "        print('ATTENDEE', a.params.get('CN'), '|', str(a))\n"
                                              "    o = ev.get('ORGANIZER')\n"
                                              "    print('ORGANIZER', o.params.get('CN'), '|', str(o))\n");
        QString error;
        const QStringList lines = testutil::runPython(script, {path}, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(lines,
                 QStringList({QStringLiteral("METHOD REQUEST"),
                              QStringLiteral("SUMMARY Review with a long summary that certainly needs folding, and an "
                                             "emoji \U0001F4C5 too"),
                              QStringLiteral("ATTENDEE Anne Example | mailto:anne@example.com"),
                              QStringLiteral("ATTENDEE Doe, John JD Maximilian Alexander von Example | "
                                             "mailto:john.doe@example.com"),
                              QStringLiteral("ORGANIZER Carol: Chair | mailto:carol@example.com")}));
    }

    // The mailed calendar passes libical's iTIP checks and carries what invitees need: the room,
    // the cancelled occurrences and the moved one. Control characters from the address book are
    // left out.
    void invitationHoldsTheWholeSeries()
    {
        EntryPtr series = review();
        series->setRRULE(QStringLiteral("FREQ=WEEKLY;COUNT=5"));
        series->setLocation(QStringLiteral("Room 1"));
        series->setTheEXDATE(day(2007, 3, 22));
        EntryPtr moved = timed(QStringLiteral("Project review (moved)"), 2007, 3, 30, 14, 0, 15, 0);
        moved->setUIDcopy(series->getUID().mid(4));
        moved->setRecDate(day(2007, 3, 29));
        moved->setRecTime(at(2007, 3, 29, 9, 30));
        series->addRecObjectArray(moved);
        aCalendar cal;
        const QList<invitee> people {
            person(QStringLiteral("Anne\u0007 Example"), QStringLiteral("anne@example.com\u0000"))};
        const QString text = cal.createInvitationString({series, moved}, people, QStringLiteral("Carol\u001B"),
                                                        QStringLiteral("carol@example.com"));
        QVERIFY(text.startsWith(
            QLatin1String("BEGIN:VCALENDAR\nMETHOD:REQUEST\nVERSION:2.0\nPRODID:-//Quenlor\\, //Quenlor//EN\n")));
        for (const char* line : {"\nLOCATION:Room 1\n", "\nEXDATE;TZID=Europe/Paris:20070322T093000\n",
                                 "\nRECURRENCE-ID;TZID=Europe/Paris:20070329T093000\nEND:VEVENT\n",
                                 "\nATTENDEE;CN=Anne Example:mailto:anne@example.com\n",
                                 "\nORGANIZER;CN=Carol:mailto:carol@example.com\n"})
            QVERIFY2(text.contains(QLatin1String(line)), line);
        QCOMPARE(text.count(QLatin1String("BEGIN:VEVENT")), 2);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("invite.ics"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        file.close();
        QProcess peer;
        peer.start(QStringLiteral(TIDEWELL_VCAL_PEER), {QStringLiteral("--ical"), path});
        QVERIFY(peer.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(peer.readAllStandardOutput()), QStringLiteral("ITIP ok\nEVENTS 2\n"));
    }

private:
    std::unique_ptr<testutil::TempSettings> m_settings;
};

QTEST_GUILESS_MAIN(tst_invitation)
#include "tst_invitation.moc"
