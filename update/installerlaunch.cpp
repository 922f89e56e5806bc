#include "update/installerlaunch.h"

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
