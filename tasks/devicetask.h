#pragma once

#include "tasks/task.h"

#include <QByteArray>
#include <QPointer>

class CommandTarget;
class Communicator;

// One request/reply exchange with one device: sends its command, then judges every message the
// device sends until the exchange is over.
class DeviceTask : public Task
{
    Q_OBJECT
public:
    // Whether the scheduler shows the task's progress to the user.
    enum Reporting { Silent, Shown };

    // command: the task's command code, also the number of the data item that keeps its result.
    DeviceTask(CommandTarget *device, const QString &name, int command, int timeoutMs,
               Reporting reporting, QObject *parent = nullptr);

    bool start() override;
    void cancelTask(bool timedOut) override;

    CommandTarget *device() const;
    bool isConnected() const { return m_connected; }

    // One length byte and the password's local 8-bit bytes. The device reads as many bytes as the
    // length byte says, so it counts the encoded bytes; a password that cannot be described by one
    // byte (more than 255 bytes encoded) gives false and must not be sent.
    static bool passwordField(const QString &password, QByteArray *out);
    static constexpr int kMaxPasswordBytes = 255;

    // value × 100 truncated toward zero, for the device's fixed-point fields. A decimal value with
    // two places lands on its own hundredths even where binary floating point falls just short
    // (1.15 gives 115, not 114). False for NaN, infinities and results outside [min, max].
    static bool toHundredths(double value, qint64 min, qint64 max, qint64 *out);

    // Judges one whole message from the device: 0 good, 1 wrong, 2 refused, anything else (5)
    // not the end of the exchange. Public so that replies can be checked without a link.
    virtual int processData(const QByteArray &data) = 0;

protected:
    virtual bool sendRequest() = 0;
    virtual void handleDataSent(int frames);
    virtual void handleDataReceived(int bytes);

    // Sends through the device's communicator; 0 when the device is gone or the port is closed.
    int send(quint8 code);
    int send(quint8 code, const QByteArray &params);
    // Sends a whole message: byte 0 the code, the rest its parameters.
    int sendMessage(const QByteArray &message);
    // Finishes a task whose request cannot be sent, without sending anything: code Refused, with
    // a message for the user that says why and what the device takes instead.
    bool refuse(const QVariant &result, const QString &message);
    // The refusal message for a password too long for its length byte.
    static QString passwordTooLong(const QString &password);
    // The request of a password-protected command: its code, the password's length byte, fields,
    // then the password's bytes. Empty, with the reason in why, when the password is too long.
    static QByteArray passwordRequest(quint8 command, const QByteArray &fields,
                                      const QString &password, QString *why);
    // The send of every password-protected command: the progress text, then the whole request,
    // or a refusal with false as the result and why as the reason when the request is empty.
    bool sendOrRefuse(const QString &progressText, const QByteArray &request, const QString &why);
    // The two-byte answer of a password-protected command: its code, then 1 (accepted) or 0.
    // Stores the answer as the result, or malformed for any other reply, and gives the result code.
    int acceptanceReply(const QByteArray &data, quint8 command, const QVariant &malformed = false);

protected slots:
    void OnUserData(const QByteArray &data);
    void OnDataSent(int frames);
    void OnDataReceived(int bytes);
    void OnAbort(int reason);
    void OnMessageDropped(int bytes);

private:
    void disconnectDevice();

    QPointer<CommandTarget> m_device;
    QPointer<Communicator> m_link; // the one the running exchange listens to
    bool m_connected = false;
    // Code of the last command sent; -1 before the first. Replies echo it.
    int m_sentCode = -1;
};
