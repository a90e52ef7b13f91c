// The calendar application's calendars and dropped files. (Placeholder bodies: the bridge itself
// is being written; these keep the window and the CLI building meanwhile.)
#include "calendar/aCalendar.h"

QStringList aCalendar::theAvailableCalendars() const
{
    return {};
}

bool aCalendar::calListOK(const QString& title)
{
    const QStringList fresh = theAvailableCalendars();
    if (fresh.contains(title))
        return true;
    theCalArray = fresh;
    return false;
}

QString aCalendar::getCalendar104Path(const QString&) const
{
    return {};
}

bool aCalendar::appendEntryToiCalFile(const QVariantMap&)
{
    return false;
}

DropOutcome aCalendar::processDroppedFileArray(const QStringList& paths, const QMimeData*)
{
    DropOutcome outcome;
    for (const QString& path : paths)
        processADroppedFile(path, &outcome);
    return outcome;
}

void aCalendar::processADroppedFile(const QString&, DropOutcome*)
{
}
