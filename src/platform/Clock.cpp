#include "Clock.h"

#include <QMutex>

namespace
{
QMutex g_lock;
QDateTime g_fixed;
} // namespace

QDateTime Clock::now()
{
    {
        QMutexLocker locker(&g_lock);
        if (g_fixed.isValid())
            return g_fixed;
    }
    return QDateTime::currentDateTimeUtc();
}

void Clock::setFixed(const QDateTime& moment)
{
    QMutexLocker locker(&g_lock);
    g_fixed = moment.isValid() ? moment.toUTC() : QDateTime();
}

void Clock::reset()
{
    setFixed(QDateTime());
}
