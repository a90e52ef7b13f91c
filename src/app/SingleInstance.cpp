#include "SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

namespace
{
// A second start sends at most this much; more is not a list of paths.
constexpr qint64 kMaxMessage = 4 << 20;
} // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->bytesAvailable() > kMaxMessage) {
                    socket->abort();
                    return;
                }
                // The message ends with an empty line.
                const QByteArray all = socket->peek(socket->bytesAvailable());
                if (!all.endsWith("\n\n") && all != "\n")
                    return;
                socket->readAll();
                QStringList paths;
                for (const QByteArray& line : all.split('\n')) {
                    if (!line.isEmpty())
                        paths << QString::fromUtf8(line);
                }
                socket->write("ok\n");
                socket->flush();
                socket->disconnectFromServer();
                if (paths.isEmpty())
                    Q_EMIT activationRequested();
                else
                    Q_EMIT filesReceived(paths);
            });
        }
    });
}

QString SingleInstance::serverName()
{
    QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("DISPLAY");
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = QString::number(QFileInfo(QDir::homePath()).ownerId());
    QString name = QStringLiteral("tidewell-%1-%2").arg(user, display);
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    return QDir::temp().filePath(name);
}

SingleInstance::HandOver SingleInstance::handOver(const QStringList& paths, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(timeoutMs))
        return socket.error() == QLocalSocket::SocketTimeoutError ? HandOver::NoAnswer : HandOver::NoServer;
    QByteArray message;
    for (const QString& path : paths) {
        if (path.contains(QLatin1Char('\n')))
            continue;
        message += QFileInfo(path).absoluteFilePath().toUtf8() + '\n';
    }
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs))
        return HandOver::NoAnswer;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!socket.waitForReadyRead(timeoutMs))
            return HandOver::NoAnswer;
        answer += socket.readAll();
    }
    return answer.startsWith("ok") ? HandOver::Done : HandOver::NoAnswer;
}

bool SingleInstance::listen()
{
    const QString name = serverName();
    if (m_server->listen(name))
        return true;
    // Called after handOver() found nobody listening: the name is a socket left by a program that
    // ended without closing it.
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}
