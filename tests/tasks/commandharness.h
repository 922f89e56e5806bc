#pragma once

#include "device/commandhandle.h"
#include "device/device.h"
#include "tasks/taskresult.h"
#include "tests/common/devsimprocess.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QVariantHash>

#include <memory>

// A Device on a fresh simulator, with the results of its tasks collected in order.
class CommandHarness
{
public:
    ~CommandHarness() { stop(); }

    bool start(const QStringList &simArgs = {})
    {
        if (!m_sim.start(simArgs))
            return false;
        m_device = std::make_unique<Device>(m_sim.path());
        m_results = std::make_unique<QSignalSpy>(m_device.get(), &Device::taskFinished);
        return m_results->isValid();
    }

    // Queues a command and waits for the result on its handle.
    TaskResult run(int code, const QVariantHash &args = {}, int timeoutMs = 40000)
    {
        CommandHandle *handle = m_device->executeCommand(code, args);
        if (!handle)
            return TaskResult(QStringLiteral("refused"), QVariant(), -1, code);
        QSignalSpy done(handle, &CommandHandle::finished);
        if (!done.wait(timeoutMs))
            return TaskResult(QStringLiteral("no result"), QVariant(), -2, code);
        return qvariant_cast<TaskResult>(done.at(0).at(0));
    }

    // Runs a real event loop until count results are in. QTRY_* and qWaitFor sleep 10 ms between
    // rounds, which would stretch every acknowledged frame of a transfer by that much.
    bool waitForResults(int count, int timeoutMs = 40000)
    {
        QElapsedTimer clock;
        clock.start();
        while (m_results->count() < count) {
            const int left = timeoutMs - int(clock.elapsed());
            if (left <= 0 || !m_results->wait(left))
                return m_results->count() >= count;
        }
        return true;
    }

    TaskResult result(int i) const { return qvariant_cast<TaskResult>(m_results->at(i).at(0)); }
    int resultCount() const { return m_results->count(); }
    QSignalSpy &results() { return *m_results; }

    void stop()
    {
        m_results.reset();
        m_device.reset();
        m_sim.stop();
    }

    Device *device() const { return m_device.get(); }
    DevSimProcess &sim() { return m_sim; }

private:
    DevSimProcess m_sim;
    std::unique_ptr<Device> m_device;
    std::unique_ptr<QSignalSpy> m_results;
};
