#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

class QDebug;

// The two sensor readings, their average and the aggregated dose, each in hundredths.
struct EnvironmentState
{
    qint32 left = 0;
    qint32 right = 0;
    qint64 dose = 0;
    qint32 average = 0;

    // The 21-byte reply to command 0x20, command byte included: the dose is one signed 64-bit value
    // at offset 9. Returns false (and leaves the record alone) for any other message.
    static bool fromReply(const QByteArray &reply, EnvironmentState *out);
    static constexpr int kReplyBytes = 21;
    static constexpr quint8 kCommand = 0x20;

    static double display(qint64 hundredths) { return double(hundredths) / 100.0; }
    // The same value as text with two decimals, exact for every value the device can send.
    static QString displayText(qint64 hundredths);

    bool operator==(const EnvironmentState &o) const
    {
        return left == o.left && right == o.right && dose == o.dose && average == o.average;
    }
    bool operator!=(const EnvironmentState &o) const { return !(*this == o); }
};

Q_DECLARE_METATYPE(EnvironmentState)

QDebug operator<<(QDebug debug, const EnvironmentState &state);
