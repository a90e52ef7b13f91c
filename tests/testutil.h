#pragma once

// Shared set-up for tests: pinned zone, pinned clock, a throw-away settings store.

#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QVariantMap>

#include "platform/CalDate.h"

#include <memory>

namespace testutil
{
/// Sanitizer builds run hostile inputs many times slower; time bounds in tests only catch runaway work.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr qint64 kSlowdown = 40;
#else
constexpr qint64 kSlowdown = 1;
#endif

/// German month, weekday and AM/PM names (Sunday first).
inline DateNames germanNames()
{
    DateNames n;
    n.months = QStringList{"Januar", "Februar", "März",      "April",   "Mai",      "Juni",
                           "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
    n.shortMonths = QStringList{"Jan", "Feb", "Mär", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
    n.weekdays = QStringList{"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"};
    n.shortWeekdays = QStringList{"So", "Mo", "Di", "Mi", "Do", "Fr", "Sa"};
    n.amPm = QStringList{"AM", "PM"};
    return n;
}

/// A European settings store: day first with dots, a "." time separator, German names.
inline QVariantMap germanStore()
{
    const DateNames n = germanNames();
    return {{"NSShortDateFormatString", "%d.%m.%Y"},
            {"NSTimeFormatString", "%H.%M.%S"},
            {"NSMonthNameArray", n.months},
            {"NSShortMonthNameArray", n.shortMonths},
            {"NSWeekDayNameArray", n.weekdays},
            {"NSShortWeekDayNameArray", n.shortWeekdays},
            {"NSAMPMDesignation", n.amPm}};
}

/// A US settings store: month first with slashes, a 12-hour clock.
inline QVariantMap usStore()
{
    return {{"NSShortDateFormatString", "%m/%d/%y"},
            {"NSTimeFormatString", "%I:%M:%S %p"},
            {"NSAMPMDesignation", QStringList{"AM", "PM"}}};
}

/// Debian's own interpreter, which sees the python3-* packages used as independent peers.
inline const QString kPython = QStringLiteral("/usr/bin/python3");

/// True when /usr/bin/python3 can import @p module (tests QSKIP otherwise).
inline bool pythonHas(const QString& module)
{
    QProcess probe;
    probe.start(kPython, {QStringLiteral("-c"), QStringLiteral("import ") + module});
    return probe.waitForFinished(20000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
}

/// Runs a Python script with @p args; returns its non-empty output lines. On failure @p error
/// receives standard error and the result is empty.
inline QStringList runPython(const QString& script, const QStringList& args, QString* error)
{
    QProcess python;
    python.start(kPython, QStringList{QStringLiteral("-c"), script} + args);
    if (!python.waitForFinished(30000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        *error = QString::fromUtf8(python.readAllStandardError());
        if (error->isEmpty())
            *error = QStringLiteral("python did not finish");
        return {};
    }
    return QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

/// A small tmpfs mounted on @p dir while the object lives (a full disk or a read-only file
/// system for write tests); only root may mount, so ready() is false otherwise and @p why says so.
class SmallDisk
{
public:
    SmallDisk(const QString& dir, const QString& options)
        : m_dir(dir)
    {
        QProcess mount;
        mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                              options, QStringLiteral("tidewell-test"), dir});
        m_ready = mount.waitForFinished(20000) && mount.exitStatus() == QProcess::NormalExit && mount.exitCode() == 0;
        m_why = m_ready ? QString()
                        : QStringLiteral("cannot mount a tmpfs here (needs root): ")
                + QString::fromLocal8Bit(mount.readAllStandardError()).trimmed();
    }
    ~SmallDisk()
    {
        if (m_ready)
            QProcess::execute(QStringLiteral("umount"), {m_dir});
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool ready() const { return m_ready; }
    QByteArray why() const { return m_why.toLocal8Bit(); }

private:
    QString m_dir;
    bool m_ready = false;
    QString m_why;
};

/// Sets TZ for the process (takes effect for every date made afterwards).
inline void pinZone(const char* tz)
{
    qputenv("TZ", tz);
}

/// Pins "now" to an ISO UTC moment, e.g. "2007-01-15T12:00:00Z".
inline void pinClock(const char* isoUtc)
{
    Clock::setFixed(QDateTime::fromString(QString::fromLatin1(isoUtc), Qt::ISODate));
}

/// A fresh settings store in a temporary directory, with the given locale for derived keys and
/// optional explicit values. Keep the returned object alive for the test's duration.
class TempSettings
{
public:
    explicit TempSettings(const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates),
                          const QVariantMap& values = {})
    {
        UserDefaults::useStore(m_dir.filePath(QStringLiteral("settings.ini")));
        UserDefaults::setLocale(locale);
        for (auto it = values.begin(); it != values.end(); ++it)
            UserDefaults::standard().setValue(it.key(), it.value());
    }
    ~TempSettings() { UserDefaults::useStore(QString()); }

private:
    QTemporaryDir m_dir;
};
} // namespace testutil
