// The version check and the download against a canned HTTP server on 127.0.0.1.

#include "platform/PropertyList.h"
#include "testutil.h"
#include "updateCheck/cannedServer.h"
#include "updateCheck/updateRequest.h"
#include "updateCheck/updateTest.h"
#include "updateCheck/versionDownload.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

using testutil::Canned;
using testutil::CannedServer;

namespace
{
const QString kRunning = QStringLiteral(TIDEWELL_VERSION);
const int kWait = 10000 * int(testutil::kSlowdown);

QByteArray versionFile(const QString& version, const QString& download, bool binary = false)
{
    const PropertyList::Node file
        = PropertyList::dict({{"productVersion", PropertyList::string(version)},
                              {"productDownloadURL",
                               PropertyList::fromVariant(QVariantList {download, QStringLiteral("https://mirror/")})}});
    return binary ? PropertyList::toBinary(file) : PropertyList::toXml(file);
}

QString failed(const QString& description)
{
    return QStringLiteral("The error reported was: \"%1\".").arg(description);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(no file)");
}
} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT
    std::unique_ptr<testutil::TempSettings> m_settings;

    // The check whose version file comes from @p server's "/plist/tidewell.plist".
    static QVariantMap dictFor(const CannedServer& server)
    {
        UserDefaults::standard().setValue("versionURL", server.url("/plist/tidewell.plist").toString());
        return updateTest::programDictionary();
    }

private Q_SLOTS:
    void initTestCase() { testutil::pinZone("Europe/Kyiv"); }
    void init()
    {
        m_settings = std::make_unique<testutil::TempSettings>();
        testutil::pinClock("2024-03-10T09:00:00Z");
    }
    void cleanup()
    {
        m_settings.reset();
        Clock::reset();
    }

    void figures_data()
    {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<qint64>("received");
        QTest::addColumn<QString>("state");
        QTest::newRow("a million bytes") << qint64(1000000) << qint64(2048) << "Receiving data.... (2 kb of 977 kb)";
        QTest::newRow("just under a kilobyte") << qint64(1023) << qint64(1023) << "Receiving data.... (0 kb of 1 kb)";
        QTest::newRow("one kilobyte") << qint64(1024) << qint64(1024) << "Receiving data.... (1 kb of 2 kb)";
        QTest::newRow("no length sent") << qint64(-1) << qint64(5000) << "Receiving data.... (4 kb of ? kb)";
    }
    void figures()
    {
        QFETCH(qint64, length);
        QFETCH(qint64, received);
        QFETCH(QString, state);
        QCOMPARE(versionDownload::receivingText(received, versionDownload::contentLengthText(length)), state);
    }

    void dueDates_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("due");
        const QDateTime now = QDateTime::fromString("2024-03-10T09:00:00Z", Qt::ISODate);
        QTest::newRow("missing") << QVariant() << true;
        QTest::newRow("passed") << QVariant(now.addSecs(-1)) << true;
        QTest::newRow("this moment") << QVariant(now) << false;
        QTest::newRow("tomorrow") << QVariant(now.addSecs(86400)) << false;
        QTest::newRow("not a date") << QVariant(QStringLiteral("soon")) << true;
        QTest::newRow("stored as ISO text") << QVariant(QStringLiteral("2024-03-11T09:00:00Z")) << false;
    }
    void dueDates()
    {
        QFETCH(QVariant, stored);
        QFETCH(bool, due);
        QCOMPARE(updateTest::automaticCheckDue(stored, Clock::now()), due);
    }

    void redirects_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("followed");
        QTest::newRow("https elsewhere") << "http://a.example/f"
                                         << "https://b.example/f" << true;
        QTest::newRow("http on the same host") << "https://a.example/f"
                                               << "http://A.example:8080/g" << true;
        QTest::newRow("http elsewhere") << "https://a.example/f"
                                        << "http://b.example/f" << false;
        QTest::newRow("another scheme") << "https://a.example/f"
                                        << "ftp://a.example/f" << false;
        QTest::newRow("a local file") << "https://a.example/f"
                                      << "file:///etc/passwd" << false;
    }
    void redirects()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, followed);
        QCOMPARE(UpdateRequest::redirectAllowed(QUrl(from), QUrl(to)), followed);
    }

    // A check asked for from the menu always ends with a shown result.
    void checkOnDemand_data()
    {
        QTest::addColumn<Canned>("answer");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("headline");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("download");

        const QString newer = QStringLiteral("Version %1 is now available for download from Quenlor.  To download "
                                             "just click on the download button below.");
        const QString failedTitle = "Tidewell - version check failed";
        const QString failedHead = "Tidewell version check failed";
        const QByteArray file = "http://127.0.0.1/get/tidewell-99.0.tar.gz";

        QTest::newRow("newer, XML") << Canned::ok(versionFile("99.0", file)) << "Tidewell - version 99.0 now available"
                                    << "Tidewell update available" << newer.arg("99.0") << true;
        QTest::newRow("lower, binary") << Canned::ok(versionFile("0.0.1", file, true))
                                       << "Tidewell - version 0.0.1 now available"
                                       << "Tidewell update available" << newer.arg("0.0.1") << true;
        QTest::newRow("equal") << Canned::ok(versionFile(kRunning, file)) << "Tidewell - version check complete"
                               << "Tidewell is up-to-date"
                               << QStringLiteral("You are using version %1, which is the most up-to-date version "
                                                 "of Tidewell.")
                                      .arg(kRunning)
                               << false;
        QTest::newRow("404") << Canned {404, "<html>gone</html>"} << failedTitle << failedHead
                             << "The error reported was!  Sorry about that.  The error is a  \"404\", whatever that "
                                "means!  Please try again later or report the error to Quenlor."
                             << false;
        QTest::newRow("garbage") << Canned::ok("<html>Welcome</html>") << failedTitle << failedHead
                                 << failed("The file at URL is not a version file.") << false;
        QTest::newRow("property list without a version")
            << Canned::ok(PropertyList::toXml(PropertyList::dict({{"other", PropertyList::string("1")}})))
            << failedTitle << failedHead << failed("The version file at URL names no version.") << false;
        Canned dropped;
        dropped.drop = true;
        QTest::newRow("dropped connection")
            << dropped << failedTitle << failedHead << failed("Connection closed") << false;
        Canned slow;
        slow.stall = true;
        QTest::newRow("slow server") << slow << failedTitle << failedHead
                                     << failed("The server did not answer within 0.3 seconds.") << false;
        QTest::newRow("far too big for a version file")
            << Canned::ok(QByteArray(3 << 19, ' ')) << failedTitle << failedHead
            << failed("The file is larger than 1 MB and was not downloaded.") << false;
        Canned cut = Canned::ok(versionFile("99.0", file));
        cut.sendBytes = 40;
        QTest::newRow("cut short") << cut << failedTitle << failedHead
                                   << failed(UpdateRequest::cutShortText(40, cut.body.size())) << false;
        QTest::newRow("redirect on the same host")
            << Canned::redirect("/moved.plist") << "Tidewell - version 99.0 now available"
            << "Tidewell update available" << newer.arg("99.0") << true;
        QTest::newRow("redirect to plain http elsewhere")
            << Canned::redirect("http://localhost:PORT/moved.plist") << failedTitle << failedHead
            << failed("The server redirected to http://localhost:PORT/moved.plist, which is neither a secure (https) "
                      "address nor on the same host; the redirect was not followed.")
            << false;
    }
    void checkOnDemand()
    {
        QFETCH(Canned, answer);
        QFETCH(QString, title);
        QFETCH(QString, headline);
        QFETCH(QString, message);
        QFETCH(bool, download);

        CannedServer server;
        const QByteArray port = QByteArray::number(server.serverPort());
        for (QByteArray& header : answer.headers)
            header.replace("PORT", port);
        message.replace("PORT", port);
        server.route("/plist/tidewell.plist", answer);
        server.route("/moved.plist", Canned::ok(versionFile("99.0", "http://127.0.0.1/get/tidewell-99.0.tar.gz")));
        updateTest check;
        check.setTimeout(300);
        QSignalSpy forward(&check, &updateTest::broughtForward);
        check.checkNewVersion(nullptr, dictFor(server));
        QCOMPARE(check.windowTitle(), QStringLiteral("Tidewell - version check"));
        QCOMPARE(check.progText(), QStringLiteral("Checking..."));
        QVERIFY(check.progIndicRunning() && check.progIndicVisible() && !check.downloadButtonEnabled());

        QTRY_VERIFY_WITH_TIMEOUT(!check.menuCheck(), kWait);
        QCOMPARE(check.windowTitle(), title);
        QCOMPARE(check.theMessageHeader(), headline);
        QCOMPARE(check.theMessage(), QString(message).replace("URL", server.url("/plist/tidewell.plist").toString()));
        QCOMPARE(check.downloadButtonEnabled(), download);
        QCOMPARE(check.progText(), QString());
        QVERIFY(!check.progIndicRunning() && !check.progIndicVisible() && check.windowVisible());
        QCOMPARE(forward.count(), 2);
        QVERIFY(!check.requestRunning());
        if (download)
            QCOMPARE(check.theProgDict().value("progDownload").toString(), "http://127.0.0.1/get/tidewell-99.0.tar.gz");
        QCOMPARE(server.requests.contains("/moved.plist"), QByteArray(QTest::currentDataTag()).contains("same host"));
    }

    // An automatic check shows only a different version; everything else stays silent.
    void automaticCheck_data()
    {
        QTest::addColumn<Canned>("answer");
        QTest::addColumn<bool>("shown");
        QTest::newRow("newer") << Canned::ok(versionFile("99.0", "http://127.0.0.1/x")) << true;
        QTest::newRow("equal") << Canned::ok(versionFile(kRunning, "http://127.0.0.1/x")) << false;
        QTest::newRow("404") << Canned {404} << false;
        QTest::newRow("garbage") << Canned::ok("not a property list") << false;
        Canned dropped;
        dropped.drop = true;
        QTest::newRow("dropped") << dropped << false;
    }
    void automaticCheck()
    {
        QFETCH(Canned, answer);
        QFETCH(bool, shown);
        CannedServer server;
        server.route("/plist/tidewell.plist", answer);
        updateTest check;
        QSignalSpy forward(&check, &updateTest::broughtForward);
        check.newVersion(dictFor(server));
        QVERIFY(check.requestRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!check.requestRunning(), kWait);
        QCOMPARE(forward.count(), shown ? 1 : 0);
        QCOMPARE(check.windowVisible(), shown);
        QCOMPARE(check.theMessageHeader(), shown ? QStringLiteral("Tidewell update available") : QString());
    }

    // "versionCheckDate" allows one automatic request a day; the menu always asks once.
    void oncePerDay()
    {
        CannedServer server;
        server.route("/plist/tidewell.plist", Canned::ok(versionFile(kRunning, "http://127.0.0.1/x")));
        const auto startUp = [&] {
            updateTest check;
            check.newVersion(dictFor(server));
            QTRY_VERIFY_WITH_TIMEOUT(!check.requestRunning(), kWait);
        };
        startUp();
        QCOMPARE(UserDefaults::standard().value("versionCheckDate").toDateTime(),
                 QDateTime::fromString("2024-03-11T09:00:00Z", Qt::ISODate));
        testutil::pinClock("2024-03-11T08:59:59Z");
        startUp();
        QCOMPARE(server.requests.size(), 1);

        updateTest menu;
        menu.checkNewVersion(nullptr, dictFor(server));
        QTRY_VERIFY_WITH_TIMEOUT(!menu.menuCheck(), kWait);
        QCOMPARE(server.requests.size(), 2);

        testutil::pinClock("2024-03-11T09:00:01Z");
        startUp();
        QCOMPARE(server.requests.size(), 3);
        QCOMPARE(UserDefaults::standard().value("versionCheckDate").toDateTime(),
                 QDateTime::fromString("2024-03-12T09:00:01Z", Qt::ISODate));
    }

    // With "versionCheck" "1" nothing is fetched at start-up; the menu still checks.
    void checkTurnedOff()
    {
        QVERIFY(updateTest::automaticCheckEnabled());
        QCOMPARE(UserDefaults::standard().value("versionCheck").toString(), "0");
        CannedServer server;
        server.route("/plist/tidewell.plist", Canned::ok(versionFile(kRunning, "http://127.0.0.1/x")));
        updateTest check;
        check.awakeFromNib();
        QVERIFY(!check.noCheck());
        check.checkBoxChange(true);
        QCOMPARE(UserDefaults::standard().value("versionCheck").toString(), "1");
        QVERIFY(!updateTest::automaticCheckEnabled());

        check.checkNewVersion(nullptr, dictFor(server));
        QTRY_VERIFY_WITH_TIMEOUT(!check.menuCheck(), kWait);
        QCOMPARE(check.theMessageHeader(), "Tidewell is up-to-date");
        QCOMPARE(server.requests.size(), 1);
        updateTest again;
        again.awakeFromNib();
        QVERIFY(again.noCheck());
    }

    void closeStopsTheCheck()
    {
        CannedServer server;
        Canned slow;
        slow.stall = true;
        server.route("/plist/tidewell.plist", slow);
        updateTest check;
        QSignalSpy closed(&check, &updateTest::closed);
        check.checkNewVersion(nullptr, dictFor(server));
        QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 1, kWait);
        check.closeBut();
        QVERIFY(!check.requestRunning() && !check.windowVisible() && !check.menuCheck());
        QCOMPARE(closed.count(), 1);
    }

    void download_data()
    {
        QTest::addColumn<Canned>("answer");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("address"); // empty: the server's file
        const QByteArray body = QByteArray(5000, 'x') + "end";
        QTest::newRow("complete") << Canned::ok(body) << QString() << QString();
        Canned noLength = Canned::ok(body);
        noLength.contentLength = -1;
        QTest::newRow("complete without a length") << noLength << QString() << QString();
        QTest::newRow("redirect on the same host") << Canned::redirect("/real.bin") << QString() << QString();
        Canned cut = Canned::ok(body);
        cut.sendBytes = 2000;
        QTest::newRow("cut short") << cut << failed(UpdateRequest::cutShortText(2000, body.size())) << QString();
        QTest::newRow("404") << Canned {404, "missing"} << failed("404") << QString();
        Canned huge = Canned::ok("");
        huge.contentLength = qint64(1) << 40;
        huge.stallAfter = true;
        QTest::newRow("announced too large")
            << huge << failed("The file is larger than 4096 bytes and was not downloaded.") << QString();
        Canned streamed = Canned::ok(body);
        streamed.contentLength = -1;
        QTest::newRow("streamed too large")
            << streamed << failed("The file is larger than 4096 bytes and was not downloaded.") << QString();
        QTest::newRow("redirect to plain http elsewhere")
            << Canned::redirect("http://localhost:PORT/real.bin")
            << failed("The server redirected to http://localhost:PORT/real.bin, which is neither a secure (https) "
                      "address nor on the same host; the redirect was not followed.")
            << QString();
        QTest::newRow("not a web address")
            << Canned::ok(body)
            << failed("The download address \"file:///etc/passwd\" is not an http or https address.")
            << "file:///etc/passwd";
        QTest::newRow("empty answer") << Canned::ok("") << failed("The server sent no data.") << QString();
    }
    void download()
    {
        QFETCH(Canned, answer);
        QFETCH(QString, error);
        QFETCH(QString, address);
        CannedServer server;
        const QByteArray port = QByteArray::number(server.serverPort());
        for (QByteArray& header : answer.headers)
            header.replace("PORT", port);
        error.replace("PORT", port);
        server.route("/get/tidewell.bin", answer);
        server.route("/real.bin", Canned::ok(QByteArray(5000, 'x') + "end"));
        QTemporaryDir dir;
        const QString path = dir.filePath("tidewell.bin");
        QNetworkAccessManager manager;
        versionDownload download(&manager);
        download.setTimeout(2000);
        if (QByteArray(QTest::currentDataTag()).contains("too large"))
            download.setSizeLimit(4096);
        QSignalSpy closed(&download, &versionDownload::sheetClosed);
        QStringList states;
        connect(&download, &versionDownload::changed, this, [&] { states << download.theStateMessage(); });
        const QString from = address.isEmpty() ? server.url("/get/tidewell.bin").toString() : address;
        download.getNewVersion({{"progName", "Tidewell"}, {"progDownload", from}}, path);
        QVERIFY(download.sheetOpen());
        if (address.isEmpty())
            QCOMPARE(download.theMessageHeader(), "Downloading Tidewell");

        if (error.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, kWait);
            QCOMPARE(readFile(path), QByteArray(5000, 'x') + "end");
            QVERIFY(states.contains("Writing to disk!"));
            QCOMPARE(download.theErrorMessage(), QString());
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!download.theErrorMessage().isEmpty(), kWait);
            QCOMPARE(download.theErrorMessage(), error);
            QCOMPARE(download.theMessageHeader(), "Tidewell version check failed");
            QVERIFY(download.sheetOpen() && !download.indicatorRunning());
            QTRY_VERIFY_WITH_TIMEOUT(!download.requestRunning(), kWait);
            QTest::qWait(50);
            QVERIFY(!QFile::exists(path));
            QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).size(), 0);
        }
        QCOMPARE(download.theStateMessage(), QString());
        QCOMPARE(server.requests.contains("/real.bin"), QByteArray(QTest::currentDataTag()).contains("same host"));
    }

    // The bar and the state text follow the kilobytes; the stop button leaves no file.
    void progressAndCancel()
    {
        CannedServer server;
        Canned partial = Canned::ok(QByteArray(1000000, 'p'));
        partial.sendBytes = 2048;
        partial.stallAfter = true;
        server.route("/get/tidewell.bin", partial);
        QTemporaryDir dir;
        const QString path = dir.filePath("tidewell.bin");
        QNetworkAccessManager manager;
        versionDownload download(&manager);
        QSignalSpy forward(&download, &versionDownload::resultWindowForward);
        download.getNewVersion({{"progName", "Tidewell"}, {"progDownload", server.url("/get/tidewell.bin").toString()}},
                               path);
        QTRY_COMPARE_WITH_TIMEOUT(download.theStateMessage(), QStringLiteral("Receiving data.... (2 kb of 977 kb)"),
                                  kWait);
        QCOMPARE(download.contentLength(), "977");
        QCOMPARE(download.indicatorMaximum(), 977);
        QCOMPARE(download.indicatorValue(), 2);
        download.downloadCancel();
        QVERIFY(!download.sheetOpen() && !download.requestRunning());
        QCOMPARE(download.theStateMessage(), QString());
        QCOMPARE(forward.count(), 1);
        QTest::qWait(50);
        QVERIFY(!QFile::exists(path));
    }

    void failedWrite()
    {
        CannedServer server;
        server.route("/get/tidewell.bin", Canned::ok("data"));
        QNetworkAccessManager manager;
        versionDownload download(&manager);
        download.getNewVersion({{"progName", "Tidewell"}, {"progDownload", server.url("/get/tidewell.bin").toString()}},
                               "/nonexistent-folder/tidewell.bin");
        QTRY_COMPARE_WITH_TIMEOUT(download.theErrorMessage(), QStringLiteral("Error writing to disk!"), kWait);
        QVERIFY(download.sheetOpen());
        QCOMPARE(download.theStateMessage(), QString());
    }
};

QTEST_GUILESS_MAIN(TestUpdateCheck)
#include "tst_updateCheck.moc"
