#include "tools/varnoctl/varnoctl.h"

#include "device/commandhandle.h"
#include "device/device.h"
#include "device/devicestate.h"
#include "device/environmentstate.h"
#include "device/devicenotifier.h"
#include "link/serialport.h"
#include "tasks/changepasswordtask.h"
#include "tasks/filedescriptor.h"
#include "tasks/filereadtask.h"
#include "tasks/fileremovetask.h"
#include "tasks/filewritetask.h"
#include "tasks/resetaggregatedosetask.h"
#include "tasks/setaggregatedosetask.h"
#include "tasks/writecalibrationtask.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

QString hundredths(qint64 value)
{
    return QString::number(EnvironmentState::display(value), 'f', 2);
}

QJsonObject fileJson(const FileDescriptor &file)
{
    return QJsonObject { { QStringLiteral("name"), file.fileName() },
        { QStringLiteral("size"), qint64(file.size()) },
        { QStringLiteral("attributes"), int(file.attributes()) },
        { QStringLiteral("handle"), qint64(file.handle()) } };
}

constexpr quint16 kMonitorVendorId = 0x27E9;
constexpr quint16 kMonitorProductId = 0xB403;

} // namespace

Ctl::Ctl(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(qMax(1, m_options.timeoutSeconds) * 1000);
    connect(&m_deadline, &QTimer::timeout, this, &Ctl::OnDeadline);
}

Ctl::~Ctl()
{
    delete m_device;
}

void Ctl::print(const QString &text, FILE *stream)
{
    const QByteArray bytes = text.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

QStringList Ctl::monitorsPresent()
{
    // The same search the program makes: real monitors through udev, attached simulators through
    // their links in the runtime folder.
    DeviceNotifier notifier;
    notifier.addAllowedDevice(kMonitorVendorId, kMonitorProductId);
    return notifier.enumerateDevices();
}

void Ctl::start()
{
    m_deadline.start();
    // Converting and exporting files already on disk needs no monitor.
    if (isLocalHistoryCommand()) {
        history();
        return;
    }
    if (isJournalCommand()) {
        journal();
        return;
    }
    if (m_options.arguments.value(0) == QLatin1String("list") && m_options.arguments.size() == 1) {
        const QStringList monitors = monitorsPresent();
        QJsonArray array;
        for (const QString &monitor : monitors)
            array.append(monitor);
        succeed(QJsonObject { { QStringLiteral("monitors"), array } },
            monitors.isEmpty() ? tr("no monitor found") : monitors.join(QLatin1Char('\n')));
        return;
    }
    if (m_options.port.isEmpty()) {
        const QStringList monitors = monitorsPresent();
        if (monitors.isEmpty()) {
            fail(ExitLink, tr("no monitor found; plug one in or name its port with --port"));
            return;
        }
        if (monitors.size() > 1) {
            fail(ExitUsage, tr("several monitors found (%1); choose one with --port").arg(monitors.join(QStringLiteral(", "))));
            return;
        }
        m_options.port = monitors.first();
    }
    if (m_options.arguments.isEmpty()) {
        fail(ExitUsage, tr("no command given (info, state, env, calibration, password, dose, files, pull, push, rm, history, firmware)"));
        return;
    }
    try {
        m_device = new Device(m_options.port);
    } catch (const SerialPortException &e) {
        fail(ExitLink, tr("cannot open %1: %2").arg(m_options.port, e.text()));
        return;
    }
    dispatch();
}

bool Ctl::needPassword()
{
    if (!m_options.password.isNull())
        return true;
    fail(ExitUsage, tr("this command needs --password"));
    return false;
}

void Ctl::dispatch()
{
    const QStringList &a = m_options.arguments;
    const QString verb = a.at(0);
    const auto usage = [this](const QString &text) { fail(ExitUsage, tr("usage: varnoctl --port PATH %1").arg(text)); };
    const auto accepted = [this](const TaskResult &r, const QString &what, const QJsonObject &extra) {
        if (!r.data().toBool()) {
            fail(ExitRefused, tr("the device refused the password"));
            return;
        }
        QJsonObject json = extra;
        json.insert(QStringLiteral("accepted"), true);
        succeed(json, what);
    };

    if (verb == QLatin1String("info") && a.size() == 1) {
        await(m_device->executeCommand(Device::ReadId), [this](const TaskResult &r) {
            const DeviceInfo info = r.data().value<DeviceInfo>();
            m_device->setDeviceInfo(info);
            const QString deviceId = info.deviceId().remove(QChar(0));
            const QJsonObject json { { QStringLiteral("deviceId"), deviceId },
                { QStringLiteral("name"), m_device->displayName() },
                { QStringLiteral("platform"), m_device->platform().remove(QChar(0)) },
                { QStringLiteral("firmware"), info.firmwareVersion() },
                { QStringLiteral("hardware"), info.hardwareVersion() },
                { QStringLiteral("guid"), info.guid() },
                { QStringLiteral("processorId"), info.processorId() },
                { QStringLiteral("serialNumber"), info.serialNumber() } };
            succeed(json, tr("Device:        %1\nName:          %2\nFirmware:      %3\nHardware:      %4\n"
                             "GUID:          %5\nProcessor id:  %6\nSerial number: %7")
                              .arg(deviceId, m_device->displayName(), info.firmwareVersion(),
                                   info.hardwareVersion(), info.guid(), info.processorId(), info.serialNumber()));
        });
    } else if (verb == QLatin1String("state") && a.size() == 1) {
        await(m_device->executeCommand(Device::ReadState), [this](const TaskResult &r) {
            const DeviceState s = r.data().value<DeviceState>();
            const QString power = s.externalPower() ? tr("external") : tr("battery");
            const QJsonObject json { { QStringLiteral("battery"), int(s.battery()) },
                { QStringLiteral("externalPower"), s.externalPower() },
                { QStringLiteral("accumulator"), s.accumulator() },
                { QStringLiteral("charging"), s.charging() },
                { QStringLiteral("powerCycles"), qint64(s.powerCycles()) },
                { QStringLiteral("powerOnTime"), qint64(s.powerOnTime()) },
                { QStringLiteral("counterLT"), qint64(s.counterLT()) },
                { QStringLiteral("flags"), int(s.flags()) },
                { QStringLiteral("secondFlags"), int(s.secondFlags()) } };
            succeed(json, tr("Battery:       %1 %\nPower:         %2%3\nPower cycles:  %4\nPower-on time: %5 s\nCounter LT:    %6")
                              .arg(s.battery()).arg(power, s.charging() ? tr(", charging") : QString())
                              .arg(s.powerCycles()).arg(s.powerOnTime()).arg(s.counterLT()));
        });
    } else if (verb == QLatin1String("env") && a.size() == 1) {
        await(m_device->executeCommand(Device::ReadEnvironment), [this](const TaskResult &r) {
            const EnvironmentState e = r.data().value<EnvironmentState>();
            const QJsonObject json { { QStringLiteral("left"), hundredths(e.left).toDouble() },
                { QStringLiteral("right"), hundredths(e.right).toDouble() },
                { QStringLiteral("average"), hundredths(e.average).toDouble() },
                { QStringLiteral("dose"), hundredths(e.dose).toDouble() } };
            succeed(json, tr("Left:    %1\nRight:   %2\nAverage: %3\nDose:    %4")
                              .arg(hundredths(e.left), hundredths(e.right), hundredths(e.average), hundredths(e.dose)));
        });
    } else if (verb == QLatin1String("calibration")) {
        const QString sub = a.value(1, QStringLiteral("get"));
        if (sub == QLatin1String("get") && a.size() <= 2) {
            await(m_device->executeCommand(Device::ReadCalibration), [this](const TaskResult &r) {
                const double value = r.data().toDouble();
                succeed({ { QStringLiteral("coefficient"), value } }, QString::number(value, 'f', 2));
            });
        } else if (sub == QLatin1String("set") && a.size() == 3) {
            bool ok = false;
            const double value = a.at(2).toDouble(&ok);
            if (!ok) {
                usage(QStringLiteral("calibration set VALUE (a number)"));
                return;
            }
            if (!WriteCalibrationTask::isCoefficientInRange(value)) {
                fail(ExitArgument, tr("the calibration coefficient must lie between 0.00 and 655.35"));
                return;
            }
            if (!needPassword())
                return;
            // The device takes the whole field, but readings are only right near 1.
            if (value < 0.5 || value > 1.5)
                print(tr("varnoctl: warning: %1 lies outside the usual 0.50 to 1.50")
                          .arg(QString::number(value, 'f', 2)), stderr);
            beforeChange(Device::ReadCalibration, [=] {
                await(m_device->executeCommand(Device::WriteCalibration,
                                               arguments({ { WriteCalibrationTask::kCoefficientKey, value },
                                                           { WriteCalibrationTask::kPasswordKey, m_options.password } })),
                      [=](const TaskResult &r) {
                            accepted(r, tr("Calibration set to %1").arg(QString::number(value, 'f', 2)),
                                     { { QStringLiteral("coefficient"), value } });
                        });
            });
        } else {
            usage(QStringLiteral("calibration [get|set VALUE]"));
        }
    } else if (verb == QLatin1String("password")) {
        if (a.size() != 3) {
            usage(QStringLiteral("password OLD NEW"));
            return;
        }
        beforeChange(-1, [=] {
            await(m_device->executeCommand(Device::ChangePassword,
                                           arguments({ { ChangePasswordTask::kOldPasswordKey, a.at(1) },
                                                       { ChangePasswordTask::kNewPasswordKey, a.at(2) } })),
                  [=](const TaskResult &r) { accepted(r, tr("Password changed"), {}); });
        });
    } else if (verb == QLatin1String("dose")) {
        const QString sub = a.value(1);
        if (sub == QLatin1String("set") && a.size() == 4) {
            bool okValue = false;
            bool okTime = false;
            const double value = a.at(2).toDouble(&okValue);
            const uint seconds = a.at(3).toUInt(&okTime);
            if (!okValue || !okTime) {
                usage(QStringLiteral("dose set VALUE SECONDS"));
                return;
            }
            if (!needPassword())
                return;
            beforeChange(Device::ReadEnvironment, [=] {
                await(m_device->executeCommand(Device::SetAggregateDose,
                                               arguments({ { SetAggregateDoseTask::kValueKey, value },
                                                           { SetAggregateDoseTask::kTimeKey, seconds },
                                                           { SetAggregateDoseTask::kPasswordKey, m_options.password } })),
                      [=](const TaskResult &r) {
                            accepted(r, tr("Dose set to %1 over %2 s").arg(QString::number(value, 'f', 2)).arg(seconds),
                                     { { QStringLiteral("dose"), value }, { QStringLiteral("seconds"), qint64(seconds) } });
                        });
            });
        } else if (sub == QLatin1String("reset") && a.size() == 2) {
            if (!needPassword())
                return;
            beforeChange(Device::ReadEnvironment, [=] {
                await(m_device->executeCommand(Device::ResetAggregateDose,
                                               arguments({ { ResetAggregateDoseTask::kPasswordKey, m_options.password } })),
                      [=](const TaskResult &r) { accepted(r, tr("Dose reset"), {}); });
            });
        } else {
            usage(QStringLiteral("dose set VALUE SECONDS | dose reset"));
        }
    } else if (verb == QLatin1String("files") && a.size() == 1) {
        await(m_device->executeCommand(Device::ListFiles), [this](const TaskResult &r) {
            QJsonArray files;
            QStringList lines;
            const QVariantList list = r.data().toList();
            for (const QVariant &v : list) {
                const FileDescriptor file = v.value<FileDescriptor>();
                if (!file.isValid())
                    continue;
                files.append(fileJson(file));
                lines.append(QStringLiteral("%1 %2 %3").arg(file.fileName(), -12).arg(file.size(), 10)
                                 .arg(file.attributes(), 2, 16, QLatin1Char('0')));
            }
            succeed({ { QStringLiteral("files"), files } }, lines.join(QLatin1Char('\n')));
        });
    } else if (verb == QLatin1String("pull") && (a.size() == 2 || a.size() == 3)) {
        const QString folder = QDir(a.value(2, QStringLiteral("."))).absolutePath();
        if (!QFileInfo(folder).isDir()) {
            fail(ExitFailed, tr("%1 is not a folder").arg(folder));
            return;
        }
        withFile(a.at(1), [=](const QVariant &descriptor) {
            await(m_device->executeCommand(Device::ReadFile,
                                           arguments({ { FileReadTask::kFileDescriptorKey, descriptor },
                                                       { FileReadTask::kFilePathKey, folder } })),
                  [=](const TaskResult &r) {
                        if (r.data().toString().isEmpty()) {
                            fail(ExitFailed, tr("the device did not send the file"));
                            return;
                        }
                        const QString path = folder + QLatin1Char('/') + r.data().toString();
                        succeed({ { QStringLiteral("path"), path },
                                  { QStringLiteral("size"), QFileInfo(path).size() } },
                                tr("Saved %1").arg(path));
                    });
        });
    } else if (verb == QLatin1String("push") && a.size() == 2) {
        const QFileInfo file(a.at(1));
        if (!file.isFile() || !file.isReadable()) {
            fail(ExitFailed, tr("cannot read %1").arg(a.at(1)));
            return;
        }
        beforeChange(-1, [=] {
            await(m_device->executeCommand(Device::WriteFile,
                                           arguments({ { FileWriteTask::kFileInfoKey, QVariant::fromValue(file) },
                                                       { FileWriteTask::kFileAttributesKey, m_options.attributes } })),
                  [=](const TaskResult &r) {
                        if (!r.data().toBool()) {
                            fail(ExitFailed, tr("the device did not take the file"));
                            return;
                        }
                        succeed({ { QStringLiteral("file"), file.absoluteFilePath() },
                                  { QStringLiteral("size"), file.size() } },
                                tr("Written %1 (%2 bytes)").arg(file.fileName()).arg(file.size()));
                    });
        });
    } else if (verb == QLatin1String("history")) {
        history();
    } else if (verb == QLatin1String("firmware")) {
        firmware();
    } else if (verb == QLatin1String("rm") && a.size() == 2) {
        beforeChange(-1, [=] {
            withFile(a.at(1), [=](const QVariant &descriptor) {
                await(m_device->executeCommand(Device::RemoveFile,
                                               arguments({ { FileRemoveTask::kFileDescriptorKey, descriptor } })),
                      [=](const TaskResult &r) {
                            succeed({ { QStringLiteral("removed"), r.data().toString() } },
                                    tr("Removed %1").arg(r.data().toString()));
                        });
            });
        });
    } else {
        fail(ExitUsage, tr("unknown command or wrong arguments: %1").arg(a.join(QLatin1Char(' '))));
    }
}

void Ctl::withFile(const QString &name, std::function<void(const QVariant &)> next)
{
    await(m_device->executeCommand(Device::ListFiles), [=](const TaskResult &r) {
        const FileDescriptor file = FileDescriptor::find(r.data().toList(), name);
        if (file.isValid())
            next(QVariant::fromValue(file));
        else
            fail(ExitFailed, tr("no file %1 on the device").arg(name));
    });
}

QVariantHash Ctl::arguments(std::initializer_list<std::pair<const char *, QVariant>> pairs)
{
    QVariantHash hash;
    for (const auto &pair : pairs)
        hash.insert(QLatin1String(pair.first), pair.second);
    return hash;
}

void Ctl::await(CommandHandle *handle, Next next)
{
    const auto done = [this, next = std::move(next)](const TaskResult &result) { OnCommandFinished(result, next); };
    if (!follow(handle, this, done, &Ctl::showProgress)) {
        fail(ExitLink, tr("the device does not take commands any more"));
        return;
    }
    m_cancel = [handle = QPointer<CommandHandle>(handle)] {
        if (handle)
            handle->cancel();
    };
}

void Ctl::showProgress(const QString &text, int percent)
{
    if (m_done)
        return;
    m_deadline.start();
    if (!m_showProgress && !isatty(STDERR_FILENO))
        return;
    // A line per stage and per tenth of it is enough on a terminal.
    if (text == m_lastProgressText && (percent < 0 || percent / 10 == m_lastProgressPercent / 10))
        return;
    m_lastProgressText = text;
    m_lastProgressPercent = percent;
    print(percent < 0 ? text : QStringLiteral("%1: %2 %").arg(text).arg(percent), stderr);
}

void Ctl::OnDeadline()
{
    if (m_done)
        return;
    // Reported first: stopping the step may end it with an outcome of its own.
    const std::function<void()> cancel = m_cancel;
    fail(ExitTimeout, tr("no result within %1 s (see --timeout)").arg(m_options.timeoutSeconds));
    if (cancel)
        cancel();
}

bool Ctl::confirm(const QString &question)
{
    if (m_options.yes)
        return true;
    m_deadline.stop();
    const QByteArray bytes = (question + QStringLiteral(" [y/N] ")).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    m_deadline.start();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
}

void Ctl::OnCommandFinished(const TaskResult &result, const Next &next)
{
    if (m_done)
        return;
    m_cancel = nullptr;
    m_deadline.start();
    switch (result.code()) {
    case TaskResult::Successful:
        next(result);
        break;
    case TaskResult::Refused:
        fail(ExitArgument, result.message());
        break;
    case TaskResult::TimedOut:
        fail(ExitTimeout, tr("no answer from the device (%1)").arg(result.name()));
        break;
    case TaskResult::Aborted:
        fail(ExitLink, tr("the link to the device failed (%1)").arg(result.name()));
        break;
    default:
        fail(ExitFailed, tr("the device's answer was not understood (%1)").arg(result.name()));
        break;
    }
}

void Ctl::succeed(const QJsonObject &json, const QString &text)
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    m_exitCode = ExitOk;
    if (m_options.json) {
        QJsonObject out = json;
        out.insert(QStringLiteral("ok"), true);
        out.insert(QStringLiteral("command"), m_options.arguments.value(0));
        print(QString::fromUtf8(QJsonDocument(out).toJson(QJsonDocument::Compact)), stdout);
    } else if (!text.isEmpty()) {
        print(text, stdout);
    }
    emit finished(m_exitCode);
}

void Ctl::fail(int code, const QString &message)
{
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    m_exitCode = code;
    print(QStringLiteral("varnoctl: error: %1").arg(message), stderr);
    if (m_options.json) {
        const QJsonObject out { { QStringLiteral("ok"), false }, { QStringLiteral("error"), message },
            { QStringLiteral("exitCode"), code }, { QStringLiteral("command"), m_options.arguments.value(0) } };
        print(QString::fromUtf8(QJsonDocument(out).toJson(QJsonDocument::Compact)), stdout);
    }
    emit finished(m_exitCode);
}
