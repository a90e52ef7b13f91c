// Appending the document's entries to a calendar of the calendar application whose data file
// holds 100,000 events ("To iCal"): read, check, rewrite and replace the file.
//
//   tidewell-bench bridge_append                  10 and 10,000 new entries
//   tidewell-bench --child _bridge_append 10      one step

#include "bench.h"
#include "calendar/aCalendar.h"
#include "platform/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace
{
constexpr int kFileEvents = 100000;

QString library()
{
    return bench::scratchDir() + QStringLiteral("/bridge-Library");
}

QString folder()
{
    return library() + QStringLiteral("/Application Support/iCal/Sources/Home.calendar");
}

QByteArray events(int n, int salt)
{
    QByteArray out;
    out.reserve(qsizetype(n) * 420);
    for (int i = 0; i < n; ++i) {
        const int day = 1 + i % 28, month = 1 + (i / 28) % 12, year = 2007 + i / 336 % 20;
        const QByteArray date = QByteArray::number(year) + (month < 10 ? "0" : "") + QByteArray::number(month)
            + (day < 10 ? "0" : "") + QByteArray::number(day);
        out += "BEGIN:VEVENT\r\nSEQUENCE:1\r\nUID:bench-" + QByteArray::number(salt) + "-" + QByteArray::number(i)
            + "@example.com\r\nDTSTAMP:20070301T120000Z\r\nDTSTART;TZID=Europe/Paris:" + date
            + "T093000\r\nDTEND;TZID=Europe/Paris:" + date + "T101500\r\nSUMMARY:Réunion budget Zürich\\, équipe "
            + QByteArray::number(i)
            + "\r\nDESCRIPTION:Ordre du jour: café\\, rapports trimestriels\\, questions diverses et\r\n  suite\r\n"
              "LOCATION:Salle "
            + QByteArray::number(i % 40) + "\r\nEND:VEVENT\r\n";
    }
    return out;
}

QByteArray calendar(int n, int salt)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quenlor//bench//EN\r\nCALSCALE:GREGORIAN\r\n" + events(n, salt)
        + "END:VCALENDAR\r\n";
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

int appendStep(const QStringList& args)
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", "Europe/Paris");
    const int newEntries = qMax(1, args.value(0).toInt());
    qputenv("TIDEWELL_LIBRARY_DIR", library().toUtf8());
    QDir().mkpath(folder());
    const QString data = folder() + QStringLiteral("/corestorage.ics");
    if (!write(folder() + QStringLiteral("/info.plist"),
               PropertyList::toBinary(PropertyList::dict({{"Title", PropertyList::string("Home")}})))
        || !write(data, calendar(kFileEvents, 0))) {
        std::fprintf(stderr, "cannot write the calendar under %s\n", qPrintable(library()));
        return 1;
    }
    aCalendar doc;
    doc.setData(QString::fromUtf8(calendar(newEntries, 1)));
    const double sizeMiB = double(QFileInfo(data).size()) / (1024.0 * 1024.0);

    QElapsedTimer timer;
    timer.start();
    const bool ok = doc.appendEntryToiCalFile({{"theCalendar", "Home"}, {"sort", "1"}});
    const double secs = bench::seconds(timer);
    if (!ok) {
        std::fprintf(stderr, "append failed\n");
        return 1;
    }
    const QString label
        = QStringLiteral("append %1 to %2 events (%3 MiB)").arg(newEntries).arg(kFileEvents).arg(sizeMiB, 0, 'f', 1);
    bench::report(QStringLiteral("bridge_append"), label, secs, "s");
    bench::report(QStringLiteral("bridge_append"), QStringLiteral("peak memory, %1 new").arg(newEntries),
                  bench::peakRssMiB(), "MiB");
    return 0;
}
} // namespace

BENCH_CASE("_bridge_append", appendStep);
BENCH_CASE("bridge_append", [](const QStringList&) {
    int status = 0;
    for (const char* n : {"10", "10000"})
        status |= bench::runChild(QStringLiteral("_bridge_append"), {QString::fromLatin1(n)});
    return status;
});
