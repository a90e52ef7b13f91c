// tidewell-cli with the calendar application's calendars and the mail program: fixture Library
// folders and a stand-in mail program, the tool run as a process.

#include "bridges/bridgesTestUtil.h"
#include "testutil.h"

#include <QDirIterator>
#include <QProcess>
#include <QTest>

using namespace bridgetest;

namespace
{
struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

const QByteArray kListChanged = "The calendar list has changed and your selected calendar is no longer available.  "
                                "Please select a new calendar for your export.\n";

const QByteArray kHome = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:h1\r\nDTSTAMP:20070101T000000Z\r\n"
                         "SUMMARY:Dentist\r\nDTSTART;TZID=Europe/Paris:20070320T100000\r\n"
                         "DTEND;TZID=Europe/Paris:20070320T110000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
const QByteArray kInput = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:n1\r\nDTSTAMP:20070101T000000Z\r\n"
                          "SUMMARY:Review\r\nDTSTART;TZID=Europe/Paris:20070315T093000\r\n"
                          "DTEND;TZID=Europe/Paris:20070315T110000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
} // namespace

class tst_cliBridges : public QObject
{
    Q_OBJECT

    std::unique_ptr<Library> m_lib;
    std::unique_ptr<FakeDesktop> m_desktop;
    QTemporaryDir m_dir;

    Run run(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        m_desktop->applyTo(env);
        env.insert("TZ", "Europe/Paris");
        env.insert("SOURCE_DATE_EPOCH", "1173960000");
        env.insert("LC_ALL", "en_US.UTF-8");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TIDEWELL_CLI_PATH), args);
        p.closeWriteChannel();
        if (!p.waitForFinished(60000))
            p.kill();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

    QString input()
    {
        const QString path = m_dir.filePath("in.ics");
        writeFile(path, kInput);
        return path;
    }

private Q_SLOTS:
    void init()
    {
        m_lib = std::make_unique<Library>();
        m_desktop = std::make_unique<FakeDesktop>();
        m_lib->writeList(sourcesList({{"k2", "r2", "Work"}, {"k1", "r1", "Home"}, {"k3", "r3", "Holidays"}}, {"r3"}),
                         true);
        m_lib->addCalendar("home.calendar", "Home", kHome);
        m_lib->addCalendar("work.calendar", "Work", "BEGIN:VCALENDAR\nVERSION:2.0\nEND:VCALENDAR\n");
    }
    void cleanup()
    {
        m_lib.reset();
        m_desktop.reset();
    }

    void calendars()
    {
        const Run r = run({"calendars"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("Work\nHome\n"));
    }

    void fromCalendar()
    {
        const QString out = m_dir.filePath("out.csv");
        Run r = run({"convert", "--from-calendar", "Home", "-o", out, "--columns", "startDate,theSummary"});
        QCOMPARE(r.status, 0);
        QCOMPARE(readFile(out), QByteArray("03/20/07,Dentist,\r"));
        QFile::remove(out);
        r = run({"convert", "--from-calendar", "Holidays", "-o", out});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, kListChanged);
        QVERIFY(!QFile::exists(out));
    }

    void toCalendar_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("says");
        QTest::newRow("appended") << "Work" << kInput << 0 << QByteArray();
        QTest::newRow("unknown title") << "Nope" << kInput << 1 << kListChanged;
        QTest::newRow("entry that ends before it starts")
            << "Work" << QByteArray(kInput).replace("20070315T110000", "20070315T080000") << 1
            << QByteArray("row 1: Review");
    }
    void toCalendar()
    {
        QFETCH(QString, title);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QByteArray, says);
        const QString in = m_dir.filePath("in.ics");
        writeFile(in, input);
        const QByteArray before = readFile(m_lib->dataFile("work.calendar"));
        const Run r = run({"convert", in, "--to-calendar", title});
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(says), r.err.constData());
        const QByteArray after = readFile(m_lib->dataFile("work.calendar"));
        if (status != 0) {
            QCOMPARE(after, before);
            return;
        }
        QVERIFY(r.err.isEmpty());
        QCOMPARE(after,
                 QByteArray("BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VEVENT\r\nSEQUENCE:1\r\nUID:n1\r\n"
                            "DTSTAMP:20070315T120000Z\r\nDTSTART;TZID=Europe/Paris:20070315T093000\r\n"
                            "SUMMARY:Review\r\nDURATION:PT1H30M\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));
    }

    void mail()
    {
        m_desktop->addProgram("thunderbird");
        m_desktop->setMailHandler("thunderbird.desktop", m_desktop->bin() + "/thunderbird %u");
        Run r = run({"mail", input()});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.isEmpty());
        const QList<QStringList> calls = m_desktop->calls("thunderbird");
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].value(0), "-compose");
        QString url = calls[0].value(1);
        QVERIFY(url.startsWith("attachment='file://") && url.endsWith("'"));
        url = url.mid(19, url.size() - 20);
        QVERIFY(url.startsWith(m_desktop->cache()));
        QVERIFY(readFile(url).contains("SUMMARY:Review\r\n"));

        m_desktop->setMailHandler("thunderbird.desktop", "/nonexistent/thunderbird %u");
        r = run({"mail", input()});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err,
                 "There has been an error sending the calendar to the mail program.  Please  use the \"Export to "
                 "File\" option and attach the file to your mail message.\n");
    }

    void invite_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("mailed");
        QTest::newRow("mailed") << QStringList {} << 0 << 1;
        QTest::newRow("mailed and added to a calendar") << QStringList {"--add-to-calendar", "Work"} << 0 << 1;
        QTest::newRow("calendar gone") << QStringList {"--add-to-calendar", "Holidays"} << 1 << 0;
    }
    void invite()
    {
        QFETCH(QStringList, extra);
        QFETCH(int, status);
        QFETCH(int, mailed);
        m_desktop->addProgram("kmail");
        m_desktop->setMailHandler("kmail.desktop", m_desktop->bin() + "/kmail %u");
        const QByteArray before = readFile(m_lib->dataFile("work.calendar"));
        const Run r = run(QStringList {"invite", input(), "--organizer", "Org <org@example.com>", "--attendee",
                                       "\"Lee, Chris\" <lee@example.com>", "--mail"}
                          + extra);
        QCOMPARE(r.status, status);
        QVERIFY(r.out.isEmpty());
        const QList<QStringList> calls = m_desktop->calls("kmail", mailed, mailed ? 10000 : 0);
        QCOMPARE(calls.size(), mailed);
        const QByteArray after = readFile(m_lib->dataFile("work.calendar"));
        if (status) {
            QCOMPARE(r.err, "The calendar you have selected no longer exists. Please select another calendar.\n");
            return;
        }
        QCOMPARE(calls[0].mid(0, 2), (QStringList {"--composer", "--attach"}));
        QCOMPARE(calls[0].mid(3), QStringList {"\"Lee, Chris\" <lee@example.com>"});
        QVERIFY(readFile(calls[0][2])
                    .startsWith("BEGIN:VCALENDAR\nMETHOD:REQUEST\nBEGIN:VEVENT\nSEQUENCE:2\n"
                                "ATTENDEE;CN=\"Lee, Chris\":mailto:lee@example.com\n"));
        if (extra.isEmpty())
            QCOMPARE(after, before);
        else
            QVERIFY2(after.contains("X-WR-ITIPSTATUSML;VALUE=TEXT:UNCLEAN\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"),
                     after.constData());
    }
};

QTEST_GUILESS_MAIN(tst_cliBridges)
#include "tst_cliBridges.moc"
