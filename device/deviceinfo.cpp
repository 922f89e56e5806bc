#include "device/deviceinfo.h"

#include "link/logging.h"

#include <QDebug>
#include <QUuid>

namespace {
constexpr int kDeviceIdOffset = 0;
constexpr int kDeviceIdBytes = 16;
constexpr int kHardwareMajorOffset = 16;
constexpr int kHardwareMinorOffset = 17;
constexpr int kFirmwareMajorOffset = 18;
constexpr int kFirmwareMinorOffset = 19;
constexpr int kGuidOffset = 20;
constexpr int kGuidBytes = 16;
constexpr int kProcessorIdOffset = 36;
constexpr int kProcessorIdBytes = 12;
constexpr int kSerialOffset = 48;

// The device pads its text fields with zero bytes; they are no part of the text.
QString paddedText(const char *data, int size)
{
    while (size > 0 && data[size - 1] == 0)
        --size;
    return QString::fromLocal8Bit(data, size);
}

QString versionText(quint8 major, quint8 minor)
{
    return QStringLiteral("%1.%2").arg(uint(major)).arg(uint(minor));
}

void registerDeviceInfo()
{
    qRegisterMetaType<DeviceInfo>("DeviceInfo");
}
} // namespace

Q_CONSTRUCTOR_FUNCTION(registerDeviceInfo)

DeviceInfo::DeviceInfo(const QByteArray &record)
{
    if (record.size() < kMinRecordBytes)
        return;
    const auto byte = [&record](int offset) { return quint8(record.at(offset)); };
    m_read = true;

    // All 16 bytes are text up to the zero padding at the end; a zero inside is kept.
    m_deviceId = paddedText(record.constData() + kDeviceIdOffset, kDeviceIdBytes);
    m_hardwareMajor = byte(kHardwareMajorOffset);
    m_hardwareMinor = byte(kHardwareMinorOffset);
    m_firmwareMajor = byte(kFirmwareMajorOffset);
    m_firmwareMinor = byte(kFirmwareMinorOffset);
    m_guid = QUuid::fromRfc4122(record.mid(kGuidOffset, kGuidBytes)).toString();

    const QByteArray cpu = record.mid(kProcessorIdOffset, kProcessorIdBytes);
    QString cpuText;
    for (char c : cpu) {
        if (c == 0)
            break;
        cpuText += QString::number(quint8(c), 16);
    }
    m_processorId = cpuText.trimmed();

    if (record.size() > kSerialOffset)
        m_serialNumber = paddedText(record.constData() + kSerialOffset, record.size() - kSerialOffset);

    VLOG << "Firmware: " << firmwareVersion();
    VLOG << "Hardware: " << hardwareVersion();
}

QString DeviceInfo::firmwareVersion() const
{
    return versionText(m_firmwareMajor, m_firmwareMinor);
}

QString DeviceInfo::hardwareVersion() const
{
    return versionText(m_hardwareMajor, m_hardwareMinor);
}

bool DeviceInfo::operator==(const DeviceInfo &other) const
{
    return m_read == other.m_read && m_firmwareMajor == other.m_firmwareMajor && m_firmwareMinor == other.m_firmwareMinor
        && m_hardwareMajor == other.m_hardwareMajor && m_hardwareMinor == other.m_hardwareMinor
        && m_deviceId == other.m_deviceId && m_guid == other.m_guid
        && m_processorId == other.m_processorId && m_serialNumber == other.m_serialNumber;
}

QDebug operator<<(QDebug debug, const DeviceInfo &info)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "DeviceID: " << info.deviceId() << " SW: " << info.firmwareVersion()
                    << " HW: " << info.hardwareVersion() << " GUID: " << info.guid()
                    << " CPU ID: " << info.processorId() << " SN: " << info.serialNumber();
    return debug;
}
