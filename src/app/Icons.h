#pragma once

#include <QIcon>
#include <QString>

/// The window's images by their names ("add", "delete", "mailout", "icalout", "vcalout",
/// "icalfileout", "mailin", "vcalin", "icalfilein", "icalin", "tab", "comma", "text", "sort",
/// "drawer", "repeat", "customize", "tidewell").
///
/// Where the freedesktop icon theme has an icon of the same meaning, the user's theme supplies it;
/// otherwise (and when there is no theme) our own vector image is used, so every size stays sharp
/// on high-density screens.
namespace Icons
{
QIcon named(const QString& name);
/// Our own image, never the theme's (the application icon, tests).
QIcon own(const QString& name);
} // namespace Icons
