#include "platform/Memory.h"
#include "Cli.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTimeZone>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{
bool isClosed(int fd)
{
    return ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
}

// Standard output that was closed before the program started: every write fails, with the
// system's reason.
class ClosedOutput : public QIODevice
{
public:
    ClosedOutput()
    {
        open(QIODevice::WriteOnly);
        setErrorString(QString::fromLocal8Bit(std::strerror(EBADF)));
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override { return -1; }
};
} // namespace

int main(int argc, char** argv)
{
    Memory::reuseFreedMemory();
    // A closed standard stream would lend its number to the next file opened (Qt opens some of
    // its own at start-up), and output meant for it would land in that file: hold each with
    // /dev/null before anything else, and fail the writes to a closed standard output.
    const bool outClosed = isClosed(STDOUT_FILENO);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (isClosed(fd))
            ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quenlor"));
    QCoreApplication::setApplicationName(QStringLiteral("Tidewell"));
    // SOURCE_DATE_EPOCH pins "now" (creation stamps, today's zone offset) for reproducible output.
    bool pinned = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&pinned);
    if (pinned)
        Clock::setFixed(QDateTime::fromSecsSinceEpoch(epoch, QTimeZone::utc()));
    QFile in, out, err;
    ClosedOutput closedOut;
    in.open(stdin, QIODevice::ReadOnly);
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly);
    const int status
        = runCli(app.arguments().mid(1), &in, outClosed ? static_cast<QIODevice*>(&closedOut) : &out, &err);
    out.flush();
    err.flush();
    return status;
}
