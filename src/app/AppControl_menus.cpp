// The menus and their enabled states.
#include "AppControl.h"
#include "CalDavWindow.h"
#include "EntryTableModel.h"
#include "MyTableView.h"
#include "MyWindow.h"
#include "ToolbarItems.h"

#include <QApplication>
#include <QClipboard>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QToolBar>

namespace
{
/// Runs a text command (cut, copy, paste) in the focused text field; false when none has focus.
bool inFocusedText(const char* command)
{
    QWidget* focus = QApplication::focusWidget();
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QPlainTextEdit*>(focus) || qobject_cast<QTextEdit*>(focus))
        return QMetaObject::invokeMethod(focus, command);
    return false;
}
} // namespace

void AppControl::buildMenus()
{
    QMenuBar* bar = theWindow->menuBar();
    auto add = [this](QMenu* menu, MenuItem which, const QString& title, auto slot,
                      const QKeySequence& keys = QKeySequence(), const QString& tip = QString()) {
        QAction* action = menu->addAction(title);
        action->setShortcut(keys);
        action->setToolTip(tip.isEmpty() ? QString(title).remove(QStringLiteral("…")) : tip);
        action->setStatusTip(action->toolTip());
        connect(action, &QAction::triggered, this, slot);
        m_menuItems.insert(which, action);
        return action;
    };
    auto tip = [](const QString& identifier) { return ToolbarItems::text(identifier).toolTip; };

    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    add(file, MenuItem::NewEntry, QStringLiteral("New Appointment"), &AppControl::createEntry, QKeySequence::New,
        tip(AddNewRecord));
    file->addSeparator();
    add(file, MenuItem::ImportICalFile, QStringLiteral("Import from iCal file…"), &AppControl::importFromFileICal,
        QKeySequence::Open, tip(ImportFromICalFileIdentifier));
    add(file, MenuItem::ImportVCalFile, QStringLiteral("Import from vCal file…"), &AppControl::importFromFileVCal,
        QKeySequence(), tip(ImportFromVCalFileIdentifier));
    add(file, MenuItem::ImportCommaFile, QStringLiteral("Import comma-delimited file…"),
        &AppControl::importFromFileComma);
    add(file, MenuItem::ImportTabFile, QStringLiteral("Import tab-delimited file…"), &AppControl::importFromFileTab);
    add(file, MenuItem::ImportClipboard, QStringLiteral("Import from Clipboard"), &AppControl::clipBoardImport,
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V), tip(ImportFromClipboardIdentifier));
    add(file, MenuItem::ImportICal, QStringLiteral("Import from iCal"), &AppControl::importFromICal, QKeySequence(),
        tip(ImportFromICalIdentifier));
    file->addSeparator();
    add(file, MenuItem::ExportICalFile, QStringLiteral("Export to iCal file…"), &AppControl::exportToFile,
        QKeySequence::Save, tip(ExportToICalFileIdentifier));
    add(file, MenuItem::ExportVCalFile, QStringLiteral("Export to vCal File…"), &AppControl::exportToVCal,
        QKeySequence(), tip(ExportToVCalFileIdentifier));
    add(file, MenuItem::ExportCommaFile, QStringLiteral("Export to comma-delimited file…"), &AppControl::commaOutput,
        QKeySequence(), tip(ExportToCommaFile));
    add(file, MenuItem::ExportTabFile, QStringLiteral("Export to tab-delimited file…"), &AppControl::tabOutput,
        QKeySequence(), tip(ExportToTabFile));
    add(file, MenuItem::ExportTextFile, QStringLiteral("Export to text file…"), &AppControl::textOutput, QKeySequence(),
        tip(ExportToTextFile));
    add(file, MenuItem::ExportICal, QStringLiteral("Export to iCal"), &AppControl::exportToICal, QKeySequence(),
        tip(ExportToICalIdentifier));
    add(file, MenuItem::ExportMail, QStringLiteral("Export to Mail…"), &AppControl::exportToMail, QKeySequence(),
        tip(ExportToMailIdentifier));
    add(file, MenuItem::SendInvitation, QStringLiteral("Send Invitation…"), &AppControl::showInviteSheet,
        QKeySequence(), QStringLiteral("Invite people to the appointments by mail"));
    file->addSeparator();
    add(file, MenuItem::RefreshCalendars, QStringLiteral("Refresh Calendar List"), &AppControl::updateCalendarList,
        QKeySequence(), QStringLiteral("Read the list of calendars again"));
    add(file, MenuItem::AddressBook, QStringLiteral("Address Book…"), &AppControl::openAddressBook, QKeySequence(),
        QStringLiteral("Show the people and groups of the address book"));
    file->addSeparator();
    add(file, MenuItem::PageSetup, QStringLiteral("Page Setup…"), [] {});
    add(
        file, MenuItem::Print, QStringLiteral("Print…"), [] {}, QKeySequence::Print);
    add(file, MenuItem::Revert, QStringLiteral("Revert"), [] {});
    file->addSeparator();
    add(
        file, MenuItem::CloseWindow, QStringLiteral("Close Window"), [this] { theWindow->close(); },
        QKeySequence::Close);
    add(
        file, MenuItem::Quit, QStringLiteral("Quit"), [] { QCoreApplication::quit(); }, QKeySequence::Quit,
        QStringLiteral("Quit Tidewell"));

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    add(
        edit, MenuItem::Cut, QStringLiteral("Cut"), [] { inFocusedText("cut"); }, QKeySequence::Cut);
    add(
        edit, MenuItem::Copy, QStringLiteral("Copy"),
        [this] {
            if (inFocusedText("copy") || !theTable->hasFocus())
                return;
            // The selected rows as the table shows them, one line each, cells separated by tabs.
            QStringList lines;
            const QStringList columns = displayedColumnIdentifiers();
            for (int row : selectedRows()) {
                QStringList cells;
                for (const QString& id : columns)
                    cells << m_model->index(row, EntryTableModel::columnOf(id)).data(Qt::AccessibleTextRole).toString();
                lines << cells.join(QLatin1Char('\t'));
            }
            if (!lines.isEmpty())
                QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        },
        QKeySequence::Copy);
    add(
        edit, MenuItem::Paste, QStringLiteral("Paste"),
        [this] {
            // Pasted into the table, text becomes appointments, as with "Import from Clipboard".
            if (!inFocusedText("paste"))
                clipBoardImport();
        },
        QKeySequence::Paste);
    add(edit, MenuItem::Delete, QStringLiteral("Delete"), &AppControl::deleteEntry, QKeySequence(), tip(DeleteRecord));
    add(edit, MenuItem::SelectAll, QStringLiteral("Select All"), &AppControl::selectAll, QKeySequence::SelectAll);
    edit->addSeparator();
    add(
        edit, MenuItem::Preferences, QStringLiteral("Preferences…"), [this] { CalDavWindow::showAccounts(*this); },
        QKeySequence::Preferences, QStringLiteral("The CalDAV accounts whose calendars the calendar pop-up lists"));

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    QAction* showToolbar = m_toolbar->toggleViewAction();
    showToolbar->setText(QStringLiteral("Show Toolbar"));
    showToolbar->setToolTip(QStringLiteral("Show or hide the toolbar"));
    view->addAction(showToolbar);
    m_menuItems.insert(MenuItem::ShowToolbar, showToolbar);
    add(
        view, MenuItem::CustomizeToolbar, QStringLiteral("Customize Toolbar…"), [this] { runToolbarCustomization(); },
        QKeySequence(), QStringLiteral("Choose the items of the toolbar"));
    view->addSeparator();
    add(view, MenuItem::Drawer, toolbarDrawer->text(), &AppControl::openDrawer, QKeySequence(),
        tip(TheDrawerIdentifier));

    QMenu* entries = bar->addMenu(QStringLiteral("&Appointments"));
    add(entries, MenuItem::SortStart, QStringLiteral("Sort by Start"), &AppControl::sortStart, QKeySequence(),
        QStringLiteral("Sort the appointments by their start"));
    add(entries, MenuItem::SortEnd, QStringLiteral("Sort by End"), &AppControl::sortEnd, QKeySequence(),
        QStringLiteral("Sort the appointments by their end"));
    add(entries, MenuItem::SortSummary, QStringLiteral("Sort by Summary"), &AppControl::sortSummary, QKeySequence(),
        QStringLiteral("Sort the appointments by their summary"));
    add(entries, MenuItem::SortColumn, QStringLiteral("Sort by Selected Column"), &AppControl::sortToolbar,
        QKeySequence(), tip(sortData));

    QMenu* window = bar->addMenu(QStringLiteral("&Window"));
    add(
        window, MenuItem::Minimize, QStringLiteral("Minimize"), [this] { theWindow->showMinimized(); },
        QKeySequence(Qt::CTRL | Qt::Key_M));
    window->addSeparator();
    add(window, MenuItem::NewWindow, QStringLiteral("Tidewell"), &AppControl::newWindow, QKeySequence(),
        QStringLiteral("Show the main window"));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    add(help, MenuItem::Help, QStringLiteral("Tidewell Help"), &AppControl::helpMenuHelp, QKeySequence::HelpContents);
    add(help, MenuItem::HomePage, QStringLiteral("Tidewell Home Page"), &AppControl::helpMenuHome, QKeySequence(),
        QStringLiteral("Open the Tidewell web site"));
    add(help, MenuItem::Support, QStringLiteral("Tidewell Support"), &AppControl::helpMenuSupport, QKeySequence(),
        QStringLiteral("Write to Tidewell's support"));
    add(help, MenuItem::ReportBug, QStringLiteral("Report a Bug"), &AppControl::helpMenuBug, QKeySequence(),
        QStringLiteral("Tell the makers about a fault"));
    help->addSeparator();
    add(help, MenuItem::CheckVersion, QStringLiteral("Check for a New Version…"), &AppControl::checkNewVersion,
        QKeySequence(), QStringLiteral("Ask whether a newer Tidewell is published"));
    add(help, MenuItem::About, QStringLiteral("About Tidewell"), &AppControl::showAbout);

    for (QMenu* menu : {file, edit, view, entries, window, help})
        menu->setToolTipsVisible(true);

    // The states at start: the unused document commands off, sorting and exporting off until
    // there are entries, deleting off until rows are selected.
    menuItem(MenuItem::CloseWindow)->setEnabled(true);
    for (MenuItem off : {MenuItem::NewWindow, MenuItem::PageSetup, MenuItem::Print, MenuItem::Revert,
                         MenuItem::SortStart, MenuItem::SortEnd, MenuItem::SortSummary, MenuItem::Delete})
        menuItem(off)->setEnabled(false);
    resetMenu(false);
    menuItem(MenuItem::CheckVersion)->setEnabled(true);
}

void AppControl::updateTheMenus()
{
    if (m_menuItems.isEmpty())
        return;
    const bool hasEntries = theCal->entryCount() > 0;
    bool rowsSelected = false;
    for (const QItemSelectionRange& range : theTable->selectionModel()->selection())
        rowsSelected = rowsSelected || (range.left() == 0 && range.right() == EntryTableModel::ColumnCount - 1);
    const bool windowShown = !menuItem(MenuItem::NewWindow)->isEnabled();
    menuItem(MenuItem::Delete)->setEnabled(rowsSelected && windowShown);
    menuItem(MenuItem::SelectAll)->setEnabled(hasEntries && windowShown);
    resetMenu(hasEntries);
    validateToolbarItems();
    applyDocumentLock();
}

void AppControl::resetMenu(bool enabled)
{
    for (MenuItem item :
         {MenuItem::ExportICalFile, MenuItem::ExportICal, MenuItem::ExportVCalFile, MenuItem::ExportMail,
          MenuItem::ExportTabFile, MenuItem::ExportCommaFile, MenuItem::ExportTextFile, MenuItem::SortStart,
          MenuItem::SortEnd, MenuItem::SortSummary, MenuItem::SortColumn, MenuItem::SendInvitation}) {
        if (QAction* action = menuItem(item))
            action->setEnabled(enabled);
    }
}

void AppControl::windowWillClose()
{
    if (m_menuItems.isEmpty())
        return;
    menuItem(MenuItem::NewWindow)->setEnabled(true);
    for (MenuItem off : {MenuItem::CloseWindow, MenuItem::NewEntry, MenuItem::SelectAll, MenuItem::Delete})
        menuItem(off)->setEnabled(false);
}

void AppControl::newWindow()
{
    theWindow->show();
    theWindow->raise();
    theWindow->activateWindow();
    menuItem(MenuItem::NewWindow)->setEnabled(false);
    menuItem(MenuItem::CloseWindow)->setEnabled(true);
    updateTheMenus();
    // The window is back, and with it adding entries.
    menuItem(MenuItem::NewEntry)->setEnabled(true);
}
