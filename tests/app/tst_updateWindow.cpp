// The version check's result window and the download sheet, offscreen, against a local server.

#include "Dialogs.h"
#include "DownloadSheet.h"
#include "UpdateWindow.h"
#include "platform/PropertyList.h"
#include "testutil.h"
#include "updateCheck/cannedServer.h"
#include "updateCheck/updateTest.h"
#include "updateCheck/versionDownload.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using testutil::Canned;
using testutil::CannedServer;

namespace
{
const int kWait = 10000 * int(testutil::kSlowdown);

QAbstractButton* button(QWidget* window, const QString& text)
{
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

bool showsLabel(QWidget* window, const QString& text)
{
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->text() == text && label->accessibleName() == text)
            return true;
    }
    return false;
}
} // namespace

class TestUpdateWindow : public QObject
{
    Q_OBJECT
    std::unique_ptr<testutil::TempSettings> m_settings;
    std::unique_ptr<CannedServer> m_server;

    // A newer version published, its file at "/get/tidewell-99.0.bin".
    QVariantMap publish(const Canned& file)
    {
        m_server = std::make_unique<CannedServer>();
        const PropertyList::Node plist = PropertyList::dict(
            {{"productVersion", PropertyList::string("99.0")},
             {"productDownloadURL",
              PropertyList::fromVariant(QVariantList {m_server->url("/get/tidewell-99.0.bin").toString()})}});
        m_server->route("/plist/tidewell.plist", Canned::ok(PropertyList::toBinary(plist)));
        m_server->route("/get/tidewell-99.0.bin", file);
        UserDefaults::standard().setValue("versionURL", m_server->url("/plist/tidewell.plist").toString());
        return updateTest::programDictionary();
    }

private Q_SLOTS:
    void init()
    {
        testutil::pinClock("2024-03-10T09:00:00Z");
        m_settings = std::make_unique<testutil::TempSettings>();
        Dialogs::resetForTests();
    }
    void cleanup()
    {
        m_server.reset();
        m_settings.reset();
        Clock::reset();
    }

    // Assistive technology reads the visible labels and the tooltips.
    void controlsCarryLabels()
    {
        UpdateWindow window;
        QList<QWidget*> controls;
        for (QAbstractButton* b : window.findChildren<QAbstractButton*>())
            controls << b;
        for (QProgressBar* p : window.findChildren<QProgressBar*>())
            controls << p;
        QCOMPARE(controls.size(), 6); // tick box, download, close, stop; indicator, download bar
        for (QWidget* c : controls) {
            const auto* b = qobject_cast<QAbstractButton*>(c);
            QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
            if (b)
                QCOMPARE(c->accessibleName(), b->text());
            QVERIFY(!c->toolTip().isEmpty());
            QCOMPARE(c->accessibleDescription(), c->toolTip());
        }
    }

    void checkDownloadAndClose()
    {
        const QByteArray file = QByteArray(3000, 'z') + "last";
        UpdateWindow window;
        QSignalSpy panel(window.controller(), &updateTest::savePanelWanted);
        window.controller()->checkNewVersion(nullptr, publish(Canned::ok(file)));
        QVERIFY(window.isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(window.windowTitle(), QStringLiteral("Tidewell - version 99.0 now available"), kWait);
        QVERIFY(showsLabel(&window, "Tidewell update available"));
        QAbstractButton* download = button(&window, "Download");
        QVERIFY(download->isEnabled());

        QTemporaryDir dir;
        const QString path = dir.filePath("saved.bin");
        Dialogs::queueAnswer(path);
        download->click();
        QCOMPARE(panel.takeFirst().value(0).toString(), "tidewell-99.0.bin");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), kWait);
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), file);
        QTRY_VERIFY(!window.sheet()->isVisible());
        QCOMPARE(Dialogs::log(), QStringList {"save: Save the new version"});

        button(&window, "Do not check for a new version at start-up")->click();
        QCOMPARE(UserDefaults::standard().value("versionCheck").toString(), "1");
        window.close();
        QVERIFY(!window.isVisible());
    }

    void stopLeavesNoFile()
    {
        Canned partial = Canned::ok(QByteArray(1000000, 'p'));
        partial.sendBytes = 2048;
        partial.stallAfter = true;
        UpdateWindow window;
        window.controller()->checkNewVersion(nullptr, publish(partial));
        QTRY_VERIFY_WITH_TIMEOUT(button(&window, "Download")->isEnabled(), kWait);
        QTemporaryDir dir;
        const QString path = dir.filePath("saved.bin");
        Dialogs::queueAnswer(path);
        button(&window, "Download")->click();
        QTRY_VERIFY_WITH_TIMEOUT(showsLabel(window.sheet(), "Receiving data.... (2 kb of 977 kb)"), kWait);
        QVERIFY(window.sheet()->isVisible());
        QCOMPARE(window.sheet()->findChild<QProgressBar*>()->maximum(), 977);
        window.sheet()->stopButton()->click();
        QVERIFY(!window.sheet()->isVisible());
        QVERIFY(window.isVisible());
        QTest::qWait(50);
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(TestUpdateWindow)
#include "tst_updateWindow.moc"
