#pragma once

#include <QString>
#include <QStringList>

// Toolbar item identifiers. They are what the saved toolbar configuration lists, so their texts
// must never change.
extern const QString MyDocToolbarIdentifier; ///< the toolbar itself
extern const QString AddNewRecord;
extern const QString DeleteRecord;
extern const QString ExportToICalIdentifier;
extern const QString ExportToMailIdentifier;
extern const QString ExportToVCalFileIdentifier;
extern const QString ExportToICalFileIdentifier;
extern const QString ImportFromClipboardIdentifier;
extern const QString ImportFromVCalFileIdentifier;
extern const QString ImportFromICalFileIdentifier;
extern const QString ImportFromICalIdentifier;
extern const QString CalendarPopup;
extern const QString TheDrawerIdentifier;
extern const QString sortData;
extern const QString ExportToTextFile;
extern const QString ExportToCommaFile;
extern const QString ExportToTabFile;

// The toolbar's standard items: they may appear in a configuration any number of times (but the
// customise button once).
extern const QString CustomizeToolbarItemIdentifier;
extern const QString FlexibleSpaceItemIdentifier;
extern const QString SpaceItemIdentifier;
extern const QString SeparatorItemIdentifier;

/// The visible texts and the image of one toolbar item.
struct ToolbarItemText
{
    QString identifier;
    QString label;
    QString paletteLabel; ///< the name in the customisation dialog
    QString toolTip;
    QString image; ///< the image name (Icons::named)
};

namespace ToolbarItems
{
/// The seventeen items with their texts (the toolbar itself excluded), in the order of the
/// allowed list.
const QList<ToolbarItemText>& all();
/// The texts of one item or of a standard item; an empty identifier for unknown ones.
ToolbarItemText text(const QString& identifier);
/// The items of a new toolbar, in order.
QStringList defaultIdentifiers();
/// Every item the user may place, in the customisation dialog's order.
QStringList allowedIdentifiers();
/// True for the separator and the spaces, which may be placed more than once.
bool isRepeatable(const QString& identifier);
/// @p configuration with unknown items and duplicates of single items removed.
QStringList sanitised(const QStringList& configuration);
} // namespace ToolbarItems
