// tidewell-cli, run as a process the way users run it.

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace
{
struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

const QString kSample = QStringLiteral(TIDEWELL_TEST_DATA "/../../examples/sample.ics");
} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    Run run(const QStringList& args, const QByteArray& input = {}, const char* tz = "Europe/Paris")
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TZ", QString::fromLatin1(tz));
        env.insert("SOURCE_DATE_EPOCH", "1173960000"); // 2007-03-15 12:00 UTC
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config")); // never the user's settings
        env.insert("LC_ALL", "en_US.UTF-8");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TIDEWELL_CLI_PATH), args);
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(60000))
            p.kill();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void write(const QString& name, const QByteArray& bytes)
    {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QByteArray read(const QString& name)
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static QByteArray calendar(const QByteArray& events)
    {
        QByteArray text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + events + "END:VCALENDAR\r\n";
        return text.replace("\n", "\r\n").replace("\r\r\n", "\r\n");
    }

private Q_SLOTS:
    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("help") << QStringList {"--help"} << 0 << "convert";
        QTest::newRow("version") << QStringList {"--version"} << 0 << "tidewell-cli";
        QTest::newRow("convert help") << QStringList {"convert", "--help"} << 0 << "--columns-in";
        QTest::newRow("no command") << QStringList {} << 2 << "Usage";
        QTest::newRow("unknown command") << QStringList {"frobnicate"} << 2 << "unknown command";
        QTest::newRow("no input") << QStringList {"convert"} << 2 << "at least one input";
        QTest::newRow("missing file") << QStringList {"convert", "/nonexistent/x.ics"} << 2 << "cannot read";
        QTest::newRow("unknown extension") << QStringList {"convert", kSample, "-o", "x.doc"} << 2 << "output format";
        QTest::newRow("unknown option") << QStringList {"convert", "--frob", kSample} << 2 << "frob";
        QTest::newRow("unknown column") << QStringList {"convert", kSample, "--to", "csv", "--columns", "bogus"} << 2
                                        << "unknown column";
        QTest::newRow("unwritable") << QStringList {"convert", kSample, "-o", "/nonexistent/dir/out.ics"} << 2
                                    << "out.ics: could not be written: No such file or directory";
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        const Run r = run(args);
        QCOMPARE(r.status, status);
        QVERIFY2((r.out + r.err).contains(says.toUtf8()), (r.out + r.err).constData());
    }

    void sampleToVCalendar()
    {
        const Run r = run({"convert", kSample, "--to", "vcal"});
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY(r.out.startsWith("BEGIN:VCALENDAR\r\nPRODID:PalmDesktop Generated\r\nTZ:+01\r\nVERSION:1.0\r\n"));
        QVERIFY(r.out.contains("SUMMARY;CHARSET=macintosh:Dentist\r\n"));
        QVERIFY(r.out.contains("DTSTART:20070315T083000Z\r\n"));
        // Mac OS Roman, as the CHARSET label says: é is byte 0x8E.
        QVERIFY(r.out.contains("SUMMARY;CHARSET=macintosh:L\x8E"
                               "a's birthday"));
        QVERIFY(r.out.endsWith("END:VCALENDAR\r\n"));
    }

    void roundTripThroughFiles()
    {
        const Run a = run({"convert", kSample, "-o", path("a.ics")});
        QVERIFY2(a.status == 0, a.err.constData());
        QVERIFY(a.out.isEmpty());
        const QByteArray first = read("a.ics");
        QVERIFY(first.startsWith("BEGIN:VCALENDAR\r\nCALSCALE:GREGORIAN\r\n"));
        QVERIFY(first.contains("X-WR-CALNAME;VALUE=TEXT:a\r\n"));
        QCOMPARE(first.count("BEGIN:VEVENT"), 6); // five entries and the moved occurrence
        QVERIFY(first.contains("RECURRENCE-ID;TZID=Europe/Paris:20070312T090000"));
        const Run b = run({"convert", path("a.ics"), "-o", path("b.ics")});
        QVERIFY2(b.status == 0, b.err.constData());
        // Everything but the per-file identifier is kept byte for byte.
        auto strip = [](QByteArray t) {
            const qsizetype at = t.indexOf("X-WR-RELCALID");
            return t.remove(at, t.indexOf("\r\n", at) - at)
                .replace("X-WR-CALNAME;VALUE=TEXT:b", "X-WR-CALNAME;VALUE=TEXT:a");
        };
        QCOMPARE(strip(read("b.ics")), strip(first));
    }

    void standardInput()
    {
        QFile f(kSample);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const Run r = run({"convert", "-", "--from", "ics", "--to", "ics"}, f.readAll());
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(r.out.count("BEGIN:VEVENT"), 6);
        const Run noFormat = run({"convert", "-"}, "x");
        QCOMPARE(noFormat.status, 2);
    }

    void readerWarningsGoOn()
    {
        write("todo.ics",
              calendar("BEGIN:VTODO\nSUMMARY:t\nEND:VTODO\nBEGIN:VEVENT\nUID:1\n"
                       "DTSTART;VALUE=DATE:20070315\nSUMMARY:kept\nEND:VEVENT\n"));
        const Run r = run({"convert", path("todo.ics"), "--to", "ics"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.err.contains("(Error 1505)"));
        QVERIFY(r.out.contains("SUMMARY:kept"));
    }

    void invalidEntriesAreListed()
    {
        write("bad.ics",
              calendar("BEGIN:VEVENT\nUID:1\nDTSTART:20070315T090000\nDTEND:20070315T100000\n"
                       "SUMMARY:fine\nEND:VEVENT\nBEGIN:VEVENT\nUID:2\nDTSTART:20070315T110000\n"
                       "DTEND:20070315T100000\nSUMMARY:Backwards\nEND:VEVENT\n"));
        write("out.ics", "old contents");
        const Run r = run({"convert", path("bad.ics"), "-o", path("out.ics")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("row 2: Backwards"), r.err.constData());
        QCOMPARE(read("out.ics"), QByteArray("old contents"));
    }

    void untranslatableRuleWritesNothing()
    {
        write("monthly.ics",
              calendar("BEGIN:VEVENT\nUID:1\nDTSTART;TZID=Europe/Paris:20070315T090000\n"
                       "DTEND;TZID=Europe/Paris:20070315T100000\nRRULE:FREQ=MONTHLY;BYMONTHDAY=15\n"
                       "SUMMARY:m\nEND:VEVENT\n"));
        write("out.vcs", "old contents");
        const Run r = run({"convert", path("monthly.ics"), "-o", path("out.vcs")});
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains("monthly repeating event that can not be translated to vCal version 1"));
        QCOMPARE(read("out.vcs"), QByteArray("old contents"));
    }

    void lists()
    {
        const Run csv = run({"convert", kSample, "-o", path("out.csv"), "--expand"});
        QVERIFY2(csv.status == 0, csv.err.constData());
        const QByteArray text = read("out.csv");
        // The stand-up repeats three times a week in March and April, less two exception dates.
        QVERIFY2(text.count("Team stand-up") > 10, text.constData());
        QVERIFY(text.contains("03/15/07,09:30,03/15/07,10:30,Dentist,"));
        const Run plain = run({"convert", kSample, "--to", "csv"});
        QCOMPARE(plain.out.count("Team stand-up"), 1);
        const Run cols = run({"convert", kSample, "--to", "tab", "--columns", "theSummary,startDate"});
        QVERIFY2(cols.out.contains("Dentist\t03/15/07\t"), cols.out.constData());
        const Run txt = run({"convert", kSample, "-o", path("out.txt")});
        QVERIFY2(txt.status == 0, txt.err.constData());
        const QByteArray list = read("out.txt");
        QVERIFY2(list.contains("Thursday, March 15, 2007\r\r"), list.constData());
        QVERIFY(list.contains("Dentist"));
    }

    void delimitedInput()
    {
        write("people.csv",
              "Summary,Start Date,Start Time,End Date,End Time,Description\r\n"
              "\"Lunch, with Ann\",12/05/06,12:30 PM,12/05/06,1:30 PM,\"Bring \"\"the\"\" book\"\r\n"
              "Review,12/06/06,9:00 AM,12/06/06,10:00 AM,\"line one\nline two\"\r\n");
        const Run r = run({"convert", path("people.csv"), "-o", path("people.ics"), "--skip-header", "--columns-in",
                           "Summary,Start Date,Start Time,End Date,End Time,Description"});
        QVERIFY2(r.status == 0, r.err.constData());
        const QByteArray ics = read("people.ics");
        QCOMPARE(ics.count("BEGIN:VEVENT"), 2);
        QVERIFY(ics.contains("SUMMARY:Lunch\\, with Ann") || ics.contains("SUMMARY:Lunch, with Ann"));
        QVERIFY(ics.contains("DTSTART;TZID=Europe/Paris:20061205T123000"));
        QVERIFY(ics.contains("DESCRIPTION:line one"));
        const Run codes
            = run({"convert", path("people.csv"), "--to", "ics", "--skip-header", "--columns-in", "4,1,0,3,2,5"});
        QVERIFY2(codes.status == 0, codes.err.constData());
        QCOMPARE(codes.out.count("BEGIN:VEVENT"), 2);
    }

    void guess_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says"); // in the calendar, or in the message when the status is 1
        QTest::newRow("ordinal date") << "Lunch with Ann 5th December 2006 at 12:30 pm" << 0
                                      << "DTSTART;TZID=Europe/Paris:20061205T123000\r\nSUMMARY:Lunch with Ann  at ";
        QTest::newRow("pm after a numeric date")
            << "Meeting 12/05/2006 11:30 pm" << 0
            << "DTSTART;TZID=Europe/Paris:20061205T233000\r\nSUMMARY:Meeting  \r\n";
        QTest::newRow("12:30 am") << "Meeting 12/05/2006 12:30 am" << 0 << "DTSTART;TZID=Europe/Paris:20061205T003000";
        QTest::newRow("time after a month-name date")
            << "Lunch with Ann December 5, 2006 10:30 am" << 0 << "DTSTART;TZID=Europe/Paris:20061205T103000";
        QTest::newRow("time is no year") << "Lunch December 5 10:30 am" << 0
                                         << "DTSTART;TZID=Europe/Paris:20071205T103000";
        QTest::newRow("time range") << "Meeting 12/05/2006 10:00-11:00" << 0
                                    << "DTSTART;TZID=Europe/Paris:20061205T100000\r\nSUMMARY:Meeting  -";
        QTest::newRow("time before the date")
            << "Call 14:30 12/05/2006" << 0 << "DTSTART;TZID=Europe/Paris:20061205T143000";
        QTest::newRow("past midnight") << "Party 12/05/2006 at 11:30 pm" << 0
                                       << "DTSTART;TZID=Europe/Paris:20061205T233000\r\nSUMMARY:Party  at \r\n"
                                          "DESCRIPTION:Party 12/05/2006 at 11:30 pm\r\nDURATION:PT1H\r\n";
        QTest::newRow("Sept") << "Conference 5 Sept 2006" << 0 << "DTSTART;VALUE=DATE:20060905";
        QTest::newRow("month name inside a word") << "Hire 3 Junior developers" << 1 << "no date found in the text";
        QTest::newRow("dates and times that do not pair")
            << "Conference December 5 2006 and December 6 2006 at 9:30 am" << 1
            << "found 2 dates (December 5 2006, December 6 2006) and 1 time, which cannot be paired";
        QTest::newRow("date that cannot be read")
            << "Review 02/30/2007 at 3pm" << 1 << "the date \"02/30/2007\" could not be read";
    }
    void guess()
    {
        QFETCH(QString, text);
        QFETCH(int, status);
        QFETCH(QString, says);
        const Run r = run({"guess", text});
        QCOMPARE(r.status, status);
        QVERIFY2((status == 0 ? r.out : r.err).contains(says.toUtf8()), (r.out + r.err).constData());
        if (status == 0) {
            QVERIFY(r.err.isEmpty());
        } else {
            QVERIFY(r.out.isEmpty());
        }
    }

    void guessFromStandardInput()
    {
        const Run nothing = run({"guess"}, "no appointment here");
        QCOMPARE(nothing.status, 1);
        QVERIFY(nothing.err.contains("no date found"));
    }

    void invite()
    {
        const Run r
            = run({"invite", "--organizer", "Ann Smith <ann@example.org>", "--attendee", "Bob Jones <bob@example.org>",
                   "--attendee", "carol@example.org", kSample, "-o", path("invite.ics")});
        QVERIFY2(r.status == 0, r.err.constData());
        const QByteArray text = read("invite.ics");
        QVERIFY(text.startsWith("BEGIN:VCALENDAR\nMETHOD:REQUEST\n"));
        QVERIFY(text.contains("mailto:bob@example.org"));
        QVERIFY(text.contains("mailto:carol@example.org"));
        QVERIFY(text.contains("ann@example.org"));
        QCOMPARE(run({"invite", kSample}).status, 2);

        // An independent parser reads the invitation with the people it was given.
        if (!testutil::pythonHas("icalendar"))
            QSKIP("/usr/bin/python3 cannot import icalendar");
        const QString script = QStringLiteral("import sys, icalendar\n"
                                              "cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())\n"
                                              "assert cal.get('METHOD') == 'REQUEST'\n"
                                              "events = list(cal.walk('VEVENT'))\n"
                                              "print('events', len(events))\n"
                                              "for ev in events[:1]:\n"
                                              "    atts = ev.get('ATTENDEE')\n"
                                              "    atts = atts if isinstance(atts, list) else [atts]\n"
                                              "    for a in atts:\n"
                                              "        print('attendee', a.params.get('CN'), str(a))\n"
                                              "    o = ev.get('ORGANIZER')\n"
                                              "    print('organizer', o.params.get('CN'), str(o))\n");
        QString error;
        const QStringList lines = testutil::runPython(script, {path("invite.ics")}, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(lines.value(0), QStringLiteral("events 5"));
        QCOMPARE(lines.value(1), QStringLiteral("attendee Bob Jones mailto:bob@example.org"));
        QCOMPARE(lines.value(2), QStringLiteral("attendee carol@example.org mailto:carol@example.org"));
        QVERIFY2(lines.value(3).startsWith(QStringLiteral("organizer Ann Smith")), qPrintable(lines.value(3)));
        QVERIFY(lines.value(3).contains(QStringLiteral("ann@example.org")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
