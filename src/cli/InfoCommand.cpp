#include "CliCommon.h"
#include "CliOptions.h"
#include "platform/Encoding.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QSet>

namespace cli
{
namespace
{
// The zones a calendar text names: TZID parameters, X-WR-TIMEZONE, the vCalendar TZ line, and
// UTC for times written with "Z"; in the order they first appear.
QStringList zonesNamed(const QString& text)
{
    static const QRegularExpression named(
        QStringLiteral(
            R"((?:;TZID=("[^"\r\n]*"|[^;:\r\n]*))|(?:^X-WR-TIMEZONE[^:\r\n]*:([^\r\n]*))|(?:^TZ:([^\r\n]*)))"),
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression utc(QStringLiteral(R"(^(?:DTSTART|DTEND)[^:\r\n]*:[0-9]{8}T[0-9]{6}Z)"),
                                        QRegularExpression::MultilineOption
                                            | QRegularExpression::CaseInsensitiveOption);
    QStringList zones;
    QSet<QString> seen;
    for (auto it = named.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString zone = m.captured(1) + m.captured(2) + m.captured(3);
        zone = zone.trimmed();
        if (zone.size() >= 2 && zone.startsWith(QLatin1Char('"')) && zone.endsWith(QLatin1Char('"')))
            zone = zone.mid(1, zone.size() - 2);
        if (m.capturedLength(3) > 0)
            zone = QStringLiteral("UTC") + (zone.startsWith(QLatin1Char('-')) ? QString() : QStringLiteral("+"))
                + zone; // vCalendar: an offset from UTC
        if (!zone.isEmpty() && !seen.contains(zone)) {
            seen.insert(zone);
            zones << zone;
        }
    }
    if (!seen.contains(QStringLiteral("UTC")) && utc.match(text).hasMatch())
        zones << QStringLiteral("UTC");
    return zones;
}

QString when(const CalDate& d, bool allDay)
{
    return d.format(allDay ? QStringLiteral("%Y-%m-%d") : QStringLiteral("%Y-%m-%d %H:%M"));
}

// What the reader left out, from its flags.
QStringList dropped(const aCalendar& doc)
{
    QStringList out;
    if (doc.getTodoBool())
        out << QStringLiteral("to-do entries");
    if (doc.getErrorBool())
        out << QStringLiteral("components other than events");
    if (doc.getEventBool())
        out << QStringLiteral("event properties it does not use");
    if (doc.getDescBool())
        out << QStringLiteral("descriptions of an unsupported kind");
    return out;
}

QString describe(const QString& name, const aCalendar& doc, const QString& text, Format format)
{
    const EntryList& entries = doc.getTheData();
    int repeating = 0, allDay = 0;
    CalDate first, last;
    bool firstAllDay = false, lastAllDay = false;
    for (const EntryPtr& e : entries) {
        if (!e->getRRULENoRRULE().isEmpty())
            ++repeating;
        const bool wholeDays = e->getStartDate() && !e->getStartTime();
        if (wholeDays)
            ++allDay;
        const CalDate start = e->getFullStartTime();
        const CalDate end = e->getFullEndTime() ? e->getFullEndTime() : start;
        if (start && (!first || start < first)) {
            first = start;
            firstAllDay = wholeDays;
        }
        if (end && (!last || end > last)) {
            last = end;
            lastAllDay = wholeDays;
        }
    }
    QString out = name + QStringLiteral(":\n");
    out += QStringLiteral("  entries:   %1 (%2 repeating, %3 all-day)\n")
               .arg(entries.size())
               .arg(repeating)
               .arg(allDay);
    out += QStringLiteral("  overrides: %1\n").arg(doc.getTheRecObjects().size());
    if (first)
        out += QStringLiteral("  dates:     %1 to %2\n").arg(when(first, firstAllDay), when(last, lastAllDay));
    if (format == Format::ICal || format == Format::VCal) {
        const QStringList zones = zonesNamed(text);
        out += QStringLiteral("  zones:     %1\n")
                   .arg(zones.isEmpty() ? QStringLiteral("none (floating times)") : zones.join(QStringLiteral(", ")));
        const QStringList left = dropped(doc);
        out += QStringLiteral("  dropped:   %1\n")
                   .arg(left.isEmpty() ? QStringLiteral("nothing") : left.join(QStringLiteral(", ")));
    }
    return out;
}
} // namespace

int infoCommand(Session& s, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Describe calendars: entries, date range, repeating entries,\n"
                                               "overrides, zones used and what the reader left out."));
    addHelpOption(p);
    addInputOptions(p);
    addZoneOption(p);
    p.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("Files to describe (- for standard input)."),
                            QStringLiteral("INPUT..."));
    if (!p.parse(QStringList {QStringLiteral("tidewell-cli info")} + args))
        return s.usage(p.errorText());
    if (helpRequested(p))
        return s.writeOutput(QString(), helpText(p, QStringLiteral("info")).toUtf8()) ? kOk : kUsage;
    const QStringList inputs = p.positionalArguments();
    if (inputs.isEmpty())
        return s.usage(QStringLiteral("info needs at least one input file"));
    Selection selection;
    int status = kOk;
    if (!zoneOption(s, p, &selection, &status))
        return status;
    const ZoneScope zone(selection.zone);

    QString report;
    int result = kOk;
    for (const QString& input : inputs) {
        aCalendar doc;
        Format forced = Format::None;
        DelimitedOptions delimited;
        if (!inputOptions(s, p, doc, &forced, &delimited, &status))
            return status;
        const Format f = forced != Format::None ? forced : inputFormatFromPath(input);
        if (f == Format::None) {
            s.usage(QStringLiteral("cannot tell the format of %1 (use --from)").arg(input));
            result = kUsage;
            continue;
        }
        // The zones are read from the text itself, so the input is read here once and handed on.
        QByteArray bytes;
        if (!s.readInput(input, &bytes)) {
            result = kUsage;
            continue;
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        Session reading(&buffer, s.out(), s.err());
        if (!readInto(input == QLatin1String("-") ? reading : s, doc, input, f, delimited)) {
            result = kUsage;
            continue;
        }
        const QString text = Encoding::decode(
            bytes, f == Format::VCal ? Encoding::Fallback::MacRoman : Encoding::Fallback::Windows1252);
        if (!report.isEmpty())
            report += QLatin1Char('\n');
        report += describe(input == QLatin1String("-") ? QStringLiteral("<stdin>") : input, doc, text, f);
    }
    if (!report.isEmpty() && !s.writeOutput(QString(), report.toUtf8()))
        return kUsage;
    return result;
}
} // namespace cli
