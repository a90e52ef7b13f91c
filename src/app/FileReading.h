#pragma once

#include "calendar/aCalendar.h"

#include <QObject>
#include <QStringList>

#include <memory>

class QThread;

/// Reading calendar files handed to the window (opened or dropped) without blocking it.
namespace FileReading
{
/// Files larger than this are refused rather than read into memory whole (a calendar of a million
/// events is about 200 MB).
constexpr qint64 kMaxFileSize = qint64(512) << 20;

/// Reads a whole file, refusing folders and anything longer than @p maxSize (a device that never
/// ends included). False, with "PATH: reason" in @p error, when it cannot.
bool readBytes(const QString& path, QByteArray* bytes, QString* error, qint64 maxSize = kMaxFileSize);

/// True for the files read as calendars off the GUI thread: .ics, .ical, .icalendar, .ifb,
/// .vcal and .vcs, in any case. Other files go to the document's drop handling on the GUI thread.
bool isCalendarFile(const QString& path);

/// Reads one calendar file into @p doc: UTF-8 when the bytes are valid UTF-8 (or carry a byte-order
/// mark), otherwise Windows-1252 for iCalendar and Mac OS Roman for vCalendar. @p warning receives
/// the reader's message (may be empty). False, with "PATH: reason" in @p error, when the file
/// cannot be read or holds no calendar at all; nothing is added then. Safe on any thread for a
/// document no other thread uses.
bool readCalendarFile(aCalendar& doc, const QString& path, QString* warning, QString* error);

/// Moves what a read produced into @p doc: the entries (after the document's own), the override
/// entries, linked again to every entry with their UID, the zone texts of the read and, when
/// @p source is not empty, the source file's path. A document
/// holding only its untouched first entry loses it, as a read into it would. GUI thread.
void adopt(aCalendar& doc, aCalendar& read, const QString& source = QString());
} // namespace FileReading

/// Reads calendar files, in order, on a worker thread into a document of its own.
///
/// The document is made by the constructor, on the calling thread, because making it reads the
/// user's settings. Signals arrive queued on the thread that made the object. Destroying the object
/// waits for the file being read, then stops.
class CalendarFileReading : public QObject
{
    Q_OBJECT
public:
    explicit CalendarFileReading(const QStringList& paths, QObject* parent = nullptr);
    ~CalendarFileReading() override;

    void start();
    /// After finished(): the entries read, the reader's warnings ("PATH: message"), the files that
    /// could not be read ("PATH: reason").
    aCalendar& result() { return *m_doc; }
    const QStringList& warnings() const { return m_warnings; }
    const QStringList& unreadable() const { return m_unreadable; }
    /// The last file read (empty when none could be).
    const QString& lastRead() const { return m_lastRead; }

Q_SIGNALS:
    void fileStarted(int index, int count, const QString& path);
    void finished();

private:
    void run();

    QStringList m_paths;
    std::unique_ptr<aCalendar> m_doc;
    QStringList m_warnings;
    QStringList m_unreadable;
    QString m_lastRead;
    QThread* m_thread = nullptr;
    QAtomicInt m_stop;
};
