#pragma once

#include <QByteArray>
#include <QMetaType>

class QDataStream;
class QDebug;

// The monitor's power and counters as it answers command 0x03. A record that does not come from a
// good reply is empty.
class DeviceState
{
public:
    DeviceState() = default;
    DeviceState(quint8 flags, quint8 secondFlags, quint8 battery, quint64 counterLT,
                quint32 powerOnTime, quint64 powerCycles);

    // The 16-byte state reply, command byte included; anything else gives an empty record.
    static DeviceState fromReply(const QByteArray &reply);
    static constexpr int kReplyBytes = 16;
    static constexpr quint8 kCommand = 0x03;

    quint8 flags() const { return m_flags; }
    quint8 secondFlags() const { return m_secondFlags; }
    quint64 counterLT() const { return m_counterLT; }
    quint64 powerCycles() const { return m_powerCycles; }
    quint32 powerOnTime() const { return m_powerOnTime; }
    quint8 battery() const { return m_battery; }
    bool isEmpty() const { return m_empty; }

    bool externalPower() const { return m_flags & 0x01; }
    bool accumulator() const { return m_flags & 0x02; }
    bool charging() const { return m_flags & 0x04; }
    bool secondFlagBit1() const { return m_secondFlags & 0x02; }
    bool secondFlagBit7() const { return m_secondFlags & 0x80; }

    bool operator==(const DeviceState &other) const;
    bool operator!=(const DeviceState &other) const { return !(*this == other); }

private:
    quint8 m_flags = 0;
    quint8 m_secondFlags = 0;
    quint64 m_counterLT = 0;
    quint64 m_powerCycles = 0;
    quint32 m_powerOnTime = 0;
    quint8 m_battery = 0;
    bool m_empty = true;
};

Q_DECLARE_METATYPE(DeviceState)

QDebug operator<<(QDebug debug, const DeviceState &state);
QDataStream &operator<<(QDataStream &stream, const DeviceState &state);
