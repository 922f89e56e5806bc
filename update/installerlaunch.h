#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// How to start a downloaded application update. On Windows the installer is an MSI package (run
// through "msiexec /i") or a setup program, and the program quits so the installer can replace
// its files. A Linux desktop has no msiexec: the stand-in hands a .deb or .rpm package to the
// desktop's software installer (xdg-open through QDesktopServices) and otherwise opens the updates
// folder in the file manager; either way the user is told where the file lies. The program keeps
// running there, since the package manager can replace the files of a running program.
// Deciding lives here; carrying it out needs the desktop and lives in app/installerstart.h.
struct InstallerLaunch
{
    Q_DECLARE_TR_FUNCTIONS(InstallerLaunch)
public:
    enum class Platform { Windows, Other };
    enum class Outcome {
        Started, // installer process started: quit so it can replace the program
        OpenedByDesktop, // package handed to the desktop's software installer
        FolderShown, // nothing to run here: the updates folder was opened for the user
        Failed, // nothing could be started or opened
    };

    QString program; // empty when no process is started
    QStringList arguments;
    QString filePath; // the downloaded file, full path in the platform's separators
    QString folderPath; // the folder it lies in, same separators
    bool openWithDesktop = false;

    bool canStart() const { return !program.isEmpty(); }

    static constexpr Platform hostPlatform()
    {
#ifdef Q_OS_WIN
        return Platform::Windows;
#else
        return Platform::Other;
#endif
    }

    // Decides without touching the system. Windows: a name containing "msi" (any case) goes
    // through "msiexec" "/i" path, else one containing "exe" is started itself, else nothing.
    // Elsewhere: names ending in ".deb" or ".rpm" (any case) go to the desktop.
    static InstallerLaunch forFile(const QString &fileName, const QString &updatesDirectory,
                                   Platform platform = hostPlatform());

    // What the user is told after the outcome; empty for Started.
    QString message(Outcome outcome) const;
};
