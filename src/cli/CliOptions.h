#pragma once

// Options several commands share beside the outputs: help, reading delimited text, choosing and
// ordering entries, and the zone written.

#include "CliCommon.h"

#include <QByteArray>

namespace cli
{
/// -h, --help; --help-all is accepted too (not listed), as many programs have it.
void addHelpOption(QCommandLineParser& p);
bool helpRequested(const QCommandLineParser& p);

/// How delimited text is read.
struct DelimitedOptions
{
    ColumnOrder order; ///< the columns, left to right
    bool orderGiven = false; ///< the order came from --columns-in: a heading does not replace it
    bool header = false; ///< the first record holds the column titles
    QString delimiter; ///< empty: "," for comma files, a tab for tab files
    QString dateOrder; ///< "DMY", "MDY" or "YMD"; empty: the user's short date format
};

/// --from, --columns-in, --header (also --skip-header), --delimiter, --date-order. @p writesLists:
/// the command writes comma and tab lists too, where --header also writes a heading row.
void addInputOptions(QCommandLineParser& p, bool writesLists = false);
/// Reads the options of addInputOptions(); false (reported, @p status set) on a bad value.
/// The default column order is @p doc's (the saved one).
bool inputOptions(Session& s, const QCommandLineParser& p, const aCalendar& doc, Format* forced, DelimitedOptions* o,
                  int* status);

/// Reads delimited text into @p doc; false (reported) when the text holds more records than
/// can be read, or records but not one date or time (not a calendar: the columns do not fit).
bool readDelimited(Session& s, aCalendar& doc, const QString& name, const QString& text, Format format,
                   const DelimitedOptions& o);

/// False for a text that cannot be an iCalendar or vCalendar file: not blank, and naming
/// neither a VCALENDAR nor a VEVENT.
bool looksLikeCalendar(const QString& text);

/// Which entries are written, in which order, in which zone.
struct Selection
{
    CalDate since; ///< entries ending before this are left out (null: no bound)
    CalDate untilExclusive; ///< entries starting at or after this are left out (null: no bound)
    QString sort; ///< "start", "end", "summary" or empty (the order read)
    QString zone; ///< IANA id of the zone written; empty: the machine's
};

/// --since, --until, --sort and addZoneOption().
void addSelectionOptions(QCommandLineParser& p);
/// --tz.
void addZoneOption(QCommandLineParser& p);
/// Reads the zone only; call before dates are read (they are read in that zone).
bool zoneOption(Session& s, const QCommandLineParser& p, Selection* sel, int* status);
/// Reads the range and the order, into @p sel and the parts @p o needs for lists.
bool selectionOptions(Session& s, const QCommandLineParser& p, Selection* sel, OutputOptions* o, int* status);
/// Keeps the entries of @p doc that may have an occurrence in the range, then sorts them.
void applySelection(aCalendar& doc, const Selection& sel);

/// Makes @p zone the machine's zone (TZ) while the object lives: every date read or made, and
/// every zone written, is then in that zone.
class ZoneScope
{
public:
    explicit ZoneScope(const QString& zone);
    ~ZoneScope();
    ZoneScope(const ZoneScope&) = delete;
    ZoneScope& operator=(const ZoneScope&) = delete;

private:
    bool m_active = false;
    bool m_wasSet = false;
    QByteArray m_old;
};

/// The comma, tab or readable list of @p doc as @p o asks: expanded (always for the readable
/// list) within o.since and o.untilExclusive; expansion warnings of comma and tab lists go to
/// standard error.
QList<QByteArray> listParts(Session& s, const aCalendar& doc, const OutputOptions& o);
/// True when the list @p o asks for is written part by part as it is made (the expanded rows of
/// a comma or tab list in order of start); writeListInParts() then writes it (false on failure,
/// reported).
bool writesListInParts(const OutputOptions& o);
bool writeListInParts(Session& s, const aCalendar& doc, const OutputOptions& o);
} // namespace cli
