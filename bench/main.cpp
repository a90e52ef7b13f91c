#include "bench.h"

#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

namespace
{
QMap<QString, bench::CaseFn>& registry()
{
    static QMap<QString, bench::CaseFn> cases;
    return cases;
}

double statusField(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}
} // namespace

bench::Registrar::Registrar(const char* name, CaseFn fn)
{
    registry().insert(QString::fromLatin1(name), std::move(fn));
}

double bench::peakRssMiB()
{
    return statusField("VmHWM:");
}

double bench::rssMiB()
{
    return statusField("VmRSS:");
}

void bench::report(const QString& caseName, const QString& label, double value, const char* unit)
{
    std::printf("%-28s %-44s %14.3f %s\n", qPrintable(caseName), qPrintable(label), value, unit);
    std::fflush(stdout);
}

int bench::runChild(const QString& name, const QStringList& args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child"), name} + args);
    child.waitForFinished(-1);
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
}

QString bench::scratchDir()
{
    const QString dir = QDir::tempPath() + QStringLiteral("/tidewell-bench");
    QDir().mkpath(dir);
    return dir;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Benchmarks never touch the user's settings.
    UserDefaults::useStore(bench::scratchDir() + QStringLiteral("/settings.ini"));
    QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--list")) {
        for (const QString& name : registry().keys())
            std::printf("%s\n", qPrintable(name));
        return 0;
    }
    if (args.value(0) == QLatin1String("--child")) {
        const QString name = args.value(1);
        auto it = registry().find(name);
        if (it == registry().end()) {
            std::fprintf(stderr, "unknown case %s\n", qPrintable(name));
            return 2;
        }
        return (*it)(args.mid(2));
    }
    // Cases whose names begin with "_" are steps that other cases run as children.
    QStringList names = args;
    if (names.isEmpty()) {
        for (const QString& name : registry().keys())
            if (!name.startsWith(QLatin1Char('_')))
                names << name;
    }
    int status = 0;
    for (const QString& name : names) {
        if (bench::runChild(name, {}) != 0)
            status = 1;
    }
    return status;
}
