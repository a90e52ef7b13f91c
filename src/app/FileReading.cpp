#include "FileReading.h"

#include "platform/Encoding.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace FileReading
{
bool isCalendarFile(const QString& path)
{
    static const QStringList suffixes {QStringLiteral("ics"), QStringLiteral("ical"), QStringLiteral("icalendar"),
                                       QStringLiteral("ifb"), QStringLiteral("vcal"), QStringLiteral("vcs")};
    return suffixes.contains(QFileInfo(path).suffix().toLower());
}

bool readCalendarFile(aCalendar& doc, const QString& path, QString* warning, QString* error)
{
    warning->clear();
    QFile file(path);
    const QFileInfo info(path);
    if (info.isDir()) {
        *error = QStringLiteral("%1: is a folder, not a calendar file").arg(path);
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: could not be read: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > kMaxFileSize) {
        *error = QStringLiteral("%1: is too large to read (%2 MB)").arg(path).arg(file.size() >> 20);
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: could not be read: %2").arg(path, file.errorString());
        return false;
    }
    const QString suffix = info.suffix().toLower();
    const bool vcal = suffix == QLatin1String("vcal") || suffix == QLatin1String("vcs");
    const QString text = Encoding::decode(bytes, vcal ? Encoding::Fallback::MacRoman : Encoding::Fallback::Windows1252);
    if (!text.contains(QLatin1String("BEGIN:VCALENDAR"), Qt::CaseInsensitive)
        && !text.contains(QLatin1String("BEGIN:VEVENT"), Qt::CaseInsensitive)) {
        *error = QStringLiteral("%1: not a calendar file").arg(path);
        return false;
    }
    *warning = doc.setData(text);
    return true;
}

void adopt(aCalendar& doc, aCalendar& read)
{
    EntryList& entries = doc.getTheData();
    const EntryList& added = read.getTheData();
    if (entries.size() == 1 && entries.first()->getCheck() == QLatin1String("X"))
        entries.clear();
    const bool hadEntries = !entries.isEmpty();
    const bool hadOverrides = !doc.getTheRecObjects().isEmpty();
    entries.append(added);
    const EntryList& overrides = read.getTheRecObjects();
    for (const EntryPtr& o : overrides)
        doc.addRecObject(o);
    // Overrides of this read may belong to entries read before it, and the other way round; the
    // read itself linked its own.
    if ((hadEntries && !overrides.isEmpty()) || (hadOverrides && !added.isEmpty()))
        doc.addRecObjectsToData();
    doc.setControlHoursFromGMT(read.getControlHoursFromGMT());
    doc.setControlZoneString(read.getControlZoneString());
    doc.setAppTimeZone(read.getAppTimeZone());
    read.getTheData().clear();
}
} // namespace FileReading

CalendarFileReading::CalendarFileReading(const QStringList& paths, QObject* parent)
    : QObject(parent)
    , m_paths(paths)
    , m_doc(std::make_unique<aCalendar>())
{
}

CalendarFileReading::~CalendarFileReading()
{
    if (m_thread) {
        m_stop.storeRelease(1);
        m_thread->wait();
        delete m_thread;
    }
}

void CalendarFileReading::start()
{
    if (m_thread)
        return;
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(QStringLiteral("calendar file reading"));
    m_thread->start();
}

void CalendarFileReading::run()
{
    const int count = int(m_paths.size());
    for (int i = 0; i < count && !m_stop.loadAcquire(); ++i) {
        const QString& path = m_paths.at(i);
        Q_EMIT fileStarted(i, count, path);
        QString warning;
        QString error;
        if (!FileReading::readCalendarFile(*m_doc, path, &warning, &error))
            m_unreadable << error;
        else if (!warning.isEmpty())
            m_warnings << warning;
    }
    Q_EMIT finished();
}
