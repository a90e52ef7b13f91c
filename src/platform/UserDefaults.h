#pragma once

#include "CalDate.h"

#include <QLocale>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>

/// The user-defaults store: the program's own keys ("commataborder", "calendar", "versionCheck",
/// "versionCheckDate") and the user's international settings ("NSShortDateFormatString" and the
/// other NS keys), kept in QSettings under organisation "Quenlor", application "Tidewell".
///
/// An international key that the store does not hold is derived from the system locale and
/// expressed in calendar-format codes (for en_US the short date is %m/%d/%y and the time
/// %I:%M:%S %p). Tests point the store at a temporary file with useStore().
class UserDefaults
{
public:
    /// The process-wide store.
    static UserDefaults& standard();
    /// Points standard() at an INI file (tests); an empty path returns to the user's store.
    static void useStore(const QString& iniPath);
    /// Sets the locale international keys are derived from (default: QLocale::system()).
    static void setLocale(const QLocale& locale);

    QVariant value(const QString& key) const;
    bool contains(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    void sync();

    /// A text setting; international keys fall back to the locale.
    QString string(const QString& key) const;
    /// A list setting; international keys fall back to the locale.
    QStringList stringList(const QString& key) const;

    /// The user's month, weekday and AM/PM names.
    DateNames dateNames() const;

    /// Derives an international key from @p locale (exposed for tests).
    static QVariant derived(const QString& key, const QLocale& locale);
    /// Converts a Qt date/time format ("dd.MM.yy", "h:mm:ss AP") to calendar-format codes.
    static QString fromQtFormat(const QString& qtFormat);

    /// Where the store lives (for the README and diagnostics).
    QString fileName() const;

private:
    UserDefaults() = default;
    QSettings& settings() const;

    mutable std::unique_ptr<QSettings> m_settings;
};
