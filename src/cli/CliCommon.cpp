#include "CliCommon.h"
#include "platform/Memory.h"

#include "CliOptions.h"
#include "platform/Encoding.h"
#include "platform/Parallel.h"
#include "platform/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace cli
{
const QStringList kOutputColumns {"startTime", "startDate", "endTime", "endDate", "theSummary"};
// The import's default column order, so that a list written with the defaults reads back with them.
const QStringList kDefaultOutputColumns {"startTime", "startDate", "endTime", "endDate", "theSummary"};

void Session::error(const QString& text)
{
    m_err->write(text.toUtf8() + '\n');
}

int Session::usage(const QString& text)
{
    error(QStringLiteral("tidewell-cli: ") + text);
    return kUsage;
}

bool Session::readInput(const QString& path, QByteArray* bytes)
{
    if (path == QLatin1String("-")) {
        *bytes = m_in->readAll();
        const auto* file = qobject_cast<const QFileDevice*>(m_in);
        if (file && file->error() != QFileDevice::NoError) {
            error(QStringLiteral("tidewell-cli: cannot read standard input: %1").arg(file->errorString()));
            bytes->clear();
            return false;
        }
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error(QStringLiteral("tidewell-cli: cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    // Read into room of the file's size; a read that fails part way is reported, not taken for
    // a shorter file.
    const qint64 size = file.isSequential() ? 0 : file.size();
    if (size > 0 && size < (qint64(1) << 40)) {
        bytes->resize(qsizetype(size));
        Memory::preferLargePages(bytes->data(), bytes->size());
        qint64 got = 0;
        while (got < size) {
            const qint64 n = file.read(bytes->data() + got, size - got);
            if (n <= 0)
                break;
            got += n;
        }
        bytes->resize(qsizetype(got));
    }
    if (file.error() == QFileDevice::NoError)
        bytes->append(file.readAll()); // what a growing file gained, or all of a device's data
    if (file.error() != QFileDevice::NoError) {
        error(QStringLiteral("tidewell-cli: cannot read %1: %2").arg(path, file.errorString()));
        bytes->clear();
        return false;
    }
    return true;
}

bool Session::writeOutput(const QString& path, const QByteArray& bytes)
{
    return writeOutput(path, QList<QByteArray> {bytes});
}

bool Session::writeOutput(const QString& path, const QList<QByteArray>& bytes)
{
    QString why;
    if (path.isEmpty() || path == QLatin1String("-")) {
        if (SafeFile::writeAll(*m_out, bytes, &why))
            return true;
        error(QStringLiteral("tidewell-cli: standard output could not be written: %1").arg(why));
        return false;
    }
    if (SafeFile::writeFile(path, bytes, &why))
        return true;
    error(QStringLiteral("tidewell-cli: ") + why);
    return false;
}

bool Session::writeOutput(const QString& path,
                          const std::function<bool(const std::function<bool(const QByteArray&)>&)>& produce)
{
    if (path.isEmpty() || path == QLatin1String("-")) {
        return writeOutput(path, Parallel::collected(produce));
    }
    // Each part goes to the file as soon as it is made.
    SafeFile::Replacement file(path);
    produce([&file](const QByteArray& part) { return file.write(part); });
    QString why;
    if (file.finish(&why))
        return true;
    error(QStringLiteral("tidewell-cli: ") + why);
    return false;
}

void Session::noteSource(const EntryList& entries, qsizetype from, const QString& path)
{
    const QString name = path == QLatin1String("-") ? QStringLiteral("<stdin>") : path;
    for (qsizetype i = from; i < entries.size(); ++i) {
        if (entries.at(i))
            m_sources.insert(entries.at(i).get(), name);
    }
}

QString Session::sourceOf(const dataEntry& entry) const
{
    const QString file = m_sources.value(&entry);
    if (file.isEmpty())
        return {};
    return entry.getSourceLine() > 0 ? QStringLiteral("%1:%2").arg(file).arg(entry.getSourceLine()) : file;
}

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

namespace
{
/// The bytes hold a calendar (or nothing at all): looked for without decoding a large file twice.
bool looksLikeCalendarBytes(const QByteArray& bytes)
{
    if (Encoding::holdsCalendarMarker(bytes))
        return true;
    // Text in another encoding (UTF-16 and the like) is judged once decoded.
    if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff"))
        return looksLikeCalendar(Encoding::decode(bytes, Encoding::Fallback::Windows1252));
    return bytes.trimmed().isEmpty();
}
} // namespace

bool readInto(Session& s, aCalendar& doc, const QString& path, Format format, const ColumnOrder& order, bool skipHeader)
{
    DelimitedOptions delimited;
    delimited.order = order;
    delimited.orderGiven = true;
    delimited.header = skipHeader;
    return readInto(s, doc, path, format, delimited);
}

/// Reads one input into the document; returns false (after reporting) when it cannot be read.
bool readInto(Session& s, aCalendar& doc, const QString& path, Format format, const DelimitedOptions& delimited)
{
    QByteArray bytes;
    if (!s.readInput(path, &bytes))
        return false;
    const QString name = path == QLatin1String("-") ? QStringLiteral("<stdin>") : path;
    const qsizetype before = doc.entryCount();
    switch (format) {
    case Format::ICal:
    case Format::VCal: {
        // iCalendar is UTF-8; vCalendar files from organisers are Mac OS Roman unless valid UTF-8.
        if (!looksLikeCalendarBytes(bytes)) {
            s.error(QStringLiteral("tidewell-cli: %1: not a calendar file").arg(name));
            return false;
        }
        doc.setDataFromBytes(
            std::move(bytes), format == Format::VCal ? Encoding::Fallback::MacRoman : Encoding::Fallback::Windows1252);
        bytes = QByteArray();
        const QString message = doc.problemMessage();
        if (!message.isEmpty())
            s.error(QStringLiteral("warning: %1: %2").arg(name, message));
        for (const QString& note : doc.getReadNotes())
            s.error(QStringLiteral("warning: %1: %2").arg(name, note));
        s.noteSource(doc.getTheData(), before, path);
        return true;
    }
    case Format::Csv:
    case Format::Tab: {
        const QString text = Encoding::decode(bytes, Encoding::Fallback::Windows1252);
        if (!readDelimited(s, doc, name, text, format, delimited))
            return false;
        s.noteSource(doc.getTheData(), before, path);
        return true;
    }
    default:
        s.error(QStringLiteral("tidewell-cli: cannot tell the format of %1 (use --from)").arg(path));
        return false;
    }
}

namespace
{
// "  FILE:LINE: row N: SUMMARY: REASON" for each entry that cannot be written.
void listProblem(Session& s, const EntryPtr& e, int row, const QString& reason)
{
    const QString source = e ? s.sourceOf(*e) : QString();
    const QString summary = e && !e->getSummary().isEmpty() ? e->getSummary() : QStringLiteral("(no summary)");
    s.error(QStringLiteral("  %1row %2: %3: %4")
                .arg(source.isEmpty() ? QString() : source + QStringLiteral(": "))
                .arg(row)
                .arg(summary.left(200).replace(QLatin1Char('\n'), QLatin1Char(' ')), reason));
}

// Drops the entries at @p rows (positions, any order) from the document.
void leaveOut(aCalendar& doc, QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (qsizetype i = rows.size() - 1; i >= 0; --i)
        doc.removeObjectAtIndex(rows.at(i));
}
} // namespace

int writeDocument(Session& s, aCalendar& doc, const OutputOptions& o)
{
    const int given = doc.entryCount();
    int leftOut = 0;
    if (!doc.dataCheck()) {
        if (doc.entryCount() == 0) {
            s.error(QStringLiteral("tidewell-cli: there are no entries to write"));
            return kExportFailed;
        }
        s.error(QStringLiteral("tidewell-cli: these entries have a start and end that do not fit together "
                               "(a time without the other, or an end before the start):"));
        QList<int> rows;
        for (const QString& index : doc.getTheProblemEntries()) {
            const EntryPtr e = doc.getEntryAtIndex(index.toInt());
            listProblem(s, e, index.toInt() + 1, e ? e->invalidReason() : QString());
            rows << index.toInt();
        }
        if (!o.skipInvalid) {
            s.error(QStringLiteral("tidewell-cli: nothing was written (--skip-invalid writes the other entries)"));
            return kExportFailed;
        }
        leftOut += int(rows.size());
        leaveOut(doc, rows);
    }
    QList<QByteArray> vcalParts;
    if (o.format == Format::VCal) {
        // Repeat rules that vCalendar 1.0 cannot hold: each such entry is listed.
        QString problem;
        vcalParts = doc.createVCalParts(doc.getTheData(), &problem);
        if (!problem.isEmpty()) {
            s.error(QStringLiteral("tidewell-cli: ") + problem.trimmed() + QLatin1Char(':'));
            QList<int> rows;
            for (int i = 0; i < doc.entryCount(); ++i) {
                const EntryPtr e = doc.getEntryAtIndex(i);
                const QString block = e ? e->getVCal() : QString();
                if (!block.isEmpty() && !block.startsWith(QLatin1String("BEGIN:VEVENT\r\n"))) {
                    listProblem(s, e, i + 1, block.trimmed());
                    rows << i;
                }
            }
            if (!o.skipInvalid) {
                s.error(QStringLiteral("tidewell-cli: nothing was written (--skip-invalid writes the other entries)"));
                return kExportFailed;
            }
            leftOut += int(rows.size());
            leaveOut(doc, rows);
        }
    }
    if (leftOut > 0) {
        s.error(QStringLiteral("tidewell-cli: left out %1 of %2 entries").arg(leftOut).arg(given));
        if (doc.entryCount() == 0
            || !std::any_of(doc.getTheData().cbegin(), doc.getTheData().cend(),
                            [](const EntryPtr& e) { return e && e->notBlankLine(); })) {
            s.error(QStringLiteral("tidewell-cli: there are no entries to write"));
            return kExportFailed;
        }
    }
    // Large outputs are written part by part, as the writers made them.
    QList<QByteArray> bytes;
    switch (o.format) {
    case Format::ICal: {
        const QString* name = o.path.isEmpty() || o.path == QLatin1String("-") ? nullptr : &o.path;
        return s.writeOutput(o.path, [&](const std::function<bool(const QByteArray&)>& sink) {
            return doc.createICalTo(doc.getTheData(), name, sink);
        }) ? kOk : kUsage;
    }
    case Format::VCal: {
        // Texts Mac OS Roman cannot hold are written in quoted-printable UTF-8: the file is 7-bit
        // but for Mac OS Roman texts.
        QString problem;
        bytes = vcalParts.isEmpty() ? doc.createVCalParts(doc.getTheData(), &problem) : vcalParts;
        vcalParts.clear();
        if (!problem.isEmpty()) {
            s.error(QStringLiteral("tidewell-cli: ") + problem.trimmed());
            return kExportFailed;
        }
        break;
    }
    case Format::Csv:
    case Format::Tab:
    case Format::Text:
        if (writesListInParts(o))
            return writeListInParts(s, doc, o) ? kOk : kUsage;
        bytes = listParts(s, doc, o);
        break;
    case Format::None:
        return s.usage(QStringLiteral("no output format (use --to or an output file extension)"));
    }
    return s.writeOutput(o.path, bytes) ? kOk : kUsage;
}

/// Output options shared by every command that writes a calendar.
void addOutputOptions(QCommandLineParser& p)
{
    p.addOption({{"o", "output"}, "Write to FILE (standard output when absent or -).", "FILE"});
    p.addOption({"to",
                 "Output format: ics, vcal, csv, tab or txt (default: from the output file's extension, else ics).",
                 "FORMAT"});
    p.addOption({"expand",
                 "Write every occurrence of repeating entries, one row each, in csv and tab lists (the txt list "
                 "always does)."});
    p.addOption({"columns",
                 "Columns of csv and tab lists, comma-separated, from startTime, startDate, endTime, endDate and "
                 "theSummary (default: all five, in this order); the description always comes last.",
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
    // "Usage: /path/to/tidewell-cli [options]" names the program as users type it.
    const qsizetype options = text.indexOf(QLatin1String(" [options]"));
    if (text.startsWith(QLatin1String("Usage: ")) && options > 0 && !text.left(options).contains(QLatin1Char('\n')))
        text.replace(7, options - 7, QStringLiteral("tidewell-cli ") + command);
    else
        text.replace(QStringLiteral("[options]"), command + QStringLiteral(" [options]"));
    return text;
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
} // namespace cli
