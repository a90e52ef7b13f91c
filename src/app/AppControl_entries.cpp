// The entry table: selection changes, the end of cell edits, adding, deleting and sorting entries.
#include "AppControl.h"
#include "EntryTableModel.h"
#include "MyTableView.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace
{
// Deleting more rows than this rebuilds the list in one pass instead of removing row by row.
constexpr int kRowByRowLimit = 64;
} // namespace

QStringList AppControl::displayedColumnIdentifiers() const
{
    QStringList ids;
    const QHeaderView* header = theTable->horizontalHeader();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical))
            ids << EntryTableModel::identifier(logical);
    }
    return ids;
}

QList<int> AppControl::selectedRows() const
{
    QList<int> rows;
    for (const QItemSelectionRange& range : theTable->selectionModel()->selection()) {
        if (range.left() != 0 || range.right() != EntryTableModel::ColumnCount - 1)
            continue; // a selected column, not rows
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows << row;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void AppControl::selectRows(const QList<int>& rows, bool add)
{
    QList<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    QItemSelection selection;
    const int last = m_model->rowCount() - 1;
    for (qsizetype i = 0; i < sorted.size();) {
        qsizetype j = i;
        while (j + 1 < sorted.size() && sorted.at(j + 1) <= sorted.at(j) + 1)
            ++j;
        if (sorted.at(i) >= 0 && sorted.at(j) <= last)
            selection.select(m_model->index(sorted.at(i), 0), m_model->index(sorted.at(j), 0));
        i = j + 1;
    }
    QItemSelectionModel* model = theTable->selectionModel();
    model->select(selection,
                  (add ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect)
                      | QItemSelectionModel::Rows);
    if (!selection.isEmpty())
        model->setCurrentIndex(m_model->index(sorted.first(), theTable->horizontalHeader()->logicalIndex(0)),
                               QItemSelectionModel::NoUpdate);
}

void AppControl::reloadData(bool showNew)
{
    const EntryTableModel::Change change = m_model->reload();
    if (change.reset) {
        // The view forgot its selection without saying so: settle the editor and the notes.
        tableViewSelectionDidChange();
        if (showNew)
            theTable->scrollToTop();
    } else if (showNew && change.inserted > 0) {
        const int column = theTable->horizontalHeader()->logicalIndex(0);
        theTable->scrollTo(m_model->index(change.firstInserted + change.inserted - 1, column));
        theTable->scrollTo(m_model->index(change.firstInserted, column));
    }
}

void AppControl::storeNotesInto(const EntryPtr& entry)
{
    // Only what the user typed: showing a description and reading it back must not change it
    // (line ends, trailing blanks).
    if (entry && !theNotes->isReadOnly() && theNotes->document()->isModified()) {
        entry->setDESCRIPTION(theNotes->toPlainText());
        theNotes->document()->setModified(false);
    }
}

void AppControl::showNotesFor(const EntryPtr& entry)
{
    theNotes->setReadOnly(false);
    theNotes->setTextInteractionFlags(Qt::TextEditorInteraction);
    theNotes->setPlainText(entry ? entry->getShortDESCRIPTION() : QString());
    theNotes->document()->setModified(false);
}

void AppControl::tableViewSelectionDidChange()
{
    const QList<int> rows = selectedRows();

    // 1. and 2. the editor and the notes go back into the entry they showed, unless it was just
    // deleted.
    if (deleteFired) {
        deleteFired = 0;
    } else if (numberSelected == 1 && tableSelection >= 0 && m_shownEntry) {
        storeNotesInto(m_shownEntry);
        if (repeatEditorHasType())
            setTheRRULE(m_shownEntry);
    }

    // 3.
    if (rows.isEmpty()) {
        tableSelection = -1;
    } else {
        const int current = theTable->currentIndex().row();
        tableSelection = rows.contains(current) ? current : rows.last();
    }
    numberSelected = int(rows.size());

    if (rows.size() == 1) {
        // 4.
        m_shownEntry = m_model->entryAt(rows.first());
        updateRRULEDrawer(1);
        showNotesFor(m_shownEntry);
    } else {
        // 5.
        m_shownEntry.reset();
        blankRepeatEditor();
        theNotes->clear();
        theNotes->document()->setModified(false);
        theNotes->setReadOnly(true);
        theNotes->setTextInteractionFlags(Qt::NoTextInteraction);
    }

    // 6.
    resetMenu(theCal->entryCount() > 0);
    updateTheMenus();
}

void AppControl::controlTextDidEndEditing(int movement)
{
    // Qt reports the end of an edit once, so nothing needs de-duplicating here (keyCount).
    if (movement == kReturnMovement && !alertWindow) {
        makeNewEntry();
        reloadData();
    }
}

void AppControl::makeNewEntry()
{
    theCal->getTheData().append(dataEntry::create());
    updateTheMenus();
}

void AppControl::createEntry()
{
    makeNewEntry();
    reloadData();
    const int last = m_model->rowCount() - 1;
    selectRows({last});
    theTable->scrollTo(m_model->index(last, theTable->horizontalHeader()->logicalIndex(0)));
    theTable->setFocus();
    updateTheMenus();
}

void AppControl::deleteEntry()
{
    reloadData();
    const QList<int> rows = selectedRows();
    if (rows.isEmpty())
        return;
    deleteFired = 1;
    if (rows.size() <= kRowByRowLimit) {
        // From the last row down, so that the lower rows keep their positions.
        for (qsizetype i = rows.size() - 1; i >= 0; --i)
            theCal->removeObjectAtIndex(rows.at(i));
    } else {
        EntryList kept;
        const EntryList& all = theCal->getTheData();
        kept.reserve(all.size() - rows.size());
        qsizetype next = 0;
        for (qsizetype i = 0; i < all.size(); ++i) {
            if (next < rows.size() && rows.at(next) == i)
                ++next;
            else
                kept.append(all.at(i));
        }
        theCal->replaceTheData(kept);
    }
    // The selection change this makes skips writing the editor back (deleteFired).
    theTable->clearSelection();
    reloadData();
    updateTheMenus();
    if (theCal->entryCount() == 0) {
        if (toolbarDrawer->text() == QLatin1String("Close drawer"))
            openDrawer();
        theCal->setDirectiCalImport(false);
    }
}

void AppControl::selectAll()
{
    QWidget* focus = QApplication::focusWidget();
    if (auto* line = qobject_cast<QLineEdit*>(focus))
        line->selectAll();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(focus))
        plain->selectAll();
    else if (auto* rich = qobject_cast<QTextEdit*>(focus))
        rich->selectAll();
    else
        theTable->selectAll();
}

void AppControl::sortBy(void (aCalendar::*sort)())
{
    // Sorting replaces the list: the editor goes back into its entry first, and the entries
    // selected stay selected wherever they move.
    QList<const dataEntry*> selected;
    for (int row : selectedRows())
        selected << m_model->entryAt(row).get();
    QList<int> columns;
    for (const QItemSelectionRange& range : theTable->selectionModel()->selection()) {
        if (range.left() == range.right() && EntryTableModel::ColumnCount > 1 && !columns.contains(range.left()))
            columns << range.left();
    }
    theTable->clearSelection();
    (theCal.get()->*sort)();
    reloadData();
    if (!selected.isEmpty()) {
        QHash<const dataEntry*, int> rowOf;
        const EntryList& all = theCal->getTheData();
        rowOf.reserve(all.size());
        for (qsizetype i = 0; i < all.size(); ++i)
            rowOf.insert(all.at(i).get(), int(i));
        QList<int> rows;
        for (const dataEntry* e : selected)
            rows << rowOf.value(e, -1);
        rows.removeAll(-1);
        selectRows(rows);
        if (rows.size() == 1)
            theTable->scrollTo(m_model->index(rows.first(), 0));
    }
    for (int column : columns)
        selectColumn(column, Qt::ControlModifier);
}

void AppControl::sortStart()
{
    sortBy(&aCalendar::sortStart);
}

void AppControl::sortEnd()
{
    sortBy(&aCalendar::sortEnd);
}

void AppControl::sortSummary()
{
    sortBy(&aCalendar::sortSummary);
}

void AppControl::sortToolbar()
{
    QStringList columns;
    const int rows = m_model->rowCount();
    for (const QItemSelectionRange& range : theTable->selectionModel()->selection()) {
        // A selected column spans every row but not every column.
        if (range.top() != 0 || range.bottom() != rows - 1
            || (range.left() == 0 && range.right() == EntryTableModel::ColumnCount - 1))
            continue;
        for (int c = range.left(); c <= range.right(); ++c) {
            const QString id = EntryTableModel::identifier(c);
            if (!columns.contains(id))
                columns << id;
        }
    }
    if (columns.size() > 1) {
        errorMessage(QStringLiteral("You have more than one column selected.  Please only select one column."));
        reloadData();
        return;
    }
    const QString column = columns.value(0);
    if (column.isEmpty() || column == QLatin1String("startTime") || column == QLatin1String("startDate"))
        sortStart();
    else if (column == QLatin1String("endTime") || column == QLatin1String("endDate"))
        sortEnd();
    else if (column == QLatin1String("theSummary"))
        sortSummary();
    else
        reloadData();
}

void AppControl::selectColumn(int logicalColumn, Qt::KeyboardModifiers modifiers)
{
    const int rows = m_model->rowCount();
    if (rows == 0 || logicalColumn < 0 || logicalColumn >= EntryTableModel::ColumnCount)
        return;
    const QItemSelection column(m_model->index(0, logicalColumn), m_model->index(rows - 1, logicalColumn));
    QItemSelectionModel* model = theTable->selectionModel();
    const bool extend = modifiers & (Qt::ControlModifier | Qt::ShiftModifier | Qt::MetaModifier);
    if (!extend) {
        model->select(column, QItemSelectionModel::ClearAndSelect);
        return;
    }
    // Adding a column keeps the other columns but not selected rows.
    QItemSelection keep;
    for (const QItemSelectionRange& range : model->selection()) {
        if (range.left() == range.right() && range.top() == 0 && range.bottom() == rows - 1)
            keep.append(range);
    }
    bool already = false;
    for (const QItemSelectionRange& range : keep)
        already = already || range.left() == logicalColumn;
    if (already) {
        QItemSelection rest;
        for (const QItemSelectionRange& range : keep) {
            if (range.left() != logicalColumn)
                rest.append(range);
        }
        model->select(rest, QItemSelectionModel::ClearAndSelect);
    } else {
        keep.append(QItemSelectionRange(column.first()));
        model->select(keep, QItemSelectionModel::ClearAndSelect);
    }
}
