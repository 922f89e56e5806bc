#include "device/devicestate.h"

#include <QDataStream>
#include <QDebug>
#include <QtEndian>

namespace {
void registerDeviceState()
{
    qRegisterMetaType<DeviceState>("DeviceState");
}
} // namespace

Q_CONSTRUCTOR_FUNCTION(registerDeviceState)

DeviceState::DeviceState(quint8 flags, quint8 secondFlags, quint8 battery, quint64 counterLT,
                         quint32 powerOnTime, quint64 powerCycles)
    : m_flags(flags)
    , m_secondFlags(secondFlags)
    , m_counterLT(counterLT)
    , m_powerCycles(powerCycles)
    , m_powerOnTime(powerOnTime)
    , m_battery(battery)
    , m_empty(false)
{
}

DeviceState DeviceState::fromReply(const QByteArray &reply)
{
    if (reply.size() != kReplyBytes || quint8(reply.at(0)) != kCommand)
        return DeviceState();
    const auto *p = reinterpret_cast<const uchar *>(reply.constData());
    // The device's byte order is not the record's: battery sits before the second flags, and the
    // power-on time between the two counters.
    return DeviceState(p[1], p[3], p[2], qFromBigEndian<quint32>(p + 4),
                       qFromBigEndian<quint32>(p + 8), qFromBigEndian<quint32>(p + 12));
}

bool DeviceState::operator==(const DeviceState &other) const
{
    return m_flags == other.m_flags && m_secondFlags == other.m_secondFlags
        && m_counterLT == other.m_counterLT && m_powerCycles == other.m_powerCycles
        && m_powerOnTime == other.m_powerOnTime && m_battery == other.m_battery
        && m_empty == other.m_empty;
}

QDebug operator<<(QDebug debug, const DeviceState &state)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "[B]=" << uint(state.battery()) << "%"
                    << "[PM]=" << (state.charging() ? " charging" : " battery")
                    << "[PC]=" << state.powerCycles() << "[OT]=" << state.powerOnTime()
                    << "[LT]=" << state.counterLT();
    return debug;
}

QDataStream &operator<<(QDataStream &stream, const DeviceState &state)
{
    stream << "[B]=" << state.battery() << "%"
           << "[PM]=" << (state.charging() ? " charging" : " battery") << "[PC]="
           << state.powerCycles() << "[OT]=" << state.powerOnTime() << "[LT]=" << state.counterLT();
    return stream;
}
