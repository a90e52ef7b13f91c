#include "CliCommon.h"
#include "CliOptions.h"
#include "platform/Encoding.h"

#include <QFile>

namespace cli
{
namespace
{
const char kListChanged[] = "The calendar list has changed and your selected calendar is no longer available.  "
                            "Please select a new calendar for your export.";
} // namespace

int calendarsCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "List the calendars of the calendar application, one title a line, in its own order.\nThey are read from "
        "the Library folder: $TIDEWELL_LIBRARY_DIR, or ~/Library."));
    addHelpOption(p);
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli calendars")} + args))
        return s.usage(p.errorText());
    if (helpRequested(p))
        return s.writeOutput(QString(), helpText(p, QStringLiteral("calendars")).toUtf8()) ? kOk : kUsage;
    if (!p.positionalArguments().isEmpty())
        return s.usage(QStringLiteral("calendars takes no arguments"));
    aCalendar doc;
    QByteArray out;
    for (const QString& title : doc.theAvailableCalendars())
        out += title.toUtf8() + '\n';
    return s.writeOutput(QString(), out) ? kOk : kExportFailed;
}

bool calendarKnown(Session& s, aCalendar& doc, const QString& title)
{
    if (doc.calListOK(title))
        return true;
    s.error(QString::fromUtf8(kListChanged));
    return false;
}

bool readCalendarInto(Session& s, aCalendar& doc, const QString& title)
{
    if (!calendarKnown(s, doc, title))
        return false;
    const QString path = doc.getCalendar104Path(title);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        s.error(QStringLiteral("tidewell-cli: cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    // The calendar application writes UTF-8; anything else is read as the platform's 8-bit text.
    const QString message = doc.setData(Encoding::decode(file.readAll(), Encoding::Fallback::Windows1252));
    if (!message.isEmpty())
        s.error(QStringLiteral("%1: %2").arg(title, message));
    doc.setDirectiCalImport(true);
    return true;
}

int appendToCalendar(Session& s, aCalendar& doc, const QString& title)
{
    if (!doc.dataCheck())
        return writeDocument(s, doc, OutputOptions {}); // reports the entries that do not fit
    if (!doc.exportToCalendarApp(
            {{QStringLiteral("theCalendar"), title}, {QStringLiteral("sort"), QStringLiteral("1")}})) {
        s.error(QStringLiteral("Export failed"));
        return kExportFailed;
    }
    return kOk;
}
} // namespace cli
