#include "app/proxysettings.h"
#include "update/installerlaunch.h"
#include "update/updatemanager.h"

#include "httptestserver.h"
#include "updatefixture.h"

#include <QDir>
#include <QDirIterator>
#include <QNetworkProxy>
#include <QSettings>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QSysInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using fixture::File;

namespace {

// A port on which nothing listens.
quint16 deadPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestUpdateManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void findsNewestRelease();
    void triesTheNextServer();
    void unreachableServer();
    void badReplies_data();
    void badReplies();
    void followsRedirect();
    void downloadsRelease();
    void downloadFailures_data();
    void downloadFailures();
    void failedStoreKeepsTheOlderFiles();
    void programPlatformNamesThisBuild();
    void programUpdateForThePlatform_data();
    void programUpdateForThePlatform();
    void hostileFileNames_data();
    void hostileFileNames();
    void cancelDuringDownload();
    void refusesOverlappingRequests();
    void honoursApplicationProxy();
    void overHttps_data();
    void overHttps();
    void configuredServerUrl_data();
    void configuredServerUrl();

private:
    // Files below the fake home folder, relative to it.
    QStringList filesUnderHome() const;
    bool runSearch(UpdateManager &manager, const QString &platform = QStringLiteral("WIN32"));
    bool runDownload(UpdateManager &manager, const QString &releaseId);

    QTemporaryDir m_home;
};

void TestUpdateManager::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The updates folder lies in the home folder: keep every test inside a temporary one.
    qputenv("HOME", m_home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("VARNO Ltd"));
    QCoreApplication::setApplicationName(QStringLiteral("VARNO Device Manager"));
    QCOMPARE(UpdateManager::updatesDirectory(),
             m_home.path() + QStringLiteral("/VARNO Device Manager/updates"));
}

void TestUpdateManager::init()
{
    QDir(m_home.path()).removeRecursively();
    QDir().mkpath(m_home.path());
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

void TestUpdateManager::cleanup()
{
    QSettings().remove(QLatin1String(UpdateManager::kServerSettingsKey));
}

QStringList TestUpdateManager::filesUnderHome() const
{
    QStringList files;
    QDirIterator it(m_home.path(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(m_home.path()).relativeFilePath(it.next()));
    files.sort();
    return files;
}

bool TestUpdateManager::runSearch(UpdateManager &manager, const QString &platform)
{
    QSignalSpy done(&manager, &UpdateManager::Done);
    QSignalSpy fail(&manager, &UpdateManager::Fail);
    if (!manager.requestReleases(QStringLiteral("7"), platform))
        return false;
    if (!QTest::qWaitFor([&] { return done.count() + fail.count() > 0; }, 20000))
        return false;
    return done.count() == 1 && fail.isEmpty();
}

bool TestUpdateManager::runDownload(UpdateManager &manager, const QString &releaseId)
{
    QSignalSpy done(&manager, &UpdateManager::Done);
    QSignalSpy fail(&manager, &UpdateManager::Fail);
    if (!manager.downloadRelease(releaseId))
        return false;
    if (!QTest::qWaitFor([&] { return done.count() + fail.count() > 0; }, 20000))
        return false;
    return done.count() == 1 && fail.isEmpty();
}

void TestUpdateManager::findsNewestRelease()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    fixture::serveRelease(server, { { "r1", "1.9" }, { "r2", "1.10" }, { "r3", "1.2" } }, "r2", {});
    UpdateManager manager;
    manager.setServerUrl(server.url());
    QVERIFY2(runSearch(manager), qPrintable(manager.errorString()));
    QCOMPARE(manager.versions(), QStringList({ "1.9", "1.10", "1.2" }));
    // 1.10 is newer than 1.9: parts compare as numbers.
    QCOMPARE(manager.newestRelease().id, QStringLiteral("r2"));
    QCOMPARE(server.requestCount(QStringLiteral("/servers.xml")), 1);
    const QUrlQuery query(QUrl(server.requests().last()));
    QCOMPARE(QUrl(server.requests().last()).path(), QStringLiteral("/releases"));
    QCOMPARE(query.queryItemValue(QStringLiteral("product")), QStringLiteral("7"));
    QCOMPARE(query.queryItemValue(QStringLiteral("platform")), QStringLiteral("WIN32"));
    QCOMPARE(query.queryItemValue(QStringLiteral("version")), QStringLiteral("newest"));
}

void TestUpdateManager::triesTheNextServer()
{
    // The list server names a dead mirror first, then a working one.
    HttpTestServer listServer;
    HttpTestServer mirror;
    QVERIFY(listServer.listen());
    QVERIFY(mirror.listen());
    fixture::serveRelease(mirror, { { "a", "3.1" } }, "a", {});
    listServer.setRoute(
        QStringLiteral("/servers.xml"),
        CannedReply::ok(fixture::serversXml(
            { QStringLiteral("http://127.0.0.1:%1").arg(deadPort()), mirror.url().toString() })));
    UpdateManager manager;
    manager.setServerUrl(listServer.url());
    QVERIFY2(runSearch(manager), qPrintable(manager.errorString()));
    QCOMPARE(manager.versions(), QStringList({ "3.1" }));
    QCOMPARE(listServer.requestCount(QStringLiteral("/releases")), 0);
    QCOMPARE(mirror.requestCount(QStringLiteral("/releases")), 1);
}

void TestUpdateManager::unreachableServer()
{
    UpdateManager manager;
    manager.setServerUrl(QUrl(QStringLiteral("http://127.0.0.1:%1").arg(deadPort())));
    QVERIFY(!runSearch(manager));
    QCOMPARE(manager.error(), UpdateManager::Error::Unreachable);
    QVERIFY(!manager.errorString().isEmpty());
    QVERIFY(!manager.isBusy());
    QVERIFY(manager.versions().isEmpty());
}

void TestUpdateManager::badReplies_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<CannedReply>("reply");
    QTest::addColumn<int>("error");

    const int bad = int(UpdateManager::Error::BadReply);
    const QString servers = QStringLiteral("/servers.xml");
    const QString releases = QStringLiteral("/releases");
    CannedReply huge;
    huge.fillerBytes = 3 * UpdateManager::kMaxXmlReplyBytes;
    CannedReply stalled;
    stalled.stall = true;
    CannedReply truncated = CannedReply::ok(fixture::releasesXml({ { "a", "1.0" } }));
    truncated.contentLength = truncated.body.size() + 100;

    QTest::newRow("servers: unclosed element")
        << servers << CannedReply::ok("<servers><server url=\"http://x\"") << bad;
    QTest::newRow("servers: wrong root")
        << servers << CannedReply::ok("<html><body/></html>") << bad;
    QTest::newRow("servers: entity expansion")
        << servers
        << CannedReply::ok("<!DOCTYPE servers [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;"
                           "&a;&a;&a;&a;\">]><servers><server url=\"&b;\"/></servers>")
        << bad;
    QTest::newRow("servers: 404") << servers << CannedReply::error(404) << bad;
    QTest::newRow("servers: huge body") << servers << huge << bad;
    QTest::newRow("servers: redirect loop")
        << servers << CannedReply::redirect("/servers.xml") << bad;
    QTest::newRow("servers: JSON") << servers << CannedReply::ok("{\"servers\": []}") << bad;
    QTest::newRow("releases: empty body") << releases << CannedReply::ok("") << bad;
    QTest::newRow("releases: trailing garbage")
        << releases << CannedReply::ok(fixture::releasesXml({ { "a", "1.0" } }) + "<x>") << bad;
    QTest::newRow("releases: id with path")
        << releases << CannedReply::ok(fixture::releasesXml({ { "../a", "1.0" } })) << bad;
    QTest::newRow("releases: no version")
        << releases << CannedReply::ok("<releases><release id=\"a\"/></releases>") << bad;
    QTest::newRow("releases: 500") << releases << CannedReply::error(500) << bad;
    QTest::newRow("releases: huge body") << releases << huge << bad;
    QTest::newRow("releases: truncated") << releases << truncated << bad;
    QTest::newRow("releases: redirect loop")
        << releases << CannedReply::redirect("/releases?again=1") << bad;
    QTest::newRow("releases: binary")
        << releases << CannedReply::ok(QByteArray("\x00\xff\xfe<releases>", 14)) << bad;
    QTest::newRow("releases: no answer")
        << releases << stalled << int(UpdateManager::Error::Unreachable);
}

void TestUpdateManager::badReplies()
{
    QFETCH(QString, path);
    QFETCH(CannedReply, reply);
    QFETCH(int, error);

    HttpTestServer server;
    QVERIFY(server.listen());
    fixture::serveRelease(server, { { "a", "1.0" } }, "a", {});
    server.setRoute(path, reply);
    UpdateManager manager;
    manager.setServerUrl(server.url());
    manager.setTransferTimeout(500);
    QVERIFY(!runSearch(manager));
    QCOMPARE(int(manager.error()), error);
    QVERIFY(!manager.errorString().isEmpty());
    QVERIFY(manager.versions().isEmpty());
    QVERIFY(!manager.isBusy());
}

void TestUpdateManager::followsRedirect()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    fixture::serveRelease(server, { { "a", "2.0" } }, "a", {});
    server.setRoute(QStringLiteral("/releases"), CannedReply::redirect("/moved/releases"));
    server.setRoute(QStringLiteral("/moved/releases"),
                    CannedReply::ok(fixture::releasesXml({ { "b", "2.1" } })));
    UpdateManager manager;
    manager.setServerUrl(server.url());
    QVERIFY2(runSearch(manager), qPrintable(manager.errorString()));
    QCOMPARE(manager.versions(), QStringList({ "2.1" }));
}

void TestUpdateManager::downloadsRelease()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    const QList<File> files = {
        { "f1", "VARNO-2.1.msi", QByteArray(100000, 'm'), 0, true, true },
        { "f2", "firmware.bin", QByteArray("\x01\x02\x03", 3), 2, false, false },
    };
    fixture::serveRelease(server, { { "rel-1", "2.1" } }, "rel-1", files);
    // Left by a download that a crash cut off; a look-alike of the user's stays.
    const QString updates = UpdateManager::updatesDirectory();
    QVERIFY(QDir().mkpath(updates));
    for (const char *name : { "firmware.bin.Xy12Ab", "firmware.bin.notes" }) {
        QFile stale(updates + QLatin1Char('/') + QLatin1String(name));
        QVERIFY(stale.open(QIODevice::WriteOnly));
    }
    UpdateManager manager;
    manager.setServerUrl(server.url());
    QVERIFY(runSearch(manager));
    QSignalSpy started(&manager, &UpdateManager::FileStarted);
    QSignalSpy progress(&manager, &UpdateManager::Progress);
    QVERIFY2(runDownload(manager, QStringLiteral("rel-1")), qPrintable(manager.errorString()));

    QCOMPARE(manager.downloadedFiles(), QStringList({ "VARNO-2.1.msi", "firmware.bin" }));
    QCOMPARE(manager.downloadedFileDetails().at(1).kind, 2);
    QCOMPARE(started.count(), 2);
    QCOMPARE(started.at(1).at(0).toString(), QStringLiteral("firmware.bin"));
    QCOMPARE(started.at(1).at(2).toInt(), 2);
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toLongLong(), qint64(3));
    QCOMPARE(readFile(UpdateManager::localPath(QStringLiteral("VARNO-2.1.msi"))),
             files.at(0).content);
    QCOMPARE(readFile(UpdateManager::localPath(QStringLiteral("firmware.bin"))),
             files.at(1).content);
    // Nothing else: no temporary files left behind.
    QCOMPARE(filesUnderHome(),
             QStringList({ "VARNO Device Manager/updates/VARNO-2.1.msi",
                           "VARNO Device Manager/updates/firmware.bin",
                           "VARNO Device Manager/updates/firmware.bin.notes" }));

    // The check before use notices a file changed after the download.
    QString error;
    const UpdateFile msi = manager.downloadedFileDetails().at(0);
    QVERIFY2(UpdateManager::verifyDownloadedFile(msi, &error), qPrintable(error));
    QFile tampered(UpdateManager::localPath(msi.name));
    QVERIFY(tampered.open(QIODevice::ReadWrite));
    tampered.seek(10);
    tampered.write("X");
    tampered.close();
    QVERIFY(!UpdateManager::verifyDownloadedFile(msi, &error));
    QVERIFY(error.contains(QLatin1String("checksum")));
}

void TestUpdateManager::downloadFailures_data()
{
    QTest::addColumn<QString>("brokenFile"); // id of the file whose reply is replaced
    QTest::addColumn<CannedReply>("reply");
    QTest::addColumn<bool>("announceWrongChecksum");

    const QByteArray content(5000, 'f');
    CannedReply truncated = CannedReply::ok(content.left(2000));
    truncated.contentLength = content.size();
    CannedReply longer = CannedReply::ok(content + "tail");
    CannedReply endless;
    endless.fillerBytes = 8 * 1024 * 1024;
    CannedReply loop = CannedReply::redirect("/files/show/id/f2");

    QTest::newRow("truncated body") << "f2" << truncated << false;
    QTest::newRow("checksum mismatch") << "f2" << CannedReply::ok(content) << true;
    QTest::newRow("longer than announced") << "f2" << longer << false;
    QTest::newRow("endless body") << "f2" << endless << false;
    QTest::newRow("file missing") << "f2" << CannedReply::error(404) << false;
    QTest::newRow("redirect loop") << "f2" << loop << false;
    QTest::newRow("first file broken") << "f1" << CannedReply::error(500) << false;
}

void TestUpdateManager::downloadFailures()
{
    QFETCH(QString, brokenFile);
    QFETCH(CannedReply, reply);
    QFETCH(bool, announceWrongChecksum);

    // An older download of the same name must survive a failed one.
    const QString updates = UpdateManager::updatesDirectory();
    QVERIFY(QDir().mkpath(updates));
    {
        QFile old(updates + QStringLiteral("/b.bin"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old firmware");
    }

    HttpTestServer server;
    QVERIFY(server.listen());
    const QList<File> files = { { "f1", "a.bin", QByteArray(3000, 'a'), 0, true, true },
                                { "f2", "b.bin", QByteArray(5000, 'f'), 1, true, true } };
    fixture::serveRelease(server, { { "r", "9.0" } }, "r", files);
    server.setRoute(QStringLiteral("/files/show/id/") + brokenFile, reply);
    if (announceWrongChecksum) {
        QList<File> lying = files;
        lying[1].content = QByteArray(5000, 'g');
        server.setRoute(QStringLiteral("/releases/show/id/r"),
                        CannedReply::ok(fixture::detailsXml("r", "9.0", lying)));
    }

    UpdateManager manager;
    manager.setServerUrl(server.url());
    QVERIFY(runSearch(manager));
    QVERIFY(!runDownload(manager, QStringLiteral("r")));
    QCOMPARE(manager.error(), UpdateManager::Error::Download);
    QVERIFY(!manager.errorString().isEmpty());
    QVERIFY(manager.downloadedFiles().isEmpty());
    // All or nothing: the good first file was not kept either, and nothing half-written stays.
    QCOMPARE(filesUnderHome(), QStringList({ "VARNO Device Manager/updates/b.bin" }));
    QCOMPARE(readFile(updates + QStringLiteral("/b.bin")), QByteArray("old firmware"));
}

void TestUpdateManager::failedStoreKeepsTheOlderFiles()
{
    const QString updates = UpdateManager::updatesDirectory();
    QVERIFY(QDir().mkpath(updates));
    {
        QFile old(updates + QStringLiteral("/a.bin"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old a");
    }
    HttpTestServer server;
    QVERIFY(server.listen());
    const QList<File> files = { { "f1", "a.bin", QByteArray(3000, 'a'), 0, true, true },
                                { "f2", "b.bin", QByteArray(5000, 'b'), 1, true, true } };
    fixture::serveRelease(server, { { "r", "9.0" } }, "r", files);
    UpdateManager manager;
    manager.setServerUrl(server.url());
    QVERIFY(runSearch(manager));
    // Once the second file is on its way, a folder of its name gets in its way: the first file is
    // stored by then and must be taken back.
    connect(&manager, &UpdateManager::FileStarted, this, [&](const QString &name) {
        if (name == QLatin1String("b.bin") && QDir(updates).mkdir(name)) {
            QFile inside(updates + QStringLiteral("/b.bin/keep"));
            QVERIFY(inside.open(QIODevice::WriteOnly));
        }
    });
    QVERIFY(!runDownload(manager, QStringLiteral("r")));
    QCOMPARE(manager.error(), UpdateManager::Error::Download);
    QVERIFY2(manager.errorString().contains(QLatin1String("b.bin")), qPrintable(manager.errorString()));
    QCOMPARE(filesUnderHome(), QStringList({ "VARNO Device Manager/updates/a.bin",
                                             "VARNO Device Manager/updates/b.bin/keep" }));
    QCOMPARE(readFile(updates + QStringLiteral("/a.bin")), QByteArray("old a"));
}

void TestUpdateManager::programPlatformNamesThisBuild()
{
    const QString platform = UpdateManager::programPlatform();
#ifdef Q_OS_WIN
    QCOMPARE(platform, QStringLiteral("WIN32"));
#elif defined(Q_OS_LINUX)
    QCOMPARE(platform, QStringLiteral("LINUX-") + QSysInfo::buildCpuArchitecture());
#endif
}

void TestUpdateManager::programUpdateForThePlatform_data()
{
    QTest::addColumn<QString>("kernelType");
    QTest::addColumn<QString>("cpuArchitecture");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("otherPlatform");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("windows") << "winnt" << "x86_64" << "WIN32" << "LINUX-x86_64"
                             << "VARNO-Device-Manager-2.1.0.0-setup.exe";
    QTest::newRow("windows, other processor") << "winnt" << "arm64" << "WIN32" << "WINNT-arm64"
                                              << "VARNO-Device-Manager-2.1.0.0-setup.exe";
    QTest::newRow("linux") << "linux" << "x86_64" << "LINUX-x86_64" << "WIN32"
                           << "varno_2.1.0.0_amd64.deb";
    QTest::newRow("linux arm") << "linux" << "arm64" << "LINUX-arm64" << "LINUX-x86_64"
                               << "varno_2.1.0.0_arm64.deb";
}

void TestUpdateManager::programUpdateForThePlatform()
{
    QFETCH(QString, kernelType);
    QFETCH(QString, cpuArchitecture);
    QFETCH(QString, platform);
    QFETCH(QString, otherPlatform);
    QFETCH(QString, fileName);

    QCOMPARE(UpdateManager::platformName(kernelType, cpuArchitecture), platform);
    // The server holds the program's release for this platform and answers no other question.
    HttpTestServer server;
    QVERIFY(server.listen());
    fixture::serveRelease(server, { { "r-2-1", "2.1.0.0" } }, "r-2-1",
                          { { "f1", fileName, QByteArray("MZ setup program"), 0, true, true } });
    QUrlQuery query;
    query.setQueryItems({ { "product", "7" }, { "platform", platform }, { "version", "newest" } });
    server.requireQuery(QStringLiteral("/releases"), query);
    UpdateManager manager;
    manager.setServerUrl(server.url());
    QVERIFY(!runSearch(manager, otherPlatform));
    QVERIFY2(runSearch(manager, platform), qPrintable(manager.errorString()));
    QCOMPARE(manager.newestRelease().id, QStringLiteral("r-2-1"));
    QVERIFY2(runDownload(manager, QStringLiteral("r-2-1")), qPrintable(manager.errorString()));
    QCOMPARE(manager.downloadedFiles(), QStringList({ fileName }));

    // What the program then does with it: on Windows the setup program itself is started, by its
    // full path, without arguments; elsewhere the package goes to the desktop's installer.
    const bool windows = platform == QLatin1String("WIN32");
    const InstallerLaunch launch = InstallerLaunch::forFile(
        fileName, UpdateManager::updatesDirectory(),
        windows ? InstallerLaunch::Platform::Windows : InstallerLaunch::Platform::Other);
    if (windows) {
        const QString path = UpdateManager::localPath(fileName);
        QCOMPARE(launch.program, QString(path).replace(QLatin1Char('/'), QLatin1Char('\\')));
        QCOMPARE(launch.arguments, QStringList());
    } else {
        QVERIFY(!launch.canStart());
        QVERIFY(launch.openWithDesktop);
        QCOMPARE(launch.filePath, UpdateManager::localPath(fileName));
    }
}

void TestUpdateManager::hostileFileNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << "../evil.bin";
    QTest::newRow("deep parent") << "../../../../../../tmp/evil.bin";
    QTest::newRow("absolute") << "/tmp/evil.bin";
    QTest::newRow("subfolder") << "sub/evil.bin";
    QTest::newRow("backslash") << "..\\evil.bin";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("hidden") << ".bashrc";
    QTest::newRow("drive") << "C:evil.bin";
    QTest::newRow("device name") << "CON.bin";
    QTest::newRow("empty") << "";
    QTest::newRow("control character") << QStringLiteral("evil\nbin");
}

void TestUpdateManager::hostileFileNames()
{
    QFETCH(QString, name);
    HttpTestServer server;
    QVERIFY(server.listen());
    fixture::serveRelease(server, { { "r", "9.0" } }, "r",
                          { { "f1", name, "pwned", 0, true, true } });
    UpdateManager manager;
    manager.setServerUrl(server.url());
    QVERIFY(runSearch(manager));
    QVERIFY(!runDownload(manager, QStringLiteral("r")));
    QCOMPARE(manager.error(), UpdateManager::Error::BadReply);
    QCOMPARE(server.requestCount(QStringLiteral("/files/show/id/f1")), 0);
    QCOMPARE(filesUnderHome(), QStringList());
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/evil.bin")));
}

void TestUpdateManager::cancelDuringDownload()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    fixture::serveRelease(server, { { "r", "9.0" } }, "r",
                          { { "f1", "a.bin", "abc", 0, true, true } });
    CannedReply stalled;
    stalled.stall = true;
    server.setRoute(QStringLiteral("/files/show/id/f1"), stalled);
    UpdateManager manager;
    manager.setServerUrl(server.url());
    QVERIFY(runSearch(manager));
    QSignalSpy started(&manager, &UpdateManager::FileStarted);
    QSignalSpy fail(&manager, &UpdateManager::Fail);
    QVERIFY(manager.downloadRelease(QStringLiteral("r")));
    QTRY_COMPARE(server.requestCount(QStringLiteral("/files/show/id/f1")), 1);
    QCOMPARE(started.count(), 1);
    manager.cancel();
    QCOMPARE(fail.count(), 1);
    QCOMPARE(manager.error(), UpdateManager::Error::Canceled);
    QVERIFY(!manager.isBusy());
    QCOMPARE(filesUnderHome(), QStringList());
}

void TestUpdateManager::refusesOverlappingRequests()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    fixture::serveRelease(server, { { "r", "9.0" } }, "r", {});
    UpdateManager manager;
    manager.setServerUrl(server.url());
    // Files come from the server that listed the release: no search, no download.
    QVERIFY(!manager.downloadRelease(QStringLiteral("r")));
    QVERIFY(manager.requestReleases(QStringLiteral("7"), QStringLiteral("WIN32")));
    QVERIFY(!manager.requestReleases(QStringLiteral("7"), QStringLiteral("WIN32")));
    QSignalSpy done(&manager, &UpdateManager::Done);
    QTRY_COMPARE(done.count(), 1);
    QVERIFY(!manager.downloadRelease(QStringLiteral("../r")));
}

void TestUpdateManager::honoursApplicationProxy()
{
    // The test server plays an HTTP proxy: it sees absolute request targets for a host that
    // does not exist, which only a proxy could serve.
    HttpTestServer proxy;
    QVERIFY(proxy.listen());
    proxy.setRoute(QStringLiteral("/servers.xml"), CannedReply::ok(fixture::serversXml({})));
    proxy.setRoute(QStringLiteral("/releases"),
                   CannedReply::ok(fixture::releasesXml({ { "p", "4.0" } })));
    ProxySettings settings;
    settings.setMode(ProxySettings::ManualProxy);
    settings.setAddress(QStringLiteral("127.0.0.1"));
    settings.setPort(proxy.port());
    applyProxySettings(settings);

    UpdateManager manager;
    manager.setServerUrl(QUrl(QStringLiteral("http://updates.varno.invalid")));
    QVERIFY2(runSearch(manager), qPrintable(manager.errorString()));
    QCOMPARE(manager.versions(), QStringList({ "4.0" }));
    QCOMPARE(proxy.requests().size(), 2);
    QCOMPARE(proxy.requests().at(0), QStringLiteral("http://updates.varno.invalid/servers.xml"));
    QVERIFY(
        proxy.requests().at(1).startsWith(QLatin1String("http://updates.varno.invalid/releases?")));
}

// A self-signed certificate for "localhost" and 127.0.0.1 (tests/data/update, valid until 2126).
void TestUpdateManager::overHttps_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<bool>("downgrade"); // the release list redirects to plain HTTP
    QTest::newRow("trusted certificate") << true << false;
    QTest::newRow("unknown certificate") << false << false;
    QTest::newRow("redirect to http") << true << true;
}

void TestUpdateManager::overHttps()
{
    QFETCH(bool, trusted);
    QFETCH(bool, downgrade);
    // HTTPS is part of the deal: a missing TLS library is a failure, not a skip.
    QVERIFY2(QSslSocket::supportsSsl(), "Qt found no TLS library");
    QFile certificateFile(QStringLiteral(VARNO_TEST_DATA_DIR "/update/localhost.crt"));
    QFile keyFile(QStringLiteral(VARNO_TEST_DATA_DIR "/update/localhost.key"));
    QVERIFY(certificateFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    const QSslCertificate certificate(&certificateFile, QSsl::Pem);
    const QSslKey key(&keyFile, QSsl::Rsa, QSsl::Pem);
    QVERIFY(!certificate.isNull() && !key.isNull());

    const QSslConfiguration original = QSslConfiguration::defaultConfiguration();
    if (trusted) {
        QSslConfiguration configuration = original;
        configuration.addCaCertificate(certificate);
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
    HttpTestServer server;
    server.useTls(certificate, key);
    QVERIFY(server.listen());
    const QList<File> files = { { "f1", "fw.bin", QByteArray(70000, 's'), 1, true, true } };
    fixture::serveRelease(server, { { "r", "1.1" } }, "r", files);
    HttpTestServer plain;
    QVERIFY(plain.listen());
    fixture::serveRelease(plain, { { "r", "1.1" } }, "r", files);
    if (downgrade)
        server.setRoute(QStringLiteral("/releases"),
                        CannedReply::redirect(plain.url().toEncoded() + "/releases"));
    UpdateManager manager;
    manager.setServerUrl(server.url());
    const bool found = runSearch(manager);
    const bool downloaded = found && runDownload(manager, QStringLiteral("r"));
    QSslConfiguration::setDefaultConfiguration(original);

    if (!trusted) {
        // A server that cannot prove who it is gets no answer through: nothing to talk to.
        QVERIFY(!found);
        QCOMPARE(manager.error(), UpdateManager::Error::Unreachable);
        QCOMPARE(server.requests(), QStringList());
        return;
    }
    if (downgrade) {
        QVERIFY(!found);
        QCOMPARE(manager.error(), UpdateManager::Error::BadReply);
        QCOMPARE(plain.requests(), QStringList());
        return;
    }
    QVERIFY2(downloaded, qPrintable(manager.errorString()));
    QCOMPARE(readFile(UpdateManager::localPath(QStringLiteral("fw.bin"))), files.at(0).content);
}

void TestUpdateManager::configuredServerUrl_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QUrl>("expected");
    const QUrl fallback = UpdateManager::defaultServerUrl();
    QTest::newRow("unset") << QVariant() << fallback;
    QTest::newRow("http") << QVariant("http://127.0.0.1:8080") << QUrl("http://127.0.0.1:8080");
    QTest::newRow("https with path")
        << QVariant(" https://mirror.example/varno ") << QUrl("https://mirror.example/varno");
    QTest::newRow("ftp") << QVariant("ftp://mirror.example") << fallback;
    QTest::newRow("no host") << QVariant("http://") << fallback;
    QTest::newRow("file") << QVariant("file:///etc/passwd") << fallback;
    QTest::newRow("words") << QVariant("not an address") << fallback;
}

void TestUpdateManager::configuredServerUrl()
{
    QFETCH(QVariant, stored);
    QFETCH(QUrl, expected);
    QVERIFY(UpdateManager::defaultServerUrl().isValid());
    {
        QSettings settings;
        if (stored.isValid())
            settings.setValue(QLatin1String(UpdateManager::kServerSettingsKey), stored);
    }
    QCOMPARE(UpdateManager::configuredServerUrl(), expected);
    UpdateManager manager;
    QCOMPARE(manager.serverUrl(), expected);
}

QTEST_GUILESS_MAIN(TestUpdateManager)
#include "tst_updatemanager.moc"
