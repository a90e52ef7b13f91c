// The repeat editor in the drawer, driven by the entry table's selection.
//
// When the hooks are called (AppControl_entries.cpp, tableViewSelectionDidChange()):
//   - repeatEditorHasType() and setTheRRULE(): when the selection moves away from the one entry it
//     was on, after the notes view's text has been stored as that entry's description. The entry
//     is the one the editor showed, held by identity: it may have moved in the list since (a sort).
//     The editor stores a rule only when one of its controls was changed for that entry, so an
//     entry that was merely looked at keeps its rule text byte for byte.
//   - updateRRULEDrawer(): when the selection settles on one entry (m_shownEntry), and when the
//     drawer opens.
//   - blankRepeatEditor(): when no entry or several are selected.
// Every export clears the selection first (passesExportCheck()), so an edited rule is in its
// entry before the writer reads the list.
#include "AppControl.h"
#include "EntryTableModel.h"
#include "repeatDrawer.h"

#include <QScrollArea>
#include <QScrollBar>

repeatDrawer* AppControl::repeatEditor() const
{
    return m_repeatEditor.data();
}

void AppControl::buildRepeatEditor()
{
    m_repeatEditor = new repeatDrawer;
    m_repeatEditor->setObjectName(QStringLiteral("repeatDrawer"));
    m_repeatEditor->setDateFormat(theCal->getDateFormatter(), theCal->dateNames());
    // The type pop-up turns the entry's repeat marker on or off at once; the rule itself follows
    // when the selection moves.
    connect(m_repeatEditor, &repeatDrawer::repeaterChanged, this,
            [this] { showEntryChanged(m_repeatEditor->entry()); });
    // The editor is taller than a small screen leaves beside the table: it scrolls rather than
    // making the window grow when the drawer opens.
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("repeatDrawerScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(m_repeatEditor);
    scroll->setMinimumWidth(m_repeatEditor->minimumSizeHint().width()
                            + scroll->verticalScrollBar()->sizeHint().width());
    setDrawerContent(scroll);
}

void AppControl::showEntryChanged(const EntryPtr& entry)
{
    if (!entry)
        return;
    // The shown entry is normally at the selected row; look further only when the list moved.
    int row = tableSelection;
    if (m_model->entryAt(row) != entry)
        row = m_model->rowOf(entry.get());
    if (row >= 0)
        m_model->rowChanged(row);
}

bool AppControl::repeatEditorHasType() const
{
    // A rule the controls cannot show selects no type; the editor keeps such a rule as it is.
    return m_repeatEditor && m_repeatEditor->state().controls().typeIndex >= 0;
}

void AppControl::setTheRRULE(const EntryPtr& entry)
{
    // The editor's state belongs to the entry it was loaded from and to no other.
    if (!m_repeatEditor || !entry || m_repeatEditor->entry() != entry)
        return;
    if (m_repeatEditor->setTheRRULE(*entry))
        showEntryChanged(entry); // the marker's tooltip shows the rule
}

void AppControl::updateRRULEDrawer(int)
{
    if (m_repeatEditor)
        m_repeatEditor->updateRRULEDrawer(m_shownEntry);
}

void AppControl::blankRepeatEditor()
{
    if (m_repeatEditor)
        m_repeatEditor->blankAndDisable();
}

void AppControl::drawerDidOpen()
{
    if (!m_repeatEditor)
        return;
    // Reopening keeps an edit in progress; otherwise the rule is shown as the entry holds it now.
    if (m_repeatEditor->entry() == m_shownEntry)
        m_repeatEditor->drawerDidOpen();
    else
        updateRRULEDrawer(1);
}
