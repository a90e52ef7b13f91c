#include "Cli.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTimeZone>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quenlor"));
    QCoreApplication::setApplicationName(QStringLiteral("Tidewell"));
    // SOURCE_DATE_EPOCH pins "now" (creation stamps, today's zone offset) for reproducible output.
    bool pinned = false;
    const qint64 epoch = qEnvironmentVariable("SOURCE_DATE_EPOCH").toLongLong(&pinned);
    if (pinned)
        Clock::setFixed(QDateTime::fromSecsSinceEpoch(epoch, QTimeZone::utc()));
    QFile in, out, err;
    in.open(stdin, QIODevice::ReadOnly);
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly);
    const int status = runCli(app.arguments().mid(1), &in, &out, &err);
    out.flush();
    err.flush();
    return status;
}
