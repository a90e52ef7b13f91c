// The window's figures: how soon a big calendar shows its first rows, and how long a scroll step
// takes to draw.
//
//   tidewell-window-bench                 100,000 events: first rows, then scrolling
//   tidewell-window-bench 20000           another size
//   tidewell-window-bench --shot OUT.png [FILE]   a picture of the window (FILE opened first)
//
// It runs on the display it is given (QT_QPA_PLATFORM=offscreen without one). Each measurement
// runs in a child process, so "since start" includes starting the program and building the window.

#include "AppControl.h"
#include "EntryTableModel.h"
#include "MyTableView.h"
#include "MyWindow.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace
{
QString scratchDir()
{
    const QString dir = QDir::tempPath() + QStringLiteral("/tidewell-window-bench");
    QDir().mkpath(dir);
    return dir;
}

/// Seconds since this process started (from /proc, in clock ticks).
double secondsSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray s = stat.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble(); // field 22 of the whole line
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    return now - startTicks / double(sysconf(_SC_CLK_TCK));
}

double peakRssMiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

void report(const char* label, double value, const char* unit)
{
    std::printf("window  %-52s %12.3f %s\n", label, value, unit);
    std::fflush(stdout);
}

/// A calendar of @p n events in one zone: summaries, descriptions, a few repeating ones.
QString makeCalendar(int n)
{
    const QString path = scratchDir() + QStringLiteral("/window-%1.ics").arg(n);
    if (QFile::exists(path))
        return path;
    QByteArray out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quenlor//window bench//EN\r\n"
                     "X-WR-TIMEZONE;VALUE=TEXT:Europe/Paris\r\n";
    const char* words[] = {"Review", "Budget", "Lunch", "Müller", "Café", "Planning", "Zürich", "Report"};
    for (int i = 0; i < n; ++i) {
        const int day = i % 336;
        const int year = 2007 + (i / 336) % 10;
        const int month = 1 + day / 28;
        const int d = 1 + day % 28;
        const int hour = 8 + i % 10;
        const QByteArray date = QByteArray::number(year) + QByteArray::number(month).rightJustified(2, '0')
            + QByteArray::number(d).rightJustified(2, '0');
        out += "BEGIN:VEVENT\r\nUID:bench-" + QByteArray::number(i) + "@quenlor.example\r\n";
        out += "DTSTAMP:20070101T120000Z\r\n";
        out += "DTSTART;TZID=Europe/Paris:" + date + "T" + QByteArray::number(hour).rightJustified(2, '0') + "0000\r\n";
        out += "DTEND;TZID=Europe/Paris:" + date + "T" + QByteArray::number(hour + 1).rightJustified(2, '0')
            + "3000\r\n";
        out += QByteArray("SUMMARY:") + words[i % 8] + " " + words[(i / 8) % 8] + " " + QByteArray::number(i) + "\r\n";
        out += "DESCRIPTION:Notes for appointment " + QByteArray::number(i) + "\\nSecond line\r\n";
        if (i % 50 == 0)
            out += "RRULE:FREQ=WEEKLY;COUNT=10;BYDAY=MO,WE\r\n";
        out += "END:VEVENT\r\n";
    }
    out += "END:VCALENDAR\r\n";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size())
        return {};
    return path;
}

/// Counts the paint events of a widget.
struct PaintCounter : QObject
{
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

/// Opens @p file in a new window and reports when its first rows are drawn.
int firstRows(const QString& file)
{
    const double started = secondsSinceProcessStart();
    QElapsedTimer clock;
    clock.start();
    AppControl control;
    control.awakeFromNib();
    control.applicationDidFinishLaunching();
    const double windowShown = started + clock.nsecsElapsed() / 1e9;
    control.applicationOpenFile(file);

    bool drawn = false;
    double read = 0;
    QEventLoop loop;
    PaintCounter counter;
    control.entryTable()->viewport()->installEventFilter(&counter);
    QObject::connect(&control, &AppControl::fileBatchFinished, [&] {
        read = started + clock.nsecsElapsed() / 1e9;
        // The next paint of the table shows the rows: force it now and time it.
        const int before = counter.paints;
        control.entryTable()->viewport()->repaint();
        drawn = counter.paints > before;
        loop.quit();
    });
    // The window must stay responsive while the file is read: count the longest pause between
    // timer events meanwhile.
    QElapsedTimer tick;
    tick.start();
    qint64 longestGap = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longestGap = std::max(longestGap, tick.restart()); });
    heartbeat.start(10);
    QTimer::singleShot(120000, &loop, [&loop] { loop.exit(1); });
    loop.exec();
    const double shown = started + clock.nsecsElapsed() / 1e9;
    if (!drawn)
        return 1;
    report("window shown, since start", windowShown, "s");
    report("file read and joined to the document, since start", read, "s");
    report("first rows drawn, since start", shown, "s");
    report("rows", control.entryModel()->rowCount(), "");
    report("longest pause of the event loop while reading", longestGap / 1000.0, "s");
    report("peak memory", peakRssMiB(), "MiB");
    return 0;
}

/// Scrolls a window holding @p file from the top to the end, one page at a time, and reports the
/// time each step takes to draw.
int scrolling(const QString& file)
{
    AppControl control;
    control.awakeFromNib();
    control.applicationDidFinishLaunching();
    control.applicationOpenFile(file);
    QEventLoop loop;
    QObject::connect(&control, &AppControl::fileBatchFinished, &loop, &QEventLoop::quit);
    loop.exec();
    QScrollBar* bar = control.entryTable()->verticalScrollBar();
    QWidget* viewport = control.entryTable()->viewport();
    PaintCounter counter;
    viewport->installEventFilter(&counter);
    viewport->repaint();
    QList<qint64> frames;
    QElapsedTimer timer;
    while (true) {
        timer.start();
        bar->setValue(bar->value() + bar->pageStep());
        viewport->repaint();
        frames << timer.nsecsElapsed();
        if (bar->value() >= bar->maximum())
            break;
    }
    timer.start();
    bar->setValue(0);
    viewport->repaint();
    const qint64 jumpHome = timer.nsecsElapsed();
    std::sort(frames.begin(), frames.end());
    report("scroll steps (a page each) from top to end", frames.size(), "");
    report("paints", counter.paints, "");
    report("scroll step, median", frames.at(frames.size() / 2) / 1e6, "ms");
    report("scroll step, 95th percentile", frames.at(frames.size() * 95 / 100) / 1e6, "ms");
    report("scroll step, slowest", frames.last() / 1e6, "ms");
    report("jump from the end to the top", jumpHome / 1e6, "ms");
    report("peak memory", peakRssMiB(), "MiB");
    return 0;
}

int screenshot(const QString& out, const QString& file)
{
    AppControl control;
    control.awakeFromNib();
    control.applicationDidFinishLaunching();
    QEventLoop loop;
    if (!file.isEmpty()) {
        control.applicationOpenFile(file);
        QObject::connect(&control, &AppControl::fileBatchFinished, &loop,
                         [&loop] { QTimer::singleShot(300, &loop, &QEventLoop::quit); });
    } else {
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
    }
    loop.exec();
    if (control.entryModel()->rowCount() > 1)
        control.selectRows({1});
    QApplication::processEvents();
    return control.mainWindow()->grab().save(out) ? 0 : 1;
}

int runChild(const QStringList& args)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), args);
    child.waitForFinished(-1);
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
}
} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tidewell"));
    // Never the user's settings; the version check stays off.
    UserDefaults::useStore(scratchDir() + QStringLiteral("/settings-%1.ini").arg(QCoreApplication::applicationPid()));
    UserDefaults::standard().setValue(QStringLiteral("versionCheck"), QStringLiteral("1"));
    const QStringList args = app.arguments().mid(1);
    int status = 0;
    if (args.value(0) == QLatin1String("--first-rows"))
        status = firstRows(args.value(1));
    else if (args.value(0) == QLatin1String("--scroll"))
        status = scrolling(args.value(1));
    else if (args.value(0) == QLatin1String("--shot"))
        status = screenshot(args.value(1), args.value(2));
    else {
        const int n = args.isEmpty() ? 100000 : args.value(0).toInt();
        const QString file = makeCalendar(n > 0 ? n : 100000);
        if (file.isEmpty())
            return 1;
        std::printf("window  %d events, %s\n", n, qPrintable(QGuiApplication::platformName()));
        status = runChild({QStringLiteral("--first-rows"), file}) | runChild({QStringLiteral("--scroll"), file});
    }
    QFile::remove(UserDefaults::standard().fileName());
    return status;
}
