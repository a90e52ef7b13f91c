// Whole tidewell-cli processes, as a user runs them, beside libical doing the same work:
//
//   cli_convert   tidewell-cli convert io-100000.ics -o out.ics, and libical parsing and writing the
//                 same file, three times each, interleaved; the best of the three and their ratio
//   cli_expand    tidewell-cli convert --expand of the 10,000 rules of the expand case to CSV
//
// Each process is timed from start to exit (wall clock, and its CPU time from wait4).

#include "bench.h"
#include "calendar/aCalendar.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace
{
struct Run
{
    bool ok = false;
    double wall = 0;
    double cpu = 0;
    double peakMiB = 0;
};

// Runs @p argv[0] with the benchmark's zone and returns its times.
Run runProcess(const QStringList& args)
{
    QList<QByteArray> bytes;
    for (const QString& a : args)
        bytes << a.toLocal8Bit();
    QList<char*> argv;
    for (QByteArray& b : bytes)
        argv << b.data();
    argv << nullptr;
    Run run;
    timespec start {}, end {};
    clock_gettime(CLOCK_MONOTONIC, &start);
    // Warnings (rules that run up to the horizon) are the program's business, not the figures'.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv.at(0), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    clock_gettime(CLOCK_MONOTONIC, &end);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.wall = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    run.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakMiB = double(usage.ru_maxrss) / 1024.0;
    return run;
}

Run best(const QList<Run>& runs)
{
    Run b = runs.value(0);
    for (const Run& r : runs) {
        b.ok = b.ok && r.ok;
        b.wall = std::min(b.wall, r.wall);
        b.cpu = std::min(b.cpu, r.cpu);
        b.peakMiB = std::min(b.peakMiB, r.peakMiB);
    }
    return b;
}

void report(const QString& name, const QString& what, const Run& r)
{
    bench::report(name, what + QStringLiteral(" (best of 3, wall)"), r.wall, "s");
    bench::report(name, what + QStringLiteral(" (best of 3, cpu)"), r.cpu, "s");
    bench::report(name, what + QStringLiteral(" peak memory"), r.peakMiB, "MiB");
}

void pinZone()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", "Europe/Paris");
}

int convertCase(const QStringList&)
{
    pinZone();
    // The io case's file (made there when missing).
    if (bench::runChild(QStringLiteral("_io_generate"), {QStringLiteral("100000")}) != 0)
        return 1;
    const QString in = bench::scratchDir() + QStringLiteral("/io-100000.ics");
    const QString ours = bench::scratchDir() + QStringLiteral("/cli-out.ics");
    const QString theirs = bench::scratchDir() + QStringLiteral("/libical-out.ics");
    QList<Run> tidewell, libical;
    for (int i = 0; i < 3; ++i) {
        tidewell << runProcess(
            {QStringLiteral(TIDEWELL_CLI), QStringLiteral("convert"), in, QStringLiteral("-o"), ours});
#ifdef TIDEWELL_LIBICAL_PEER
        libical << runProcess({QStringLiteral(TIDEWELL_LIBICAL_PEER), in, theirs});
#endif
    }
    const QString name = QStringLiteral("cli convert 100000 ics");
    const Run t = best(tidewell);
    report(name, QStringLiteral("tidewell-cli"), t);
    QFile::remove(ours);
    if (!t.ok)
        return 1;
#ifdef TIDEWELL_LIBICAL_PEER
    const Run l = best(libical);
    QFile::remove(theirs);
    report(name, QStringLiteral("libical parse + write"), l);
    if (l.ok) {
        bench::report(name, QStringLiteral("tidewell / libical (wall)"), t.wall / l.wall, "");
        bench::report(name, QStringLiteral("tidewell / libical (cpu)"), t.cpu / l.cpu, "");
    }
#else
    std::printf("%-28s libical-dev was not found: no peer figures\n", qPrintable(name));
#endif
    return 0;
}

int expandCase(const QStringList&)
{
    pinZone();
    const QString in = bench::scratchDir() + QStringLiteral("/rules-10000.ics");
    if (!QFileInfo::exists(in)) {
        aCalendar cal;
        const QByteArray text = cal.createICalString(bench::expansionEntries(), QStringLiteral("rules.ics")).toUtf8();
        QFile f(in);
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
            return 1;
    }
    const QString out = bench::scratchDir() + QStringLiteral("/cli-expanded.csv");
    QList<Run> runs;
    for (int i = 0; i < 3; ++i)
        runs << runProcess({QStringLiteral(TIDEWELL_CLI), QStringLiteral("convert"), QStringLiteral("--expand"), in,
                            QStringLiteral("-o"), out});
    QFile f(out);
    qsizetype rows = 0;
    if (f.open(QIODevice::ReadOnly)) {
        const QByteArray text = f.readAll();
        rows = text.count('\n');
    }
    QFile::remove(out);
    const QString name = QStringLiteral("cli expand 10000 rules csv");
    bench::report(name, QStringLiteral("rows written"), double(rows), "");
    report(name, QStringLiteral("tidewell-cli"), best(runs));
    return best(runs).ok ? 0 : 1;
}
} // namespace

BENCH_CASE("cli_convert", convertCase);
BENCH_CASE("cli_expand", expandCase);
