#pragma once

// Calendars kept elsewhere than in the calendar application's folder: the CalDAV accounts'
// calendars, which the services library serves. The calendar list is the calendar
// application's titles followed by the source's; a title the calendar application has is always
// the application's, so that with no source (the core alone) or no account nothing changes.

#include <QString>
#include <QStringList>
#include <QVariantMap>

class aCalendar;

namespace bridges
{
class CalendarSource
{
public:
    virtual ~CalendarSource() = default;
    /// The titles to list after the calendar application's @p appTitles, none of which they
    /// repeat. May ask the servers (the command-line tool) or give what was last found (the
    /// window, which refreshes them without waiting).
    virtual QStringList titles(const QStringList& appTitles) = 0;
    /// Reads the calendar @p title into @p doc. True when it was read; @p message then holds
    /// the reader's warnings (or ""), otherwise why it could not be read.
    virtual bool read(aCalendar& doc, const QString& title, QString* message) = 0;
    /// Appends the document's entries to the calendar "theCalendar" of @p parameters, as
    /// aCalendar::appendEntryToiCalFile describes. True when every entry went in; @p report
    /// then is "", otherwise it says what went in and what did not, and why.
    virtual bool append(aCalendar& doc, const QVariantMap& parameters, QString* report) = 0;
};

/// The source the calendar list and the bridge functions consult (not owned; null: none).
void setCalendarSource(CalendarSource* source);
CalendarSource* calendarSource();
} // namespace bridges
