// tidewell-cli, run as a process the way users run it.

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

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

    /// Runs the tool; @p redirect is shell syntax for its standard output (">/dev/full", ">&-").
    Run run(const QStringList& args, const QByteArray& input = {}, const char* tz = "Europe/Paris",
            const QString& redirect = QString())
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TZ", QString::fromLatin1(tz));
        env.insert("SOURCE_DATE_EPOCH", "1173960000"); // 2007-03-15 12:00 UTC
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config")); // never the user's settings
        env.insert("LC_ALL", "en_US.UTF-8");
        p.setProcessEnvironment(env);
        if (redirect.isEmpty())
            p.start(QStringLiteral(TIDEWELL_CLI_PATH), args);
        else
            p.start(QStringLiteral("/bin/sh"),
                    QStringList {"-c", "exec \"$0\" \"$@\" " + redirect, TIDEWELL_CLI_PATH} + args);
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
        // A read that fails part way (here at once: nothing is mapped at address 0) is no short file.
        QTest::newRow("read error") << QStringList {"convert", "--from", "ics", "/proc/self/mem", "-o", "x.ics"} << 2
                                    << "cannot read /proc/self/mem: ";
        QTest::newRow("unknown extension") << QStringList {"convert", kSample, "-o", "x.doc"} << 2 << "output format";
        QTest::newRow("unknown option") << QStringList {"convert", "--frob", kSample} << 2 << "frob";
        QTest::newRow("unknown column") << QStringList {"convert", kSample, "--to", "csv", "--columns", "bogus"} << 2
                                        << "unknown column";
        QTest::newRow("unwritable") << QStringList {"convert", kSample, "-o", "/nonexistent/dir/out.ics"} << 2
                                    << "out.ics: could not be written: No such file or directory";
        QTest::newRow("help command") << QStringList {"help", "convert"} << 0 << "--date-order";
        QTest::newRow("help unknown command") << QStringList {"help", "frob"} << 2 << "unknown command frob";
        QTest::newRow("help-all") << QStringList {"guess", "--help-all"} << 0 << "Usage:";
        // Commands without input files: --help-all must not list calendars or contacts instead.
        for (const char* command : {"mail", "calendars", "contacts"})
            QTest::addRow("%s help-all", command) << QStringList {command, "--help-all"} << 0 << "Usage:";
        QTest::newRow("info help") << QStringList {"info", "--help"} << 0 << "zones";
        QTest::newRow("bad zone") << QStringList {"convert", kSample, "--tz", "Mars/Olympus"} << 2
                                  << "unknown time zone Mars/Olympus";
        QTest::newRow("bad date order") << QStringList {"convert", kSample, "--date-order", "dym"} << 2
                                        << "bad --date-order dym";
        QTest::newRow("bad delimiter") << QStringList {"convert", kSample, "--delimiter", ";;"} << 2
                                       << "bad --delimiter";
        QTest::newRow("bad sort") << QStringList {"convert", kSample, "--sort", "length"} << 2 << "bad --sort";
        QTest::newRow("bad date") << QStringList {"convert", kSample, "--since", "someday"} << 2 << "bad --since";
        QTest::newRow("range backwards") << QStringList {"convert",    kSample,   "--since",
                                                         "2007-05-01", "--until", "2007-04-01"}
                                         << 2 << "--until is before --since";
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, says);
        const Run r = run(args);
        QCOMPARE(r.status, status);
        QVERIFY2((r.out + r.err).contains(says.toUtf8()), (r.out + r.err).constData());
        QVERIFY2(!r.out.contains("--help-all"), r.out.constData()); // never offered
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

    void untranslatableRuleWritesNothing()
    {
        write("monthly.ics",
              calendar("BEGIN:VEVENT\nUID:1\nDTSTART;TZID=Europe/Paris:20070315T090000\n"
                       "DTEND;TZID=Europe/Paris:20070315T100000\nRRULE:FREQ=MONTHLY;BYMONTHDAY=13;BYDAY=FR\n"
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
        QVERIFY(text.contains("\r\n09:30,03/15/2007,10:30,03/15/2007,Dentist,"));
        const Run plain = run({"convert", kSample, "--to", "csv"});
        QCOMPARE(plain.out.count("Team stand-up"), 1);
        const Run cols = run({"convert", kSample, "--to", "tab", "--columns", "theSummary,startDate"});
        QVERIFY2(cols.out.contains("\r\nDentist\t03/15/2007\t"), cols.out.constData());
        const Run txt = run({"convert", kSample, "-o", path("out.txt")});
        QVERIFY2(txt.status == 0, txt.err.constData());
        const QByteArray list = read("out.txt");
        QVERIFY2(list.contains("Thursday, March 15, 2007\n\n"), list.constData());
        QVERIFY(list.contains("Dentist"));
    }

    // Comma and tab lists end their lines with CR LF, the readable list with LF: one line per
    // line for wc, grep and terminals.
    void lineEnds_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<int>("lines");
        QTest::newRow("csv") << "csv" << QByteArray("\r\n") << 5;
        QTest::newRow("tab") << "tab" << QByteArray("\r\n") << 5;
        QTest::newRow("txt") << "txt" << QByteArray("\n") << 140;
    }
    void lineEnds()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, lineEnd);
        QFETCH(int, lines);
        const Run r = run({"convert", kSample, "--to", format});
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(int(r.out.count('\n')), lines);
        QCOMPARE(r.out.count(lineEnd), r.out.count('\n'));
        QCOMPARE(r.out.count('\r'), lineEnd.count('\r') * r.out.count('\n'));
        QVERIFY(r.out.endsWith(lineEnd));
    }

    // A list written with the defaults reads back with the defaults, entry for entry.
    void roundTripThroughLists_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("options");
        QTest::newRow("csv") << "a.csv" << QStringList {};
        QTest::newRow("tab") << "a.tsv" << QStringList {};
        QTest::newRow("csv with a heading") << "h.csv" << QStringList {"--header"};
    }
    void roundTripThroughLists()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, options);
        // The parts of each event that a list carries.
        auto events = [](const QByteArray& ics) {
            QStringList out;
            for (const QString& block : QString::fromUtf8(ics).split(QStringLiteral("BEGIN:VEVENT")).mid(1)) {
                if (block.contains(QLatin1String("RECURRENCE-ID")))
                    continue;
                QStringList parts;
                for (const QString& line : block.split(QLatin1Char('\n'))) {
                    if (line.startsWith("DTSTART") || line.startsWith("DURATION") || line.startsWith("SUMMARY"))
                        parts << line.trimmed();
                }
                out << parts.join(QLatin1Char(' '));
            }
            out.sort();
            return out;
        };
        write("extra.ics",
              calendar("BEGIN:VEVENT\nUID:x1\nDTSTART;VALUE=DATE:19400316\nSUMMARY:\"Q1\" review\n"
                       "DESCRIPTION:Agenda:\\nbudget\\nhiring\nEND:VEVENT\n"
                       "BEGIN:VEVENT\nUID:x2\nDTSTART:20070316T233000\nDTEND:20070317T003000\n"
                       "SUMMARY:Say \"hi\"\nEND:VEVENT\n"));
        const Run direct = run({"convert", kSample, path("extra.ics"), "--to", "ics"});
        QVERIFY2(direct.status == 0, direct.err.constData());
        const Run a = run(QStringList {"convert", kSample, path("extra.ics"), "-o", path(list)} + options);
        QVERIFY2(a.status == 0, a.err.constData());
        const Run b = run(QStringList {"convert", path(list), "--to", "ics"} + options);
        QVERIFY2(b.status == 0, b.err.constData());
        QCOMPARE(events(b.out), events(direct.out));
        QVERIFY2(b.out.contains("DESCRIPTION:Agenda: budget hiring\r\n"), b.out.constData());
    }

    // Options for the shapes of delimited files people have.
    void delimitedShapes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("says");
        const QByteArray people(
            "Summary,Start Date,Start Time,End Date,End Time,Description\r\n"
            "\"Lunch, with Ann\",12/05/06,12:30 PM,12/05/06,1:30 PM,\"line one\nline \"\"two\"\"\"\r\n");
        QTest::newRow("titles, quotes, a line break")
            << people
            << QStringList {"--header", "--columns-in", "Summary,Start Date,Start Time,End Date,End Time,Description"}
            << QStringList {"DTSTART;TZID=Europe/Paris:20061205T123000\r\n", "SUMMARY:Lunch", "DURATION:PT1H\r\n",
                            "DESCRIPTION:line one\\nline \"two\"\r\n"};
        QTest::newRow("codes") << people << QStringList {"--columns-in", "4,1,0,3,2,5"}
                               << QStringList {"DTSTART;TZID=Europe/Paris:20061205T123000\r\n"};
        QTest::newRow("semicolons, day first")
            << QByteArray("Betreff;Beginn;Zeit\r\n\"Essen; mit Ann\";25.12.06;12:30\r\n\r\n")
            << QStringList {"--delimiter",         ";", "--date-order", "dmy", "--header", "--columns-in",
                            "Subject,Start Date,-"}
            << QStringList {"DTSTART;VALUE=DATE:20061225\r\n", "SUMMARY:Essen", "mit Ann\r\n"};
        QTest::newRow("year first, tab") << QByteArray("06/12/05\tReview\n")
                                         << QStringList {"--date-order", "ymd",          "--from",
                                                         "tab",          "--columns-in", "Start Date,Summary"}
                                         << QStringList {"DTSTART;VALUE=DATE:20061205\r\n", "SUMMARY:Review\r\n"};
        QTest::newRow("Outlook heading, no option")
            << QByteArray("\"Subject\",\"Start Date\",\"Start Time\",\"End Date\",\"End Time\",\"All day event\","
                          "\"Description\",\"Location\"\r\n\"Budget, Q1\",\"3/15/2007\",\"9:30:00 AM\",\"3/15/2007\","
                          "\"11:00:00 AM\",\"False\",\"Bring slides\",\"Room 2\"\r\n")
            << QStringList {}
            << QStringList {"DTSTART;TZID=Europe/Paris:20070315T093000\r\n", "SUMMARY:Budget", "LOCATION:Room 2\r\n",
                            "DURATION:PT1H30M\r\n", "DESCRIPTION:Bring slides\r\n"};
        QTest::newRow("Google heading, given order wins")
            << QByteArray("Subject,Start Date,Start Time,End Date,End Time,All Day Event,Description\n"
                          "3/15/2007,Talk,,,,,\n")
            << QStringList {"--header", "--columns-in", "Start Date,Summary"}
            << QStringList {"DTSTART;VALUE=DATE:20070315\r\n", "SUMMARY:Talk\r\n"};
    }
    void delimitedShapes()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, options);
        QFETCH(QStringList, says);
        write("shape.csv", file);
        const Run r = run(QStringList {"convert", path("shape.csv"), "--to", "ics"} + options);
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(r.out.count("BEGIN:VEVENT"), 1);
        for (const QString& line : says)
            QVERIFY2(r.out.contains(line.toUtf8()), r.out.constData());
    }

    void headingWritten()
    {
        const Run r = run({"convert", kSample, "--to", "csv", "--header", "--columns", "theSummary,startDate"});
        QVERIFY2(r.out.startsWith("Summary,Start Date,Description\r\nWater the plants,03/01/2007,\r\n"),
                 r.out.constData());
    }

    // A file that is no calendar at all, and a calendar without entries, are two different cases.
    void notACalendar_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        static const char kJunk[] = "\x7f"
                                    "ELF\x02\x01\x01\0\0\0 random bytes";
        QTest::newRow("binary junk") << "junk.ics" << QByteArray(kJunk, sizeof kJunk - 1) << 2
                                     << "junk.ics: not a calendar file";
        QTest::newRow("a vCard") << "card.vcs" << QByteArray("BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n") << 2
                                 << "card.vcs: not a calendar file";
        QTest::newRow("words in a csv") << "words.csv" << QByteArray("hello,world\nfoo,bar\n") << 2
                                        << "words.csv: not a calendar file: no row holds a date or a time";
        QTest::newRow("empty calendar") << "empty.ics" << QByteArray("BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n") << 1
                                        << "there are no entries to write";
        QTest::newRow("empty file") << "zero.ics" << QByteArray() << 1 << "there are no entries to write";
        QTest::newRow("blank lines") << "blank.csv" << QByteArray("\n\r\n,,,,\n\n") << 1
                                     << "there are no entries to write";
    }
    void notACalendar()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, status);
        QFETCH(QString, says);
        write(name, bytes);
        write("out.ics", "old contents");
        const Run r = run({"convert", path(name), "-o", path("out.ics")});
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(says.toUtf8()), r.err.constData());
        QCOMPARE(read("out.ics"), QByteArray("old contents"));
    }

    void tooManyRecords()
    {
        write("huge.csv", QByteArray("x\n").repeated(5'000'001));
        const Run r = run({"convert", path("huge.csv"), "--to", "ics"});
        QCOMPARE(r.status, 2);
        QCOMPARE(r.err,
                 "tidewell-cli: " + QFile::encodeName(path("huge.csv"))
                     + ": more than 5,000,000 records; a delimited file is read up to that many (split it "
                       "into smaller files)\n");
        QVERIFY(r.out.isEmpty());
        QFile::remove(path("huge.csv"));
    }

    void info()
    {
        const Run r = run({"info", kSample, "/nonexistent/x.ics"});
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.contains("cannot read /nonexistent/x.ics"));
        QCOMPARE(r.out,
                 (kSample
                  + QStringLiteral(":\n"
                                   "  entries:   5 (3 repeating, 2 all-day)\n"
                                   "  overrides: 1\n"
                                   "  dates:     2007-03-01 08:00 to 2007-05-21\n"
                                   "  zones:     Europe/Paris\n"
                                   "  dropped:   nothing\n"))
                     .toUtf8());
        write("mixed.ics",
              calendar("BEGIN:VTODO\nSUMMARY:t\nEND:VTODO\nBEGIN:VEVENT\nUID:1\n"
                       "DTSTART:20070315T090000Z\nDTEND:20070315T100000Z\nSUMMARY:a\nEND:VEVENT\n"
                       "BEGIN:VEVENT\nUID:2\nDTSTART;TZID=\"America/New_York\":20070316T090000\n"
                       "DURATION:PT1H\nSUMMARY:b\nEND:VEVENT\n"));
        QFile f(path("mixed.ics"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const Run in = run({"info", "-", "--from", "ics", "--tz", "UTC"}, f.readAll());
        QVERIFY2(in.status == 0, in.err.constData());
        QCOMPARE(in.out,
                 QByteArray("<stdin>:\n"
                            "  entries:   2 (0 repeating, 0 all-day)\n"
                            "  overrides: 0\n"
                            "  dates:     2007-03-15 09:00 to 2007-03-16 14:00\n"
                            "  zones:     America/New_York, UTC\n"
                            "  dropped:   to-do entries\n"));
    }

    // Which entries, in which order, in which zone.
    void selection_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("rows"); // start date and summary of each line
        QTest::newRow("since") << QStringList {"--since", "2007-04-10"}
                               << "03/05/2007 Team stand-up|05/21/2007 Léa's birthday";
        QTest::newRow("until") << QStringList {"--until", "2007-03-04"} << "03/01/2007 Water the plants";
        QTest::newRow("one day, whole-day entry across it")
            << QStringList {"--since", "2007-04-06", "--until", "2007-04-06"}
            << "03/05/2007 Team stand-up|04/02/2007 Easter holiday in Brittany";
        QTest::newRow("expanded range") << QStringList {"--expand", "--since", "2007-04-05", "--until", "2007-04-06"}
                                        << "04/05/2007 Easter holiday in Brittany|04/05/2007 Water the plants|"
                                           "04/06/2007 Easter holiday in Brittany|04/06/2007 Team stand-up";
        QTest::newRow("by summary") << QStringList {"--sort", "summary"}
                                    << "03/15/2007 Dentist|04/02/2007 Easter holiday in Brittany|05/21/2007 Léa's "
                                       "birthday|03/05/2007 Team stand-up|03/01/2007 Water the plants";
        QTest::newRow("by end") << QStringList {"--sort", "end", "--until", "2007-03-20"}
                                << "03/01/2007 Water the plants|03/05/2007 Team stand-up|03/15/2007 Dentist";
    }
    void selection()
    {
        QFETCH(QStringList, options);
        QFETCH(QString, rows);
        const Run r
            = run(QStringList {"convert", kSample, "--to", "tab", "--columns", "startDate,theSummary"} + options);
        QVERIFY2(r.status == 0, r.err.constData());
        QStringList got;
        for (const QString& line : QString::fromUtf8(r.out).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            got << line.section(QLatin1Char('\t'), 0, 1).replace(QLatin1Char('\t'), QLatin1Char(' '));
        QCOMPARE(got.join(QLatin1Char('|')), rows);
    }

    void expansionReachesUntil()
    {
        const Run r = run({"convert", kSample, "--to", "csv", "--expand", "--until", "2010-12-31"});
        QCOMPARE(r.out.count("birthday"), 4); // 2007 to 2010, past the last entry's start
        const Run sorted = run({"convert", kSample, "--to", "csv", "--columns", "theSummary", "--expand", "--sort",
                                "summary", "--since", "2007-04-05", "--until", "2007-04-06"});
        QCOMPARE(sorted.out,
                 QByteArray("Easter holiday in Brittany,\r\nEaster holiday in Brittany,\r\n"
                            "Team stand-up,\r\nWater the plants,\r\n"));
        const Run txt = run({"convert", kSample, "--to", "txt", "--since", "2009-01-01", "--until", "2009-12-31"});
        QVERIFY2(txt.out.startsWith("Thursday, May 21, 2009\n\n\t\tLéa's birthday\n\n"), txt.out.constData());
    }

    void zoneWritten()
    {
        const Run r = run({"convert", kSample, "--to", "ics", "--tz", "America/New_York"});
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY(r.out.contains("X-WR-TIMEZONE;VALUE=TEXT:America/New_York\r\n"));
        QVERIFY(r.out.contains("DTSTART;TZID=America/New_York:20070315T043000\r\n")); // 09:30 in Paris
        QVERIFY(r.out.contains("DTSTART;VALUE=DATE:20070402\r\n")); // days stay days
        const Run guessed = run({"guess", "Lunch 12/05/2006 at 1 pm", "--tz", "Asia/Tokyo"});
        QVERIFY2(guessed.out.contains("DTSTART;TZID=Asia/Tokyo:20061205T130000\r\n"), guessed.out.constData());
    }

    // Failed writes say why, exit 2 and leave what was there.
    void standardOutputFails_data()
    {
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full disk") << ">/dev/full"
                                   << "No space left on device";
        QTest::newRow("closed") << ">&-"
                                << "Bad file descriptor";
    }
    void standardOutputFails()
    {
        QFETCH(QString, redirect);
        QFETCH(QString, reason);
        for (const QStringList& args :
             {QStringList {"convert", kSample}, QStringList {"info", kSample}, QStringList {"--help"}}) {
            const Run r = run(args, {}, "Europe/Paris", redirect);
            QCOMPARE(r.status, 2);
            QCOMPARE(r.err, "tidewell-cli: standard output could not be written: " + reason.toUtf8() + "\n");
        }
    }

    // A FIFO or a device given as output is written to, in order, and stays what it was.
    void outputsThatAreNoFiles()
    {
        const QString fifo = path("pipe.ics");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QByteArray received;
        std::thread reader([&] {
            QFile f(fifo);
            if (f.open(QIODevice::ReadOnly))
                received = f.readAll();
        });
        const Run r = run({"convert", kSample, "-o", fifo});
        reader.join();
        QVERIFY2(r.status == 0, r.err.constData());
        // Byte for byte what a regular file of that name gets, but for the per-file identifier.
        QVERIFY(QDir().mkpath(path("regular")));
        QVERIFY(run({"convert", kSample, "-o", path("regular/pipe.ics")}).status == 0);
        auto withoutId = [](QByteArray t) {
            const qsizetype at = t.indexOf("X-WR-RELCALID");
            return at < 0 ? t : t.remove(at, t.indexOf("\r\n", at) - at);
        };
        QCOMPARE(withoutId(received), withoutId(read("regular/pipe.ics")));
        QCOMPARE(received.count("BEGIN:VEVENT"), 6);
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));

        // As root, a copy of /dev/null in our own folder, so that a fault cannot replace the real one.
        QString device = QStringLiteral("/dev/null");
        if (::geteuid() == 0) {
            device = path("null");
            QVERIFY(::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0);
        }
        const Run toNull = run({"convert", kSample, "-o", device, "--to", "ics"});
        QVERIFY2(toNull.status == 0, toNull.err.constData());
        QVERIFY(::stat(QFile::encodeName(device).constData(), &st) == 0 && S_ISCHR(st.st_mode));
    }

    // Root may write anywhere, so there the read-only folder is a read-only file system.
    void readOnlyFolder()
    {
        const QString dir = path("ro");
        QVERIFY(QDir().mkpath(dir));
        std::unique_ptr<testutil::SmallDisk> disk;
        QByteArray reason = "Permission denied";
        if (::geteuid() == 0) {
            disk = std::make_unique<testutil::SmallDisk>(dir, QStringLiteral("ro,size=64k"));
            if (!disk->ready())
                QSKIP(disk->why());
            reason = "Read-only file system";
        } else {
            QVERIFY(::chmod(QFile::encodeName(dir).constData(), 0555) == 0);
        }
        const Run r = run({"convert", kSample, "-o", dir + "/out.ics"});
        ::chmod(QFile::encodeName(dir).constData(), 0755);
        QCOMPARE(r.status, 2);
        QCOMPARE(r.err, "tidewell-cli: " + QFile::encodeName(dir) + "/out.ics: could not be written: " + reason + "\n");
    }

    // The output is the input, on a disk too full for a second copy: the calendar stays whole.
    void fullDiskKeepsTheInput()
    {
        const QString dir = path("small");
        QVERIFY(QDir().mkpath(dir));
        testutil::SmallDisk disk(dir, QStringLiteral("size=64k"));
        if (!disk.ready())
            QSKIP(disk.why());
        QByteArray events;
        for (int i = 0; i < 250; ++i)
            events += "BEGIN:VEVENT\nUID:" + QByteArray::number(i)
                + "\nDTSTART;TZID=Europe/Paris:20070315T090000\n"
                  "DTEND;TZID=Europe/Paris:20070315T100000\nSUMMARY:Meeting number "
                + QByteArray::number(i) + " with a summary long enough\nEND:VEVENT\n";
        const QByteArray input = calendar(events);
        QVERIFY(input.size() > 32 * 1024 && input.size() < 48 * 1024);
        const QString cal = dir + QStringLiteral("/cal.ics");
        QFile f(cal);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(input) == input.size());
        f.close();
        const Run r = run({"convert", cal, "-o", cal});
        QCOMPARE(r.status, 2);
        QCOMPARE(r.err,
                 "tidewell-cli: " + QFile::encodeName(cal) + ": could not be written: No space left on device\n");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), input);
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList {"cal.ics"});
        f.close();
        // An expanded list goes to the file part by part as it is made: it fails the same way.
        const QString rules = dir + QStringLiteral("/rules.ics");
        QFile r2(rules);
        QVERIFY(r2.open(QIODevice::WriteOnly));
        r2.write(calendar("BEGIN:VEVENT\nUID:a\nDTSTART:20070101T090000Z\nDTEND:20070101T100000Z\n"
                          "RRULE:FREQ=DAILY;COUNT=3000\nSUMMARY:Daily\nEND:VEVENT\n"
                          "BEGIN:VEVENT\nUID:b\nDTSTART:20200101T090000Z\nSUMMARY:Last\nEND:VEVENT\n"));
        r2.close();
        const QString list = dir + QStringLiteral("/list.csv");
        const Run expanded = run({"convert", rules, "--expand", "-o", list});
        QCOMPARE(expanded.status, 2);
        QVERIFY(expanded.err.endsWith("\ntidewell-cli: " + QFile::encodeName(list)
                                      + ": could not be written: No space left on device\n"));
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList {"cal.ics", "rules.ics"}));
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
        QCOMPARE(lines.value(0), QStringLiteral("events 6")); // five entries and the moved occurrence
        QCOMPARE(lines.value(1), QStringLiteral("attendee Bob Jones mailto:bob@example.org"));
        QCOMPARE(lines.value(2), QStringLiteral("attendee carol@example.org mailto:carol@example.org"));
        QVERIFY2(lines.value(3).startsWith(QStringLiteral("organizer Ann Smith")), qPrintable(lines.value(3)));
        QVERIFY(lines.value(3).contains(QStringLiteral("ann@example.org")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
