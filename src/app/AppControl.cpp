// Start-up, alerts, reading texts into the document, quit and help.
#include "AppControl.h"

#include "Accessibility.h"
#include "CalDavWindow.h"
#include "Dialogs.h"
#include "EntryTableModel.h"
#include "FileReading.h"
#include "HelpWindow.h"
#include "Icons.h"
#include "MyTableView.h"
#include "MyWindow.h"
#include "RecordLoop.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "updateCheck/updateTest.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFileInfo>
#include <QFileOpenEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

namespace
{
const QString kSystemVersionPath = QStringLiteral("/System/Library/CoreServices/SystemVersion.plist");
const QString kHomePage = QStringLiteral("https://www.quenlor.example/tidewell/");
const QString kBugAddress = QStringLiteral("bugs@quenlor.example");
const QString kColumnLayoutKey = QStringLiteral("TidewellCol");
const QString kWindowGeometryKey = QStringLiteral("windowGeometry");

// Neither pane of the split view can be made smaller than this.
constexpr int kSplitMinimum = 100;

/// Tells the controller how each edit of an entry cell ended (Return, Tab, ...).
class EntryDelegate : public QStyledItemDelegate
{
public:
    EntryDelegate(AppControl* control, QObject* parent)
        : QStyledItemDelegate(parent)
    {
        connect(this, &QAbstractItemDelegate::closeEditor, control, [control](QWidget*, EndEditHint hint) {
            switch (hint) {
            case SubmitModelCache:
                control->controlTextDidEndEditing(AppControl::kReturnMovement);
                break;
            case EditNextItem:
                control->controlTextDidEndEditing(AppControl::kTabMovement);
                break;
            case EditPreviousItem:
                control->controlTextDidEndEditing(AppControl::kBacktabMovement);
                break;
            default:
                control->controlTextDidEndEditing(AppControl::kOtherMovement);
                break;
            }
        });
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        const QString title = index.model()->headerData(index.column(), Qt::Horizontal).toString();
        editor->setAccessibleName(title);
        return editor;
    }
};
} // namespace

AppControl::AppControl(QObject* parent)
    : QObject(parent)
    , theCal(std::make_unique<aCalendar>())
    , prefs(UserDefaults::standard())
{
    theCal->setTheController(this);
    Accessibility::install();
}

AppControl::~AppControl()
{
    // The worker (if any) finishes its file before the document it would join goes away.
    delete m_reading;
    m_reading = nullptr;
    // A record loop still running stops after its record; its entries go with the document.
    importCancelFlag.storeRelease(1);
    delete m_recordLoop;
    m_recordLoop = nullptr;
    delete m_helpWindow;
    delete theWindow;
}

void AppControl::awakeFromNib()
{
    // Only the first call builds the window; the invite sheet, made later, fills its own fields
    // from the address book and the calendar list (AppControl_invite.cpp).
    if (mainWindowCount == 10)
        return;
    theDroppedAppList.clear();
    droppedCount = 0;
    acceptableDropFile = false;
    awakeMainWindow();
    if (!prefs.contains(QStringLiteral("versionCheck"))) {
        prefs.setValue(QStringLiteral("versionCheck"), QStringLiteral("0"));
        prefs.sync();
    }
    if (prefs.string(QStringLiteral("versionCheck")) == QLatin1String("0"))
        startAutomaticVersionCheck();
}

void AppControl::buildWindow()
{
    theWindow = new MyWindow(this);
    theWindow->setObjectName(QStringLiteral("Tidewell"));
    theWindow->setWindowIcon(Icons::own(QStringLiteral("tidewell")));
    theWindow->setAccessibleName(QStringLiteral("Tidewell"));

    m_model = new EntryTableModel(*theCal, this);
    theTable = new MyTableView;
    theTable->setObjectName(QStringLiteral("theTable"));
    theTable->setModel(m_model);
    theTable->setItemDelegate(new EntryDelegate(this, theTable));
    theTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    theTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    theTable->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                              | QAbstractItemView::SelectedClicked);
    theTable->setWordWrap(false);
    theTable->setAlternatingRowColors(true);
    theTable->setCornerButtonEnabled(false);
    theTable->setTabKeyNavigation(true);
    theTable->verticalHeader()->hide();
    theTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    theTable->verticalHeader()->setDefaultSectionSize(theTable->fontMetrics().height() + 8);
    QHeaderView* header = theTable->horizontalHeader();
    header->setSectionsMovable(true);
    header->setHighlightSections(true);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    // The summary takes the width the other columns leave.
    header->setSectionResizeMode(EntryTableModel::Summary, QHeaderView::Stretch);
    header->setMinimumSectionSize(40);
    const int widths[EntryTableModel::ColumnCount] = {90, 100, 90, 100, 340, 64};
    for (int c = 0; c < EntryTableModel::ColumnCount; ++c)
        header->resizeSection(c, widths[c]);
    theTable->setAccessibleName(QStringLiteral("Appointments"));
    theWindow->theTable = theTable;

    theNotes = new QPlainTextEdit;
    theNotes->setObjectName(QStringLiteral("theNotes"));
    theNotes->setAcceptDrops(false);
    theNotes->setToolTip(QStringLiteral("Notes of the selected appointment"));
    theNotes->setAccessibleName(QStringLiteral("Notes"));
    theNotes->setAccessibleDescription(theNotes->toolTip());
    auto* notesLabel = new QLabel(QStringLiteral("&Notes"));
    notesLabel->setBuddy(theNotes);
    auto* notesPane = new QWidget;
    auto* notesLayout = new QVBoxLayout(notesPane);
    notesLayout->setContentsMargins(0, 4, 0, 0);
    notesLayout->setSpacing(2);
    notesLayout->addWidget(notesLabel);
    notesLayout->addWidget(theNotes);

    m_splitter = new QSplitter(Qt::Vertical);
    m_splitter->setObjectName(QStringLiteral("splitView"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(theTable);
    m_splitter->addWidget(notesPane);
    theTable->setMinimumHeight(kSplitMinimum);
    notesPane->setMinimumHeight(kSplitMinimum);
    m_splitter->setStretchFactor(0, 4);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({440, 120});
    theWindow->setCentralWidget(m_splitter);

    m_readLabel = new QLabel;
    m_readProgress = new QProgressBar;
    m_readProgress->setRange(0, 0);
    m_readProgress->setMaximumWidth(160);
    m_readProgress->setAccessibleName(QStringLiteral("Reading"));
    m_readProgress->hide();
    theWindow->statusBar()->addWidget(m_readLabel, 1);
    theWindow->statusBar()->addPermanentWidget(m_readProgress);
    connect(m_model, &EntryTableModel::editRejected, theWindow,
            [this](const QString& reason) { theWindow->statusBar()->showMessage(reason, 8000); });

    theWindow->resize(960, 640);
    theWindow->restoreGeometry(prefs.value(kWindowGeometryKey).toByteArray());
}

void AppControl::awakeMainWindow()
{
    // 1. the image cell of the repeat column (the model's) and the toolbar
    buildWindow();
    buildToolbar();
    buildDrawer();

    // 2. the column order of delimited text; the document stored the default at first start
    commaTabDataOrder = theCal->getCommaTabDataOrder();

    // 3. the entry table's rows are not dragged; no direct import is under way
    theTable->setDragEnabled(false);
    theCal->setDirectiCalImport(false);

    // 4. the column layout, saved whenever the user moves or resizes a column
    QHeaderView* header = theTable->horizontalHeader();
    header->restoreState(prefs.value(kColumnLayoutKey).toByteArray());
    auto* saveLayout = new QTimer(this);
    saveLayout->setSingleShot(true);
    saveLayout->setInterval(400);
    connect(saveLayout, &QTimer::timeout, this, [this] {
        prefs.setValue(kColumnLayoutKey, theTable->horizontalHeader()->saveState());
        prefs.sync();
    });
    connect(header, &QHeaderView::sectionMoved, saveLayout, qOverload<>(&QTimer::start));
    connect(header, &QHeaderView::sectionResized, saveLayout, qOverload<>(&QTimer::start));
    connect(theTable, &MyTableView::headerClicked, this, &AppControl::selectColumn);

    // 5.
    setOSVersion();
    mainWindowCount = 10;
    deleteFired = 0;

    // 6. the table has the keyboard; the notes wait for a selected entry
    theTable->setFocus();
    theNotes->setReadOnly(true);
    theNotes->setTextInteractionFlags(Qt::NoTextInteraction);

    // 7.
    buildMenus();

    // 8. the calendar pop-up; the CalDAV accounts' calendars join it once they have been found
    CalDavWindow::install(*this);
    fillCalendarPopup();

    // 10. how each cell edit ends is reported by the table's delegate; selection changes
    connect(theTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &AppControl::tableViewSelectionDidChange);

    // 11.
    const QString tip = QStringLiteral("Appointment data. Time format = 14") + theCal->getShortTimeFormatSeparator()
        + QStringLiteral("40 and date format = ") + theCal->getShortDateFormat();
    theTable->setToolTip(tip);
    theTable->setAccessibleDescription(tip);

    // 12. the formats are the model's; the toolbar (built above) is measured once shown
    measureToolbar();

    // 13.
    tableSelection = -1;
    numberSelected = 0;
    m_shownEntry.reset();
    updateTheMenus();
    setUpAddressBook();
}

void AppControl::applicationDidFinishLaunching()
{
    // The window takes file names, rich text and plain text (MyWindow accepts every drag and
    // asks draggingEntered()).
    theWindow->setAcceptDrops(true);
    theWindow->show();
    theWindow->raise();
    theWindow->activateWindow();
    measureToolbar();
    qApp->installEventFilter(this);
}

void AppControl::applicationWillTerminate()
{
    if (myCalendars) {
        // A calendar chosen last time that is not listed now (a CalDAV account's calendars not
        // found yet, a server away) stays the choice for next time instead of becoming "No iCal".
        const QString saved = prefs.string(QStringLiteral("calendar"));
        const bool savedMissing = myCalendars->currentIndex() <= 0 && myCalendars->findText(saved) < 0;
        if (!savedMissing)
            prefs.setValue(QStringLiteral("calendar"), myCalendars->currentText());
    }
    if (theTable)
        prefs.setValue(kColumnLayoutKey, theTable->horizontalHeader()->saveState());
    if (theWindow)
        prefs.setValue(kWindowGeometryKey, theWindow->saveGeometry());
    prefs.sync();
}

bool AppControl::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FileOpen && watched == qApp) {
        const QString path = static_cast<QFileOpenEvent*>(event)->file();
        if (!path.isEmpty())
            applicationOpenFile(path);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

bool AppControl::setOSVersion(const QString& path)
{
    const QString file = path.isEmpty() ? kSystemVersionPath : path;
    if (!QFileInfo::exists(file)) {
        // No such system file: the platform layer stands in for what the flags guard.
        OS102 = OS103 = OS104 = OS105 = 1;
        return true;
    }
    OS102 = OS103 = OS104 = OS105 = 0;
    const std::optional<PropertyList::Node> plist = PropertyList::parseFile(file);
    if (!plist || !plist->isDict())
        return true;
    const QStringList parts = plist->value(QStringLiteral("ProductVersion")).toString().split(QLatin1Char('.'));
    if (parts.size() < 2)
        return true;
    const int major = parts.at(0).toInt();
    const int minor = parts.at(1).toInt();
    if (major > 10 || (major == 10 && minor > 4)) {
        OS102 = OS103 = OS104 = OS105 = 1;
    } else if (major == 10) {
        OS102 = minor >= 2;
        OS103 = minor >= 3;
        OS104 = minor >= 4;
    }
    return true;
}

QVariantMap AppControl::getProgDict() const
{
    // The published version file, or the address the setting "versionURL" names.
    return updateTest::programDictionary();
}

void AppControl::errorMessage(const QString& text)
{
    Dialogs::message(theWindow, QStringLiteral("Error!"), text);
}

void AppControl::warningMessage(const QString& text)
{
    Dialogs::message(theWindow, QStringLiteral("Warning!"), text);
}

void AppControl::setData(const QString& text)
{
    const int before = theCal->entryCount();
    if (before == 1 && theCal->getEntryAtIndex(0)->getCheck() == QLatin1String("X"))
        theTable->clearSelection(); // the reader drops an untouched lone entry
    const QString message = theCal->setData(text);
    if (!message.isEmpty())
        warningMessage(message);
    reloadData(true);
}

void AppControl::helpMenuHome()
{
    QDesktopServices::openUrl(QUrl(kHomePage));
}

void AppControl::helpMenuSupport()
{
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + aCalendar::supportAddress()));
}

void AppControl::helpMenuBug()
{
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("mailto:%1?subject=%2").arg(kBugAddress, QStringLiteral("Tidewell%20bug%20report"))));
}

void AppControl::helpMenuHelp()
{
    showHelpAnchor(QString());
}

void AppControl::showHelpAnchor(const QString& anchor)
{
    if (!m_helpWindow)
        m_helpWindow = new HelpWindow; // usable beside an open sheet; deleted with the controller
    m_helpWindow->showAnchor(anchor);
}

HelpWindow* AppControl::helpWindow() const
{
    return m_helpWindow;
}

void AppControl::showAbout()
{
    Dialogs::message(theWindow, QStringLiteral("About Tidewell"),
                     QStringLiteral("Tidewell %1\n\nConverts and edits appointment calendars: iCalendar, vCalendar, "
                                    "comma- and tab-delimited text and appointments written in plain words.\n\n%2")
                         .arg(QCoreApplication::applicationVersion(), kHomePage));
}
