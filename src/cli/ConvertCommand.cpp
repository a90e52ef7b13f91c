#include "CliCommon.h"

namespace cli
{
int convertCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Convert calendars between iCalendar, vCalendar 1.0, comma- and "
                                               "tab-delimited text, and a readable day-by-day list."));
    p.addHelpOption();
    addOutputOptions(p);
    p.addOption({"from", "Input format: ics, vcal, csv or tab (default: from each file's extension).", "FORMAT"});
    p.addOption({"columns-in",
                 "Column order of delimited input, as titles or codes (e.g. \"Summary,Start Date,Start Time,End "
                 "Date,End Time,Description\" or \"4,1,0,3,2,5\"). Default: the saved column order.",
                 "LIST"});
    p.addOption({"skip-header", "Drop the first row of delimited input (column titles)."});
    p.addOption({"from-calendar",
                 "Read the calendar TITLE first: the calendar application's or a CalDAV account's (see "
                 "tidewell-cli calendars).",
                 "TITLE"});
    p.addOption({"to-calendar",
                 "Append the entries to the calendar TITLE instead of writing a file (the calendar application is "
                 "asked to quit first and started again afterwards; a CalDAV calendar gets one new event per "
                 "entry, and none already there is replaced).",
                 "TITLE"});
    addPasswordOption(p);
    p.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("Files to read, in order (- for standard input)."),
                            QStringLiteral("INPUT..."));
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli convert")} + args))
        return s.usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        s.writeOutput(QString(), helpText(p, QStringLiteral("convert")).toUtf8());
        return kOk;
    }
    const QStringList inputs = p.positionalArguments();
    const QString fromCalendar = p.value(QStringLiteral("from-calendar"));
    const QString toCalendar = p.value(QStringLiteral("to-calendar"));
    const bool intoCalendar = p.isSet(QStringLiteral("to-calendar"));
    if (inputs.isEmpty() && !p.isSet(QStringLiteral("from-calendar")))
        return s.usage(QStringLiteral("convert needs at least one input file"));
    if (intoCalendar && (p.isSet(QStringLiteral("output")) || p.isSet(QStringLiteral("to"))))
        return s.usage(QStringLiteral("--to-calendar writes into the calendar: leave out -o and --to"));

    Format forced = Format::None;
    if (p.isSet(QStringLiteral("from"))) {
        forced = formatFromName(p.value(QStringLiteral("from")));
        if (forced == Format::None || forced == Format::Text)
            return s.usage(QStringLiteral("unknown input format %1").arg(p.value(QStringLiteral("from"))));
    }
    OutputOptions o;
    int status = kOk;
    if (!outputOptions(s, p, Format::ICal, &o, &status))
        return status;

    if (!takePasswordOption(s, p, inputs.contains(QStringLiteral("-")), &status))
        return status;
    aCalendar doc;
    // The chosen calendar is checked before anything is read, as the window does.
    if (intoCalendar && !calendarKnown(s, doc, toCalendar))
        return kExportFailed;
    if (p.isSet(QStringLiteral("from-calendar")) && !readCalendarInto(s, doc, fromCalendar))
        return kExportFailed;
    ColumnOrder order = doc.getCommaTabDataOrder();
    if (p.isSet(QStringLiteral("columns-in"))) {
        QString why;
        order = aCalendar::columnOrderFromText(p.value(QStringLiteral("columns-in")), &why);
        if (order.isEmpty())
            return s.usage(QStringLiteral("bad --columns-in: %1").arg(why));
    }
    for (const QString& input : inputs) {
        const Format f = forced != Format::None ? forced : inputFormatFromPath(input);
        if (f == Format::None) {
            return s.usage(QStringLiteral("cannot tell the format of %1 (use --from)")
                               .arg(input == QLatin1String("-") ? QStringLiteral("standard input") : input));
        }
        if (!readInto(s, doc, input, f, order, p.isSet(QStringLiteral("skip-header"))))
            return kUsage;
    }
    if (intoCalendar)
        return appendToCalendar(s, doc, toCalendar);
    return writeDocument(s, doc, o);
}
} // namespace cli
