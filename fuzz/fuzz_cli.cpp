// The command-line tool in-process: arguments from the input's first line (split at each space,
// so two spaces make an empty argument), the rest as standard input, standard output and error in
// memory. A first line that begins with "!" gives a standard output on which every write fails,
// as on a full disk.
//
// Everything runs inside one temporary folder made at start and removed at exit: the working
// folder during a run (the fuzzer's own is restored after it, for its relative paths) holds a few calendars, lists and
// cards to name; home, settings, caches and the calendar application's Library folder point below it. An argument
// cannot leave it: a "/" is kept only in an argument that begins with a letter and holds no "..", a relative path (or a
// zone name such as Europe/Paris); everywhere else it becomes "-" (so "-o/x" and "--output=/x" name files in the
// working folder too). No program can be started (PATH is empty), no Secret Service or desktop bus is asked, and CalDAV
// accounts are only added without asking their server (every request would go to a closed port on 127.0.0.1 anyway).
//
// Aborts when the exit status is not 0, 1 or 2, when a failed standard output is reported as
// success, or when a calendar written to standard output is not well formed.
#include "Cli.h"
#include "bridges/caldavAccounts.h"
#include "bridges/caldavCalendars.h"
#include "fuzzcommon.h"
#include "platform/Desktop.h"
#include "wellFormed.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkProxy>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace
{
/// Standard output on a full disk: every write fails, and the device remembers it was tried.
class FullDevice : public QIODevice
{
public:
    FullDevice()
    {
        open(QIODevice::WriteOnly);
        setErrorString(QStringLiteral("No space left on device"));
    }
    bool tried = false;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64) override
    {
        tried = true;
        return -1;
    }
};

struct Sandbox
{
    QTemporaryDir root {QDir::tempPath() + QStringLiteral("/tidewell-fuzz-cli-XXXXXX")};
    QString work;
    QString library;
    /// The fuzzer's own folder: its corpus and artifact paths may be relative to it.
    QString start;
    QList<QPair<QString, QByteArray>> fixtures;
};

Sandbox& sandbox()
{
    static Sandbox* box = nullptr;
    if (box)
        return *box;
    static QByteArray argv0 = "fuzz_cli";
    static char* argv[] = {argv0.data(), nullptr};
    static int argc = 1;
    static QCoreApplication app(argc, argv);
    box = new Sandbox;
    // Removes the folder when the fuzzer exits normally.
    std::atexit([] { delete box; });
    const QString root = box->root.path();
    for (const char* sub : {"home", "config", "data", "cache", "library", "work", "nothing"})
        QDir(root).mkpath(QString::fromLatin1(sub));
    qputenv("HOME", QFile::encodeName(root + QStringLiteral("/home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(root + QStringLiteral("/cache")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + QStringLiteral("/nothing")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(root + QStringLiteral("/nothing")));
    qputenv("TIDEWELL_LIBRARY_DIR", QFile::encodeName(root + QStringLiteral("/library")));
    qputenv("PATH", QFile::encodeName(root + QStringLiteral("/nothing")));
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(root + QStringLiteral("/nothing/bus")));
    qunsetenv("EMAIL");
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 9));
    Desktop::setRunningApplicationsProvider([] { return QStringList(); });
    caldav::Passwords::setSecretServiceEnabled(false);
    box->work = root + QStringLiteral("/work");
    box->library = root + QStringLiteral("/library");
    box->start = QDir::currentPath();

    const QByteArray ics = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Fuzz//EN\r\n"
                           "BEGIN:VEVENT\r\nUID:a1\r\nDTSTART;TZID=Europe/Paris:20070315T093000\r\n"
                           "DTEND;TZID=Europe/Paris:20070315T103000\r\nSUMMARY:Budget\\, hiring\r\n"
                           "RRULE:FREQ=WEEKLY;COUNT=4;BYDAY=TH\r\nEXDATE;TZID=Europe/Paris:20070322T093000\r\n"
                           "ATTENDEE;CN=\"Ann Lee\":mailto:ann@example.org\r\nEND:VEVENT\r\n"
                           "BEGIN:VEVENT\r\nUID:a1\r\nRECURRENCE-ID;TZID=Europe/Paris:20070329T093000\r\n"
                           "DTSTART;TZID=Europe/Paris:20070329T110000\r\nDURATION:PT1H\r\nSUMMARY:Moved\r\n"
                           "END:VEVENT\r\nBEGIN:VEVENT\r\nUID:a2\r\nDTSTART;VALUE=DATE:20070401\r\n"
                           "SUMMARY:Holiday\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    const QByteArray vcs = "BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nDTSTART:20070315T083000Z\r\n"
                           "DTEND:20070315T093000Z\r\nSUMMARY;ENCODING=QUOTED-PRINTABLE:Caf=E9\r\n"
                           "RRULE:MD1 15 #3\r\nDALARM:20070315T080000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    box->fixtures = {
        {QStringLiteral("a.ics"), ics},
        {QStringLiteral("b.vcs"), vcs},
        {QStringLiteral("c.csv"),
         "Start Date,Start Time,End Date,End Time,Summary\r\n"
         "03/15/2007,09:30,03/15/2007,10:30,\"Budget, \"\"hiring\"\"\"\r\n"
         "04/01/2007,,04/01/2007,,Holiday\r\n"},
        {QStringLiteral("d.tsv"), "15.03.2007\t09:30\t15.03.2007\t10:30\tBudget\r\n"},
        {QStringLiteral("e.txt"), "Dentist 12/05/2006 10:30am, again on March 3rd at noon\n"},
        {QStringLiteral("f.vcf"),
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\n"
         "EMAIL;TYPE=work:ann@example.org\r\nCATEGORIES:Team\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bo \"B\" Ng\r\nEMAIL:bo@example.org\r\n"
         "CATEGORIES:Team\r\nEND:VCARD\r\n"},
        {QStringLiteral("library/Preferences/com.apple.iCal.sources.plist"),
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>SourcesView</key><dict>"
         "<key>S1</key><dict><key>Description</key><string>Home</string></dict></dict></dict></plist>\n"},
        {QStringLiteral("library/Application Support/iCal/Sources/S1.calendar/info.plist"),
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>Title</key>"
         "<string>Home</string></dict></plist>\n"},
        {QStringLiteral("library/Application Support/iCal/Sources/S1.calendar/corestorage.ics"), ics},
    };
    return *box;
}

/// Puts back the folders and files every run starts from: what the last run wrote is gone.
void reset(Sandbox& box)
{
    const QString root = box.root.path();
    for (const char* sub : {"work", "library", "cache", "home", "data"}) {
        QDir dir(root + QLatin1Char('/') + QLatin1String(sub));
        dir.removeRecursively();
        QDir(root).mkpath(QString::fromLatin1(sub));
    }
    for (const auto& [name, bytes] : box.fixtures) {
        const QString path = name.startsWith(QLatin1String("library/")) ? root + QLatin1Char('/') + name
                                                                        : box.work + QLatin1Char('/') + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            std::abort();
    }
    caldav::Accounts::save({});
    caldav::Passwords::resetForTests();
    caldav::Calendars::instance().resetForTests();
}

/// The working folder during a run, and the fuzzer's own outside it.
void enter(const QString& dir)
{
    if (::chdir(QFile::encodeName(dir).constData()) != 0)
        std::abort();
}

void fail(const char* what, const QStringList& args, const QByteArray& output)
{
    // The crashing input is written relative to the fuzzer's folder.
    enter(sandbox().start);
    std::fprintf(stderr, "%s\narguments: %s\n--- output ---\n%s\n--- end ---\n", what,
                 args.join(QLatin1String(" | ")).toUtf8().constData(), output.left(4000).constData());
    std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    Sandbox& box = sandbox();
    reset(box);

    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype lineEnd = bytes.indexOf('\n');
    QByteArray first = lineEnd < 0 ? bytes : bytes.left(lineEnd);
    QByteArray input = lineEnd < 0 ? QByteArray() : bytes.mid(lineEnd + 1);
    const bool full = first.startsWith('!');
    if (full)
        first.remove(0, 1);
    QStringList args = QString::fromUtf8(first).split(QLatin1Char(' '));
    for (QString& arg : args) {
        const bool relative
            = !arg.isEmpty() && arg.at(0).isLetter() && arg.at(0).unicode() < 128 && !arg.contains(QLatin1String(".."));
        if (!relative)
            arg.replace(QLatin1Char('/'), QLatin1Char('-'));
    }
    if (args.size() == 1 && args.first().isEmpty())
        args.clear();
    // Accounts are added without asking their server.
    if (args.value(0) == QLatin1String("account") && args.contains(QLatin1String("add")))
        args << QStringLiteral("--no-check");

    QBuffer in(&input);
    in.open(QIODevice::ReadOnly);
    QByteArray outBytes, errBytes;
    QBuffer memoryOut(&outBytes), err(&errBytes);
    memoryOut.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    FullDevice fullOut;
    QIODevice* out = full ? static_cast<QIODevice*>(&fullOut) : &memoryOut;

    enter(box.work);
    const int status = runCli(args, &in, out, &err);
    enter(box.start);
    if (status < 0 || status > 2)
        fail("exit status out of range", args, errBytes);
    if (full && fullOut.tried && status == 0)
        fail("a failed standard output was reported as success", args, errBytes);

    QString problem;
    if (outBytes.startsWith("BEGIN:VCALENDAR\r\nVERSION:1.0"))
        problem = wellFormed::vCalendarProblem(outBytes);
    else if (outBytes.startsWith("BEGIN:VCALENDAR\r\n"))
        problem = wellFormed::iCalendarProblem(QString::fromUtf8(outBytes));
    else if (outBytes.startsWith("BEGIN:VCALENDAR\n"))
        problem = wellFormed::iCalendarProblem(QString::fromUtf8(outBytes), "\n");
    if (!problem.isEmpty())
        fail(qPrintable(QStringLiteral("the calendar written is not well formed: ") + problem), args, outBytes);
    return 0;
}
