#include "tools/varnoctl/watcher.h"

#include "device/device.h"
#include "device/devicemanager.h"
#include "device/devicenotifier.h"
#include "tasks/readenvironmentstatetask.h"
#include "tasks/taskmanager.h"
#include "tasks/taskresult.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <limits>

namespace {

constexpr quint16 kMonitorVendorId = 0x27E9;
constexpr quint16 kMonitorProductId = 0xB403;

// Exit codes shared with the other commands.
constexpr int kExitUsage = 2;
constexpr int kExitLink = 4;

QString utcText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate);
}

// A JSON string with its quotes; the serial comes from the device and may hold anything.
QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QByteArray csvField(const QString &text)
{
    QString field = text;
    if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\n'))
        || field.contains(QLatin1Char('\r'))) {
        field.replace(QLatin1String("\""), QLatin1String("\"\""));
        field = QLatin1Char('"') + field + QLatin1Char('"');
    }
    return field.toUtf8();
}

QString serialOf(const DeviceInfo &info)
{
    const QString serial = info.serialNumber().remove(QChar(0)).trimmed();
    return serial.isEmpty() ? QStringLiteral("unknown") : serial;
}

} // namespace

Watcher::Watcher(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    m_tick.setInterval(std::max(m_options.intervalMs, kMinIntervalMs));
    connect(&m_tick, &QTimer::timeout, this, &Watcher::OnTick);
    m_identifyTimeout.setSingleShot(true);
    m_identifyTimeout.setInterval(kIdentifyTimeoutMs);
    connect(&m_identifyTimeout, &QTimer::timeout, this, [this] {
        // Closing it reports the removal, which looks for a monitor again.
        if (!m_identified && !m_name.isEmpty()) {
            m_retryingIdentity = true;
            DeviceManager::removeDevice(m_name);
            m_retryingIdentity = false;
        }
    });
    m_duration.setSingleShot(true);
    connect(&m_duration, &QTimer::timeout, this, &Watcher::stop);
}

Watcher::~Watcher()
{
    m_done = true;
    delete m_notifier;
    disconnect(DeviceManager::instance(), nullptr, this, nullptr);
    if (!m_name.isEmpty())
        DeviceManager::removeDevice(m_name);
}

void Watcher::start()
{
    m_clock.start();
    if (m_options.durationMs > 0) {
        m_duration.setInterval(int(std::min<qint64>(m_options.durationMs, std::numeric_limits<int>::max())));
        m_duration.start();
    }
    DeviceManager *manager = DeviceManager::instance();
    connect(manager, &DeviceManager::DeviceInserted, this, &Watcher::OnIdentified);
    connect(manager, &DeviceManager::DeviceRemoved, this, &Watcher::OnGone);

    m_notifier = new DeviceNotifier();
    m_notifier->addAllowedDevice(kMonitorVendorId, kMonitorProductId);
    m_notifier->startNotify();
    const QStringList present = m_notifier->enumerateDevices();
    connect(m_notifier, &DeviceNotifier::deviceInserted, this, &Watcher::OnArrival);
    connect(m_notifier, &DeviceNotifier::deviceRemoved, this, &Watcher::OnRemoval);

    if (!m_options.port.isEmpty()) {
        open(m_options.port);
        if (m_name.isEmpty())
            finish(kExitLink, tr("cannot open %1").arg(m_options.port));
        return;
    }
    if (present.size() > 1) {
        finish(kExitUsage, tr("several monitors found (%1); choose one with --port").arg(present.join(QStringLiteral(", "))));
        return;
    }
    if (present.isEmpty()) {
        emit waiting();
        return;
    }
    open(present.first());
}

void Watcher::stop()
{
    finish(0);
}

void Watcher::finish(int code, const QString &error)
{
    if (m_done)
        return;
    m_done = true;
    m_exitCode = code;
    m_error = error;
    m_tick.stop();
    m_duration.stop();
    m_identifyTimeout.stop();
    // A read in flight is let finish, so that its reply does not wait in the port for whoever opens
    // it next; the task's watchdog bounds the wait.
    if (!m_read)
        emitFinished();
}

void Watcher::emitFinished()
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(m_exitCode, m_error);
}

void Watcher::open(const QString &name)
{
    if (m_done || !m_name.isEmpty())
        return;
    DeviceManager::instance()->OnDeviceInserted(name);
    if (!DeviceManager::hasDevice(name))
        return;
    m_name = name;
    m_identified = false;
    m_identifyTimeout.start();
}

void Watcher::OnArrival(const QString &name)
{
    if (!m_options.port.isEmpty() && name != m_options.port)
        return;
    if (m_rescanning && m_gone.contains(name))
        return;
    m_gone.remove(name);
    open(name);
}

void Watcher::OnRemoval(const QString &name)
{
    DeviceManager::instance()->OnDeviceRemoved(name);
}

void Watcher::OnIdentified(const QString &name)
{
    if (m_done || name != m_name || m_identified)
        return;
    Device *device = DeviceManager::instance()->device(name);
    if (!device)
        return;
    m_identifyTimeout.stop();
    m_identified = true;
    // The watch reads the environment itself; a state poll, besides being of no use here, could be
    // in flight when the watch ends and leave its reply in the port.
    device->setPolling(false);
    const DeviceInfo info = device->deviceInfo();
    m_monitor = WatchedMonitor { name, serialOf(info), info.deviceId().remove(QChar(0)).trimmed(),
                                 device->displayName(), info.firmwareVersion() };
    m_agreement.reset();
    emit connected(m_monitor, QDateTime::currentDateTimeUtc());
    if (m_done)
        return;
    m_tick.start();
    OnTick();
}

void Watcher::OnGone(const QString &name)
{
    if (name != m_name)
        return;
    m_tick.stop();
    m_identifyTimeout.stop();
    m_read.clear();
    m_name.clear();
    m_agreement.reset();
    if (!m_retryingIdentity)
        m_gone.insert(name);
    if (m_done) {
        emitFinished();
        return;
    }
    if (m_identified) {
        m_identified = false;
        ++m_disconnections;
        emit disconnected(m_monitor, QDateTime::currentDateTimeUtc());
    }
    // Another monitor may be present already, or this one's port may still be there after its link
    // failed: look again once the device is gone.
    QTimer::singleShot(kRescanDelayMs, this, &Watcher::rescan);
}

void Watcher::rescan()
{
    if (m_done || !m_name.isEmpty() || !m_notifier)
        return;
    // A port named on the command line need not be one the notifier knows (a simulator's pty).
    if (!m_options.port.isEmpty() && QFileInfo::exists(m_options.port)) {
        open(m_options.port);
        return;
    }
    // Each monitor present comes back as an arrival; the first one that opens is taken.
    m_rescanning = true;
    m_notifier->enumerateDevices();
    m_rescanning = false;
}

void Watcher::OnTick()
{
    if (m_done || !m_identified || m_read)
        return;
    Device *device = DeviceManager::instance()->device(m_name);
    if (!device)
        return;
    auto *task = new ReadEnvironmentStateTask(device);
    m_read = task;
    connect(task, &Task::Complete, this, &Watcher::OnReadComplete);
    // A task dropped unreported (its scheduler went) must not keep the end waiting.
    connect(task, &QObject::destroyed, this, [this] {
        if (m_done)
            QTimer::singleShot(0, this, [this] {
                if (!m_read)
                    emitFinished();
            });
    });
    TaskManager::addTask(task);
}

void Watcher::OnReadComplete()
{
    auto *task = qobject_cast<Task *>(sender());
    if (!task || task != m_read)
        return;
    m_read.clear();
    if (m_done) {
        emitFinished();
        return;
    }
    if (task->resultCode() != TaskResult::Successful || !task->resultData().canConvert<EnvironmentState>()) {
        ++m_missed;
        return;
    }
    WatchReading taken;
    taken.time = QDateTime::currentDateTimeUtc();
    taken.serial = m_monitor.serial;
    taken.environment = task->resultData().value<EnvironmentState>();
    taken.sensorsDisagree = m_agreement.add(m_clock.elapsed(), EnvironmentState::display(taken.environment.left),
                                              EnvironmentState::display(taken.environment.right));
    ++m_readings;
    emit reading(taken);
    if (m_options.count > 0 && m_readings >= m_options.count)
        stop();
}

WatchLog::WatchLog(Format format, QObject *parent)
    : QObject(parent)
    , m_format(format)
{
}

bool WatchLog::open(const QString &path, QString *error)
{
    if (path.isEmpty()) {
        if (!m_file.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            *error = tr("cannot write to the standard output");
            return false;
        }
    } else {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            *error = tr("cannot open %1: %2").arg(path, m_file.errorString());
            return false;
        }
    }
    // One header in a file, however often the watch is started on it.
    if (m_format == Csv && (path.isEmpty() || m_file.size() == 0))
        write(csvHeader());
    return !m_failed;
}

QByteArray WatchLog::csvHeader()
{
    return QByteArrayLiteral("time,serial,left,right,average,dose,sensors_disagree,event");
}

QByteArray WatchLog::readingJson(const WatchReading &reading, bool withSerial)
{
    const EnvironmentState &e = reading.environment;
    QByteArray json = "{\"time\":\"" + utcText(reading.time).toLatin1() + '"';
    if (withSerial)
        json += ",\"serial\":" + jsonString(reading.serial);
    // The Measures tab's figures, as exact text: no binary rounding on the way.
    json += ",\"left\":" + EnvironmentState::displayText(e.left).toLatin1()
        + ",\"right\":" + EnvironmentState::displayText(e.right).toLatin1()
        + ",\"average\":" + EnvironmentState::displayText(e.average).toLatin1()
        + ",\"dose\":" + EnvironmentState::displayText(e.dose).toLatin1();
    if (reading.sensorsDisagree)
        json += ",\"sensors_disagree\":true";
    return json + '}';
}

void WatchLog::OnReading(const WatchReading &reading)
{
    if (m_format == Jsonl) {
        write(readingJson(reading, true));
        return;
    }
    const EnvironmentState &e = reading.environment;
    write(utcText(reading.time).toLatin1() + ',' + csvField(reading.serial) + ','
          + EnvironmentState::displayText(e.left).toLatin1() + ',' + EnvironmentState::displayText(e.right).toLatin1()
          + ',' + EnvironmentState::displayText(e.average).toLatin1() + ','
          + EnvironmentState::displayText(e.dose).toLatin1() + ',' + (reading.sensorsDisagree ? "true" : "") + ',');
}

void WatchLog::OnConnected(const WatchedMonitor &monitor, const QDateTime &time)
{
    writeEvent(QStringLiteral("connected"), monitor.serial, time);
}

void WatchLog::OnDisconnected(const WatchedMonitor &monitor, const QDateTime &time)
{
    writeEvent(QStringLiteral("disconnected"), monitor.serial, time);
}

void WatchLog::writeEvent(const QString &what, const QString &serial, const QDateTime &time)
{
    if (m_format == Jsonl)
        write("{\"time\":\"" + utcText(time).toLatin1() + "\",\"event\":\"" + what.toLatin1() + "\",\"serial\":"
              + jsonString(serial) + '}');
    else
        write(utcText(time).toLatin1() + ',' + csvField(serial) + ",,,,,," + what.toLatin1());
}

void WatchLog::write(const QByteArray &line)
{
    if (m_failed)
        return;
    const QByteArray bytes = line + '\n';
    if (m_file.write(bytes) != bytes.size() || !m_file.flush()) {
        m_failed = true;
        emit writeFailed(tr("cannot write to %1: %2")
                             .arg(m_file.fileName().isEmpty() ? tr("the standard output") : m_file.fileName(),
                                  m_file.errorString()));
    }
}
