// Reading and writing whole calendars: iCalendar and vCalendar files of 1,000, 10,000 and
// 100,000 events. Each step runs in a child process of its own so that its peak memory is its own.
//
//   tidewell-bench io                 all sizes and steps
//   tidewell-bench io 10000           one size
//   tidewell-bench --child _io_read_ics 10000   one step (for profiling)

#include "bench.h"

#include "calendar/aCalendar.h"
#include "platform/Encoding.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>
#include <ctime>

namespace
{
const QList<int> kSizes{1000, 10000, 100000};

QString icsPath(int n)
{
    return bench::scratchDir() + QStringLiteral("/io-%1.ics").arg(n);
}

QString vcsPath(int n)
{
    return bench::scratchDir() + QStringLiteral("/io-%1.vcs").arg(n);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void pinZone()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", "Europe/Paris");
}

// Folds a property line at 72 characters, as writers do.
void appendFolded(QString& out, const QString& line)
{
    qsizetype pos = 0;
    while (line.size() - pos > 73) {
        out += QStringView(line).mid(pos, 72);
        out += QLatin1String("\r\n ");
        pos += 72;
    }
    out += QStringView(line).mid(pos);
    out += QLatin1String("\r\n");
}

const char* const kWords[] = {"review", "budget", "lunch", "Müller", "café", "planning", "Zürich", "naïve",
                              "quarter", "report", "dentist", "Łódź",  "team",  "call",    "notes", "Ωmega"};

QString words(QRandomGenerator& random, int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QString::fromUtf8(kWords[random.bounded(int(std::size(kWords)))]);
    return list.join(QLatin1Char(' '));
}

QString stamp(int day, int hour, int minute)
{
    // Day 0 is 2007-01-01; months of 28 days keep every date valid.
    const int month = 1 + (day / 28) % 12;
    const int year = 2007 + day / (28 * 12);
    return QString::asprintf("%04d%02d%02dT%02d%02d00", year, month, 1 + day % 28, hour, minute);
}

QString dayStamp(int day)
{
    return stamp(day, 0, 0).left(8);
}

// About 700 bytes per event: zoned, all-day, UTC and repeating events with exception dates and
// overrides, folded descriptions with escapes, alarms, attendees and non-ASCII text.
QByteArray makeICalendar(int n)
{
    QRandomGenerator random(20070315);
    QString out = QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quenlor//bench//EN\r\n"
                                 "CALSCALE:GREGORIAN\r\nX-WR-TIMEZONE;VALUE=TEXT:Europe/Paris\r\n");
    out.reserve(qsizetype(n) * 760);
    int lastRepeating = -1;
    for (int i = 0; i < n; ++i) {
        const int kind = i % 20;
        const int day = (i / 4) % 3000;
        const int hour = 7 + random.bounded(10);
        const QString uid = QStringLiteral("urn:uuid:%1-bench-%2@example.com").arg(i % 100000, 8, 10, QLatin1Char('0')).arg(n);
        out += QLatin1String("BEGIN:VEVENT\r\nSEQUENCE:1\r\n");
        const bool override_ = kind == 19 && lastRepeating >= 0;
        out += QLatin1String("UID:")
            + (override_ ? QStringLiteral("urn:uuid:%1-bench-%2@example.com").arg(lastRepeating, 8, 10, QLatin1Char('0')).arg(n) : uid)
            + QLatin1String("\r\nDTSTAMP:20070301T120000Z\r\n");
        if (kind < 8 || override_) {
            const char* zone = kind % 2 ? "America/New_York" : "Europe/Paris";
            out += QStringLiteral("DTSTART;TZID=%1:%2\r\nDTEND;TZID=%1:%3\r\n")
                       .arg(QLatin1String(zone), stamp(day, hour, 30), stamp(day, hour + 1, 15));
        } else if (kind < 11) {
            out += QStringLiteral("DTSTART;VALUE=DATE:%1\r\nDTEND;VALUE=DATE:%2\r\n").arg(dayStamp(day), dayStamp(day + 1 + kind % 3));
        } else if (kind < 14) {
            out += QStringLiteral("DTSTART:%1Z\r\nDURATION:PT1H30M\r\n").arg(stamp(day, hour, 0));
        } else {
            out += QStringLiteral("DTSTART;TZID=Europe/Paris:%1\r\nDURATION:PT45M\r\n"
                                  "RRULE:FREQ=WEEKLY;INTERVAL=1;BYDAY=MO,TH;COUNT=20\r\n"
                                  "EXDATE;TZID=Europe/Paris:%2,%3\r\n")
                       .arg(stamp(day, hour, 0), stamp(day + 7, hour, 0), stamp(day + 14, hour, 0));
            lastRepeating = i;
        }
        if (override_)
            out += QStringLiteral("RECURRENCE-ID;TZID=Europe/Paris:%1\r\n").arg(stamp(day, hour, 0));
        appendFolded(out, QLatin1String("SUMMARY:") + words(random, 3) + QLatin1String("\\, ") + words(random, 2));
        appendFolded(out, QLatin1String("DESCRIPTION:") + words(random, 15) + QLatin1String("\\n") + words(random, 12)
                              + QLatin1String("\\, and ") + words(random, 8));
        appendFolded(out, QLatin1String("LOCATION:Room ") + QString::number(i % 500) + QLatin1String("\\, ")
                              + words(random, 2));
        out += QLatin1String("STATUS:CONFIRMED\r\nCATEGORIES:Work\r\n");
        if (i % 2 == 0)
            out += QLatin1String("BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nDESCRIPTION:Reminder\r\n"
                                 "END:VALARM\r\n");
        if (i % 3 == 0) {
            appendFolded(out, QStringLiteral("ATTENDEE;CN=\"Jane Doe\";ROLE=REQ-PARTICIPANT;PARTSTAT=NEEDS-ACTION;"
                                             "RSVP=TRUE:mailto:jane.%1@example.com")
                                  .arg(i));
            out += QLatin1String("ORGANIZER;CN=Max:mailto:max@example.com\r\n");
        }
        out += QLatin1String("END:VEVENT\r\n");
    }
    out += QLatin1String("END:VCALENDAR\r\n");
    return out.toUtf8();
}

QString quotedPrintable(const QString& text)
{
    // Lines of at most 76 characters with soft line breaks, as vCalendar writers produce them.
    QString out;
    int column = 0;
    for (uchar b : text.toUtf8()) {
        QString piece;
        if (b >= 33 && b <= 126 && b != '=')
            piece = QChar(b);
        else if (b == ' ')
            piece = QStringLiteral(" ");
        else
            piece = QString::asprintf("=%02X", b);
        if (column + piece.size() > 75) {
            out += QLatin1String("=\r\n");
            column = 0;
        }
        out += piece;
        column += int(piece.size());
    }
    return out;
}

// About 470 bytes per event, as an organiser desktop writes them.
QByteArray makeVCalendar(int n)
{
    QRandomGenerator random(19960415);
    QString out = QStringLiteral("BEGIN:VCALENDAR\r\nVERSION:1.0\r\nPRODID:PalmDesktop Generated\r\nTZ:+01\r\n");
    out.reserve(qsizetype(n) * 500);
    for (int i = 0; i < n; ++i) {
        const int day = (i / 4) % 3000;
        const int hour = 6 + random.bounded(10);
        out += QLatin1String("BEGIN:VEVENT\r\nSUMMARY;CHARSET=macintosh:") + words(random, 4) + QLatin1String("\r\n");
        out += QLatin1String("DESCRIPTION;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:")
            + quotedPrintable(words(random, 10) + QLatin1String("\r\n") + words(random, 9)) + QLatin1String("\r\n");
        out += QLatin1String("LOCATION;CHARSET=macintosh:Room ") + QString::number(i % 300) + QLatin1String("\r\n");
        out += QStringLiteral("UID:palm-%1-%2\r\n").arg(i).arg(n);
        out += QStringLiteral("DTSTART:%1Z\r\n").arg(stamp(day, hour, 0));
        if (i % 5 == 4) {
            out += QStringLiteral("DTEND:%1Z\r\nRRULE:W1 TU TH #10\r\nEXDATE:%2Z;%3Z\r\n")
                       .arg(stamp(day, hour + 1, 0), stamp(day + 7, hour, 0), stamp(day + 14, hour, 0));
        } else {
            out += QStringLiteral("DTEND:%1Z\r\n").arg(stamp(day, hour + 1, 30));
        }
        if (i % 2 == 0)
            out += QStringLiteral("DALARM:%1Z;PT5M;2;Meeting\r\n").arg(stamp(day, hour - 1, 45));
        out += QLatin1String("CATEGORIES:Business\r\nEND:VEVENT\r\n");
    }
    out += QLatin1String("END:VCALENDAR\r\n");
    return out.toUtf8();
}

// CPU time of this process: on a shared machine it tells the work apart from the waiting.
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

int sizeArg(const QStringList& args)
{
    return args.value(0).toInt();
}

int generate(const QStringList& args)
{
    const int n = sizeArg(args);
    if (n <= 0)
        return 2;
    if (!QFileInfo::exists(icsPath(n)) && !writeFile(icsPath(n), makeICalendar(n)))
        return 1;
    if (!QFileInfo::exists(vcsPath(n)) && !writeFile(vcsPath(n), makeVCalendar(n)))
        return 1;
    return 0;
}

QString caseName(const char* step, int n)
{
    return QStringLiteral("io %1 %2").arg(QLatin1String(step)).arg(n);
}

void reportRead(const char* step, int n, qsizetype bytes, double secs, double cpu, int events)
{
    const QString name = caseName(step, n);
    bench::report(name, QStringLiteral("file size"), double(bytes) / (1024.0 * 1024.0), "MiB");
    bench::report(name, QStringLiteral("time (decode + setData)"), secs, "s");
    bench::report(name, QStringLiteral("cpu time"), cpu, "s");
    bench::report(name, QStringLiteral("events per second"), events / secs, "ev/s");
    bench::report(name, QStringLiteral("peak resident memory"), bench::peakRssMiB(), "MiB");
}

int readStep(const QStringList& args, bool vcal)
{
    pinZone();
    const int n = sizeArg(args);
    QByteArray bytes = readFile(vcal ? vcsPath(n) : icsPath(n));
    if (bytes.isEmpty())
        return 1;
    const qsizetype size = bytes.size();
    aCalendar cal;
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuSeconds();
    // As the program reads a file: the bytes are checked, decoded and parsed, and handed over so
    // that the pages read are given back.
    const QString message = cal.setDataFromBytes(std::move(bytes), Encoding::Fallback::MacRoman);
    const double secs = bench::seconds(timer);
    const double cpu = cpuSeconds() - cpuStart;
    const int events = cal.entryCount() + int(cal.getTheRecObjects().size());
    reportRead(vcal ? "read vcs" : "read ics", n, size, secs, cpu, events);
    if (events != n) {
        std::fprintf(stderr, "read %d of %d events\n", events, n);
        return 1;
    }
    return 0;
}

int writeStep(const QStringList& args, bool vcal)
{
    pinZone();
    const int n = sizeArg(args);
    aCalendar cal;
    {
        const QByteArray bytes = readFile(vcal ? vcsPath(n) : icsPath(n));
        cal.setData(vcal ? Encoding::decode(bytes, Encoding::Fallback::MacRoman) : Encoding::decodeUtf8(bytes));
    }
    const double before = bench::peakRssMiB();
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuSeconds();
    QByteArray out;
    if (vcal) {
        QString problem;
        out = cal.createVCalBytes(cal.getTheData(), &problem);
    } else {
        const QString name = QStringLiteral("bench.ics");
        out = cal.createICalBytes(cal.getTheData(), &name);
    }
    const double secs = bench::seconds(timer);
    const double cpu = cpuSeconds() - cpuStart;
    const QString name = caseName(vcal ? "write vcs" : "write ics", n);
    bench::report(name, QStringLiteral("output size"), double(out.size()) / (1024.0 * 1024.0), "MiB");
    bench::report(name, QStringLiteral("time (writer + encoding)"), secs, "s");
    bench::report(name, QStringLiteral("cpu time"), cpu, "s");
    bench::report(name, QStringLiteral("events per second"), cal.entryCount() / secs, "ev/s");
    bench::report(name, QStringLiteral("peak resident memory (with the entries)"), bench::peakRssMiB(), "MiB");
    bench::report(name, QStringLiteral("peak before writing"), before, "MiB");
    return out.startsWith("BEGIN:VCALENDAR\r\n") ? 0 : 1;
}

int runAll(const QStringList& args)
{
    QList<int> sizes = kSizes;
    if (!args.isEmpty())
        sizes = {sizeArg(args)};
    int status = 0;
    for (int n : sizes) {
        const QStringList a{QString::number(n)};
        if (bench::runChild(QStringLiteral("_io_generate"), a) != 0)
            return 1;
        for (const char* step : {"_io_read_ics", "_io_write_ics", "_io_read_vcs", "_io_write_vcs"})
            status |= bench::runChild(QLatin1String(step), a);
    }
    return status;
}
} // namespace

BENCH_CASE("io", runAll);
BENCH_CASE("_io_generate", generate);
BENCH_CASE("_io_read_ics", [](const QStringList& a) { return readStep(a, false); });
BENCH_CASE("_io_read_vcs", [](const QStringList& a) { return readStep(a, true); });
BENCH_CASE("_io_write_ics", [](const QStringList& a) { return writeStep(a, false); });
BENCH_CASE("_io_write_vcs", [](const QStringList& a) { return writeStep(a, true); });
