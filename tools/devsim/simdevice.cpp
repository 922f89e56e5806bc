#include "tools/devsim/simdevice.h"

SimDevice::SimDevice(QObject *parent)
    : QObject(parent)
{
}

QByteArray SimDevice::identityReply() const
{
    QByteArray reply(1, char(0x00));
    reply.append(m_identity.deviceId.left(16).leftJustified(16, '\0'));
    reply.append(char(m_identity.hardwareMajor));
    reply.append(char(m_identity.hardwareMinor));
    reply.append(char(m_identity.firmwareMajor));
    reply.append(char(m_identity.firmwareMinor));
    reply.append(m_identity.guid.left(16).leftJustified(16, '\0'));
    reply.append(m_identity.processorId.left(12).leftJustified(12, '\0'));
    reply.append(m_identity.serialNumber);
    return reply;
}

QByteArray SimDevice::handle(const QByteArray &request)
{
    if (request.isEmpty())
        return QByteArray();
    switch (quint8(request.at(0))) {
    case 0x00:
        return identityReply();
    default:
        return QByteArray();
    }
}
