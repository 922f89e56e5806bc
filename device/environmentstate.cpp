#include "device/environmentstate.h"

#include <QDebug>
#include <QtEndian>

namespace {
void registerEnvironmentState()
{
    qRegisterMetaType<EnvironmentState>("EnvironmentState");
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(registerEnvironmentState)

bool EnvironmentState::fromReply(const QByteArray &reply, EnvironmentState *out)
{
    if (!out || reply.size() != kReplyBytes || quint8(reply.at(0)) != kCommand)
        return false;
    const auto *p = reinterpret_cast<const uchar *>(reply.constData());
    out->left = qFromBigEndian<qint32>(p + 1);
    out->right = qFromBigEndian<qint32>(p + 5);
    out->dose = qFromBigEndian<qint64>(p + 9);
    out->average = qFromBigEndian<qint32>(p + 17);
    return true;
}

QString EnvironmentState::displayText(qint64 hundredths)
{
    // Whole and fractional parts apart: a double holds 2^53 exactly, the device's dose field more.
    const quint64 magnitude = hundredths < 0 ? quint64(0) - quint64(hundredths) : quint64(hundredths);
    return QStringLiteral("%1%2.%3")
        .arg(hundredths < 0 ? QStringLiteral("-") : QString())
        .arg(magnitude / 100)
        .arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

QDebug operator<<(QDebug debug, const EnvironmentState &state)
{
    QDebugStateSaver saver(debug);
    const auto text = &EnvironmentState::displayText;
    debug.nospace().noquote() << "[L]=" << text(state.left) << "[R]=" << text(state.right)
                              << "[D]=" << text(state.dose) << "[A]=" << text(state.average);
    return debug;
}
