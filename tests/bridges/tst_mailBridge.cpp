// The mail bridge: the scripts of the Mac's mail programs byte for byte, the command lines given
// to Linux mail programs (stand-ins registered as the mailto handler record them), the
// attachment, the messages, and the invitation that also goes into a calendar.

#include "addressbook/invitee.h"
#include "bridges/bridges.h"
#include "bridges/bridgesTestUtil.h"
#include "calendar/aCalendar.h"
#include "formats/formatsTestUtil.h"
#include "platform/Desktop.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

#include <utime.h>

using namespace bridgetest;
using bridges::ScriptedMail;

namespace
{
const QString kSendError = "There has been an error sending the calendar to the mail program.  Please  use the "
                           "\"Export to File\" option and attach the file to your mail message.";
const QString kGone = "The calendar you have selected no longer exists. Please select another calendar.";
const QString kAddError = "There has been an error adding the data to iCal.  Please  use the \"Export to File\" "
                          "option and import the data to iCal.";
const QString kFixedPath = "me:Library:Caches:com.apple.iCal:Temporary Files:iCal.ics";

invitee person(const QString& name, const QString& address)
{
    invitee i;
    i.setTheRealName(name);
    i.setInviteeEmailAddress(address);
    return i;
}

const QList<invitee> kTwo {person("Ann Lee", "ann@example.com"), person("Bo", "bo@example.com")};
const QList<invitee> kComma {person("Lee, Chris", "lee@example.com"), person("Bo", "bo@example.com")};

QString golden(const QString& name)
{
    return QString::fromUtf8(readFile(TIDEWELL_TEST_DATA "/bridges/scripts/" + name + ".applescript"));
}

const QByteArray kCalendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:r1\r\nDTSTAMP:20070101T000000Z\r\n"
                             "SUMMARY:Review\r\nDTSTART;TZID=Europe/Paris:20070315T093000\r\n"
                             "DTEND;TZID=Europe/Paris:20070315T110000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
} // namespace

class tst_mailBridge : public QObject
{
    Q_OBJECT

    std::unique_ptr<testutil::TempSettings> m_settings;
    std::unique_ptr<FakeDesktop> m_desktop;
    QByteArray m_path;

    /// The one attachment written so far under the fake cache folder.
    QString attachment() const
    {
        QDirIterator it(m_desktop->cache(), {"iCal.ics"}, QDir::Files, QDirIterator::Subdirectories);
        return it.hasNext() ? it.next() : QString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        testutil::pinZone("Europe/Paris");
        m_settings = std::make_unique<testutil::TempSettings>();
        m_path = qgetenv("PATH");
        bridges::mailStartMs = 300;
    }

    void init()
    {
        testutil::pinClock("2007-03-01T12:00:00Z");
        formatstest::countedUuids();
        m_desktop = std::make_unique<FakeDesktop>();
        m_desktop->apply();
        Desktop::setRunningApplicationsProvider([] { return QStringList {"Finder"}; });
    }

    void cleanup()
    {
        m_desktop.reset();
        qputenv("PATH", m_path);
    }

    void cleanupTestCase()
    {
        Desktop::setRunningApplicationsProvider({});
        Uuid::setGenerator({});
    }

    void scripts_data()
    {
        QTest::addColumn<int>("program");
        QTest::addColumn<bool>("invitation");
        QTest::addColumn<QString>("name");
        const QList<QPair<ScriptedMail, QString>> programs {{ScriptedMail::Mail, "Mail"},
                                                            {ScriptedMail::Eudora, "Eudora"},
                                                            {ScriptedMail::Entourage, "Microsoft-Entourage"},
                                                            {ScriptedMail::Mailsmith, "Mailsmith"},
                                                            {ScriptedMail::PowerMail, "PowerMail"}};
        for (const bool invitation : {false, true}) {
            for (const auto& [program, name] : programs) {
                const QString file = (invitation ? "invite-" : "file-") + name;
                QTest::newRow(qPrintable(file)) << int(program) << invitation << file;
            }
        }
    }
    void scripts()
    {
        QFETCH(int, program);
        QFETCH(bool, invitation);
        QFETCH(QString, name);
        QCOMPARE(bridges::mailScript(ScriptedMail(program), invitation, kFixedPath, kTwo), golden(name));
    }

    void escaping_data()
    {
        QTest::addColumn<int>("program");
        QTest::addColumn<QString>("line");
        auto row = [](const char* tag, int program, const QString& line) { QTest::newRow(tag) << program << line; };
        row("path and recipients", int(ScriptedMail::Mail),
            "set theRec to \"Chris \\\"CJ\\\" O\\\\Neil <cj@example.com>, %@ <x@example.com>\"");
        row("list literal", int(ScriptedMail::Mailsmith),
            "set theRec to {\"Chris \\\"CJ\\\" O\\\\Neil <cj@example.com>\", \"%@ <x@example.com>\"} as list");
        row("file", int(ScriptedMail::Eudora),
            "set theFile to (((path to users folder) as text) & \"me:a \\\"b\\\" \\\\c.ics\") as alias");
    }
    void escaping()
    {
        QFETCH(int, program);
        QFETCH(QString, line);
        const QString script
            = bridges::mailScript(ScriptedMail(program), true, "me:a \"b\" \\c.ics",
                                  {person("Chris \"CJ\" O\\Neil", "cj@example.com"), person("%@", "x@example.com")});
        QVERIFY2(script.split('\n').contains(line) || script.split('\n').contains(" " + line), qPrintable(script));
    }

    void recipients()
    {
        QCOMPARE(bridges::recipientsText(kTwo), "Ann Lee <ann@example.com>, Bo <bo@example.com>");
        QCOMPARE(bridges::scriptListLiteral(kTwo), "{\"Ann Lee <ann@example.com>\", \"Bo <bo@example.com>\"}");
        // One item per invitee, a comma in a name or not.
        QCOMPARE(bridges::scriptListLiteral(kComma), "{\"Lee, Chris <lee@example.com>\", \"Bo <bo@example.com>\"}");
        QCOMPARE(bridges::scriptListLiteral({}), "{}");
        QCOMPARE(bridges::usersFolderPath(QDir::homePath() + "/Library/Caches/com.apple.iCal/Temporary Files/iCal.ics"),
                 Desktop::loginName() + ":Library:Caches:com.apple.iCal:Temporary Files:iCal.ics");
    }

    void commandLines_data()
    {
        QTest::addColumn<QString>("desktopId");
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QString>("recorder");
        QTest::addColumn<bool>("invitation");
        QTest::addColumn<QStringList>("expected");
        auto row = [](const char* tag, const QString& desktopId, const QString& exec, const QString& recorder,
                      bool invitation, const QStringList& expected) {
            QTest::newRow(tag) << desktopId << exec << recorder << invitation << expected;
        };
        row("Thunderbird, file", "thunderbird.desktop", "{bin}/thunderbird %u", "thunderbird", false,
            QStringList {"-compose", "attachment='{url}'"});
        row("Thunderbird, invitation", "thunderbird.desktop", "{bin}/thunderbird %u", "thunderbird", true,
            QStringList {"-compose", "to='\"Lee, Chris\" <lee@example.com>,Bo <bo@example.com>',attachment='{url}'"});
        row("Thunderbird with env and quoted words", "thunderbird.desktop",
            "env GDK_BACKEND=x11 \"{bin}/thunderbird\" -P \"my \\\\\"own\\\\\" profile\" %u", "thunderbird", false,
            QStringList {"-P", "my \"own\" profile", "-compose", "attachment='{url}'"});
        row("Thunderbird in a flatpak", "org.mozilla.Thunderbird.desktop",
            "{bin}/flatpak run --command=thunderbird org.mozilla.Thunderbird @@u %u @@", "flatpak", false,
            QStringList {"run", "--command=thunderbird", "org.mozilla.Thunderbird", "-compose", "attachment='{url}'"});
        row("Betterbird", "eu.betterbird.Betterbird.desktop", "{bin}/betterbird %u", "betterbird", false,
            QStringList {"-compose", "attachment='{url}'"});
        row("Evolution, invitation", "org.gnome.Evolution.desktop", "{bin}/evolution %U", "evolution", true,
            QStringList {"mailto:%22Lee%2C%20Chris%22%20%3Clee@example.com%3E,Bo%20%3Cbo@example.com%3E?attach={url}"});
        row("KMail, invitation", "org.kde.kmail2.desktop", "{bin}/kmail -qwindowtitle %c %u", "kmail", true,
            QStringList {"-qwindowtitle", "Mail", "--composer", "--attach", "{file}",
                         "\"Lee, Chris\" <lee@example.com>", "Bo <bo@example.com>"});
        row("Claws Mail, file", "claws-mail.desktop", "{bin}/claws-mail %u", "claws-mail", false,
            QStringList {"--compose", "--attach", "{file}"});
        row("Claws Mail, invitation", "claws-mail.desktop", "{bin}/claws-mail %u", "claws-mail", true,
            QStringList {"--compose", "mailto:%22Lee%2C%20Chris%22%20%3Clee@example.com%3E,Bo%20%3Cbo@example.com%3E",
                         "--attach", "{file}"});
        row("any other: xdg-email", "org.gnome.Geary.desktop", "{bin}/geary %u", "xdg-email", true,
            QStringList {"--attach", "{file}", "lee@example.com", "bo@example.com"});
    }
    void commandLines()
    {
        QFETCH(QString, desktopId);
        QFETCH(QString, exec);
        QFETCH(QString, recorder);
        QFETCH(bool, invitation);
        QFETCH(QStringList, expected);
        m_desktop->addProgram(recorder);
        // The handler's own program must exist for the handler to count.
        m_desktop->addProgram(exec.section("{bin}/", 1).section(QRegularExpression("[ \"]"), 0, 0));
        m_desktop->setMailHandler(desktopId, QString(exec).replace("{bin}", m_desktop->bin()));
        aCalendar doc;
        doc.setData(QString::fromUtf8(kCalendar));
        const QString message = invitation ? doc.mailWindowMail({{"theInvitees", QVariant::fromValue(kComma)},
                                                                 {"theOrg", "Org"},
                                                                 {"theEmail", "org@example.com"},
                                                                 {"iCalTick", false},
                                                                 {"selectedCal", ""}})
                                           : doc.sendCalendarToMail();
        QCOMPARE(message, QString());
        const QList<QStringList> calls = m_desktop->calls(recorder);
        QCOMPARE(calls.size(), 1);
        const QString file = attachment();
        QVERIFY(!file.isEmpty());
        for (QString& word : expected)
            word.replace("{url}", "file://" + file).replace("{file}", file);
        QCOMPARE(calls.first(), expected);
    }

    void attachments()
    {
        m_desktop->addProgram("kmail");
        m_desktop->setMailHandler("kmail.desktop", m_desktop->bin() + "/kmail %u");
        aCalendar doc;
        doc.setData(QString::fromUtf8(kCalendar));
        // The invitation: METHOD:REQUEST, LF line ends, no line end after the last.
        QCOMPARE(doc.mailWindowMail(
                     {{"theInvitees", QVariant::fromValue(kTwo)}, {"theOrg", "Org"}, {"theEmail", "org@example.com"}}),
                 QString());
        const QString first = attachment();
        QCOMPARE(readFile(first),
                 QByteArray("BEGIN:VCALENDAR\nMETHOD:REQUEST\nVERSION:2.0\nPRODID:-//Quenlor\\, //Quenlor//EN\n"
                            "BEGIN:VEVENT\nSEQUENCE:2\n"
                            "ATTENDEE;CN=Ann Lee:mailto:ann@example.com\nATTENDEE;CN=Bo:mailto:bo@example.com\n"
                            "DTSTAMP:20070301T120000Z\nSUMMARY:Review\nUID:r1\n"
                            "ORGANIZER;CN=Org:mailto:org@example.com\n"
                            "DTSTART;TZID=Europe/Paris:20070315T093000\n"
                            "DURATION:PT1H30M\nEND:VEVENT\nEND:VCALENDAR"));
        // The file: the whole calendar as "To iCal file" writes it, in a folder of its own.
        formatstest::countedUuids();
        QCOMPARE(doc.sendCalendarToMail(), QString());
        const QList<QStringList> calls = m_desktop->calls("kmail", 2);
        QCOMPARE(calls.size(), 2);
        const QString second = calls[1].value(2);
        QVERIFY(second != first && QFileInfo(second).path() != QFileInfo(first).path());
        QVERIFY(QFile::exists(first)); // the first message may still be open
        formatstest::countedUuids();
        QCOMPARE(QString::fromUtf8(readFile(second)), doc.createICalString(doc.getTheData(), nullptr));

        // Folders older than a week go at the next message; younger ones stay.
        Clock::reset();
        const auto age = [](const QString& path, int days) {
            const time_t t = time(nullptr) - days * 86400;
            utimbuf times {t, t};
            return utime(QFile::encodeName(path).constData(), &times) == 0;
        };
        QVERIFY(age(QFileInfo(first).path(), 8));
        QVERIFY(age(QFileInfo(second).path(), 6));
        QCOMPARE(doc.sendCalendarToMail(), QString());
        QVERIFY(!QFileInfo::exists(QFileInfo(first).path()));
        QVERIFY(QFile::exists(second));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("message");
        auto row = [](const char* tag, const QString& setup, const QString& message) {
            QTest::newRow(tag) << setup << message;
        };
        row("a program we cannot attach to", "unsupported",
            "Your default mail program (geary) cannot be given an attachment. Please use the \"Export to File\" "
            "option and attach the file to your mail message.");
        row("no mail program", "none", kSendError);
        row("a mail program that does not start", "missing", kSendError);
        row("no folder for the attachment", "cache", kSendError);
    }
    void failures()
    {
        QFETCH(QString, setup);
        QFETCH(QString, message);
        if (setup == "unsupported") {
            m_desktop->apply(false); // no xdg-email, no xdg-mime: the lists are read directly
            m_desktop->addProgram("geary");
            m_desktop->setMailHandler("org.gnome.Geary.desktop", m_desktop->bin() + "/geary %u");
        } else if (setup == "missing") {
            // There, but it cannot be started: its interpreter is missing.
            m_desktop->setMailHandler("thunderbird.desktop", m_desktop->bin() + "/broken %u");
            writeFile(m_desktop->bin() + "/broken", "#!/nonexistent/sh\n");
            QFile::setPermissions(m_desktop->bin() + "/broken", QFile::ReadOwner | QFile::ExeOwner);
        } else if (setup == "cache") {
            m_desktop->setMailHandler("thunderbird.desktop", m_desktop->bin() + "/thunderbird %u");
            writeFile(m_desktop->cache(), "not a folder");
        }
        m_desktop->addProgram("thunderbird");
        aCalendar doc;
        doc.setData(QString::fromUtf8(kCalendar));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(doc.sendCalendarToMail(), message);
        QVERIFY(timer.elapsed() < 10000 * testutil::kSlowdown);
        QCOMPARE(m_desktop->calls("thunderbird", 0, 0).size(), 0);
        QCOMPARE(aCalendar::getDefaultMailApp(),
                 setup == "none"              ? "error"
                     : setup == "unsupported" ? "geary"
                     : setup == "missing"     ? "broken"
                                              : "thunderbird");
    }

    void scripted_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<bool>("invitation");
        QTest::addColumn<QString>("started");
        QTest::addColumn<QString>("script");
        QTest::newRow("Mail, invitation") << "Mail" << true << "Mail.app"
                                          << "invite-Mail";
        QTest::newRow("Eudora, file") << "Eudora" << false << "Eudora.app"
                                      << "file-Eudora";
    }
    void scripted()
    {
        QFETCH(QString, program);
        QFETCH(bool, invitation);
        QFETCH(QString, started);
        QFETCH(QString, script);
        // Where a script runner exists, the Mac's mail programs are driven by script.
        m_desktop->addProgram("osascript", true);
        m_desktop->addProgram(started);
        m_desktop->addProgram(program);
        m_desktop->setMailHandler("mail.desktop", m_desktop->bin() + "/" + program + " %u");
        aCalendar doc;
        doc.setData(QString::fromUtf8(kCalendar));
        const QString message
            = invitation ? doc.mailWindowMail({{"theInvitees", QVariant::fromValue(kTwo)}}) : doc.sendCalendarToMail();
        QCOMPARE(message, QString());
        QCOMPARE(m_desktop->calls(started), QList<QStringList> {QStringList {}});
        QCOMPARE(m_desktop->calls("osascript").size(), 1);
        QCOMPARE(QString::fromUtf8(m_desktop->input("osascript")),
                 golden(script).replace(kFixedPath, bridges::usersFolderPath(attachment())));
    }

    void alsoToCalendar_data()
    {
        QTest::addColumn<QString>("calendar");
        QTest::addColumn<bool>("tick");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("message");
        auto row = [](const char* tag, const QString& calendar, bool tick, const QByteArray& data,
                      const QString& message) { QTest::newRow(tag) << calendar << tick << data << message; };
        const QByteArray data = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n";
        row("added to the calendar", "Work", true, data, QString());
        row("calendar gone: nothing sent", "Home", true, data, kGone);
        row("calendar file not UTF-8", "Work", true, QByteArray("BEGIN:VCALENDAR\r\nX:\xFF\r\n"), kAddError);
        row("tick off: the calendar application is left alone", "Work", false, data, QString());
    }
    void alsoToCalendar()
    {
        QFETCH(QString, calendar);
        QFETCH(bool, tick);
        QFETCH(QByteArray, data);
        QFETCH(QString, message);
        Library lib;
        lib.addCalendar("w.calendar", "Work", data);
        m_desktop->addProgram("osascript", true);
        m_desktop->addProgram("iCal");
        m_desktop->addProgram("kmail");
        m_desktop->setMailHandler("kmail.desktop", m_desktop->bin() + "/kmail %u");
        // The calendar application runs until it has been asked to quit.
        const QString quitAsked = m_desktop->bin() + "/osascript.call.0";
        Desktop::setRunningApplicationsProvider([quitAsked] {
            return QFile::exists(quitAsked) ? QStringList {"Finder"} : QStringList {"Finder", "iCal"};
        });
        aCalendar doc;
        doc.setData(QString::fromUtf8(kCalendar));
        QCOMPARE(doc.mailWindowMail({{"theInvitees", QVariant::fromValue(kTwo)},
                                     {"theOrg", "Org"},
                                     {"theEmail", "org@example.com"},
                                     {"selectedCal", calendar},
                                     {"iCalTick", tick},
                                     {"ict", tick}}),
                 message);
        const bool gone = message == kGone;
        QCOMPARE(m_desktop->calls("kmail", gone ? 0 : 1, gone ? 0 : 10000).size(), gone ? 0 : 1);
        QCOMPARE(m_desktop->calls("osascript", 0, 0).size(), tick && !gone ? 1 : 0);
        QCOMPARE(m_desktop->calls("iCal", tick && !gone ? 1 : 0, tick && !gone ? 10000 : 0).size(),
                 tick && !gone ? 1 : 0);
        if (tick && !gone)
            QCOMPARE(m_desktop->input("osascript"), QByteArray("tell application \"iCal\"\n quit\n end tell\n"));
        const QByteArray after = readFile(lib.dataFile("w.calendar"));
        if (tick && message.isEmpty()) {
            QCOMPARE(after,
                     "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nSEQUENCE:3\r\n"
                     "ATTENDEE;CN=\"Ann Lee\":mailto:ann@example.com\r\nATTENDEE;CN=\"Bo\":mailto:bo@example.com\r\n"
                     "DTSTAMP:20070301T120000Z\r\nSUMMARY:Review\r\nUID:r1\r\n"
                     "DTSTART;TZID=Europe/Paris:20070315T093000\r\nDURATION:PT1H30M\r\n"
                     "X-WR-ITIPSTATUSML;VALUE=TEXT:UNCLEAN\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        } else {
            QCOMPARE(after, data);
        }
    }
};

QTEST_GUILESS_MAIN(tst_mailBridge)
#include "tst_mailBridge.moc"
