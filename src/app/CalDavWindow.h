#pragma once

// The window's side of the CalDAV calendars: they follow the calendar application's in the
// calendar pop-up, "From iCal" and "To iCal" reach them without the window ever waiting, the
// password is asked once per run where the desktop keeps none, and Preferences opens the
// account dialog.

#include <QString>
#include <QVariantMap>

class AppControl;
class QDialog;

namespace CalDavWindow
{
/// Makes the CalDAV calendars the document's calendar source (found in the background, the
/// pop-up refilled each time they have been found), the password question this window's, and
/// starts finding them when there are accounts.
void install(AppControl& control);

/// True when @p title is a CalDAV calendar (not one of the calendar application's).
bool isCalDavCalendar(const QString& title);

/// "From iCal" for a CalDAV calendar: reads it into the document while a sheet says so (its
/// "Cancel" drops what arrives); the reader's warnings are shown, the rows appear.
void importCalendar(AppControl& control, const QString& title);

/// "To iCal" for a CalDAV calendar: one new event per entry with a progress sheet (its "Cancel"
/// sends nothing more); when not every entry went in, what did and what did not is shown.
/// @p done runs at the end (the controller's export state).
void appendToCalendar(AppControl& control, const QVariantMap& parameters, std::function<void()> done = {});

/// The account dialog (Preferences), window-modal; returned for tests.
QDialog* showAccounts(AppControl& control);
} // namespace CalDavWindow
