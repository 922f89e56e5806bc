#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
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

// Live state; the power-on time advances with the wall clock from powerOnTime at start.
struct SimState
{
    quint8 flags = 0x03; // external power, accumulator
    quint8 secondFlags = 0;
    quint8 battery = 87;
    quint32 counterLT = 4242;
    quint32 powerOnTime = 3600;
    quint32 powerCycles = 17;
};

// Readings in hundredths. Unless fixed, left and right wander a little with time.
struct SimEnvironment
{
    qint32 left = 1200;
    qint32 right = 1300;
    qint64 dose = 100000;
    bool fixed = false;
};

// Misbehaviour of the command layer (the link layer has its own in SimLinkFaults).
struct SimDeviceFaults
{
    int wrongLengthCode = -1; // reply to this command with a reply of the wrong length
    int wrongLengthBy = -1; // bytes added to (or, negative, cut from) that reply
    bool refusePasswords = false; // every password check fails
    QList<QByteArray> refusedFiles; // "NAME.EXT" in upper case: never created, written over or removed
};

// One file on the simulated file system.
struct SimFile
{
    QByteArray name; // up to 8 bytes
    QByteArray extension; // up to 3 bytes
    quint8 attributes = 0;
    quint32 declaredSize = 0;
    QByteArray data;
};

// The monitor's command handling: one request in, the reply out (empty when it does not answer).
class SimDevice : public QObject
{
    Q_OBJECT
public:
    explicit SimDevice(QObject *parent = nullptr);

    static constexpr int kMaxFiles = 255;
    static constexpr qint64 kCapacityBytes = 32 * 1024 * 1024;
    static constexpr quint32 kNoHandle = 0xFFFFFFFFu;

    void setIdentity(const SimIdentity &identity) { m_identity = identity; }
    const SimIdentity &identity() const { return m_identity; }
    void setState(const SimState &state) { m_state = state; }
    void setEnvironment(const SimEnvironment &environment) { m_environment = environment; }
    void setFaults(const SimDeviceFaults &faults) { m_faults = faults; }
    void setPassword(const QByteArray &password) { m_password = password; }
    QByteArray password() const { return m_password; }
    void setCalibration(quint16 hundredths) { m_calibration = hundredths; }

    // Adds a file as "NAME.EXT"; returns its handle, or kNoHandle when the name or space is wrong.
    quint32 addFile(const QString &fileName, const QByteArray &data, quint8 attributes = 0);
    const QMap<quint32, SimFile> &files() const { return m_files; }
    // Writes every file into folder (names made safe for the host) and a "filesystem.lst" index of
    // name, size, attributes and handle.
    bool dump(const QString &folder) const;

    QByteArray handle(const QByteArray &request);

    // The 0x00 reply: command code and identity record.
    QByteArray identityReply() const;

    // Generated statistics in the block layout: blocks of values taken every 10 s.
    static QByteArray generatedTimeIndex(int blocks, int valuesPerBlock);
    static QByteArray generatedValues(int blocks, int valuesPerBlock);

private:
    QByteArray reply(const QByteArray &request);
    QByteArray stateReply() const;
    QByteArray environmentReply() const;
    QByteArray status(quint8 code, bool ok) const { return QByteArray(1, char(code)) + char(ok ? 1 : 0); }
    bool checkPassword(const QByteArray &given) const;
    QByteArray listReply() const;
    QByteArray readReply(const QByteArray &request) const;
    QByteArray createReply(const QByteArray &request);
    QByteArray writeReply(const QByteArray &request);
    QByteArray removeReply(const QByteArray &request);
    qint64 usedBytes() const;
    bool isRefused(const QByteArray &name, const QByteArray &extension) const;

    SimIdentity m_identity;
    SimState m_state;
    SimEnvironment m_environment;
    SimDeviceFaults m_faults;
    QByteArray m_password = "1234";
    quint16 m_calibration = 100;
    quint32 m_doseTime = 0;
    QMap<quint32, SimFile> m_files;
    quint32 m_nextHandle = 1;
    QElapsedTimer m_clock;
};
