#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/aboutdialog.h"
#include "app/dialogprogressreporter.h"
#include "app/installerstart.h"
#include "app/languagemanager.h"
#include "app/notificationsmanager.h"
#include "app/proxysettingsdialog.h"
#include "app/welcomeform.h"
#include "device/devicemanager.h"
#include "device/devicenotifier.h"
#include "history/ui/historyviewwidget.h"
#include "link/logging.h"
#include "panels/devicepanel.h"
#include "panels/devicewidget.h"
#include "panels/normaldeviceframe.h"
#include "tasks/notificationhub.h"
#include "update/ui/softwareupdatedialog.h"
#include "update/updatemanager.h"

#include <QActionGroup>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStackedLayout>
#include <QThread>
#include <QTimer>

namespace {
constexpr quint16 kMonitorVendorId = 0x27E9;
constexpr quint16 kMonitorProductId = 0xB403;
constexpr int kFirstScanDelayMs = 100;
const char *const kUpdateProductCode = "7";

QWidget *createHistoryPage(QWidget *parent)
{
    return new HistoryViewWidget(true, parent);
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , m_settings(std::make_unique<QSettings>(QCoreApplication::organizationName(), QCoreApplication::applicationName()))
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/images/logo.png")));
    // The Measures tab's displays and chart need more than the minimum size to be read at ease;
    // start larger where the screen has room.
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableSize();
        resize(qBound(minimumWidth(), room.width() - 40, 1024), qBound(minimumHeight(), room.height() - 40, 700));
    }

    m_pages = new QStackedLayout(ui->userFrame);
    m_pages->setContentsMargins(0, 0, 0, 0);
    m_pages->setSpacing(0);

    prepareLanguageMenu();
    ui->devicesTreeWidget->setHeaderLabel(tr("Devices"));
    ui->servicesTreeWidget->setHeaderLabel(tr("Services"));
    connect(ui->devicesTreeWidget, &QTreeWidget::currentItemChanged, this, &MainWindow::currentDeviceChanged);

    m_welcomePage = new WelcomeForm(ui->userFrame);
    m_pages->addWidget(m_welcomePage);
    m_pages->addWidget(new NormalDeviceFrame(ui->userFrame));
    m_pages->addWidget(createHistoryPage(ui->userFrame));
    connect(m_welcomePage, &WelcomeForm::ShowAutonomousFrame, this, &MainWindow::OnShowAutonomousFrame);
    m_pages->setCurrentIndex(WelcomePage);

    m_proxySettings.load(*m_settings);
    applyProxySettings();

    m_progressReporter = new DialogProgressReporter(this);
    ui->RecoveryAction->setVisible(false);

    m_notifier = new DeviceNotifier(this);
    m_notifier->addAllowedDevice(kMonitorVendorId, kMonitorProductId);
    DeviceManager *manager = DeviceManager::instance();
    connect(m_notifier, &DeviceNotifier::deviceInserted, manager, &DeviceManager::OnDeviceInserted);
    connect(m_notifier, &DeviceNotifier::deviceRemoved, manager, &DeviceManager::OnDeviceRemoved);
    connect(manager, &DeviceManager::DeviceInserted, this, &MainWindow::OnDeviceInserted);
    connect(manager, &DeviceManager::DeviceRemoved, this, &MainWindow::OnDeviceRemoved);
    m_notifier->startNotify();
    VLOG << "Device notifier connected and started";

    QTimer::singleShot(kFirstScanDelayMs, this, &MainWindow::OnDefferedFirstScan);
    VLOG << "Main thread is" << QThread::currentThread();
    NotificationsManager *popups = NotificationsManager::instance();
    popups->setHost(this);
    // The core only announces; the pop-ups are this window's.
    NotificationHub *hub = NotificationHub::instance();
    connect(hub, &NotificationHub::message, popups, &NotificationsManager::OnMessageNotification,
            Qt::UniqueConnection);
    connect(hub, &NotificationHub::progress, popups, &NotificationsManager::OnProgressNotification,
            Qt::UniqueConnection);
}

MainWindow::~MainWindow()
{
    // Stop discovery first: nothing may reach the window while it goes.
    delete m_notifier;
    m_notifier = nullptr;
    disconnect(DeviceManager::instance(), nullptr, this, nullptr);
    if (NotificationsManager::instance()->host() == this)
        NotificationsManager::instance()->setHost(nullptr);
}

int MainWindow::currentPage() const
{
    return m_pages->currentIndex();
}

QWidget *MainWindow::page(int index) const
{
    return m_pages->widget(index);
}

void MainWindow::prepareLanguageMenu()
{
    auto *group = new QActionGroup(ui->menuLanguage);
    group->setExclusive(true);
    const LanguageManager *languages = LanguageManager::instance();
    const LanguageInfo current = languages->currentLanguage();
    const QList<LanguageInfo> catalogue = languages->languages();
    for (const LanguageInfo &language : catalogue) {
        QAction *action = group->addAction(language.localized);
        action->setData(language.name);
        action->setCheckable(true);
        action->setChecked(language == current);
        connect(action, &QAction::triggered, this, &MainWindow::OnLanguageSetTriggered);
    }
    ui->menuLanguage->addActions(group->actions());
    VLOG << "Language menu prepared";
}

void MainWindow::OnDefferedFirstScan()
{
    // Each monitor already present arrives through deviceInserted.
    m_notifier->enumerateDevices();
}

void MainWindow::OnDeviceInserted(const QString &name)
{
    NotificationHub::instance()->OnMessageNotification(tr("Device connected"));
    Device *device = DeviceManager::instance()->device(name);
    if (!device)
        return;
    // The manager may announce a device again when its identity is read again: one item each.
    for (int i = 0; i < ui->devicesTreeWidget->topLevelItemCount(); ++i) {
        if (ui->devicesTreeWidget->topLevelItem(i)->data(0, Qt::UserRole).toString() == name)
            return;
    }
    auto *widget = new DeviceWidget(device, nullptr);
    auto *item = new QTreeWidgetItem();
    item->setData(0, Qt::UserRole, name);
    ui->devicesTreeWidget->addTopLevelItem(item);
    ui->devicesTreeWidget->setItemWidget(item, 0, widget);
    item->setSizeHint(0, widget->sizeHint());
    if (ui->devicesTreeWidget->topLevelItemCount() == 1)
        ui->devicesTreeWidget->setCurrentItem(item);
}

void MainWindow::currentDeviceChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous)
{
    if (!current || current == previous)
        return;
    const QString name = current->data(0, Qt::UserRole).toString();
    m_pages->setCurrentIndex(DevicePage);
    if (auto *panel = qobject_cast<DevicePanel *>(m_pages->widget(DevicePage)))
        panel->setDevice(name);
    else
        VLOG << "Panel doesn't exist";
    VLOG << "Current device changed to" << name;
}

void MainWindow::OnDeviceRemoved(const QString &name)
{
    VLOG << "Removing " << name << " from UI";
    QTreeWidget *tree = ui->devicesTreeWidget;
    // Taking the current item out would make a neighbour current and bind the page to it (a
    // calibration read, a firmware check) just before the welcome page comes back.
    tree->setCurrentIndex(QModelIndex());
    for (int i = tree->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem *item = tree->topLevelItem(i);
        const QVariant data = item->data(0, Qt::UserRole);
        if (!data.isValid() || data.toString() != name)
            continue;
        QWidget *widget = tree->itemWidget(item, 0);
        tree->removeItemWidget(item, 0);
        delete tree->takeTopLevelItem(i);
        delete widget;
    }
    if (auto *panel = qobject_cast<DevicePanel *>(m_pages->widget(DevicePage)))
        panel->clearDevice();
    m_pages->setCurrentIndex(WelcomePage);
    NotificationHub::instance()->OnMessageNotification(tr("Device was removed"));
}

void MainWindow::OnShowAutonomousFrame()
{
    m_pages->setCurrentIndex(HistoryPage);
}

void MainWindow::OnLanguageSetTriggered()
{
    auto *action = qobject_cast<QAction *>(sender());
    if (!action)
        return;
    const QString name = action->data().toString();
    LanguageManager *languages = LanguageManager::instance();
    if (name == languages->currentLanguage().name)
        return;
    languages->setCurrentLanguage(name);
    m_settings->setValue(QStringLiteral("Language"), name);
    m_settings->sync();
    QMessageBox::information(this, tr("Language change"), tr("Selected language will be applied after program restart."),
        QMessageBox::Ok);
}

void MainWindow::on_SettingsAction_triggered()
{
    if (QApplication::activeModalWidget())
        return;
    ProxySettingsDialog dialog(&m_proxySettings, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_proxySettings = dialog.editedSettings();
    m_proxySettings.save(*m_settings);
    m_settings->sync();
    applyProxySettings();
}

void MainWindow::applyProxySettings()
{
    applyStoredProxySettings();
}

void MainWindow::on_ExitAction_triggered()
{
    close();
}

void MainWindow::on_AboutAction_triggered()
{
    if (QApplication::activeModalWidget())
        return;
    AboutDialog dialog(this);
    dialog.exec();
}

void MainWindow::on_ManagerUpdates_triggered()
{
    SoftwareUpdateDialog dialog(QString::fromLatin1(kUpdateProductCode), UpdateManager::programPlatform(),
        QCoreApplication::applicationVersion(), this, QStringLiteral("newest"));
    if (dialog.exec() != QDialog::Accepted || !dialog.isDownloadReady())
        return;
    const QStringList files = dialog.downloadedFiles();
    if (files.isEmpty())
        return;
    if (launchDownloadedUpdate(files.first(), this))
        QCoreApplication::exit(0);
}
