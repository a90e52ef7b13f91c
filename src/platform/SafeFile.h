#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QIODevice;

/// Writing whole texts so that a failed write is never taken for a finished one.
///
/// Every writer of the program (command-line outputs, the window's exports, the calendar
/// application's data files, mail attachments, downloads) goes through these functions.
namespace SafeFile
{
/// Writes all of @p bytes to @p device, which must be open for writing. False when the device
/// takes fewer bytes than given or reports an error; @p error (when given) then holds the
/// reason, never an empty text.
bool writeAll(QIODevice& device, const QByteArray& bytes, QString* error = nullptr);
/// The same for a text in parts, written one after another.
bool writeAll(QIODevice& device, const QList<QByteArray>& parts, QString* error = nullptr);

/// Replaces the file at @p path by @p bytes.
///
/// A regular file (or a path that does not exist yet) is written to a temporary file beside it,
/// flushed and renamed over the old one only when every byte reached the disk: on any failure
/// the old file is left exactly as it was and no temporary file stays behind. A path naming a
/// FIFO, a character device or a socket is written to directly, in order (it cannot be
/// replaced). On failure @p error holds "PATH: could not be written: REASON", with the system's
/// own reason (for instance "No space left on device").
bool writeFile(const QString& path, const QByteArray& bytes, QString* error = nullptr);
/// The same for a text in parts, written one after another.
bool writeFile(const QString& path, const QList<QByteArray>& parts, QString* error = nullptr);

/// writeFile() for a text handed over in parts as they are made: each write() goes to the file
/// at once; finish() ends the replacement and says whether it succeeded (as writeFile() does). A
/// replacement not finished, or one whose write failed, leaves the old file as it was.
class Replacement
{
public:
    explicit Replacement(const QString& path);
    ~Replacement();
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;

    /// False once a write has failed (the rest is not written).
    bool write(const QByteArray& part);
    bool finish(QString* error = nullptr);

private:
    QString m_path;
    QByteArray m_native; // the file replaced
    QByteArray m_temp; // the temporary file beside it; empty for a FIFO or device
    QString m_why; // a reason found before writing
    int m_fd = -1;
    int m_err = 0;
};

/// Writes @p bytes to the process's standard output and flushes it; false (with @p error) when
/// standard output is closed or the write fails (a full disk, a closed pipe).
bool writeStdout(const QByteArray& bytes, QString* error = nullptr);
} // namespace SafeFile
