#include "CliCommon.h"
#include "platform/Encoding.h"

#include <algorithm>

namespace cli
{
int guessCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Find appointments (dates, times, summaries) in free text and write them as a calendar."));
    p.addHelpOption();
    addOutputOptions(p);
    p.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The text (standard input when absent)."),
                            QStringLiteral("[TEXT...]"));
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli guess")} + args))
        return s.usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        s.writeOutput(QString(), helpText(p, QStringLiteral("guess")).toUtf8());
        return kOk;
    }
    OutputOptions o;
    int status = kOk;
    if (!outputOptions(s, p, Format::ICal, &o, &status))
        return status;
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
        s.error(QStringLiteral("tidewell-cli: no date found in the text"));
        return kExportFailed;
    }
    return writeDocument(s, doc, o);
}
} // namespace cli
