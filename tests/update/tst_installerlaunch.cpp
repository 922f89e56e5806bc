#include "app/installerstart.h"
#include "update/installerlaunch.h"

#include <QDesktopServices>
#include <QtTest>

Q_DECLARE_METATYPE(InstallerLaunch::Platform)

// Stands in for the desktop: records what would have been opened.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
    bool refuseFiles = false;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestInstallerLaunch : public QObject
{
    Q_OBJECT
private slots:
    void forFile_data();
    void forFile();
    void linuxHandOver_data();
    void linuxHandOver();
    void nothingToStart();
};

void TestInstallerLaunch::forFile_data()
{
    QTest::addColumn<InstallerLaunch::Platform>("platform");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("desktop");

    const auto win = InstallerLaunch::Platform::Windows;
    const auto other = InstallerLaunch::Platform::Other;
    const QString winDir = QStringLiteral("C:/Users/u/VARNO Device Manager/updates");
    const QString winPath = QStringLiteral("C:\\Users\\u\\VARNO Device Manager\\updates\\");
    QTest::newRow("msi") << win << "setup.msi" << winDir << "msiexec"
                         << QStringList { "/i", winPath + "setup.msi" } << false;
    QTest::newRow("msi upper case") << win << "SETUP.MSI" << winDir << "msiexec"
                                    << QStringList { "/i", winPath + "SETUP.MSI" } << false;
    QTest::newRow("msi before exe") << win << "msi-tools.exe" << winDir << "msiexec"
                                    << QStringList { "/i", winPath + "msi-tools.exe" } << false;
    QTest::newRow("exe") << win << "Setup.EXE" << winDir + "/" << winPath + "Setup.EXE"
                         << QStringList() << false;
    QTest::newRow("zip") << win << "firmware.zip" << winDir << "" << QStringList() << false;
    QTest::newRow("linux deb") << other << "varno_2.1_amd64.deb"
                               << "/home/u/VARNO Device Manager/updates"
                               << "" << QStringList() << true;
    QTest::newRow("linux rpm upper") << other << "VARNO.RPM"
                                     << "/home/u/x"
                                     << "" << QStringList() << true;
    // No msiexec here: an MSI is only shown where it lies.
    QTest::newRow("linux msi") << other << "setup.msi"
                               << "/home/u/x"
                               << "" << QStringList() << false;
    QTest::newRow("linux deb inside name") << other << "a.deb.sh"
                                           << "/home/u/x"
                                           << "" << QStringList() << false;
    QTest::newRow("empty name") << win << "" << winDir << "" << QStringList() << false;
}

void TestInstallerLaunch::forFile()
{
    QFETCH(InstallerLaunch::Platform, platform);
    QFETCH(QString, fileName);
    QFETCH(QString, directory);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, desktop);

    const InstallerLaunch launch = InstallerLaunch::forFile(fileName, directory, platform);
    QCOMPARE(launch.program, program);
    QCOMPARE(launch.arguments, arguments);
    QCOMPARE(launch.openWithDesktop, desktop);
    QCOMPARE(launch.canStart(), !program.isEmpty());
    const QChar separator
        = platform == InstallerLaunch::Platform::Windows ? QLatin1Char('\\') : QLatin1Char('/');
    QVERIFY(launch.filePath.endsWith(separator + fileName));
    QVERIFY(!launch.folderPath.endsWith(separator));
    if (!launch.canStart())
        QVERIFY(launch.message(InstallerLaunch::Outcome::FolderShown).contains(launch.filePath));
}

void TestInstallerLaunch::linuxHandOver_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("opened");
    QTest::newRow("package to the software installer")
        << "varno.deb" << int(InstallerLaunch::Outcome::OpenedByDesktop) << "/u/updates/varno.deb";
    QTest::newRow("anything else shows the folder")
        << "setup.msi" << int(InstallerLaunch::Outcome::FolderShown) << "/u/updates";
}

void TestInstallerLaunch::linuxHandOver()
{
    QFETCH(QString, fileName);
    QFETCH(int, outcome);
    QFETCH(QString, opened);

    UrlRecorder desktop;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &desktop, "open");
    const InstallerLaunch launch = InstallerLaunch::forFile(fileName, QStringLiteral("/u/updates"),
                                                            InstallerLaunch::Platform::Other);
    QCOMPARE(int(startInstaller(launch)), outcome);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QCOMPARE(desktop.urls, QList<QUrl>({ QUrl::fromLocalFile(opened) }));
    QVERIFY(launch.message(InstallerLaunch::Outcome(outcome)).contains(launch.filePath));
}

void TestInstallerLaunch::nothingToStart()
{
    // A Windows program that does not exist fails to start; the caller keeps running.
    InstallerLaunch launch = InstallerLaunch::forFile(QStringLiteral("setup.exe"),
                                                      QStringLiteral("/nonexistent/varno-updates"),
                                                      InstallerLaunch::Platform::Windows);
    launch.program = QStringLiteral("/nonexistent/varno-updates/setup.exe");
    QCOMPARE(startInstaller(launch), InstallerLaunch::Outcome::Failed);
    QCOMPARE(startInstaller(InstallerLaunch()), InstallerLaunch::Outcome::Failed);
}

QTEST_MAIN(TestInstallerLaunch)
#include "tst_installerlaunch.moc"
