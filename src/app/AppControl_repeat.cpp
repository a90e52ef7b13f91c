// The repeat editor's hooks. The editor itself (its widgets go into the drawer through
// setDrawerContent()) fills these in; until then the drawer shows no editor and nothing is
// written into the entries' rules.
//
// When they are called (AppControl_entries.cpp, tableViewSelectionDidChange()):
//   - repeatEditorHasType() and setTheRRULE(): when the selection moves away from the one entry it
//     was on, after the notes view's text has been stored as that entry's description. The entry
//     is the one the editor showed, held by identity: it may have moved or left the list since.
//   - updateRRULEDrawer(): when the selection settles on one entry (tableSelection is its row,
//     m_shownEntry the entry), and when the drawer opens.
//   - blankRepeatEditor(): when no entry or several are selected.
// A hook that changes an entry's repeat marker calls reloadData() to show it.
#include "AppControl.h"

bool AppControl::repeatEditorHasType() const
{
    return false;
}

void AppControl::setTheRRULE(const EntryPtr&) { }

void AppControl::updateRRULEDrawer(int) { }

void AppControl::blankRepeatEditor() { }
