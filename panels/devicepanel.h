#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class Device;
class QAbstractButton;
class QVariant;

// Base of every page that shows one device. It binds by name and never keeps the Device: each
// access looks it up in the device manager, so a page cannot use a device that was deleted.
class DevicePanel : public QWidget
{
    Q_OBJECT
public:
    explicit DevicePanel(QWidget *parent = nullptr);

    void setDevice(const QString &name);
    void clearDevice();
    Device *device() const;
    QString deviceName() const { return m_deviceName; }

protected:
    // The device a modal dialog is opened for. While the dialog runs, the monitor can be unplugged
    // and another one take its place on this page, even under the same name. A firmware release is
    // chosen by the hardware version and platform, so those must not change either.
    struct DeviceTarget
    {
        QString name;
        QPointer<Device> device;
        QString hardwareVersion;
        QString platform;
    };
    DeviceTarget currentTarget() const;
    // The target once the dialog has closed, if this page still shows that very device; otherwise
    // null, and the user is told that nothing was sent.
    Device *targetStillShown(const DeviceTarget &target) const;

    // The password-protected commands of a page go out without a password until the device
    // refuses one; from then on the page asks for it every time. The password to send: true with
    // it (empty before any refusal), false when the user cancelled and nothing is to be sent.
    bool passwordForCommand(const QString &title, const QString &text, QString *password);
    // The device's answer to a protected command; true when it accepted. A refusal of the first,
    // password-less attempt repeats the command through retry, asking for the password this time;
    // a refusal of a typed password is shown as a warning with title and refusedText.
    bool acceptedWithPassword(const QVariant &result, QAbstractButton *retry, const QString &title,
                              const QString &refusedText);

    virtual void deviceChanged() = 0;
    virtual void deviceCleared() = 0;
    virtual void deviceDataUpdated(int id) = 0;

protected slots:
    void OnDeviceDataUpdated(int id);

private:
    void OnDeviceRemoved(const QString &name);

    QString m_deviceName;
    // Set by the first refusal, for the life of the page: a password that was needed once is
    // asked for at once, not after another refused attempt.
    bool m_passwordRetry = false;
};
