// tidewell-cli with CalDAV accounts, run as a process against a Radicale started by the test:
// adding, listing and removing accounts, the calendar list beside the calendar application's,
// reading from and appending to a CalDAV calendar, and the password kept by a Secret Service
// (gnome-keyring inside its own D-Bus session).

#include "bridges/bridgesTestUtil.h"
#include "bridges/radicale.h"
#include "testutil.h"

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

const QByteArray kInput = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:n1\r\nDTSTAMP:20070101T000000Z\r\n"
                          "SUMMARY:Review\r\nDTSTART;TZID=Europe/Paris:20070315T093000\r\n"
                          "DTEND;TZID=Europe/Paris:20070315T110000\r\nEND:VEVENT\r\n"
                          "BEGIN:VEVENT\r\nUID:n2\r\nDTSTAMP:20070101T000000Z\r\n"
                          "SUMMARY:Lunch\r\nDTSTART;TZID=Europe/Paris:20070316T120000\r\n"
                          "DTEND;TZID=Europe/Paris:20070316T130000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
} // namespace

class tst_cliCaldav : public QObject
{
    Q_OBJECT

    caldavtest::Radicale m_server;
    std::unique_ptr<Library> m_lib;
    std::unique_ptr<QTemporaryDir> m_home;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", m_home->filePath("config"));
        env.insert("TIDEWELL_LIBRARY_DIR", m_lib->path());
        // No Secret Service here: its absence is answered at once.
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + m_home->filePath("no-bus"));
        env.insert("TZ", "Europe/Paris");
        env.insert("LC_ALL", "en_US.UTF-8");
        return env;
    }

    Run run(const QStringList& args, const QByteArray& input = {})
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(QStringLiteral(TIDEWELL_CLI_PATH), args);
        p.write(input);
        p.closeWriteChannel();
        if (!p.waitForFinished(120000 * int(testutil::kSlowdown)))
            p.kill();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

    QString addArgs() const { return m_server.url("/").toString(); }

private Q_SLOTS:
    void initTestCase()
    {
        QString why;
        if (!m_server.start(&why))
            QSKIP(qPrintable(why));
        QVERIFY(m_server.makeCalendar("ann", "work", "Work", {"VEVENT"}));
        QVERIFY(m_server.makeCalendar("ann", "home", "Home", {}));
        QVERIFY(m_server.makeCalendar("ann", "tasks", "Tasks", {"VTODO"}));
    }
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        m_lib = std::make_unique<Library>();
        m_lib->addCalendar("home.calendar", "Home", "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n");
    }

    void accounts()
    {
        // Checked by finding the calendars that take events; the password is kept nowhere here.
        Run r = run({"account", "add", "Ann", "--caldav", addArgs(), "--user", "ann", "--password-stdin"}, "secret\n");
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("Home\nWork\n"));
        QVERIFY2(r.err.startsWith("tidewell-cli: the password was not kept (the desktop's password store is not "
                                  "available"),
                 r.err.constData());
        r = run({"account", "list"});
        QCOMPARE(r.out, "Ann\t" + addArgs().toUtf8() + "\tann\n");

        r = run({"account", "add", "ann", "--caldav", addArgs(), "--user", "ann", "--no-check"});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, QByteArray("tidewell-cli: there is an account named Ann already\n"));
        r = run({"account", "add", "Wrong", "--caldav", addArgs(), "--user", "ann", "--password-stdin"}, "nope\n");
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err,
                 QByteArray("tidewell-cli: the account Wrong was not added: the server refused the user name "
                            "or password (401 Unauthorized)\n"));
        r = run({"account", "add", "Gone", "--caldav", "ftp://x", "--user", "ann"});
        QCOMPARE(r.status, 2);

        QFile settings(m_home->filePath("config/Quenlor/Tidewell.conf"));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray stored = settings.readAll();
        QVERIFY(stored.contains("caldavAccounts"));
        QVERIFY(!stored.contains("secret") && !stored.contains(QByteArray("secret").toBase64()));

        QCOMPARE(run({"account", "remove", "ANN"}).status, 0);
        QCOMPARE(run({"account", "list"}).out, QByteArray());
        r = run({"account", "remove", "Ann"});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err, QByteArray("tidewell-cli: there is no account named Ann\n"));
    }

    void calendarsImportAppend()
    {
        QCOMPARE(run({"account", "add", "Ann", "--caldav", addArgs(), "--user", "ann", "--no-check"}).status, 0);
        // Without a password the calendar application's calendars are still listed.
        Run r = run({"calendars"});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QByteArray("Home\n"));
        QVERIFY2(r.err.startsWith("tidewell-cli: account Ann: no password for the account Ann (")
                     && r.err.endsWith("; give it with --password-stdin\n"),
                 r.err.constData());
        r = run({"calendars", "--password-stdin"}, "secret\n");
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("Home\nHome (Ann)\nWork\n"));

        const QString in = m_home->filePath("in.ics");
        QVERIFY(writeFile(in, kInput));
        r = run({"convert", in, "--to-calendar", "Work", "--password-stdin"}, "secret\n");
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(m_server.items("ann", "work").keys(), (QStringList {"n1.ics", "n2.ics"}));
        // Again: nothing replaced, each entry reported.
        r = run({"convert", in, "--to-calendar", "Work", "--password-stdin"}, "secret\n");
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err,
                 QByteArray("Added 0 of 2 entries to the calendar \"Work\".\nNot added:\n"
                            "  Review: an event with this UID is already in the calendar (412 Precondition "
                            "Failed)\n  Lunch: an event with this UID is already in the calendar (412 "
                            "Precondition Failed)\n"));
        r = run({"convert", "--from-calendar", "Work", "--password-stdin", "--to", "csv", "--columns",
                 "startDate,startTime,theSummary"},
                "secret\n");
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("03/15/2007,09:30,Review,\r\n03/16/2007,12:00,Lunch,\r\n"));
        r = run({"convert", "--from-calendar", "Tasks", "--password-stdin"}, "secret\n");
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.startsWith("The calendar list has changed"));
        r = run({"convert", "-", "--to-calendar", "Work", "--password-stdin"}, kInput);
        QCOMPARE(r.status, 2);
    }

    void secretService()
    {
        for (const char* program : {"dbus-run-session", "gnome-keyring-daemon"}) {
            if (QStandardPaths::findExecutable(program).isEmpty())
                QSKIP(qPrintable(QString("%1 is not installed").arg(program)));
        }
        // One D-Bus session with an unlocked keyring of its own; the tool runs three times in it.
        const QString cli = QStringLiteral(TIDEWELL_CLI_PATH);
        const QString script = QStringLiteral(
            "export HOME=\"$1\" XDG_DATA_HOME=\"$1/data\" XDG_RUNTIME_DIR=\"$1/run\"\n"
            "mkdir -p \"$1/run\" && chmod 700 \"$1/run\"\n"
            "printf keyring-pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 || exit 77\n"
            "printf 'secret\\n' | \"$2\" account add Ann --caldav \"$3\" --user ann --password-stdin || exit 1\n"
            "echo ---\n"
            "\"$2\" calendars || exit 2\n"
            "\"$2\" account remove Ann || exit 3\n"
            "\"$2\" account add Ann --caldav \"$3\" --user ann --no-check 2>/dev/null || exit 4\n"
            "\"$2\" calendars\n");
        QProcess p;
        QProcessEnvironment env = environment();
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        p.setProcessEnvironment(env);
        p.start("dbus-run-session", {"--", "sh", "-c", script, "sh", m_home->path(), cli, addArgs()});
        QVERIFY(p.waitForFinished(120000));
        const QByteArray out = p.readAllStandardOutput();
        const QByteArray err = p.readAllStandardError();
        if (p.exitCode() == 77 || err.contains("password was not kept"))
            QSKIP(qPrintable("the Secret Service did not start: " + QString::fromUtf8(err)));
        // Kept by the Secret Service: found without --password-stdin; gone once the account is.
        QCOMPARE(out, QByteArray("Home\nWork\n---\nHome\nHome (Ann)\nWork\nHome\n"));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(err.contains("tidewell-cli: account Ann: no password for the account Ann (the desktop's password "
                              "store holds no password for the account Ann)"),
                 err.constData());
    }
};

QTEST_GUILESS_MAIN(tst_cliCaldav)
#include "tst_cliCaldav.moc"
