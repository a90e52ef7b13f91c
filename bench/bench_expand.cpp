// Recurrence expansion: 10,000 entries with mixed rules (daily with COUNT, weekly with BYDAY lists
// and exception dates, monthly by day and by last Friday, yearly by month) expanded to a horizon
// two years after the first start, including the final sort.
//
//   tidewell-bench expand                   the whole case (the step runs as a child process)
//   tidewell-bench --child _expand_run      the step alone (for profiling)

#include "bench.h"
#include "calendar/aCalendar.h"
#include "formats/repeatList.h"

#include <QRandomGenerator>

#include <ctime>

namespace
{
constexpr int kEntries = 10000;

EntryPtr makeEntry(const CalDate& start, int minutes, const QString& rule, int n)
{
    EntryPtr e = dataEntry::create();
    const CalDate end = start.addMinutes(minutes);
    e->setStartTime(start);
    e->setStartDate(start);
    e->setEndTime(end);
    e->setEndDate(end);
    e->setSummary(QStringLiteral("Appointment %1 with a summary of ordinary length").arg(n));
    e->setDESCRIPTION(QStringLiteral("Notes for appointment %1, room and agenda").arg(n));
    e->setImportedUID(QStringLiteral("BENCH-%1-0000-0000-0000-000000000000").arg(n, 8, 10, QLatin1Char('0')));
    e->setRRULE(rule);
    return e;
}

} // namespace

EntryList bench::expansionEntries()
{
    QRandomGenerator rng(2007);
    const CalDate first = CalDate::fromFields(2007, 1, 1, 9, 0, 0);
    EntryList list;
    list.reserve(kEntries);
    for (int i = 0; i < kEntries - 1; ++i) {
        // Starts spread over the first half year, at quarter hours between 07:00 and 18:45.
        const CalDate start = CalDate::fromFields(2007, 1, 1 + int(rng.bounded(180)), 7 + int(rng.bounded(12)),
                                                  15 * int(rng.bounded(4)), 0);
        EntryPtr e;
        switch (i % 5) {
        case 0:
            e = makeEntry(start, 60, QStringLiteral("FREQ=DAILY;INTERVAL=1;COUNT=30"), i);
            break;
        case 1: {
            e = makeEntry(start, 45, QStringLiteral("FREQ=WEEKLY;INTERVAL=1;BYDAY=MO,WE,FR"), i);
            for (int x = 1; x <= 3; ++x)
                e->setTheEXDATE(start.addDays(7 * x * (1 + int(rng.bounded(8)))));
            break;
        }
        case 2:
            e = makeEntry(start, 90, QStringLiteral("FREQ=MONTHLY;INTERVAL=1;BYMONTHDAY=%1").arg(start.day()), i);
            break;
        case 3:
            e = makeEntry(start, 30, QStringLiteral("FREQ=MONTHLY;INTERVAL=1;BYDAY=-1FR"), i);
            break;
        default:
            e = makeEntry(start, 120, QStringLiteral("FREQ=YEARLY;INTERVAL=1;BYMONTH=3,9"), i);
            break;
        }
        list.append(e);
    }
    // The last entry fixes the horizon: two years after the first start.
    list.append(makeEntry(first.addYears(2), 60, QString(), kEntries));
    return list;
}

namespace
{
int runExpand(const QStringList&)
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", "Europe/Paris");
    const EntryList entries = bench::expansionEntries();
    const double before = bench::rssMiB();
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    const repeatList expanded(entries);
    const double secs = bench::seconds(timer);
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    // Rows, as a list writer reads them: copies are made only for a caller that asks for entries.
    const qsizetype occurrences = expanded.size() - entries.size();
    const double peak = bench::peakRssMiB();
    bench::report(QStringLiteral("expand"), QStringLiteral("occurrences"), double(occurrences), "");
    bench::report(QStringLiteral("expand"), QStringLiteral("expand + sort"), secs, "s");
    bench::report(QStringLiteral("expand"), QStringLiteral("occurrences per second"), double(occurrences) / secs,
                  "1/s");
    bench::report(QStringLiteral("expand"), QStringLiteral("occurrences per CPU second"), double(occurrences) / cpu,
                  "1/s");
    bench::report(QStringLiteral("expand"), QStringLiteral("peak memory"), peak, "MiB");
    bench::report(QStringLiteral("expand"), QStringLiteral("peak memory per occurrence"),
                  peak * 1024.0 * 1024.0 / double(occurrences), "B");
    bench::report(QStringLiteral("expand"), QStringLiteral("peak above the entries, per occurrence"),
                  (peak - before) * 1024.0 * 1024.0 / double(occurrences), "B");
    return occurrences > 0 ? 0 : 1;
}

int runCase(const QStringList& args)
{
    return bench::runChild(QStringLiteral("_expand_run"), args);
}
} // namespace

BENCH_CASE("expand", runCase);
BENCH_CASE("_expand_run", runExpand);
