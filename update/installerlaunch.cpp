#include "update/installerlaunch.h"

#include "link/logging.h"
#include "update/updatemanager.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace {

QString withSeparators(QString path, InstallerLaunch::Platform platform)
{
    // Written out rather than QDir::toNativeSeparators() so the result does not depend on the host.
    if (platform == InstallerLaunch::Platform::Windows)
        path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    else
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

} // namespace

InstallerLaunch InstallerLaunch::forFile(const QString &fileName, const QString &updatesDirectory,
                                         Platform platform)
{
    InstallerLaunch launch;
    QString folder = updatesDirectory;
    while (folder.size() > 1
           && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
        folder.chop(1);
    launch.folderPath = withSeparators(folder, platform);
    launch.filePath = withSeparators(folder + QLatin1Char('/') + fileName, platform);
    if (fileName.isEmpty())
        return launch;

    if (platform == Platform::Windows) {
        if (fileName.contains(QLatin1String("msi"), Qt::CaseInsensitive)) {
            launch.program = QStringLiteral("msiexec");
            launch.arguments = QStringList { QStringLiteral("/i"), launch.filePath };
        } else if (fileName.contains(QLatin1String("exe"), Qt::CaseInsensitive)) {
            launch.program = launch.filePath;
        }
    } else {
        launch.openWithDesktop = fileName.endsWith(QLatin1String(".deb"), Qt::CaseInsensitive)
            || fileName.endsWith(QLatin1String(".rpm"), Qt::CaseInsensitive);
    }
    return launch;
}

QString InstallerLaunch::message(Outcome outcome) const
{
    switch (outcome) {
    case Outcome::Started:
        return {};
    case Outcome::OpenedByDesktop:
        return tr("The update package was handed to your software installer:\n%1\n"
                  "Restart the program once it is installed.")
            .arg(filePath);
    case Outcome::FolderShown:
    case Outcome::Failed:
        break;
    }
    return tr("The update was downloaded but cannot be installed automatically on this system.\n"
              "The downloaded file is:\n%1")
        .arg(filePath);
}

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
