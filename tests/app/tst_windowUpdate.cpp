// The window's version check against a canned server on 127.0.0.1: the automatic check at
// start-up (at most once a day, not at all when turned off), the menu item, and the version that
// both programs print.

#include "UpdateWindow.h"
#include "platform/PropertyList.h"
#include "updateCheck/cannedServer.h"
#include "updateCheck/updateTest.h"
#include "windowTestUtil.h"

#include <QAction>
#include <QProcess>

using testutil::Canned;
using testutil::CannedServer;
using windowtest::Window;

namespace
{
const QByteArray kPath = "/plist/tidewell.plist";
const int kWait = 10000 * int(testutil::kSlowdown);

QByteArray versionFile(const QString& version)
{
    return PropertyList::toXml(PropertyList::dict(
        {{"productVersion", PropertyList::string(version)},
         {"productDownloadURL", PropertyList::fromVariant(QVariantList {QStringLiteral("https://host/t.bin")})}}));
}

/// Quits the window's program and starts it again with the same settings.
void restart(Window& w)
{
    w.control.reset();
    w.control = std::make_unique<AppControl>();
    w->setCalendarListSource([] { return QStringList(); });
    w->awakeFromNib();
    w->applicationDidFinishLaunching();
}

bool checking(Window& w)
{
    return w->updateWindow() && w->updateWindow()->controller()->requestRunning();
}
} // namespace

class TestWindowUpdate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testutil::pinZone("Europe/Kyiv"); }
    void init() { testutil::pinClock("2024-03-10T09:00:00Z"); }
    void cleanupTestCase() { Clock::reset(); }

    // "versionCheck" "1": no request at start-up; the menu item still asks, and says so.
    void turnedOffStillChecksFromTheMenu()
    {
        CannedServer server;
        server.route(kPath, Canned::ok(versionFile(updateTest::runningVersion())));
        Window w({}, {{"versionCheck", "1"}, {"versionURL", server.url(kPath).toString()}});
        QVERIFY(!w->updateWindow());
        QTest::qWait(100);
        QVERIFY(server.requests.isEmpty());

        QAction* item = w->menuItem(AppControl::MenuItem::CheckVersion);
        QVERIFY(item->isEnabled());
        item->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(w->updateWindow()->windowTitle(), QStringLiteral("Tidewell - version check complete"),
                                  kWait);
        QCOMPARE(server.requests, QList<QByteArray> {kPath});
        QVERIFY(w->updateWindow()->isVisible());
        QCOMPARE(UserDefaults::standard().string("versionCheck"), QStringLiteral("1"));
    }

    // "versionCheck" "0": one request a day however often the program starts; only a different
    // published version shows the window.
    void automaticCheckOnceADay_data()
    {
        QTest::addColumn<QString>("published");
        QTest::addColumn<QString>("title");
        QTest::newRow("same version") << updateTest::runningVersion() << QString();
        QTest::newRow("newer version") << "99.0"
                                       << "Tidewell - version 99.0 now available";
    }
    void automaticCheckOnceADay()
    {
        QFETCH(QString, published);
        QFETCH(QString, title);
        CannedServer server;
        server.route(kPath, Canned::ok(versionFile(published)));
        Window w({}, {{"versionCheck", "0"}, {"versionURL", server.url(kPath).toString()}});
        QTRY_VERIFY_WITH_TIMEOUT(!checking(w), kWait);
        QCOMPARE(server.requests.size(), 1);
        QCOMPARE(w->updateWindow()->isVisible(), !title.isEmpty());
        if (!title.isEmpty())
            QCOMPARE(w->updateWindow()->windowTitle(), title);

        testutil::pinClock("2024-03-11T08:59:00Z"); // 23 h 59 min later
        restart(w);
        QVERIFY(!checking(w));
        QTest::qWait(100);
        QCOMPARE(server.requests.size(), 1);

        testutil::pinClock("2024-03-11T09:01:00Z"); // a day after the first check
        restart(w);
        QVERIFY(checking(w));
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 2, kWait);
    }

    // Both programs print the version the check compares.
    void bothProgramsPrintTheRunningVersion_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("name");
        QTest::newRow("window") << TIDEWELL_APP_PATH << "Tidewell";
        QTest::newRow("command line") << TIDEWELL_CLI_PATH << "tidewell-cli";
    }
    void bothProgramsPrintTheRunningVersion()
    {
        QFETCH(QString, program);
        QFETCH(QString, name);
        QProcess run;
        run.start(program, {QStringLiteral("--version")});
        QVERIFY(run.waitForFinished(kWait));
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(run.readAllStandardOutput()), name + ' ' + updateTest::runningVersion() + '\n');
    }
};

QTEST_MAIN(TestWindowUpdate)
#include "tst_windowUpdate.moc"
