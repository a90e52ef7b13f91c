// tidewell-cli contacts and the address-book options of invite, run as processes over address
// books written by the test.

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

const QByteArray kAnna
    = crlf("BEGIN:VCARD\nVERSION:3.0\nN:Berg;Anna;;;\nFN:Anna Berg\n"
           "item1.EMAIL;type=INTERNET;type=pref:anna@private.example\nitem1.X-ABLabel:_$!<Other>!$_\n"
           "EMAIL;type=INTERNET;type=WORK:anna@acme.example\nUID:ANNA\nEND:VCARD\n");
const QByteArray kTeam = crlf("BEGIN:VCARD\nVERSION:3.0\nFN:Team\nX-ADDRESSBOOKSERVER-KIND:group\n"
                              "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:ANNA\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:EVE\n"
                              "UID:TEAM\nEND:VCARD\n");
const QByteArray kEve = crlf("BEGIN:VCARD\nVERSION:3.0\nUID:EVE\nN:Evans;Eve;;;\n"
                             "EMAIL;TYPE=WORK:eve@work.example\nEMAIL;TYPE=HOME:eve@home.example\n"
                             "CATEGORIES:Family\nEND:VCARD\n");
const QByteArray kCutAndCarl
    = crlf("BEGIN:VCARD\nVERSION:2.1\nN;ENCODING=QUOTED-PRINTABLE:Cut=\nOff\n"
           "BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:D=C3=BCnn;Carl\n"
           "EMAIL;INTERNET;HOME:carl@home.example\nCATEGORIES:Family\nEND:VCARD\n");
} // namespace

class TestCliContacts : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    Run run(const QStringList& args, const QByteArray& email = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TZ", "Europe/Kyiv");
        env.insert("SOURCE_DATE_EPOCH", "1173960000");
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        env.insert("LC_ALL", "C.UTF-8");
        env.remove("EMAIL");
        if (!email.isEmpty())
            env.insert("EMAIL", QString::fromUtf8(email));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TIDEWELL_CLI_PATH), args);
        p.closeWriteChannel();
        if (!p.waitForFinished(60000))
            p.kill();
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

    void write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    static QByteArrayList attendees(const QByteArray& calendar)
    {
        QByteArrayList lines;
        for (const QByteArray& line : calendar.split('\n')) {
            if (line.startsWith("ATTENDEE") || line.startsWith("ORGANIZER"))
                lines << line;
            if (line.startsWith("END:VEVENT"))
                break; // the first event is enough
        }
        return lines;
    }

private Q_SLOTS:
    void initTestCase()
    {
        write("data/contacts/personal/anna.vcf", kAnna);
        write("data/contacts/personal/team.vcf", kTeam);
        write("data/contacts/work/eve.vcf", kEve);
        write("data/contacts/work/carl.vcf", kCutAndCarl);
        write("elsewhere.vcf", kEve);
    }

    void listsGroupsAndPeople()
    {
        const Run r = run({"contacts"}, "Eve <EVE@home.example>");
        QCOMPARE(r.status, 0);
        QCOMPARE(QString::fromUtf8(r.out),
                 QStringLiteral("Me: Eve Evans <eve@work.example>\n"
                                "Groups:\n"
                                "  Family (2 people)\n"
                                "  Team (2 people)\n"
                                "People:\n"
                                "  Anna Berg (Other) <anna@private.example>\n"
                                "  Anna Berg (Work) <anna@acme.example>\n"
                                "  Carl Dünn (Home) <carl@home.example>\n"
                                "  Eve Evans (Work) <eve@work.example>\n"
                                "  Eve Evans (Home) <eve@home.example>\n"));
        QCOMPARE(QString::fromUtf8(r.err),
                 QStringLiteral("warning: 1 card could not be read: %1, card 1: no END:VCARD.\n")
                     .arg(m_dir.filePath("data/contacts/work/carl.vcf")));
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::newRow("group, any case") << QStringList {"contacts", "--group", "FAMILY"} << 0
                                         << "  Carl Dünn (Home) <carl@home.example>\n"
                                            "  Eve Evans (Work) <eve@work.example>\n"
                                            "  Eve Evans (Home) <eve@home.example>\n";
        QTest::newRow("All") << QStringList {"contacts", "--group", "all"} << 0
                             << "  Anna Berg (Other) <anna@private.example>\n"
                                "  Anna Berg (Work) <anna@acme.example>\n"
                                "  Carl Dünn (Home) <carl@home.example>\n"
                                "  Eve Evans (Work) <eve@work.example>\n"
                                "  Eve Evans (Home) <eve@home.example>\n";
        QTest::newRow("another book")
            << QStringList {"contacts", "--address-book", m_dir.filePath("elsewhere.vcf")} << 0
            << "Groups:\n  Family (1 person)\nPeople:\n  Eve Evans (Work) <eve@work.example>\n"
               "  Eve Evans (Home) <eve@home.example>\n";
        QTest::newRow("unknown group") << QStringList {"contacts", "--group", "Chess"} << 2
                                       << "tidewell-cli: no group named Chess in the address book\n";
        QTest::newRow("invite: no card of my own") << QStringList {"invite", kSample, "--from-me"} << 2
                                                   << "tidewell-cli: no card of your own in the address book (choose "
                                                      "one with \"This is me\" in the address window, or set EMAIL)\n";
        QTest::newRow("invite: organiser twice")
            << QStringList {"invite", kSample, "--from-me", "--organizer", "a@b.example"} << 2
            << "tidewell-cli: invite takes --organizer or --from-me, not both\n";
        QTest::newRow("invite: unknown group")
            << QStringList {"invite", kSample, "--organizer", "a@b.example", "--group", "Chess"} << 2
            << "tidewell-cli: no group named Chess in the address book\n";
    }
    void options()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        const Run r = run(args);
        QCOMPARE(r.status, status);
        // Diagnostics and data in one text, in the order they matter here.
        QByteArray all = r.err + r.out;
        all.replace("warning: 1 card could not be read: " + m_dir.filePath("data/contacts/work/carl.vcf").toUtf8()
                        + ", card 1: no END:VCARD.\n",
                    "");
        QCOMPARE(QString::fromUtf8(all), out);
    }

    // Each person of the groups once, at their first address; no address twice; the organiser
    // from the user's own card (EMAIL names it).
    void inviteGroups()
    {
        const Run r = run({"invite", kSample, "--from-me", "--group", "team", "--group", "FAMILY", "--attendee",
                           "Eve <EVE@work.example>"},
                          "anna@acme.example");
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(attendees(r.out),
                 (QByteArrayList {"ATTENDEE;CN=Eve:mailto:EVE@work.example",
                                  "ATTENDEE;CN=Anna Berg:mailto:anna@private.example",
                                  "ATTENDEE;CN=Carl Dünn:mailto:carl@home.example",
                                  "ORGANIZER;CN=Anna Berg:mailto:anna@private.example"}));
        const Run every = run({"invite", kSample, "--organizer", "o@x.example", "--group", "Team", "--all-addresses"});
        QCOMPARE(attendees(every.out),
                 (QByteArrayList {
                     "ATTENDEE;CN=Anna Berg:mailto:anna@private.example",
                     "ATTENDEE;CN=Anna Berg:mailto:anna@acme.example", "ATTENDEE;CN=Eve Evans:mailto:eve@work.example",
                     "ATTENDEE;CN=Eve Evans:mailto:eve@home.example", "ORGANIZER;CN=:mailto:o@x.example"}));
    }

    // "This is me" is stored as the setting meCard; it wins over EMAIL.
    void meCardSetting()
    {
        write("config/Quenlor/Tidewell.conf", "[General]\nmeCard=EVE\n");
        const Run r = run({"invite", kSample, "--from-me"}, "anna@acme.example");
        QFile::remove(m_dir.filePath("config/Quenlor/Tidewell.conf"));
        QVERIFY2(r.status == 0, r.err.constData());
        QCOMPARE(attendees(r.out), QByteArrayList {"ORGANIZER;CN=Eve Evans:mailto:eve@work.example"});
    }
};

QTEST_GUILESS_MAIN(TestCliContacts)
#include "tst_cliContacts.moc"
