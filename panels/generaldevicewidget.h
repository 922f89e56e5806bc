#pragma once

#include "device/devicestate.h"
#include "panels/devicepanel.h"

#include <QPointer>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace Ui {
class GeneralDeviceWidget;
}

class DeviceInfo;
class UpdateManager;

// The General tab: identity, power state, firmware check, calibration and password change.
class GeneralDeviceWidget : public DevicePanel
{
    Q_OBJECT
public:
    explicit GeneralDeviceWidget(QWidget *parent = nullptr);
    ~GeneralDeviceWidget() override;

    // "10 h 23 min " for 37380 s.
    static QString powerOnTimeText(quint32 seconds);
    static QString powerSourceText(const DeviceState &state);

    // What the update client found for this device's firmware; the update button shows when the
    // newest of them is newer than the device's.
    void showNewestFirmware(const QStringList &versions);

protected:
    void deviceChanged() override;
    void deviceCleared() override;
    void deviceDataUpdated(int id) override;

private slots:
    void OnChangePassword();
    void OnRefreshCalibration();
    void OnWriteCalibration();
    void OnReadCalibrationTaskResult(const QVariant &value);
    void OnWriteCalibrationTaskResult(const QVariant &result);
    void OnChangePasswordTaskResult(const QVariant &result);
    void OnDeviceStateChange(const DeviceState &state);
    void OnFirmwareRequestDone();
    void OnFirmwareRequestFail();
    void OnUpdateFirmwareClicked();
    void OnFilesList(const QVariant &files);

private:
    void showIdentity(const DeviceInfo &info);
    void requestNewestFirmware(const QString &product, const QString &platform);

    std::unique_ptr<Ui::GeneralDeviceWidget> ui;
    QPointer<Device> m_connectedDevice;
    // The running firmware check; it goes with the widget or the next binding.
    QPointer<UpdateManager> m_firmwareCheck;
};
