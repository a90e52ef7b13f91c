#include "Icons.h"

#include <QHash>

// The images are compiled into the window's static library; naming the resource here makes the
// linker keep it.
static void initialiseImages()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(done);
}

namespace
{
// Only names with a clear equivalent among the freedesktop icon themes' standard names; the
// calendar-specific images have none and are always ours.
const QHash<QString, QString>& themeNames()
{
    static const QHash<QString, QString> names {
        {QStringLiteral("add"), QStringLiteral("appointment-new")},
        {QStringLiteral("delete"), QStringLiteral("edit-delete")},
        {QStringLiteral("mailout"), QStringLiteral("mail-send")},
        {QStringLiteral("mailin"), QStringLiteral("edit-paste")},
        {QStringLiteral("text"), QStringLiteral("text-x-generic")},
        {QStringLiteral("sort"), QStringLiteral("view-sort-ascending")},
        {QStringLiteral("repeat"), QStringLiteral("media-playlist-repeat")},
    };
    return names;
}
} // namespace

namespace Icons
{
QIcon own(const QString& name)
{
    initialiseImages();
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(name));
}

QIcon named(const QString& name)
{
    if (name.isEmpty())
        return {};
    const QString theme = themeNames().value(name);
    return theme.isEmpty() ? own(name) : QIcon::fromTheme(theme, own(name));
}
} // namespace Icons
