// The window's imports and exports with big files.
//
//   tidewell-import-bench            100,000 records / events
//   tidewell-import-bench 20000      another size
//
// Import: a comma-delimited file read, split, shown in the column-order sheet and confirmed; the
// record loop on its worker thread with its progress reports; the entries joined and shown. Also
// how soon Cancel stops the loop. Export: each file export of the window (command to file
// written, the save panel answered at once) beside the same export by the command-line tool (a
// process of its own: reading the file, checking, writing) and by the tool's writing steps alone.
//
// It runs offscreen unless given a display. Each part runs in a child process of its own.

#include "AppControl.h"
#include "ColumnOrderSheet.h"
#include "Dialogs.h"
#include "EntryTableModel.h"
#include "platform/Encoding.h"
#include "platform/SafeFile.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace
{
QString scratchDir()
{
    const QString dir = QDir::tempPath() + QStringLiteral("/tidewell-import-bench");
    QDir().mkpath(dir);
    return dir;
}

void report(const char* part, const QString& label, double value, const char* unit)
{
    std::printf("%-7s %-58s %10.3f %s\n", part, qPrintable(label), value, unit);
    std::fflush(stdout);
}

double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

/// A spreadsheet's export: start time, start date, end time, end date, a quoted summary with a
/// comma, a quoted description; US dates and 12-hour times.
QString makeCsv(int n)
{
    const QString path = scratchDir() + QStringLiteral("/records-%1.csv").arg(n);
    if (QFile::exists(path))
        return path;
    QByteArray out;
    out.reserve(qsizetype(n) * 110);
    const char* words[] = {"Budget", "Review", "Lunch", "Planning", "Dentist", "School", "Board", "Report"};
    for (int i = 0; i < n; ++i) {
        const int month = 1 + i % 12;
        const int day = 1 + (i / 12) % 28;
        const int year = 2005 + (i / 336) % 5;
        const int hour = 1 + i % 11;
        const QByteArray date = QByteArray::number(month).rightJustified(2, '0') + '/'
            + QByteArray::number(day).rightJustified(2, '0') + '/' + QByteArray::number(year);
        const QByteArray pm = (i / 7) % 2 ? " PM" : " AM";
        out += QByteArray::number(hour) + ":30:00" + pm + ',' + date + ',' + QByteArray::number(hour + 1) + ":00:00"
            + pm + ',' + date + ",\"" + words[i % 8] + ", " + words[(i / 8) % 8] + " " + QByteArray::number(i)
            + "\",\"Room " + QByteArray::number(i % 40) + "\\nBring the slides\"\r\n";
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size())
        return {};
    return path;
}

/// An iCalendar file of @p n events, a few of them repeating.
QString makeCalendar(int n)
{
    const QString path = scratchDir() + QStringLiteral("/events-%1.ics").arg(n);
    if (QFile::exists(path))
        return path;
    QByteArray out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quenlor//import bench//EN\r\n";
    for (int i = 0; i < n; ++i) {
        const int day = i % 336;
        const QByteArray date = QByteArray::number(2007 + (i / 336) % 10)
            + QByteArray::number(1 + day / 28).rightJustified(2, '0')
            + QByteArray::number(1 + day % 28).rightJustified(2, '0');
        const QByteArray hour = QByteArray::number(8 + i % 10).rightJustified(2, '0');
        out += "BEGIN:VEVENT\r\nUID:bench-" + QByteArray::number(i)
            + "@quenlor.example\r\nDTSTAMP:20070101T120000Z\r\n";
        out += "DTSTART;TZID=Europe/Paris:" + date + "T" + hour + "0000\r\nDTEND;TZID=Europe/Paris:" + date + "T" + hour
            + "4500\r\n";
        out += "SUMMARY:Meeting " + QByteArray::number(i) + ", room " + QByteArray::number(i % 40) + "\r\n";
        out += "DESCRIPTION:Notes " + QByteArray::number(i) + "\\nSecond line\r\n";
        if (i % 500 == 0)
            out += "RRULE:FREQ=WEEKLY;COUNT=4\r\n";
        out += "END:VEVENT\r\n";
    }
    out += "END:VCALENDAR\r\n";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(out) != out.size())
        return {};
    return path;
}

bool waitFor(AppControl& control, void (AppControl::*signal)(), int timeoutMs = 600000)
{
    QEventLoop loop;
    bool arrived = false;
    QObject::connect(&control, signal, &loop, [&] {
        arrived = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return arrived;
}

bool waitForImport(AppControl& control, bool* cancelled)
{
    QEventLoop loop;
    bool arrived = false;
    QObject::connect(&control, &AppControl::delimitedImportFinished, &loop, [&](bool c) {
        arrived = true;
        *cancelled = c;
        loop.quit();
    });
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    loop.exec();
    return arrived;
}

int importPart(const QString& file)
{
    AppControl control;
    control.awakeFromNib();
    control.applicationDidFinishLaunching();
    int progressReports = 0;

    QElapsedTimer total;
    total.start();
    QElapsedTimer step;
    step.start();
    Dialogs::queueAnswer(QStringList {file});
    control.importFromFileComma();
    QEventLoop until;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &until, [&] {
        if (control.orderSheet())
            until.quit();
    });
    poll.start(0);
    until.exec();
    poll.stop();
    const double split = ms(step);
    const int records = int(control.document().getCommaTabData().size());

    step.restart();
    control.orderSheet()->okButton()->click();
    ImportProgressSheet* sheet = control.importCounterWindow();
    QObject::connect(sheet->theImporterProgress(), &QProgressBar::valueChanged, [&] { ++progressReports; });
    bool cancelled = false;
    if (!waitForImport(control, &cancelled) || cancelled)
        return 1;
    const double loopAndJoin = ms(step);
    const double all = ms(total);
    QApplication::processEvents();

    report("import", QStringLiteral("records"), records, "");
    report("import", QStringLiteral("read, decode and split, sheet shown"), split, "ms");
    report("import", QStringLiteral("record loop with progress, entries joined and shown"), loopAndJoin, "ms");
    report("import", QStringLiteral("whole import, panel answered to rows shown"), all, "ms");
    report("import", QStringLiteral("progress updates shown"), progressReports, "");
    report("import", QStringLiteral("progress updates per second"), progressReports / (loopAndJoin / 1000.0), "/s");
    report("import", QStringLiteral("rows in the table"), control.entryModel()->rowCount(), "");

    // Cancel: a second import of the same file, stopped 200 ms into the loop.
    Dialogs::queueAnswer(QStringList {file});
    control.importFromFileComma();
    poll.start(0);
    until.exec();
    poll.stop();
    control.orderSheet()->okButton()->click();
    QElapsedTimer sinceCancel;
    QTimer::singleShot(200, [&] {
        sinceCancel.start();
        control.importCounterWindow()->cancelButton()->click();
    });
    if (!waitForImport(control, &cancelled) || !cancelled)
        return 1;
    report("import", QStringLiteral("Cancel to loop stopped and sheet closed"), ms(sinceCancel), "ms");
    report("import", QStringLiteral("rows in the table after the cancelled import"), control.entryModel()->rowCount(),
           "");
    return 0;
}

struct ExportKind
{
    const char* name;
    void (AppControl::*command)();
    const char* extension;
    const char* cliExtension;
};

const ExportKind kExports[] = {
    {"iCalendar", &AppControl::exportToFile, "ics", "ics"}, {"vCalendar", &AppControl::exportToVCal, "vcal", "vcal"},
    {"comma", &AppControl::commaOutput, "csv", "csv"},      {"tab", &AppControl::tabOutput, "txt", "tab"},
    {"text list", &AppControl::textOutput, "txt", "txt"},
};

/// What the command-line tool does to write the document (its writeDocument), in this process.
QByteArray toolBytes(aCalendar& doc, const ExportKind& kind, const QString& path)
{
    if (!doc.dataCheck())
        return {};
    const QString ext = QString::fromLatin1(kind.cliExtension);
    if (ext == QLatin1String("ics"))
        return doc.createICalString(doc.getTheData(), path).toUtf8();
    if (ext == QLatin1String("vcal"))
        return Encoding::encodeMacRoman(doc.createVCalString());
    const QStringList columns {QStringLiteral("startTime"), QStringLiteral("startDate"), QStringLiteral("endTime"),
                               QStringLiteral("endDate"), QStringLiteral("theSummary")};
    if (ext == QLatin1String("csv"))
        return doc.theCommaOut(doc.getTheData(), columns).toUtf8();
    if (ext == QLatin1String("tab"))
        return doc.theTabOut(doc.getTheData(), columns).toUtf8();
    return doc.textOutput().toUtf8();
}

int exportPart(const QString& file)
{
    AppControl control;
    control.awakeFromNib();
    control.applicationDidFinishLaunching();
    control.applicationOpenFile(file);
    if (!waitFor(control, &AppControl::fileBatchFinished))
        return 1;
    const int entries = control.document().entryCount();
    report("export", QStringLiteral("events in the window"), entries, "");
    for (const ExportKind& kind : kExports) {
        // Each way three times, alternating; the best of each counts (the machine is shared).
        double window = 1e12;
        double steps = 1e12;
        const QString out = scratchDir() + QStringLiteral("/window-out.") + QLatin1String(kind.extension);
        const QString toolOut = scratchDir() + QStringLiteral("/tool-out.") + QLatin1String(kind.cliExtension);
        for (int round = 0; round < 3; ++round) {
            QFile::remove(out);
            // A repeating calendar asks first: write every event once, as the tool does without
            // --expand.
            if (QByteArrayView(kind.name) == "comma" || QByteArrayView(kind.name) == "tab")
                Dialogs::queueAnswer(1);
            Dialogs::queueAnswer(out);
            QElapsedTimer t;
            t.start();
            (control.*kind.command)();
            while (control.getAlertWindow())
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            window = std::min(window, ms(t));
            if (!QFile::exists(out))
                return 1;
            t.restart();
            QString error;
            if (!SafeFile::writeFile(toolOut, toolBytes(control.document(), kind, toolOut), &error))
                return 1;
            steps = std::min(steps, ms(t));
        }

        QElapsedTimer t;
        QProcess cli;
        // The tool keeps its settings away from the user's, as the window does here.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), scratchDir() + QStringLiteral("/config"));
        cli.setProcessEnvironment(env);
        t.restart();
        cli.start(QStringLiteral(TIDEWELL_CLI_PATH), {QStringLiteral("convert"), file, QStringLiteral("-o"), toolOut});
        cli.waitForFinished(-1);
        const double process = ms(t);
        if (cli.exitCode() != 0)
            return 1;
        report("export", QStringLiteral("%1: the window, command to file written").arg(QLatin1String(kind.name)),
               window, "ms");
        report("export", QStringLiteral("%1: the tool's writing steps").arg(QLatin1String(kind.name)), steps, "ms");
        report("export", QStringLiteral("%1: tidewell-cli convert, whole process").arg(QLatin1String(kind.name)),
               process, "ms");
        report("export", QStringLiteral("%1: window / tool's writing steps").arg(QLatin1String(kind.name)),
               window / steps, "x");
    }
    return 0;
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
    // Never the user's settings; the version check stays off; US formats for the records.
    UserDefaults::useStore(scratchDir() + QStringLiteral("/settings-%1.ini").arg(QCoreApplication::applicationPid()));
    UserDefaults& prefs = UserDefaults::standard();
    prefs.setValue(QStringLiteral("versionCheck"), QStringLiteral("1"));
    prefs.setValue(QStringLiteral("NSShortDateFormatString"), QStringLiteral("%m/%d/%Y"));
    prefs.setValue(QStringLiteral("NSTimeFormatString"), QStringLiteral("%I:%M:%S %p"));
    const QStringList args = app.arguments().mid(1);
    int status = 0;
    if (args.value(0) == QLatin1String("--import")) {
        status = importPart(args.value(1));
    } else if (args.value(0) == QLatin1String("--export")) {
        status = exportPart(args.value(1));
    } else {
        const int n = args.isEmpty() ? 100000 : std::max(1, args.value(0).toInt());
        const QString csv = makeCsv(n);
        const QString ics = makeCalendar(n);
        if (csv.isEmpty() || ics.isEmpty())
            return 1;
        std::printf("%d records / events, %s\n", n, qPrintable(QGuiApplication::platformName()));
        status = runChild({QStringLiteral("--import"), csv}) | runChild({QStringLiteral("--export"), ics});
    }
    QFile::remove(UserDefaults::standard().fileName());
    return status;
}
