#pragma once

// What the calendar application bridge and the mail bridge share with each other and with their
// tests: the calendar application's file locations, the append itself, the script texts and the
// command lines given to mail programs. The operations users reach are aCalendar's.

#include "addressbook/invitee.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace bridges
{
// --- the calendar application ---

/// The quit request, the only script sent to the calendar application.
extern const char kQuitRequest[];
/// The calendar application's name among the running applications.
extern const char kCalendarAppName[];

/// Library + "/Preferences/com.apple.iCal.sources.plist".
QString calendarListFile();
/// Library + "/Application Support/iCal/Sources": one subfolder per calendar.
QString calendarFolder();
/// The subfolder's "info.plist" and "corestorage.ics".
QString infoFile(const QString& subfolder);
QString dataFile(const QString& subfolder);
/// The subfolder whose info.plist "Title" is @p title (the last of several), or "".
QString subfolderForTitle(const QString& title);

/// Milliseconds an append waits for the calendar application to quit before it gives up
/// (15 seconds); tests shorten it.
extern int quitWaitMs;

/// A calendar data file with @p events (UTF-8, CR LF lines) added as the calendar's last
/// components: the final END:VCALENDAR line (whatever its line end) is taken out, the events and
/// "END:VCALENDAR\r\n" go in its place. Text after that line other than blank lines is kept
/// after it. A blank file becomes a whole calendar. nullopt when @p file is not UTF-8.
std::optional<QByteArray> appendToCalendarText(const QByteArray& file, const QByteArray& events);

/// The invitees of an invitation's "theInvitees": a QList<invitee>, or a QVariantList of them.
QList<invitee> inviteesFrom(const QVariant& value);

// --- the mail bridge ---

/// The mail programs driven by script, by the names the default mail program is found under.
enum class ScriptedMail { None, Mail, Eudora, Entourage, Mailsmith, PowerMail };
ScriptedMail scriptedMailFor(const QString& name);
/// The name a scripted mail program is started by ("Mail.app", "Microsoft Entourage", ...).
QString startName(ScriptedMail program);

/// An AppleScript string literal's content: backslash and double quote escaped.
QString scriptEscaped(const QString& value);
/// An AppleScript list of one string "name <address>" per invitee, escaped:
/// {"Ann <a@x>", "Bo <b@x>"}; "{}" for none.
QString scriptListLiteral(const QList<invitee>& invitees);
/// The invitees as "name <address>", joined with ", ".
QString recipientsText(const QList<invitee>& invitees);
/// The Send File script (@p invitation false) or the invitation script of @p program, filled in
/// with the file's path relative to the users folder, an empty body and subject, and for an
/// invitation the recipients. Every value is escaped.
QString mailScript(ScriptedMail program, bool invitation, const QString& usersFolderPath,
                   const QList<invitee>& invitees);
/// "login:Library:Caches:..." for a file in the home folder: the login name, then the path below
/// the home folder with ":" between folders.
QString usersFolderPath(const QString& localPath);

/// The kinds of Linux mail programs, each with its own command line.
enum class MailKind { Thunderbird, Evolution, KMail, Claws, Other };
MailKind mailKindFor(const QString& programName, const QString& desktopId);
/// The command (program first) that opens a new message with @p attachment attached and, for an
/// invitation, the invitees in To. @p handlerCommand is the handler's Exec words; "Other" uses
/// xdg-email.
QStringList mailCommandLine(MailKind kind, const QStringList& handlerCommand, const QString& attachment,
                            const QList<invitee>& invitees);

/// Milliseconds the mail bridge keeps trying to start a mail program (10 seconds); tests
/// shorten it.
extern int mailStartMs;
/// Where attachments are written: a fresh folder for each message under the cache folder
/// (folders over a week old are removed first); on macOS the calendar application's fixed
/// temporary file. "" when no folder can be made.
QString freshAttachmentPath();
} // namespace bridges
