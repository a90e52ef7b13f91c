#include "updateCheck/updateTest.h"

#include "platform/Clock.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "updateCheck/updateRequest.h"
#include "updateCheck/versionDownload.h"

#include <QNetworkAccessManager>
#include <QUrl>

#include <optional>
#include <utility>

namespace
{
const QString kVersionCheck = QStringLiteral("versionCheck");
const QString kVersionCheckDate = QStringLiteral("versionCheckDate");
/// Where the published version file lives unless "versionURL" names another address.
const QString kPublishedVersionFile = QStringLiteral("https://www.quenlor.example/plist/tidewell.plist");
/// A version file is a few hundred bytes; anything this big is not one.
constexpr qint64 kMaxVersionFile = qint64(1) << 20;
constexpr qint64 kOneDay = 86400;

void storeMissingCheckSetting()
{
    UserDefaults& defaults = UserDefaults::standard();
    if (!defaults.contains(kVersionCheck)) {
        defaults.setValue(kVersionCheck, QStringLiteral("0"));
        defaults.sync();
    }
}

/// The first download address: the first text of the list (a lone text is taken as well).
QString firstDownloadAddress(const PropertyList::Node& urls)
{
    if (urls.type == PropertyList::Node::Type::String)
        return urls.toString();
    return urls.elements.isEmpty() ? QString() : urls.elements.first().toString();
}
} // namespace

updateTest::updateTest(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_doDownload(new versionDownload(m_manager, this))
{
}

updateTest::~updateTest() = default;

QVariantMap updateTest::programDictionary()
{
    return {{QStringLiteral("progName"), QStringLiteral("Tidewell")}, {QStringLiteral("progPlist"), versionFileURL()}};
}

QString updateTest::versionFileURL()
{
    const QString configured = UserDefaults::standard().value(QStringLiteral("versionURL")).toString().trimmed();
    return configured.isEmpty() ? kPublishedVersionFile : configured;
}

QString updateTest::runningVersion()
{
    return QStringLiteral(TIDEWELL_VERSION);
}

bool updateTest::isNewer(const QString& published, const QString& running)
{
    return published != running;
}

bool updateTest::automaticCheckEnabled()
{
    storeMissingCheckSetting();
    return UserDefaults::standard().value(kVersionCheck).toString() == QLatin1String("0");
}

bool updateTest::automaticCheckDue(const QVariant& storedDate, const QDateTime& now)
{
    const QDateTime next = storedDate.toDateTime();
    return !next.isValid() || now.msecsTo(next) < 0;
}

void updateTest::awakeFromNib()
{
    storeMissingCheckSetting();
    m_noCheck = UserDefaults::standard().value(kVersionCheck).toString() != QLatin1String("0");
    Q_EMIT changed();
}

void updateTest::checkBoxChange(bool on)
{
    m_noCheck = on;
    UserDefaults::standard().setValue(kVersionCheck, QString::number(on ? 1 : 0));
    UserDefaults::standard().sync();
    Q_EMIT changed();
}

void updateTest::newVersion(const QVariantMap& dict)
{
    m_theProgDict = dict;
    UserDefaults& defaults = UserDefaults::standard();
    const QDateTime now = Clock::now();
    bool started = false;
    if (automaticCheckDue(defaults.value(kVersionCheckDate), now)) {
        defaults.setValue(kVersionCheckDate, now.addSecs(kOneDay));
        defaults.sync();
        newVersionCheck();
        started = true;
    }
    if (m_menuCheck) {
        if (!defaults.contains(kVersionCheckDate)) {
            defaults.setValue(kVersionCheckDate, now.addSecs(kOneDay));
            defaults.sync();
        }
        if (!started)
            newVersionCheck();
    }
}

void updateTest::checkNewVersion(QObject* sender, const QVariantMap& theDict)
{
    Q_UNUSED(sender);
    m_menuCheck = true;
    m_downloadButton = false;
    m_theProgDict = theDict;
    m_windowTitle = QStringLiteral("%1 - version check").arg(progName());
    m_theMessage.clear();
    m_theMessageHeader.clear();
    m_progText = QStringLiteral("Checking...");
    m_progIndicVisible = true;
    m_progIndicRunning = true;
    bringForward();
    newVersion(theDict);
}

void updateTest::newVersionCheck()
{
    dropConnection();
    m_responseOK = false;
    const QString address = m_theProgDict.value(QStringLiteral("progPlist")).toString();
    auto* request = new UpdateRequest(m_manager, QUrl(address), m_timeout, kMaxVersionFile, this);
    connect(request, &UpdateRequest::didReceiveResponse, this, &updateTest::connectionDidReceiveResponse);
    connect(request, &UpdateRequest::didReceiveData, this, &updateTest::connectionDidReceiveData);
    connect(request, &UpdateRequest::didFailWithError, this, &updateTest::connectionDidFailWithError);
    connect(request, &UpdateRequest::didFinishLoading, this, &updateTest::connectionDidFinishLoading);
    m_theConnection = request;
    if (request->start()) {
        m_receivedData.clear();
        return;
    }
    m_theConnection = nullptr;
    request->deleteLater();
    showFailure(
        QStringLiteral("The error reported was: \"%1\".")
            .arg(QStringLiteral("The version file's address \"%1\" is not an http or https address.").arg(address)));
}

bool updateTest::requestRunning() const
{
    return !m_theConnection.isNull();
}

void updateTest::connectionDidReceiveResponse(int status)
{
    m_responseOK = status == 200;
    if (m_responseOK)
        return;
    // An error page is no version file: nothing more of it is needed.
    dropConnection();
    showFailure(QStringLiteral("The error reported was!  Sorry about that.  The error is a  \"%1\", whatever that "
                               "means!  Please try again later or report the error to Quenlor.")
                    .arg(status));
}

void updateTest::connectionDidReceiveData(const QByteArray& piece)
{
    m_receivedData.append(piece);
    if (m_menuCheck) {
        m_progText = QStringLiteral("Receiving data....");
        Q_EMIT changed();
    }
}

void updateTest::connectionDidFailWithError(const QString& description)
{
    dropConnection();
    m_receivedData.clear();
    showFailure(QStringLiteral("The error reported was: \"%1\".").arg(description));
}

void updateTest::connectionDidFinishLoading()
{
    dropConnection();
    const QByteArray body = std::exchange(m_receivedData, QByteArray());
    if (!m_responseOK)
        return;
    const std::optional<PropertyList::Node> plist = PropertyList::parse(body);
    const QString published = plist ? plist->value(QStringLiteral("productVersion")).toString() : QString();
    if (published.isEmpty()) {
        // An automatic check stays silent; a check on demand must not be left at "Checking...".
        const QString address = m_theProgDict.value(QStringLiteral("progPlist")).toString();
        showFailure(QStringLiteral("The error reported was: \"%1\".")
                        .arg(plist ? QStringLiteral("The version file at %1 names no version.").arg(address)
                                   : QStringLiteral("The file at %1 is not a version file.").arg(address)));
        return;
    }
    const QString running = runningVersion();
    if (isNewer(published, running)) {
        const QString download = firstDownloadAddress(plist->value(QStringLiteral("productDownloadURL")));
        m_theProgDict.insert(QStringLiteral("progDownload"), download);
        m_menuCheck = false;
        m_downloadButton = !download.isEmpty();
        m_windowTitle = QStringLiteral("%1 - version %2 now available").arg(progName(), published);
        m_theMessage = QStringLiteral("Version %1 is now available for download from Quenlor.  To download just "
                                      "click on the download button below.")
                           .arg(published);
        m_theMessageHeader = QStringLiteral("%1 update available").arg(progName());
        m_progText.clear();
        stopIndicator();
        bringForward();
        return;
    }
    if (!m_menuCheck)
        return;
    m_menuCheck = false;
    m_downloadButton = false;
    m_windowTitle = QStringLiteral("%1 - version check complete").arg(progName());
    m_theMessage = QStringLiteral("You are using version %1, which is the most up-to-date version of %2.")
                       .arg(running, progName());
    m_theMessageHeader = QStringLiteral("%1 is up-to-date").arg(progName());
    m_progText.clear();
    stopIndicator();
    bringForward();
}

void updateTest::showFailure(const QString& message)
{
    if (!m_menuCheck)
        return;
    m_menuCheck = false;
    m_downloadButton = false;
    m_windowTitle = QStringLiteral("%1 - version check failed").arg(progName());
    m_theMessage = message;
    m_theMessageHeader = QStringLiteral("%1 version check failed").arg(progName());
    m_progText.clear();
    stopIndicator();
    bringForward();
}

void updateTest::closeBut()
{
    m_menuCheck = false;
    dropConnection();
    m_windowVisible = false;
    Q_EMIT changed();
    Q_EMIT closed();
}

void updateTest::downloadBut()
{
    m_menuCheck = false;
    const QUrl download(m_theProgDict.value(QStringLiteral("progDownload")).toString());
    Q_EMIT savePanelWanted(download.fileName());
}

void updateTest::savePanelDidEnd(const QString& path)
{
    if (path.isEmpty())
        return;
    m_doDownload->getNewVersion(m_theProgDict, path);
}

void updateTest::setTimeout(int milliseconds)
{
    m_timeout = milliseconds;
    m_doDownload->setTimeout(milliseconds);
}

void updateTest::dropConnection()
{
    if (UpdateRequest* request = m_theConnection) {
        m_theConnection = nullptr;
        request->cancel();
        request->deleteLater();
    }
}

void updateTest::stopIndicator()
{
    m_progIndicRunning = false;
    m_progIndicVisible = false;
}

void updateTest::bringForward()
{
    m_windowVisible = true;
    Q_EMIT changed();
    Q_EMIT broughtForward();
}

QString updateTest::progName() const
{
    return m_theProgDict.value(QStringLiteral("progName")).toString();
}
