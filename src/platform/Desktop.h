#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

/// The desktop around the program: the user's folders, the programs that run, scripts sent to
/// them, starting programs, and the user's mail program.
///
/// Nothing here waits long: every call returns within a few seconds, whatever the other program
/// does. Callers that must retry (a mail program that does not start at once) do so themselves.
namespace Desktop
{
/// The user's Library folder: $TIDEWELL_LIBRARY_DIR when set (a Mac home folder copied to this
/// machine, a test fixture), otherwise ~/Library. No trailing slash.
QString libraryFolder();

/// The user's short login name.
QString loginName();

/// Names of the running applications. On Linux the process names from /proc (the full
/// executable name where the kernel shortened it); elsewhere the names `ps` gives.
QStringList runningApplications();
/// Replaces runningApplications() by @p provider (tests); an empty function restores it.
void setRunningApplicationsProvider(std::function<QStringList()> provider);

/// True when scripts can be run here (`osascript` is on the PATH).
bool canRunScripts();
/// Runs an AppleScript text through `osascript`, giving up after 20 seconds. False with
/// @p error "cannot run scripts" where there is no script runner, or with the runner's own
/// complaint when the script failed.
bool runScript(const QString& script, QString* error = nullptr);

/// Starts @p program (a name looked up on the PATH, or a path) with @p arguments, detached from
/// this process. One attempt; false with the reason when it cannot be started.
bool startProgram(const QString& program, const QStringList& arguments, QString* error = nullptr);

/// Starts an application by its name ("iCal", "Mail.app"): through `open -a` on macOS, as a
/// program of that name elsewhere.
bool launchApplication(const QString& name, QString* error = nullptr);

/// The program registered for "mailto:" links.
struct MailHandler
{
    /// The program's name: on Linux the file name of the first word of its Exec line
    /// ("thunderbird"), on macOS the application's name without ".app" ("Mail").
    QString name;
    /// Linux: the desktop file id ("thunderbird.desktop"); empty on macOS.
    QString desktopId;
    /// Linux: the Exec line split into words, unquoted, with its field codes (%u, %U, ...)
    /// removed; the first word is the program. Empty on macOS.
    QStringList command;
};
/// The user's mail program, or nullopt when none is registered or it cannot be found. On Linux
/// `xdg-mime query default x-scheme-handler/mailto` names the desktop file (the mimeapps.list
/// files are read directly when xdg-mime is missing).
std::optional<MailHandler> defaultMailHandler();

/// Splits a desktop file's Exec value into words (quoting and escapes as desktop files write
/// them). Field codes for files and links (%u, %U, %f, %F, ...) are dropped, %c becomes @p name,
/// %i "--icon" and @p icon, %k @p location, "%%" a percent sign.
QStringList splitExecLine(const QString& exec, const QString& name = {}, const QString& icon = {},
                          const QString& location = {});
} // namespace Desktop
