#include "CliCommon.h"
#include "CliOptions.h"

namespace cli
{
int mailCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Attach the calendar of the inputs (as an iCalendar file) to a new message of your mail program."));
    addHelpOption(p);
    p.addOption({"from", "Input format: ics, vcal, csv or tab (default: from each file's extension).", "FORMAT"});
    p.addOption({"columns-in",
                 "Column order of delimited input, as titles or codes, as for convert (default: the saved column "
                 "order).",
                 "LIST"});
    p.addOption({"skip-header", "Drop the first row of delimited input (column titles)."});
    p.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("Files to read, in order (- for standard input)."),
                            QStringLiteral("INPUT..."));
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli mail")} + args))
        return s.usage(p.errorText());
    if (helpRequested(p))
        return s.writeOutput(QString(), helpText(p, QStringLiteral("mail")).toUtf8()) ? kOk : kUsage;
    const QStringList inputs = p.positionalArguments();
    if (inputs.isEmpty())
        return s.usage(QStringLiteral("mail needs at least one input file"));
    Format forced = Format::None;
    if (p.isSet(QStringLiteral("from"))) {
        forced = formatFromName(p.value(QStringLiteral("from")));
        if (forced == Format::None || forced == Format::Text)
            return s.usage(QStringLiteral("unknown input format %1").arg(p.value(QStringLiteral("from"))));
    }
    aCalendar doc;
    ColumnOrder order = doc.getCommaTabDataOrder();
    if (p.isSet(QStringLiteral("columns-in"))) {
        QString why;
        order = aCalendar::columnOrderFromText(p.value(QStringLiteral("columns-in")), &why);
        if (order.isEmpty())
            return s.usage(QStringLiteral("bad --columns-in: %1").arg(why));
    }
    for (const QString& input : inputs) {
        const Format f = forced != Format::None ? forced : inputFormatFromPath(input);
        if (f == Format::None)
            return s.usage(QStringLiteral("cannot tell the format of %1 (use --from)").arg(input));
        if (!readInto(s, doc, input, f, order, p.isSet(QStringLiteral("skip-header"))))
            return kUsage;
    }
    if (!doc.dataCheck())
        return writeDocument(s, doc, OutputOptions {}); // reports the entries that do not fit
    const QString message = doc.sendCalendarToMail();
    if (!message.isEmpty()) {
        s.error(message);
        return kExportFailed;
    }
    return kOk;
}
} // namespace cli
