#include "CliCommon.h"
#include "CliOptions.h"
#include "bridges/calendarSources.h"
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
        "List the calendars of the calendar application, one title a line, in its own order, then those of the "
        "CalDAV accounts (see tidewell-cli account). The calendar application's are read from the Library "
        "folder: $TIDEWELL_LIBRARY_DIR, or ~/Library."));
    addHelpOption(p);
    addPasswordOption(p);
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli calendars")} + args))
        return s.usage(p.errorText());
    if (helpRequested(p))
        return s.writeOutput(QString(), helpText(p, QStringLiteral("calendars")).toUtf8()) ? kOk : kUsage;
    if (!p.positionalArguments().isEmpty())
        return s.usage(QStringLiteral("calendars takes no arguments"));
    int status = kOk;
    if (!takePasswordOption(s, p, false, &status))
        return status;
    aCalendar doc;
    QByteArray out;
    for (const QString& title : doc.theAvailableCalendars())
        out += title.toUtf8() + '\n';
    if (!s.writeOutput(QString(), out))
        return kExportFailed;
    // The calendars of an account that could not be asked are missing from the list.
    return reportAccountProblems(s) ? kExportFailed : kOk;
}

bool calendarKnown(Session& s, aCalendar& doc, const QString& title)
{
    if (doc.calListOK(title))
        return true;
    s.error(QString::fromUtf8(kListChanged));
    reportAccountProblems(s);
    return false;
}

bool readCalendarInto(Session& s, aCalendar& doc, const QString& title)
{
    if (!calendarKnown(s, doc, title))
        return false;
    if (aCalendar::isSourceCalendar(title)) {
        QString message;
        if (!bridges::calendarSource()->read(doc, title, &message)) {
            s.error(message);
            return false;
        }
        if (!message.isEmpty())
            s.error(QStringLiteral("%1: %2").arg(title, message));
        doc.setDirectiCalImport(true);
        return true;
    }
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
        // A CalDAV calendar says which entries went in and which did not.
        s.error(doc.getAppendReport().isEmpty() ? QStringLiteral("Export failed") : doc.getAppendReport());
        return kExportFailed;
    }
    return kOk;
}
} // namespace cli
