#pragma once

#include <QObject>
#include <QStringList>

class QLocalServer;

/// One window per user and display: a second start hands its files to the running window and
/// exits, as "Open with" in a file manager expects.
///
/// The running application listens on a local socket named after the user and the display (in
/// the directory of temporary files, so a test can give each run its own). A second start
/// connects, sends one absolute path per line, waits for the answer "ok" and exits.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);

    /// The socket's name for this user and display.
    static QString serverName();
    enum class HandOver {
        Done, ///< a running application took the files
        NoServer, ///< nobody listens: this start is the first
        NoAnswer, ///< somebody listens but did not answer in time
    };
    /// Hands @p paths to a running application.
    static HandOver handOver(const QStringList& paths, int timeoutMs = 3000);
    /// Starts listening (replacing a socket left by a program that ended without closing it);
    /// false when that fails.
    bool listen();

Q_SIGNALS:
    /// Files handed over by a second start, in its order.
    void filesReceived(const QStringList& paths);
    /// A second start without files: the window should come forward.
    void activationRequested();

private:
    QLocalServer* m_server;
};
