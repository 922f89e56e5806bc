#include "device/device.h"
#include "device/devicemanager.h"
#include "panels/generaldevicewidget.h"
#include "tests/common/devsimprocess.h"
#include "update/ui/firmwareuploaddialog.h"
#include "update/ui/softwareupdatedialog.h"
#include "update/ui/unifiedframe.h"
#include "update/ui/updateconfirmationframe.h"
#include "update/updatemanager.h"
#include "updatefixture.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using fixture::File;

namespace {

// One file as the simulator's dump shows it.
struct DumpedFile
{
    QByteArray content;
    int attributes = 0;
};

// A simulator attached through the device manager, whose file system is dumped when it stops.
class Monitor
{
public:
    explicit Monitor(const QString &dumpFolder)
        : m_dumpFolder(dumpFolder)
    {
    }
    ~Monitor() { stop(); }

    // files: local paths put on the device under their names; more: further simulator options.
    bool attach(const QStringList &files, const QStringList &more = {})
    {
        QStringList args { QStringLiteral("--no-files"), QStringLiteral("--dump"), m_dumpFolder };
        for (const QString &file : files)
            args << QStringLiteral("--file") << file;
        if (!m_sim.start(args + more))
            return false;
        QSignalSpy inserted(DeviceManager::instance(), &DeviceManager::DeviceInserted);
        DeviceManager::instance()->OnDeviceInserted(m_sim.path());
        if (!DeviceManager::hasDevice(m_sim.path()))
            return false;
        return inserted.wait(20000) || inserted.size() > 0;
    }

    // Unplugged as the notifier reports it; the simulator goes on running.
    void unplug()
    {
        if (!m_sim.path().isEmpty() && DeviceManager::hasDevice(m_sim.path()))
            DeviceManager::instance()->OnDeviceRemoved(m_sim.path());
    }

    // Unplugs the monitor and ends the simulator, which writes its dump.
    void stop()
    {
        unplug();
        m_sim.stop();
    }

    // The simulator alone goes away: the program learns it from the link.
    void killSimulator() { m_sim.stop(); }

    QMap<QString, DumpedFile> dump() const
    {
        QMap<QString, DumpedFile> files;
        QFile index(m_dumpFolder + QStringLiteral("/filesystem.lst"));
        if (!index.open(QIODevice::ReadOnly))
            return files;
        const QStringList lines
            = QString::fromUtf8(index.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : lines) {
            const QStringList fields = line.split(QLatin1Char(' '));
            QFile data(m_dumpFolder + QLatin1Char('/') + fields.value(0));
            DumpedFile file;
            if (data.open(QIODevice::ReadOnly))
                file.content = data.readAll();
            file.attributes = fields.value(2).toInt();
            files.insert(fields.value(0), file);
        }
        return files;
    }

    QString path() const { return m_sim.path(); }

private:
    DevSimProcess m_sim;
    QString m_dumpFolder;
};

QByteArray content(const QString &name, int size = 300)
{
    QByteArray data = name.toUtf8() + ':';
    while (data.size() < size)
        data.append(char('a' + data.size() % 26));
    return data.left(size);
}

QPushButton *button(QWidget *parent, const char *name)
{
    return parent->findChild<QPushButton *>(QLatin1String(name));
}

QString labelText(QWidget *parent, const char *name)
{
    return parent->findChild<QLabel *>(QLatin1String(name))->text();
}

// "name:kind" entries into what a download would have left in the updates folder.
QList<UpdateFile> download(const QStringList &entries)
{
    QDir().mkpath(UpdateManager::updatesDirectory());
    QList<UpdateFile> files;
    for (const QString &entry : entries) {
        UpdateFile file;
        file.name = entry.section(QLatin1Char(':'), 0, 0);
        file.kind = entry.section(QLatin1Char(':'), 1, 1).toInt();
        const QByteArray data = content(QStringLiteral("new ") + file.name);
        QFile out(UpdateManager::localPath(file.name));
        if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size())
            return {};
        file.size = data.size();
        file.sha256 = QCryptographicHash::hash(data, QCryptographicHash::Sha256);
        files.append(file);
    }
    return files;
}

} // namespace

class tst_FirmwareUpload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void attributesForKind_data();
    void attributesForKind();
    void isSameFile_data();
    void isSameFile();
    void startsReady();
    void upload_data();
    void upload();
    void deviceGoneWhileWriting_data();
    void deviceGoneWhileWriting();
    void refusedByTheDevice_data();
    void refusedByTheDevice();
    void unusableDownload_data();
    void unusableDownload();
    void generalTabFirmwareCheck_data();
    void generalTabFirmwareCheck();
    void generalTabUpdateButton();

private:
    // Local files to put on the device: each name with content of its own.
    QStringList deviceFiles(const QStringList &names);
    // Runs a shown dialog from Proceed until it leaves the working stages.
    void runUpload(FirmwareUploadDialog &dialog);

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_work;
};

void tst_FirmwareUpload::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The updates folder and the settings live under the home folder: keep both private.
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/.config")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("VARNO Device Manager"));
}

void tst_FirmwareUpload::init()
{
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    QDir(UpdateManager::updatesDirectory()).removeRecursively();
    // No test reaches a real update server.
    QSettings().setValue(QLatin1String(UpdateManager::kServerSettingsKey),
                         QStringLiteral("http://127.0.0.1:9/"));
}

void tst_FirmwareUpload::cleanup()
{
    QSettings().remove(QLatin1String(UpdateManager::kServerSettingsKey));
    m_work.reset();
}

QStringList tst_FirmwareUpload::deviceFiles(const QStringList &names)
{
    const QString folder = m_work->filePath(QStringLiteral("device"));
    QDir().mkpath(folder);
    QStringList paths;
    for (const QString &name : names) {
        QFile out(folder + QLatin1Char('/') + name);
        if (out.open(QIODevice::WriteOnly))
            out.write(content(QStringLiteral("old ") + name));
        paths.append(out.fileName());
    }
    return paths;
}

void tst_FirmwareUpload::runUpload(FirmwareUploadDialog &dialog)
{
    dialog.show();
    QVERIFY(button(&dialog, "proceedButton")->isEnabled());
    button(&dialog, "proceedButton")->click();
    QVERIFY(!button(&dialog, "cancelButton")->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.stage() >= FirmwareUploadDialog::Succeeded, 20000);
}

void tst_FirmwareUpload::attributesForKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("attributes");
    QTest::newRow("0: firmware image") << 0 << 0x80;
    QTest::newRow("1: system file") << 1 << 0x04;
    QTest::newRow("2: system file") << 2 << 0x04;
    QTest::newRow("3: none given") << 3 << -1;
    QTest::newRow("255: none given") << 255 << -1;
    QTest::newRow("-1: none given") << -1 << -1;
}

void tst_FirmwareUpload::attributesForKind()
{
    QFETCH(int, kind);
    QFETCH(int, attributes);
    QCOMPARE(FirmwareUploadDialog::attributesForKind(kind), attributes);
}

void tst_FirmwareUpload::isSameFile_data()
{
    QTest::addColumn<QString>("newFile");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("extension");
    QTest::addColumn<bool>("same");
    QTest::newRow("same case") << "FW.BIN" << QByteArray("FW") << QByteArray("BIN") << true;
    QTest::newRow("lower case") << "fw.bin" << QByteArray("FW") << QByteArray("BIN") << true;
    QTest::newRow("mixed case") << "Fw.bIn" << QByteArray("FW") << QByteArray("BIN") << true;
    QTest::newRow("other extension") << "fw.bi" << QByteArray("FW") << QByteArray("BIN") << false;
    QTest::newRow("longer name") << "fw2.bin" << QByteArray("FW") << QByteArray("BIN") << false;
    QTest::newRow("no extension") << "loader" << QByteArray("LOADER") << QByteArray() << true;
    QTest::newRow("extension against none")
        << "loader.bin" << QByteArray("LOADER") << QByteArray() << false;
    // An over-long name goes to the device in its short form and replaces the file of that form.
    QTest::newRow("short form") << "firmware-main.bin" << QByteArray("FIRMWA~1")
                                << QByteArray("BIN") << true;
    QTest::newRow("short form, other file")
        << "firmware-main.bin" << QByteArray("FIRMWA~2") << QByteArray("BIN") << false;
}

void tst_FirmwareUpload::isSameFile()
{
    QFETCH(QString, newFile);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, extension);
    QFETCH(bool, same);
    QCOMPARE(
        FirmwareUploadDialog::isSameFile(newFile, FileDescriptor::make(name, extension, 10, 0, 1)),
        same);
}

void tst_FirmwareUpload::startsReady()
{
    QWidget parent;
    FirmwareUploadDialog dialog(&parent);
    QCOMPARE(dialog.stage(), int(FirmwareUploadDialog::Ready));
    QCOMPARE(labelText(&dialog, "titleLabel"), QStringLiteral("Ready to upload"));
    QCOMPARE(labelText(&dialog, "descriptionLabel"),
             QStringLiteral(
                 "We are ready to upload new firmware.\nPlease confirm you wish to proceed."));
    QCOMPARE(int(dialog.windowFlags()), 0x90F);
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.windowModality(), Qt::WindowModal);
    dialog.show();
    QVERIFY(!dialog.findChild<QProgressBar *>(QStringLiteral("progressBar"))->isVisible());
    QVERIFY(!dialog.findChild<QLabel *>(QStringLiteral("stageLabel"))->isVisible());
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    button(&dialog, "cancelButton")->click();
    QCOMPARE(rejected.size(), 1);
}

void tst_FirmwareUpload::upload_data()
{
    QTest::addColumn<QStringList>("onDevice");
    QTest::addColumn<QStringList>("newFiles"); // name:kind
    QTest::addColumn<QList<int>>("stages");
    QTest::addColumn<QStringList>("replaced"); // device names that get the new content
    QTest::addColumn<QList<int>>("attributes"); // of the replaced files, in order
    QTest::addColumn<bool>("unplugAfterwards"); // else the user closes the dialog

    const QList<int> withRemoval { FirmwareUploadDialog::Removing, FirmwareUploadDialog::Writing,
                                   FirmwareUploadDialog::Succeeded };
    const QList<int> straightToWriting { FirmwareUploadDialog::Writing,
                                         FirmwareUploadDialog::Succeeded };
    QTest::newRow("old files in any letter case removed, new ones written")
        << QStringList { "FW.BIN", "BOOT.EXC", "README.TXT" }
        << QStringList { "fw.bin:0", "Boot.Exc:1" } << withRemoval
        << QStringList { "FW.BIN", "BOOT.EXC" } << QList<int> { 0x80, 0x04 } << false;
    QTest::newRow("no matching files: straight to writing")
        << QStringList { "README.TXT" } << QStringList { "fw.bin:0", "loader.exc:2" }
        << straightToWriting << QStringList { "FW.BIN", "LOADER.EXC" } << QList<int> { 0x80, 0x04 }
        << false;
    QTest::newRow("empty device") << QStringList() << QStringList { "fw.bin:1" }
                                  << straightToWriting << QStringList { "FW.BIN" }
                                  << QList<int> { 0x04 } << false;
    QTest::newRow("kind without attributes")
        << QStringList { "DATA.BIN" } << QStringList { "data.bin:7" } << withRemoval
        << QStringList { "DATA.BIN" } << QList<int> { 0 } << false;
    // The success text asks the user to unplug the monitor: that closes the dialog as accepted.
    QTest::newRow("unplugged after success")
        << QStringList { "FW.BIN" } << QStringList { "fw.bin:0" } << withRemoval
        << QStringList { "FW.BIN" } << QList<int> { 0x80 } << true;
}

void tst_FirmwareUpload::upload()
{
    QFETCH(QStringList, onDevice);
    QFETCH(QStringList, newFiles);
    QFETCH(QList<int>, stages);
    QFETCH(QStringList, replaced);
    QFETCH(QList<int>, attributes);
    QFETCH(bool, unplugAfterwards);

    const QList<UpdateFile> files = download(newFiles);
    QCOMPARE(files.size(), newFiles.size());
    Monitor monitor(m_work->filePath(QStringLiteral("dump")));
    QVERIFY(monitor.attach(deviceFiles(onDevice)));

    QWidget parent;
    FirmwareUploadDialog dialog(&parent);
    dialog.setDevice(monitor.path());
    dialog.setFiles(files);
    QSignalSpy stageSpy(&dialog, &FirmwareUploadDialog::stageChanged);
    runUpload(dialog);
    QList<int> seen;
    for (const QList<QVariant> &signal : qAsConst(stageSpy))
        seen.append(signal.at(0).toInt());
    QCOMPARE(seen, stages);
    QVERIFY2(dialog.isSucceeded(), qPrintable(dialog.failureText()));
    QCOMPARE(labelText(&dialog, "titleLabel"), QStringLiteral("Success"));
    QCOMPARE(labelText(&dialog, "stageLabel"), QStringLiteral("Stage: %1/%1").arg(files.size()));
    QVERIFY(button(&dialog, "proceedButton")->isEnabled());
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    if (unplugAfterwards)
        monitor.unplug();
    else
        button(&dialog, "proceedButton")->click();
    QCOMPARE(accepted.size(), 1);
    QCOMPARE(dialog.stage(), int(FirmwareUploadDialog::Succeeded));

    monitor.stop();
    const QMap<QString, DumpedFile> dump = monitor.dump();
    QStringList expectedNames = onDevice + replaced;
    expectedNames.removeDuplicates();
    expectedNames.sort();
    QCOMPARE(dump.keys(), expectedNames);
    for (int i = 0; i < replaced.size(); ++i) {
        const DumpedFile file = dump.value(replaced.at(i));
        QCOMPARE(file.content, content(QStringLiteral("new ") + files.at(i).name));
        QCOMPARE(file.attributes, attributes.at(i));
    }
    for (const QString &name : qAsConst(onDevice)) {
        if (!replaced.contains(name))
            QCOMPARE(dump.value(name).content, content(QStringLiteral("old ") + name));
    }
}

void tst_FirmwareUpload::deviceGoneWhileWriting_data()
{
    QTest::addColumn<bool>("unplugged"); // else the simulator dies and the link breaks
    QTest::newRow("unplugged") << true;
    QTest::newRow("simulator ended") << false;
}

void tst_FirmwareUpload::deviceGoneWhileWriting()
{
    QFETCH(bool, unplugged);
    QList<UpdateFile> files = download({ "fw.bin:0" });
    // Large enough that writing it takes many acknowledged frames.
    const QByteArray big = content(QStringLiteral("big"), 48 * 1024);
    QFile out(UpdateManager::localPath(files.first().name));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(big) == big.size());
    out.close();
    files.first().size = big.size();
    files.first().sha256 = QCryptographicHash::hash(big, QCryptographicHash::Sha256);

    Monitor monitor(m_work->filePath(QStringLiteral("dump")));
    QVERIFY(monitor.attach(deviceFiles({ "FW.BIN" })));
    QWidget parent;
    FirmwareUploadDialog dialog(&parent);
    dialog.setDevice(monitor.path());
    dialog.setFiles(files);
    connect(&dialog, &FirmwareUploadDialog::stageChanged, this, [&](int stage) {
        if (stage != FirmwareUploadDialog::Writing)
            return;
        QTimer::singleShot(0, this, [&] {
            if (unplugged)
                monitor.unplug();
            else
                monitor.killSimulator();
        });
    });
    runUpload(dialog);
    QCOMPARE(dialog.stage(), int(FirmwareUploadDialog::Aborted));
    QVERIFY(dialog.isAborted());
    QVERIFY(!dialog.isSucceeded());
    QCOMPARE(labelText(&dialog, "titleLabel"), QStringLiteral("Uploading aborted"));
    QCOMPARE(
        labelText(&dialog, "descriptionLabel"),
        QStringLiteral("Operation was aborted because the connection to the device was lost."));
    QVERIFY(!dialog.findChild<QProgressBar *>(QStringLiteral("progressBar"))->isVisible());
    QTRY_VERIFY(!DeviceManager::hasDevice(monitor.path()));
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    QVERIFY(button(&dialog, "proceedButton")->isEnabled());
    button(&dialog, "proceedButton")->click();
    QCOMPARE(rejected.size(), 1);
}

void tst_FirmwareUpload::refusedByTheDevice_data()
{
    QTest::addColumn<QStringList>("onDevice");
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("failedFile");
    QTest::addColumn<QStringList>("after"); // the device's files afterwards
    // The new files: fw.bin then extra.bin.
    QTest::newRow("removal refused") << QStringList { "FW.BIN", "README.TXT" } << "FW.BIN"
                                     << "FW.BIN" << QStringList { "FW.BIN", "README.TXT" };
    QTest::newRow("write refused") << QStringList { "README.TXT" } << "FW.BIN"
                                   << "fw.bin" << QStringList { "README.TXT" };
}

void tst_FirmwareUpload::refusedByTheDevice()
{
    QFETCH(QStringList, onDevice);
    QFETCH(QString, refused);
    QFETCH(QString, failedFile);
    QFETCH(QStringList, after);

    const QList<UpdateFile> files = download({ "fw.bin:0", "extra.bin:0" });
    Monitor monitor(m_work->filePath(QStringLiteral("dump")));
    QVERIFY(monitor.attach(deviceFiles(onDevice), { QStringLiteral("--refuse-file"), refused }));
    QWidget parent;
    FirmwareUploadDialog dialog(&parent);
    dialog.setDevice(monitor.path());
    dialog.setFiles(files);
    runUpload(dialog);
    QCOMPARE(dialog.stage(), int(FirmwareUploadDialog::Failed));
    QVERIFY(!dialog.isSucceeded());
    QCOMPARE(labelText(&dialog, "titleLabel"), QStringLiteral("Uploading failed"));
    const QString shown = labelText(&dialog, "descriptionLabel");
    QVERIFY2(shown.contains(QLatin1Char('"') + failedFile + QLatin1Char('"')), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("the device reported an error")), qPrintable(shown));
    QCOMPARE(shown, dialog.failureText());

    // The way out: the one enabled button closes the dialog.
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    QVERIFY(button(&dialog, "proceedButton")->isEnabled());
    QCOMPARE(button(&dialog, "proceedButton")->text(), QStringLiteral("Close"));
    button(&dialog, "proceedButton")->click();
    QCOMPARE(rejected.size(), 1);

    // Nothing went on after the failure: the remaining files are as they were, nothing new came.
    monitor.stop();
    const QMap<QString, DumpedFile> dump = monitor.dump();
    QCOMPARE(dump.keys(), after);
    for (const QString &name : qAsConst(after))
        QCOMPARE(dump.value(name).content, content(QStringLiteral("old ") + name));
}

void tst_FirmwareUpload::unusableDownload_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing local file") << "missing"
                                        << "cannot be read";
    QTest::newRow("checksum mismatch") << "checksum"
                                       << "checksum";
    QTest::newRow("size changed") << "size"
                                  << "has changed";
    QTest::newRow("unsafe name") << "name"
                                 << "not a usable file name";
}

void tst_FirmwareUpload::unusableDownload()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);

    // The bad one comes second: nothing of the first may reach the device either.
    QList<UpdateFile> files = download({ "boot.exc:1", "fw.bin:0" });
    UpdateFile &bad = files[1];
    if (fault == QLatin1String("missing")) {
        QVERIFY(QFile::remove(UpdateManager::localPath(bad.name)));
    } else if (fault == QLatin1String("checksum")) {
        QFile file(UpdateManager::localPath(bad.name));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(10) && file.write("X", 1) == 1);
    } else if (fault == QLatin1String("size")) {
        QFile file(UpdateManager::localPath(bad.name));
        QVERIFY(file.open(QIODevice::Append) && file.write("tail") == 4);
    } else {
        bad.name = QStringLiteral("../fw.bin");
    }

    Monitor monitor(m_work->filePath(QStringLiteral("dump")));
    QVERIFY(monitor.attach(deviceFiles({ "FW.BIN", "BOOT.EXC" })));
    QWidget parent;
    FirmwareUploadDialog dialog(&parent);
    dialog.setDevice(monitor.path());
    dialog.setFiles(files);
    QSignalSpy updates(DeviceManager::instance()->device(monitor.path()), &Device::dataUpdated);
    runUpload(dialog);
    QCOMPARE(dialog.stage(), int(FirmwareUploadDialog::Failed));
    const QString shown = labelText(&dialog, "descriptionLabel");
    QVERIFY2(shown.contains(bad.name), qPrintable(shown));
    QVERIFY2(shown.contains(message), qPrintable(shown));
    QVERIFY2(shown.contains(QStringLiteral("Nothing was changed on the device.")),
             qPrintable(shown));
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    button(&dialog, "proceedButton")->click();
    QCOMPARE(rejected.size(), 1);

    // Not even the listing was asked for.
    for (const QList<QVariant> &signal : qAsConst(updates))
        QVERIFY(signal.at(0).toInt() != Device::ListFiles);
    monitor.stop();
    const QMap<QString, DumpedFile> dump = monitor.dump();
    QCOMPARE(dump.keys(), QStringList({ "BOOT.EXC", "FW.BIN" }));
    QCOMPARE(dump.value("FW.BIN").content, content(QStringLiteral("old FW.BIN")));
    QCOMPARE(dump.value("BOOT.EXC").content, content(QStringLiteral("old BOOT.EXC")));
}

void tst_FirmwareUpload::generalTabFirmwareCheck_data()
{
    QTest::addColumn<QByteArray>("releases"); // empty: no server listening
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("offered");
    // The simulated monitor runs firmware 1.9.
    QTest::newRow("newer firmware")
        << fixture::releasesXml({ { "r1", "1.8" }, { "r3", "1.10" }, { "r2", "1.9" } }) << "1.10"
        << true;
    QTest::newRow("same firmware") << fixture::releasesXml({ { "r2", "1.9" } }) << "1.9" << false;
    QTest::newRow("other numbering")
        << fixture::releasesXml({ { "r4", "1.9.1" } }) << "1.9.1" << false;
    QTest::newRow("nothing released") << fixture::releasesXml({}) << "Not available" << false;
    QTest::newRow("server unreachable") << QByteArray() << "Not available" << false;
}

void tst_FirmwareUpload::generalTabFirmwareCheck()
{
    QFETCH(QByteArray, releases);
    QFETCH(QString, shown);
    QFETCH(bool, offered);

    HttpTestServer server;
    QVERIFY(server.listen());
    server.setRoute(QStringLiteral("/servers.xml"), CannedReply::ok(fixture::serversXml({})));
    server.setRoute(QStringLiteral("/releases"), CannedReply::ok(releases));
    if (!releases.isEmpty())
        QSettings().setValue(QLatin1String(UpdateManager::kServerSettingsKey),
                             server.url().toString());

    Monitor monitor(m_work->filePath(QStringLiteral("dump")));
    QVERIFY(monitor.attach({}, { QStringLiteral("--hardware"), QStringLiteral("2.1") }));
    GeneralDeviceWidget widget;
    widget.show();
    widget.setDevice(monitor.path());
    QTRY_COMPARE(labelText(&widget, "lastVersionLabel"), shown);
    if (!releases.isEmpty()) {
        QTRY_VERIFY(!server.requests().filter(QStringLiteral("/releases")).isEmpty());
        const QString query = server.requests().filter(QStringLiteral("/releases")).first();
        // Asked for the monitor's hardware and platform.
        QVERIFY2(query.contains(QStringLiteral("product=2.1")), qPrintable(query));
        QVERIFY2(query.contains(QStringLiteral("platform=DAV-180")), qPrintable(query));
    }
    auto *update = button(&widget, "updateSoftwarePushButton");
    QCOMPARE(update->isVisible(), offered);
    QCOMPARE(update->isEnabled(), offered);
}

// The Update button end to end: the software update dialog downloads from the local server, the
// upload dialog puts the files on the simulated monitor.
void tst_FirmwareUpload::generalTabUpdateButton()
{
    HttpTestServer server;
    QVERIFY(server.listen());
    const File image { "f1", "fw.bin", content(QStringLiteral("served image")), 0, true, true };
    const File loader { "f2", "Boot.Exc", content(QStringLiteral("served loader")), 1, true, true };
    fixture::serveRelease(server, { { "r2", "1.10" } }, "r2", { image, loader });
    QSettings().setValue(QLatin1String(UpdateManager::kServerSettingsKey), server.url().toString());

    Monitor monitor(m_work->filePath(QStringLiteral("dump")));
    QVERIFY(monitor.attach(deviceFiles({ "FW.BIN", "README.TXT" })));
    GeneralDeviceWidget widget;
    widget.show();
    widget.setDevice(monitor.path());
    auto *update = button(&widget, "updateSoftwarePushButton");
    QTRY_VERIFY(update->isVisible() && update->isEnabled());

    // Plays the user in the two modal dialogs, which run their own event loops.
    QStringList seen;
    QTimer user;
    QElapsedTimer clock;
    clock.start();
    connect(&user, &QTimer::timeout, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        // A run that hangs fails the comparison below instead of the whole test program.
        if (clock.elapsed() > 60000) {
            if (auto *dialog = qobject_cast<QDialog *>(modal)) {
                seen.append(QStringLiteral("timed out"));
                dialog->done(QDialog::Rejected);
            }
            return;
        }
        if (auto *search = qobject_cast<SoftwareUpdateDialog *>(modal)) {
            if (search->currentFrame() == search->confirmationFrame()) {
                seen.append(QStringLiteral("confirm"));
                button(search->confirmationFrame(), "downloadButton")->click();
            } else if (search->currentFrame() == search->unifiedFrame()) {
                seen.append(search->unifiedFrame()->title());
                button(search->unifiedFrame(), "closeButton")->click();
            }
        } else if (auto *upload = qobject_cast<FirmwareUploadDialog *>(modal)) {
            if (upload->stage() == FirmwareUploadDialog::Ready
                && !seen.contains(QStringLiteral("proceed"))) {
                seen.append(upload->deviceName() == monitor.path()
                                ? QStringLiteral("proceed")
                                : QStringLiteral("wrong device"));
                button(upload, "proceedButton")->click();
            } else if (upload->stage() >= FirmwareUploadDialog::Succeeded) {
                seen.append(labelText(upload, "titleLabel"));
                button(upload, "proceedButton")->click();
            }
        }
    });
    user.start(20);
    update->click();
    user.stop();

    QCOMPARE(seen, QStringList({ "confirm", "Success", "proceed", "Success" }));
    QVERIFY(!update->isEnabled());
    monitor.stop();
    const QMap<QString, DumpedFile> dump = monitor.dump();
    QCOMPARE(dump.keys(), QStringList({ "BOOT.EXC", "FW.BIN", "README.TXT" }));
    QCOMPARE(dump.value("FW.BIN").content, image.content);
    QCOMPARE(dump.value("FW.BIN").attributes, 0x80);
    QCOMPARE(dump.value("BOOT.EXC").content, loader.content);
    QCOMPARE(dump.value("BOOT.EXC").attributes, 0x04);
}

QTEST_MAIN(tst_FirmwareUpload)
#include "tst_firmwareupload.moc"
