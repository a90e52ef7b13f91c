// Comma- and tab-delimited text: the column-order sheet, the record loop and the expansion
// questions asked before a comma or tab export.
//
// A delimited import runs in two steps. The file (or a dropped one) is split into records on the
// GUI thread; the column-order sheet shows them and lets the user arrange the column order. On OK
// the records become entries on a worker thread (RecordLoop) while the progress sheet shows how
// far it has come; the entries join the document on the GUI thread when the loop has ended. From
// the moment the sheet opens until then, the commands that change the document are disabled and
// files handed to the window wait, so that nothing touches the records or the pending entries
// the worker is using.
#include "AppControl.h"
#include "ColumnOrderSheet.h"
#include "Dialogs.h"
#include "EntryTableModel.h"
#include "MyTableView.h"
#include "MyWindow.h"
#include "RecordLoop.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolBar>
#include <QWidgetAction>

namespace
{
// The questions before a comma or tab export of a calendar with repeating entries.
const QString kExpandTitle = QStringLiteral("Repeating Appointments");
const QString kCommaExpandText = QStringLiteral(
    "The calendar holds repeating appointments. Do you want every occurrence written as a line of its own in the "
    "comma-delimited file? Otherwise each repeating appointment is written once, on its first date.");
const QString kTabExpandText = QStringLiteral(
    "The calendar holds repeating appointments. Do you want every occurrence written as a line of its own in the "
    "tab-delimited file? Otherwise each repeating appointment is written once, on its first date.");
const QStringList kExpandButtons {QStringLiteral("Write Every Occurrence"), QStringLiteral("Write Once"),
                                  QStringLiteral("Cancel"), QStringLiteral("Help")};
enum ExpandAnswer { ExpandYes = 0, ExpandNo = 1, ExpandCancel = 2, ExpandHelp = 3 };
} // namespace

bool AppControl::isImporting() const
{
    return m_orderSheet || m_recordLoop;
}

// --- the column-order sheet ---

void AppControl::openDataInputOrder()
{
    // One delimited import at a time; an empty split has nothing to arrange.
    if (isImporting() || theCal->getCommaTabRowCount() == 0)
        return;
    m_orderSheet = new ColumnOrderSheet(commaTabDataOrder, *theCal, theWindow);
    connect(m_orderSheet->okButton(), &QPushButton::clicked, this, &AppControl::importOK);
    connect(m_orderSheet->cancelButton(), &QPushButton::clicked, this, &AppControl::importCancel);
    connect(m_orderSheet->helpButton(), &QPushButton::clicked, this, &AppControl::orderHelpButton);
    connect(m_orderSheet, &QDialog::rejected, this, &AppControl::importCancel);
    connect(m_orderSheet->ctStepper(), &QSpinBox::valueChanged, this, &AppControl::ctStepperChange);
    lockDocumentCommands(true);
    setRecordCount();
    m_orderSheet->open();
}

void AppControl::setRecordCount()
{
    if (!m_orderSheet)
        return;
    const int records = theCal->getCommaTabRowCount();
    QSpinBox* stepper = m_orderSheet->ctStepper();
    const QSignalBlocker quiet(stepper);
    stepper->setRange(1, std::max(1, records));
    stepper->setSingleStep(1);
    stepper->setValue(1);
    m_orderSheet->ctCount()->setText(QStringLiteral("1 of %1").arg(records));
    m_orderSheet->previewModel()->setRecord(0);
}

void AppControl::ctStepperChange()
{
    if (!m_orderSheet)
        return;
    const QSpinBox* stepper = m_orderSheet->ctStepper();
    m_orderSheet->ctCount()->setText(
        QString::asprintf("%.0f of %.0f", double(stepper->value()), double(stepper->maximum())));
    m_orderSheet->previewModel()->setRecord(stepper->value() - 1);
}

void AppControl::importOK()
{
    if (!m_orderSheet || m_recordLoop)
        return;
    ColumnOrderSheet* sheet = m_orderSheet;
    const ColumnOrder order = sheet->orderModel()->order();
    const bool header = sheet->headerRecord()->isChecked();
    sheet->detach();
    sheet->accept();
    sheet->deleteLater();
    m_orderSheet = nullptr;

    commaTabDataOrder = order;
    theCal->setCommaTabDataOrder(order);
    aCalendar::saveColumnOrder(order); // stores "commataborder" and saves the settings
    if (header)
        theCal->dropCommaTabHeader();
    processTCData();
}

void AppControl::importCancel()
{
    if (!m_orderSheet)
        return;
    ColumnOrderSheet* sheet = m_orderSheet;
    m_orderSheet = nullptr; // the sheet's rejected() comes back here: nothing more to do then
    sheet->detach();
    sheet->reject();
    sheet->deleteLater();
    theCal->clearCommaTabData();
    lockDocumentCommands(false);
    runNextFileStep();
}

void AppControl::orderHelpButton()
{
    showHelpAnchor(OS103 ? QStringLiteral("tabimportfile") : QString());
}

// --- the record loop ---

void AppControl::openImportCounter()
{
    if (!m_importCounterWindow) {
        m_importCounterWindow = new ImportProgressSheet(theWindow);
        connect(m_importCounterWindow, &ImportProgressSheet::cancelRequested, this, &AppControl::cancelImport);
    }
    m_importCounterWindow->open();
}

void AppControl::processTCData()
{
    if (m_recordLoop)
        return;
    importCancelFlag.storeRelease(0);
    lockDocumentCommands(true);
    openImportCounter();
    m_recordLoop = new RecordLoop(*theCal, commaTabDataOrder, &importCancelFlag, this);
    m_importCounterWindow->showProgress(0, m_recordLoop->total());
    connect(m_recordLoop, &RecordLoop::progress, m_importCounterWindow, &ImportProgressSheet::showProgress);
    connect(
        m_recordLoop, &RecordLoop::finished, this, [this](bool cancelled) { recordLoopEnded(cancelled); },
        Qt::QueuedConnection);
    m_recordLoop->start();
}

void AppControl::cancelImport()
{
    importCancelFlag.storeRelease(1);
}

void AppControl::recordLoopEnded(bool cancelled)
{
    RecordLoop* loop = m_recordLoop;
    m_recordLoop = nullptr;
    loop->deleteWhenDone();
    // A Cancel pressed after the last record, before this ran, still means "import nothing".
    cancelled = cancelled || importCancelFlag.loadAcquire();
    if (cancelled)
        theCal->clearPendingData();
    else
        theCal->addPendingData();
    theCal->clearCommaTabData();
    lockDocumentCommands(false);
    updateTheMenus();
    m_importCounterWindow->showProgress(0, 0);
    m_importCounterWindow->hide();
    reloadData(!cancelled);
    Q_EMIT delimitedImportFinished(cancelled);
    // Files handed over meanwhile are read now.
    runNextFileStep();
}

// --- what the import disables meanwhile ---

void AppControl::lockDocumentCommands(bool locked)
{
    if (m_documentLocked == locked)
        return;
    m_documentLocked = locked;
    if (locked) {
        applyDocumentLock();
        return;
    }
    for (const QPointer<QAction>& action : std::as_const(m_lockedActions)) {
        if (action)
            action->setEnabled(true);
    }
    m_lockedActions.clear();
    if (myCalendars)
        myCalendars->setEnabled(myCalendars->count() > 1);
    updateTheMenus();
}

void AppControl::applyDocumentLock()
{
    if (!m_documentLocked)
        return;
    QList<QAction*> actions;
    for (MenuItem item :
         {MenuItem::NewEntry,       MenuItem::ImportICalFile,  MenuItem::ImportVCalFile,  MenuItem::ImportCommaFile,
          MenuItem::ImportTabFile,  MenuItem::ImportClipboard, MenuItem::ImportICal,      MenuItem::ExportICalFile,
          MenuItem::ExportVCalFile, MenuItem::ExportTabFile,   MenuItem::ExportCommaFile, MenuItem::ExportTextFile,
          MenuItem::ExportICal,     MenuItem::ExportMail,      MenuItem::SendInvitation,  MenuItem::RefreshCalendars,
          MenuItem::Paste,          MenuItem::Delete,          MenuItem::SelectAll,       MenuItem::Drawer,
          MenuItem::SortStart,      MenuItem::SortEnd,         MenuItem::SortSummary,     MenuItem::SortColumn})
        actions << menuItem(item);
    for (auto it = m_toolbarActions.cbegin(); it != m_toolbarActions.cend(); ++it)
        actions << it.value();
    actions << m_calendarAction;
    for (QAction* action : std::as_const(actions)) {
        if (!action || !action->isEnabled())
            continue;
        if (!m_lockedActions.contains(action))
            m_lockedActions << action;
        action->setEnabled(false);
    }
    if (myCalendars)
        myCalendars->setEnabled(false);
}

// --- the expansion questions ---

void AppControl::askExpansion(bool comma)
{
    Dialogs::ask(theWindow, kExpandTitle, comma ? kCommaExpandText : kTabExpandText, kExpandButtons,
                 [this, comma](int answer) {
                     switch (answer) {
                     case ExpandYes:
                         comma ? commaExpandYes() : tabExpandYes();
                         break;
                     case ExpandNo:
                         comma ? commaExpandNo() : tabExpandNo();
                         break;
                     case ExpandHelp:
                         // The help opens beside the question, which is asked again.
                         comma ? commaHelpButton() : tabHelpButton();
                         askExpansion(comma);
                         break;
                     default:
                         alertWindow = false;
                         break;
                     }
                 });
}

void AppControl::commaExpandYes()
{
    openExpandComma();
}

void AppControl::commaExpandNo()
{
    openNoExpandComma();
}

void AppControl::tabExpandYes()
{
    openExpandTab();
}

void AppControl::tabExpandNo()
{
    openNoExpandTab();
}

void AppControl::openNoExpandTab()
{
    saveDelimited(false, false);
}

void AppControl::openExpandTab()
{
    saveDelimited(false, true);
}

void AppControl::openNoExpandComma()
{
    saveDelimited(true, false);
}

void AppControl::openExpandComma()
{
    saveDelimited(true, true);
}
