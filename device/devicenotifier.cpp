#include "device/devicenotifier.h"

#include "device/inotifier.h"

DeviceNotifier::DeviceNotifier(QObject *parent)
    : DeviceNotifier(varno::createPlatformNotifier(), parent)
{
}

DeviceNotifier::DeviceNotifier(INotifier *notifier, QObject *parent)
    : QObject(parent)
    , m_notifier(notifier)
{
    auto *source = dynamic_cast<QObject *>(m_notifier);
    Q_ASSERT(source);
    connect(source, SIGNAL(deviceInserted(QString)), this, SIGNAL(deviceInserted(QString)));
    connect(source, SIGNAL(deviceRemoved(QString)), this, SIGNAL(deviceRemoved(QString)));
}

DeviceNotifier::~DeviceNotifier()
{
    delete m_notifier;
}

void DeviceNotifier::addAllowedDevice(quint16 vid, quint16 pid)
{
    m_notifier->addAllowedDevice(vid, pid);
}

void DeviceNotifier::startNotify()
{
    m_notifier->startNotify();
}

void DeviceNotifier::stopNotify()
{
    m_notifier->stopNotify();
}

QStringList DeviceNotifier::enumerateDevices()
{
    return m_notifier->enumerateDevices();
}
