#include "app/installerstart.h"

#include "link/logging.h"
#include "update/updatemanager.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

InstallerLaunch::Outcome startInstaller(const InstallerLaunch &launch)
{
    if (launch.canStart()) {
        const bool started = QProcess::startDetached(launch.program, launch.arguments);
        VLOG << "Installer " << launch.program << (started ? " started" : " failed to start");
        return started ? InstallerLaunch::Outcome::Started : InstallerLaunch::Outcome::Failed;
    }
    if (launch.filePath.isEmpty())
        return InstallerLaunch::Outcome::Failed;
    if (launch.openWithDesktop && QDesktopServices::openUrl(QUrl::fromLocalFile(launch.filePath))) {
        VLOG << "Update package " << launch.filePath << " handed to the desktop";
        return InstallerLaunch::Outcome::OpenedByDesktop;
    }
    if (!launch.folderPath.isEmpty()
        && QDesktopServices::openUrl(QUrl::fromLocalFile(launch.folderPath))) {
        VLOG << "Updates folder " << launch.folderPath << " shown";
        return InstallerLaunch::Outcome::FolderShown;
    }
    return InstallerLaunch::Outcome::Failed;
}

bool launchDownloadedUpdate(const QString &fileName, QWidget *parent)
{
    const InstallerLaunch launch
        = InstallerLaunch::forFile(fileName, UpdateManager::updatesDirectory());
    const InstallerLaunch::Outcome outcome = startInstaller(launch);
    if (outcome == InstallerLaunch::Outcome::Started)
        return true;
    // A failed installer start on Windows stays silent, as it always has; elsewhere the user
    // must learn where the download went.
    if (InstallerLaunch::hostPlatform() == InstallerLaunch::Platform::Windows)
        return false;
    QMessageBox::information(parent, InstallerLaunch::tr("Software update"),
                             launch.message(outcome), QMessageBox::Ok);
    return false;
}
