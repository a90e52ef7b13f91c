#pragma once

#include "addressbook/addressControl.h"
#include "calendar/aCalendar.h"

#include <QAtomicInt>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class CalendarFileReading;
class ColumnOrderSheet;
class HelpWindow;
class ImportProgressSheet;
class RecordLoop;
class EntryTableModel;
class InviteFlow;
class MyTableView;
class MyWindow;
class QAction;
class QComboBox;
class QDockWidget;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QToolBar;
class QWidget;
class QWidgetAction;
class UpdateWindow;
class UserDefaults;
class repeatDrawer;

/// The application's one controller: it owns the calendar document for the life of the process,
/// builds the main window with its toolbar and menus, keeps their enabled states and carries out
/// every command.
///
/// One class in several files, by concern:
///   AppControl.cpp               start-up, alerts, reading texts into the document, quit, help
///   AppControl_toolbar.cpp       toolbar items, customisation, the calendar pop-up
///   AppControl_menus.cpp         the menus and their enabled states
///   AppControl_entries.cpp       the entry table: editing, selection changes, add, delete, sort
///   AppControl_drawer.cpp        the repeat drawer (open, close, content)
///   AppControl_repeat.cpp        the repeat editor in the drawer, driven by the selection
///   AppControl_files.cpp         files handed to the application, drops, reading off the GUI thread
///   AppControl_importExport.cpp  import and export commands
///   AppControl_delimited.cpp     the column-order sheet, the record loop, the expansion questions
///   AppControl_invite.cpp        the invite sheet and the address book
///   AppControl_update.cpp        the version check
///
/// Everything runs on the GUI thread. Big files are read on a worker thread into a document of
/// its own, which joins this one on the GUI thread when it is complete (AppControl_files.cpp).
///
/// Start-up, in this order: the constructor (the document), awakeFromNib() (window, toolbar,
/// menus, calendar pop-up, version check), applicationDidFinishLaunching() (drop types, window
/// shown). Files handed over (applicationOpenFile()) are processed together on the next turn of
/// the event loop. applicationWillTerminate() saves the chosen calendar.
class AppControl : public QObject
{
    Q_OBJECT
public:
    /// The menu items whose state the controller keeps (and a few more for tests to find).
    enum class MenuItem {
        NewEntry,
        ImportICalFile,
        ImportVCalFile,
        ImportCommaFile,
        ImportTabFile,
        ImportClipboard,
        ImportICal,
        ExportICalFile,
        ExportVCalFile,
        ExportTabFile,
        ExportCommaFile,
        ExportTextFile,
        ExportICal,
        ExportMail,
        SendInvitation,
        AddressBook,
        RefreshCalendars,
        PageSetup,
        Print,
        Revert,
        CloseWindow,
        Quit,
        Cut,
        Copy,
        Paste,
        Delete,
        SelectAll,
        Preferences,
        ShowToolbar,
        CustomizeToolbar,
        Drawer,
        SortStart,
        SortEnd,
        SortSummary,
        SortColumn,
        Minimize,
        NewWindow,
        Help,
        HomePage,
        Support,
        ReportBug,
        CheckVersion,
        About,
    };

    explicit AppControl(QObject* parent = nullptr);
    ~AppControl() override;

    // --- start-up and quit (AppControl.cpp) ---
    /// Builds the main window (once; later calls do nothing) and starts the version check unless
    /// the user turned it off.
    void awakeFromNib();
    /// Registers the window for drops and shows it.
    void applicationDidFinishLaunching();
    /// Stores the calendar pop-up's selected title under "calendar".
    void applicationWillTerminate();
    /// A file handed to the application (command line, open-file event, a second start). Files
    /// handed over during one turn of the event loop are processed together, in order.
    bool applicationOpenFile(const QString& path);
    /// Reads "/System/Library/CoreServices/SystemVersion.plist" (or @p path) into the OS flags.
    /// Where the file does not exist, all four flags are 1: the platform layer provides what
    /// they guard. Always true.
    bool setOSVersion(const QString& path = QString());
    /// The program dictionary of the version check: "progName", "progPlist".
    QVariantMap getProgDict() const;

    // --- parts of the window (for the later sheets and for tests) ---
    aCalendar& document() { return *theCal; }
    MyWindow* mainWindow() const { return theWindow; }
    MyTableView* entryTable() const { return theTable; }
    EntryTableModel* entryModel() const { return m_model; }
    QPlainTextEdit* notesView() const { return theNotes; }
    QComboBox* calendarPopup() const { return myCalendars; }
    QToolBar* toolbar() const { return m_toolbar; }
    QDockWidget* drawer() const { return theDrawer; }
    /// The repeat editor inside the drawer.
    repeatDrawer* repeatEditor() const;
    /// The version check's window, once a check has needed it (null before).
    UpdateWindow* updateWindow() const;
    /// The action of a toolbar item (the same object whichever toolbar slot shows it).
    QAction* toolbarAction(const QString& identifier) const { return m_toolbarActions.value(identifier); }
    QAction* menuItem(MenuItem item) const { return m_menuItems.value(item); }

    /// The entry table's column identifiers in the order shown (the order of tab and comma lists).
    QStringList displayedColumnIdentifiers() const;
    /// Selected rows of the entry table, ascending.
    QList<int> selectedRows() const;
    /// Selects @p rows of the entry table (added to the selection when @p add).
    void selectRows(const QList<int>& rows, bool add = false);
    /// Shows the document's list as it is now; new rows are scrolled into view when @p showNew.
    void reloadData(bool showNew = false);

    // --- controller state read by the commands ---
    bool getAlertWindow() const { return alertWindow; }
    void setAlertWindow(bool on) { alertWindow = on; }
    int getTableSelection() const { return tableSelection; }
    /// The one selected entry the notes view and the repeat editor show (null when no entry or
    /// several are selected). Held by identity: it stays the same entry when the list changes.
    const EntryPtr& shownEntry() const { return m_shownEntry; }
    int getNumberSelected() const { return numberSelected; }
    /// OS102, OS103, OS104, OS105.
    QList<int> getOSVersionFlags() const { return {OS102, OS103, OS104, OS105}; }
    double getToolBarSize() const { return toolBarSize; }
    bool isReading() const { return m_reading != nullptr; }
    /// True from the moment the column-order sheet opens until the record loop has ended: the
    /// commands that change the document are disabled meanwhile, and files handed over wait.
    bool isImporting() const;
    /// The column-order sheet while it is open, the import-progress sheet while the record loop
    /// runs, the help window once shown (null otherwise).
    ColumnOrderSheet* orderSheet() const { return m_orderSheet; }
    ImportProgressSheet* importCounterWindow() const { return m_importCounterWindow; }
    HelpWindow* helpWindow() const;

    // --- toolbar (AppControl_toolbar.cpp) ---
    /// The identifiers shown now, in order.
    QStringList toolbarItemIdentifiers() const { return m_toolbarItems; }
    /// Shows these items (unknown ones and duplicates dropped) and saves the configuration.
    void setToolbarItems(const QStringList& identifiers);
    /// Enables the toolbar items by the document's state.
    void validateToolbarItems();
    /// Opens the dialog listing the allowed items (window-modal); returns it for tests.
    QWidget* runToolbarCustomization();

    // --- the drawer (AppControl_drawer.cpp) ---
    /// Puts the repeat editor into the drawer (ownership passes to the drawer). The editor's
    /// hooks (AppControl_repeat.cpp) are called at selection changes and when the drawer opens.
    void setDrawerContent(QWidget* content);
    QWidget* drawerContent() const;
    bool isDrawerOpen() const;

    // --- invitations (AppControl_invite.cpp) ---
    /// The address-book controller; its invitee list lives as long as the program.
    addressControl& addressBook() { return theAddressBook; }
    /// The invite sheet and the address window (made on first use).
    InviteFlow* inviteFlow();

    // --- test seams ---
    /// Replaces where the address book comes from (default: the user's address books,
    /// systemAddressBook) and reads it.
    void setAddressBookSource(std::shared_ptr<addressBookSource> source);
    /// Replaces where the calendar pop-up's names come from (default: the calendar application's
    /// list, aCalendar::setCalArray(nullptr)).
    void setCalendarListSource(std::function<QStringList()> source) { m_calendarSource = std::move(source); }

    // --- alerts (AppControl.cpp) ---
    /// A window-modal alert titled "Error!" with one "OK"; returns at once.
    void errorMessage(const QString& text);
    /// The same titled "Warning!".
    void warningMessage(const QString& text);
    /// Reads an iCalendar or vCalendar text into the document, warns with the reader's message
    /// when there is one and shows the new rows.
    void setData(const QString& text);

public Q_SLOTS:
    // --- entries (AppControl_entries.cpp) ---
    void createEntry();
    void deleteEntry();
    void makeNewEntry();
    void sortStart();
    void sortEnd();
    void sortSummary();
    void sortToolbar();
    void selectAll();
    /// The end of a cell edit; @p movement is how it ended (kReturnMovement for Return).
    void controlTextDidEndEditing(int movement);
    void tableViewSelectionDidChange();

    // --- the drawer (AppControl_drawer.cpp) ---
    void openDrawer();
    void drawerDidOpen();

    // --- menus (AppControl_menus.cpp) ---
    void updateTheMenus();
    void resetMenu(bool enabled);
    void windowWillClose();
    void newWindow();

    // --- help (AppControl.cpp) ---
    void helpMenuHome();
    void helpMenuSupport();
    void helpMenuBug();
    void helpMenuHelp();
    void showAbout();
    /// Opens the help at @p anchor (the general help when empty).
    void showHelpAnchor(const QString& anchor);

    // --- imports and exports (AppControl_importExport.cpp) ---
    void importFromFileICal();
    void importFromFileVCal();
    void importFromFileComma();
    void importFromFileTab();
    void importFromFile(const QString& kind);
    void importFromICal();
    void clipBoardImport();
    void exportToFile();
    void exportToVCal();
    void exportToICal();
    void exportToMail();
    void tabOutput();
    void commaOutput();
    void textOutput();
    void updateCalendarList();
    /// The column-order sheet for the rows of the last delimited split.
    void openDataInputOrder();
    void tabHelpButton();
    void commaHelpButton();

    // --- column order, record loop, expansion questions (AppControl_delimited.cpp) ---
    /// The stepper's range 1 ... number of records, the count "1 of N", the preview on record 1.
    void setRecordCount();
    void ctStepperChange();
    /// Closes the sheet, stores the column order under "commataborder" and starts the loop.
    void importOK();
    /// Closes the sheet and drops the split records: nothing is imported.
    void importCancel();
    void orderHelpButton();
    void openImportCounter();
    /// The record loop: one entry per record on a worker thread, joined to the document on the
    /// GUI thread when it ends (none when cancelled).
    void processTCData();
    /// Asks the record loop to stop after the record it is making.
    void cancelImport();
    void commaExpandYes();
    void commaExpandNo();
    void tabExpandYes();
    void tabExpandNo();
    void openNoExpandTab();
    void openExpandTab();
    void openNoExpandComma();
    void openExpandComma();
    // "To iCal", after its checks: the question for data imported from the calendar application,
    // then the append.
    void runExportToICalFile();
    void doICalExport();

    // --- invite sheet and address book (AppControl_invite.cpp) ---
    void showInviteSheet();
    void openAddressBook();
    void mailWindowMail();
    void mailWindowCancel();
    void mailTickDidChange();
    void addressAdd();
    void addressDelete();

    // --- version check (AppControl_update.cpp) ---
    void checkNewVersion();

public:
    // --- drops (AppControl_files.cpp), called by MyWindow ---
    void draggingEntered(QDragEnterEvent* event);
    void draggingUpdated(QDragMoveEvent* event);
    void draggingExited();
    void performDragOperation(QDropEvent* event);
    /// Extensions of the files the window takes (lower case), "textclipping" included.
    static QStringList acceptedDropExtensions();

    /// NSTextMovement's code for an edit ended with Return.
    static constexpr int kReturnMovement = 16;
    static constexpr int kTabMovement = 17;
    static constexpr int kBacktabMovement = 18;
    static constexpr int kOtherMovement = 0;

Q_SIGNALS:
    /// A batch of files handed to the application starts to be processed (paths in order).
    void fileBatchStarted(const QStringList& paths);
    /// Every file of the batch has been read and its entries are in the document.
    void fileBatchFinished();
    /// The record loop has ended and its entries are in the document (none when @p cancelled).
    void delimitedImportFinished(bool cancelled);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // AppControl.cpp
    void awakeMainWindow();
    void buildWindow();
    void startAutomaticVersionCheck();
    // AppControl_update.cpp
    /// The version check's window, made when first needed.
    UpdateWindow* loadUpdateNib();
    // AppControl_toolbar.cpp
    void buildToolbar();
    void fillCalendarPopup();
    void measureToolbar();
    void syncAccessibility(QAction* action);
    // AppControl_menus.cpp
    void buildMenus();
    // AppControl_drawer.cpp
    void buildDrawer();
    void setDrawerOpen(bool open);
    // AppControl_repeat.cpp — the repeat editor's hooks
    void buildRepeatEditor();
    /// Shows @p entry's row again (its repeat marker or rule changed).
    void showEntryChanged(const EntryPtr& entry);
    bool repeatEditorHasType() const;
    void setTheRRULE(const EntryPtr& entry);
    void updateRRULEDrawer(int unused);
    void blankRepeatEditor();
    // AppControl_entries.cpp
    void storeNotesInto(const EntryPtr& entry);
    void showNotesFor(const EntryPtr& entry);
    void sortBy(void (aCalendar::*sort)());
    void selectColumn(int logicalColumn, Qt::KeyboardModifiers modifiers);
    // AppControl_files.cpp
    void proceedWithProcess();
    void queueFiles(const QStringList& paths, const QString& text);
    // AppControl_invite.cpp
    /// Start-up: reads the address book (the user's unless a test gave another source).
    void setUpAddressBook();
    /// The invite sheet's "Mail" has closed the sheet: the parameters go to the mail bridge.
    void sendInvitation(const QVariantMap& parameters);
    // AppControl_importExport.cpp
    /// The checks before every export; false (after the message, with the problem rows selected)
    /// when an entry is inconsistent. @p many may hold %i for the number of problem entries.
    bool passesExportCheck(const QString& one, const QString& many);
    void runNextFileStep();
    void finishFileBatch();
    void showReadProgress(const QString& text);
    /// Writes a finished export; a failed write is named in an "Error!" alert. True when written.
    bool writeExport(const QString& path, const QByteArray& bytes);
    void processTheFile(const QString& kind, const QStringList& paths);
    void mailSheetShouldClose(int button);
    void askExpansion(bool comma);
    void saveDelimited(bool comma, bool expand);
    // AppControl_delimited.cpp
    void recordLoopEnded(bool cancelled);
    /// Disables (or enables again) the commands that change the document.
    void lockDocumentCommands(bool locked);
    void applyDocumentLock();

    std::unique_ptr<aCalendar> theCal;
    addressControl theAddressBook;
    InviteFlow* m_invite = nullptr;
    UserDefaults& prefs;
    ColumnOrder commaTabDataOrder;

    QStringList theDroppedAppList;
    int droppedCount = 0;
    bool alertWindow = false;
    bool acceptableDropFile = false;
    int deleteFired = 0;
    QAtomicInt importCancelFlag; ///< set by cancelImport(), read by the record loop
    int tableSelection = -1;
    int numberSelected = 0;
    int mainWindowCount = 0;
    double toolBarSize = 0;
    int OS102 = 0, OS103 = 0, OS104 = 0, OS105 = 0;

    // The entry the editor and notes view show (the one step 2 of a selection change writes
    // back into), held by identity so that a changed list cannot redirect the write.
    EntryPtr m_shownEntry;

    // Outlets.
    MyWindow* theWindow = nullptr;
    MyTableView* theTable = nullptr;
    EntryTableModel* m_model = nullptr;
    QPlainTextEdit* theNotes = nullptr;
    QSplitter* m_splitter = nullptr;
    QComboBox* myCalendars = nullptr;
    QWidget* m_calendarItem = nullptr;
    QWidgetAction* m_calendarAction = nullptr;
    QDockWidget* theDrawer = nullptr;
    QPointer<repeatDrawer> m_repeatEditor; // owned by the drawer
    QPointer<UpdateWindow> testUpdate; // the version check, owned by the main window
    QAction* toolbarDrawer = nullptr;
    QToolBar* m_toolbar = nullptr;
    QLabel* m_readLabel = nullptr;
    QProgressBar* m_readProgress = nullptr;
    QHash<QString, QAction*> m_toolbarActions;
    QStringList m_toolbarItems;
    QList<QAction*> m_toolbarFillers;
    QHash<MenuItem, QAction*> m_menuItems;
    std::function<QStringList()> m_calendarSource;

    // Files handed over or dropped, waiting to be read, in order; each step is one file, or a
    // run of calendar files read together off the GUI thread.
    struct FileStep
    {
        QStringList paths;
        QString text; ///< the drag's plain text, for text clippings (null: no drag)
        bool background = false;
        bool lastOfBatch = false;
    };
    QList<FileStep> m_fileSteps;
    CalendarFileReading* m_reading = nullptr;
    int m_rowsBeforeBatch = -1;
    QStringList m_batchMessages;
    QStringList m_batchUnreadable;
    bool m_batchSplitDelimited = false;

    // The delimited import under way: its sheets, the loop, the commands it disabled.
    ColumnOrderSheet* m_orderSheet = nullptr;
    ImportProgressSheet* m_importCounterWindow = nullptr;
    RecordLoop* m_recordLoop = nullptr;
    bool m_documentLocked = false;
    QList<QPointer<QAction>> m_lockedActions;
    HelpWindow* m_helpWindow = nullptr;
};
