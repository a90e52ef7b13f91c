#include "UserDefaults.h"

#include <QMutex>
#include <QRegularExpression>

namespace
{
QMutex g_lock;
QString g_storePath;
bool g_storeChanged = false;
QLocale g_locale = QLocale::system();
bool g_localeSet = false;

const QStringList& internationalKeys()
{
    static const QStringList keys{"NSShortDateFormatString", "NSDateFormatString", "NSTimeFormatString",
                                  "NSAMPMDesignation", "NSMonthNameArray", "NSShortMonthNameArray",
                                  "NSWeekDayNameArray", "NSShortWeekDayNameArray", "NSTimeDateFormatString",
                                  "NSShortTimeDateFormatString"};
    return keys;
}

QLocale currentLocale()
{
    QMutexLocker locker(&g_lock);
    const QLocale locale = g_localeSet ? g_locale : QLocale::system();
    // The C locale's formats spell months out in short dates; treat it as US English.
    return locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : locale;
}

// Qt's locale formats may carry a zone ("t") or era text we do not show.
QString cleanTime(QString f)
{
    f.remove(QLatin1Char('t'));
    return f.trimmed();
}

QString withoutSeconds(const QString& timeFormat)
{
    QString f = timeFormat;
    static const QRegularExpression seconds(QStringLiteral("[:.]%S"));
    f.remove(seconds);
    return f;
}
} // namespace

UserDefaults& UserDefaults::standard()
{
    static UserDefaults instance;
    return instance;
}

void UserDefaults::useStore(const QString& iniPath)
{
    QMutexLocker locker(&g_lock);
    g_storePath = iniPath;
    g_storeChanged = true;
}

void UserDefaults::setLocale(const QLocale& locale)
{
    QMutexLocker locker(&g_lock);
    g_locale = locale;
    g_localeSet = true;
}

QSettings& UserDefaults::settings() const
{
    QMutexLocker locker(&g_lock);
    if (!m_settings || g_storeChanged) {
        g_storeChanged = false;
        if (g_storePath.isEmpty())
            m_settings = std::make_unique<QSettings>(QStringLiteral("Quenlor"), QStringLiteral("Tidewell"));
        else
            m_settings = std::make_unique<QSettings>(g_storePath, QSettings::IniFormat);
    }
    return *m_settings;
}

QVariant UserDefaults::value(const QString& key) const
{
    return settings().value(key);
}

bool UserDefaults::contains(const QString& key) const
{
    return settings().contains(key);
}

void UserDefaults::setValue(const QString& key, const QVariant& value)
{
    settings().setValue(key, value);
}

void UserDefaults::remove(const QString& key)
{
    settings().remove(key);
}

void UserDefaults::sync()
{
    settings().sync();
}

QString UserDefaults::fileName() const
{
    return settings().fileName();
}

QString UserDefaults::string(const QString& key) const
{
    QSettings& s = settings();
    if (s.contains(key))
        return s.value(key).toString();
    if (internationalKeys().contains(key))
        return derived(key, currentLocale()).toString();
    return {};
}

QStringList UserDefaults::stringList(const QString& key) const
{
    QSettings& s = settings();
    if (s.contains(key))
        return s.value(key).toStringList();
    if (internationalKeys().contains(key))
        return derived(key, currentLocale()).toStringList();
    return {};
}

DateNames UserDefaults::dateNames() const
{
    DateNames n;
    n.months = stringList(QStringLiteral("NSMonthNameArray"));
    n.shortMonths = stringList(QStringLiteral("NSShortMonthNameArray"));
    n.weekdays = stringList(QStringLiteral("NSWeekDayNameArray"));
    n.shortWeekdays = stringList(QStringLiteral("NSShortWeekDayNameArray"));
    n.amPm = stringList(QStringLiteral("NSAMPMDesignation"));
    return n;
}

QString UserDefaults::fromQtFormat(const QString& qt)
{
    const bool twelveHour = qt.contains(QLatin1String("AP"), Qt::CaseInsensitive);
    QString out;
    for (qsizetype i = 0; i < qt.size();) {
        const QChar c = qt.at(i);
        qsizetype run = 1;
        while (i + run < qt.size() && qt.at(i + run) == c)
            ++run;
        switch (c.unicode()) {
        case 'y': out += run >= 4 ? QStringLiteral("%Y") : QStringLiteral("%y"); break;
        case 'M':
            out += run >= 4 ? QStringLiteral("%B") : run == 3 ? QStringLiteral("%b") : QStringLiteral("%m");
            break;
        case 'd':
            out += run >= 4 ? QStringLiteral("%A")
                : run == 3  ? QStringLiteral("%a")
                : run == 2  ? QStringLiteral("%d")
                            : QStringLiteral("%e");
            break;
        case 'h':
        case 'H': out += (twelveHour ? QStringLiteral("%I") : QStringLiteral("%H")); break;
        case 'm': out += QStringLiteral("%M"); break;
        case 's': out += QStringLiteral("%S"); break;
        case 'A':
        case 'a':
            if (i + 1 < qt.size() && qt.at(i + 1).toUpper() == QLatin1Char('P')) {
                out += QStringLiteral("%p");
                i += 2;
                continue;
            }
            out += QString(run, c);
            break;
        case 'z': break; // milliseconds
        case '\'': {
            // Quoted literal text.
            qsizetype end = qt.indexOf(QLatin1Char('\''), i + 1);
            if (end < 0)
                end = qt.size();
            out += qt.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        default: out += QString(run, c); break;
        }
        i += run;
    }
    return out;
}

QVariant UserDefaults::derived(const QString& key, const QLocale& locale)
{
    const QString shortDate = fromQtFormat(locale.dateFormat(QLocale::ShortFormat));
    // "%e" in a short date would not round-trip through the strict parser's fixed layout;
    // a short date is always written with two-digit days and months.
    QString fixedShort = shortDate;
    fixedShort.replace(QLatin1String("%e"), QLatin1String("%d"));
    const QString time = fromQtFormat(cleanTime(locale.timeFormat(QLocale::LongFormat)));
    if (key == QLatin1String("NSShortDateFormatString"))
        return fixedShort;
    if (key == QLatin1String("NSDateFormatString"))
        return fromQtFormat(locale.dateFormat(QLocale::LongFormat));
    if (key == QLatin1String("NSTimeFormatString"))
        return time;
    if (key == QLatin1String("NSTimeDateFormatString"))
        return fromQtFormat(locale.dateFormat(QLocale::LongFormat)) + QLatin1Char(' ') + time;
    if (key == QLatin1String("NSShortTimeDateFormatString"))
        return fixedShort + QLatin1Char(' ') + withoutSeconds(time);
    if (key == QLatin1String("NSAMPMDesignation")) {
        QString am = locale.amText(), pm = locale.pmText();
        if (am.isEmpty() || pm.isEmpty()) {
            am = QStringLiteral("AM");
            pm = QStringLiteral("PM");
        }
        return QStringList{am, pm};
    }
    auto months = [&](QLocale::FormatType type) {
        QStringList list;
        for (int m = 1; m <= 12; ++m)
            list << locale.standaloneMonthName(m, type);
        return list;
    };
    auto days = [&](QLocale::FormatType type) {
        QStringList list;
        list << locale.standaloneDayName(7, type);
        for (int d = 1; d <= 6; ++d)
            list << locale.standaloneDayName(d, type);
        return list;
    };
    if (key == QLatin1String("NSMonthNameArray"))
        return months(QLocale::LongFormat);
    if (key == QLatin1String("NSShortMonthNameArray"))
        return months(QLocale::ShortFormat);
    if (key == QLatin1String("NSWeekDayNameArray"))
        return days(QLocale::LongFormat);
    if (key == QLatin1String("NSShortWeekDayNameArray"))
        return days(QLocale::ShortFormat);
    return {};
}
