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
    Replacement file(path);
    for (const QByteArray& part : parts) {
        if (!file.write(part))
            break;
    }
    return file.finish(error);
}

Replacement::Replacement(const QString& path)
    : m_path(path)
{
    if (path.isEmpty()) {
        m_why = QStringLiteral("no file name given");
        return;
    }
    // Write through a symbolic link to the file it names, as editors do.
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists())
        target = info.canonicalFilePath();
    m_native = QFile::encodeName(target);

    struct stat st;
    const bool exists = ::stat(m_native.constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        m_why = QStringLiteral("it is a folder");
        return;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A FIFO or device: there is nothing to replace, the bytes go straight in.
        m_fd = ::open(m_native.constData(), O_WRONLY | O_CLOEXEC);
        m_err = m_fd < 0 ? errno : 0;
        return;
    }

    const QFileInfo targetInfo(target);
    m_temp = QFile::encodeName(targetInfo.absolutePath() + QLatin1String("/.") + targetInfo.fileName()
                               + QLatin1String(".XXXXXX"));
    m_fd = ::mkostemp(m_temp.data(), O_CLOEXEC);
    if (m_fd < 0) {
        m_err = errno;
        m_temp.clear();
        return;
    }
    // Keep the permissions of the file replaced; a new file gets the usual ones.
    mode_t mode = 0666;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    m_err = ::fchmod(m_fd, mode) == 0 ? 0 : errno;
    if (m_err == EPERM)
        m_err = 0; // a file system without permissions: keep what it gives
}

Replacement::~Replacement()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temp.isEmpty())
        ::unlink(m_temp.constData());
}

bool Replacement::write(const QByteArray& part)
{
    if (m_fd < 0 || m_err != 0 || !m_why.isEmpty())
        return false;
    m_err = writeFd(m_fd, part.constData(), part.size());
    return m_err == 0;
}

bool Replacement::finish(QString* error)
{
    if (!m_why.isEmpty())
        return setError(error, failure(m_path, m_why));
    int err = m_err;
    if (m_fd >= 0) {
        // On the disk before the rename: otherwise a crash soon after can leave an empty file in
        // the old one's place, and some file systems (NFS, quotas) report a full disk only here.
        if (err == 0 && !m_temp.isEmpty() && ::fdatasync(m_fd) != 0 && errno != EINVAL && errno != EROFS)
            err = errno;
        if (::close(m_fd) != 0 && err == 0)
            err = errno;
        m_fd = -1;
    }
    if (err == 0 && !m_temp.isEmpty() && ::rename(m_temp.constData(), m_native.constData()) != 0)
        err = errno;
    if (err == 0)
        m_temp.clear(); // renamed: nothing to remove
    if (err != 0)
        return setError(error, failure(m_path, reason(err)));
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
