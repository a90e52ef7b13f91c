// tidewell-cli over calendars of the shapes real programs write, run as a process the way users run
// it, and checked event by event against an independent parser (python-icalendar).

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
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

const QString kReal = QStringLiteral(TIDEWELL_TEST_DATA "/calendar/real");

// One line per valid event: UID | RECURRENCE-ID | start | end | summary | description | location
// | exception dates | extra dates | repeats. Times are UTC instants (dates stay dates); an event
// without end lasts no time (a day for a date); a duration's days are nominal, its hours exact.
// Events whose start cannot be read or that end before they start are left out.
const char* kEvents = R"(
import sys, datetime, icalendar
utc = datetime.timezone.utc
def norm(v):
    if isinstance(v, datetime.datetime):
        return v.astimezone(utc).strftime('%Y%m%dT%H%M%SZ')
    return v.strftime('%Y%m%d')
def count(ev, name):
    v = ev.get(name)
    if v is None:
        return 0
    return sum(len(x.dts) for x in (v if isinstance(v, list) else [v]))
cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())
for ev in cal.walk('VEVENT'):
    try:
        s = ev.decoded('DTSTART')
    except Exception:
        continue
    timed = isinstance(s, datetime.datetime)
    if 'DTEND' in ev:
        e = ev.decoded('DTEND')
    elif 'DURATION' in ev:
        d = ev.decoded('DURATION')
        if timed and s.tzinfo is not None and hasattr(s.tzinfo, 'localize'):
            wall = s.replace(tzinfo=None) + datetime.timedelta(days=d.days)
            e = s.tzinfo.localize(wall) + datetime.timedelta(seconds=d.seconds)
        else:
            e = s + d
    else:
        e = s if timed else s + datetime.timedelta(days=1)
    if timed != isinstance(e, datetime.datetime) or (e < s if timed else e < s):
        continue
    if not timed and e == s:
        e = s + datetime.timedelta(days=1)
    rid = ev.get('RECURRENCE-ID')
    print('|'.join([str(ev.get('UID')), norm(rid.dt) if rid else '-', norm(s), norm(e),
                    str(ev.get('SUMMARY', '')), str(ev.get('DESCRIPTION', '')), str(ev.get('LOCATION', '')),
                    str(count(ev, 'EXDATE')), str(count(ev, 'RDATE')), 'repeats' if 'RRULE' in ev else '-']))
)";
} // namespace

class TestCliCalendars : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_eventsIn = 0;
    int m_eventsOut = 0;
    int m_shifted = 0;

    Run run(const QStringList& args, const char* tz = "Europe/Kyiv")
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TZ", QString::fromLatin1(tz));
        env.insert("SOURCE_DATE_EPOCH", "1173960000"); // 2007-03-15 12:00 UTC
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        env.insert("LC_ALL", "en_US.UTF-8");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TIDEWELL_CLI_PATH), args);
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
        QFile f(name.startsWith(QLatin1Char('/')) ? name : path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QStringList events(const QString& file)
    {
        QString error;
        QStringList lines = testutil::runPython(QString::fromLatin1(kEvents), {file}, &error);
        [&] { QVERIFY2(error.isEmpty(), qPrintable(file + ": " + error)); }();
        lines.sort();
        return lines;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The peer sees the same zone as the converter (python reads TZ too).
        qputenv("TZ", "Europe/Kyiv");
    }

    void cleanupTestCase()
    {
        qInfo("real-shaped calendars: %d valid events in, %d out, %d shifted", m_eventsIn, m_eventsOut, m_shifted);
    }

    // Every event that was valid in its input comes out, at the same instants, with the same texts;
    // a second conversion changes nothing.
    void realCalendarsKeepEveryEvent_data()
    {
        QTest::addColumn<QString>("file");
        const QStringList files = QDir(kReal).entryList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name);
        QVERIFY(files.size() >= 10);
        for (const QString& f : files)
            QTest::newRow(qPrintable(f)) << kReal + QLatin1Char('/') + f;
    }
    void realCalendarsKeepEveryEvent()
    {
        QFETCH(QString, file);
        if (!testutil::pythonHas(QStringLiteral("icalendar")))
            QSKIP("/usr/bin/python3 cannot import icalendar");
        const QString out = path(QStringLiteral("first.ics"));
        const Run first = run({"convert", file, "-o", out, "--skip-invalid"});
        QVERIFY2(first.status == 0, first.err.constData());
        const QStringList in = events(file);
        const QStringList written = events(out);
        m_eventsIn += int(in.size());
        m_eventsOut += int(written.size());
        for (const QString& e : in) {
            if (!written.contains(e)) {
                const QString start = e.section(QLatin1Char('|'), 0, 1);
                for (const QString& w : written)
                    m_shifted += w.startsWith(start + QLatin1Char('|')) ? 1 : 0;
            }
        }
        QCOMPARE(written, in);

        const QString again = path(QStringLiteral("second.ics"));
        const Run second = run({"convert", out, "-o", again});
        QVERIFY2(second.status == 0, second.err.constData());
        static const QRegularExpression perFile(QStringLiteral("X-WR-(RELCALID|CALNAME);VALUE=TEXT:[^\r]*\r\n"));
        QCOMPARE(QString::fromUtf8(read(again)).remove(perFile), QString::fromUtf8(read(out)).remove(perFile));
    }

    // Entries that cannot be written are listed by file, line, summary and reason; nothing is
    // written without --skip-invalid, which writes the others and says how many it left out.
    void invalidEntriesAreListedAndCanBeLeftOut()
    {
        const QString file = kReal + QStringLiteral("/invalid-among-valid.ics");
        write("out.ics", "old contents");
        const Run refused = run({"convert", file, "-o", path("out.ics")});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains((file + ":11: row 2: Backwards: it ends before it starts\n").toUtf8()),
                 refused.err.constData());
        QVERIFY(refused.err.contains((file + ":18: row 3: Unreadable start: it has no start date\n").toUtf8()));
        QVERIFY(refused.err.contains("--skip-invalid"));
        QCOMPARE(read("out.ics"), QByteArray("old contents"));

        const Run skipped = run({"convert", file, "-o", path("out.ics"), "--skip-invalid"});
        QCOMPARE(skipped.status, 0);
        QVERIFY2(skipped.err.contains("tidewell-cli: left out 2 of 4 entries\n"), skipped.err.constData());
        const QByteArray written = read("out.ics");
        QCOMPARE(written.count("BEGIN:VEVENT"), 2);
        QVERIFY(written.contains("SUMMARY:Fine") && written.contains("SUMMARY:Also fine"));
    }

    // A rule vCalendar 1.0 cannot hold refuses the vCalendar export, naming the entry; with
    // --skip-invalid the other entries are written.
    void vCalendarRulesThatCannotBeWritten()
    {
        write("rules.ics",
              "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\nDTSTART:20070413T090000Z\r\n"
              "DTEND:20070413T100000Z\r\nRRULE:FREQ=MONTHLY;BYMONTHDAY=13;BYDAY=FR\r\nSUMMARY:Unlucky\r\n"
              "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:2\r\nDTSTART:20070415T090000Z\r\nDTEND:20070415T100000Z\r\n"
              "RRULE:FREQ=MONTHLY;BYMONTHDAY=15\r\nSUMMARY:Mid-month\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        const Run refused = run({"convert", path("rules.ics"), "--to", "vcal"});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains((path("rules.ics")
                                       + ":3: row 1: Unlucky: There appears to be a monthly repeating event that can "
                                         "not be translated to vCal version 1\n")
                                          .toUtf8()),
                 refused.err.constData());
        QVERIFY(refused.out.isEmpty());
        const Run skipped = run({"convert", path("rules.ics"), "--to", "vcal", "--skip-invalid"});
        QCOMPARE(skipped.status, 0);
        QVERIFY(skipped.err.contains("left out 1 of 2 entries"));
        QCOMPARE(skipped.out.count("BEGIN:VEVENT"), 1);
        QVERIFY(skipped.out.contains("RRULE:MD1 15 #0\r\n"));
    }

    // Broken input never makes broken output: control characters are left out, cut attendee and
    // organiser lines, alarms left open and cut vCalendar alarms are dropped (and reported), and
    // libical parses what we write without an error.
    void outputStaysValid_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("format");
        for (const char* f : {"broken-lines.ics", "cut-alarm.vcs"}) {
            for (const char* to : {"ics", "vcal"})
                QTest::addRow("%s to %s", f, to) << QStringLiteral(TIDEWELL_TEST_DATA "/calendar/") + f << to;
        }
    }
    void outputStaysValid()
    {
        QFETCH(QString, file);
        QFETCH(QString, format);
        const QString out = path(QStringLiteral("valid.") + format);
        const Run r = run({"convert", file, "-o", out});
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY(r.err.contains("(Error 1506)"));
        const QByteArray written = read(out);
        for (char c = 0; c < 0x20; ++c) {
            if (c != '\t' && c != '\r' && c != '\n')
                QVERIFY2(!written.contains(c), qPrintable(QString::number(int(c))));
        }
        QVERIFY(!written.contains('\x7f'));
        QVERIFY(!written.contains("Jane") && !written.contains("CN=\"Max"));
        QCOMPARE(written.count("BEGIN:VALARM"), written.count("END:VALARM"));
        QProcess peer;
        peer.start(QStringLiteral(TIDEWELL_VCAL_PEER),
                   format == QLatin1String("ics") ? QStringList {"--ical", out} : QStringList {out});
        QVERIFY(peer.waitForFinished(30000));
        const QString seen = QString::fromUtf8(peer.readAllStandardOutput());
        if (format == QLatin1String("ics")) {
            QCOMPARE(seen, QStringLiteral("EVENTS 2\n"));
        } else {
            QCOMPARE(seen.count(QLatin1String("EVENT ")), 2);
            QVERIFY2(!seen.contains(QLatin1String("ERROR")), qPrintable(seen));
        }
    }

    // Every reader warning begins with "warning:" and names its file.
    void warningsNameTheFile()
    {
        write("zones.ics",
              "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VTODO\r\nSUMMARY:t\r\nEND:VTODO\r\nBEGIN:VEVENT\r\n"
              "UID:1\r\nDTSTART;TZID=Mars/Olympus:20070315T090000\r\nDURATION:PT1H\r\nSUMMARY:s\r\n"
              "END:VEVENT\r\nEND:VCALENDAR\r\n");
        const Run r = run({"convert", path("zones.ics"), "--to", "ics"}, "Europe/Paris");
        QCOMPARE(r.status, 0);
        const QStringList lines = QString::fromUtf8(r.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(lines.size() >= 2, r.err.constData());
        QVERIFY(lines.at(0).startsWith(QStringLiteral("warning: ") + path("zones.ics")
                                       + ": Your data file contains 'To Do'"));
        QVERIFY(lines.at(0).endsWith(QLatin1String("(Error 1505)")));
        QCOMPARE(lines.at(1),
                 QStringLiteral("warning: ") + path("zones.ics")
                     + ": The time zone \"Mars/Olympus\" is not known; its times were read as times of "
                       "your own zone (Europe/Paris).");
        QVERIFY(r.out.contains("DTSTART;TZID=Europe/Paris:20070315T090000"));
        QVERIFY(r.out.contains("SUMMARY:s\r\n")); // the event beside the to-do is written
    }
};

QTEST_GUILESS_MAIN(TestCliCalendars)
#include "tst_cliCalendars.moc"
