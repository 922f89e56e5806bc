#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

class QDebug;

// The monitor's identity as it answers command 0x00: device id, versions, GUID, processor id and
// serial number.
class DeviceInfo
{
public:
    DeviceInfo() = default;
    // Parses the identity record (the reply without its command byte); shorter than 36 bytes gives
    // the default record.
    explicit DeviceInfo(const QByteArray &record);

    static constexpr int kMinRecordBytes = 36;

    quint8 firmwareMajor() const { return m_firmwareMajor; }
    quint8 firmwareMinor() const { return m_firmwareMinor; }
    quint8 hardwareMajor() const { return m_hardwareMajor; }
    quint8 hardwareMinor() const { return m_hardwareMinor; }
    QString firmwareVersion() const;
    QString hardwareVersion() const;
    QString deviceId() const { return m_deviceId; }
    QString guid() const { return m_guid; }
    QString processorId() const { return m_processorId; }
    QString serialNumber() const { return m_serialNumber; }
    // Whether the values came from the monitor: a record never read reads as version "0.0", which
    // is no version of any monitor.
    bool isRead() const { return m_read; }

    bool operator==(const DeviceInfo &other) const;
    bool operator!=(const DeviceInfo &other) const { return !(*this == other); }

private:
    bool m_read = false;
    quint8 m_firmwareMajor = 0;
    quint8 m_firmwareMinor = 0;
    quint8 m_hardwareMajor = 0;
    quint8 m_hardwareMinor = 0;
    QString m_deviceId;
    QString m_guid;
    QString m_processorId;
    QString m_serialNumber;
};

Q_DECLARE_METATYPE(DeviceInfo)

QDebug operator<<(QDebug debug, const DeviceInfo &info);
