#include "FileReading.h"

#include "platform/Encoding.h"
#include "platform/Memory.h"

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

bool readBytes(const QString& path, QByteArray* bytes, QString* error, qint64 maxSize)
{
    bytes->clear();
    const QFileInfo info(path);
    if (info.isDir()) {
        *error = QStringLiteral("%1: is a folder, not a file").arg(path);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: could not be read: %2").arg(path, file.errorString());
        return false;
    }
    // In pieces, so that a device without end or a file still growing cannot exhaust memory.
    constexpr qint64 kPiece = qint64(1) << 16;
    if (!file.isSequential() && file.size() > 0 && file.size() <= maxSize) {
        bytes->reserve(file.size());
        Memory::preferLargePages(bytes->data(), bytes->capacity());
    }
    while (true) {
        const QByteArray piece = file.read(kPiece);
        if (piece.isEmpty())
            break;
        if (bytes->size() + piece.size() > maxSize) {
            *error = QStringLiteral("%1: is too large to read (more than %2 MB)").arg(path).arg(maxSize >> 20);
            bytes->clear();
            return false;
        }
        bytes->append(piece);
    }
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: could not be read: %2").arg(path, file.errorString());
        bytes->clear();
        return false;
    }
    return true;
}

bool readCalendarFile(aCalendar& doc, const QString& path, QString* warning, QString* error)
{
    warning->clear();
    QByteArray bytes;
    if (!readBytes(path, &bytes, error))
        return false;
    const QFileInfo info(path);
    const QString suffix = info.suffix().toLower();
    const bool vcal = suffix == QLatin1String("vcal") || suffix == QLatin1String("vcs");
    // Decoded as the command-line tool decodes: a UTF-8 file with a few stray bytes stays UTF-8.
    const Encoding::Fallback fallback = vcal ? Encoding::Fallback::MacRoman : Encoding::Fallback::Windows1252;
    if (Encoding::holdsCalendarMarker(bytes)) {
        // Read from the bytes: a large file is then never held as one UTF-16 text.
        *warning = doc.setDataFromBytes(std::move(bytes), fallback);
        return true;
    }
    Encoding::CalendarText decoded = Encoding::decodeCalendar(bytes, fallback);
    bytes = QByteArray();
    if (!decoded.text.contains(QLatin1String("BEGIN:VCALENDAR"), Qt::CaseInsensitive)
        && !decoded.text.contains(QLatin1String("BEGIN:VEVENT"), Qt::CaseInsensitive)) {
        *error = QStringLiteral("%1: not a calendar file").arg(path);
        return false;
    }
    *warning = doc.setDecodedData(std::move(decoded));
    return true;
}

void adopt(aCalendar& doc, aCalendar& read, const QString& source)
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
    if (!source.isEmpty())
        doc.setTheFileSource(source);
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
        if (!FileReading::readCalendarFile(*m_doc, path, &warning, &error)) {
            m_unreadable << error;
            continue;
        }
        m_lastRead = path;
        if (!warning.isEmpty())
            m_warnings << warning;
    }
    Q_EMIT finished();
}
