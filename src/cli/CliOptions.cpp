#include "CliOptions.h"

#include "formats/repeatList.h"
#include "platform/Encoding.h"
#include "platform/NaturalDate.h"
#include "platform/Parallel.h"
#include "text/theSorter.h"

#include <QLocale>

#include <algorithm>
#include <ctime>

namespace cli
{
void addHelpOption(QCommandLineParser& p)
{
    p.addOption({{"h", "help"}, "Show this help."});
    QCommandLineOption all(QStringLiteral("help-all"));
    all.setFlags(QCommandLineOption::HiddenFromHelp);
    p.addOption(all);
}

bool helpRequested(const QCommandLineParser& p)
{
    return p.isSet(QStringLiteral("help")) || p.isSet(QStringLiteral("help-all"));
}

// --- delimited input -----------------------------------------------------------------------------

void addInputOptions(QCommandLineParser& p, bool writesLists)
{
    p.addOption({"from", "Input format: ics, vcal, csv or tab (default: from each file's extension).", "FORMAT"});
    p.addOption({"columns-in",
                 "Column order of delimited input, as titles or codes (e.g. \"Subject,Start Date,Start Time,End "
                 "Date,End Time,Description,Location\" or \"4,1,0,3,2,5\"; - skips a column). Default: the "
                 "titles of the first row when it has them, else the saved column order.",
                 "LIST"});
    const QString header = QStringLiteral(
        "The first row of delimited input holds column titles and is not an entry (a first row naming two "
        "known columns, as Outlook and Google export them, is taken as titles without it too).");
    p.addOption(
        {QStringLiteral("header"),
         writesLists ? header + QStringLiteral(" Comma and tab lists written begin with such a row.") : header});
    QCommandLineOption skip(QStringLiteral("skip-header"), QStringLiteral("Same as --header for input."));
    skip.setFlags(QCommandLineOption::HiddenFromHelp);
    p.addOption(skip);
    p.addOption({"delimiter",
                 "Field delimiter of delimited input: one character such as ; or tab (default: a comma for csv, a tab "
                 "for tab).",
                 "CHAR"});
    p.addOption({"date-order",
                 "Order of day, month and year in the dates of delimited input: dmy, mdy or ymd (default: that "
                 "of your short date format).",
                 "ORDER"});
}

bool inputOptions(Session& s, const QCommandLineParser& p, const aCalendar& doc, Format* forced, DelimitedOptions* o,
                  int* status)
{
    *forced = Format::None;
    if (p.isSet(QStringLiteral("from"))) {
        *forced = formatFromName(p.value(QStringLiteral("from")));
        if (*forced == Format::None || *forced == Format::Text) {
            *status = s.usage(QStringLiteral("unknown input format %1").arg(p.value(QStringLiteral("from"))));
            return false;
        }
    }
    o->order = doc.getCommaTabDataOrder();
    if (p.isSet(QStringLiteral("columns-in"))) {
        QString why;
        o->order = aCalendar::columnOrderFromText(p.value(QStringLiteral("columns-in")), &why);
        if (o->order.isEmpty()) {
            *status = s.usage(QStringLiteral("bad --columns-in: %1").arg(why));
            return false;
        }
        o->orderGiven = true;
    }
    o->header = p.isSet(QStringLiteral("header")) || p.isSet(QStringLiteral("skip-header"));
    if (p.isSet(QStringLiteral("delimiter"))) {
        QString d = p.value(QStringLiteral("delimiter"));
        if (d.compare(QLatin1String("tab"), Qt::CaseInsensitive) == 0 || d == QLatin1String("\\t"))
            d = QStringLiteral("\t");
        if (d.size() != 1 || d.at(0) == QLatin1Char('"') || d.at(0) == QLatin1Char('\n')
            || d.at(0) == QLatin1Char('\r')) {
            *status = s.usage(QStringLiteral("bad --delimiter %1: give one character (not a quote or a line end), "
                                             "or tab")
                                  .arg(p.value(QStringLiteral("delimiter"))));
            return false;
        }
        o->delimiter = d;
    }
    if (p.isSet(QStringLiteral("date-order"))) {
        const QString order = p.value(QStringLiteral("date-order")).toUpper();
        if (order != QLatin1String("DMY") && order != QLatin1String("MDY") && order != QLatin1String("YMD")) {
            *status = s.usage(
                QStringLiteral("bad --date-order %1: use dmy, mdy or ymd").arg(p.value(QStringLiteral("date-order"))));
            return false;
        }
        o->dateOrder = order;
    }
    return true;
}

bool readDelimited(Session& s, aCalendar& doc, const QString& name, const QString& text, Format format,
                   const DelimitedOptions& o)
{
    const QString delimiter = !o.delimiter.isEmpty() ? o.delimiter
        : format == Format::Csv                      ? QStringLiteral(",")
                                                     : QStringLiteral("\t");
    doc.setCommaTabDateOrder(o.dateOrder);
    if (!doc.processCT(text, delimiter)) {
        s.error(QStringLiteral("tidewell-cli: %1: more than %2 records; a delimited file is read up to that many "
                               "(split it into smaller files)")
                    .arg(name, QLocale(QLocale::English).toString(aCalendar::kMaxCommaTabRows)));
        doc.clearCommaTabData();
        return false;
    }
    // A first row naming two or more known columns is a heading even without --header: no row
    // of appointments reads "Subject,Start Date".
    ColumnOrder order = o.order;
    const ColumnOrder fromHeading = aCalendar::columnOrderFromHeading(doc.getCommaTabRow(0));
    const auto known = std::count_if(fromHeading.cbegin(), fromHeading.cend(),
                                     [](const ColumnDescriptor& c) { return c.code.toInt() >= 0; });
    if (o.header || known >= 2) {
        if (!o.orderGiven && !fromHeading.isEmpty())
            order = fromHeading;
        doc.dropCommaTabHeader();
    }
    const int rows = doc.getCommaTabRowCount();
    doc.makeAllEntriesWithSeparated(order);
    doc.clearCommaTabData();
    // Records without a single date or time anywhere are not a calendar in these columns.
    const EntryList& made = doc.getPendingEntries();
    const bool anyDate = std::any_of(made.cbegin(), made.cend(), [](const EntryPtr& e) {
        return e->getStartDate() || e->getStartTime() || e->getEndDate() || e->getEndTime();
    });
    if (rows > 0 && !anyDate) {
        QStringList titles;
        for (const ColumnDescriptor& c : std::as_const(order))
            titles << (c.code.toInt() < 0 ? QStringLiteral("-") : c.title);
        s.error(QStringLiteral("tidewell-cli: %1: not a calendar file: no row holds a date or a time that can be "
                               "read in the columns %2 (see --columns-in, --header, --delimiter, --date-order)")
                    .arg(name, titles.join(QLatin1Char(','))));
        return false; // the entries stay pending, never joined
    }
    doc.addPendingData();
    return true;
}

bool looksLikeCalendar(const QString& text)
{
    return text.trimmed().isEmpty() || text.contains(QLatin1String("BEGIN:VCALENDAR"), Qt::CaseInsensitive)
        || text.contains(QLatin1String("BEGIN:VEVENT"), Qt::CaseInsensitive);
}

// --- choosing and ordering entries ---------------------------------------------------------------

void addSelectionOptions(QCommandLineParser& p)
{
    p.addOption({"since",
                 "Keep only entries that end on or after DATE: YYYY-MM-DD, YYYY-MM-DD HH:MM, or a date as you "
                 "write dates (a repeating entry is kept when one of its occurrences reaches the range).",
                 "DATE"});
    p.addOption({"until",
                 "Keep only entries that start on or before DATE, written as for --since (a date includes its "
                 "whole day).",
                 "DATE"});
    p.addOption({"sort",
                 "Order of the entries written: start, end or summary (default: as read; comma and tab "
                 "lists by start).",
                 "KEY"});
    addZoneOption(p);
}

void addZoneOption(QCommandLineParser& p)
{
    p.addOption(
        {"tz", "Time zone of the times read and written, e.g. Europe/Paris or UTC (default: the machine's).", "ZONE"});
}

bool zoneOption(Session& s, const QCommandLineParser& p, Selection* sel, int* status)
{
    if (!p.isSet(QStringLiteral("tz")))
        return true;
    const QString name = p.value(QStringLiteral("tz")).trimmed();
    if (!Zones::isKnown(name)) {
        *status = s.usage(QStringLiteral("unknown time zone %1 (use a name such as Europe/Paris or UTC)").arg(name));
        return false;
    }
    sel->zone = Zones::idOf(Zones::byName(name));
    return true;
}

namespace
{
// A date the user typed: ISO or as the user writes dates; @p hasTime tells whether a time was given.
CalDate dateOption(const QString& text, bool* hasTime)
{
    *hasTime = text.contains(QLatin1Char(':'));
    return NaturalDate::parse(text.trimmed(), NaturalDateSettings::fromUserDefaults());
}

bool endless(const QString& rrule)
{
    return !rrule.contains(QLatin1String("COUNT="), Qt::CaseInsensitive)
        && !rrule.contains(QLatin1String("UNTIL="), Qt::CaseInsensitive);
}

// True when the entry's time meets [since, until). A whole-day entry lasts to the end of its
// last day (its end date is that day).
bool meets(const dataEntry& e, const CalDate& since, const CalDate& until)
{
    const CalDate start = e.getFullStartTime();
    if (until && start >= until)
        return false;
    if (!since)
        return true;
    CalDate end = e.getFullEndTime();
    if (!e.getStartTime() && !e.getEndTime())
        end = (end ? end : start).addDays(1);
    return start >= since || (end && end > since);
}
} // namespace

bool selectionOptions(Session& s, const QCommandLineParser& p, Selection* sel, OutputOptions* o, int* status)
{
    for (const char* name : {"since", "until"}) {
        const QString option = QString::fromLatin1(name);
        if (!p.isSet(option))
            continue;
        bool hasTime = false;
        const CalDate d = dateOption(p.value(option), &hasTime);
        if (!d) {
            *status = s.usage(
                QStringLiteral("bad --%1 %2: use YYYY-MM-DD (or YYYY-MM-DD HH:MM)").arg(option, p.value(option)));
            return false;
        }
        if (option == QLatin1String("since"))
            sel->since = d;
        else
            sel->untilExclusive = hasTime ? d.addSeconds(1) : d.addDays(1);
    }
    if (sel->since && sel->untilExclusive && sel->untilExclusive <= sel->since) {
        *status = s.usage(QStringLiteral("--until is before --since"));
        return false;
    }
    if (p.isSet(QStringLiteral("sort"))) {
        sel->sort = p.value(QStringLiteral("sort")).toLower();
        if (sel->sort != QLatin1String("start") && sel->sort != QLatin1String("end")
            && sel->sort != QLatin1String("summary")) {
            *status = s.usage(QStringLiteral("bad --sort %1: use start, end or summary").arg(p.value("sort")));
            return false;
        }
    }
    o->since = sel->since;
    o->untilExclusive = sel->untilExclusive;
    o->sort = sel->sort;
    return true;
}

void applySelection(aCalendar& doc, const Selection& sel)
{
    if (sel.since || sel.untilExclusive) {
        EntryList kept;
        for (const EntryPtr& e : std::as_const(doc.getTheData())) {
            const CalDate start = e->getFullStartTime();
            if (!start) {
                kept << e; // not placed in time; validation speaks of it
                continue;
            }
            if (e->getRRULENoRRULE().isEmpty()) {
                if (meets(*e, sel.since, sel.untilExclusive))
                    kept << e;
                continue;
            }
            if (sel.untilExclusive && start >= sel.untilExclusive)
                continue;
            if (!sel.since || endless(e->getRRULENoRRULE())) {
                kept << e;
                continue;
            }
            // A rule with an end: kept when one of its occurrences reaches the range.
            const repeatList occurrences(EntryList {e});
            const EntryList& all = occurrences.getDataArray();
            if (std::any_of(all.cbegin(), all.cend(),
                            [&](const EntryPtr& o) { return meets(*o, sel.since, sel.untilExclusive); }))
                kept << e;
        }
        doc.replaceTheData(kept);
    }
    if (sel.sort == QLatin1String("start"))
        doc.sortStart();
    else if (sel.sort == QLatin1String("end"))
        doc.sortEnd();
    else if (sel.sort == QLatin1String("summary"))
        doc.sortSummary();
}

ZoneScope::ZoneScope(const QString& zone)
{
    if (zone.isEmpty())
        return;
    m_active = true;
    m_wasSet = qEnvironmentVariableIsSet("TZ");
    m_old = qgetenv("TZ");
    qputenv("TZ", zone.toUtf8());
    tzset();
}

ZoneScope::~ZoneScope()
{
    if (!m_active)
        return;
    if (m_wasSet)
        qputenv("TZ", m_old);
    else
        qunsetenv("TZ");
    tzset();
}

// --- lists ---------------------------------------------------------------------------------------

namespace
{
void reportExpansionWarnings(Session& s, const QString& warnings)
{
    if (warnings.isEmpty())
        return;
    QString w = warnings.trimmed();
    w.replace(QLatin1String("\r\r"), QLatin1String("\n"));
    w.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    s.error(w);
}

// Rules without an end run up to the start of the last entry given: an entry at the end of the
// range carries them that far, and is left out again afterwards.
repeatList expansionFor(const aCalendar& doc, const OutputOptions& o, EntryPtr* horizon)
{
    EntryList given = doc.getTheData();
    if (o.untilExclusive) {
        *horizon = dataEntry::create();
        (*horizon)->setStartDate(o.untilExclusive);
        given << *horizon;
    }
    return repeatList(given);
}

// The expansion's rows in range (each row counts by its start: a row for every day an entry
// spans), written without making the copies the rows stand for.
bool expandedListTo(Session& s, const aCalendar& doc, const OutputOptions& o,
                    const std::function<bool(const QByteArray&)>& sink)
{
    EntryPtr horizon;
    const repeatList expanded = expansionFor(doc, o, &horizon);
    QList<qsizetype> rows;
    rows.reserve(expanded.size());
    for (qsizetype i = 0; i < expanded.size(); ++i) {
        if (horizon && expanded.entryAt(i) == horizon)
            continue;
        if (o.since || o.untilExclusive) {
            const CalDate start = expanded.row(i).start;
            if (!((!o.since || start >= o.since) && (!o.untilExclusive || start < o.untilExclusive)))
                continue;
        }
        rows << i;
    }
    reportExpansionWarnings(s, expanded.getWarningString());
    aCalendar::ListOptions list;
    list.heading = o.heading;
    return doc.delimitedListTo(expanded, std::move(rows), o.columns, o.format != Format::Csv, list, sink);
}
} // namespace

bool writesListInParts(const OutputOptions& o)
{
    return o.expand && o.format != Format::Text && o.sort.isEmpty();
}

bool writeListInParts(Session& s, const aCalendar& doc, const OutputOptions& o)
{
    return s.writeOutput(o.path, [&](const std::function<bool(const QByteArray&)>& sink) {
        return expandedListTo(s, doc, o, sink);
    });
}

QList<QByteArray> listParts(Session& s, const aCalendar& doc, const OutputOptions& o)
{
    const bool readable = o.format == Format::Text;
    EntryList entries = doc.getTheData();
    QString warnings;
    if (writesListInParts(o)) {
        return Parallel::collected([&](const Parallel::PartSink& sink) { return expandedListTo(s, doc, o, sink); });
    }
    if (o.expand || readable) {
        EntryPtr horizon;
        const repeatList expanded = expansionFor(doc, o, &horizon);
        warnings = expanded.getWarningString();
        entries.clear();
        for (const EntryPtr& e : expanded.getDataArray()) {
            // The expansion lists a row for every day an entry spans: each row counts by its start.
            if (e == horizon)
                continue;
            if (o.since || o.untilExclusive) {
                const CalDate start = e->getFullStartTime();
                if (!((!o.since || start >= o.since) && (!o.untilExclusive || start < o.untilExclusive)))
                    continue;
            }
            entries << e;
        }
    }
    if (readable)
        return {Encoding::toUtf8(doc.textOutputOf(entries, warnings))};
    reportExpansionWarnings(s, warnings);
    aCalendar::ListOptions list;
    list.heading = o.heading;
    list.sortByStart = o.sort.isEmpty();
    theSorter sorter(entries);
    if (o.sort == QLatin1String("end"))
        entries = sorter.sortByEnd();
    else if (o.sort == QLatin1String("summary"))
        entries = sorter.sortBySummary();
    else if (o.sort == QLatin1String("start"))
        entries = sorter.sortByStart();
    const QString text
        = o.format == Format::Csv ? doc.theCommaOut(entries, o.columns, list) : doc.theTabOut(entries, o.columns, list);
    return {Encoding::toUtf8(text)};
}
} // namespace cli
