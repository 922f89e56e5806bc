#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Ends a helper process as a user would (SIGTERM), so that it cleans up after itself; one that does
// not end in time is killed.
inline void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// Runs the device simulator for a test and tells the pty path it printed.
class DevSimProcess
{
public:
    DevSimProcess() = default;
    DevSimProcess(const DevSimProcess &) = delete;
    DevSimProcess &operator=(const DevSimProcess &) = delete;
    ~DevSimProcess() { stop(); }

    bool start(const QStringList &args = {}, const QString &program = QStringLiteral(VARNO_DEVSIM_PATH))
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(program, args);
        if (!m_process.waitForStarted(20000))
            return false;
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(20000))
                return false;
        }
        m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return !m_path.isEmpty();
    }

    void stop() { stopProcess(m_process); }

    QString path() const { return m_path; }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QString m_path;
};
