#include "Cli.h"

#include "CliCommon.h"
#include "bridges/caldavCalendars.h"

using namespace cli;

namespace
{
struct Command
{
    const char* name;
    /// One line or two for the general help (continuation lines begin with a line feed).
    const char* summary;
    int (*run)(Session&, const QStringList&);
};

// Every command, in the order the general help lists them.
const Command kCommands[] = {
    {"convert",
     "Convert calendars: iCalendar (.ics), vCalendar 1.0 (.vcal, .vcs), comma- (.csv) and\n"
     "tab-delimited (.tsv, .tab) text in; the same and a readable list (.txt) out.",
     convertCommand},
    {"guess", "Find appointments in free text and write them as a calendar.", guessCommand},
    {"invite", "Write a meeting invitation for the entries of a calendar.", inviteCommand},
    {"calendars", "List the calendars of the calendar application and the CalDAV accounts.", calendarsCommand},
    {"mail", "Attach a calendar to a new message of your mail program.", mailCommand},
    {"info", "Describe calendars: entries, dates, repeats, zones, what was left out.", infoCommand},
    {"contacts", "List the groups and people of the address book with their e-mail addresses.", contactsCommand},
    {"account", "Add, list or remove the CalDAV accounts whose calendars the calendar commands serve.", accountCommand},
};

QString mainHelp()
{
    QString text = QStringLiteral("Usage: tidewell-cli COMMAND [options] ...\n"
                                  "Convert and inspect appointment calendars.\n\n"
                                  "Commands:\n");
    int width = 0;
    for (const Command& c : kCommands)
        width = qMax(width, int(qstrlen(c.name)));
    for (const Command& c : kCommands) {
        const QStringList lines = QString::fromUtf8(c.summary).split(QLatin1Char('\n'));
        text += QStringLiteral("  %1  %2\n").arg(QString::fromLatin1(c.name), -width).arg(lines.first());
        for (qsizetype i = 1; i < lines.size(); ++i)
            text += QString(width + 4, QLatin1Char(' ')) + lines[i] + QLatin1Char('\n');
    }
    text += QStringLiteral("\nOptions:\n"
                           "  -h, --help     Show this help (help COMMAND or COMMAND --help for a command's "
                           "options).\n"
                           "  -v, --version  Show the version.\n");
    return text;
}
} // namespace

int runCli(const QStringList& args, QIODevice* in, QIODevice* out, QIODevice* err)
{
    Session s(in, out, err);
    // The CalDAV accounts' calendars follow the calendar application's, found when first needed.
    caldav::Calendars::install(caldav::Calendars::Mode::Blocking);
    const QString command = args.value(0);
    if (command.isEmpty()) {
        err->write(mainHelp().toUtf8());
        return kUsage;
    }
    if (command == QLatin1String("help") && args.size() > 1) {
        // "help COMMAND" is "COMMAND --help".
        for (const Command& c : kCommands) {
            if (args.at(1) == QLatin1String(c.name))
                return c.run(s, {QStringLiteral("--help")});
        }
        return s.usage(QStringLiteral("unknown command %1 (try --help)").arg(args.at(1)));
    }
    if (command == QLatin1String("-h") || command == QLatin1String("--help") || command == QLatin1String("help"))
        return s.writeOutput(QString(), mainHelp().toUtf8()) ? kOk : kUsage;
    if (command == QLatin1String("-v") || command == QLatin1String("--version"))
        return s.writeOutput(QString(), QByteArrayLiteral("tidewell-cli " TIDEWELL_VERSION "\n")) ? kOk : kUsage;
    for (const Command& c : kCommands) {
        if (command == QLatin1String(c.name))
            return c.run(s, args.mid(1));
    }
    return s.usage(QStringLiteral("unknown command %1 (try --help)").arg(command));
}
