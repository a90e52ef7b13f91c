#include "CliCommon.h"
#include "CliOptions.h"
#include "platform/Encoding.h"

#include <algorithm>

namespace cli
{
namespace
{
QString counted(qsizetype n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// Why no guessed entry has a date: none was found, the dates and times could not be paired, or
// the dates found could not be read.
QString whyNoDate(const aCalendar& doc, const QString& text)
{
    QStringList dates, timePhrases;
    doc.returnDatesAndTimes(text, &dates, &timePhrases);
    if (dates.isEmpty())
        return QStringLiteral("no date found in the text");
    const qsizetype times = timePhrases.size();
    if (times > 0 && times != dates.size() && times != 2 * dates.size()) {
        return QStringLiteral("found %1 (%2) and %3, which cannot be paired: give each date one time, or a start "
                              "and an end time")
            .arg(counted(dates.size(), "date", "dates"), dates.join(QStringLiteral(", ")).simplified(),
                 counted(times, "time", "times"));
    }
    return QStringLiteral("the date \"%1\" could not be read").arg(dates.first().simplified());
}
} // namespace

int guessCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Find appointments (dates, times, summaries) in free text and write them as a calendar."));
    addHelpOption(p);
    addOutputOptions(p);
    addZoneOption(p);
    p.addPositionalArgument(
        QStringLiteral("TEXT"),
        QStringLiteral("The text to search, in one or more arguments (standard input when absent)."),
        QStringLiteral("[TEXT...]"));
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli guess")} + args))
        return s.usage(p.errorText());
    if (helpRequested(p))
        return s.writeOutput(QString(), helpText(p, QStringLiteral("guess")).toUtf8()) ? kOk : kUsage;
    OutputOptions o;
    Selection selection;
    int status = kOk;
    if (!outputOptions(s, p, Format::ICal, &o, &status) || !zoneOption(s, p, &selection, &status))
        return status;
    const ZoneScope zone(selection.zone);
    QString text;
    if (p.positionalArguments().isEmpty()) {
        QByteArray bytes;
        s.readInput(QStringLiteral("-"), &bytes);
        text = Encoding::decode(bytes, Encoding::Fallback::Windows1252);
    } else {
        text = p.positionalArguments().join(QLatin1Char(' '));
    }
    aCalendar doc;
    doc.processDateString(text);
    // Text without any date still gives an entry (holding the text as its description).
    const bool anyDate = std::any_of(doc.getTheData().cbegin(), doc.getTheData().cend(),
                                     [](const EntryPtr& e) { return !e->getStartDate().isNull(); });
    if (!anyDate) {
        s.error(QStringLiteral("tidewell-cli: ") + whyNoDate(doc, text));
        return kExportFailed;
    }
    return writeDocument(s, doc, o);
}
} // namespace cli
