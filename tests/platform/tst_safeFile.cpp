// Writes that fail must say so and leave the old file as it was.

#include "platform/SafeFile.h"
#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace
{
/// Takes @p capacity bytes, then fails as a full disk does (KeePassXC's FailDevice does the same).
class FailDevice : public QIODevice
{
public:
    FailDevice(qint64 capacity, const QString& reason)
        : m_capacity(capacity)
        , m_reason(reason)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    QByteArray taken;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        const qint64 room = m_capacity - taken.size();
        if (room <= 0) {
            if (!m_reason.isEmpty())
                setErrorString(m_reason);
            return -1;
        }
        const qint64 n = std::min(room, size);
        taken.append(data, n);
        return n;
    }

private:
    qint64 m_capacity;
    QString m_reason;
};

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QStringList entriesOf(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

mode_t modeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

/// Points standard output at @p fd (or closes it, for -1) while the object lives.
class StdoutRedirect
{
public:
    explicit StdoutRedirect(int fd)
    {
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        if (fd >= 0)
            ::dup2(fd, STDOUT_FILENO);
        else
            ::close(STDOUT_FILENO);
    }
    ~StdoutRedirect()
    {
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
    }

private:
    int m_saved;
};
} // namespace

class TestSafeFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void writeAll_data()
    {
        QTest::addColumn<qint64>("capacity");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("error"); // empty: success
        QTest::newRow("everything taken") << qint64(1000) << QString() << QString();
        QTest::newRow("full at once") << qint64(0) << "No space left on device"
                                      << "No space left on device";
        QTest::newRow("short write") << qint64(10) << QString() << "only 10 of 100 bytes were taken";
        QTest::newRow("failure without a reason") << qint64(0) << QString() << "the write failed";
    }
    void writeAll()
    {
        QFETCH(qint64, capacity);
        QFETCH(QString, reason);
        QFETCH(QString, error);
        // Whole, and in parts (the large outputs' form), with the same outcome and words.
        for (const QList<QByteArray>& parts :
             {QList<QByteArray> {QByteArray(100, 'x')}, QList<QByteArray> {QByteArray(60, 'x'), {}, QByteArray(40, 'x')}}) {
            FailDevice device(capacity, reason);
            QString why = QStringLiteral("untouched");
            const bool ok = parts.size() == 1 ? SafeFile::writeAll(device, parts.first(), &why)
                                              : SafeFile::writeAll(device, parts, &why);
            QCOMPARE(ok, error.isEmpty());
            if (!ok)
                QCOMPARE(why, error);
        }
    }

    // A regular file is replaced whole, keeping its permissions; a link keeps pointing at it.
    void replacesRegularFiles()
    {
        const QString path = m_dir.filePath(QStringLiteral("cal.ics"));
        const QString link = m_dir.filePath(QStringLiteral("link.ics"));
        QVERIFY(put(path, "old"));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        QVERIFY(QFile::link(path, link));
        QString why;
        QVERIFY2(SafeFile::writeFile(link, "new", &why), qPrintable(why));
        QCOMPARE(contents(path), QByteArray("new"));
        QVERIFY(S_ISLNK(modeOf(link)));
        QCOMPARE(modeOf(path) & 07777, mode_t(0640));
        QVERIFY(SafeFile::writeFile(m_dir.filePath(QStringLiteral("fresh.ics")), "", &why));
        QCOMPARE(entriesOf(m_dir.path()), (QStringList {"cal.ics", "fresh.ics", "link.ics"}));
        // Handed over in parts: the old text stays until the replacement is finished, and stays
        // for good when it is not.
        {
            SafeFile::Replacement parts(path);
            QVERIFY(parts.write("pa") && parts.write("rts"));
            QCOMPARE(contents(path), QByteArray("new"));
            QVERIFY2(parts.finish(&why), qPrintable(why));
        }
        QCOMPARE(contents(path), QByteArray("parts"));
        {
            SafeFile::Replacement abandoned(path);
            QVERIFY(abandoned.write("half"));
        }
        QCOMPARE(contents(path), QByteArray("parts"));
        QCOMPARE(entriesOf(m_dir.path()), (QStringList {"cal.ics", "fresh.ics", "link.ics"}));
    }

    // A FIFO or a device cannot be replaced: the bytes go straight in, in order.
    void writesIntoFifosAndDevices()
    {
        const QString fifo = m_dir.filePath(QStringLiteral("pipe"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QByteArray bytes;
        for (int i = 0; i < 20000; ++i)
            bytes += QByteArray::number(i) + '\n'; // more than a pipe holds at once
        QByteArray received;
        std::thread reader([&] {
            QFile f(fifo);
            if (f.open(QIODevice::ReadOnly))
                received = f.readAll();
        });
        QString why;
        const qsizetype third = bytes.size() / 3;
        const bool ok = SafeFile::writeFile(
            fifo, QList<QByteArray> {bytes.left(third), bytes.mid(third, third), bytes.mid(2 * third)}, &why);
        reader.join();
        QVERIFY2(ok, qPrintable(why));
        QCOMPARE(received, bytes);
        QVERIFY(S_ISFIFO(modeOf(fifo)));

        // As root a copy of /dev/null in our own folder: a fault here must not replace the real one.
        QString device = QStringLiteral("/dev/null");
        if (::geteuid() == 0) {
            device = m_dir.filePath(QStringLiteral("null"));
            QVERIFY(::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0);
        }
        QVERIFY2(SafeFile::writeFile(device, bytes, &why), qPrintable(why));
        QVERIFY(S_ISCHR(modeOf(device)));
        QCOMPARE(entriesOf(m_dir.path()).filter(QStringLiteral("null.")), QStringList());
    }

    void failures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("error");
        QTest::newRow("folder") << "."
                                << ": could not be written: it is a folder";
        QTest::newRow("no such folder") << "missing/x.ics"
                                        << "x.ics: could not be written: No such file or directory";
        QTest::newRow("no name") << ""
                                 << ": could not be written: no file name given";
    }
    void failures()
    {
        QFETCH(QString, path);
        QFETCH(QString, error);
        const QString full = path.isEmpty() ? path : m_dir.filePath(path);
        QString why;
        QVERIFY(!SafeFile::writeFile(full, "x", &why));
        QVERIFY2(why.startsWith(full) && why.endsWith(error), qPrintable(why));
    }

    // A folder the user may not write to: root passes permission checks, so there the folder is
    // a read-only file system instead.
    void readOnlyFolder()
    {
        const QString dir = m_dir.filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(put(dir + QStringLiteral("/cal.ics"), "old"));
        std::unique_ptr<testutil::SmallDisk> disk;
        QString reason = QStringLiteral("Permission denied");
        if (::geteuid() == 0) {
            disk = std::make_unique<testutil::SmallDisk>(dir, QStringLiteral("ro,size=64k"));
            if (!disk->ready())
                QSKIP(disk->why());
            reason = QStringLiteral("Read-only file system");
        } else {
            QVERIFY(::chmod(QFile::encodeName(dir).constData(), 0555) == 0);
        }
        QString why;
        const QString path = dir + QStringLiteral("/new.ics");
        QVERIFY(!SafeFile::writeFile(path, "x", &why));
        QCOMPARE(why, path + QStringLiteral(": could not be written: ") + reason);
        ::chmod(QFile::encodeName(dir).constData(), 0755);
    }

    // A full disk: nothing is renamed after a failed write, so the old file stays whole, and no
    // temporary file is left behind.
    void fullDisk()
    {
        const QString dir = m_dir.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(dir));
        testutil::SmallDisk disk(dir, QStringLiteral("size=64k"));
        if (!disk.ready())
            QSKIP(disk.why());
        const QString path = dir + QStringLiteral("/cal.ics");
        const QByteArray old(40 * 1024, 'o');
        QVERIFY(put(path, old));
        QString why;
        QVERIFY(!SafeFile::writeFile(path, QByteArray(40 * 1024, 'n'), &why));
        QCOMPARE(why, path + QStringLiteral(": could not be written: No space left on device"));
        QCOMPARE(contents(path), old);
        QVERIFY(!SafeFile::writeFile(dir + QStringLiteral("/other.ics"),
                                     QList<QByteArray> {QByteArray(50 * 1024, 'n'), QByteArray(50 * 1024, 'n')}, &why));
        QVERIFY(why.endsWith(QStringLiteral("No space left on device")));
        QCOMPARE(entriesOf(dir), QStringList {"cal.ics"});
    }

    void standardOutput_data()
    {
        QTest::addColumn<QString>("target"); // a file to point standard output at; empty: closed
        QTest::addColumn<QString>("error");
        QTest::newRow("full") << "/dev/full"
                              << "standard output could not be written: No space left on device";
        QTest::newRow("closed") << ""
                                << "standard output could not be written: Bad file descriptor";
    }
    void standardOutput()
    {
        QFETCH(QString, target);
        QFETCH(QString, error);
        const int fd = target.isEmpty() ? -1 : ::open(QFile::encodeName(target).constData(), O_WRONLY);
        QString why;
        bool ok;
        {
            StdoutRedirect redirect(fd);
            ok = SafeFile::writeStdout("BEGIN:VCALENDAR\r\n", &why);
        }
        if (fd >= 0)
            ::close(fd);
        QVERIFY(!ok);
        QCOMPARE(why, error);
    }
};

QTEST_GUILESS_MAIN(TestSafeFile)
#include "tst_safeFile.moc"
