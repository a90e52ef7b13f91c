#include "platform/SafeFile.h"

#include <QFileDevice>
#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
QString reason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString failure(const QString& path, const QString& why)
{
    return QStringLiteral("%1: could not be written: %2").arg(path, why);
}

/// Writes every byte to @p fd; 0 on success, else the errno of the failed write.
int writeFd(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(qMin<qint64>(size, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        data += n;
        size -= n;
    }
    return 0;
}

/// writeFd for each part in turn.
int writeParts(int fd, const QList<QByteArray>& parts)
{
    for (const QByteArray& part : parts) {
        if (const int err = writeFd(fd, part.constData(), part.size()))
            return err;
    }
    return 0;
}

bool setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}
} // namespace

namespace SafeFile
{
bool writeAll(QIODevice& device, const QByteArray& bytes, QString* error)
{
    return writeAll(device, QList<QByteArray> {bytes}, error);
}

bool writeAll(QIODevice& device, const QList<QByteArray>& parts, QString* error)
{
    qint64 written = 0, size = 0;
    bool ok = true;
    for (const QByteArray& bytes : parts) {
        size += bytes.size();
        if (!ok || bytes.isEmpty())
            continue;
        const qint64 n = device.write(bytes);
        ok = n == bytes.size();
        written = n < 0 ? -1 : written + n;
    }
    if (auto* file = qobject_cast<QFileDevice*>(&device); ok && file)
        ok = file->flush() && file->error() == QFileDevice::NoError;
    if (ok)
        return true;
    QString why = device.errorString();
    if (why.isEmpty() || why == QLatin1String("Unknown error"))
        why = written < 0
            ? QStringLiteral("the write failed")
            : QStringLiteral("only %1 of %2 bytes were taken").arg(qMax<qint64>(written, 0)).arg(size);
    return setError(error, why);
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    return writeFile(path, QList<QByteArray> {bytes}, error);
}

bool writeFile(const QString& path, const QList<QByteArray>& parts, QString* error)
{
    if (path.isEmpty())
        return setError(error, failure(path, QStringLiteral("no file name given")));
    // Write through a symbolic link to the file it names, as editors do.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    const QByteArray native = QFile::encodeName(target);

    struct stat st;
    const bool exists = ::stat(native.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return setError(error, failure(path, QStringLiteral("it is a folder")));
    if (exists && !S_ISREG(st.st_mode)) {
        // A FIFO or device: there is nothing to replace, the bytes go straight in.
        const int fd = ::open(native.constData(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return setError(error, failure(path, reason(errno)));
        int err = writeParts(fd, parts);
        if (::close(fd) != 0 && err == 0)
            err = errno;
        return err == 0 ? true : setError(error, failure(path, reason(err)));
    }

    const QFileInfo targetInfo(target);
    QByteArray temp = QFile::encodeName(targetInfo.absolutePath() + QLatin1String("/.") + targetInfo.fileName()
                                        + QLatin1String(".XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return setError(error, failure(path, reason(errno)));
    // Keep the permissions of the file replaced; a new file gets the usual ones.
    mode_t mode = 0666;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    int err = ::fchmod(fd, mode) == 0 ? 0 : errno;
    if (err == EPERM)
        err = 0; // a file system without permissions: keep what it gives
    if (err == 0)
        err = writeParts(fd, parts);
    // On the disk before the rename: otherwise a crash soon after can leave an empty file in the
    // old one's place, and some file systems (NFS, quotas) report a full disk only here.
    if (err == 0 && ::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temp.constData(), native.constData()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.constData());
        return setError(error, failure(path, reason(err)));
    }
    return true;
}

bool writeStdout(const QByteArray& bytes, QString* error)
{
    const int err = writeFd(STDOUT_FILENO, bytes.constData(), bytes.size());
    if (err == 0)
        return true;
    return setError(error, QStringLiteral("standard output could not be written: %1").arg(reason(err)));
}
} // namespace SafeFile
