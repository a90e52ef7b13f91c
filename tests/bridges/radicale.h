#pragma once

// A Radicale CalDAV server for the tests: started on 127.0.0.1 on a free port with a storage
// folder of its own and two htpasswd users (ann/secret, bob/hunter2). Requests made here go
// through a bare QNetworkAccessManager, not through the client under test, and what the server
// holds is read from its storage folder.

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <csignal>
#include <sys/prctl.h>

namespace caldavtest
{
class Radicale
{
public:
    Radicale() = default;
    ~Radicale() { stop(); }

    /// Starts the server; false with @p error when Radicale is missing or does not come up.
    bool start(QString* error)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("radicale")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("htpasswd")).isEmpty()) {
            *error = QStringLiteral("radicale or htpasswd is not installed");
            return false;
        }
        const QString users = m_dir.filePath(QStringLiteral("users"));
        auto htpasswd = [](const QStringList& args) {
            QProcess p;
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.start(QStringLiteral("htpasswd"), args);
            return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        };
        if (!htpasswd({"-c", "-b", "-m", users, "ann", "secret"}) || !htpasswd({"-b", "-m", users, "bob", "hunter2"})) {
            *error = QStringLiteral("htpasswd failed");
            return false;
        }
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (launch(users, error))
                return true;
        }
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    quint16 port() const { return m_port; }
    QUrl url(const QString& path = QStringLiteral("/")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
    }

    struct Answer
    {
        int status = 0;
        QByteArray body;
    };
    /// One request as @p user (password from the users file), waiting for the answer.
    Answer request(const QByteArray& verb, const QString& path, const QByteArray& body = {},
                   const QByteArray& user = "ann", const QList<QPair<QByteArray, QByteArray>>& headers = {})
    {
        QNetworkRequest r(url(path));
        const QByteArray password = user == "bob" ? "hunter2" : "secret";
        r.setRawHeader("Authorization", "Basic " + (user + ':' + password).toBase64());
        for (const auto& [name, value] : headers)
            r.setRawHeader(name, value);
        QNetworkReply* reply = m_manager.sendCustomRequest(r, verb, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        Answer a {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
        reply->deleteLater();
        return a;
    }

    /// MKCALENDAR /USER/SLUG/ with a display name and the components it takes (none: no limit
    /// named). True when made.
    bool makeCalendar(const QByteArray& user, const QString& slug, const QString& displayName,
                      const QStringList& components)
    {
        QByteArray comps;
        if (!components.isEmpty()) {
            comps = "<c:supported-calendar-component-set>";
            for (const QString& c : components)
                comps += "<c:comp name=\"" + c.toUtf8() + "\"/>";
            comps += "</c:supported-calendar-component-set>";
        }
        const QByteArray body = "<?xml version=\"1.0\"?><c:mkcalendar xmlns:d=\"DAV:\" "
                                "xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:set><d:prop><d:displayname>"
            + displayName.toHtmlEscaped().toUtf8() + "</d:displayname>" + comps + "</d:prop></d:set></c:mkcalendar>";
        return request("MKCALENDAR", QStringLiteral("/%1/%2/").arg(QString::fromUtf8(user), slug), body, user).status
            == 201;
    }

    /// Puts a resource as another client would; the status.
    int put(const QByteArray& user, const QString& path, const QByteArray& text)
    {
        return request("PUT", path, text, user, {{"Content-Type", "text/calendar; charset=utf-8"}}).status;
    }

    /// The resources of a calendar as stored: file name to text.
    QMap<QString, QByteArray> items(const QString& user, const QString& slug) const
    {
        QMap<QString, QByteArray> out;
        QDir dir(m_dir.filePath(QStringLiteral("store/collection-root/%1/%2").arg(user, slug)));
        for (const QString& name : dir.entryList({QStringLiteral("*")}, QDir::Files)) {
            QFile f(dir.filePath(name));
            if (f.open(QIODevice::ReadOnly))
                out.insert(name, f.readAll());
        }
        return out;
    }

private:
    bool launch(const QString& users, QString* error)
    {
        {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) {
                *error = QStringLiteral("no free port");
                return false;
            }
            m_port = probe.serverPort();
        }
        const QString config = m_dir.filePath(QStringLiteral("config"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        f.write(QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n"
                               "[auth]\ntype = htpasswd\nhtpasswd_filename = %2\nhtpasswd_encryption = md5\n"
                               "[storage]\nfilesystem_folder = %3\n"
                               "[rights]\ntype = owner_only\n"
                               "[logging]\nlevel = warning\n")
                    .arg(m_port)
                    .arg(users, m_dir.filePath(QStringLiteral("store")))
                    .toUtf8());
        f.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        // The server goes with the test, also when the test dies.
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(QStringLiteral("radicale"), {QStringLiteral("--config"), config});
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            if (m_process.state() == QProcess::NotRunning) {
                *error = QStringLiteral("radicale stopped: ") + QString::fromUtf8(m_process.readAll());
                return false;
            }
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(200))
                return true;
            QThread::msleep(50);
        }
        *error = QStringLiteral("radicale did not come up");
        stop();
        return false;
    }

    /// In memory where the system has a memory file system: Radicale syncs every file it
    /// writes, which on a disk costs more than the whole request.
    static QString tempBase()
    {
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        return shm.isDir() && shm.isWritable() ? QStringLiteral("/dev/shm/tidewell-radicale-XXXXXX")
                                               : QDir::tempPath() + QStringLiteral("/tidewell-radicale-XXXXXX");
    }

    QTemporaryDir m_dir {tempBase()};
    QProcess m_process;
    QNetworkAccessManager m_manager;
    quint16 m_port = 0;
};
} // namespace caldavtest
