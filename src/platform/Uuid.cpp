#include "Uuid.h"

#include <QMutex>
#include <QUuid>

namespace
{
QMutex g_lock;
std::function<QString()> g_generator;
} // namespace

QString Uuid::create()
{
    {
        QMutexLocker locker(&g_lock);
        if (g_generator)
            return g_generator();
    }
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

void Uuid::setGenerator(std::function<QString()> generator)
{
    QMutexLocker locker(&g_lock);
    g_generator = std::move(generator);
}
