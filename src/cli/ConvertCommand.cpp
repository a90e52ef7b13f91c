#include "CliCommon.h"
#include "CliOptions.h"

namespace cli
{
int convertCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Convert calendars between iCalendar, vCalendar 1.0, comma- and "
                                               "tab-delimited\ntext, and a readable day-by-day list."));
    addHelpOption(p);
    addOutputOptions(p);
    addInputOptions(p, true);
    addSelectionOptions(p);
    p.addOption({"from-calendar",
                 "Read the calendar TITLE first: the calendar application's or a CalDAV account's (see "
                 "tidewell-cli calendars).",
                 "TITLE"});
    p.addOption({"to-calendar",
                 "Append the entries to the calendar TITLE instead of writing a file (the calendar application is "
                 "asked to quit first and started again afterwards; a CalDAV calendar gets one new event per "
                 "entry, and none already there is replaced).",
                 "TITLE"});
    p.addOption({"skip-invalid",
                 "Write the entries that can be written and leave out those that cannot (a start and end that do "
                 "not fit together, a repeat rule vCalendar 1.0 cannot hold); they are listed either way."});
    addPasswordOption(p);
    p.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("Files to read, in order (- for standard input)."),
                            QStringLiteral("INPUT..."));
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli convert")} + args))
        return s.usage(p.errorText());
    if (helpRequested(p))
        return s.writeOutput(QString(), helpText(p, QStringLiteral("convert")).toUtf8()) ? kOk : kUsage;
    const QStringList inputs = p.positionalArguments();
    const QString fromCalendar = p.value(QStringLiteral("from-calendar"));
    const QString toCalendar = p.value(QStringLiteral("to-calendar"));
    const bool intoCalendar = p.isSet(QStringLiteral("to-calendar"));
    if (inputs.isEmpty() && !p.isSet(QStringLiteral("from-calendar")))
        return s.usage(QStringLiteral("convert needs at least one input file"));
    if (intoCalendar && (p.isSet(QStringLiteral("output")) || p.isSet(QStringLiteral("to"))))
        return s.usage(QStringLiteral("--to-calendar writes into the calendar: leave out -o and --to"));

    OutputOptions o;
    Selection selection;
    int status = kOk;
    if (!outputOptions(s, p, Format::ICal, &o, &status) || !zoneOption(s, p, &selection, &status))
        return status;
    o.heading = p.isSet(QStringLiteral("header"));
    // Everything from here on is read, made and written in the zone asked for.
    const ZoneScope zone(selection.zone);
    if (!selectionOptions(s, p, &selection, &o, &status))
        return status;
    o.skipInvalid = p.isSet(QStringLiteral("skip-invalid"));

    if (!takePasswordOption(s, p, inputs.contains(QStringLiteral("-")), &status))
        return status;
    aCalendar doc;
    Format forced = Format::None;
    DelimitedOptions delimited;
    if (!inputOptions(s, p, doc, &forced, &delimited, &status))
        return status;
    // The chosen calendar is checked before anything is read, as the window does.
    if (intoCalendar && !calendarKnown(s, doc, toCalendar))
        return kExportFailed;
    if (p.isSet(QStringLiteral("from-calendar")) && !readCalendarInto(s, doc, fromCalendar))
        return kExportFailed;
    for (const QString& input : inputs) {
        const Format f = forced != Format::None ? forced : inputFormatFromPath(input);
        if (f == Format::None) {
            return s.usage(QStringLiteral("cannot tell the format of %1 (use --from)")
                               .arg(input == QLatin1String("-") ? QStringLiteral("standard input") : input));
        }
        if (!readInto(s, doc, input, f, delimited))
            return kUsage;
    }
    applySelection(doc, selection);
    const int result = intoCalendar ? appendToCalendar(s, doc, toCalendar) : writeDocument(s, doc, o);
    // The process ends with the command: a large calendar's entries are left to the system,
    // which takes them back at once, instead of being freed one by one (a tenth of a convert).
    static EntryList* const leftForExit = new EntryList;
    *leftForExit = doc.getTheData();
    return result;
}
} // namespace cli
