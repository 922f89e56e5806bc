// A monitor unplugged and another one shown in its place while a dialog of the device page is
// open: what the dialog prepared for the first must not reach the second.
#include "device/commandhandle.h"
#include "panels/generaldevicewidget.h"
#include "panels/normaldeviceframe.h"
#include "tasks/notificationhub.h"
#include "tests/panels/dialoganswerer.h"
#include "tests/panels/panelfixture.h"
#include "tests/update/updatefixture.h"
#include "update/ui/firmwareuploaddialog.h"
#include "update/ui/softwareupdatedialog.h"
#include "update/ui/unifiedframe.h"
#include "update/ui/updateconfirmationframe.h"
#include "update/updatemanager.h"

#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Where in the dialog's course monitor A is replaced by monitor B.
enum class Replaced {
    InPasswordPrompt,
    InPasswordChange,
    InDoseDialog,
    InFirmwareSearch,
    InFirmwareUpload
};

const QString kNothingSent = QStringLiteral(
    "The device was disconnected or replaced while the dialog was open. Nothing was sent.");

QPushButton *button(QWidget *parent, const char *name)
{
    return parent->findChild<QPushButton *>(QLatin1String(name));
}

} // namespace

Q_DECLARE_METATYPE(Replaced)

class tst_DeviceReplaced : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void nothingReachesTheOtherDevice_data();
    void nothingReachesTheOtherDevice();

private:
    QTemporaryDir m_home;
};

void tst_DeviceReplaced::initTestCase()
{
    QVERIFY(m_home.isValid());
    // The updates folder and the settings live under the home folder: keep both private.
    qputenv("HOME", m_home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (m_home.path() + QStringLiteral("/.config")).toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("VARNO Device Manager"));
}

void tst_DeviceReplaced::nothingReachesTheOtherDevice_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<Replaced>("when");
    QTest::addColumn<QStringList>("dialogs");
    QTest::newRow("calibration write") << "writeCalibrationButton" << Replaced::InPasswordPrompt
                                       << QStringList { "Password request" };
    QTest::newRow("password change") << "changePasswordButton" << Replaced::InPasswordChange
                                     << QStringList { "Change password" };
    QTest::newRow("dose set") << "setAggregateButton" << Replaced::InDoseDialog
                              << QStringList { "Set aggregate dose" };
    QTest::newRow("dose reset") << "resetAggregateDoseButton" << Replaced::InPasswordPrompt
                                << QStringList { "Reset password" };
    QTest::newRow("firmware, during the download")
        << "updateSoftwarePushButton" << Replaced::InFirmwareSearch
        << QStringList { "Software update" };
    QTest::newRow("firmware, before the upload")
        << "updateSoftwarePushButton" << Replaced::InFirmwareUpload
        << QStringList { "Software update", "Firmware upload" };
}

void tst_DeviceReplaced::nothingReachesTheOtherDevice()
{
    QFETCH(QString, button);
    QFETCH(Replaced, when);
    QFETCH(QStringList, dialogs);

    HttpTestServer server;
    QVERIFY(server.listen());
    const fixture::File image { "f1", "fw.bin", QByteArray(300, 'n'), 0, true, true };
    fixture::serveRelease(server, { { "r2", "1.10" } }, "r2", { image });
    QSettings().setValue(QLatin1String(UpdateManager::kServerSettingsKey), server.url().toString());

    // Two monitors of the same model and firmware: only the serial number tells them apart.
    AttachedSimulator a;
    AttachedSimulator b;
    QVERIFY(a.attach({ "--serial", "SN-A" }));
    QVERIFY(b.attach({ "--serial", "SN-B" }));
    NormalDeviceFrame frame;
    frame.show();
    frame.setDevice(a.path());
    QPushButton *start = ::button(&frame, qPrintable(button));
    auto *tabs = frame.findChild<QTabWidget *>();
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(start))
            tabs->setCurrentIndex(i);
    }
    QTRY_VERIFY(start->isVisible() && start->isEnabled());
    QSignalSpy messages(NotificationHub::instance(), &NotificationHub::message);

    // As the main window does it: A's page is cleared, B is plugged in and becomes current.
    auto replace = [&] {
        a.detach();
        frame.setDevice(b.path());
    };
    QStringList uploadStages;
    DialogAnswerer answerer;
    switch (when) {
    case Replaced::InPasswordPrompt:
        // The first try, without a password, is refused by A; the prompt follows.
        answerer.then([&](QWidget *prompt) {
            replace();
            DialogAnswerer::typePassword(QStringLiteral("1234"))(prompt);
        });
        break;
    case Replaced::InPasswordChange:
        answerer.then([&](QWidget *dialog) {
            replace();
            DialogAnswerer::changePassword(QStringLiteral("1234"), QStringLiteral("abcd"),
                                           QStringLiteral("abcd"))(dialog);
        });
        break;
    case Replaced::InDoseDialog:
        answerer.then([&](QWidget *dialog) {
            replace();
            DialogAnswerer::setDose(5.0)(dialog);
        });
        break;
    case Replaced::InFirmwareSearch:
    case Replaced::InFirmwareUpload:
        answerer.then([&](QWidget *dialog) {
            auto *search = qobject_cast<SoftwareUpdateDialog *>(dialog);
            QVERIFY(search);
            if (when == Replaced::InFirmwareSearch)
                replace();
            QVERIFY(QTest::qWaitFor(
                [&] { return search->currentFrame() == search->confirmationFrame(); }, 10000));
            ::button(search->confirmationFrame(), "downloadButton")->click();
            QVERIFY(QTest::qWaitFor(
                [&] { return search->currentFrame() == search->unifiedFrame(); }, 10000));
            ::button(search->unifiedFrame(), "closeButton")->click();
        });
        answerer.then([&](QWidget *dialog) {
            auto *upload = qobject_cast<FirmwareUploadDialog *>(dialog);
            QVERIFY(upload);
            replace();
            uploadStages << upload->findChild<QLabel *>(QStringLiteral("titleLabel"))->text();
            QPointer<FirmwareUploadDialog> guard(upload);
            ::button(upload, "proceedButton")->click();
            // Should an upload run after all, let it end and close, so the test fails, not hangs.
            if (QTest::qWaitFor([&] { return !guard || !guard->isVisible(); }, 30000))
                return;
            guard->done(QDialog::Rejected);
        });
        break;
    }
    start->click();
    QTRY_COMPARE(answerer.seen(), dialogs);
    QVERIFY(!a.device());
    QCOMPARE(frame.generalWidget()->deviceName(), b.path());

    // B's queue runs in order: once a command given now is answered, anything sent to B before has
    // been, and a successful setting or file command would have left its item.
    QSignalSpy marker(b.device()->executeCommand(Device::ReadEnvironment),
                      &CommandHandle::finished);
    QVERIFY(marker.wait(5000));
    for (int item :
         { Device::WriteCalibration, Device::ChangePassword, Device::SetAggregateDose,
           Device::ResetAggregateDose, Device::ListFiles, Device::RemoveFile, Device::WriteFile })
        QVERIFY2(!b.device()->data(item).isValid(), qPrintable(QString::number(item, 16)));

    if (when == Replaced::InFirmwareUpload) {
        // The upload dialog was A's: it stops as soon as A is gone.
        QCOMPARE(uploadStages, QStringList({ "Uploading aborted" }));
    } else {
        bool told = false;
        for (const QList<QVariant> &message : qAsConst(messages))
            told = told || message.at(0).toString() == kNothingSent;
        QVERIFY2(told, "the user must learn that nothing was sent");
    }
}

QTEST_MAIN(tst_DeviceReplaced)
#include "tst_devicereplaced.moc"
