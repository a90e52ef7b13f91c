// The calendar application bridge over fixture Library folders: the calendar list, the data
// file of a title, appending in both forms, and dropped files.

#include "addressbook/invitee.h"
#include "bridges/bridges.h"
#include "bridges/bridgesTestUtil.h"
#include "calendar/aCalendar.h"
#include "formats/formatsTestUtil.h"
#include "platform/Desktop.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QMimeData>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace bridgetest;

namespace
{
const QByteArray kHead = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nX-WR-CALNAME:Work\r\n";

// A weekly event and an override of its second occurrence.
const QByteArray kDocument = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n"
                             "BEGIN:VEVENT\r\nUID:w1\r\nDTSTAMP:20070101T000000Z\r\nSUMMARY:Weekly\r\n"
                             "DTSTART;TZID=Europe/Paris:20070305T090000\r\nDTEND;TZID=Europe/Paris:20070305T100000\r\n"
                             "RRULE:FREQ=WEEKLY;COUNT=3\r\nEND:VEVENT\r\n"
                             "BEGIN:VEVENT\r\nUID:w1\r\nDTSTAMP:20070101T000000Z\r\nSUMMARY:Moved\r\n"
                             "RECURRENCE-ID;TZID=Europe/Paris:20070312T090000\r\n"
                             "DTSTART;TZID=Europe/Paris:20070312T110000\r\nDTEND;TZID=Europe/Paris:20070312T120000\r\n"
                             "END:VEVENT\r\nEND:VCALENDAR\r\n";

invitee person(const QString& name, const QString& address)
{
    invitee i;
    i.setTheRealName(name);
    i.setInviteeEmailAddress(address);
    return i;
}
} // namespace

class tst_calendarApp : public QObject
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
        Desktop::setRunningApplicationsProvider([] { return QStringList {"Finder", "iCalendar", "ical"}; });
        bridges::quitWaitMs = 15000;
    }

    void cleanupTestCase() { Desktop::setRunningApplicationsProvider({}); }

    void listing_data()
    {
        QTest::addColumn<int>("listFile"); // 0 none, 1 XML, 2 binary, 3 broken, 4 without SourcesView
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("XML list, file order, subscription left out") << 1 << QStringList {"Work", "Home", "Birthdays"};
        QTest::newRow("binary list") << 2 << QStringList {"Work", "Home", "Birthdays"};
        QTest::newRow("no list: folder scan") << 0 << QStringList {"Alpha", "Beta", "Beta"};
        QTest::newRow("broken list: folder scan") << 3 << QStringList {"Alpha", "Beta", "Beta"};
        QTest::newRow("list without calendars: folder scan") << 4 << QStringList {"Alpha", "Beta", "Beta"};
    }
    void listing()
    {
        QFETCH(int, listFile);
        QFETCH(QStringList, expected);
        Library lib;
        aCalendar doc;
        QCOMPARE(doc.theAvailableCalendars(), QStringList {}); // nothing there at all
        // Folders by name; hidden ones and ones without a readable info.plist do not count.
        lib.addCalendar("b.calendar", "Beta", "", true);
        lib.addCalendar("a.calendar", "Alpha");
        lib.addCalendar("c.calendar", "Beta");
        lib.addCalendar(".hidden.calendar", "Hidden");
        lib.addCalendar("d.calendar", "!");
        lib.addCalendar("e.calendar", QString());
        const Node list = sourcesList(
            {{"z", "r1", "Work"}, {"a", "r2", "News"}, {"m", "r3", "Home"}, {"b", "r4", "Birthdays"}}, {"r2"});
        if (listFile == 1 || listFile == 2)
            lib.writeList(list, listFile == 2);
        else if (listFile == 3)
            writeFile(lib.listFile(), "bplist00\x01\x02garbage");
        else if (listFile == 4)
            lib.writeList(PropertyList::dict({{"Other", PropertyList::string("x")}}), false);
        QCOMPARE(doc.theAvailableCalendars(), expected);
        doc.setCalArray(nullptr);
        QCOMPARE(doc.getTheCalArray(), expected);
    }

    void titles()
    {
        Library lib;
        lib.addCalendar("1.calendar", "Work", kHead + "END:VCALENDAR\r\n");
        lib.addCalendar("2.calendar", "!");
        lib.addCalendar("3.calendar", "Work", kHead + "END:VCALENDAR\r\n", true);
        aCalendar doc;
        // Two folders with one title: the last examined is the one used.
        QCOMPARE(doc.getCalendar104Path("Work"), lib.dataFile("3.calendar"));
        QCOMPARE(doc.getCalendar104Path("work"), QString());
        QVERIFY(doc.calListOK("Work"));
        const QStringList stale {"Work", "Gone"};
        doc.setCalArray(&stale);
        QVERIFY(!doc.calListOK("Gone"));
        QCOMPARE(doc.getTheCalArray(), (QStringList {"Work", "Work"}));
    }

    void endLine_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray e = "BEGIN:VEVENT\r\nUID:new\r\nEND:VEVENT\r\n";
        const QByteArray end = "END:VCALENDAR\r\n";
        QTest::newRow("CR LF") << kHead + end << kHead + e + end;
        QTest::newRow("LF") << QByteArray("BEGIN:VCALENDAR\nVERSION:2.0\nEND:VCALENDAR\n")
                            << "BEGIN:VCALENDAR\nVERSION:2.0\n" + e + end;
        QTest::newRow("CR") << QByteArray("BEGIN:VCALENDAR\rVERSION:2.0\rEND:VCALENDAR\r")
                            << "BEGIN:VCALENDAR\rVERSION:2.0\r" + e + end;
        QTest::newRow("no final line end") << kHead + "END:VCALENDAR" << kHead + e + end;
        QTest::newRow("lower case, trailing blanks and lines") << kHead + "end:vcalendar \r\n\r\n\n" << kHead + e + end;
        QTest::newRow("the words inside a text stay")
            << kHead + "BEGIN:VEVENT\r\nDESCRIPTION:write\r\n END:VCALENDAR\r\nSUMMARY:END:VCALENDAR\r\nEND:VEVENT\r\n"
                + end
            << kHead + "BEGIN:VEVENT\r\nDESCRIPTION:write\r\n END:VCALENDAR\r\nSUMMARY:END:VCALENDAR\r\nEND:VEVENT\r\n"
                + e + end;
        QTest::newRow("two calendars: only the last end moves")
            << kHead + end + kHead + end << kHead + end + kHead + e + end;
        QTest::newRow("text after the end is kept") << kHead + end + "junk\r\n" << kHead + e + end + "junk\r\n";
        QTest::newRow("cut short") << kHead + "BEGIN:VEVENT\r\nUID:old"
                                   << kHead + "BEGIN:VEVENT\r\nUID:old\r\n" + e + end;
        QTest::newRow("blank file") << QByteArray(
            " \r\n") << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quenlor\\, //Quenlor//EN\r\n" + e + end;
        QTest::newRow("byte-order mark and UTF-8 kept")
            << "\xEF\xBB\xBF" + kHead + "X-A:Zürich\r\n" + end << "\xEF\xBB\xBF" + kHead + "X-A:Zürich\r\n" + e + end;
    }
    void endLine()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, expected);
        const std::optional<QByteArray> out
            = bridges::appendToCalendarText(file, "BEGIN:VEVENT\r\nUID:new\r\nEND:VEVENT\r\n");
        QVERIFY(out);
        QCOMPARE(*out, expected);
    }

    void appendForms_data()
    {
        QTest::addColumn<QString>("sort");
        QTest::addColumn<bool>("withEntries");
        QTest::addColumn<QByteArray>("added");
        QTest::newRow("plain: entries, then overrides")
            << "1" << true
            << QByteArray("BEGIN:VEVENT\r\nSEQUENCE:1\r\nUID:w1\r\nDTSTAMP:20070301T120000Z\r\n"
                          "DTSTART;TZID=Europe/Paris:20070305T090000\r\nSUMMARY:Weekly\r\nDURATION:PT1H\r\n"
                          "RRULE:FREQ=WEEKLY;COUNT=3\r\nEND:VEVENT\r\n"
                          "BEGIN:VEVENT\r\nSEQUENCE:1\r\nUID:w1\r\nDTSTAMP:20070301T120000Z\r\n"
                          "DTSTART;TZID=Europe/Paris:20070312T110000\r\nSUMMARY:Moved\r\nDURATION:PT1H\r\n"
                          "RECURRENCE-ID;TZID=Europe/Paris:20070312T090000\r\nEND:VEVENT\r\n");
        QTest::newRow("invitation: calendar blocks, then overrides with CR LF")
            << "0" << true
            << QByteArray("BEGIN:VEVENT\r\nSEQUENCE:3\r\nATTENDEE;CN=\"Lee, Chris\":mailto:lee@example.com\r\n"
                          "DTSTAMP:20070301T120000Z\r\nSUMMARY:Weekly\r\nUID:w1\r\n"
                          "DTSTART;TZID=Europe/Paris:20070305T090000\r\nDURATION:PT1H\r\n"
                          "RRULE:FREQ=WEEKLY;COUNT=3\r\nX-WR-ITIPSTATUSML;VALUE=TEXT:UNCLEAN\r\nEND:VEVENT\r\n"
                          "BEGIN:VEVENT\r\nSEQUENCE:2\r\nATTENDEE;CN=\"Lee, Chris\":mailto:lee@example.com\r\n"
                          "DTSTAMP:20070301T120000Z\r\nSUMMARY:Moved\r\nUID:w1\r\n"
                          "ORGANIZER;CN=Org:mailto:org@example.com\r\nDTSTART;TZID=Europe/Paris:20070312T110000\r\n"
                          "DURATION:PT1H\r\nEND:VEVENT\r\n");
        QTest::newRow("unknown sort adds nothing") << "2" << true << QByteArray();
        QTest::newRow("empty document: the end line moves to the end") << "1" << false << QByteArray();
    }
    void appendForms()
    {
        QFETCH(QString, sort);
        QFETCH(bool, withEntries);
        QFETCH(QByteArray, added);
        Library lib;
        const QByteArray before = kHead + "BEGIN:VEVENT\r\nUID:old\r\nEND:VEVENT\r\n";
        lib.addCalendar("w.calendar", "Work", before + "END:VCALENDAR\n\n");
        aCalendar doc;
        if (withEntries)
            QCOMPARE(doc.setData(QString::fromUtf8(kDocument)), QString());
        const QVariantMap parameters {
            {"theCalendar", "Work"},
            {"sort", sort},
            {"theInvitees", QVariant::fromValue(QList<invitee> {person("Lee, Chris", "lee@example.com")})},
            {"theOrg", "Org"},
            {"theEmail", "org@example.com"}};
        QVERIFY(doc.appendEntryToiCalFile(parameters));
        QCOMPARE(readFile(lib.dataFile("w.calendar")), before + added + "END:VCALENDAR\r\n");
    }

    void appendFailures_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("unknown calendar") << "title";
        QTest::newRow("data file not UTF-8") << "encoding";
        QTest::newRow("data file missing") << "missing";
        QTest::newRow("read-only folder") << "readonly";
        QTest::newRow("write cut short") << "fsize";
        QTest::newRow("calendar application never quits") << "running";
    }
    void appendFailures()
    {
        QFETCH(QString, failure);
        Library lib;
        const QByteArray old
            = failure == "encoding" ? kHead + "SUMMARY:Z\xFCrich\r\nEND:VCALENDAR\r\n" : kHead + "END:VCALENDAR\r\n";
        lib.addCalendar("w.calendar", "Work", failure == "missing" ? QByteArray() : old);
        aCalendar doc;
        doc.setData(QString::fromUtf8(kDocument));
        QVariantMap parameters {{"theCalendar", failure == "title" ? "Home" : "Work"}, {"sort", "1"}};
        QElapsedTimer timer;
        timer.start();
        bool written = true;
        if (failure == "readonly") {
            if (geteuid() == 0)
                QSKIP("permissions do not stop the superuser; the file-size case covers a failing write");
            QFile::setPermissions(lib.folder("w.calendar"), QFile::ReadOwner | QFile::ExeOwner);
            written = doc.appendEntryToiCalFile(parameters);
            QFile::setPermissions(lib.folder("w.calendar"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        } else if (failure == "fsize") {
            // The new file may not grow past the old one's size: the write fails part-way.
            rlimit saved {};
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit limited = saved;
            limited.rlim_cur = rlim_t(old.size());
            auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &limited);
            written = doc.appendEntryToiCalFile(parameters);
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, oldHandler);
        } else if (failure == "running") {
            Desktop::setRunningApplicationsProvider([] { return QStringList {"iCal"}; });
            bridges::quitWaitMs = 300;
            written = doc.appendEntryToiCalFile(parameters);
            QVERIFY(timer.elapsed() >= 300);
        } else {
            written = doc.appendEntryToiCalFile(parameters);
        }
        QVERIFY(!written);
        QVERIFY(timer.elapsed() < 10000 * testutil::kSlowdown);
        if (failure != "missing")
            QCOMPARE(readFile(lib.dataFile("w.calendar")), old);
        QCOMPARE(QDir(lib.folder("w.calendar")).entryList(QDir::Files),
                 (failure == "missing" ? QStringList {"info.plist"} : QStringList {"corestorage.ics", "info.plist"}));
    }

    void waitsForQuit()
    {
        Library lib;
        lib.addCalendar("w.calendar", "Work", kHead + "END:VCALENDAR\r\n");
        auto looks = std::make_shared<int>(0);
        Desktop::setRunningApplicationsProvider([looks] {
            return ++*looks < 3 ? QStringList {"Finder", "iCal"} : QStringList {"Finder"};
        });
        aCalendar doc;
        doc.setData(QString::fromUtf8(kDocument));
        QVERIFY(doc.appendEntryToiCalFile({{"theCalendar", "Work"}, {"sort", "1"}}));
        QCOMPARE(*looks, 3);
        QVERIFY(readFile(lib.dataFile("w.calendar")).contains("SUMMARY:Moved"));
    }

    void drops_data()
    {
        QTest::addColumn<QStringList>("files"); // name=content
        QTest::addColumn<int>("entries");
        QTest::addColumn<bool>("split");
        QTest::addColumn<int>("unreadable");
        const QString ics = "BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:a\nSUMMARY:Dentist\nDTSTART:20070315T100000Z\n"
                            "DTEND:20070315T110000Z\nEND:VEVENT\nEND:VCALENDAR\n";
        const QString vcs = "BEGIN:VCALENDAR\nVERSION:1.0\nBEGIN:VEVENT\nSUMMARY:Lunch\nDTSTART:20070315T120000Z\n"
                            "DTEND:20070315T130000Z\nEND:VEVENT\nEND:VCALENDAR\n";
        QTest::newRow("ics in capitals") << QStringList {"A.ICS=" + ics} << 1 << false << 0;
        QTest::newRow("vcs and vcal") << QStringList {"b.Vcs=" + vcs, "c.VCAL=" + vcs} << 2 << false << 0;
        QTest::newRow("csv") << QStringList {"d.CSV=a,b\n1,2\n"} << 0 << true << 0;
        QTest::newRow("txt is tab-delimited") << QStringList {"e.Txt=a\tb\n"} << 0 << true << 0;
        QTest::newRow("two clippings read the drag twice")
            << QStringList {"f.textClipping=", "g.textclipping="} << 2 << false << 0;
        const Node clip
            = PropertyList::dict({{"UTIData",
                                   PropertyList::fromVariant(QVariantMap {
                                       {"public.utf8-plain-text", QByteArray("Lunch 16 March 2007 at 12:00")}})}});
        QTest::newRow("a clipping file when the drag has no text")
            << QStringList {"nodrag", "j.textclipping=" + QString::fromUtf8(PropertyList::toXml(clip))} << 1 << false
            << 0;
        QTest::newRow("a calendar under another name") << QStringList {"h.dat=" + ics} << 1 << false << 0;
        QTest::newRow("not a calendar, and a missing file")
            << QStringList {"i.dat=hello", "missing.ics"} << 0 << false << 2;
    }
    void drops()
    {
        QFETCH(QStringList, files);
        QFETCH(int, entries);
        QFETCH(bool, split);
        QFETCH(int, unreadable);
        QTemporaryDir dir;
        QStringList paths;
        const bool noDrag = files.removeAll("nodrag") > 0;
        for (const QString& f : files) {
            const QString name = f.section('=', 0, 0);
            if (f.contains('='))
                writeFile(dir.filePath(name), f.section('=', 1).toUtf8());
            paths << dir.filePath(name);
        }
        QMimeData drag;
        if (!noDrag)
            drag.setText("Team meeting on 15 March 2007 at 10:00");
        aCalendar doc;
        const DropOutcome outcome = doc.processDroppedFileArray(paths, &drag);
        QCOMPARE(doc.entryCount(), entries);
        QCOMPARE(outcome.delimitedSplit, split);
        QCOMPARE(doc.getCommaTabData().isEmpty(), !split);
        QCOMPARE(outcome.unreadable.size(), unreadable);
    }
};

QTEST_GUILESS_MAIN(tst_calendarApp)
#include "tst_calendarApp.moc"
