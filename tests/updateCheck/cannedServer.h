#pragma once

// A tiny HTTP server on 127.0.0.1 for the version check and download tests: each path gets a
// canned answer, which may stall, drop the connection, stop short or redirect.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace testutil
{
struct Canned
{
    int status = 200;
    QByteArray body = {};
    QList<QByteArray> headers = {}; ///< extra header lines, e.g. "Location: http://..."
    qint64 contentLength = -2; ///< -2: the body's size; -1: send no Content-Length (close ends it)
    qint64 sendBytes = -1; ///< send only this many bytes of the body
    bool stallAfter = false; ///< keep the connection open after what was sent
    bool stall = false; ///< read the request and never answer
    bool drop = false; ///< read the request and close without a word

    static Canned ok(const QByteArray& body) { return Canned {200, body}; }
    static Canned redirect(const QByteArray& location)
    {
        Canned c {302};
        c.headers << "Location: " + location;
        return c;
    }
};

class CannedServer : public QTcpServer
{
public:
    CannedServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                serve(socket);
        });
    }

    ~CannedServer() override
    {
        // The sockets go before the table that their handlers use.
        for (QTcpSocket* socket : findChildren<QTcpSocket*>(Qt::FindDirectChildrenOnly)) {
            socket->disconnect(this);
            socket->disconnect(socket);
            delete socket;
        }
    }

    void route(const QByteArray& path, const Canned& answer) { m_routes.insert(path, answer); }
    QUrl url(const QByteArray& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(QString::fromLatin1(path)));
    }
    /// The paths asked for, in order.
    QList<QByteArray> requests;

private:
    void serve(QTcpSocket* socket)
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray& seen = m_pending[socket];
            seen += socket->readAll();
            if (!seen.contains("\r\n\r\n"))
                return;
            const QList<QByteArray> words = seen.left(seen.indexOf("\r\n")).split(' ');
            m_pending.remove(socket);
            const QByteArray path = words.value(1);
            requests << path;
            answer(socket, m_routes.value(path, Canned {404, "<html>Not here</html>"}));
        });
        connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
            m_pending.remove(socket);
            socket->deleteLater();
        });
    }

    void answer(QTcpSocket* socket, const Canned& c)
    {
        if (c.stall)
            return;
        if (c.drop) {
            socket->abort();
            return;
        }
        QByteArray out = "HTTP/1.1 " + QByteArray::number(c.status) + " Canned\r\nConnection: close\r\n";
        for (const QByteArray& h : c.headers)
            out += h + "\r\n";
        const qint64 length = c.contentLength == -2 ? c.body.size() : c.contentLength;
        if (length >= 0)
            out += "Content-Length: " + QByteArray::number(length) + "\r\n";
        out += "\r\n";
        out += c.sendBytes >= 0 ? c.body.left(c.sendBytes) : c.body;
        socket->write(out);
        if (!c.stallAfter)
            socket->disconnectFromHost();
    }

    QHash<QByteArray, Canned> m_routes;
    QHash<QTcpSocket*, QByteArray> m_pending;
};
} // namespace testutil

Q_DECLARE_METATYPE(testutil::Canned)
