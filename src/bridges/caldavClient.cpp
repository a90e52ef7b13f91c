// Requests to a CalDAV account and the conversations of discovery, reading and adding events.
#include "bridges/caldavClient.h"

#include <QAuthenticator>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSet>
#include <QSslError>
#include <QTimer>

#include <algorithm>

namespace caldav
{
int Connection::timeoutMs = 60000;
qint64 Connection::maxAnswerBytes = qint64(256) * 1024 * 1024;

namespace
{
const char kTries[] = "caldavAuthTries";
const char kWhy[] = "caldavFailure";

/// Qt reports an HTTP error status as a reply error too; those are answers, not failures.
bool transportFailure(QNetworkReply::NetworkError error)
{
    const int code = int(error);
    const bool fromStatus = (code > 200 && code < 300) || (code > 400 && code < 500);
    return error != QNetworkReply::NoError && !fromStatus;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool redirectAllowed(const QUrl& from, const QUrl& to)
{
    if (!to.isValid() || to.host().isEmpty())
        return false;
    if (to.scheme() == QLatin1String("https"))
        return true;
    // Never from an encrypted connection to a plain one; plain only on the same host.
    return to.scheme() == QLatin1String("http") && from.scheme() == QLatin1String("http")
        && to.host().compare(from.host(), Qt::CaseInsensitive) == 0;
}

QString secondsText(int ms)
{
    const int s = qMax(1, (ms + 500) / 1000);
    return s == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(s);
}

/// "https://host:443": what a Basic answer is kept for.
QString originOf(const QUrl& url)
{
    return QStringLiteral("%1://%2:%3")
        .arg(url.scheme(), url.host().toLower())
        .arg(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
}

QString refusedText()
{
    return QStringLiteral("the server refused the user name or password (401 Unauthorized)");
}
} // namespace

QString Reply::problem() const
{
    if (!answered())
        return failure;
    if (status == 401)
        return refusedText();
    return QStringLiteral("the server answered %1").arg(statusText(status, reason));
}

Connection::Connection(const QString& user, const QString& password, QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_user(user)
    , m_password(password)
{
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    connect(m_manager, &QNetworkAccessManager::authenticationRequired, this, &Connection::authenticate);
}

Connection::~Connection()
{
    cancelAll();
}

void Connection::send(const QByteArray& verb, const QUrl& url, const QByteArray& body, const Headers& headers,
                      Done done)
{
    m_queue.enqueue(Request {verb, url, body, headers, std::move(done)});
    // Started from the event loop, so that no callback runs inside send().
    QMetaObject::invokeMethod(this, &Connection::pump, Qt::QueuedConnection);
}

void Connection::cancelAll()
{
    m_queue.clear();
    const QList<QNetworkReply*> replies = m_running.keys();
    m_running.clear();
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void Connection::pump()
{
    while (m_running.size() < kParallel && !m_queue.isEmpty())
        start(m_queue.dequeue());
}

void Connection::start(Request request)
{
    const QUrl url = request.url;
    if (!url.isValid() || url.host().isEmpty()
        || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        Reply reply;
        reply.url = url;
        reply.failure = QStringLiteral("%1 is not a web address (http or https)").arg(url.toDisplayString());
        QTimer::singleShot(0, this, [done = request.done, reply] { done(reply); });
        return;
    }
    QNetworkRequest r(url);
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    r.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Tidewell/" TIDEWELL_VERSION));
    // Uncompressed, so that "Content-Length" counts the bytes delivered (see finish()).
    r.setRawHeader("Accept-Encoding", "identity");
    for (const auto& [name, value] : std::as_const(request.headers))
        r.setRawHeader(name, value);
    // A server that asked for Basic once gets it with every request (Radicale closes the
    // connection after each answer, and being asked first doubled every request). Other
    // schemes are left to Qt.
    const auto basic = m_basic.constFind(originOf(url));
    if (basic != m_basic.constEnd()) {
        r.setRawHeader("Authorization", *basic);
        request.authenticated = true;
    } else if (m_qtAnswers.contains(originOf(url))) {
        request.authenticated = true;
    }
    QNetworkReply* reply = m_manager->sendCustomRequest(r, request.verb, request.body);
    reply->setProperty(kTries, 0);

    // Idle time-out: any byte moving either way starts the clock again.
    auto* idle = new QTimer(reply);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, reply, [reply] {
        reply->setProperty(kWhy, QStringLiteral("the server did not answer within %1").arg(secondsText(timeoutMs)));
        reply->abort();
    });
    idle->start(timeoutMs);
    connect(reply, &QNetworkReply::uploadProgress, idle, [idle] { idle->start(timeoutMs); });
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply, idle](qint64 received, qint64 total) {
        idle->start(timeoutMs);
        if (received > maxAnswerBytes || total > maxAnswerBytes) {
            reply->setProperty(
                kWhy, QStringLiteral("the server's answer is larger than %1 MB").arg(maxAnswerBytes / (1024 * 1024)));
            reply->abort();
        }
    });
#ifndef QT_NO_SSL
    connect(reply, &QNetworkReply::sslErrors, reply, [reply](const QList<QSslError>& errors) {
        // Not ignored: an untrusted certificate ends the request.
        if (!errors.isEmpty()) {
            reply->setProperty(
                kWhy, QStringLiteral("the server's certificate is not trusted (%1)").arg(errors.first().errorString()));
        }
    });
#endif
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
    m_running.insert(reply, std::move(request));
}

void Connection::authenticate(QNetworkReply* reply, QAuthenticator* authenticator)
{
    // Qt answers only the challenges finish() leaves to it (Digest and the like), once per
    // request: asked again, the server refused what it was given.
    const int tries = reply->property(kTries).toInt();
    reply->setProperty(kTries, tries + 1);
    if (tries > 0 || m_user.isEmpty() || !m_qtAnswers.contains(originOf(reply->url())))
        return;
    authenticator->setUser(m_user);
    authenticator->setPassword(m_password);
}

bool Connection::answerChallenge(QNetworkReply* reply, Request& request)
{
    if (request.authenticated || m_user.isEmpty())
        return false;
    const QString origin = originOf(request.url);
    const QByteArray challenge = reply->rawHeader("WWW-Authenticate").toLower();
    if (challenge.contains("basic") && !challenge.contains("digest")) {
        const bool utf8 = challenge.contains("charset=\"utf-8\"") || challenge.contains("charset=utf-8");
        const QString pair = m_user + QLatin1Char(':') + m_password;
        const QByteArray bytes = utf8 ? pair.toUtf8() : pair.toLatin1();
        if (utf8 || QString::fromLatin1(bytes) == pair) {
            m_basic.insert(origin, "Basic " + bytes.toBase64());
        } else {
            m_qtAnswers.insert(origin);
        }
    } else {
        m_qtAnswers.insert(origin);
    }
    request.authenticated = true;
    return true;
}

void Connection::finish(QNetworkReply* reply)
{
    auto it = m_running.find(reply);
    if (it == m_running.end())
        return;
    Request request = std::move(it.value());
    m_running.erase(it);
    reply->deleteLater();

    Reply out;
    out.url = request.url;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QString why = reply->property(kWhy).toString();
    if (!why.isEmpty()) {
        out.failure = why;
    } else if (status.isValid()) {
        out.status = status.toInt();
        out.reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        out.body = reply->readAll();
        // Qt ends a body cut short by a closed connection without an error: its length tells.
        bool announced = false;
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&announced);
        if (transportFailure(reply->error()))
            out.brokeOff = QStringLiteral("the server's answer broke off (%1)").arg(reply->errorString());
        else if (announced && out.body.size() < length)
            out.brokeOff
                = QStringLiteral("the server's answer broke off after %1 of %2 bytes").arg(out.body.size()).arg(length);
    } else if (reply->error() == QNetworkReply::AuthenticationRequiredError) {
        out.status = 401;
    } else {
        out.failure = QStringLiteral("the server could not be reached (%1)").arg(reply->errorString());
    }
    if (out.status == 401) {
        // The first refusal is a challenge: the request goes again with the credentials.
        if (answerChallenge(reply, request)) {
            m_queue.prepend(std::move(request));
            pump();
            return;
        }
        m_refused = true;
    }

    if (isRedirect(out.status)) {
        const QByteArray location = reply->rawHeader("Location");
        const QUrl target = request.url.resolved(QUrl(QString::fromUtf8(location)));
        if (location.isEmpty()) {
            // Nothing to follow: the status is the answer.
        } else if (request.hops >= 5) {
            out.status = 0;
            out.failure = QStringLiteral("the server redirected more than five times");
        } else if (!redirectAllowed(request.url, target)) {
            out.status = 0;
            out.failure = QStringLiteral("the server redirected to %1, which is not followed (only to https "
                                         "addresses or on the same server)")
                              .arg(target.toDisplayString());
        } else {
            request.url = target;
            ++request.hops;
            m_queue.prepend(std::move(request));
            pump();
            return;
        }
    }

    QPointer<Connection> self(this);
    request.done(out);
    if (self)
        pump();
}

// --- discovery ---

namespace
{
const Connection::Headers kXml {{"Content-Type", "application/xml; charset=utf-8"}};

Connection::Headers depth(const char* d)
{
    Connection::Headers h = kXml;
    h.append(qMakePair(QByteArray("Depth"), QByteArray(d)));
    return h;
}

/// The response that describes @p url itself, or the first one.
const DavResponse* responseFor(const QList<DavResponse>& responses, const QUrl& url)
{
    for (const DavResponse& r : responses) {
        if (sameResource(r.url, url))
            return &r;
    }
    return responses.isEmpty() ? nullptr : &responses.first();
}

struct Discovery : std::enable_shared_from_this<Discovery>
{
    QPointer<Connection> connection;
    QString account;
    QList<QUrl> candidates;
    int candidate = 0;
    QString firstError;
    QList<Calendar> found;
    QSet<QString> seen;
    int homesLeft = 0;
    int homesFailed = 0;
    QString homeError;
    std::function<void(QList<Calendar>, QString)> done;

    void fail(const QString& error)
    {
        if (done)
            done({}, error);
        done = nullptr;
    }

    void tryCandidate()
    {
        if (!connection)
            return;
        const QUrl url = candidates.at(candidate);
        auto self = shared_from_this();
        connection->send("PROPFIND", url, discoveryPropfind(), depth("0"),
                         [self, url](const Reply& reply) { self->candidateAnswered(url, reply); });
    }

    void nextCandidate(const QString& error)
    {
        if (firstError.isEmpty())
            firstError = error;
        if (++candidate < candidates.size())
            tryCandidate();
        else
            fail(firstError);
    }

    void candidateAnswered(const QUrl& url, const Reply& reply)
    {
        if (reply.status == 401)
            return fail(refusedText());
        if (!reply.answered())
            return nextCandidate(reply.failure);
        if (reply.status != 207) {
            return nextCandidate(
                QStringLiteral("no CalDAV service was found at %1 (%2)").arg(url.toDisplayString(), reply.problem()));
        }
        QString error;
        const auto responses = parseMultistatus(reply.body, reply.url, &error);
        const DavResponse* self = responses ? responseFor(*responses, reply.url) : nullptr;
        if (!self)
            return nextCandidate(error.isEmpty() ? QStringLiteral("the server's answer describes nothing") : error);
        if (self->isCalendar) {
            // The address of one calendar.
            addCalendar(*self);
            return finishHomes();
        }
        if (!self->calendarHomes.isEmpty())
            return listHomes(self->calendarHomes);
        if (self->currentUserPrincipal && !sameResource(*self->currentUserPrincipal, reply.url))
            return askPrincipal(*self->currentUserPrincipal);
        listHomes({reply.url});
    }

    void askPrincipal(const QUrl& principal)
    {
        if (!connection)
            return;
        auto self = shared_from_this();
        connection->send("PROPFIND", principal, discoveryPropfind(), depth("0"), [self, principal](const Reply& reply) {
            if (reply.status != 207)
                return self->fail(QStringLiteral("the user's principal %1 could not be read: %2")
                                      .arg(principal.toDisplayString(), reply.problem()));
            QString error;
            const auto responses = parseMultistatus(reply.body, reply.url, &error);
            if (!responses)
                return self->fail(error);
            const DavResponse* p = responseFor(*responses, reply.url);
            if (p && !p->calendarHomes.isEmpty())
                self->listHomes(p->calendarHomes);
            else
                self->listHomes({reply.url});
        });
    }

    void listHomes(const QList<QUrl>& homes)
    {
        if (!connection)
            return;
        homesLeft = int(homes.size());
        auto self = shared_from_this();
        for (const QUrl& home : homes) {
            const QUrl url = asCollection(home);
            connection->send("PROPFIND", url, calendarsPropfind(), depth("1"), [self, url](const Reply& reply) {
                QString error;
                const auto responses
                    = reply.status == 207 ? parseMultistatus(reply.body, reply.url, &error) : std::nullopt;
                if (!responses) {
                    ++self->homesFailed;
                    if (self->homeError.isEmpty()) {
                        self->homeError = reply.status == 207
                            ? error
                            : QStringLiteral("the calendar home %1 could not be read: %2")
                                  .arg(url.toDisplayString(), reply.problem());
                    }
                } else {
                    for (const DavResponse& r : *responses) {
                        if (r.isCalendar && !sameResource(r.url, url))
                            self->addCalendar(r);
                    }
                }
                if (--self->homesLeft == 0)
                    self->finishHomes();
            });
        }
    }

    void addCalendar(const DavResponse& r)
    {
        const QUrl url = asCollection(r.url);
        const QString key = url.adjusted(QUrl::NormalizePathSegments).toString();
        if (seen.contains(key))
            return;
        seen.insert(key);
        Calendar c;
        c.account = account;
        c.url = url;
        c.displayName = r.displayName;
        c.components = r.components;
        if (c.takesEvents())
            found << c;
    }

    void finishHomes()
    {
        if (homesFailed > 0 && found.isEmpty())
            return fail(homeError);
        if (done)
            done(found, QString());
        done = nullptr;
    }
};
} // namespace

void discover(Connection& connection, const QString& account, const QUrl& start,
              std::function<void(QList<Calendar>, QString)> done)
{
    auto d = std::make_shared<Discovery>();
    d->connection = &connection;
    d->account = account;
    d->done = std::move(done);
    const QUrl wellKnown = start.resolved(QUrl(QStringLiteral("/.well-known/caldav")));
    // A bare server is asked at its well-known address first; an address with a path is taken
    // at its word first.
    if (start.path().isEmpty() || start.path() == QLatin1String("/"))
        d->candidates = {wellKnown, start};
    else
        d->candidates = {start, wellKnown};
    d->tryCandidate();
}

// --- reading ---

void fetchEvents(Connection& connection, const QUrl& calendar,
                 std::function<void(QList<Resource>, int, int, QString)> done)
{
    const QUrl url = asCollection(calendar);
    connection.send("REPORT", url, eventsQuery(), depth("1"), [url, done](const Reply& reply) {
        if (reply.status != 207) {
            done({}, 0, reply.status, reply.problem());
            return;
        }
        QString error;
        QList<DavResponse> readSoFar;
        std::optional<QList<DavResponse>> responses = parseMultistatus(reply.body, reply.url, &error, &readSoFar);
        if (!responses || !reply.brokeOff.isEmpty()) {
            // What arrived whole is kept; the caller says the rest is missing.
            if (!reply.brokeOff.isEmpty())
                error = reply.brokeOff;
            responses = responses ? *responses : readSoFar;
        }
        QList<Resource> resources;
        int unreadable = 0;
        for (const DavResponse& r : *responses) {
            if (sameResource(r.url, url))
                continue;
            if (r.calendarData)
                resources << Resource {r.url, r.etag, *r.calendarData};
            else
                ++unreadable;
        }
        std::sort(resources.begin(), resources.end(),
                  [](const Resource& a, const Resource& b) { return a.url.toString() < b.url.toString(); });
        done(resources, unreadable, reply.status, error);
    });
}

// --- adding ---

UploadResult uploadResultFor(const Reply& reply)
{
    if (!reply.answered())
        return {Outcome::Failed, reply.failure};
    if (reply.status >= 200 && reply.status <= 299)
        return {Outcome::Added, QString()};
    const QStringList conditions = errorConditions(reply.body);
    if (reply.status == 412 || conditions.contains(QLatin1String("no-uid-conflict"))) {
        return {Outcome::Exists,
                QStringLiteral("an event with this UID is already in the calendar (%1)")
                    .arg(statusText(reply.status, reply.reason))};
    }
    QString why = reply.problem();
    if (!conditions.isEmpty())
        why += QStringLiteral(" (%1)").arg(conditions.join(QLatin1String(", ")));
    return {Outcome::Failed, why};
}

Uploader::Uploader(Connection& connection, QList<Upload> uploads, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_uploads(std::move(uploads))
    , m_results(m_uploads.size())
{
}

void Uploader::start()
{
    if (m_uploads.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_finished = true;
                Q_EMIT finished();
            },
            Qt::QueuedConnection);
        return;
    }
    sendNext();
}

void Uploader::cancel()
{
    stop(QStringLiteral("cancelled"));
}

void Uploader::sendNext()
{
    static const Connection::Headers headers {{"Content-Type", "text/calendar; charset=utf-8"}, {"If-None-Match", "*"}};
    while (!m_stopped && m_running < Connection::kParallel && m_next < m_uploads.size()) {
        const int index = m_next++;
        ++m_running;
        QPointer<Uploader> self(this);
        m_connection.send("PUT", m_uploads.at(index).url, m_uploads.at(index).body, headers,
                          [self, index](const Reply& reply) {
                              if (self)
                                  self->answered(index, reply);
                          });
    }
}

void Uploader::answered(int index, const Reply& reply)
{
    --m_running;
    ++m_done;
    m_results[index] = uploadResultFor(reply);
    if (!reply.answered())
        stop(reply.failure);
    else if (reply.status == 401)
        stop(refusedText());
    else if (reply.status == 404 || reply.status == 405)
        stop(QStringLiteral("the calendar is not on the server (%1)").arg(statusText(reply.status, reply.reason)));
    Q_EMIT progress(m_done, int(m_uploads.size()));
    sendNext();
    if (m_running == 0 && (m_stopped || m_next >= m_uploads.size()) && !m_finished) {
        m_finished = true;
        Q_EMIT finished();
    }
}

void Uploader::stop(const QString& why)
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_stopReason = why;
    for (int i = m_next; i < m_uploads.size(); ++i)
        m_results[i] = {Outcome::NotSent, QStringLiteral("not sent: %1").arg(why)};
    m_done += int(m_uploads.size()) - m_next;
    m_next = int(m_uploads.size());
    if (m_running == 0 && !m_finished) {
        m_finished = true;
        QMetaObject::invokeMethod(this, &Uploader::finished, Qt::QueuedConnection);
    }
}
} // namespace caldav
