#include "updateCheck/versionDownload.h"

#include "platform/SafeFile.h"
#include "updateCheck/updateRequest.h"

#include <QTimer>
#include <QUrl>

#include <utility>

versionDownload::versionDownload(QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent)
    , m_manager(manager)
{
}

versionDownload::~versionDownload() = default;

qint64 versionDownload::kilobytes(qint64 bytes)
{
    return bytes / 1024;
}

QString versionDownload::contentLengthText(qint64 length)
{
    return length < 0 ? QStringLiteral("?") : QString::number(kilobytes(length) + 1);
}

QString versionDownload::receivingText(qint64 receivedBytes, const QString& contentLength)
{
    return QStringLiteral("Receiving data.... (%1 kb of %2 kb)")
        .arg(QString::number(kilobytes(receivedBytes)), contentLength);
}

void versionDownload::getNewVersion(const QVariantMap& dict, const QString& saveAt)
{
    dropConnection();
    m_doDownLoad = true;
    m_fileLocation = saveAt;
    m_theProgDict = dict;
    m_theMessageHeader = QStringLiteral("Downloading %1").arg(progName());
    m_theStateMessage.clear();
    m_theErrorMessage.clear();
    m_sheetOpen = true;
    Q_EMIT changed();
    Q_EMIT sheetOpened();
    startDownLoad();
}

void versionDownload::startDownLoad()
{
    dropConnection();
    ++m_generation;
    m_downloadOK = false;
    m_contentLength.clear();
    m_indicatorMaximum = 0;
    m_indicatorValue = 0;
    m_indicatorRunning = true;
    const QString address = m_theProgDict.value(QStringLiteral("progDownload")).toString();
    auto* request = new UpdateRequest(m_manager, QUrl(address), m_timeout, m_sizeLimit, this);
    connect(request, &UpdateRequest::didReceiveResponse, this, &versionDownload::connectionDidReceiveResponse);
    connect(request, &UpdateRequest::didReceiveData, this, &versionDownload::connectionDidReceiveData);
    connect(request, &UpdateRequest::didFailWithError, this, &versionDownload::connectionDidFailWithError);
    connect(request, &UpdateRequest::didFinishLoading, this, &versionDownload::connectionDidFinishLoading);
    m_theConnection = request;
    if (request->start()) {
        m_receivedData.clear();
        Q_EMIT changed();
        return;
    }
    dropConnection();
    showError(QStringLiteral("The error reported was: \"%1\".")
                  .arg(QStringLiteral("The download address \"%1\" is not an http or https address.").arg(address)));
}

bool versionDownload::requestRunning() const
{
    return !m_theConnection.isNull();
}

void versionDownload::connectionDidReceiveResponse(int status)
{
    if (status != 200) {
        // The body of an error page is not the file; stop receiving it.
        dropConnection();
        m_downloadOK = false;
        m_theStateMessage.clear();
        showError(QStringLiteral("The error reported was: \"%1\".").arg(status));
        return;
    }
    m_downloadOK = true;
    const qint64 length = m_theConnection ? m_theConnection->contentLength() : -1;
    m_contentLength = contentLengthText(length);
    m_indicatorMaximum = length < 0 ? 0 : int(kilobytes(length) + 1);
    Q_EMIT changed();
}

void versionDownload::connectionDidReceiveData(const QByteArray& piece)
{
    if (!m_doDownLoad) {
        dropConnection();
        return;
    }
    m_receivedData.append(piece);
    m_theStateMessage = receivingText(m_receivedData.size(), m_contentLength);
    m_indicatorValue = int(kilobytes(m_receivedData.size()));
    Q_EMIT changed();
}

void versionDownload::connectionDidFailWithError(const QString& description)
{
    dropConnection();
    m_receivedData.clear();
    m_theStateMessage.clear();
    showError(QStringLiteral("The error reported was: \"%1\".").arg(description));
}

void versionDownload::connectionDidFinishLoading()
{
    dropConnection();
    m_theStateMessage.clear();
    if (!m_downloadOK || !m_doDownLoad) {
        m_receivedData.clear();
        Q_EMIT changed();
        return;
    }
    if (m_receivedData.isEmpty()) {
        // Writing nothing without a word would look like a finished download.
        showError(QStringLiteral("The error reported was: \"%1\".").arg(QStringLiteral("The server sent no data.")));
        return;
    }
    m_theStateMessage = QStringLiteral("Writing to disk!");
    Q_EMIT changed();
    // One turn of the event loop lets the sheet show the text before a long write.
    QTimer::singleShot(0, this, [this, generation = m_generation] {
        if (generation == m_generation && m_doDownLoad)
            writeToDisk();
    });
}

void versionDownload::writeToDisk()
{
    const QByteArray bytes = std::exchange(m_receivedData, QByteArray());
    QString error;
    if (!SafeFile::writeFile(m_fileLocation, bytes, &error)) {
        qWarning("%s", qPrintable(error));
        m_theStateMessage.clear();
        m_theErrorMessage = QStringLiteral("Error writing to disk!");
        Q_EMIT changed();
        return;
    }
    m_theStateMessage.clear();
    m_theErrorMessage.clear();
    m_sheetOpen = false;
    Q_EMIT changed();
    Q_EMIT sheetClosed();
    Q_EMIT resultWindowForward();
}

void versionDownload::downloadCancel()
{
    m_doDownLoad = false;
    ++m_generation;
    dropConnection();
    m_receivedData.clear();
    m_theStateMessage.clear();
    m_theErrorMessage.clear();
    m_sheetOpen = false;
    Q_EMIT changed();
    Q_EMIT sheetClosed();
    Q_EMIT resultWindowForward();
}

void versionDownload::showError(const QString& errorText)
{
    m_theErrorMessage = errorText;
    m_theMessageHeader = QStringLiteral("%1 version check failed").arg(progName());
    m_indicatorRunning = false;
    Q_EMIT changed();
}

void versionDownload::dropConnection()
{
    if (UpdateRequest* request = m_theConnection) {
        m_theConnection = nullptr;
        request->cancel();
        request->deleteLater();
    }
}

QString versionDownload::progName() const
{
    return m_theProgDict.value(QStringLiteral("progName")).toString();
}
