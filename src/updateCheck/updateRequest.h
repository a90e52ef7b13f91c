#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

/// One GET of the version check or the download, reported as four events on the thread that
/// started it: the final response (once, after any redirects), each piece of the body, and then
/// exactly one of failure or end.
///
/// Guards that the two requests share:
/// - only http and https addresses are fetched;
/// - a redirect is followed only to an https address or to the host of the address it came from;
/// - a body larger than maxBytes (by its "Content-Length" or by what arrives) is refused;
/// - a body shorter than its "Content-Length" is a failure, never an end;
/// - the request fails when nothing arrives for timeoutMs milliseconds.
/// Failures carry a description for the user; a cancelled request reports nothing more.
/// The body is asked for without compression, so "Content-Length" counts the bytes delivered.
class UpdateRequest : public QObject
{
    Q_OBJECT
public:
    UpdateRequest(QNetworkAccessManager* manager, const QUrl& url, int timeoutMs, qint64 maxBytes,
                  QObject* parent = nullptr);
    ~UpdateRequest() override;

    /// Sends the request. False (and no events) when the address is not an http or https URL.
    bool start();
    /// Stops the request; no event follows.
    void cancel();

    /// The final status code (0 before the response).
    int status() const { return m_status; }
    /// The "Content-Length" of the final response, -1 when the server sent none.
    qint64 contentLength() const { return m_contentLength; }
    qint64 received() const { return m_received; }

    /// Whether a redirect from @p from to @p to (absolute) is followed: to any https address,
    /// or to an http address on the same host.
    static bool redirectAllowed(const QUrl& from, const QUrl& to);
    /// "1 GB", "1 MB" or "N bytes": how the limits are named in messages.
    static QString sizeText(qint64 bytes);
    /// The description of a transfer that ended before its announced length.
    static QString cutShortText(qint64 received, qint64 expected);

Q_SIGNALS:
    void didReceiveResponse(int status);
    void didReceiveData(const QByteArray& piece);
    void didFailWithError(const QString& description);
    void didFinishLoading();

private:
    void onMetaData();
    void onReadyRead();
    void onRedirected(const QUrl& target);
    void onFinished();
    void onTimeout();
    /// True while the reply holds a redirect that is about to be followed or refused.
    bool isRedirectHop() const;
    /// Reports the response once, when the final status is known.
    void reportResponse();
    /// Stops the transfer and makes @p description the failure reported at its end.
    void refuse(const QString& description);

    QNetworkAccessManager* m_manager;
    QUrl m_url;
    QUrl m_current; // the address of the last hop
    int m_timeoutMs;
    qint64 m_maxBytes;
    QPointer<QNetworkReply> m_reply;
    QTimer m_idle;
    int m_status = 0;
    qint64 m_contentLength = -1;
    qint64 m_received = 0;
    bool m_responded = false;
    QString m_refusal;
};
