#pragma once

#include "app/proxysettings.h"

#include <QMainWindow>
#include <QString>

#include <memory>

class DeviceNotifier;
class DialogProgressReporter;
class QSettings;
class QStackedLayout;
class QTreeWidgetItem;
class WelcomeForm;

namespace Ui {
class MainWindow;
}

// The only top-level window: connected devices on the left, and on the right the welcome page,
// the device page shared by all devices, or the history page working on saved files.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    enum Page { WelcomePage = 0, DevicePage = 1, HistoryPage = 2 };

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // For tests and the run script: what the window shows now.
    int currentPage() const;
    QWidget *page(int index) const;
    DeviceNotifier *notifier() const { return m_notifier; }

private slots:
    void on_SettingsAction_triggered();
    void on_ExitAction_triggered();
    void on_AboutAction_triggered();
    void on_ManagerUpdates_triggered();
    void OnLanguageSetTriggered();
    void OnDeviceInserted(const QString &name);
    void OnDeviceRemoved(const QString &name);
    void OnShowAutonomousFrame();
    void OnDefferedFirstScan();
    void currentDeviceChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);

private:
    void prepareLanguageMenu();
    void applyProxySettings();

    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<QSettings> m_settings;
    ProxySettings m_proxySettings;
    QStackedLayout *m_pages = nullptr;
    WelcomeForm *m_welcomePage = nullptr;
    DialogProgressReporter *m_progressReporter = nullptr;
    DeviceNotifier *m_notifier = nullptr;
};
