// Import and export commands.
//
// Imports: iCalendar, vCalendar, comma and tab files (several files chosen together are read as
// one text, in the panel's order), a calendar of the calendar application or of a CalDAV account
// (through CalDavWindow, without the window waiting), the clipboard.
// Exports: iCalendar and vCalendar files, tab, comma and readable text lists, an append to a
// calendar of the calendar application, and mail (the file, or an invitation). Every export first
// settles the table (the repeat editor and the notes write back into their entry) and checks every
// entry; after a failed check the problem rows are selected. Files are written whole or not at
// all (SafeFile), in the bytes the command-line tool writes: UTF-8, vCalendar in Mac OS Roman.
// The column-order sheet and the expansion questions are in AppControl_delimited.cpp.
#include "AppControl.h"
#include "CalDavWindow.h"
#include "Dialogs.h"
#include "EntryTableModel.h"
#include "FileReading.h"
#include "MyTableView.h"
#include "MyWindow.h"
#include "formats/repeatList.h"
#include "platform/Desktop.h"
#include "platform/Encoding.h"
#include "platform/SafeFile.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMimeData>
#include <QToolBar>

#include <numeric>

namespace
{
const QString kFinishesBeforeStarts = QStringLiteral("The list contains an event that finishes before it starts!");
const QString kListChanged = QStringLiteral("The calendar list has changed and your selected calendar is no longer "
                                            "available.  Please select a new calendar for your export.");

/// Reads the chosen files, in order, into one text; files that cannot be read are named in
/// @p unreadable ("PATH: reason") and contribute nothing.
QString readAsOneText(const QStringList& paths, Encoding::Fallback fallback, QStringList* unreadable)
{
    QString text;
    for (const QString& path : paths) {
        QByteArray bytes;
        QString error;
        if (!FileReading::readBytes(path, &bytes, &error)) {
            *unreadable << error;
            continue;
        }
        if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')) && !text.endsWith(QLatin1Char('\r')))
            text += QStringLiteral("\r\n");
        text += Encoding::decode(bytes, fallback);
    }
    return text;
}

QString unreadableMessage(const QStringList& unreadable)
{
    return (unreadable.size() == 1 ? QStringLiteral("This file could not be read:\n")
                                   : QStringLiteral("These files could not be read:\n"))
        + unreadable.join(QLatin1Char('\n'));
}

/// The expansion's notes (rules without an end, occurrences left out) as lines for an alert.
QString expansionNotes(const QString& warnings)
{
    QString notes = warnings.trimmed();
    notes.replace(QLatin1String("\r\r"), QLatin1String("\n"));
    notes.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return notes;
}
} // namespace

// --- imports ---

void AppControl::importFromFileICal()
{
    importFromFile(QStringLiteral("ical"));
}

void AppControl::importFromFileVCal()
{
    importFromFile(QStringLiteral("vcal"));
}

void AppControl::importFromFileComma()
{
    importFromFile(QStringLiteral("comma"));
}

void AppControl::importFromFileTab()
{
    importFromFile(QStringLiteral("tab"));
}

void AppControl::importFromFile(const QString& kind)
{
    if (isImporting())
        return;
    QString title;
    QStringList filters;
    if (kind == QLatin1String("tab")) {
        title = QStringLiteral("Import tab-delimited file");
        filters << QStringLiteral("Tab-delimited text (*.txt *.TXT)");
    } else if (kind == QLatin1String("comma")) {
        title = QStringLiteral("Import comma-delimited file");
        filters << QStringLiteral("Comma-delimited text (*.csv *.CSV *.txt *.TXT)");
    } else if (kind == QLatin1String("ical")) {
        title = QStringLiteral("Import from iCal file");
        filters << QStringLiteral("iCalendar files (*.ics *.ICS)");
    } else {
        title = QStringLiteral("Import from vCal file");
        filters << QStringLiteral("vCalendar files (*.vcal *.VCAL *.vcs *.VCS)");
    }
    Dialogs::openFiles(theWindow, title, filters,
                       [this, kind](const QStringList& paths) { processTheFile(kind, paths); });
}

void AppControl::processTheFile(const QString& kind, const QStringList& paths)
{
    if (paths.isEmpty() || isImporting())
        return;
    QStringList unreadable;
    const bool delimited = kind == QLatin1String("tab") || kind == QLatin1String("comma");
    const QString text = readAsOneText(
        paths, kind == QLatin1String("vcal") ? Encoding::Fallback::MacRoman : Encoding::Fallback::Windows1252,
        &unreadable);
    // Files that could not be read are named; the others are imported all the same.
    if (!unreadable.isEmpty())
        warningMessage(unreadableMessage(unreadable));
    if (text.isEmpty())
        return;
    if (delimited) {
        theCal->processCT(text, kind == QLatin1String("tab") ? QStringLiteral("\t") : QStringLiteral(","));
        openDataInputOrder();
    } else {
        theCal->setTheFileSource(paths.first());
        setData(text);
        updateTheMenus();
    }
}

void AppControl::importFromICal()
{
    if (isImporting())
        return;
    // 1. the notes typed for the selected entry are kept
    if (tableSelection >= 0 && numberSelected == 1)
        storeNotesInto(m_shownEntry);
    const QString title = myCalendars->currentText();
    if (myCalendars->currentIndex() <= 0) {
        errorMessage(QStringLiteral("Please select a calendar for import."));
        if (m_toolbar->isHidden())
            m_toolbar->show(); // the pop-up lives there
    } else if (!theCal->calListOK(title)) {
        errorMessage(kListChanged);
        alertWindow = false;
        updateCalendarList(); // without the calendar that has gone
    } else if (CalDavWindow::isCalDavCalendar(title)) {
        // A calendar of a CalDAV account comes over the network, without the window waiting.
        CalDavWindow::importCalendar(*this, title);
    } else {
        const QString path = theCal->getCalendar104Path(title);
        QByteArray bytes;
        QString error;
        if (path.isEmpty()) {
            errorMessage(kListChanged);
        } else if (!FileReading::readBytes(path, &bytes, &error)) {
            errorMessage(error);
        } else {
            // The calendar application writes UTF-8; anything else is read as 8-bit text.
            setData(Encoding::decode(bytes, Encoding::Fallback::Windows1252));
            updateTheMenus();
        }
    }
    theCal->setDirectiCalImport(true);
}

void AppControl::clipBoardImport()
{
    if (isImporting())
        return;
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime || !mime->hasText())
        return;
    theCal->processDateString(mime->text());
    reloadData(true);
    updateTheMenus();
}

// --- the checks every export makes ---

bool AppControl::passesExportCheck(const QString& one, const QString& many)
{
    alertWindow = true;
    reloadData();
    theTable->clearSelection(); // writes the editor and the notes back into their entry
    if (theCal->dataCheck())
        return true;
    alertWindow = false;
    const int problems = int(theCal->getTheProblemEntries().size());
    if (theCal->entryCount() == 0)
        errorMessage(QStringLiteral("There are no appointments to export."));
    else
        errorMessage(problems == 1 || !many.contains(QLatin1String("%i"))
                         ? one
                         : QString(many).replace(QLatin1String("%i"), QString::number(problems)));
    QList<int> rows;
    for (int i = 0; i < problems; ++i)
        rows << theCal->getIntForTheProblemEntryNumber(i);
    selectRows(rows, true);
    if (!rows.isEmpty())
        theTable->scrollTo(m_model->index(rows.first(), 0));
    return false;
}

bool AppControl::writeExport(const QString& path, const QByteArray& bytes)
{
    QString error;
    if (SafeFile::writeFile(path, bytes, &error))
        return true;
    errorMessage(error);
    return false;
}

/// The name a save panel suggests: the calendar's name with the extension.
static QString suggestedName(const aCalendar& doc, const QString& extension)
{
    const QString name = doc.getCalName();
    return (name.isEmpty() ? QStringLiteral("Calendar") : name) + QLatin1Char('.') + extension;
}

// --- file exports ---

void AppControl::exportToFile()
{
    if (isImporting())
        return;
    if (!passesExportCheck(QStringLiteral("The list contains an error such as an event that finish before it starts, "
                                          "or an event that have no duration! The problem entry is highlighted, "
                                          "please scroll to find it and either delete it or change the times."),
                           QStringLiteral("The list contains %i errors, such as events that finish before they "
                                          "start, or events that have no duration! Problem entries are highlighted, "
                                          "please scroll to find them and either delete them or change the times.")))
        return;
    Dialogs::saveFile(theWindow, QStringLiteral("Export to iCal file"), suggestedName(*theCal, QStringLiteral("ics")),
                      {QStringLiteral("ics")}, [this](const QString& path) {
                          alertWindow = false;
                          if (path.isEmpty())
                              return;
                          writeExport(path, theCal->createICalBytes(theCal->getTheData(), &path));
                      });
}

void AppControl::exportToVCal()
{
    if (isImporting())
        return;
    if (!passesExportCheck(kFinishesBeforeStarts, QString()))
        return;
    Dialogs::saveFile(theWindow, QStringLiteral("Export to vCal File"), suggestedName(*theCal, QStringLiteral("vcal")),
                      {QStringLiteral("vcal")}, [this](const QString& path) {
                          alertWindow = false;
                          if (path.isEmpty())
                              return;
                          QString problem;
                          const QByteArray bytes = theCal->createVCalBytes(theCal->getTheData(), &problem);
                          if (!problem.isEmpty()) {
                              // The writer's message instead of a calendar: nothing is written.
                              errorMessage(problem);
                              return;
                          }
                          writeExport(path, bytes);
                      });
}

// --- lists ---

void AppControl::tabOutput()
{
    if (isImporting() || !passesExportCheck(kFinishesBeforeStarts, QString()))
        return;
    if (theCal->containsRepeats())
        askExpansion(false);
    else
        openNoExpandTab();
}

void AppControl::commaOutput()
{
    if (isImporting() || !passesExportCheck(kFinishesBeforeStarts, QString()))
        return;
    if (theCal->containsRepeats())
        askExpansion(true);
    else
        openNoExpandComma();
}

void AppControl::saveDelimited(bool comma, bool expand)
{
    const QString extension = comma ? QStringLiteral("csv") : QStringLiteral("txt");
    const QString title
        = comma ? QStringLiteral("Export to comma-delimited file") : QStringLiteral("Export to tab-delimited file");
    Dialogs::saveFile(theWindow, title, suggestedName(*theCal, extension), {extension},
                      [this, comma, expand](const QString& path) {
                          alertWindow = false;
                          if (path.isEmpty())
                              return;
                          // The columns in the order the table shows them.
                          const QStringList columns = displayedColumnIdentifiers();
                          QString notes;
                          QByteArray bytes;
                          if (expand) {
                              // Written from the expansion's rows: its copies are never made.
                              const repeatList expanded(theCal->getTheData());
                              notes = expansionNotes(expanded.getWarningString());
                              QList<qsizetype> rows(expanded.size());
                              std::iota(rows.begin(), rows.end(), qsizetype(0));
                              bytes = theCal->delimitedListBytes(expanded, std::move(rows), columns, !comma,
                                                                 aCalendar::ListOptions());
                          } else {
                              bytes = (comma ? theCal->theCommaOut(theCal->getTheData(), columns)
                                             : theCal->theTabOut(theCal->getTheData(), columns))
                                          .toUtf8();
                          }
                          // What the expansion had to cut short is said, not left for the user to find.
                          if (writeExport(path, bytes) && !notes.isEmpty())
                              warningMessage(notes);
                      });
}

void AppControl::textOutput()
{
    if (isImporting() || !passesExportCheck(kFinishesBeforeStarts, QString()))
        return;
    Dialogs::saveFile(theWindow, QStringLiteral("Export to text file"), suggestedName(*theCal, QStringLiteral("txt")),
                      {QStringLiteral("txt")}, [this](const QString& path) {
                          alertWindow = false;
                          if (path.isEmpty())
                              return;
                          writeExport(path, theCal->textOutput().toUtf8());
                      });
}

// --- the calendar application ---

void AppControl::exportToICal()
{
    if (isImporting())
        return;
    // 1.
    alertWindow = true;
    reloadData();
    theTable->clearSelection();
    // 2. to 4.; every stop ends the export (the table takes new entries again)
    if (!OS102) {
        errorMessage(
            QStringLiteral("It is not possible to export to iCal unless you are running Mac OS X 10.2 or greater"));
        alertWindow = false;
        return;
    }
    if (myCalendars->currentIndex() <= 0) {
        errorMessage(QStringLiteral("Please select a calendar for export."));
        if (m_toolbar->isHidden())
            m_toolbar->show();
        alertWindow = false;
        return;
    }
    if (!theCal->calListOK(myCalendars->currentText())) {
        errorMessage(kListChanged);
        alertWindow = false;
        updateCalendarList();
        return;
    }
    // 5.
    if (!passesExportCheck(kFinishesBeforeStarts, QString()))
        return;
    runExportToICalFile();
}

void AppControl::runExportToICalFile()
{
    if (!theCal->getDirectiCalImport()) {
        doICalExport();
        return;
    }
    Dialogs::ask(theWindow, QStringLiteral("Warning! Danger!"),
                 QStringLiteral("You are about to send data back to iCal that was imported directly from iCal. Doing "
                                "this may result in duplicate entries for some appointments.  Do you wish to proceed?"),
                 {QStringLiteral("Export to iCal"), QStringLiteral("Cancel")}, [this](int answer) {
                     if (answer == 0) {
                         doICalExport();
                         theCal->setDirectiCalImport(false);
                     } else {
                         alertWindow = false;
                     }
                 });
}

void AppControl::doICalExport()
{
    const QVariantMap parameters {{QStringLiteral("theCalendar"), myCalendars->currentText()},
                                  {QStringLiteral("sort"), QStringLiteral("1")}};
    if (CalDavWindow::isCalDavCalendar(myCalendars->currentText())) {
        // A CalDAV calendar: one new event per entry, without the window waiting.
        CalDavWindow::appendToCalendar(*this, parameters, [this] { alertWindow = false; });
        return;
    }
    // The append waits (a few seconds at most) for the calendar application to quit.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool wasRunning = aCalendar::quitCalendarApp();
    const bool written = theCal->appendEntryToiCalFile(parameters);
    if (wasRunning)
        aCalendar::relaunchCalendarApp();
    QApplication::restoreOverrideCursor();
    if (!written)
        errorMessage(QStringLiteral("Export failed"));
    alertWindow = false;
}

// --- mail ---

void AppControl::exportToMail()
{
    if (isImporting() || !passesExportCheck(kFinishesBeforeStarts, QString()))
        return;
    Dialogs::ask(theWindow, QStringLiteral("Export to Mail"),
                 QStringLiteral("Do you want to invite specific people to the meeting or just send the file?"),
                 {QStringLiteral("Send Invitation"), QStringLiteral("Send File"), QStringLiteral("Cancel")},
                 [this](int button) { mailSheetShouldClose(button); });
}

void AppControl::mailSheetShouldClose(int button)
{
    reloadData();
    theTable->clearSelection();
    alertWindow = false;
    if (button == 1) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QString message = theCal->sendCalendarToMail();
        QApplication::restoreOverrideCursor();
        if (!message.isEmpty())
            errorMessage(message);
    } else if (button == 0) {
        showInviteSheet();
    }
}

// --- the calendar pop-up ---

void AppControl::updateCalendarList()
{
    const QString chosen = myCalendars->currentText();
    QStringList names;
    if (m_calendarSource) {
        names = m_calendarSource();
        theCal->setCalArray(&names);
    } else {
        theCal->setCalArray(nullptr);
        names = theCal->getTheCalArray();
    }
    myCalendars->clear();
    myCalendars->addItem(QStringLiteral("No iCal"));
    myCalendars->addItems(names);
    myCalendars->setEnabled(!names.isEmpty() && !m_documentLocked);
    const int again = int(names.indexOf(chosen));
    myCalendars->setCurrentIndex(again >= 0 ? again + 1 : 0);
}

// --- help ---

void AppControl::tabHelpButton()
{
    showHelpAnchor(OS103 ? QStringLiteral("tabfileexport") : QString());
}

void AppControl::commaHelpButton()
{
    showHelpAnchor(OS103 ? QStringLiteral("commafileexport") : QString());
}
