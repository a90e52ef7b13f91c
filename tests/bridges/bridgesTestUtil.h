#pragma once

// Fixtures for the bridges: a Library folder of the calendar application's files, and a desktop
// of stand-in programs (mail programs, osascript, the calendar application) that record how
// they were called.

#include "platform/PropertyList.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

namespace bridgetest
{
using PropertyList::Node;

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// The calendar list file's tree: one (key, repository, title) per calendar in that order; the
/// repositories named in @p slurped are subscriptions.
inline Node sourcesList(const QList<QStringList>& calendars, const QStringList& slurped = {})
{
    QList<QPair<QString, Node>> sources, repositories;
    for (const QStringList& c : calendars) {
        sources.append({c[0],
                        PropertyList::dict({{"Repository", PropertyList::string(c[1])},
                                            {"Description", PropertyList::string(c[2])}})});
        QList<QPair<QString, Node>> repository {{"Path", PropertyList::string("/x/" + c[1])}};
        if (slurped.contains(c[1]))
            repository.append(
                {"slurper information", PropertyList::dict({{"URL", PropertyList::string("webcal://x")}})});
        repositories.append({c[1], PropertyList::dict(repository)});
    }
    return PropertyList::dict(
        {{"SourcesView", PropertyList::dict(sources)}, {"RegisteredRepositories", PropertyList::dict(repositories)}});
}

/// A Library folder in a temporary folder, named by TIDEWELL_LIBRARY_DIR while it lives.
class Library
{
public:
    Library() { qputenv("TIDEWELL_LIBRARY_DIR", m_dir.path().toUtf8()); }
    ~Library() { qunsetenv("TIDEWELL_LIBRARY_DIR"); }

    QString path() const { return m_dir.path(); }
    QString listFile() const { return path() + "/Preferences/com.apple.iCal.sources.plist"; }
    QString folder(const QString& sub) const { return path() + "/Application Support/iCal/Sources/" + sub; }
    QString dataFile(const QString& sub) const { return folder(sub) + "/corestorage.ics"; }

    void writeList(const Node& list, bool binary)
    {
        writeFile(listFile(), binary ? PropertyList::toBinary(list) : PropertyList::toXml(list));
    }
    /// A calendar subfolder; a null @p title writes no info.plist, "!" one that is no property list.
    void addCalendar(const QString& sub, const QString& title, const QByteArray& data = {}, bool binary = false)
    {
        QDir().mkpath(folder(sub));
        if (title == QLatin1String("!"))
            writeFile(folder(sub) + "/info.plist", "<?xml version=\"1.0\"?><plist><dict><key>Title");
        else if (!title.isNull()) {
            const Node info = PropertyList::dict({{"Title", PropertyList::string(title)}});
            writeFile(folder(sub) + "/info.plist", binary ? PropertyList::toBinary(info) : PropertyList::toXml(info));
        }
        if (!data.isNull())
            writeFile(dataFile(sub), data);
    }

private:
    QTemporaryDir m_dir;
};

/// Stand-in programs in a folder of their own, and the desktop settings that name them: the
/// mailto handler in a private XDG data folder, the cache folder.
class FakeDesktop
{
public:
    QString bin() const { return m_dir.path() + "/bin"; }
    QString cache() const { return m_dir.path() + "/cache"; }

    /// An executable @p name in bin() that records each call: its arguments, one a line, in
    /// NAME.call.N, and (when @p readsInput) its standard input in NAME.stdin.N.
    QString addProgram(const QString& name, bool readsInput = false)
    {
        const QString path = bin() + "/" + name;
        QByteArray script = "#!/bin/sh\nn=0\nwhile [ -e \"$0.call.$n\" ]; do n=$((n+1)); done\n"
                            "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.tmp.$n\"\n";
        if (readsInput)
            script += "/bin/cat > \"$0.stdin.$n\"\n";
        script += "/bin/mv \"$0.tmp.$n\" \"$0.call.$n\"\n";
        writeFile(path, script);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    /// The calls made to @p name so far (each its argument list), after waiting up to @p waitMs
    /// for at least @p atLeast of them.
    QList<QStringList> calls(const QString& name, int atLeast = 1, int waitMs = 10000) const
    {
        QDeadlineTimer deadline(waitMs);
        QList<QStringList> out;
        for (;;) {
            out.clear();
            for (int n = 0; QFile::exists(bin() + "/" + name + ".call." + QString::number(n)); ++n) {
                QString text = QString::fromUtf8(readFile(bin() + "/" + name + ".call." + QString::number(n)));
                text.chop(1);
                out << (text.isEmpty() ? QStringList {} : text.split('\n'));
            }
            if (out.size() >= atLeast || deadline.hasExpired())
                return out;
            QThread::msleep(20);
        }
    }
    QByteArray input(const QString& name, int n = 0) const
    {
        return readFile(bin() + "/" + name + ".stdin." + QString::number(n));
    }

    /// Registers a desktop file whose Exec line is @p exec as the mailto handler.
    void setMailHandler(const QString& desktopId, const QString& exec)
    {
        writeFile(m_dir.path() + "/data/applications/" + desktopId,
                  "[Desktop Entry]\nType=Application\nName=Mail\nExec=" + exec.toUtf8() + "\n");
        writeFile(m_dir.path() + "/config/mimeapps.list",
                  "[Default Applications]\nx-scheme-handler/mailto=" + desktopId.toUtf8() + "\n");
    }

    /// The variables that point programs at this desktop; @p withSystemPath keeps /usr/bin on
    /// the PATH after bin() (xdg-mime, xdg-email).
    QList<QPair<QByteArray, QByteArray>> variables(bool withSystemPath = true) const
    {
        const QByteArray root = m_dir.path().toUtf8();
        return {{"PATH", bin().toUtf8() + (withSystemPath ? ":/usr/bin:/bin" : "")},
                {"XDG_DATA_HOME", root + "/data"},
                {"XDG_DATA_DIRS", root + "/none"},
                {"XDG_CONFIG_HOME", root + "/config"},
                {"XDG_CONFIG_DIRS", root + "/none"},
                {"XDG_CACHE_HOME", cache().toUtf8()},
                {"XDG_CURRENT_DESKTOP", "X-Generic"}};
    }
    void apply(bool withSystemPath = true) const
    {
        for (const auto& [name, value] : variables(withSystemPath))
            qputenv(name.constData(), value);
    }
    void applyTo(QProcessEnvironment& env) const
    {
        for (const auto& [name, value] : variables())
            env.insert(QString::fromLatin1(name), QString::fromUtf8(value));
    }

private:
    QTemporaryDir m_dir;
};
} // namespace bridgetest
