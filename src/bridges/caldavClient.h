#pragma once

// Talking to one CalDAV account: requests through QNetworkAccessManager (TLS, Basic and Digest
// authentication, redirects followed by hand so that PROPFIND and REPORT stay what they are,
// a time-out), at most six at once; and the three conversations built on them: finding the
// account's calendars, reading a calendar's events and putting new events in.

#include "bridges/caldavProtocol.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QAuthenticator;

namespace caldav
{
/// What came back for one request.
struct Reply
{
    /// The HTTP status; 0 when no answer came (then failure says why).
    int status = 0;
    QString reason;
    QByteArray body;
    /// The address that answered, after any redirects.
    QUrl url;
    /// Empty when the server answered; otherwise why it did not, for the user ("the server could
    /// not be reached: Connection refused", "the server did not answer within 60 seconds").
    QString failure;
    /// Why the answer broke off after its status ("" when it came whole); body holds what
    /// arrived.
    QString brokeOff;

    bool answered() const { return failure.isEmpty(); }
    bool ok() const { return answered() && status >= 200 && status <= 299; }
    /// The failure, or the status as "the server answered 404 Not Found".
    QString problem() const;
};

/// The requests of one account. Callbacks run on the thread that owns the connection, after
/// send() has returned; none runs once the connection is cancelled or destroyed.
class Connection : public QObject
{
    Q_OBJECT
public:
    /// How many requests run at once.
    static constexpr int kParallel = 6;
    /// Milliseconds a request may go without any byte moving before it fails (60 seconds);
    /// tests shorten it.
    static int timeoutMs;
    /// Largest answer taken (256 MB): a calendar of a hundred thousand events is a tenth of that.
    static qint64 maxAnswerBytes;

    Connection(const QString& user, const QString& password, QObject* parent = nullptr);
    ~Connection() override;

    using Done = std::function<void(const Reply&)>;
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    /// Queues @p verb on @p url with @p body. A redirect is followed (at most five times) with
    /// the same verb and body, to any https address or to an http address on the same host.
    void send(const QByteArray& verb, const QUrl& url, const QByteArray& body, const Headers& headers, Done done);
    /// Drops the queued requests and aborts the running ones; their callbacks are not called.
    void cancelAll();
    /// True once a request was refused for the user name or password.
    bool credentialsRefused() const { return m_refused; }

private:
    struct Request
    {
        QByteArray verb;
        QUrl url;
        QByteArray body;
        Headers headers;
        Done done;
        int hops = 0;
        /// Sent with the credentials (a refusal is then final).
        bool authenticated = false;
    };
    void pump();
    void start(Request request);
    void finish(QNetworkReply* reply);
    void authenticate(QNetworkReply* reply, QAuthenticator* authenticator);
    /// Takes a first 401 as the server's challenge: true when @p request is to go again with
    /// the credentials (Basic sent by us from now on, anything else answered by Qt).
    bool answerChallenge(QNetworkReply* reply, Request& request);

    QNetworkAccessManager* m_manager;
    QString m_user;
    QString m_password;
    QQueue<Request> m_queue;
    QHash<QNetworkReply*, Request> m_running;
    /// The Authorization header for the origins that asked for Basic.
    QHash<QString, QByteArray> m_basic;
    /// The origins whose challenges Qt answers.
    QSet<QString> m_qtAnswers;
    bool m_refused = false;
};

/// One calendar of an account, as discovery found it.
struct Calendar
{
    QString account;
    /// The collection's address, ending in "/".
    QUrl url;
    QString displayName;
    /// nullopt: the server did not say which components it takes (then any).
    std::optional<QStringList> components;
    /// The name the calendar list shows (made from the display name, see assignTitles()).
    QString title;

    bool takesEvents() const { return !components || components->contains(QLatin1String("VEVENT")); }
};

/// Finds the calendars that take events, starting from @p start (a server, a principal, a
/// calendar home or a calendar): the well-known address (RFC 6764), the current user's
/// principal, its calendar homes, their calendars (Depth 1). @p done gets the calendars in the
/// server's order, or an error for the user.
void discover(Connection& connection, const QString& account, const QUrl& start,
              std::function<void(QList<Calendar> calendars, QString error)> done);

/// One resource read from a calendar.
struct Resource
{
    QUrl url;
    QString etag;
    QString text;
};

/// Every VEVENT resource of @p calendar (REPORT calendar-query), ordered by address.
/// @p unreadable counts the resources the server listed without their data. On failure
/// @p status is the HTTP status (0 when there was no answer) and @p error says what happened;
/// an answer that broke off gives the resources that arrived whole, with @p error saying so.
void fetchEvents(Connection& connection, const QUrl& calendar,
                 std::function<void(QList<Resource> resources, int unreadable, int status, QString error)> done);

/// One new resource to put into a calendar.
struct Upload
{
    QUrl url;
    QByteArray body;
    QString summary;
    QString uid;
};

/// How one entry fared.
enum class Outcome { Added, Exists, Failed, NotSent };
struct UploadResult
{
    Outcome outcome = Outcome::NotSent;
    /// What the server said (or why it was not sent); empty when added.
    QString why;
};

/// Puts uploads with If-None-Match: * (nothing on the server is replaced), up to six at once.
/// An answer that makes the rest pointless (the password refused, the calendar gone, no
/// server) stops the sending: what was not sent is reported NotSent with that reason.
class Uploader : public QObject
{
    Q_OBJECT
public:
    Uploader(Connection& connection, QList<Upload> uploads, QObject* parent = nullptr);
    void start();
    /// Sends nothing more; the uploads not sent yet end NotSent ("cancelled").
    void cancel();
    const QList<Upload>& uploads() const { return m_uploads; }
    const QList<UploadResult>& results() const { return m_results; }

Q_SIGNALS:
    void progress(int done, int total);
    void finished();

private:
    void sendNext();
    void answered(int index, const Reply& reply);
    void stop(const QString& why);

    Connection& m_connection;
    QList<Upload> m_uploads;
    QList<UploadResult> m_results;
    int m_next = 0;
    int m_running = 0;
    int m_done = 0;
    bool m_stopped = false;
    bool m_finished = false;
    QString m_stopReason;
};

/// How a PUT's answer is reported: Added for 2xx, Exists for 412 or a UID conflict, otherwise
/// Failed with the status (and the server's precondition, when it names one).
UploadResult uploadResultFor(const Reply& reply);
} // namespace caldav
