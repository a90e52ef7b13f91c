#pragma once

// Shared set-up for tests: pinned zone, pinned clock, a throw-away settings store.

#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <QDateTime>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QVariantMap>

#include <memory>

namespace testutil
{
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
