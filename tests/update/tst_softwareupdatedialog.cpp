#include "update/ui/downloadframe.h"
#include "update/ui/softwareupdatedialog.h"
#include "update/ui/unifiedframe.h"
#include "update/ui/updateconfirmationframe.h"
#include "update/updatemanager.h"
#include "update/ui/versionsearchframe.h"

#include "httptestserver.h"
#include "updatefixture.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using fixture::File;

namespace {

QPushButton *button(QWidget *frame, const char *name)
{
    return frame->findChild<QPushButton *>(QLatin1String(name));
}

QString labelText(QWidget *frame, const char *name)
{
    QLabel *label = frame->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QString();
}

quint16 deadPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

class TestSoftwareUpdateDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void endings_data();
    void endings();
    void downloadFlow();
    void cancelAtConfirmation();
    void cancelDuringDownload();
    void escapeDuringSearch();

private:
    QStringList updateFiles() const
    {
        return QDir(UpdateManager::updatesDirectory()).entryList(QDir::Files | QDir::Hidden);
    }

    QTemporaryDir m_home;
};

void TestSoftwareUpdateDialog::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("VARNO Device Manager"));
}

void TestSoftwareUpdateDialog::init()
{
    QDir(UpdateManager::updatesDirectory()).removeRecursively();
}

// Every way a run ends without a download, and the one with it, as the last page shows them.
void TestSoftwareUpdateDialog::endings_data()
{
    QTest::addColumn<QString>("current");
    QTest::addColumn<QByteArray>("releases"); // empty: no server at all
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("brokenFile");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("result");

    const QByteArray newer = fixture::releasesXml({ { "r1", "1.9" }, { "r2", "1.10" } });
    const int accepted = QDialog::Accepted;
    const int rejected = QDialog::Rejected;
    QTest::newRow("same version") << "1.10" << newer << false << false << "Up to date" << rejected;
    QTest::newRow("newer installed")
        << "2.0" << newer << false << false << "Up to date" << rejected;
    // A different numbering scheme is never offered as an update.
    QTest::newRow("three parts") << "1.9.0" << newer << false << false << "Up to date" << rejected;
    QTest::newRow("no releases") << "1.0" << fixture::releasesXml({}) << false << false
                                 << "Up to date" << rejected;
    QTest::newRow("no server") << "1.0" << QByteArray() << false << false << "Server unreachable"
                               << rejected;
    QTest::newRow("bad reply") << "1.0" << QByteArray("<releases><release") << false << false
                               << "Failure" << rejected;
    QTest::newRow("checksum mismatch") << "1.0" << newer << true << true << "Failure" << rejected;
    QTest::newRow("downloaded") << "1.0" << newer << true << false << "Success" << accepted;
}

void TestSoftwareUpdateDialog::endings()
{
    QFETCH(QString, current);
    QFETCH(QByteArray, releases);
    QFETCH(bool, confirm);
    QFETCH(bool, brokenFile);
    QFETCH(QString, title);
    QFETCH(int, result);

    HttpTestServer server;
    QVERIFY(server.listen());
    const File file { "f1", "firmware.bin", QByteArray(4096, 'w'), 1, true, true };
    fixture::serveRelease(server, { { "r2", "1.10" } }, "r2", { file });
    server.setRoute(QStringLiteral("/releases"), CannedReply::ok(releases));
    if (brokenFile)
        server.setRoute(QStringLiteral("/files/show/id/f1"),
                        CannedReply::ok(QByteArray(4096, 'x')));

    SoftwareUpdateDialog dialog(QStringLiteral("ORM-2"), QStringLiteral("STM32"), current);
    dialog.updateManager()->setServerUrl(
        releases.isEmpty() ? QUrl(QStringLiteral("http://127.0.0.1:%1").arg(deadPort()))
                           : server.url());
    QSignalSpy finished(&dialog, &QDialog::finished);
    dialog.show();
    QCOMPARE(dialog.currentFrame(), static_cast<QWidget *>(dialog.searchFrame()));
    if (confirm) {
        QTRY_COMPARE(dialog.currentFrame(), static_cast<QWidget *>(dialog.confirmationFrame()));
        QCOMPARE(labelText(dialog.confirmationFrame(), "currentVersionLabel"), current);
        QCOMPARE(labelText(dialog.confirmationFrame(), "latestVersionLabel"),
                 QStringLiteral("1.10"));
        button(dialog.confirmationFrame(), "downloadButton")->click();
    }
    QTRY_COMPARE(dialog.currentFrame(), static_cast<QWidget *>(dialog.unifiedFrame()));
    QCOMPARE(dialog.unifiedFrame()->title(), title);
    QVERIFY(!dialog.unifiedFrame()->text().isEmpty());
    QVERIFY(finished.isEmpty());

    button(dialog.unifiedFrame(), "closeButton")->click();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(dialog.result(), result);
    QCOMPARE(dialog.isDownloadReady(), result == QDialog::Accepted);
    if (result == QDialog::Accepted) {
        QCOMPARE(dialog.downloadedFiles(), QStringList({ "firmware.bin" }));
        QCOMPARE(dialog.downloadedFileDetails().value(0).kind, 1);
        QCOMPARE(updateFiles(), QStringList({ "firmware.bin" }));
    } else {
        QVERIFY(dialog.downloadedFiles().isEmpty());
        QCOMPARE(updateFiles(), QStringList());
    }
}

void TestSoftwareUpdateDialog::downloadFlow()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    const QList<File> files = { { "a", "VARNO-2.1.msi", QByteArray(300000, 'i'), 0, true, true },
                                { "b", "notes.txt", QByteArray("new"), 0, false, false } };
    fixture::serveRelease(server, { { "r", "2.1.0.0" } }, "r", files);
    SoftwareUpdateDialog dialog(QStringLiteral("7"), QStringLiteral("WIN32"),
                                QStringLiteral("2.0.2.3"));
    dialog.updateManager()->setServerUrl(server.url());
    QSignalSpy started(dialog.updateManager(), &UpdateManager::FileStarted);
    // What the download page shows as each file starts (connected after the page itself).
    QStringList shown;
    connect(dialog.updateManager(), &UpdateManager::FileStarted, &dialog, [&] {
        shown.append(labelText(dialog.downloadFrame(), "fileLabel") + QLatin1Char('|')
                     + labelText(dialog.downloadFrame(), "fileCountLabel"));
    });
    dialog.show();
    QTRY_COMPARE(dialog.currentFrame(), static_cast<QWidget *>(dialog.confirmationFrame()));
    QCOMPARE(dialog.latestVersion(), QStringLiteral("2.1.0.0"));
    QCOMPARE(server.requestCount(QStringLiteral("/releases/show/id/r")), 0);
    button(dialog.confirmationFrame(), "downloadButton")->click();
    QCOMPARE(dialog.currentFrame(), static_cast<QWidget *>(dialog.downloadFrame()));
    QTRY_COMPARE(dialog.currentFrame(), static_cast<QWidget *>(dialog.unifiedFrame()));
    QCOMPARE(dialog.ending(), SoftwareUpdateDialog::Ending::Success);
    QCOMPARE(started.count(), 2);
    QCOMPARE(shown, QStringList({ "VARNO-2.1.msi|File 1 of 2", "notes.txt|File 2 of 2" }));
    button(dialog.unifiedFrame(), "closeButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.downloadedFiles(), QStringList({ "VARNO-2.1.msi", "notes.txt" }));
}

void TestSoftwareUpdateDialog::cancelAtConfirmation()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    fixture::serveRelease(server, { { "r", "5.0" } }, "r",
                          { { "f", "x.bin", "x", 0, true, true } });
    SoftwareUpdateDialog dialog(QStringLiteral("7"), QStringLiteral("WIN32"),
                                QStringLiteral("4.9"));
    dialog.updateManager()->setServerUrl(server.url());
    dialog.show();
    QTRY_COMPARE(dialog.currentFrame(), static_cast<QWidget *>(dialog.confirmationFrame()));
    button(dialog.confirmationFrame(), "cancelButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isDownloadReady());
    QCOMPARE(server.requestCount(QStringLiteral("/releases/show/id/r")), 0);
    QCOMPARE(updateFiles(), QStringList());
}

void TestSoftwareUpdateDialog::cancelDuringDownload()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    fixture::serveRelease(
        server, { { "r", "5.0" } }, "r",
        { { "f1", "a.bin", "aaa", 0, true, true }, { "f2", "b.bin", "b", 0, true, true } });
    CannedReply stalled;
    stalled.stall = true;
    server.setRoute(QStringLiteral("/files/show/id/f2"), stalled);
    SoftwareUpdateDialog dialog(QStringLiteral("7"), QStringLiteral("WIN32"),
                                QStringLiteral("4.9"));
    dialog.updateManager()->setServerUrl(server.url());
    dialog.show();
    QTRY_COMPARE(dialog.currentFrame(), static_cast<QWidget *>(dialog.confirmationFrame()));
    button(dialog.confirmationFrame(), "downloadButton")->click();
    QTRY_COMPARE(server.requestCount(QStringLiteral("/files/show/id/f2")), 1);
    button(dialog.downloadFrame(), "cancelButton")->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.updateManager()->isBusy());
    QVERIFY(!dialog.isDownloadReady());
    // The first file had arrived whole; without the second the release is not kept.
    QCOMPARE(updateFiles(), QStringList());
}

void TestSoftwareUpdateDialog::escapeDuringSearch()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    CannedReply stalled;
    stalled.stall = true;
    server.setRoute(QStringLiteral("/servers.xml"), stalled);
    SoftwareUpdateDialog dialog(QStringLiteral("7"), QStringLiteral("WIN32"),
                                QStringLiteral("1.0"));
    dialog.updateManager()->setServerUrl(server.url());
    dialog.show();
    QTRY_COMPARE(server.requestCount(QStringLiteral("/servers.xml")), 1);
    QVERIFY(dialog.updateManager()->isBusy());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.updateManager()->isBusy());
    QCOMPARE(dialog.ending(), SoftwareUpdateDialog::Ending::None);
}

QTEST_MAIN(TestSoftwareUpdateDialog)
#include "tst_softwareupdatedialog.moc"
