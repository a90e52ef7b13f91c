#include "platform/Desktop.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <pwd.h>
#include <unistd.h>

#ifdef Q_OS_MACOS
#include <QUrl>

#include <CoreServices/CoreServices.h>
#endif

namespace
{
std::function<QStringList()>& runningProvider()
{
    static std::function<QStringList()> provider;
    return provider;
}

QByteArray readSmallFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(64 * 1024) : QByteArray();
}

#ifdef Q_OS_LINUX
QStringList processNames()
{
    QStringList names;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool number = false;
        pid.toLongLong(&number);
        if (!number)
            continue;
        QString name = QString::fromUtf8(readSmallFile(QStringLiteral("/proc/%1/comm").arg(pid))).trimmed();
        if (name.isEmpty())
            continue;
        // The kernel keeps 15 characters of the name; the command line has the whole of it.
        if (name.size() >= 15) {
            const QByteArray argv0 = readSmallFile(QStringLiteral("/proc/%1/cmdline").arg(pid)).split('\0').value(0);
            const QString full = QFileInfo(QString::fromUtf8(argv0)).fileName();
            if (full.startsWith(name))
                name = full;
        }
        names << name;
    }
    return names;
}
#else
QStringList processNames()
{
    QProcess ps;
    ps.start(QStringLiteral("ps"), {QStringLiteral("-axco"), QStringLiteral("comm=")});
    if (!ps.waitForFinished(5000)) {
        ps.kill();
        ps.waitForFinished(1000);
        return {};
    }
    QStringList names;
    for (const QByteArray& line : ps.readAllStandardOutput().split('\n')) {
        const QString name = QString::fromUtf8(line).trimmed();
        if (!name.isEmpty())
            names << name;
    }
    return names;
}
#endif

// --- desktop files (Linux) ---

QString envOr(const char* name, const QString& fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QStringList dataDirs()
{
    QStringList dirs {envOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"))};
    dirs += envOr("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"))
                .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs;
}

QStringList configDirs()
{
    QStringList dirs {envOr("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"))};
    dirs += envOr("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs;
}

/// The value of @p key in group @p group of a desktop-style key file ("" when absent).
QString keyFileValue(const QString& path, const QString& group, const QString& key)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inGroup = false;
    while (!f.atEnd()) {
        // readLine() without a limit: with one, Qt reserves the whole limit for every line.
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

/// A desktop file id names "a/b.desktop" as "a-b.desktop"; returns the file for the id or "".
QString desktopFile(const QString& id)
{
    for (const QString& dir : dataDirs()) {
        QString relative = id;
        for (;;) {
            const QString path = dir + QStringLiteral("/applications/") + relative;
            if (QFileInfo(path).isFile())
                return path;
            const qsizetype dash = relative.indexOf(QLatin1Char('-'));
            if (dash < 0)
                break;
            relative[dash] = QLatin1Char('/');
        }
    }
    return {};
}

/// The mailto handler as the mimeapps.list files name it (used where xdg-mime is missing).
QString handlerFromMimeApps()
{
    QStringList lists;
    for (const QString& dir : configDirs())
        lists << dir + QStringLiteral("/mimeapps.list");
    for (const QString& dir : dataDirs())
        lists << dir + QStringLiteral("/applications/mimeapps.list")
              << dir + QStringLiteral("/applications/defaults.list");
    for (const QString& list : lists) {
        const QStringList ids
            = keyFileValue(list, QStringLiteral("Default Applications"), QStringLiteral("x-scheme-handler/mailto"))
                  .split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString& id : ids) {
            if (!desktopFile(id).isEmpty())
                return id;
        }
    }
    return {};
}

QString mailtoDesktopId()
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return handlerFromMimeApps();
    QProcess query;
    query.start(xdgMime,
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("x-scheme-handler/mailto")});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return {};
    }
    return QString::fromUtf8(query.readAllStandardOutput()).split(QLatin1Char('\n')).value(0).trimmed();
}

/// The string escapes of desktop-file values (\s, \n, \t, \r, \\).
QString unescapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar n = value.at(++i);
        switch (n.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += QLatin1Char('\\');
            out += n;
            break;
        }
    }
    return out;
}

/// The program's own word: past "env" and its VAR=value words.
QString programWord(const QStringList& command)
{
    qsizetype i = 0;
    if (QFileInfo(command.value(0)).fileName() == QLatin1String("env")) {
        ++i;
        while (i < command.size()
               && (command.at(i).contains(QLatin1Char('=')) || command.at(i).startsWith(QLatin1Char('-'))))
            ++i;
    }
    return command.value(i);
}
} // namespace

namespace Desktop
{
QString libraryFolder()
{
    QString dir = qEnvironmentVariable("TIDEWELL_LIBRARY_DIR");
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/Library");
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

QString loginName()
{
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QDir(QDir::homePath()).dirName() : user;
}

QStringList runningApplications()
{
    if (runningProvider())
        return runningProvider()();
    return processNames();
}

void setRunningApplicationsProvider(std::function<QStringList()> provider)
{
    runningProvider() = std::move(provider);
}

bool canRunScripts()
{
    return !QStandardPaths::findExecutable(QStringLiteral("osascript")).isEmpty();
}

bool runScript(const QString& script, QString* error)
{
    const QString runner = QStandardPaths::findExecutable(QStringLiteral("osascript"));
    if (runner.isEmpty()) {
        if (error)
            *error = QStringLiteral("cannot run scripts");
        return false;
    }
    // The script goes in on standard input: no argument-length limit, nothing in `ps`.
    QProcess p;
    p.start(runner, {});
    if (!p.waitForStarted(5000)) {
        if (error)
            *error = p.errorString();
        return false;
    }
    p.write(script.toUtf8());
    p.closeWriteChannel();
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(1000);
        if (error)
            *error = QStringLiteral("the script did not finish within 20 seconds");
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error) {
            *error = QString::fromUtf8(p.readAllStandardError()).trimmed();
            if (error->isEmpty())
                *error = QStringLiteral("the script failed");
        }
        return false;
    }
    return true;
}

bool startProgram(const QString& program, const QStringList& arguments, QString* error)
{
    const QString path = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty() || !QFileInfo(path).isExecutable()) {
        if (error)
            *error = QStringLiteral("%1: no such program").arg(program);
        return false;
    }
    QProcess p;
    p.setProgram(path);
    p.setArguments(arguments);
    // What the program prints is not ours: it must not end up in our output.
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    if (!p.startDetached()) {
        if (error)
            *error = QStringLiteral("%1: could not be started").arg(program);
        return false;
    }
    return true;
}

bool launchApplication(const QString& name, QString* error)
{
#ifdef Q_OS_MACOS
    QProcess open;
    open.start(QStringLiteral("/usr/bin/open"), {QStringLiteral("-a"), name});
    if (!open.waitForFinished(10000)) {
        open.kill();
        open.waitForFinished(1000);
    }
    if (open.exitStatus() == QProcess::NormalExit && open.exitCode() == 0)
        return true;
    if (error)
        *error = QStringLiteral("%1: could not be started").arg(name);
    return false;
#else
    return startProgram(name, {}, error);
#endif
}

QStringList splitExecLine(const QString& exec, const QString& name, const QString& icon, const QString& location)
{
    const QString text = unescapeValue(exec);
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (c == QLatin1Char('\\') && i + 1 < text.size()) {
                word += text.at(++i);
            } else {
                word += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;

    // Field codes stand for the files or links a launcher hands over; we hand over our own.
    QStringList out;
    for (QString w : std::as_const(words)) {
        if (w == QLatin1String("@@") || w == QLatin1String("@@u"))
            continue; // flatpak's markers around forwarded files
        // %c, %i and %k stand for the desktop file's name, icon and location.
        if (w == QLatin1String("%c")) {
            if (!name.isEmpty())
                out << name;
            continue;
        }
        if (w == QLatin1String("%i")) {
            if (!icon.isEmpty())
                out << QStringLiteral("--icon") << icon;
            continue;
        }
        if (w == QLatin1String("%k")) {
            if (!location.isEmpty())
                out << location;
            continue;
        }
        if (w.size() == 2 && w.startsWith(QLatin1Char('%')) && w != QLatin1String("%%"))
            continue;
        QString kept;
        for (qsizetype i = 0; i < w.size(); ++i) {
            if (w.at(i) == QLatin1Char('%') && i + 1 < w.size()) {
                if (w.at(i + 1) == QLatin1Char('%'))
                    kept += QLatin1Char('%');
                ++i;
                continue;
            }
            kept += w.at(i);
        }
        if (!kept.isEmpty())
            out << kept;
    }
    return out;
}

std::optional<MailHandler> defaultMailHandler()
{
#ifdef Q_OS_MACOS
    CFURLRef mailto = CFURLCreateWithString(nullptr, CFSTR("mailto:"), nullptr);
    if (!mailto)
        return std::nullopt;
    CFURLRef app = LSCopyDefaultApplicationURLForURL(mailto, kLSRolesAll, nullptr);
    CFRelease(mailto);
    if (!app)
        return std::nullopt;
    const QString path = QUrl::fromCFURL(app).toLocalFile();
    CFRelease(app);
    QString name = QFileInfo(path).fileName();
    if (name.contains(QLatin1Char('.')))
        name = name.left(name.lastIndexOf(QLatin1Char('.')));
    if (name.isEmpty())
        return std::nullopt;
    return MailHandler {name, {}, {}};
#else
    const QString id = mailtoDesktopId();
    if (id.isEmpty())
        return std::nullopt;
    const QString file = desktopFile(id);
    if (file.isEmpty())
        return std::nullopt;
    const QString group = QStringLiteral("Desktop Entry");
    const QStringList command = splitExecLine(keyFileValue(file, group, QStringLiteral("Exec")),
                                              keyFileValue(file, group, QStringLiteral("Name")),
                                              keyFileValue(file, group, QStringLiteral("Icon")), file);
    const QString program = programWord(command);
    if (program.isEmpty())
        return std::nullopt;
    return MailHandler {QFileInfo(program).fileName(), id, command};
#endif
}
} // namespace Desktop
