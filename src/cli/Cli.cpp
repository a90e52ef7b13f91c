#include "Cli.h"

#include "addressbook/invitee.h"
#include "calendar/aCalendar.h"
#include "formats/repeatList.h"
#include "platform/Encoding.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace
{
enum class Format
{
    None,
    ICal,
    VCal,
    Csv,
    Tab,
    Text
};

const QStringList kOutputColumns{"startTime", "startDate", "endTime", "endDate", "theSummary"};
const QStringList kDefaultOutputColumns{"startDate", "startTime", "endDate", "endTime", "theSummary"};

// Exit statuses.
constexpr int kOk = 0;
constexpr int kExportFailed = 1;
constexpr int kUsage = 2;

class Session
{
public:
    Session(QIODevice* in, QIODevice* out, QIODevice* err)
        : m_in(in)
        , m_out(out)
        , m_err(err)
    {
    }

    void error(const QString& text) { m_err->write(text.toUtf8() + '\n'); }
    int usage(const QString& text)
    {
        error(QStringLiteral("tidewell-cli: ") + text);
        return kUsage;
    }

    bool readInput(const QString& path, QByteArray* bytes)
    {
        if (path == QLatin1String("-")) {
            *bytes = m_in->readAll();
            return true;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            error(QStringLiteral("tidewell-cli: cannot read %1: %2").arg(path, file.errorString()));
            return false;
        }
        *bytes = file.readAll();
        return true;
    }

    /// Writes the whole output at once; a file is replaced only when complete.
    bool writeOutput(const QString& path, const QByteArray& bytes)
    {
        if (path.isEmpty() || path == QLatin1String("-")) {
            m_out->write(bytes);
            return true;
        }
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
            error(QStringLiteral("tidewell-cli: cannot write %1: %2").arg(path, file.errorString()));
            return false;
        }
        return true;
    }

private:
    QIODevice* m_in;
    QIODevice* m_out;
    QIODevice* m_err;
};

Format formatFromName(const QString& name)
{
    const QString n = name.toLower();
    if (n == QLatin1String("ics") || n == QLatin1String("ical") || n == QLatin1String("icalendar"))
        return Format::ICal;
    if (n == QLatin1String("vcal") || n == QLatin1String("vcs") || n == QLatin1String("vcalendar"))
        return Format::VCal;
    if (n == QLatin1String("csv"))
        return Format::Csv;
    if (n == QLatin1String("tab") || n == QLatin1String("tsv"))
        return Format::Tab;
    if (n == QLatin1String("txt") || n == QLatin1String("text"))
        return Format::Text;
    return Format::None;
}

Format inputFormatFromPath(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    // A .txt file brought in is tab-delimited text; the readable list is output only.
    if (suffix == QLatin1String("txt"))
        return Format::Tab;
    return formatFromName(suffix);
}

Format outputFormatFromPath(const QString& path)
{
    return formatFromName(QFileInfo(path).suffix());
}

/// Reads one input into the document; returns false (after reporting) when it cannot be read.
bool readInto(Session& s, aCalendar& doc, const QString& path, Format format, const ColumnOrder& order,
              bool skipHeader)
{
    QByteArray bytes;
    if (!s.readInput(path, &bytes))
        return false;
    switch (format) {
    case Format::ICal:
    case Format::VCal: {
        // iCalendar is UTF-8; vCalendar files from organisers are Mac OS Roman unless valid UTF-8.
        const QString text = Encoding::decode(
            bytes, format == Format::VCal ? Encoding::Fallback::MacRoman : Encoding::Fallback::Windows1252);
        const QString message = doc.setData(text);
        if (!message.isEmpty())
            s.error(QStringLiteral("%1: %2").arg(path == QLatin1String("-") ? QStringLiteral("<stdin>") : path,
                                                 message));
        return true;
    }
    case Format::Csv:
    case Format::Tab: {
        const QString text = Encoding::decode(bytes, Encoding::Fallback::Windows1252);
        doc.processCT(text, format == Format::Csv ? QStringLiteral(",") : QStringLiteral("\t"));
        if (skipHeader)
            doc.dropCommaTabHeader();
        doc.makeAllEntriesWithSeparated(order);
        doc.addPendingData();
        return true;
    }
    default:
        s.error(QStringLiteral("tidewell-cli: cannot tell the format of %1 (use --from)").arg(path));
        return false;
    }
}

struct OutputOptions
{
    Format format = Format::None;
    QString path;
    bool expand = false;
    QStringList columns = kDefaultOutputColumns;
};

int writeDocument(Session& s, aCalendar& doc, const OutputOptions& o)
{
    if (!doc.dataCheck()) {
        if (doc.entryCount() == 0) {
            s.error(QStringLiteral("tidewell-cli: there are no entries to write"));
            return kExportFailed;
        }
        s.error(QStringLiteral("tidewell-cli: these entries have a start and end that do not fit together "
                               "(a time without the other, or an end before the start):"));
        for (const QString& index : doc.getTheProblemEntries()) {
            const EntryPtr e = doc.getEntryAtIndex(index.toInt());
            s.error(QStringLiteral("  row %1: %2").arg(index.toInt() + 1).arg(e ? e->getSummary() : QString()));
        }
        return kExportFailed;
    }
    QByteArray bytes;
    switch (o.format) {
    case Format::ICal: {
        const QString text = o.path.isEmpty() || o.path == QLatin1String("-")
            ? doc.createICalString(doc.getTheData(), nullptr)
            : doc.createICalString(doc.getTheData(), o.path);
        bytes = text.toUtf8();
        break;
    }
    case Format::VCal: {
        const QString text = doc.createVCalString();
        if (!text.startsWith(QLatin1String("BEGIN:VCALENDAR\r\n"))) {
            s.error(QStringLiteral("tidewell-cli: ") + text.trimmed());
            return kExportFailed;
        }
        bytes = Encoding::encodeMacRoman(text);
        break;
    }
    case Format::Csv:
    case Format::Tab: {
        EntryList entries = doc.getTheData();
        if (o.expand) {
            repeatList expanded(entries);
            entries = expanded.getDataArray();
            const QString warnings = expanded.getWarningString();
            if (!warnings.isEmpty()) {
                QString w = warnings.trimmed();
                w.replace(QLatin1String("\r\r"), QLatin1String("\n"));
                w.replace(QLatin1Char('\r'), QLatin1Char('\n'));
                s.error(w);
            }
        }
        const QString text = o.format == Format::Csv ? doc.theCommaOut(entries, o.columns)
                                                     : doc.theTabOut(entries, o.columns);
        bytes = text.toUtf8();
        break;
    }
    case Format::Text: bytes = doc.textOutput().toUtf8(); break;
    case Format::None: return s.usage(QStringLiteral("no output format (use --to or an output file extension)"));
    }
    return s.writeOutput(o.path, bytes) ? kOk : kUsage;
}

/// Output options shared by every command that writes a calendar.
void addOutputOptions(QCommandLineParser& p)
{
    p.addOption({{"o", "output"}, "Write to FILE (standard output when absent or -).", "FILE"});
    p.addOption({"to", "Output format: ics, vcal, csv, tab or txt.", "FORMAT"});
    p.addOption({"expand", "Write every occurrence of repeating entries (csv and tab)."});
    p.addOption({"columns",
                 "Output columns of csv and tab lists, comma-separated: startTime, startDate, endTime, endDate, "
                 "theSummary.",
                 "LIST"});
}

bool outputOptions(Session& s, const QCommandLineParser& p, Format fallback, OutputOptions* o, int* status)
{
    o->path = p.value(QStringLiteral("output"));
    o->expand = p.isSet(QStringLiteral("expand"));
    if (p.isSet(QStringLiteral("to"))) {
        o->format = formatFromName(p.value(QStringLiteral("to")));
        if (o->format == Format::None) {
            *status = s.usage(QStringLiteral("unknown output format %1").arg(p.value(QStringLiteral("to"))));
            return false;
        }
    } else if (!o->path.isEmpty() && o->path != QLatin1String("-")) {
        o->format = outputFormatFromPath(o->path);
        if (o->format == Format::None) {
            *status = s.usage(QStringLiteral("cannot tell the output format of %1 (use --to)").arg(o->path));
            return false;
        }
    } else {
        o->format = fallback;
    }
    if (p.isSet(QStringLiteral("columns"))) {
        o->columns.clear();
        for (const QString& c : p.value(QStringLiteral("columns")).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString id = c.trimmed();
            if (!kOutputColumns.contains(id)) {
                *status = s.usage(QStringLiteral("unknown column %1 (known: %2)").arg(id, kOutputColumns.join(", ")));
                return false;
            }
            o->columns << id;
        }
    }
    return true;
}

QString helpText(QCommandLineParser& p, const QString& command)
{
    QString text = p.helpText();
    text.replace(QStringLiteral("[options]"), command + QStringLiteral(" [options]"));
    return text;
}

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
    p.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("Files to read, in order (- for standard input)."),
                            QStringLiteral("INPUT..."));
    if (!p.parse(QStringList{QStringLiteral("tidewell-cli convert")} + args))
        return s.usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        s.writeOutput(QString(), helpText(p, QStringLiteral("convert")).toUtf8());
        return kOk;
    }
    const QStringList inputs = p.positionalArguments();
    if (inputs.isEmpty())
        return s.usage(QStringLiteral("convert needs at least one input file"));

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
        if (f == Format::None) {
            return s.usage(QStringLiteral("cannot tell the format of %1 (use --from)")
                               .arg(input == QLatin1String("-") ? QStringLiteral("standard input") : input));
        }
        if (!readInto(s, doc, input, f, order, p.isSet(QStringLiteral("skip-header"))))
            return kUsage;
    }
    return writeDocument(s, doc, o);
}

int guessCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Find appointments (dates, times, summaries) in free text and write them as a calendar."));
    p.addHelpOption();
    addOutputOptions(p);
    p.addPositionalArgument(QStringLiteral("TEXT"), QStringLiteral("The text (standard input when absent)."),
                            QStringLiteral("[TEXT...]"));
    if (!p.parse(QStringList{QStringLiteral("tidewell-cli guess")} + args))
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

/// "Name <address>" or a bare address.
bool parsePerson(const QString& text, QString* name, QString* address)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(.*?)\\s*<\\s*([^<>\\s]+)\\s*>\\s*$"));
    const QRegularExpressionMatch m = re.match(text);
    if (m.hasMatch()) {
        *name = m.captured(1);
        if (name->size() >= 2 && name->startsWith(QLatin1Char('"')) && name->endsWith(QLatin1Char('"')))
            *name = name->mid(1, name->size() - 2);
        *address = m.captured(2);
    } else {
        *name = QString();
        *address = text.trimmed();
    }
    return address->contains(QLatin1Char('@')) && !address->contains(QLatin1Char(' '));
}

int inviteCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Write a meeting invitation (METHOD:REQUEST) for the entries of a "
                                               "calendar, naming an organiser and attendees."));
    p.addHelpOption();
    p.addOption({{"o", "output"}, "Write to FILE (standard output when absent or -).", "FILE"});
    p.addOption({"organizer", "The organiser, as \"Name <address>\".", "PERSON"});
    p.addOption({"attendee", "An attendee, as \"Name <address>\" (repeat for several).", "PERSON"});
    p.addOption({"from", "Input format: ics or vcal (default: from the extension).", "FORMAT"});
    p.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("The calendar to invite to."));
    if (!p.parse(QStringList{QStringLiteral("tidewell-cli invite")} + args))
        return s.usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        s.writeOutput(QString(), helpText(p, QStringLiteral("invite")).toUtf8());
        return kOk;
    }
    if (p.positionalArguments().size() != 1)
        return s.usage(QStringLiteral("invite needs exactly one input calendar"));
    if (!p.isSet(QStringLiteral("organizer")))
        return s.usage(QStringLiteral("invite needs --organizer \"Name <address>\""));
    QString orgName, orgAddress;
    if (!parsePerson(p.value(QStringLiteral("organizer")), &orgName, &orgAddress))
        return s.usage(QStringLiteral("bad --organizer %1").arg(p.value(QStringLiteral("organizer"))));
    QList<invitee> invitees;
    for (const QString& a : p.values(QStringLiteral("attendee"))) {
        QString name, address;
        if (!parsePerson(a, &name, &address))
            return s.usage(QStringLiteral("bad --attendee %1").arg(a));
        invitee i;
        i.setTheRealName(name.isEmpty() ? address : name);
        i.setInviteeEmailAddress(address);
        i.setInviteeName(name.isEmpty() ? address : name);
        invitees << i;
    }
    const QString input = p.positionalArguments().constFirst();
    Format f = p.isSet(QStringLiteral("from")) ? formatFromName(p.value(QStringLiteral("from")))
                                                : inputFormatFromPath(input);
    if (f != Format::ICal && f != Format::VCal)
        return s.usage(QStringLiteral("invite reads iCalendar or vCalendar files"));
    aCalendar doc;
    if (!readInto(s, doc, input, f, {}, false))
        return kUsage;
    if (!doc.dataCheck()) {
        OutputOptions none;
        return writeDocument(s, doc, none); // reports the rows
    }
    const QString text = doc.createInvitationString(doc.getTheData(), invitees, orgName, orgAddress);
    return s.writeOutput(p.value(QStringLiteral("output")), text.toUtf8()) ? kOk : kUsage;
}

QString mainHelp()
{
    return QStringLiteral(
        "Usage: tidewell-cli COMMAND [options] ...\n"
        "Convert and inspect appointment calendars.\n\n"
        "Commands:\n"
        "  convert  Convert calendars: iCalendar (.ics), vCalendar 1.0 (.vcal, .vcs), comma- (.csv) and\n"
        "           tab-delimited (.tsv, .tab) text in; the same and a readable list (.txt) out.\n"
        "  guess    Find appointments in free text and write them as a calendar.\n"
        "  invite   Write a meeting invitation for the entries of a calendar.\n\n"
        "Options:\n"
        "  -h, --help     Show this help (COMMAND --help for a command's options).\n"
        "  -v, --version  Show the version.\n");
}
} // namespace

int runCli(const QStringList& args, QIODevice* in, QIODevice* out, QIODevice* err)
{
    Session s(in, out, err);
    const QString command = args.value(0);
    if (command.isEmpty()) {
        err->write(mainHelp().toUtf8());
        return kUsage;
    }
    if (command == QLatin1String("-h") || command == QLatin1String("--help") || command == QLatin1String("help")) {
        out->write(mainHelp().toUtf8());
        return kOk;
    }
    if (command == QLatin1String("-v") || command == QLatin1String("--version")) {
        out->write(QByteArrayLiteral("tidewell-cli " TIDEWELL_VERSION "\n"));
        return kOk;
    }
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("convert"))
        return convertCommand(s, rest);
    if (command == QLatin1String("guess"))
        return guessCommand(s, rest);
    if (command == QLatin1String("invite"))
        return inviteCommand(s, rest);
    return s.usage(QStringLiteral("unknown command %1 (try --help)").arg(command));
}
