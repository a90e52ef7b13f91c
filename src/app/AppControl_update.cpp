// The version check: still to be written.
#include "AppControl.h"

/// The automatic check at start-up ("versionCheck" is "0"; awakeFromNib() stored it when missing).
void AppControl::startAutomaticVersionCheck() { }

void AppControl::checkNewVersion() { }
