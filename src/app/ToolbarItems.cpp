#include "ToolbarItems.h"

#include <QSet>

const QString MyDocToolbarIdentifier = QStringLiteral("My Document Toolbar Identifier");
const QString AddNewRecord = QStringLiteral("Add a new record");
const QString DeleteRecord = QStringLiteral("Delete the selected record");
const QString ExportToICalIdentifier = QStringLiteral("Export to iCal Identifier");
const QString ExportToMailIdentifier = QStringLiteral("Export to Mail Identifier");
const QString ExportToVCalFileIdentifier = QStringLiteral("Export to vCal File Identifier");
const QString ExportToICalFileIdentifier = QStringLiteral("Export to iCal File Identifier");
const QString ImportFromClipboardIdentifier = QStringLiteral("Import from Clipboard Identifier");
const QString ImportFromVCalFileIdentifier = QStringLiteral("Import from vCal File Identifier");
const QString ImportFromICalFileIdentifier = QStringLiteral("Import from iCal File Identifier");
const QString ImportFromICalIdentifier = QStringLiteral("Import from iCal");
const QString CalendarPopup = QStringLiteral("Calendar pop-up");
const QString TheDrawerIdentifier = QStringLiteral("The Drawer Identifier");
const QString sortData = QStringLiteral("Sort the data");
const QString ExportToTextFile = QStringLiteral("Export to Text File Identifier");
const QString ExportToCommaFile = QStringLiteral("Export to Comma File Identifier");
const QString ExportToTabFile = QStringLiteral("Export to Tab File Identifier");

const QString CustomizeToolbarItemIdentifier = QStringLiteral("Customize Toolbar Item");
const QString FlexibleSpaceItemIdentifier = QStringLiteral("Flexible Space Item");
const QString SpaceItemIdentifier = QStringLiteral("Space Item");
const QString SeparatorItemIdentifier = QStringLiteral("Separator Item");

namespace ToolbarItems
{
const QList<ToolbarItemText>& all()
{
    // The iCal-file export has no tooltip of its own in the original set; it gets the wording of
    // its menu item.
    static const QList<ToolbarItemText> items {
        {AddNewRecord, "Add", "Add", "Add New Appointment", "add"},
        {DeleteRecord, "Delete", "Delete", "Delete Appointment", "delete"},
        {ExportToMailIdentifier, "To Mail", "To Mail", "Export to Mail", "mailout"},
        {ExportToICalIdentifier, "To iCal", "To iCal", "Export to iCal", "icalout"},
        {ExportToVCalFileIdentifier, "To vCal file", "To vCal file", "Export to vCal File", "vcalout"},
        {ExportToICalFileIdentifier, "To iCal file", "To iCal file", "Export to iCal file", "icalfileout"},
        {CalendarPopup, "Calendar", "Calendar", "Calendars available in iCal for import or export", ""},
        {ImportFromClipboardIdentifier, "From Clipboard", "From Clipboard", "Import from Clipboard", "mailin"},
        {ImportFromVCalFileIdentifier, "From vCal file", "From vCal file", "Import from vCal file", "vcalin"},
        {ImportFromICalFileIdentifier, "From iCal file", "From iCal file", "Import from iCal file", "icalfilein"},
        {ImportFromICalIdentifier, "From iCal", "From iCal", "Import from iCal", "icalin"},
        {TheDrawerIdentifier, "Open drawer", "Open/Closer drawer", "Open and close repeat drawer", "drawer"},
        {ExportToTabFile, "To tab file", "To tab file", "Export to tab-delimited file", "tab"},
        {ExportToCommaFile, "To comma file", "To comma file", "Export to comma-delimited file", "comma"},
        {ExportToTextFile, "To text file", "To text file", "Export to text file", "text"},
        {sortData, "Sort", "Sort", "Sort calendar data", "sort"},
    };
    return items;
}

ToolbarItemText text(const QString& identifier)
{
    for (const ToolbarItemText& item : all()) {
        if (item.identifier == identifier)
            return item;
    }
    if (identifier == CustomizeToolbarItemIdentifier)
        return {identifier, "Customize", "Customize", "Customize this toolbar", "customize"};
    if (identifier == FlexibleSpaceItemIdentifier)
        return {identifier, "", "Flexible Space", "", ""};
    if (identifier == SpaceItemIdentifier)
        return {identifier, "", "Space", "", ""};
    if (identifier == SeparatorItemIdentifier)
        return {identifier, "", "Separator", "", ""};
    return {};
}

QStringList defaultIdentifiers()
{
    return {AddNewRecord,           DeleteRecord,           SeparatorItemIdentifier,
            ExportToICalIdentifier, ExportToMailIdentifier, ImportFromClipboardIdentifier,
            CalendarPopup,          TheDrawerIdentifier};
}

QStringList allowedIdentifiers()
{
    return {AddNewRecord,
            DeleteRecord,
            CustomizeToolbarItemIdentifier,
            FlexibleSpaceItemIdentifier,
            SpaceItemIdentifier,
            SeparatorItemIdentifier,
            ExportToMailIdentifier,
            ExportToICalIdentifier,
            ExportToVCalFileIdentifier,
            ExportToICalFileIdentifier,
            CalendarPopup,
            ImportFromClipboardIdentifier,
            ImportFromVCalFileIdentifier,
            ImportFromICalFileIdentifier,
            ImportFromICalIdentifier,
            TheDrawerIdentifier,
            ExportToTabFile,
            ExportToCommaFile,
            ExportToTextFile,
            sortData};
}

bool isRepeatable(const QString& identifier)
{
    return identifier == FlexibleSpaceItemIdentifier || identifier == SpaceItemIdentifier
        || identifier == SeparatorItemIdentifier;
}

QStringList sanitised(const QStringList& configuration)
{
    const QStringList allowed = allowedIdentifiers();
    QSet<QString> placed;
    QStringList result;
    for (const QString& id : configuration) {
        if (!allowed.contains(id) || (!isRepeatable(id) && placed.contains(id)))
            continue;
        placed.insert(id);
        result << id;
    }
    return result;
}
} // namespace ToolbarItems
