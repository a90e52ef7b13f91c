// CalDAV against servers on 127.0.0.1: a Radicale started by the test (discovery, listing beside
// the calendar application's calendars, import, appends, UID conflicts, a wrong password, a
// server that goes away) and a small server of the test's own for what Radicale does not do
// (Digest authentication, redirects, a server that never answers).

#include "bridges/bridges.h"
#include "bridges/bridgesTestUtil.h"
#include "bridges/caldavCalendars.h"
#include "bridges/radicale.h"
#include "calendar/aCalendar.h"
#include "platform/Desktop.h"
#include "testutil.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>

using namespace caldav;
using caldavtest::Radicale;

namespace
{
const int kWait = 20000 * int(testutil::kSlowdown);

QByteArray vevent(const QByteArray& uid, const QByteArray& summary, const QString& start, const QByteArray& extra = {})
{
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:20070101T000000Z\r\nSUMMARY:" + summary
        + "\r\nDTSTART;TZID=Europe/Paris:" + start.toLatin1() + "\r\nDURATION:PT1H\r\n" + extra + "END:VEVENT\r\n";
}

QByteArray calendar(const QByteArray& components)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + components + "END:VCALENDAR\r\n";
}

/// @p count events, every tenth repeating weekly with its second occurrence moved.
QByteArray bigCalendar(int count, const QByteArray& prefix)
{
    QByteArray body;
    for (int i = 0; i < count; ++i) {
        const QByteArray uid = prefix + QByteArray::number(i);
        const QByteArray n = QByteArray::number(i);
        const int day = 1 + i % 9;
        if (i % 10 == 0) {
            const QByteArray second = QString::asprintf("200703%02dT090000", day + 7).toLatin1();
            body += vevent(uid, "Weekly " + n, QString::asprintf("200703%02dT090000", day),
                           "RRULE:FREQ=WEEKLY;COUNT=4\r\n");
            body += vevent(uid, "Moved " + n, QString::asprintf("200703%02dT110000", day + 7),
                           "RECURRENCE-ID;TZID=Europe/Paris:" + second + "\r\n");
        } else {
            body += vevent(uid, "Event " + n, QString::asprintf("200704%02dT080000", day));
        }
    }
    return calendar(body);
}

/// A WebDAV server of the test's own: Digest authentication for ann/secret, answers every
/// PROPFIND with a calendar at the address asked, redirects and stalls on request.
class MiniDav : public QTcpServer
{
public:
    MiniDav() { listen(QHostAddress::LocalHost); }
    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(path));
    }

    bool digest = false;
    bool stall = false;
    QByteArray reportBody; ///< what a REPORT is answered with
    qint64 reportLength = -1; ///< the Content-Length announced for it (-1: its size)
    QHash<QByteArray, QByteArray> redirects; ///< path to Location
    QList<QByteArray> seen; ///< "VERB PATH" of every request

protected:
    void incomingConnection(qintptr handle) override
    {
        auto* socket = new QTcpSocket(this);
        socket->setSocketDescriptor(handle);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray& buffer = m_buffers[socket];
            buffer += socket->readAll();
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = buffer.left(end);
            static const QRegularExpression lengthRe(QStringLiteral("(?i)content-length:\\s*(\\d+)"));
            const auto m = lengthRe.match(QString::fromLatin1(head));
            if (buffer.size() < end + 4 + (m.hasMatch() ? m.captured(1).toInt() : 0))
                return;
            m_buffers.remove(socket);
            answer(socket, head);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    static QByteArray md5(const QByteArray& text)
    {
        return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
    }

    bool authorised(const QByteArray& verb, const QByteArray& head)
    {
        static const QRegularExpression authRe(QStringLiteral("(?im)^authorization: digest (.*)$"));
        const auto m = authRe.match(QString::fromLatin1(head));
        if (!m.hasMatch())
            return false;
        QHash<QString, QString> f;
        static const QRegularExpression fieldRe(QStringLiteral("(\\w+)=(?:\"([^\"]*)\"|([^,\\s]*))"));
        for (auto it = fieldRe.globalMatch(m.captured(1)); it.hasNext();) {
            const auto fm = it.next();
            f.insert(fm.captured(1), fm.captured(2).isEmpty() ? fm.captured(3) : fm.captured(2));
        }
        const QByteArray ha1 = md5(f.value("username").toUtf8() + ":cal:secret");
        const QByteArray ha2 = md5(verb + ':' + f.value("uri").toUtf8());
        const QByteArray expected = md5(ha1 + ":n0nce:" + f.value("nc").toUtf8() + ':' + f.value("cnonce").toUtf8()
                                        + ':' + f.value("qop").toUtf8() + ':' + ha2);
        return f.value("username") == "ann" && f.value("response").toUtf8() == expected;
    }

    void answer(QTcpSocket* socket, const QByteArray& head)
    {
        const QList<QByteArray> words = head.left(head.indexOf("\r\n")).split(' ');
        const QByteArray verb = words.value(0), path = words.value(1);
        seen << verb + ' ' + path;
        if (stall)
            return;
        QByteArray status = "207 Multi-Status", extra, body;
        if (verb == "REPORT") {
            socket->write("HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\nContent-Length: "
                          + QByteArray::number(reportLength >= 0 ? reportLength : reportBody.size())
                          + "\r\nConnection: close\r\n\r\n" + reportBody);
            socket->disconnectFromHost();
            return;
        }
        if (redirects.contains(path)) {
            status = "301 Moved Permanently";
            extra = "Location: " + redirects.value(path) + "\r\n";
        } else if (digest && !authorised(verb, head)) {
            status = "401 Unauthorized";
            extra = "WWW-Authenticate: Digest realm=\"cal\", nonce=\"n0nce\", qop=\"auth\", algorithm=MD5\r\n";
        } else {
            body = "<?xml version=\"1.0\"?><multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
                   "<response><href>"
                + path
                + "</href><propstat><prop><resourcetype><collection/><C:calendar/>"
                  "</resourcetype><displayname>Digest calendar</displayname></prop><status>HTTP/1.1 200 OK"
                  "</status></propstat></response></multistatus>";
        }
        socket->write("HTTP/1.1 " + status + "\r\n" + extra + "Content-Type: application/xml\r\nContent-Length: "
                      + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QHash<QTcpSocket*, QByteArray> m_buffers;
};

/// Discovery on its own connection, waited for.
QPair<QList<Calendar>, QString> discoverNow(const QString& user, const QString& password, const QUrl& start)
{
    Connection connection(user, password);
    QPair<QList<Calendar>, QString> out;
    waitFor([&](std::function<void()> over) {
        discover(connection, "A", start, [&out, over](QList<Calendar> c, QString e) {
            out = {c, e};
            over();
        });
    });
    return out;
}

qint64 cpuMs()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

QStringList names(const QList<Calendar>& calendars)
{
    QStringList out;
    for (const Calendar& c : calendars)
        out << c.displayName + " " + c.url.path();
    return out;
}
} // namespace

class tst_caldavServer : public QObject
{
    Q_OBJECT
    std::unique_ptr<testutil::TempSettings> m_settings;
    std::unique_ptr<bridgetest::Library> m_library;
    Radicale m_server;

    AppendResult appendNow(aCalendar& doc, const QString& title, QList<int>* progress = nullptr)
    {
        AppendResult result;
        AppendJob* job = Calendars::instance().append(doc, {{"theCalendar", title}, {"sort", "1"}});
        if (progress)
            connect(job, &AppendJob::progress, this, [progress](int done, int) { *progress << done; });
        bool over = false;
        const QMetaObject::Connection c = connect(job, &AppendJob::finished, this, [&] {
            result = job->result();
            over = true;
        });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(over, 25 * kWait); }();
        disconnect(c); // a job that outlives a failed wait reaches nothing here
        return result;
    }

    void refreshNow()
    {
        QSignalSpy changed(&Calendars::instance(), &Calendars::calendarsChanged);
        Calendars::instance().refresh();
        QVERIFY(changed.wait(kWait));
    }

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Paris");
        testutil::pinClock("2007-03-01T12:00:00Z");
        m_settings = std::make_unique<testutil::TempSettings>();
        m_library = std::make_unique<bridgetest::Library>();
        m_library->addCalendar("home.calendar", "Home", calendar({}));
        QString why;
        if (!m_server.start(&why))
            QSKIP(qPrintable(why));
        QVERIFY(m_server.makeCalendar("ann", "work", "Work", {"VEVENT"}));
        QVERIFY(m_server.makeCalendar("ann", "tasks", "Tasks", {"VTODO"}));
        QVERIFY(m_server.makeCalendar("ann", "home", "Home", {}));
        QVERIFY(m_server.makeCalendar("ann", "big", "Big", {"VEVENT", "VTODO"}));
        QVERIFY(m_server.makeCalendar("bob", "work", "Work", {"VEVENT"}));

        Passwords::setSecretServiceEnabled(false);
        const Account ann {"Ann", m_server.url("/"), "ann"};
        const Account bob {"Bob", m_server.url("/bob/"), "bob"};
        Accounts::save({ann, bob});
        Passwords::store(ann, "secret", [](bool, QString) {});
        Passwords::store(bob, "hunter2", [](bool, QString) {});
        Calendars::install(Calendars::Mode::Background);
        refreshNow();
    }
    void cleanupTestCase()
    {
        bridges::setCalendarSource(nullptr);
        Passwords::resetForTests();
        Desktop::setRunningApplicationsProvider({});
    }
    void init() { Connection::timeoutMs = 60000; }

    void listing()
    {
        // The calendar application's first; then each account's by name, the task list left out,
        // clashing names made plain.
        QCOMPARE(Calendars::instance().errors(), (QHash<QString, QString> {}));
        aCalendar doc;
        const QStringList expected {"Home", "Big", "Home (Ann)", "Work (Ann)", "Work (Bob)"};
        QCOMPARE(doc.theAvailableCalendars(), expected);
        QVERIFY(doc.calListOK("Work (Bob)"));
        QVERIFY(!doc.calListOK("Tasks"));
        QCOMPARE(doc.getTheCalArray(), expected);
        QVERIFY(!aCalendar::isSourceCalendar("Home"));
        QVERIFY(aCalendar::isSourceCalendar("Home (Ann)"));
        // With no accounts, the calendar application's alone.
        const QList<Account> accounts = Accounts::load();
        Accounts::save({});
        refreshNow();
        QCOMPARE(doc.theAvailableCalendars(), QStringList {"Home"});
        Accounts::save(accounts);
        refreshNow();
    }

    void discovery_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("expected"); // or {"!" + start of the error}
        QTest::newRow("server: well-known address, principal, home")
            << "/"
            << "secret" << QStringList {"Work /ann/work/", "Home /ann/home/", "Big /ann/big/"};
        QTest::newRow("principal") << "/ann/"
                                   << "secret" << QStringList {"Work /ann/work/", "Home /ann/home/", "Big /ann/big/"};
        QTest::newRow("one calendar") << "/ann/work/"
                                      << "secret" << QStringList {"Work /ann/work/"};
        QTest::newRow("a task list only") << "/ann/tasks/"
                                          << "secret" << QStringList {};
        QTest::newRow("wrong password") << "/"
                                        << "wrong"
                                        << QStringList {
                                               "!the server refused the user name or password (401 Unauthorized)"};
    }
    void discovery()
    {
        QFETCH(QString, start);
        QFETCH(QString, password);
        QFETCH(QStringList, expected);
        const auto [calendars, error] = discoverNow("ann", password, m_server.url(start));
        if (expected.value(0).startsWith('!')) {
            QCOMPARE(error, expected.first().mid(1));
            return;
        }
        QCOMPARE(error, QString());
        QStringList got = names(calendars);
        got.sort();
        expected.sort();
        QCOMPARE(got, expected);
    }

    void serverGone()
    {
        quint16 port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        const auto [calendars, error] = discoverNow("ann", "secret", QUrl(QString("http://127.0.0.1:%1/").arg(port)));
        QVERIFY(calendars.isEmpty());
        QVERIFY2(error.startsWith("the server could not be reached (") && error.contains("refused"), qPrintable(error));
    }

    void import()
    {
        // Written by another client: a weekly event with a moved occurrence (another zone), an
        // all-day event, and an event beside a component the reader does not know.
        const QByteArray weekly
            = calendar("BEGIN:VEVENT\r\nUID:r1\r\nDTSTAMP:20070101T000000Z\r\nSUMMARY:Call\r\n"
                       "DTSTART;TZID=America/New_York:20070305T100000\r\nDURATION:PT30M\r\n"
                       "RRULE:FREQ=WEEKLY;COUNT=3\r\nEND:VEVENT\r\n"
                       "BEGIN:VEVENT\r\nUID:r1\r\nDTSTAMP:20070101T000000Z\r\nSUMMARY:Call (moved)\r\n"
                       "RECURRENCE-ID;TZID=America/New_York:20070312T100000\r\n"
                       "DTSTART;TZID=America/New_York:20070312T120000\r\nDURATION:PT30M\r\nEND:VEVENT\r\n");
        const QByteArray allDay
            = calendar("BEGIN:VEVENT\r\nUID:r2\r\nDTSTAMP:20070101T000000Z\r\nSUMMARY:Holiday\r\n"
                       "DTSTART;VALUE=DATE:20070406\r\nDTEND;VALUE=DATE:20070407\r\nEND:VEVENT\r\n");
        const QByteArray odd = calendar(vevent("r3", "Odd", "20070320T100000", "GEO:48.85;2.35\r\n"));
        const QByteArray odder = calendar(vevent("r4", "Odder", "20070321T100000", "GEO:48.85;2.35\r\n"));
        QCOMPARE(m_server.put("ann", "/ann/home/r1.ics", weekly), 201);
        QCOMPARE(m_server.put("ann", "/ann/home/r2.ics", allDay), 201);
        QCOMPARE(m_server.put("ann", "/ann/home/r3.ics", odd), 201);
        QCOMPARE(m_server.put("ann", "/ann/home/r4.ics", odder), 201);

        aCalendar doc;
        bool read = false, over = false;
        QString message;
        Calendars::instance().importCalendar(doc, "Home (Ann)", [&](bool ok, QString m) {
            read = ok;
            message = m;
            over = true;
        });
        QVERIFY(!over); // never inside the call
        QTRY_VERIFY_WITH_TIMEOUT(over, kWait);
        QVERIFY2(read, qPrintable(message));
        QStringList got;
        for (const EntryPtr& e : doc.getTheData())
            got << e->getSummary() + " " + e->getFullStartTime().format("%Y-%m-%d %H:%M");
        QCOMPARE(got,
                 (QStringList {"Call 2007-03-05 16:00", "Holiday 2007-04-06 00:00", "Odd 2007-03-20 10:00",
                               "Odder 2007-03-21 10:00"}));
        QCOMPARE(doc.getTheRecObjects().size(), 1);
        QCOMPARE(doc.getTheData().first()->getTheReoccDateArray().size(), 1);
        // Two resources with the same problem: said once.
        QVERIFY2(message.contains("The program has encountered an appointment entry detail that it cannot process"),
                 qPrintable(message));
        QCOMPARE(message.count("cannot process"), 1);

        // A calendar that is gone, or a title nobody has.
        QString why;
        QVERIFY(!Calendars::instance().read(doc, "Nope", &why));
        QCOMPARE(why, QString::fromUtf8(kListChanged));
    }

    void appendThousand()
    {
        aCalendar doc;
        QCOMPARE(doc.setData(QString::fromUtf8(bigCalendar(1000, "big-"))), QString());
        QCOMPARE(doc.entryCount(), 1000);
        QCOMPARE(doc.getTheRecObjects().size(), 100);
        QList<int> progress;
        QElapsedTimer timer;
        const qint64 cpuBefore = cpuMs();
        timer.start();
        const AppendResult result = appendNow(doc, "Big", &progress);
        const qint64 ms = timer.elapsed();
        qInfo("appended 1,000 entries (100 of them with an override) to a local Radicale in %lld ms, %lld ms of "
              "them on this process's processor time",
              ms, cpuMs() - cpuBefore);
        QVERIFY2(result.complete(), qPrintable(result.report(5)));
        QCOMPARE(progress.size(), 1000);
        QCOMPARE(progress.last(), 1000);
        const QMap<QString, QByteArray> items = m_server.items("ann", "big");
        QCOMPARE(items.size(), 1000);
        QCOMPARE(items.value("big-10.ics").count("BEGIN:VEVENT"), 2);
        QVERIFY(items.value("big-10.ics").contains("RECURRENCE-ID"));
        QCOMPARE(items.value("big-11.ics").count("BEGIN:VEVENT"), 1);

        // Some of them again: nothing on the server is replaced, every entry is reported.
        aCalendar some;
        some.setData(QString::fromUtf8(bigCalendar(50, "big-")).replace("SUMMARY:", "SUMMARY:Changed "));
        const AppendResult again = appendNow(some, "Big");
        QCOMPARE(again.count(Outcome::Exists), 50);
        QCOMPARE(m_server.items("ann", "big"), items);
        QVERIFY(again.report(2).startsWith("Added 0 of 50 entries to the calendar \"Big\".\nNot added:\n"
                                           "  Changed Weekly 0: an event with this UID is already in the calendar (412 "
                                           "Precondition Failed)\n"));
    }

    void conflictsThroughTheBridge()
    {
        // Another client put UID c1 under a name of its own.
        QCOMPARE(m_server.put("bob", "/bob/work/theirs.ics", calendar(vevent("c1", "Theirs", "20070301T100000"))), 201);
        aCalendar doc;
        doc.setData(QString::fromUtf8(
            calendar(vevent("c1", "Mine", "20070301T100000") + vevent("c2", "New", "20070302T100000"))));
        // A calendar on a server is written without waiting for the calendar application to quit.
        Desktop::setRunningApplicationsProvider([] { return QStringList {"iCal"}; });
        bridges::quitWaitMs = 60000;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!doc.exportToCalendarApp({{"theCalendar", "Work (Bob)"}, {"sort", "1"}}));
        QVERIFY(timer.elapsed() < 30000);
        Desktop::setRunningApplicationsProvider({});
        QCOMPARE(doc.getAppendReport(),
                 QString("Added 1 of 2 entries to the calendar \"Work (Bob)\".\nNot added:\n"
                         "  Mine: an event with this UID is already in the calendar (409 Conflict)\nAdded:\n  New"));
        QVERIFY(m_server.items("bob", "work").value("theirs.ics").contains("SUMMARY:Theirs"));
        QVERIFY(m_server.items("bob", "work").contains("c2.ics"));
    }

    void wrongPasswordAndServerGone()
    {
        Radicale server;
        QString why;
        QVERIFY2(server.start(&why), qPrintable(why));
        QVERIFY(server.makeCalendar("ann", "cal", "Short-lived", {"VEVENT"}));
        const QList<Account> before = Accounts::load();
        const Account gone {"Gone", server.url("/"), "ann"};
        Accounts::save(before + QList<Account> {gone});
        Passwords::store(gone, "wrong", [](bool, QString) {});
        refreshNow();
        QCOMPARE(Calendars::instance().errors().value("Gone"),
                 QString("the server refused the user name or password (401 Unauthorized)"));
        // Refused once, the password is asked for again; here nobody answers.
        refreshNow();
        QVERIFY(Calendars::instance().errors().value("Gone").startsWith("no password for the account Gone"));

        Passwords::store(gone, "secret", [](bool, QString) {});
        refreshNow();
        QVERIFY(Calendars::instance().calendarFor("Short-lived"));
        aCalendar doc;
        doc.setData(QString::fromUtf8(bigCalendar(300, "g-")));
        AppendJob* job = Calendars::instance().append(doc, {{"theCalendar", "Short-lived"}, {"sort", "1"}});
        bool over = false;
        AppendResult result;
        connect(job, &AppendJob::progress, this, [&](int done, int) {
            if (done == 20)
                server.stop();
        });
        connect(job, &AppendJob::finished, this, [&] {
            result = job->result();
            over = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(over, 10 * kWait);
        // Everything is accounted for: what went in is on the server, the rest says why not.
        const int added = result.count(Outcome::Added);
        QVERIFY(added >= 20 && added < 300);
        QVERIFY(server.items("ann", "cal").size() >= added);
        QCOMPARE(result.count(Outcome::Exists), 0);
        for (const EntryOutcome& e : result.entries)
            QVERIFY(e.outcome == Outcome::Added || e.why.contains("could not be reached"));
        QVERIFY(result.count(Outcome::NotSent) > 0);
        Accounts::save(before);
        refreshNow();
    }

    void brokenAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("extraLength");
        QTest::addColumn<QString>("error");
        const QByteArray two = "<multistatus xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:caldav\">"
                               "<response><href>a.ics</href><propstat><prop><C:calendar-data>A</C:calendar-data>"
                               "</prop><status>HTTP/1.1 200 OK</status></propstat></response>"
                               "<response><href>b.ics</href><propstat><prop><C:calendar-data>B</C:calendar-data>"
                               "</prop><status>HTTP/1.1 200 OK</status></propstat></response>";
        const QByteArray third = "<response><href>c.ics</href><propstat><prop><C:calendar-data>C";
        QTest::newRow("connection closed mid-answer") << two + third << 500 << "the server's answer broke off";
        QTest::newRow("answer cut short but closed cleanly")
            << two + third << 0 << "the server's answer is not well-formed XML";
        QTest::newRow("not well-formed") << two + "<response><href>c.ics</href></oops></multistatus>" << 0
                                         << "the server's answer is not well-formed XML";
    }
    void brokenAnswers()
    {
        // What arrived whole is kept, and the caller is told the rest did not.
        QFETCH(QByteArray, body);
        QFETCH(int, extraLength);
        QFETCH(QString, error);
        MiniDav dav;
        dav.reportBody = body;
        dav.reportLength = body.size() + extraLength;
        Connection connection("ann", "secret");
        QList<Resource> got;
        QString why;
        waitFor([&](std::function<void()> over) {
            fetchEvents(connection, dav.url("/cal/"), [&got, &why, over](QList<Resource> r, int, int, QString e) {
                got = r;
                why = e;
                over();
            });
        });
        QCOMPARE(got.size(), 2);
        QCOMPARE(got[1].text, QString("B"));
        QVERIFY2(why.startsWith(error), qPrintable(why));
    }

    void digestRedirectsAndSilence()
    {
        MiniDav dav;
        dav.digest = true;
        auto [calendars, error] = discoverNow("ann", "secret", dav.url("/cal/"));
        QCOMPARE(error, QString());
        QCOMPARE(names(calendars), QStringList {"Digest calendar /cal/"});
        std::tie(calendars, error) = discoverNow("ann", "wrong", dav.url("/cal/"));
        QCOMPARE(error, QString("the server refused the user name or password (401 Unauthorized)"));

        // A redirect on the same server is followed with the same request; to another host
        // over plain http it is not.
        dav.digest = false;
        dav.seen.clear();
        dav.redirects.insert("/old/", "/cal/");
        std::tie(calendars, error) = discoverNow("ann", "secret", dav.url("/old/"));
        QCOMPARE(names(calendars), QStringList {"Digest calendar /cal/"});
        QCOMPARE(dav.seen.mid(0, 2), (QList<QByteArray> {"PROPFIND /old/", "PROPFIND /cal/"}));
        dav.redirects.insert("/away/", "http://localhost:" + QByteArray::number(dav.serverPort()) + "/cal/");
        dav.redirects.insert("/.well-known/caldav", "/away/");
        std::tie(calendars, error) = discoverNow("ann", "secret", dav.url("/away/"));
        QVERIFY2(error.startsWith("the server redirected to http://localhost:"), qPrintable(error));

        dav.stall = true;
        Connection::timeoutMs = 300;
        std::tie(calendars, error) = discoverNow("ann", "secret", dav.url("/cal/"));
        QCOMPARE(error, QString("the server did not answer within 1 second"));
    }
};

QTEST_GUILESS_MAIN(tst_caldavServer)
#include "tst_caldavServer.moc"
