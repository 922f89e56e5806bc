#include "device/environmentstate.h"

#include <QDebug>
#include <QtEndian>

namespace {
void registerEnvironmentState()
{
    qRegisterMetaType<EnvironmentState>("EnvironmentState");
}

QString hundredths(qint64 value)
{
    return QString::number(EnvironmentState::display(value), 'f', 2);
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

QDebug operator<<(QDebug debug, const EnvironmentState &state)
{
    QDebugStateSaver saver(debug);
    debug.nospace().noquote() << "[L]=" << hundredths(state.left) << "[R]=" << hundredths(state.right)
                              << "[D]=" << hundredths(state.dose) << "[A]=" << hundredths(state.average);
    return debug;
}
