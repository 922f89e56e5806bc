// The main window with the real simulator attached through the runtime folder, offscreen.
#include "app/languagemanager.h"
#include "app/mainwindow.h"
#include "app/notificationsmanager.h"
#include "app/resources.h"
#include "device/commandhandle.h"
#include "device/device.h"
#include "device/devicemanager.h"
#include "panels/devicepanel.h"
#include "tasks/notificationhub.h"
#include "tests/common/devsimprocess.h"
#include "tests/panels/dialoganswerer.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstDeviceBecomesCurrent();
    void removalReturnsToWelcomePage_data();
    void removalReturnsToWelcomePage();
    void removalOfUnknownNameClearsThePage();
    void repeatedAnnouncementAddsNoSecondItem();
    void historyModeButton();
    void languageMenu_data();
    void languageMenu();
    void coreNotificationsReachPopupsOnce();

private:
    QTreeWidget *tree() const { return m_window->findChild<QTreeWidget *>(QStringLiteral("devicesTreeWidget")); }
    QString itemName(int i) const { return tree()->topLevelItem(i)->data(0, Qt::UserRole).toString(); }

    QTemporaryDir m_runtime;
    std::unique_ptr<MainWindow> m_window;
    DevSimProcess m_sims[2];
};

void tst_MainWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_runtime.isValid());
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    qputenv("VARNO_SIMULATORS", "1");
    varno::initResources();
    QCoreApplication::setOrganizationName(QStringLiteral("VARNO Ltd"));
    QCoreApplication::setApplicationName(QStringLiteral("VARNO Device Manager"));
    LanguageManager::instance()->load(QStringLiteral(VARNO_SOURCE_DIR "/locales/languages.xml"));
    LanguageManager::instance()->setCurrentLanguage(QStringLiteral("en_US"));
}

void tst_MainWindow::init()
{
    m_window = std::make_unique<MainWindow>(nullptr);
    m_window->show();
}

void tst_MainWindow::cleanup()
{
    for (DevSimProcess &sim : m_sims)
        sim.stop();
    // The notifier reports each simulator's link going away; wait until the manager let go.
    QTRY_COMPARE_WITH_TIMEOUT(DeviceManager::instance()->deviceCount(), 0, 5000);
    m_window.reset();
}

void tst_MainWindow::firstDeviceBecomesCurrent()
{
    QCOMPARE(m_window->currentPage(), int(MainWindow::WelcomePage));
    QVERIFY(m_sims[0].start({ QStringLiteral("--attach"), QStringLiteral("--serial"), QStringLiteral("SN-A") }));
    QTRY_COMPARE_WITH_TIMEOUT(tree()->topLevelItemCount(), 1, 10000);
    QCOMPARE(m_window->currentPage(), int(MainWindow::DevicePage));
    QCOMPARE(tree()->currentItem(), tree()->topLevelItem(0));
    const QString first = itemName(0);
    QVERIFY(first.contains(QLatin1String("Vid_27e9&Pid_b403")));
    auto *panel = qobject_cast<DevicePanel *>(m_window->page(MainWindow::DevicePage));
    QVERIFY(panel);
    QCOMPARE(panel->deviceName(), first);
    QVERIFY(tree()->itemWidget(tree()->topLevelItem(0), 0));

    // A second monitor only adds an item; the page keeps showing the first.
    QVERIFY(m_sims[1].start({ QStringLiteral("--attach"), QStringLiteral("--serial"), QStringLiteral("SN-B") }));
    QTRY_COMPARE_WITH_TIMEOUT(tree()->topLevelItemCount(), 2, 10000);
    QCOMPARE(tree()->currentItem(), tree()->topLevelItem(0));
    QCOMPARE(panel->deviceName(), first);

    // Picking the second shows it.
    tree()->setCurrentItem(tree()->topLevelItem(1));
    QCOMPARE(panel->deviceName(), itemName(1));
}

void tst_MainWindow::removalReturnsToWelcomePage_data()
{
    QTest::addColumn<int>("removed");

    QTest::newRow("the current device") << 0;
    QTest::newRow("another device") << 1;
}

void tst_MainWindow::removalReturnsToWelcomePage()
{
    QFETCH(int, removed);
    QVERIFY(m_sims[0].start({ QStringLiteral("--attach") }));
    QTRY_COMPARE_WITH_TIMEOUT(tree()->topLevelItemCount(), 1, 10000);
    QVERIFY(m_sims[1].start({ QStringLiteral("--attach") }));
    QTRY_COMPARE_WITH_TIMEOUT(tree()->topLevelItemCount(), 2, 10000);
    const QString gone = itemName(removed);
    const QString stays = itemName(1 - removed);
    QPointer<Device> survivor = DeviceManager::instance()->device(stays);
    QSignalSpy updates(survivor.data(), &Device::dataUpdated);

    m_sims[removed].stop();
    QTRY_COMPARE_WITH_TIMEOUT(tree()->topLevelItemCount(), 1, 10000);
    QCOMPARE(itemName(0), stays);
    QCOMPARE(m_window->currentPage(), int(MainWindow::WelcomePage));
    QVERIFY(!tree()->currentIndex().isValid());
    auto *panel = qobject_cast<DevicePanel *>(m_window->page(MainWindow::DevicePage));
    QVERIFY(panel->deviceName().isEmpty());
    QVERIFY(!DeviceManager::instance()->hasDevice(gone));

    // The device that stays was not bound on the way: its queue runs in order, so once a command
    // given now is answered, a calibration read queued by the removal would have been too.
    QVERIFY(survivor);
    QSignalSpy marker(survivor->executeCommand(Device::ReadEnvironment), &CommandHandle::finished);
    QVERIFY(marker.wait(5000));
    for (const QList<QVariant> &update : qAsConst(updates))
        QVERIFY(update.at(0).toInt() != Device::ReadCalibration);
}

void tst_MainWindow::removalOfUnknownNameClearsThePage()
{
    QVERIFY(m_sims[0].start({ QStringLiteral("--attach") }));
    QTRY_COMPARE_WITH_TIMEOUT(tree()->topLevelItemCount(), 1, 10000);
    QCOMPARE(m_window->currentPage(), int(MainWindow::DevicePage));
    QMetaObject::invokeMethod(m_window.get(), "OnDeviceRemoved", Q_ARG(QString, QStringLiteral("/dev/nowhere")));
    QCOMPARE(tree()->topLevelItemCount(), 1);
    QCOMPARE(m_window->currentPage(), int(MainWindow::WelcomePage));
    auto *panel = qobject_cast<DevicePanel *>(m_window->page(MainWindow::DevicePage));
    QVERIFY(panel->deviceName().isEmpty());
}

void tst_MainWindow::repeatedAnnouncementAddsNoSecondItem()
{
    QVERIFY(m_sims[0].start({ QStringLiteral("--attach") }));
    QTRY_COMPARE_WITH_TIMEOUT(tree()->topLevelItemCount(), 1, 10000);
    emit DeviceManager::instance()->DeviceInserted(itemName(0));
    QCOMPARE(tree()->topLevelItemCount(), 1);
}

void tst_MainWindow::historyModeButton()
{
    QVERIFY(QMetaObject::invokeMethod(m_window.get(), "OnShowAutonomousFrame"));
    QCOMPARE(m_window->currentPage(), int(MainWindow::HistoryPage));
}

void tst_MainWindow::languageMenu_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("notice");

    QTest::newRow("the current language") << QStringLiteral("en_US") << false;
    QTest::newRow("another language") << QStringLiteral("ru_RU") << true;
}

void tst_MainWindow::languageMenu()
{
    QFETCH(QString, choice);
    QFETCH(bool, notice);
    LanguageManager::instance()->setCurrentLanguage(QStringLiteral("en_US"));
    QSettings settings;
    settings.remove(QStringLiteral("Language"));

    auto *menu = m_window->findChild<QMenu *>(QStringLiteral("menuLanguage"));
    QVERIFY(menu);
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QAction *action = nullptr;
    for (QAction *a : actions) {
        QCOMPARE(a->isChecked(), a->data().toString() == QLatin1String("en_US"));
        if (a->data().toString() == choice)
            action = a;
    }
    QVERIFY(action);

    // The notice is a modal box that trigger() waits on; the answerer clicks it away.
    DialogAnswerer answerer;
    answerer.then(DialogAnswerer::ok());
    const QString labelBefore = m_window->findChild<QMenu *>(QStringLiteral("fileMenu"))->title();
    action->trigger();
    if (notice) {
        QCOMPARE(answerer.seen(),
                 QStringList { QStringLiteral("Language change|Selected language will be applied after program restart.") });
        QCOMPARE(settings.value(QStringLiteral("Language")).toString(), choice);
        QCOMPARE(LanguageManager::instance()->currentLanguage().name, choice);
    } else {
        QCOMPARE(answerer.seen(), QStringList());
        QVERIFY(!settings.contains(QStringLiteral("Language")));
    }
    // The running program keeps its texts either way.
    QCOMPARE(m_window->findChild<QMenu *>(QStringLiteral("fileMenu"))->title(), labelBefore);
}

void tst_MainWindow::coreNotificationsReachPopupsOnce()
{
    // Every test made a window of its own: the hub must still be connected once, not per window.
    NotificationsManager *popups = NotificationsManager::instance();
    QCOMPARE(popups->host(), m_window.get());
    QSignalSpy messages(popups, &NotificationsManager::messageShown);
    QSignalSpy progress(popups, &NotificationsManager::progressShown);
    NotificationHub::instance()->OnMessageNotification(QStringLiteral("From the core"));
    NotificationHub::instance()->OnProgressNotification(QStringLiteral("Reading"), 40);
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.first().first().toString(), QStringLiteral("From the core"));
    QCOMPARE(progress.count(), 1);
    QCOMPARE(progress.first().at(1).toInt(), 40);
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
