#include "CliCommon.h"
#include "CliOptions.h"

namespace cli
{
int convertCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Convert calendars between iCalendar, vCalendar 1.0, comma- and "
                                               "tab-delimited text, and a readable day-by-day list."));
    addHelpOption(p);
    addOutputOptions(p);
    addInputOptions(p);
    addSelectionOptions(p);
    p.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("Files to read, in order (- for standard input)."),
                            QStringLiteral("INPUT..."));
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli convert")} + args))
        return s.usage(p.errorText());
    if (helpRequested(p))
        return s.writeOutput(QString(), helpText(p, QStringLiteral("convert")).toUtf8()) ? kOk : kUsage;
    const QStringList inputs = p.positionalArguments();
    if (inputs.isEmpty())
        return s.usage(QStringLiteral("convert needs at least one input file"));

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

    aCalendar doc;
    Format forced = Format::None;
    DelimitedOptions delimited;
    if (!inputOptions(s, p, doc, &forced, &delimited, &status))
        return status;
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
    return writeDocument(s, doc, o);
}
} // namespace cli
