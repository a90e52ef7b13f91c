// The calendar application's calendars: the list of titles, the data file of one calendar, new
// events appended to it while the application is closed, and files dropped on the window.
#include "bridges/bridges.h"
#include "bridges/calendarSources.h"
#include "calendar/aCalendar.h"
#include "formats/writeContext.h"
#include "platform/Desktop.h"
#include "platform/Encoding.h"
#include "platform/PropertyList.h"
#include "platform/SafeFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QStringEncoder>
#include <QThread>

namespace bridges
{
const char kQuitRequest[] = "tell application \"iCal\"\n quit\n end tell\n";
const char kCalendarAppName[] = "iCal";
int quitWaitMs = 15000;

QString calendarListFile()
{
    return Desktop::libraryFolder() + QStringLiteral("/Preferences/com.apple.iCal.sources.plist");
}

QString calendarFolder()
{
    return Desktop::libraryFolder() + QStringLiteral("/Application Support/iCal/Sources");
}

QString infoFile(const QString& subfolder)
{
    return QStringLiteral("%1/%2/info.plist").arg(calendarFolder(), subfolder);
}

QString dataFile(const QString& subfolder)
{
    return QStringLiteral("%1/%2/corestorage.ics").arg(calendarFolder(), subfolder);
}

namespace
{
/// The calendar folder's items, by name (dot files left out), with the title each info.plist
/// gives (nullopt when it cannot be read or has none).
QList<QPair<QString, std::optional<QString>>> titledSubfolders()
{
    QList<QPair<QString, std::optional<QString>>> out;
    const QStringList items = QDir(calendarFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& item : items) {
        if (item.startsWith(QLatin1Char('.')))
            continue;
        const std::optional<PropertyList::Node> info = PropertyList::parseFile(infoFile(item));
        const PropertyList::Node* title = info && info->isDict() ? &info->value(QStringLiteral("Title")) : nullptr;
        if (title && title->type == PropertyList::Node::Type::String)
            out.append({item, title->toString()});
        else
            out.append({item, std::nullopt});
    }
    return out;
}

/// The titles the calendar list file gives, or nullopt when it is missing or is not a list.
std::optional<QStringList> titlesFromListFile()
{
    const std::optional<PropertyList::Node> list = PropertyList::parseFile(calendarListFile());
    if (!list || !list->isDict())
        return std::nullopt;
    const PropertyList::Node& sources = list->value(QStringLiteral("SourcesView"));
    if (!sources.isDict())
        return std::nullopt;
    const PropertyList::Node& repositories = list->value(QStringLiteral("RegisteredRepositories"));
    QStringList titles;
    for (const auto& [key, source] : sources.items) {
        Q_UNUSED(key);
        const PropertyList::Node& description = source.value(QStringLiteral("Description"));
        if (description.type != PropertyList::Node::Type::String)
            continue;
        // Subscribed calendars ("slurped" from the network) cannot be written to.
        const PropertyList::Node& repository
            = repositories.value(source.value(QStringLiteral("Repository")).toString());
        if (repository.contains(QStringLiteral("slurper information")))
            continue;
        titles << description.toString();
    }
    return titles;
}

bool calendarAppRunning()
{
    return Desktop::runningApplications().contains(QLatin1String(kCalendarAppName));
}

/// Waits, looking four times a second, until the calendar application has quit; false when it
/// still runs after quitWaitMs.
bool waitForCalendarAppToQuit()
{
    QElapsedTimer timer;
    timer.start();
    while (calendarAppRunning()) {
        if (timer.elapsed() >= quitWaitMs)
            return false;
        QThread::msleep(quint64(qBound(1, quitWaitMs - int(timer.elapsed()), 250)));
    }
    return true;
}

bool isBlank(const char* from, const char* to)
{
    for (const char* p = from; p < to; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
            return false;
    }
    return true;
}

/// True when [from, to) is an END:VCALENDAR line: the words at the line's start (a folded
/// continuation begins with a space and is text, not a line), any case, trailing blanks allowed.
bool isEndLine(const char* from, const char* to)
{
    static const char kEnd[] = "END:VCALENDAR";
    const qsizetype n = sizeof(kEnd) - 1;
    if (to - from < n || qstrnicmp(from, kEnd, n) != 0)
        return false;
    return isBlank(from + n, to);
}

QByteArray encodeStrictly(const QString& text, bool* ok)
{
    QStringEncoder encoder(QStringConverter::Utf8);
    QByteArray bytes = encoder(text);
    *ok = !encoder.hasError();
    return bytes;
}
} // namespace

QString subfolderForTitle(const QString& title)
{
    QString found;
    for (const auto& [subfolder, subTitle] : titledSubfolders()) {
        if (subTitle == title)
            found = subfolder;
    }
    return found;
}

std::optional<QByteArray> appendToCalendarText(const QByteArray& file, const QByteArray& events)
{
    if (!Encoding::isValidUtf8(file))
        return std::nullopt;
    const char* begin = file.constData();
    const char* end = begin + file.size();
    if (isBlank(begin, end))
        return QByteArrayLiteral("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Quenlor\\, //Quenlor//EN\r\n") + events
            + QByteArrayLiteral("END:VCALENDAR\r\n");

    // The last END:VCALENDAR line, looking from the end; a line ends at LF, CR or CR LF.
    const char* lineEnd = end;
    const char* found = nullptr;
    const char* foundEnd = nullptr;
    while (lineEnd > begin) {
        const char* lineStart = lineEnd;
        while (lineStart > begin && lineStart[-1] != '\n' && lineStart[-1] != '\r')
            --lineStart;
        if (isEndLine(lineStart, lineEnd)) {
            found = lineStart;
            foundEnd = lineEnd;
            break;
        }
        lineEnd = lineStart;
        if (lineEnd > begin && lineEnd[-1] == '\n')
            --lineEnd;
        if (lineEnd > begin && lineEnd[-1] == '\r')
            --lineEnd;
    }

    QByteArray out;
    if (!found) {
        // A file cut short: the events go after what is there, on a line of their own.
        out.reserve(file.size() + events.size() + 17);
        out += file;
        if (!out.endsWith('\n') && !out.endsWith('\r'))
            out += "\r\n";
        out += events;
        out += "END:VCALENDAR\r\n";
        return out;
    }
    // Skip the end line's own line end.
    if (foundEnd < end && *foundEnd == '\r')
        ++foundEnd;
    if (foundEnd < end && *foundEnd == '\n')
        ++foundEnd;
    out.reserve(file.size() + events.size() + 17);
    out.append(begin, found - begin);
    out += events;
    out += "END:VCALENDAR\r\n";
    if (!isBlank(foundEnd, end))
        out.append(foundEnd, end - foundEnd);
    return out;
}

QList<invitee> inviteesFrom(const QVariant& value)
{
    if (value.canConvert<QList<invitee>>())
        return value.value<QList<invitee>>();
    QList<invitee> out;
    for (const QVariant& item : value.toList()) {
        if (item.canConvert<invitee>())
            out << item.value<invitee>();
    }
    return out;
}
} // namespace bridges

using namespace bridges;

QStringList aCalendar::calendarAppTitles()
{
    if (std::optional<QStringList> titles = titlesFromListFile())
        return *titles;
    QStringList titles;
    for (const auto& [subfolder, title] : titledSubfolders()) {
        Q_UNUSED(subfolder);
        if (title)
            titles << *title;
    }
    return titles;
}

QStringList aCalendar::theAvailableCalendars() const
{
    QStringList titles = calendarAppTitles();
    if (CalendarSource* source = calendarSource())
        titles += source->titles(titles);
    return titles;
}

bool aCalendar::calListOK(const QString& title)
{
    // A calendar of the calendar application is found without asking any other source.
    QStringList fresh = calendarAppTitles();
    if (fresh.contains(title))
        return true;
    if (CalendarSource* source = calendarSource())
        fresh += source->titles(fresh);
    if (fresh.contains(title))
        return true;
    theCalArray = fresh;
    return false;
}

bool aCalendar::isSourceCalendar(const QString& title)
{
    CalendarSource* source = calendarSource();
    if (!source)
        return false;
    const QStringList app = calendarAppTitles();
    // The calendar application's own: listed, or with a folder of that title (which an append
    // writes to).
    if (app.contains(title) || !subfolderForTitle(title).isEmpty())
        return false;
    return source->titles(app).contains(title);
}

QString aCalendar::getCalendar104Path(const QString& title) const
{
    const QString subfolder = subfolderForTitle(title);
    return subfolder.isEmpty() ? QString() : dataFile(subfolder);
}

bool aCalendar::quitCalendarApp()
{
    bool wasRunning = false;
    for (const QString& name : Desktop::runningApplications()) {
        if (name == QLatin1String(kCalendarAppName)) {
            // The application's answer does not matter: the append waits for it to be gone.
            Desktop::runScript(QString::fromLatin1(kQuitRequest));
            wasRunning = true;
        }
    }
    return wasRunning;
}

void aCalendar::relaunchCalendarApp()
{
    Desktop::launchApplication(QString::fromLatin1(kCalendarAppName));
}

bool aCalendar::exportToCalendarApp(const QVariantMap& parameters)
{
    // A calendar on a server does not need the calendar application closed.
    if (isSourceCalendar(parameters.value(QStringLiteral("theCalendar")).toString()))
        return appendEntryToiCalFile(parameters);
    const bool wasRunning = quitCalendarApp();
    const bool written = appendEntryToiCalFile(parameters);
    if (wasRunning)
        relaunchCalendarApp();
    return written;
}

bool aCalendar::appendEntryToiCalFile(const QVariantMap& parameters)
{
    appendReport.clear();
    if (isSourceCalendar(parameters.value(QStringLiteral("theCalendar")).toString()))
        return calendarSource()->append(*this, parameters, &appendReport);
    // Writing under a running calendar application would lose the events to its next save.
    if (!waitForCalendarAppToQuit())
        return false;
    const QString subfolder = subfolderForTitle(parameters.value(QStringLiteral("theCalendar")).toString());
    if (subfolder.isEmpty())
        return false;

    QString events;
    const QString sort = parameters.value(QStringLiteral("sort")).toString();
    if (sort == QLatin1String("1")) {
        const dataEntry::WriteContext context = dataEntry::WriteContext::current();
        for (const EntryPtr& entry : std::as_const(theData)) {
            if (entry)
                entry->appendICal(events, context);
        }
        for (const EntryPtr& entry : std::as_const(theRecObjects)) {
            if (entry)
                entry->appendICal(events, context);
        }
    } else if (sort == QLatin1String("0")) {
        const QList<invitee> invitees = inviteesFrom(parameters.value(QStringLiteral("theInvitees")));
        const QString org = parameters.value(QStringLiteral("theOrg")).toString();
        const QString email = parameters.value(QStringLiteral("theEmail")).toString();
        for (const EntryPtr& entry : std::as_const(theData)) {
            if (entry)
                events += entry->getICalForICal(invitees, org, email);
        }
        for (const EntryPtr& entry : std::as_const(theRecObjects)) {
            if (!entry)
                continue;
            // The mailed block has LF line ends; the data file has CR LF throughout.
            QString block = entry->getICal(invitees, org, email);
            block.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
            events += block;
        }
    }
    bool encoded = false;
    const QByteArray eventBytes = encodeStrictly(events, &encoded);
    if (!encoded)
        return false;

    const QString path = dataFile(subfolder);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    file.close();
    const std::optional<QByteArray> text = appendToCalendarText(old, eventBytes);
    return text && SafeFile::writeFile(path, *text);
}

DropOutcome aCalendar::processDroppedFileArray(const QStringList& paths, const QMimeData* sender)
{
    DropOutcome outcome;
    for (const QString& path : paths) {
        if (QFileInfo(path).suffix().toLower() != QLatin1String("textclipping")) {
            processADroppedFile(path, &outcome);
            continue;
        }
        QString text = sender ? sender->text() : QString();
        if (text.isEmpty()) {
            // Without the drag's text, a clipping file kept as a property list still has it.
            static const PropertyList::Node none;
            const std::optional<PropertyList::Node> clip = PropertyList::parseFile(path);
            const PropertyList::Node& data = clip ? clip->value(QStringLiteral("UTIData")) : none;
            const PropertyList::Node& utf8 = data.value(QStringLiteral("public.utf8-plain-text"));
            const PropertyList::Node& utf16 = data.value(QStringLiteral("public.utf16-plain-text"));
            if (utf8.type == PropertyList::Node::Type::Data)
                text = Encoding::decodeUtf8(utf8.scalar.toByteArray());
            else if (utf16.type == PropertyList::Node::Type::Data)
                text = Encoding::decode(utf16.scalar.toByteArray(), Encoding::Fallback::Windows1252);
            else if (utf8.type == PropertyList::Node::Type::String)
                text = utf8.toString();
        }
        if (text.isEmpty())
            outcome.unreadable << QStringLiteral("%1: the clipping holds no text").arg(path);
        else
            processDateString(text);
    }
    return outcome;
}

void aCalendar::processADroppedFile(const QString& path, DropOutcome* outcome)
{
    DropOutcome ignored;
    DropOutcome& out = outcome ? *outcome : ignored;
    const QString suffix = QFileInfo(path).suffix().toLower();
    enum class Kind { Calendar, VCalendar, Comma, Tab, Unknown } kind = Kind::Unknown;
    if (suffix == QLatin1String("ics"))
        kind = Kind::Calendar;
    else if (suffix == QLatin1String("vcal") || suffix == QLatin1String("vcs"))
        kind = Kind::VCalendar; // no type codes here: the extension says what they are
    else if (suffix == QLatin1String("csv"))
        kind = Kind::Comma;
    else if (suffix == QLatin1String("txt") || suffix == QLatin1String("tsv") || suffix == QLatin1String("tab"))
        kind = Kind::Tab;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.unreadable << QStringLiteral("%1: %2").arg(path, file.errorString());
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        out.unreadable << QStringLiteral("%1: %2").arg(path, file.errorString());
        return;
    }
    if (kind == Kind::Unknown) {
        // Any other name: a calendar is still taken for what it is.
        const QByteArray head = bytes.left(256).trimmed();
        const qsizetype bom = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
        if (qstrnicmp(head.constData() + bom, "BEGIN:VCALENDAR", 15) != 0 || head.size() < bom + 15) {
            out.unreadable << QStringLiteral("%1: not a calendar or delimited text file").arg(path);
            return;
        }
        kind = Kind::Calendar;
    }
    switch (kind) {
    case Kind::Calendar:
    case Kind::VCalendar: {
        const QString text = Encoding::decode(
            bytes, kind == Kind::VCalendar ? Encoding::Fallback::MacRoman : Encoding::Fallback::Windows1252);
        const QString message = setData(text);
        if (!message.isEmpty() && !out.readerMessage.contains(message)) {
            if (!out.readerMessage.isEmpty())
                out.readerMessage += QLatin1String("\n\n");
            out.readerMessage += message;
        }
        break;
    }
    case Kind::Comma:
    case Kind::Tab:
        processCT(Encoding::decode(bytes, Encoding::Fallback::Windows1252),
                  kind == Kind::Comma ? QStringLiteral(",") : QStringLiteral("\t"));
        out.delimitedSplit = true;
        break;
    case Kind::Unknown:
        break;
    }
}
