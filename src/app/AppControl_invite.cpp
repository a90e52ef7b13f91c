// The invite sheet and the address book: still to be written.
#include "AppControl.h"

void AppControl::showInviteSheet() { }

void AppControl::openAddressBook() { }

void AppControl::mailWindowMail() { }

void AppControl::mailWindowCancel() { }

void AppControl::mailTickDidChange() { }

void AppControl::addressAdd() { }

void AppControl::addressDelete() { }
