// Delimited import: 100,000 rows from bytes to pending entries (decode, split, one entry per row).

#include "bench.h"
#include "calendar/aCalendar.h"
#include "platform/Encoding.h"
#include "platform/UserDefaults.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>

namespace
{
const int kRows = 100000;

// What a spreadsheet or mail program exports: US dates and 12-hour times, quoted summaries and
// descriptions with commas, doubled quotes and now and then a real line break. With @p distinct
// no date or time repeats (a worst case: every field is read anew).
QByteArray generate(int rows, bool distinct)
{
    QRandomGenerator rng(4242);
    static const char* const words[]
        = {"Budget",  "review", "team",  "lunch",   "call",      "with",   "Smith", "planning",
           "dentist", "school", "board", "meeting", "quarterly", "report", "trip"};
    const QDate firstDay(1900, 1, 1);
    QByteArray out;
    out.reserve(qsizetype(rows) * 120);
    for (int i = 0; i < rows; ++i) {
        QDate date(2005 + int(rng.bounded(5)), 1 + int(rng.bounded(12)), 1 + int(rng.bounded(28)));
        int startSecs = (1 + int(rng.bounded(10))) * 3600 + int(rng.bounded(4)) * 15 * 60;
        if (rng.bounded(2))
            startSecs += 12 * 3600;
        if (distinct) {
            date = firstDay.addDays(i);
            startSecs = i % 40000;
        }
        auto clock = [](int secs) {
            const int h24 = secs / 3600;
            const int h12 = h24 % 12 == 0 ? 12 : h24 % 12;
            return QString::asprintf("%d:%02d:%02d %s", h12, secs / 60 % 60, secs % 60, h24 < 12 ? "AM" : "PM")
                .toLatin1();
        };
        QByteArray summary;
        for (int w = 0, n = 2 + int(rng.bounded(4)); w < n; ++w) {
            if (w)
                summary += w == 1 ? ", " : " ";
            summary += words[rng.bounded(int(std::size(words)))];
        }
        QByteArray description = "Room " + QByteArray::number(1 + rng.bounded(40)) + ", floor "
            + QByteArray::number(1 + rng.bounded(9)) + "\\nBring the \"\"final\"\" slides";
        if (i % 10 == 0)
            description += "\r\nSecond line, with a comma";
        const QByteArray day = date.toString(QStringLiteral("MM/dd/yyyy")).toLatin1();
        out += clock(startSecs) + ',' + day + ',' + clock(startSecs + 3600) + ',' + day + ",\"" + summary + "\",\""
            + description + "\"\r\n";
    }
    return out;
}

QString inputFile(bool distinct)
{
    const QString path = bench::scratchDir()
        + (distinct ? QStringLiteral("/delimited-100k-distinct.csv") : QStringLiteral("/delimited-100k.csv"));
    if (!QFileInfo::exists(path)) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(generate(kRows, distinct));
    }
    return path;
}

int runImport(const QStringList& args)
{
    const QString name = args.value(1);
    UserDefaults::setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    UserDefaults::standard().setValue(QStringLiteral("NSShortDateFormatString"), QStringLiteral("%m/%d/%y"));
    UserDefaults::standard().setValue(QStringLiteral("NSTimeFormatString"), QStringLiteral("%I:%M:%S %p"));
    aCalendar cal;

    QFile f(args.value(0));
    if (!f.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = f.readAll();

    QElapsedTimer total;
    total.start();
    QElapsedTimer step;
    step.start();
    const QString text = Encoding::decode(bytes, Encoding::Fallback::Windows1252);
    const double decodeSecs = bench::seconds(step);
    const double rssBefore = bench::rssMiB();
    step.restart();
    cal.processCT(text, QStringLiteral(","));
    const double splitSecs = bench::seconds(step);
    const double rssSplit = bench::rssMiB();
    step.restart();
    const ColumnOrder order = cal.getCommaTabDataOrder();
    cal.makeAllEntriesWithSeparated(order);
    const double entrySecs = bench::seconds(step);
    const double totalSecs = bench::seconds(total);
    const double rssEntries = bench::rssMiB();
    const double rows = double(cal.getCommaTabRowCount());

    int dated = 0;
    for (const EntryPtr& e : cal.getPendingEntries())
        dated += e->getDataCheck() ? 1 : 0;

    bench::report(name, QStringLiteral("input MiB"), double(bytes.size()) / (1024.0 * 1024.0), "MiB");
    bench::report(name, QStringLiteral("rows"), rows, "");
    bench::report(name, QStringLiteral("valid entries"), double(dated), "");
    bench::report(name, QStringLiteral("decode"), decodeSecs, "s");
    bench::report(name, QStringLiteral("split (processCT)"), splitSecs, "s");
    bench::report(name, QStringLiteral("entries (makeEntryWithSeparated)"), entrySecs, "s");
    bench::report(name, QStringLiteral("bytes to pending entries"), totalSecs, "s");
    bench::report(name, QStringLiteral("peak RSS"), bench::peakRssMiB(), "MiB");
    // What the records cost while they wait for the column order, and with their entries.
    bench::report(name, QStringLiteral("records: bytes per row"), (rssSplit - rssBefore) * 1048576.0 / rows, "B");
    bench::report(name, QStringLiteral("records and entries: bytes per row"),
                  (rssEntries - rssBefore) * 1048576.0 / rows, "B");
    return cal.pendingCount() == int(rows) ? 0 : 1;
}

// Blank lines (a file padded by a spreadsheet, or hostile): no records, no entries.
int runBlankLines(const QStringList& args)
{
    const int lines = args.value(0).toInt();
    UserDefaults::setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    aCalendar cal;
    const QString text(lines, QLatin1Char('\n'));
    const double rssBefore = bench::rssMiB();
    QElapsedTimer timer;
    timer.start();
    cal.processCT(text, QStringLiteral(","));
    cal.makeAllEntriesWithSeparated(cal.getCommaTabDataOrder());
    const QString name = QStringLiteral("csv_blank_lines_") + args.value(0);
    bench::report(name, QStringLiteral("blank lines"), lines, "");
    bench::report(name, QStringLiteral("entries"), cal.pendingCount(), "");
    bench::report(name, QStringLiteral("split and entries"), bench::seconds(timer), "s");
    bench::report(name, QStringLiteral("bytes per line"), (bench::rssMiB() - rssBefore) * 1048576.0 / lines, "B");
    bench::report(name, QStringLiteral("peak RSS"), bench::peakRssMiB(), "MiB");
    return 0;
}
} // namespace

BENCH_CASE("_csv_import", runImport);
BENCH_CASE("_csv_blank_lines", runBlankLines);
BENCH_CASE("csv_blank_lines", [](const QStringList&) {
    return bench::runChild(QStringLiteral("_csv_blank_lines"), {QStringLiteral("1000000")})
        | bench::runChild(QStringLiteral("_csv_blank_lines"), {QStringLiteral("10000000")});
});
BENCH_CASE("csv_import", [](const QStringList&) {
    return bench::runChild(QStringLiteral("_csv_import"), {inputFile(false), QStringLiteral("csv_import")});
});
BENCH_CASE("csv_import_distinct", [](const QStringList&) {
    return bench::runChild(QStringLiteral("_csv_import"), {inputFile(true), QStringLiteral("csv_import_distinct")});
});
