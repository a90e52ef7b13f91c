// Import and export commands.
//
// What is here: the file imports of iCalendar and vCalendar files, the clipboard import, the
// iCalendar and vCalendar file exports with the checks every export makes, the calendar list, and
// the import from and export to a calendar (the calendar application's, or a CalDAV account's
// through CalDavWindow). The delimited imports stop after splitting the rows (openDataInputOrder()
// is the column-order sheet); the list exports and the mail export are still to be written and do
// nothing yet.
#include "AppControl.h"
#include "CalDavWindow.h"
#include "Dialogs.h"
#include "EntryTableModel.h"
#include "FileReading.h"
#include "MyTableView.h"
#include "MyWindow.h"
#include "platform/Desktop.h"
#include "platform/Encoding.h"
#include "platform/SafeFile.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QMimeData>
#include <QToolBar>

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
        if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
            text += QStringLiteral("\r\n");
        text += Encoding::decode(bytes, fallback);
    }
    return text;
}
} // namespace

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
    Dialogs::openFiles(theWindow, title, filters, [this, kind](const QStringList& paths) {
        if (paths.isEmpty())
            return;
        QStringList unreadable;
        const bool delimited = kind == QLatin1String("tab") || kind == QLatin1String("comma");
        const QString text = readAsOneText(
            paths, kind == QLatin1String("vcal") ? Encoding::Fallback::MacRoman : Encoding::Fallback::Windows1252,
            &unreadable);
        if (!unreadable.isEmpty())
            warningMessage((unreadable.size() == 1 ? QStringLiteral("This file could not be read:\n")
                                                   : QStringLiteral("These files could not be read:\n"))
                           + unreadable.join(QLatin1Char('\n')));
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
    });
}

void AppControl::importFromICal()
{
    // 1.
    if (m_shownEntry)
        storeNotesInto(m_shownEntry);
    const QString title = myCalendars->currentText();
    if (myCalendars->currentIndex() <= 0) {
        // 2. the placeholder; the pop-up lives on the toolbar
        errorMessage(QStringLiteral("Please select a calendar for import."));
        if (!m_toolbar->isVisible())
            m_toolbar->show();
    } else if (!theCal->calListOK(title)) {
        // 3.
        errorMessage(kListChanged);
        alertWindow = false;
    } else if (CalDavWindow::isCalDavCalendar(title)) {
        // 4. a calendar of a CalDAV account comes over the network, without the window waiting
        CalDavWindow::importCalendar(*this, title);
    } else {
        // 4.
        const QString path = OS104 ? theCal->getCalendar104Path(title)
                                   : Desktop::libraryFolder() + QStringLiteral("/Calendars/%1.ics").arg(title);
        QByteArray bytes;
        QString error;
        if (FileReading::readBytes(path, &bytes, &error)) {
            setData(Encoding::decode(bytes, Encoding::Fallback::Windows1252));
            updateTheMenus();
        } else {
            errorMessage(error);
        }
    }
    // 5.
    theCal->setDirectiCalImport(true);
}

void AppControl::clipBoardImport()
{
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime || !mime->hasText())
        return;
    theCal->processDateString(mime->text());
    reloadData(true);
    updateTheMenus();
}

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

void AppControl::exportToFile()
{
    if (!passesExportCheck(QStringLiteral("The list contains an error such as an event that finish before it starts, "
                                          "or an event that have no duration! The problem entry is highlighted, "
                                          "please scroll to find it and either delete it or change the times."),
                           QStringLiteral("The list contains %i errors, such as events that finish before they "
                                          "start, or events that have no duration! Problem entries are highlighted, "
                                          "please scroll to find them and either delete them or change the times.")))
        return;
    const QString name = theCal->getCalName().isEmpty() ? QStringLiteral("Calendar.ics")
                                                        : theCal->getCalName() + QStringLiteral(".ics");
    Dialogs::saveFile(theWindow, QStringLiteral("Export to iCal file"), name, {QStringLiteral("ics")},
                      [this](const QString& path) {
                          alertWindow = false;
                          if (path.isEmpty())
                              return;
                          const QString text = theCal->createICalString(theCal->getTheData(), path);
                          QString error;
                          if (!SafeFile::writeFile(path, text.toUtf8(), &error))
                              errorMessage(error);
                      });
}

void AppControl::exportToVCal()
{
    if (!passesExportCheck(kFinishesBeforeStarts, QString()))
        return;
    const QString name = theCal->getCalName().isEmpty() ? QStringLiteral("Calendar.vcal")
                                                        : theCal->getCalName() + QStringLiteral(".vcal");
    Dialogs::saveFile(theWindow, QStringLiteral("Export to vCal File"), name, {QStringLiteral("vcal")},
                      [this](const QString& path) {
                          alertWindow = false;
                          if (path.isEmpty())
                              return;
                          const QString text = theCal->createVCalString();
                          if (!text.startsWith(QLatin1String("BEGIN:VCALENDAR\r\n"))) {
                              // The writer's message instead of a calendar: nothing is written.
                              errorMessage(text);
                              return;
                          }
                          QString error;
                          if (!SafeFile::writeFile(path, Encoding::encodeMacRoman(text), &error))
                              errorMessage(error);
                      });
}

void AppControl::exportToICal()
{
    // 1.
    alertWindow = true;
    reloadData();
    theTable->clearSelection();
    if (m_shownEntry)
        storeNotesInto(m_shownEntry);
    const QString title = myCalendars->currentText();
    if (!OS102) {
        // 2.
        errorMessage(QStringLiteral("It is not possible to export to iCal unless you are running Mac OS X 10.2 or "
                                    "greater"));
        alertWindow = false;
        return;
    }
    if (myCalendars->currentIndex() <= 0) {
        // 3.
        errorMessage(QStringLiteral("Please select a calendar for export."));
        if (!m_toolbar->isVisible())
            m_toolbar->show();
        alertWindow = false;
        return;
    }
    if (!theCal->calListOK(title)) {
        // 4.
        errorMessage(kListChanged);
        alertWindow = false;
        return;
    }
    // 5.
    if (!passesExportCheck(kFinishesBeforeStarts, QString()))
        return;
    // 7. (doICalExport)
    const QVariantMap dictionary {{QStringLiteral("theCalendar"), title},
                                  {QStringLiteral("sort"), QStringLiteral("1")}};
    auto doICalExport = [this, dictionary, title] {
        if (CalDavWindow::isCalDavCalendar(title)) {
            // A CalDAV calendar: one new event per entry, without the window waiting.
            CalDavWindow::appendToCalendar(*this, dictionary, [this] { alertWindow = false; });
            return;
        }
        if (!theCal->exportToCalendarApp(dictionary))
            errorMessage(QStringLiteral("Export failed"));
        alertWindow = false;
    };
    // 6. (runExportToICalFile)
    if (!theCal->getDirectiCalImport()) {
        doICalExport();
        return;
    }
    Dialogs::ask(theWindow, QStringLiteral("Warning! Danger!"),
                 QStringLiteral("You are about to send data back to iCal that was imported directly from iCal. Doing "
                                "this may result in duplicate entries for some appointments.  Do you wish to proceed?"),
                 {QStringLiteral("Export to iCal"), QStringLiteral("Cancel")}, [this, doICalExport](int answer) {
                     // iCalWarningSheet
                     if (answer != 0) {
                         alertWindow = false;
                         return;
                     }
                     doICalExport();
                     theCal->setDirectiCalImport(false);
                 });
}

void AppControl::exportToMail() { }

void AppControl::tabOutput() { }

void AppControl::commaOutput() { }

void AppControl::textOutput() { }

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
    myCalendars->setEnabled(!names.isEmpty());
    const int again = int(names.indexOf(chosen));
    myCalendars->setCurrentIndex(again >= 0 ? again + 1 : 0);
}

void AppControl::openDataInputOrder() { }

void AppControl::tabHelpButton()
{
    showHelpAnchor(QStringLiteral("tabfileexport"));
}

void AppControl::commaHelpButton()
{
    showHelpAnchor(QStringLiteral("commafileexport"));
}
