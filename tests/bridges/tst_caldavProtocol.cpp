// CalDAV without a network: the servers' answers read, resource names, calendar titles, the
// resources an append sends and how its outcome is told.

#include "bridges/caldavCalendars.h"
#include "bridges/caldavTimeZone.h"
#include "calendar/aCalendar.h"
#include "platform/Uuid.h"
#include "testutil.h"

#include <QtTest>

using namespace caldav;

namespace
{
const QUrl kBase("http://h:5232/ann/");

// A weekly event with an override, a second event of the same UID, and an override whose event
// is not in the calendar.
const QByteArray kDocument = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
                             "BEGIN:VEVENT\r\nUID:w1\r\nDTSTAMP:20070101T000000Z\r\nSUMMARY:Weekly\r\n"
                             "DTSTART;TZID=Europe/Paris:20070305T090000\r\nDTEND;TZID=Europe/Paris:20070305T100000\r\n"
                             "RRULE:FREQ=WEEKLY;COUNT=3\r\nEND:VEVENT\r\n"
                             "BEGIN:VEVENT\r\nUID:w1\r\nDTSTAMP:20070101T000000Z\r\nSUMMARY:Moved\r\n"
                             "RECURRENCE-ID;TZID=Europe/Paris:20070312T090000\r\n"
                             "DTSTART;TZID=Europe/Paris:20070312T110000\r\nDTEND;TZID=Europe/Paris:20070312T120000\r\n"
                             "END:VEVENT\r\n"
                             "BEGIN:VEVENT\r\nUID:w1\r\nDTSTAMP:20070101T000000Z\r\nSUMMARY:Twin\r\n"
                             "DTSTART;TZID=Europe/Paris:20070306T090000\r\nDTEND;TZID=Europe/Paris:20070306T100000\r\n"
                             "END:VEVENT\r\n"
                             "BEGIN:VEVENT\r\nUID:lone@x\r\nDTSTAMP:20070101T000000Z\r\nSUMMARY:Orphan\r\n"
                             "RECURRENCE-ID;TZID=Europe/Paris:20070401T090000\r\n"
                             "DTSTART;TZID=Europe/Paris:20070402T090000\r\nDTEND;TZID=Europe/Paris:20070402T100000\r\n"
                             "END:VEVENT\r\nEND:VCALENDAR\r\n";

QString summary(const DavResponse& r)
{
    QString s = r.url.toString(QUrl::FullyEncoded);
    if (r.status)
        s += QStringLiteral(" status=%1").arg(r.status);
    if (r.isCalendar)
        s += QStringLiteral(" calendar");
    else if (r.isCollection)
        s += QStringLiteral(" collection");
    if (!r.displayName.isEmpty())
        s += QStringLiteral(" name=") + r.displayName;
    if (r.components)
        s += QStringLiteral(" comps=") + r.components->join(QLatin1Char(','));
    if (r.currentUserPrincipal)
        s += QStringLiteral(" principal=") + r.currentUserPrincipal->toString();
    for (const QUrl& home : r.calendarHomes)
        s += QStringLiteral(" home=") + home.toString();
    if (!r.etag.isEmpty())
        s += QStringLiteral(" etag=") + r.etag;
    if (r.calendarData)
        s += QStringLiteral(" data=") + *r.calendarData;
    return s;
}
} // namespace

class tst_caldavProtocol : public QObject
{
    Q_OBJECT
    std::unique_ptr<testutil::TempSettings> m_settings;

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Paris");
        m_settings = std::make_unique<testutil::TempSettings>();
    }
    void init()
    {
        testutil::pinClock("2007-03-01T12:00:00Z");
        Uuid::setGenerator([] { return QStringLiteral("00000000-0000-0000-0000-000000000001"); });
    }
    void cleanup() { Uuid::setGenerator({}); }

    void multistatus_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("expected"); // one summary per response; {"!"} = refused
        QTest::newRow("properties that came with 404 are left out")
            << QByteArray("<?xml version='1.0' encoding='utf-8'?>\n<multistatus xmlns=\"DAV:\" "
                          "xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><response><href>/ann/</href><propstat><prop>"
                          "<displayname /><C:supported-calendar-component-set /></prop><status>HTTP/1.1 404 Not "
                          "Found</status></propstat><propstat><prop><resourcetype><principal /><collection />"
                          "</resourcetype></prop><status>HTTP/1.1 200 OK</status></propstat></response><response>"
                          "<href>/ann/work/</href><propstat><prop><displayname>Work</displayname>"
                          "<C:supported-calendar-component-set><C:comp name=\"VEVENT\" /><C:comp name=\"vtodo\"/>"
                          "</C:supported-calendar-component-set><resourcetype><C:calendar /><collection />"
                          "</resourcetype></prop><status>HTTP/1.1 200 OK</status></propstat></response>"
                          "</multistatus>")
            << QStringList {"http://h:5232/ann/ collection",
                            "http://h:5232/ann/work/ calendar name=Work comps=VEVENT,VTODO"};
        QTest::newRow("other prefixes, absolute and encoded hrefs, principal and homes")
            << QByteArray("<d:multistatus xmlns:d=\"DAV:\" xmlns:cal=\"urn:ietf:params:xml:ns:caldav\"><d:response>"
                          "<d:href>https://other.example/dav/Ann%20B/</d:href><d:propstat><d:prop>"
                          "<d:current-user-principal><d:href>/principals/ann/</d:href></d:current-user-principal>"
                          "<cal:calendar-home-set><d:href>/cal/a/</d:href><d:href>https://x.example/b/</d:href>"
                          "</cal:calendar-home-set></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat>"
                          "</d:response></d:multistatus>")
            << QStringList {"https://other.example/dav/Ann%20B/ principal=http://h:5232/principals/ann/ "
                            "home=http://h:5232/cal/a/ home=https://x.example/b/"};
        QTest::newRow("calendar data with entities and CDATA, a resource gone")
            << QByteArray("<multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><response>"
                          "<href>e1.ics</href><propstat><prop><getetag>\"1\"</getetag><C:calendar-data>A&amp;B\r\n"
                          "<![CDATA[<x>]]></C:calendar-data></prop><status>HTTP/1.1 200 OK</status></propstat>"
                          "</response><response><href>e2.ics</href><status>HTTP/1.1 404 Not Found</status>"
                          "</response></multistatus>")
            << QStringList {"http://h:5232/ann/e1.ics etag=\"1\" data=A&B\n<x>", "http://h:5232/ann/e2.ics status=404"};
        QTest::newRow("an HTML page") << QByteArray("<html><body>Sign in</body></html>") << QStringList {"!"};
        QTest::newRow("not XML") << QByteArray("BEGIN:VCALENDAR\r\n") << QStringList {"!"};
        QTest::newRow("cut short") << QByteArray("<multistatus xmlns=\"DAV:\"><response><href>/a/</href><propstat>")
                                   << QStringList {"!"};
    }
    void multistatus()
    {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, expected);
        QString error;
        const auto responses = parseMultistatus(body, kBase, &error);
        if (expected == QStringList {"!"}) {
            QVERIFY(!responses);
            QVERIFY(error.startsWith("the server's answer is not"));
            return;
        }
        QVERIFY2(responses, qPrintable(error));
        QStringList got;
        for (const DavResponse& r : *responses)
            got << summary(r);
        QCOMPARE(got, expected);
    }

    void resourceNames_data()
    {
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "abc-1"
                               << "http://h:5232/ann/work/abc-1.ics";
        QTest::newRow("slash, at sign, space") << "a/b@c d"
                                               << "http://h:5232/ann/work/a%2Fb%40c%20d.ics";
        QTest::newRow("not ASCII") << QString::fromUtf8("Léa") << "http://h:5232/ann/work/L%C3%A9a.ics";
        QTest::newRow("dots") << ".."
                              << "http://h:5232/ann/work/...ics";
        QTest::newRow("blank") << "  "
                               << "";
    }
    void resourceNames()
    {
        QFETCH(QString, uid);
        QFETCH(QString, expected);
        const QUrl url = resourceUrl(QUrl("http://h:5232/ann/work"), uid);
        QCOMPARE(url.toString(QUrl::FullyEncoded), expected);
        // The name stays one segment of the calendar's address.
        if (!expected.isEmpty())
            QCOMPARE(url.path(QUrl::FullyEncoded).count('/'), 3);
    }

    void titles_data()
    {
        QTest::addColumn<QStringList>("app");
        QTest::addColumn<QStringList>("calendars"); // "account|display name|path"
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("distinct names stay as they are")
            << QStringList {"Home"} << QStringList {"A|Work|/a/w/", "B|Family|/b/f/"} << QStringList {"Work", "Family"};
        QTest::newRow("two accounts, one name")
            << QStringList {} << QStringList {"A|Work|/a/w/", "B|Work|/b/w/", "B|Other|/b/o/"}
            << QStringList {"Work (A)", "Work (B)", "Other"};
        QTest::newRow("a name the calendar application has")
            << QStringList {"Work"} << QStringList {"A|Work|/a/w/"} << QStringList {"Work (A)"};
        QTest::newRow("one account, one name twice, no display name")
            << QStringList {} << QStringList {"A|Work|/a/1/", "A|Work|/a/2/", "A||/a/tasks-x/"}
            << QStringList {"Work (A)", "Work (A, 2)", "tasks-x"};
        QTest::newRow("a made title that a display name has")
            << QStringList {} << QStringList {"A|Work (B)|/a/x/", "B|Work|/b/w/", "C|Work|/c/w/"}
            << QStringList {"Work (B)", "Work (B, 2)", "Work (C)"};
    }
    void titles()
    {
        QFETCH(QStringList, app);
        QFETCH(QStringList, calendars);
        QFETCH(QStringList, expected);
        QList<Calendar> list;
        for (const QString& c : calendars) {
            const QStringList f = c.split('|');
            Calendar cal;
            cal.account = f[0];
            cal.displayName = f[1];
            cal.url = QUrl("http://h" + f[2]);
            list << cal;
        }
        assignTitles(app, list);
        QStringList got;
        for (const Calendar& c : list)
            got << c.title;
        QCOMPARE(got, expected);
    }

    void plainResources()
    {
        aCalendar doc;
        doc.setData(QString::fromUtf8(kDocument));
        const AppendPlan plan = planAppend(doc, {{"theCalendar", "Work"}, {"sort", "1"}}, QUrl("http://h/ann/work/"));
        QStringList entries;
        for (const EntryOutcome& e : plan.entries)
            entries << e.summary + "|" + e.uid + "|" + (e.outcome == Outcome::Failed ? e.why : QString());
        QCOMPARE(
            entries,
            (QStringList {"Weekly|w1|", "Twin|w1|another entry of the list has the same UID (w1)", "Orphan|lone@x|"}));
        QCOMPARE(plan.uploads.size(), 2);
        QCOMPARE(plan.uploadEntry, (QList<int> {0, 2}));
        QCOMPARE(plan.uploads[1].url.toString(QUrl::FullyEncoded), QString("http://h/ann/work/lone%40x.ics"));
        const QByteArray head
            = "BEGIN:VCALENDAR\r\nCALSCALE:GREGORIAN\r\nX-WR-TIMEZONE;VALUE=TEXT:Europe/Paris\r\n"
              "PRODID:-//Quenlor\\, //Quenlor//EN\r\n"
              "X-WR-RELCALID;VALUE=TEXT:00000000-0000-0000-0000-000000000001\r\nVERSION:2.0\r\n"
              "BEGIN:VTIMEZONE\r\nTZID:Europe/Paris\r\n"
              "BEGIN:STANDARD\r\nDTSTART:19960101T010000\r\nTZOFFSETFROM:+0100\r\n"
              "TZOFFSETTO:+0100\r\nTZNAME:CET\r\nEND:STANDARD\r\n"
              "BEGIN:DAYLIGHT\r\nDTSTART:19960331T020000\r\nRRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
              "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nTZNAME:CEST\r\nEND:DAYLIGHT\r\n"
              "BEGIN:STANDARD\r\nDTSTART:19961027T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
              "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nTZNAME:CET\r\nEND:STANDARD\r\n"
              "END:VTIMEZONE\r\n";
        // The event and its override in one resource, in the calendar file's envelope.
        QCOMPARE(plan.uploads[0].body,
                 head
                     + "BEGIN:VEVENT\r\nSEQUENCE:1\r\nUID:w1\r\nDTSTAMP:20070301T120000Z\r\n"
                       "DTSTART;TZID=Europe/Paris:20070305T090000\r\nSUMMARY:Weekly\r\nDURATION:PT1H\r\n"
                       "RRULE:FREQ=WEEKLY;COUNT=3\r\nEND:VEVENT\r\n"
                       "BEGIN:VEVENT\r\nSEQUENCE:1\r\nUID:w1\r\nDTSTAMP:20070301T120000Z\r\n"
                       "DTSTART;TZID=Europe/Paris:20070312T110000\r\nSUMMARY:Moved\r\nDURATION:PT1H\r\n"
                       "RECURRENCE-ID;TZID=Europe/Paris:20070312T090000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        QVERIFY(plan.uploads[1].body.startsWith(head + "BEGIN:VEVENT\r\n"));
        QCOMPARE(plan.uploads[1].body.count("BEGIN:VEVENT"), 1);
    }

    void timeZones_data()
    {
        QTest::addColumn<QString>("zone");
        QTest::addColumn<int>("fromYear");
        QTest::newRow("a rule since 1996") << "Europe/Paris" << 1990;
        QTest::newRow("a rule changed in 2007") << "America/New_York" << 2000;
        QTest::newRow("southern summer") << "Australia/Sydney" << 2000;
        QTest::newRow("quarter hours") << "Pacific/Chatham" << 2000;
        QTest::newRow("summer time given up in 2019") << "America/Sao_Paulo" << 2010;
        QTest::newRow("no yearly rule") << "Africa/Casablanca" << 2015;
        QTest::newRow("one offset") << "Asia/Kolkata" << 2000;
        QTest::newRow("rules of 1995 and since") << "Europe/Kyiv" << 1995;
    }
    void timeZones()
    {
        // An independent reader of VTIMEZONE (dateutil) gives the offsets of the system's zone
        // database (zoneinfo) at every third day's noon, from the first year through ten years on.
        if (!testutil::pythonHas("dateutil"))
            QSKIP("python3-dateutil is not installed");
        QFETCH(QString, zone);
        QFETCH(int, fromYear);
        QTemporaryDir dir;
        const QString path = dir.filePath("zone.ics");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n" + vtimezone(QTimeZone(zone.toLatin1()), zone, fromYear, 2026)
                 + "END:VCALENDAR\r\n")
                    .toUtf8());
        f.close();
        const char* script = R"PY(
import sys
from datetime import datetime, timedelta, timezone
from zoneinfo import ZoneInfo
from dateutil import tz
path, tzid, start, end = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
mine, ref = tz.tzical(path).get(tzid), ZoneInfo(tzid)
t, stop, bad = datetime(start, 1, 1, 12, tzinfo=timezone.utc), datetime(end, 12, 31, tzinfo=timezone.utc), []
while t < stop:
    if t.astimezone(mine).utcoffset() != t.astimezone(ref).utcoffset():
        bad.append(t.date().isoformat())
    t += timedelta(days=3)
print(len(bad), ' '.join(bad[:5]))
)PY";
        QString error;
        const QStringList out = testutil::runPython(
            QString::fromLatin1(script), {path, zone, QString::number(fromYear), QString::number(2036)}, &error);
        QVERIFY2(!out.isEmpty(), qPrintable(error));
        QCOMPARE(out.first(), QString("0 "));
    }

    void invitationResources()
    {
        aCalendar doc;
        doc.setData(QString::fromUtf8(kDocument));
        const QVariantMap parameters {
            {"theCalendar", "Work"}, {"sort", "0"}, {"theOrg", "Ann"}, {"theEmail", "ann@example.org"}};
        const AppendPlan plan = planAppend(doc, parameters, QUrl("http://h/ann/work/"));
        QCOMPARE(plan.uploads.size(), 2);
        const QByteArray& body = plan.uploads[0].body;
        QVERIFY(body.contains("SEQUENCE:3\r\n"));
        QVERIFY(!body.contains("\r\r") && body.count('\n') == body.count("\r\n"));
        // The override keeps what makes it an override, or the server sees a second event.
        QVERIFY(body.contains("SUMMARY:Moved\r\n"));
        QVERIFY(body.contains("RECURRENCE-ID;TZID=Europe/Paris:20070312T090000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));
        QVERIFY(planAppend(doc, {{"theCalendar", "Work"}, {"sort", "2"}}, QUrl("http://h/w/")).entries.isEmpty());
    }

    void outcomes_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("why");
        const QByteArray uidConflict = "<?xml version='1.0'?><error xmlns=\"DAV:\" "
                                       "xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><C:no-uid-conflict /></error>";
        QTest::newRow("created") << 201 << QByteArray() << int(Outcome::Added) << "";
        QTest::newRow("no content") << 204 << QByteArray() << int(Outcome::Added) << "";
        QTest::newRow("resource there")
            << 412 << QByteArray("Precondition failed.") << int(Outcome::Exists)
            << "an event with this UID is already in the calendar (412 Precondition Failed)";
        QTest::newRow("UID under another name (409)")
            << 409 << uidConflict << int(Outcome::Exists)
            << "an event with this UID is already in the calendar (409 Conflict)";
        QTest::newRow("UID under another name (403)")
            << 403 << uidConflict << int(Outcome::Exists)
            << "an event with this UID is already in the calendar (403 Forbidden)";
        QTest::newRow("refused data")
            << 403
            << QByteArray("<error xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\"><C:valid-calendar-data/>"
                          "</error>")
            << int(Outcome::Failed) << "the server answered 403 Forbidden (valid-calendar-data)";
        QTest::newRow("server error") << 500 << QByteArray("<html>oops</html>") << int(Outcome::Failed)
                                      << "the server answered 500 Internal Server Error";
        QTest::newRow("no answer") << 0 << QByteArray() << int(Outcome::Failed) << "gone";
    }
    void outcomes()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, outcome);
        QFETCH(QString, why);
        Reply reply;
        reply.status = status;
        reply.body = body;
        if (status == 0)
            reply.failure = "gone";
        const UploadResult r = uploadResultFor(reply);
        QCOMPARE(int(r.outcome), outcome);
        QCOMPARE(r.why, why);
    }

    void report()
    {
        AppendResult r;
        r.title = "Work";
        r.entries = {{"Dentist", "u1", Outcome::Added, ""},
                     {"Lunch", "u2", Outcome::Exists, "an event with this UID is already in the calendar"},
                     {"Gym", "u3", Outcome::Added, ""},
                     {"Review", "u4", Outcome::NotSent, "not sent: the server could not be reached"}};
        QVERIFY(!r.complete());
        QCOMPARE(r.report(),
                 QString("Added 2 of 4 entries to the calendar \"Work\".\nNot added:\n"
                         "  Lunch: an event with this UID is already in the calendar\n"
                         "  Review: not sent: the server could not be reached\nAdded:\n  Dentist\n  Gym"));
        QCOMPARE(r.report(1),
                 QString("Added 2 of 4 entries to the calendar \"Work\".\nNot added:\n"
                         "  Lunch: an event with this UID is already in the calendar\n  ... and 1 more\n"
                         "Added:\n  Dentist\n  ... and 1 more"));
        r.failure = "no password for the account A (none given)";
        QCOMPARE(r.report(),
                 QString("Nothing was added to the calendar \"Work\": no password for the account A "
                         "(none given)."));
        r.failure = QString::fromUtf8(kListChanged);
        QCOMPARE(r.report(), QString::fromUtf8(kListChanged));
    }

    void accounts_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected"); // "" = refused
        QTest::newRow("bare host") << "cal.example.org"
                                   << "https://cal.example.org";
        QTest::newRow("path kept, user info dropped") << " http://ann:pw@127.0.0.1:5232/ann/ "
                                                      << "http://127.0.0.1:5232/ann/";
        QTest::newRow("not the web") << "ftp://x.example"
                                     << "";
        QTest::newRow("no host") << "https://"
                                 << "";
    }
    void accounts()
    {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QString error;
        const std::optional<QUrl> url = Accounts::serverUrl(typed, &error);
        QCOMPARE(url ? url->toString() : QString(), expected);
        QCOMPARE(error.isEmpty(), !expected.isEmpty());

        // A list survives the settings, and names are unique whatever their case.
        Accounts::save({{"Home", QUrl("https://a/"), "ann"}, {"Work", QUrl("http://b:1/x/"), "bob"}});
        QCOMPARE(Accounts::load().size(), 2);
        QCOMPARE(Accounts::find("work")->url, QUrl("http://b:1/x/"));
        QVERIFY(!Accounts::nameProblem("HOME", Accounts::load()).isEmpty());
        QVERIFY(!Accounts::nameProblem("a\nb", {}).isEmpty());
        QVERIFY(Accounts::nameProblem("Office", Accounts::load()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_caldavProtocol)
#include "tst_caldavProtocol.moc"
