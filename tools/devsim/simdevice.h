#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// What the simulated monitor is and how it answers the host's commands.
struct SimIdentity
{
    QByteArray deviceId = "DAV-180-R2";
    quint8 hardwareMajor = 2;
    quint8 hardwareMinor = 1;
    quint8 firmwareMajor = 1;
    quint8 firmwareMinor = 9;
    QByteArray guid = QByteArray::fromHex("0123456789abcdef0123456789abcdef");
    QByteArray processorId = QByteArray::fromHex("12ab34cd56ef78900a0b0c0d");
    QByteArray serialNumber = "SN-000123";
};

// The monitor's command handling: one request in, the reply out (empty when it does not answer).
class SimDevice : public QObject
{
    Q_OBJECT
public:
    explicit SimDevice(QObject *parent = nullptr);

    void setIdentity(const SimIdentity &identity) { m_identity = identity; }
    const SimIdentity &identity() const { return m_identity; }

    QByteArray handle(const QByteArray &request);

    // The 0x00 reply: command code and identity record.
    QByteArray identityReply() const;

private:
    SimIdentity m_identity;
};
