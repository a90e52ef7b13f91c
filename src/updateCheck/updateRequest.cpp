#include "updateCheck/updateRequest.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace
{
bool fetchable(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

/// Qt reports an HTTP error status as a reply error too; those are answers, not failures.
bool transportFailure(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    const bool fromStatus = (code > 200 && code < 300) || (code > 400 && code < 500);
    return error != QNetworkReply::NoError && !fromStatus;
}
} // namespace

UpdateRequest::UpdateRequest(QNetworkAccessManager* manager, const QUrl& url, int timeoutMs, qint64 maxBytes,
                             QObject* parent)
    : QObject(parent)
    , m_manager(manager)
    , m_url(url)
    , m_current(url)
    , m_timeoutMs(timeoutMs)
    , m_maxBytes(maxBytes)
{
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &UpdateRequest::onTimeout);
}

UpdateRequest::~UpdateRequest()
{
    cancel();
}

bool UpdateRequest::start()
{
    if (m_reply || !fetchable(m_url))
        return false;
    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(10);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    request.setRawHeader("Accept-Encoding", "identity");
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Tidewell/" TIDEWELL_VERSION));
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &UpdateRequest::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateRequest::onReadyRead);
    connect(m_reply, &QNetworkReply::redirected, this, &UpdateRequest::onRedirected);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateRequest::onFinished);
    m_idle.start(m_timeoutMs);
    return true;
}

void UpdateRequest::cancel()
{
    m_idle.stop();
    if (!m_reply)
        return;
    QNetworkReply* reply = m_reply;
    m_reply.clear();
    reply->disconnect(this);
    // A reply with an error status (Qt reports it as an error of its own) is stopped by its
    // deletion; aborting it would report a second error.
    if (reply->error() == QNetworkReply::NoError
        && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() < 400)
        reply->abort();
    reply->deleteLater();
}

bool UpdateRequest::redirectAllowed(const QUrl& from, const QUrl& to)
{
    if (!fetchable(to))
        return false;
    return to.scheme() == QLatin1String("https") || to.host().compare(from.host(), Qt::CaseInsensitive) == 0;
}

QString UpdateRequest::sizeText(qint64 bytes)
{
    if (bytes > 0 && bytes % (qint64(1) << 30) == 0)
        return QStringLiteral("%1 GB").arg(bytes >> 30);
    if (bytes > 0 && bytes % (qint64(1) << 20) == 0)
        return QStringLiteral("%1 MB").arg(bytes >> 20);
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString UpdateRequest::cutShortText(qint64 received, qint64 expected)
{
    return QStringLiteral("The transfer was cut short: %1 of %2 bytes arrived.").arg(received).arg(expected);
}

void UpdateRequest::onMetaData()
{
    if (!m_reply)
        return;
    m_idle.start(m_timeoutMs);
    // A redirect's own headers are not the answer; the answer comes from the last hop. (A
    // redirect that is not followed ends the reply, which then reports its status.)
    if (!isRedirectHop())
        reportResponse();
}

bool UpdateRequest::isRedirectHop() const
{
    const int status = m_reply ? m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
    return status >= 300 && status < 400 && m_reply->hasRawHeader("Location");
}

void UpdateRequest::reportResponse()
{
    if (m_responded || !m_reply)
        return;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    m_responded = true;
    m_status = status.toInt();
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    m_contentLength = length.isValid() ? length.toLongLong() : -1;
    Q_EMIT didReceiveResponse(m_status);
    if (m_reply && m_contentLength > m_maxBytes)
        refuse(QStringLiteral("The file is larger than %1 and was not downloaded.").arg(sizeText(m_maxBytes)));
}

void UpdateRequest::onReadyRead()
{
    if (!m_reply)
        return;
    m_idle.start(m_timeoutMs);
    if (!isRedirectHop())
        reportResponse();
    if (!m_reply || !m_responded)
        return;
    const QByteArray piece = m_reply->readAll();
    if (piece.isEmpty())
        return;
    if (m_received + piece.size() > m_maxBytes) {
        refuse(QStringLiteral("The file is larger than %1 and was not downloaded.").arg(sizeText(m_maxBytes)));
        return;
    }
    m_received += piece.size();
    Q_EMIT didReceiveData(piece);
}

void UpdateRequest::onRedirected(const QUrl& target)
{
    if (!m_reply)
        return;
    const QUrl next = m_current.resolved(target);
    if (!redirectAllowed(m_current, next)) {
        refuse(QStringLiteral("The server redirected to %1, which is neither a secure (https) address nor on the "
                              "same host; the redirect was not followed.")
                   .arg(next.toDisplayString()));
        return;
    }
    m_current = next;
    Q_EMIT m_reply->redirectAllowed();
}

void UpdateRequest::onTimeout()
{
    refuse(QStringLiteral("The server did not answer within %1 seconds.").arg(m_timeoutMs / 1000.0));
}

void UpdateRequest::refuse(const QString& description)
{
    if (!m_reply)
        return;
    if (m_refusal.isEmpty())
        m_refusal = description;
    m_reply->abort(); // finishes the reply, which reports the refusal
}

void UpdateRequest::onFinished()
{
    m_idle.stop();
    if (!m_reply)
        return;
    if (m_refusal.isEmpty()) {
        // Body bytes that came with the end are still to be taken; a receiver may cancel.
        if (m_reply->bytesAvailable() > 0)
            onReadyRead();
        if (m_refusal.isEmpty())
            reportResponse();
        if (!m_reply)
            return;
    }
    QNetworkReply* reply = m_reply;
    m_reply.clear();
    reply->disconnect(this);
    reply->deleteLater();

    if (!m_refusal.isEmpty()) {
        Q_EMIT didFailWithError(m_refusal);
        return;
    }
    const bool cutShort = m_responded && m_contentLength >= 0 && m_received < m_contentLength;
    if (transportFailure(reply->error())) {
        Q_EMIT didFailWithError(cutShort ? cutShortText(m_received, m_contentLength) : reply->errorString());
        return;
    }
    if (!m_responded) {
        Q_EMIT didFailWithError(QStringLiteral("The server sent no answer."));
        return;
    }
    if (cutShort) {
        Q_EMIT didFailWithError(cutShortText(m_received, m_contentLength));
        return;
    }
    Q_EMIT didFinishLoading();
}
