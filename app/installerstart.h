#pragma once

#include "update/installerlaunch.h"

class QWidget;

// Carries the launch out through a process or the desktop; shows no message itself.
InstallerLaunch::Outcome startInstaller(const InstallerLaunch &launch);

// The whole step after an accepted download of an application update: start or hand over the
// first downloaded file and tell the user what happened. True when the application should quit
// now (an installer process runs that will replace it).
bool launchDownloadedUpdate(const QString &fileName, QWidget *parent);
