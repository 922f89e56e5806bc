#pragma once

#include "device/deviceinfo.h"
#include "device/devicestate.h"
#include "tasks/commandtarget.h"
#include "tasks/taskresult.h"

#include <QEvent>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariant>

class CommandHandle;
class Communicator;

// Posted by a device to itself when one of its data items changed, so that dataUpdated() is
// emitted after the task machinery has finished with the result.
class DataUpdateEvent : public QEvent
{
public:
    explicit DataUpdateEvent(int item);
    int item() const { return m_item; }
    static QEvent::Type eventType();

private:
    int m_item;
};

// One connected monitor: owns its link, turns command codes into queued tasks, keeps every task
// result as a numbered data item, and polls the device state about once a second.
class Device : public CommandTarget
{
    Q_OBJECT
public:
    enum DeviceMode { NormalMode = 0, BootloaderMode = 1 };
    Q_ENUM(DeviceMode)

    // Data item numbers: the command code of the task whose result the item holds.
    enum Command {
        ReadId = 0x00,
        ReadState = 0x03,
        ReadEnvironment = 0x20,
        ResetAggregateDose = 0x22,
        SetAggregateDose = 0x23,
        ReadCalibration = 0x30,
        WriteCalibration = 0x31,
        ChangePassword = 0x32,
        ListFiles = 0x40,
        ReadFile = 0x41,
        WriteFile = 0x42,
        RemoveFile = 0x43,
    };

    static constexpr int kPollIntervalMs = 1000;
    static constexpr int kBadStatePollIntervalMs = 10000;
    static constexpr int kPortQueueBytes = 1200;

    // Opens the port; a SerialPortException leaves the constructor when it cannot be opened.
    explicit Device(const QString &path, QObject *parent = nullptr);
    ~Device() override;

    QString name() const override;
    QString displayName() const;
    QString platform() const;
    DeviceInfo deviceInfo() const { return m_info; }
    DeviceState state() const { return m_state; }
    void setDeviceInfo(const DeviceInfo &info);
    QVariant data(int item) const { return m_items.value(item); }
    // Queues the command for code with its named arguments (a QVariantHash) and hands back its
    // handle, which the caller follows for progress and the one result; the result is also kept as
    // a data item and announced by dataUpdated(). Null for a code that names no command and for a
    // device whose queue was closed by a broken link.
    CommandHandle *executeCommand(int code, const QVariant &params = QVariant());
    void setPolling(bool on);
    bool isPolling() const { return m_pollTimerId != -1; }
    // Interval of the poll timer that runs, 0 when polling is off.
    int pollInterval() const { return m_pollTimerId == -1 ? 0 : m_pollIntervalMs; }
    Communicator *communicator() const override { return m_communicator; }
    void abortCommunication();

    // Testable pieces of the two naming rules above.
    static QString platformOf(const QString &deviceId);
    static bool isOrmelin(const QString &deviceId);

signals:
    void stateChanged(const DeviceState &state);
    void idChanged();
    void userDataReceived(const QByteArray &data);
    void aborted(int reason);
    void dead();
    void dataUpdated(int item);
    void dataSent(int size);
    void dataReceived(int size);
    // A reply too long to take was dropped; the running task fails, the link stays.
    void messageDropped(int size);
    // Every finished task of this device, its own polling included, in the order they finished.
    void taskFinished(const TaskResult &result);

public slots:
    void CommunicationFail();
    void OnDeviceState(const DeviceState &state);
    void OnDeviceInfo(const DeviceInfo &info);
    void OnReadStateResult(const QVariant &value);
    void OnTaskComplete(const TaskResult &result) override;

protected:
    bool event(QEvent *e) override;
    void timerEvent(QTimerEvent *e) override;

private:
    void startPollTimer(int intervalMs);
    // The next state read in 10 s, after one that brought no usable state.
    void pollStateLater();
    void rememberCalibration(CommandHandle *handle, const QVariant &coefficient);

    DeviceInfo m_info;
    DeviceState m_state;
    Communicator *m_communicator = nullptr;
    int m_pollTimerId = -1;
    int m_pollIntervalMs = 0;
    QHash<int, QVariant> m_items;
};
