// The version check: the automatic check at start-up and the check on demand from the Help menu.
// Both go through the result window (UpdateWindow), made when the first check needs it; it is a
// window of its own, owned by the main window.
#include "AppControl.h"
#include "MyWindow.h"
#include "UpdateWindow.h"
#include "updateCheck/updateTest.h"

UpdateWindow* AppControl::updateWindow() const
{
    return testUpdate.data();
}

UpdateWindow* AppControl::loadUpdateNib()
{
    if (!testUpdate)
        testUpdate = new UpdateWindow(theWindow);
    return testUpdate;
}

/// The automatic check at start-up ("versionCheck" is "0"; awakeFromNib() stored it when missing).
/// It asks at most once a day ("versionCheckDate") and shows only a newer version.
void AppControl::startAutomaticVersionCheck()
{
    loadUpdateNib()->controller()->newVersion(getProgDict());
}

void AppControl::checkNewVersion()
{
    updateTest::automaticCheckEnabled(); // stores "0" under "versionCheck" when missing
    loadUpdateNib()->controller()->checkNewVersion(this, getProgDict());
}
