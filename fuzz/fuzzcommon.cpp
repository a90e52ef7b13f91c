#include "fuzzcommon.h"

#include "calendar/aCalendar.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <memory>

void fuzz::setUp()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    qputenv("TZ", "Europe/Paris");
    Clock::setFixed(QDateTime::fromString(QStringLiteral("2007-03-15T12:00:00Z"), Qt::ISODate));
    UserDefaults::useStore(QDir::tempPath() + QStringLiteral("/tidewell-fuzz-settings.ini"));
    UserDefaults::setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
}

QString fuzz::text(const uint8_t* data, size_t size)
{
    return Encoding::decode(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)),
                            Encoding::Fallback::MacRoman);
}

aCalendar& fuzz::freshDocument()
{
    static std::unique_ptr<aCalendar> doc;
    doc = std::make_unique<aCalendar>();
    return *doc;
}
