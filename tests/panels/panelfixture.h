#pragma once

#include "device/device.h"
#include "device/devicemanager.h"
#include "tests/common/devsimprocess.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

// One simulator attached through the device manager and identified, as the main window sees it.
class AttachedSimulator
{
public:
    ~AttachedSimulator() { detach(); }

    bool attach(const QStringList &args = {})
    {
        if (!m_sim.start(args))
            return false;
        QSignalSpy inserted(DeviceManager::instance(), &DeviceManager::DeviceInserted);
        DeviceManager::instance()->OnDeviceInserted(m_sim.path());
        if (!DeviceManager::hasDevice(m_sim.path()))
            return false;
        return inserted.wait(20000) || inserted.size() > 0;
    }

    void detach()
    {
        if (!m_sim.path().isEmpty() && DeviceManager::hasDevice(m_sim.path()))
            DeviceManager::instance()->OnDeviceRemoved(m_sim.path());
        m_sim.stop();
    }

    QString path() const { return m_sim.path(); }
    Device *device() const { return DeviceManager::instance()->device(m_sim.path()); }

private:
    DevSimProcess m_sim;
};
