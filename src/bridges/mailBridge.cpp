// The mail bridge: the calendar, or an invitation to its entries, attached to a new message of
// the user's mail program. Mail programs of the Mac are driven by AppleScript; those of Linux are
// given the attachment on their command lines.
#include "bridges/bridges.h"
#include "calendar/aCalendar.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <functional>

namespace
{
const char kSendError[] = "There has been an error sending the calendar to the mail program.  Please  use the "
                          "\"Export to File\" option and attach the file to your mail message.";
const char kCalendarGone[] = "The calendar you have selected no longer exists. Please select another calendar.";
const char kAddError[] = "There has been an error adding the data to iCal.  Please  use the \"Export to File\" "
                         "option and import the data to iCal.";
const char kUnsupported[] = "Your default mail program (%1) cannot be given an attachment. Please use the "
                            "\"Export to File\" option and attach the file to your mail message.";

// The scripts, each a format whose "%@" are filled in order: the file's path relative to the
// users folder, the body, the subject and, for invitations, the recipients.

const char kFileMail[]
    = "set theFile to (((path to users folder) as text) & \"%@\") as alias\n"
      " set thebody to (\"%@\" & return & return)\n"
      " set theSubject to \"%@\"\n"
      " tell application \"Mail\"\n"
      " activate\n"
      " set the new_message to make new outgoing message at beginning of every outgoing message\n"
      " tell new_message\n"
      " set the subject to theSubject\n"
      " set the content to thebody\n"
      " tell content\n"
      " make new attachment with properties {file name:theFile} at after the last word of the the last paragraph\n"
      " end tell\n"
      " end tell\n"
      " make new OLD message editor at beginning of every OLD message editor\n"
      " set outgoing message of last OLD message editor to new_message\n"
      " end tell";

// Send File, Eudora
const char kFileEudora[] = "set theFile to (((path to users folder) as text) & \"%@\") as alias\n"
                           "set thebody to (\"%@\" & return & return)\n"
                           "set theSubject to \"%@\"\n"
                           "tell application \"Eudora\"\n"
                           "activate\n"
                           "set the new_message to make message at the end of mailbox \"Out\"\n"
                           "set body of message 0 to thebody\n"
                           "set subject of message 0 to theSubject\n"
                           "attach to message 0 documents theFile\n"
                           "end tell";

// Send File, Microsoft Entourage
const char kFileEntourage[] = "set theFile to (((path to users folder) as text) & \"%@\") as alias\n"
                              "set thebody to (\"%@\" & return & return)\n"
                              "set theSubject to \"%@\"\n"
                              "\n"
                              "tell application \"Microsoft Entourage\"\n"
                              " activate\n"
                              "set the new_message to make new draft window with properties {subject:\"\"}\n"
                              "tell new_message\n"
                              "make new attachment at new_message with properties {file:theFile}\n"
                              "end tell\n"
                              "end tell";

// Send File, Mailsmith
const char kFileMailsmith[] = "set theFile to (((path to users folder) as text) & \"%@\") as alias\n"
                              "set thebody to (\"%@\" & return & return)\n"
                              "set theSubject to \"%@\"\n"
                              "tell application \"Mailsmith\"\n"
                              "activate\n"
                              "set new_message to make new message window\n"
                              "tell new_message\n"
                              "set subject to theSubject\n"
                              "set the contents to thebody\n"
                              "make new enclosure at end with properties {file:theFile}\n"
                              "end tell\n"
                              "end tell";

// Send File, PowerMail
const char kFilePowerMail[]
    = "set theFile to (((path to users folder) as text) & \"%@\") as alias\n"
      "set thebody to (\"%@\" & return & return)\n"
      "set theSubject to \"%@\"\n"
      "tell application \"PowerMail\"\n"
      "activate\n"
      "set msg to make new message with properties {recipient:\"\", subject:theSubject, content:thebody}\n"
      "open msg\n"
      "tell content\n"
      "make new attachment at msg with properties {file:theFile}\n"
      "end tell\n"
      "end tell";

// Invitation, Mail (this one ends with a line feed after its last line)
const char kInviteMail[]
    = "set theFile to (((path to users folder) as text) & \"%@\") as alias\n"
      " set thebody to (\"%@\" & return & return)\n"
      " set theSubject to \"%@\"\n"
      " set theRec to \"%@\"\n"
      " tell application \"Mail\"\n"
      " set the new_message to make new outgoing message at beginning of every outgoing message\n"
      " tell new_message\n"
      " make new to recipient at beginning of to recipients with properties {name:theRec}\n"
      " set the subject to theSubject\n"
      " set the content to thebody\n"
      " tell content\n"
      " make new attachment with properties {file name:theFile} at after the last word of the the last paragraph\n"
      " end tell\n"
      " end tell\n"
      " make new OLD message editor at beginning of every OLD message editor\n"
      " set outgoing message of last OLD message editor to new_message\n"
      " end tell\n";

// Invitation, Eudora
const char kInviteEudora[] = "set theFile to (((path to users folder) as text) & \"%@\") as alias\n"
                             "set thebody to (\"%@\" & return & return)\n"
                             "set theSubject to \"%@\"\n"
                             "set theRec to \"%@\"\n"
                             "tell application \"Eudora\"\n"
                             "activate\n"
                             "set the new_message to make message at the end of mailbox \"Out\"\n"
                             "set body of message 0 to thebody\n"
                             " tell new_message\n"
                             "set field \"To\" to theRec\n"
                             "set subject to theSubject\n"
                             "end tell\n"
                             "attach to message 0 documents theFile\n"
                             "end tell";

// Invitation, Microsoft Entourage
const char kInviteEntourage[]
    = "set theFile to (((path to users folder) as text) & \"%@\") as alias\n"
      "set thebody to (\"%@\" & return & return)\n"
      "set theSubject to \"%@\"\n"
      "\n"
      "set theRec to %@ as list\n"
      "tell application \"Microsoft Entourage\"\n"
      " activate\n"
      "set the new_message to make new draft window with properties {subject:\"\"}\n"
      "tell new_message\n"
      "make new attachment at new_message with properties {file:theFile}\n"
      "repeat with file_idx from 1 to (theRec count)\n"
      "make new recipient at beginning of new_message with properties {address:(item file_idx of theRec)}\n"
      "end repeat\n"
      "end tell\n"
      "end tell";

// Invitation, Mailsmith
const char kInviteMailsmith[] = "set theFile to (((path to users folder) as text) & \"%@\") as alias\n"
                                "set thebody to (\"%@\" & return & return)\n"
                                "set theSubject to \"%@\"\n"
                                "set theRec to %@ as list\n"
                                "tell application \"Mailsmith\"\n"
                                "activate\n"
                                "set new_message to make new message window\n"
                                "tell new_message\n"
                                "set subject to theSubject\n"
                                "set the contents to thebody\n"
                                "make new enclosure at end with properties {file:theFile}\n"
                                "repeat with file_idx from 1 to (theRec count)\n"
                                "make new to_recipient at end with properties {address:(item file_idx of theRec)}\n"
                                "end repeat\n"
                                "end tell\n"
                                "end tell";

// Invitation, PowerMail
const char kInvitePowerMail[]
    = "set theFile to (((path to users folder) as text) & \"%@\") as alias\n"
      "set thebody to (\"%@\" & return & return)\n"
      "set theSubject to \"%@\"\n"
      "set theRec to \"%@\"\n"
      "tell application \"PowerMail\"\n"
      "activate\n"
      "set msg to make new message with properties {recipient:theRec, subject:theSubject, content:thebody}\n"
      "open msg\n"
      "tell content\n"
      "make new attachment at msg with properties {file:theFile}\n"
      "end tell\n"
      "end tell";

/// Fills the "%@" of @p format in order, in one pass (a value holding "%@" stays as it is).
QString fill(const char* format, const QStringList& values)
{
    const QString text = QString::fromUtf8(format);
    QString out;
    qsizetype from = 0;
    int next = 0;
    for (qsizetype at = text.indexOf(QLatin1String("%@")); at >= 0; at = text.indexOf(QLatin1String("%@"), from)) {
        out += QStringView(text).mid(from, at - from);
        out += values.value(next++);
        from = at + 2;
    }
    out += QStringView(text).mid(from);
    return out;
}

/// A mailbox as mail programs read it: "Name <address>", the name quoted when it holds a
/// character that would split or end it (a comma above all).
QString mailbox(const invitee& person)
{
    const QString address = person.getTheInviteeEmailAddress().trimmed();
    QString name = person.getTheRealName().trimmed();
    name.remove(QLatin1Char('\r'));
    name.remove(QLatin1Char('\n'));
    if (name.isEmpty())
        return address;
    static const QString kSpecials = QStringLiteral("()<>[]:;@\\,.\"");
    bool quote = false;
    for (const QChar c : std::as_const(name))
        quote = quote || kSpecials.contains(c);
    if (quote) {
        name.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        name.replace(QLatin1Char('"'), QLatin1String("\\\""));
        name = QLatin1Char('"') + name + QLatin1Char('"');
    }
    return name + QStringLiteral(" <") + address + QLatin1Char('>');
}

QStringList mailboxes(const QList<invitee>& invitees)
{
    QStringList out;
    for (const invitee& person : invitees)
        out << mailbox(person);
    return out;
}

QString fileUrl(const QString& path)
{
    // Commas and quotes end a value of Thunderbird's -compose list, so they are encoded too.
    QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    url.replace(QLatin1Char(','), QLatin1String("%2C"));
    url.replace(QLatin1Char('\''), QLatin1String("%27"));
    return url;
}

/// Tries @p start until it succeeds, for at most bridges::mailStartMs.
bool startWithRetry(const std::function<bool()>& start)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (start())
            return true;
        if (timer.elapsed() >= bridges::mailStartMs)
            return false;
        QThread::msleep(quint64(qBound(1, bridges::mailStartMs - int(timer.elapsed()), 250)));
    }
}

/// Opens a new message with the attachment in the user's mail program; "" or the message.
QString sendToMailProgram(const QString& attachment, bool invitation, const QList<invitee>& invitees)
{
    using namespace bridges;
    const std::optional<Desktop::MailHandler> handler = Desktop::defaultMailHandler();
    const QString name = handler ? handler->name : QStringLiteral("error");
    const ScriptedMail scripted = scriptedMailFor(name);
    if (scripted != ScriptedMail::None && Desktop::canRunScripts()) {
        if (!startWithRetry([&] { return Desktop::launchApplication(startName(scripted)); }))
            return QString::fromUtf8(kSendError);
        // What the mail program makes of the script is its affair: the user sees its window.
        Desktop::runScript(mailScript(scripted, invitation, usersFolderPath(attachment), invitees));
        return {};
    }
    if (!handler)
        return QString::fromUtf8(kSendError);
    const MailKind kind = mailKindFor(handler->name, handler->desktopId);
    if (handler->command.isEmpty()
        || (kind == MailKind::Other && QStandardPaths::findExecutable(QStringLiteral("xdg-email")).isEmpty()))
        return QString::fromUtf8(kUnsupported).arg(name);
    const QStringList command = mailCommandLine(kind, handler->command, attachment, invitees);
    if (!startWithRetry([&] { return Desktop::startProgram(command.first(), command.mid(1)); }))
        return QString::fromUtf8(kSendError);
    return {};
}
} // namespace

namespace bridges
{
int mailStartMs = 10000;

ScriptedMail scriptedMailFor(const QString& name)
{
    if (name == QLatin1String("Mail"))
        return ScriptedMail::Mail;
    if (name == QLatin1String("Eudora"))
        return ScriptedMail::Eudora;
    if (name == QLatin1String("Microsoft Entourage"))
        return ScriptedMail::Entourage;
    if (name == QLatin1String("Mailsmith"))
        return ScriptedMail::Mailsmith;
    if (name == QLatin1String("PowerMail"))
        return ScriptedMail::PowerMail;
    return ScriptedMail::None;
}

QString startName(ScriptedMail program)
{
    switch (program) {
    case ScriptedMail::Mail:
        return QStringLiteral("Mail.app");
    case ScriptedMail::Eudora:
        return QStringLiteral("Eudora.app");
    case ScriptedMail::Entourage:
        return QStringLiteral("Microsoft Entourage");
    case ScriptedMail::Mailsmith:
        return QStringLiteral("Mailsmith.app");
    case ScriptedMail::PowerMail:
        return QStringLiteral("PowerMail.app");
    case ScriptedMail::None:
        break;
    }
    return {};
}

QString scriptEscaped(const QString& value)
{
    QString out = value;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return out;
}

QString recipientsText(const QList<invitee>& invitees)
{
    QStringList parts;
    for (const invitee& person : invitees)
        parts << QStringLiteral("%1 <%2>").arg(person.getTheRealName(), person.getTheInviteeEmailAddress());
    return parts.join(QLatin1String(", "));
}

QString scriptListLiteral(const QList<invitee>& invitees)
{
    // One item per invitee: splitting the joined text at commas would cut "Lee, Chris" in two.
    QStringList items;
    for (const invitee& person : invitees) {
        items << QLatin1Char('"')
                + scriptEscaped(
                     QStringLiteral("%1 <%2>").arg(person.getTheRealName(), person.getTheInviteeEmailAddress()))
                + QLatin1Char('"');
    }
    return QLatin1Char('{') + items.join(QLatin1String(", ")) + QLatin1Char('}');
}

QString mailScript(ScriptedMail program, bool invitation, const QString& usersFolderPath,
                   const QList<invitee>& invitees)
{
    const QString path = scriptEscaped(usersFolderPath);
    const QString body;
    // Eudora takes an empty subject for none at all.
    const QString subject = program == ScriptedMail::Eudora ? QStringLiteral(" ") : QString();
    const QStringList file {path, body, subject};
    const QString recipients = scriptEscaped(recipientsText(invitees));
    switch (program) {
    case ScriptedMail::Mail:
        return invitation ? fill(kInviteMail, file + QStringList {recipients}) : fill(kFileMail, file);
    case ScriptedMail::Eudora:
        return invitation ? fill(kInviteEudora, file + QStringList {recipients}) : fill(kFileEudora, file);
    case ScriptedMail::Entourage:
        return invitation ? fill(kInviteEntourage, file + QStringList {scriptListLiteral(invitees)})
                          : fill(kFileEntourage, file);
    case ScriptedMail::Mailsmith:
        return invitation ? fill(kInviteMailsmith, file + QStringList {scriptListLiteral(invitees)})
                          : fill(kFileMailsmith, file);
    case ScriptedMail::PowerMail:
        return invitation ? fill(kInvitePowerMail, file + QStringList {recipients}) : fill(kFilePowerMail, file);
    case ScriptedMail::None:
        break;
    }
    return {};
}

QString usersFolderPath(const QString& localPath)
{
    const QString below = QDir(QDir::homePath()).relativeFilePath(localPath);
    return Desktop::loginName() + QLatin1Char(':') + QString(below).replace(QLatin1Char('/'), QLatin1Char(':'));
}

MailKind mailKindFor(const QString& programName, const QString& desktopId)
{
    // The program's own name first; a wrapper (flatpak, a script) is known by its desktop file.
    for (const QString& text : {programName.toLower(), desktopId.toLower()}) {
        for (const char* fork : {"thunderbird", "betterbird", "icedove", "seamonkey", "interlink"}) {
            if (text.contains(QLatin1String(fork)))
                return MailKind::Thunderbird;
        }
        if (text.contains(QLatin1String("evolution")))
            return MailKind::Evolution;
        if (text.contains(QLatin1String("kmail")))
            return MailKind::KMail;
        if (text.contains(QLatin1String("claws")))
            return MailKind::Claws;
    }
    return MailKind::Other;
}

QStringList mailCommandLine(MailKind kind, const QStringList& handlerCommand, const QString& attachment,
                            const QList<invitee>& invitees)
{
    const QStringList to = mailboxes(invitees);
    QStringList command = handlerCommand;
    switch (kind) {
    case MailKind::Thunderbird: {
        QStringList fields;
        if (!to.isEmpty()) {
            // Thunderbird's values are single-quoted and cannot hold a single quote.
            fields << QStringLiteral("to='%1'").arg(
                to.join(QLatin1Char(',')).replace(QLatin1Char('\''), QChar(0x2019)));
        }
        fields << QStringLiteral("attachment='%1'").arg(fileUrl(attachment));
        command << QStringLiteral("-compose") << fields.join(QLatin1Char(','));
        break;
    }
    case MailKind::Evolution: {
        QString url = QStringLiteral("mailto:");
        QStringList encoded;
        for (const QString& box : to)
            encoded << QString::fromLatin1(QUrl::toPercentEncoding(box, "@"));
        url += encoded.join(QLatin1Char(','));
        url += QStringLiteral("?attach=") + QString::fromLatin1(QUrl::toPercentEncoding(fileUrl(attachment), ":/"));
        command << url;
        break;
    }
    case MailKind::KMail:
        command << QStringLiteral("--composer") << QStringLiteral("--attach") << attachment << to;
        break;
    case MailKind::Claws: {
        command << QStringLiteral("--compose");
        if (!to.isEmpty()) {
            QStringList encoded;
            for (const QString& box : to)
                encoded << QString::fromLatin1(QUrl::toPercentEncoding(box, "@"));
            command << QStringLiteral("mailto:") + encoded.join(QLatin1Char(','));
        }
        command << QStringLiteral("--attach") << attachment;
        break;
    }
    case MailKind::Other:
        command = QStringList {QStringLiteral("xdg-email"), QStringLiteral("--attach"), attachment};
        for (const invitee& person : invitees)
            command << person.getTheInviteeEmailAddress().trimmed();
        break;
    }
    return command;
}

QString freshAttachmentPath()
{
#ifdef Q_OS_MACOS
    // The scripts of the Mac's mail programs name this file.
    const QString dir = QDir::homePath() + QStringLiteral("/Library/Caches/com.apple.iCal/Temporary Files");
    return QDir().mkpath(dir) ? dir + QStringLiteral("/iCal.ics") : QString();
#else
    QString root = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (root.isEmpty())
        root = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/tidewell");
    root += QStringLiteral("/mail");
    if (!QDir().mkpath(root))
        return {};
    // A message still open in a composer keeps its own folder; a week later it has been sent.
    const QDateTime weekAgo = Clock::now().addDays(-7);
    const QFileInfoList old = QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo& folder : old) {
        if (folder.lastModified() < weekAgo)
            QDir(folder.filePath()).removeRecursively();
    }
    QTemporaryDir fresh(root + QStringLiteral("/XXXXXX"));
    if (!fresh.isValid())
        return {};
    fresh.setAutoRemove(false);
    return fresh.filePath(QStringLiteral("iCal.ics"));
#endif
}
} // namespace bridges

using namespace bridges;

QString aCalendar::getDefaultMailApp()
{
    const std::optional<Desktop::MailHandler> handler = Desktop::defaultMailHandler();
    return handler ? handler->name : QStringLiteral("error");
}

QString aCalendar::sendCalendarToMail()
{
    const QString path = freshAttachmentPath();
    const QString text = createICalString(theData, nullptr);
    if (path.isEmpty() || !SafeFile::writeFile(path, text.toUtf8()))
        return QString::fromUtf8(kSendError);
    return sendToMailProgram(path, false, {});
}

QString aCalendar::mailWindowMail(const QVariantMap& parameters)
{
    const bool alsoToCalendar = parameters.value(QStringLiteral("iCalTick")).toBool();
    const QString calendar = parameters.value(QStringLiteral("selectedCal")).toString();
    bool wasRunning = false;
    if (alsoToCalendar) {
        if (!calListOK(calendar))
            return QString::fromUtf8(kCalendarGone);
        // A calendar on a server does not need the calendar application closed.
        wasRunning = isSourceCalendar(calendar) ? false : quitCalendarApp();
    }
    const QList<invitee> invitees = inviteesFrom(parameters.value(QStringLiteral("theInvitees")));
    const QString text
        = createInvitationString(theData, invitees, parameters.value(QStringLiteral("theOrg")).toString(),
                                 parameters.value(QStringLiteral("theEmail")).toString());
    QStringList messages;
    const QString path = freshAttachmentPath();
    if (path.isEmpty() || !SafeFile::writeFile(path, text.toUtf8())) {
        messages << QString::fromUtf8(kSendError);
    } else {
        const QString sent = sendToMailProgram(path, true, invitees);
        if (!sent.isEmpty())
            messages << sent;
        if (alsoToCalendar) {
            QVariantMap append = parameters;
            append.insert(QStringLiteral("sort"), QStringLiteral("0"));
            append.insert(QStringLiteral("theCalendar"), calendar);
            if (!appendEntryToiCalFile(append)) {
                messages << QString::fromUtf8(kAddError);
                if (!appendReport.isEmpty())
                    messages << appendReport;
            }
        }
    }
    if (wasRunning)
        relaunchCalendarApp();
    return messages.join(QLatin1String("\n\n"));
}
