#pragma once

#include "device/attachedsimulators.h"

#include <QHash>
#include <QMultiHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <memory>

class QFileSystemWatcher;
class QTimer;

// One USB vendor/product pair the program accepts.
struct AllowedDeviceId
{
    quint16 vid = 0;
    quint16 pid = 0;
};

// Device discovery: tells when a supported monitor is plugged in or pulled out, and lists those
// already present. Names are what the serial port opens: a device node or a COM port
// ("\\.\COM5"), or for a simulator attached in attachedDevicesDir() (looked for only when
// simulatorsRequested()) the link it left there, or on Windows the COM port its announcement file
// names. The platform's half (system devices, and what an attached entry may lead to) is
// devicenotifier_<platform>.cpp.
class DeviceNotifier : public QObject
{
    Q_OBJECT
public:
    // The port of a freshly plugged-in monitor is not ready at once; arrivals wait this long.
    static constexpr int kArrivalSettleMs = 1000;

    explicit DeviceNotifier(QObject *parent = nullptr);
    ~DeviceNotifier() override;

    void addAllowedDevice(quint16 vid, quint16 pid);
    void startNotify();
    void stopNotify();
    // Lists the allowed devices present now, announcing each one.
    QStringList enumerateDevices();

    bool isNotifying() const { return m_notifying; }
    int pendingArrivalCount() const { return m_pendingArrivals.size(); }

    // "Vid_xxxx&Pid_xxxx" from the hexadecimal ids the system reports, or empty when either is
    // unusable.
    static QString usbIdName(const QString &vendorHex, const QString &productHex);

    // True when VARNO_SIMULATORS=1 is set: only then are attached simulators looked for.
    static bool simulatorsRequested();

    // Why an entry of attachedDevicesDir() must not be opened as a monitor; empty when it leads
    // to a terminal device (a pseudo-terminal or a serial tty) of this user's own, or on Windows
    // when it is a small file naming a COM port ("COM5").
    static QString attachedEntryProblem(const QString &path);
    // The name an accepted entry is reported by: the link itself, or the port the file names.
    static QString attachedEntryName(const QString &path);

signals:
    void deviceInserted(const QString &name);
    void deviceRemoved(const QString &name);

private slots:
    void OnAttachedDirChanged();

private:
    struct Platform;

    // The platform's half.
    void startPlatform();
    void stopPlatform();
    QStringList enumeratePlatform();

    bool isAllowed(const QString &name) const;
    void startAttached();
    QStringList enumerateAttached();
    QSet<QString> scanAttachedDir() const;
    bool acceptAttached(const QString &path) const;
    void scheduleArrival(const QString &name);
    void cancelArrivals(const QString &name);
    void reportRemoval(const QString &name);

    QVector<AllowedDeviceId> m_allowed;
    std::unique_ptr<Platform> m_platform;
    QFileSystemWatcher *m_dirWatcher = nullptr;
    QString m_attachedDir;
    QSet<QString> m_attachedEntries;
    // Entry path to the name it was reported by: a removed file can no longer be read.
    QHash<QString, QString> m_attachedNames;
    QMultiHash<QString, QTimer *> m_pendingArrivals;
    bool m_notifying = false;
};

namespace varno {

// True when the name contains the pattern of any allowed pair, ignoring case.
bool isAllowedDevice(const QString &name, const QVector<AllowedDeviceId> &allowed);

// True when one of a Windows port's hardware ids ("USB\VID_27E9&PID_B403&REV_0100", the
// registry's HardwareID list) carries an allowed pair, ignoring case. The pair must end the id or
// be followed by '&' or '\', so PID_B4031 is not PID_B403.
bool isAllowedHardwareId(const QStringList &hardwareIds, const QVector<AllowedDeviceId> &allowed);

} // namespace varno
