#include "device/changejournal.h"

#include "device/commandhandle.h"
#include "device/device.h"
#include "device/environmentstate.h"
#include "link/logging.h"
#include "tasks/changepasswordtask.h"
#include "tasks/devicetask.h"
#include "tasks/filedescriptor.h"
#include "tasks/fileremovetask.h"
#include "tasks/filewritetask.h"
#include "tasks/resetaggregatedosetask.h"
#include "tasks/setaggregatedosetask.h"
#include "tasks/taskresult.h"
#include "tasks/writecalibrationtask.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QPointer>

#include <limits>

namespace {

// The program's own folder name, not the running tool's: varnoctl journals beside the program.
const char kDataFolderName[] = "VARNO Device Manager";

// Identity texts come from fixed-width fields padded with NULs.
QString clean(QString text)
{
    return text.remove(QChar(0)).trimmed();
}

QJsonValue hundredthsOf(double value, qint64 min, qint64 max)
{
    qint64 hundredths = 0;
    if (!DeviceTask::toHundredths(value, min, max, &hundredths))
        return QJsonValue(value);
    return QJsonValue(double(hundredths) / 100.0);
}

QString valueText(const QJsonValue &value)
{
    if (value.isDouble())
        return QString::number(value.toDouble(), 'f', 2);
    if (value.isNull() || value.isUndefined())
        return QStringLiteral("?");
    return value.toVariant().toString();
}

} // namespace

ChangeJournal::ChangeJournal(QObject *parent)
    : QObject(parent)
    , m_path(defaultPath())
{
}

ChangeJournal *ChangeJournal::instance()
{
    static ChangeJournal *journal = new ChangeJournal(QCoreApplication::instance());
    return journal;
}

QString ChangeJournal::defaultPath()
{
    return QDir::homePath() + QLatin1Char('/') + QLatin1String(kDataFolderName) + QLatin1Char('/')
        + kFileName;
}

bool ChangeJournal::isChange(int code)
{
    switch (code) {
    case Device::ResetAggregateDose:
    case Device::SetAggregateDose:
    case Device::WriteCalibration:
    case Device::ChangePassword:
    case Device::WriteFile:
    case Device::RemoveFile:
        return true;
    default:
        return false;
    }
}

QJsonObject ChangeJournal::describeCommand(const Device *device, int code, const QVariantHash &args)
{
    QJsonObject entry;
    if (device) {
        const DeviceInfo info = device->deviceInfo();
        entry.insert(QStringLiteral("device_id"), clean(info.deviceId()));
        entry.insert(QStringLiteral("serial"), clean(info.serialNumber()));
    }
    const auto known = [device](int item) { return device ? device->data(item) : QVariant(); };
    const auto dose = [&known]() -> QJsonValue {
        const QVariant state = known(Device::ReadEnvironment);
        if (!state.canConvert<EnvironmentState>())
            return QJsonValue(QJsonValue::Null);
        return EnvironmentState::display(state.value<EnvironmentState>().dose);
    };
    switch (code) {
    case Device::WriteCalibration: {
        entry.insert(QStringLiteral("what"), QStringLiteral("calibration"));
        const QVariant old = known(Device::ReadCalibration);
        entry.insert(QStringLiteral("old"), old.isValid() ? QJsonValue(old.toDouble()) : QJsonValue());
        // What the device is sent: the coefficient in whole hundredths.
        entry.insert(QStringLiteral("new"),
                     hundredthsOf(args.value(QLatin1String(WriteCalibrationTask::kCoefficientKey)).toDouble(),
                                  0, WriteCalibrationTask::kMaxHundredths));
        break;
    }
    case Device::SetAggregateDose:
        entry.insert(QStringLiteral("what"), QStringLiteral("dose set"));
        entry.insert(QStringLiteral("old"), dose());
        entry.insert(QStringLiteral("new"),
                     hundredthsOf(args.value(QLatin1String(SetAggregateDoseTask::kValueKey)).toDouble(),
                                  std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()));
        entry.insert(QStringLiteral("seconds"),
                     qint64(args.value(QLatin1String(SetAggregateDoseTask::kTimeKey)).toUInt()));
        break;
    case Device::ResetAggregateDose:
        entry.insert(QStringLiteral("what"), QStringLiteral("dose reset"));
        entry.insert(QStringLiteral("old"), dose());
        entry.insert(QStringLiteral("new"), 0.0);
        break;
    case Device::ChangePassword:
        entry.insert(QStringLiteral("what"), QStringLiteral("password"));
        break;
    case Device::WriteFile: {
        entry.insert(QStringLiteral("what"), QStringLiteral("file written"));
        const QFileInfo file = args.value(QLatin1String(FileWriteTask::kFileInfoKey)).value<QFileInfo>();
        entry.insert(QStringLiteral("file"), FileWriteTask::deviceName(file.fileName()));
        entry.insert(QStringLiteral("size"), file.size());
        const QString sha = ChangeJournal::fileSha256(file.absoluteFilePath());
        entry.insert(QStringLiteral("sha256"), sha.isEmpty() ? QJsonValue() : QJsonValue(sha));
        break;
    }
    case Device::RemoveFile: {
        entry.insert(QStringLiteral("what"), QStringLiteral("file removed"));
        const FileDescriptor file
            = args.value(QLatin1String(FileRemoveTask::kFileDescriptorKey)).value<FileDescriptor>();
        entry.insert(QStringLiteral("file"), file.fileName());
        entry.insert(QStringLiteral("size"), qint64(file.size()));
        // The device keeps no checksum and reading the file first would double the work.
        entry.insert(QStringLiteral("sha256"), QJsonValue());
        break;
    }
    default:
        break;
    }
    return entry;
}

void ChangeJournal::setOutcome(QJsonObject *entry, const TaskResult &result)
{
    QString outcome;
    QString error;
    switch (result.code()) {
    case TaskResult::Successful:
        // Password-protected commands end well with false when the device refused the password;
        // a removal answers with the file name.
        if (result.dataId() == Device::RemoveFile)
            outcome = result.data().toString().isEmpty() ? QStringLiteral("failed") : QStringLiteral("accepted");
        else
            outcome = result.data().toBool() ? QStringLiteral("accepted") : QStringLiteral("refused");
        if (outcome == QLatin1String("refused"))
            error = QStringLiteral("refused by the device");
        else if (outcome == QLatin1String("failed"))
            error = QStringLiteral("no answer understood");
        break;
    case TaskResult::Refused:
        outcome = QStringLiteral("refused");
        error = result.message();
        break;
    case TaskResult::Canceled:
        outcome = QStringLiteral("canceled");
        error = QStringLiteral("canceled before the device answered");
        break;
    case TaskResult::TimedOut:
        outcome = QStringLiteral("failed");
        error = QStringLiteral("no answer in time");
        break;
    case TaskResult::Aborted:
        outcome = QStringLiteral("failed");
        error = result.message().isEmpty() ? QStringLiteral("the link to the device failed")
                                           : result.message();
        break;
    default:
        outcome = QStringLiteral("failed");
        error = QStringLiteral("the device reported an error or answered badly");
        break;
    }
    entry->insert(QStringLiteral("result"), outcome);
    if (!error.isEmpty())
        entry->insert(QStringLiteral("error"), error);
}

void ChangeJournal::follow(Device *device, CommandHandle *handle, int code, const QVariantHash &args)
{
    QJsonObject entry = describeCommand(device, code, args);
    QPointer<Device> source(device);
    const auto write = [this, source](QJsonObject line, const TaskResult &result) {
        // varnoctl may learn the identity only while the command waits in the queue.
        if (source && line.value(QStringLiteral("serial")).toString().isEmpty()) {
            line.insert(QStringLiteral("device_id"), clean(source->deviceInfo().deviceId()));
            line.insert(QStringLiteral("serial"), clean(source->deviceInfo().serialNumber()));
        }
        setOutcome(&line, result);
        append(line);
    };
    if (!handle) {
        write(entry, TaskResult(QString(), QVariant(), TaskResult::Aborted, code,
                                QStringLiteral("the device does not take commands any more")));
        return;
    }
    connect(handle, &CommandHandle::finished, this,
            [write, entry](const TaskResult &result) { write(entry, result); });
}

bool ChangeJournal::append(const QJsonObject &entry)
{
    QJsonObject line;
    line.insert(QStringLiteral("time"),
                QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    line.insert(QStringLiteral("program"), QCoreApplication::applicationName());
    line.insert(QStringLiteral("program_version"), QStringLiteral(VARNO_VERSION));
    for (auto it = entry.constBegin(); it != entry.constEnd(); ++it)
        line.insert(it.key(), it.value());

    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        VWARN << "Journal: cannot create " << info.absolutePath();
        return false;
    }
    QFile file(m_path);
    // One write per line in append mode: the program and varnoctl may journal at the same time.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        VWARN << "Journal: cannot open " << m_path << ": " << file.errorString();
        return false;
    }
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    if (!written)
        VWARN << "Journal: cannot write " << m_path << ": " << file.errorString();
    return written;
}

bool ChangeJournal::read(const QString &path, const QString &serial, QList<QJsonObject> *entries,
                         QString *error)
{
    entries->clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject())
            continue;
        const QJsonObject entry = document.object();
        if (!serial.isEmpty() && entry.value(QStringLiteral("serial")).toString() != serial)
            continue;
        entries->append(entry);
    }
    return true;
}

QString ChangeJournal::format(const QJsonObject &entry)
{
    const auto text = [&entry](const char *key) { return entry.value(QLatin1String(key)).toString(); };
    QString detail;
    if (entry.contains(QStringLiteral("file"))) {
        detail = QStringLiteral("%1 %2 bytes").arg(text("file")).arg(qint64(entry.value(QStringLiteral("size")).toDouble()));
        if (!text("sha256").isEmpty())
            detail += QStringLiteral(" sha256 ") + text("sha256");
    } else if (entry.contains(QStringLiteral("new"))) {
        detail = QStringLiteral("%1 -> %2")
                     .arg(valueText(entry.value(QStringLiteral("old"))),
                          valueText(entry.value(QStringLiteral("new"))));
        if (entry.contains(QStringLiteral("seconds")))
            detail += QStringLiteral(" over %1 s").arg(qint64(entry.value(QStringLiteral("seconds")).toDouble()));
    }
    QString outcome = text("result");
    if (!text("error").isEmpty())
        outcome += QStringLiteral(" (%1)").arg(text("error"));
    QStringList parts { text("time"), text("serial").isEmpty() ? QStringLiteral("-") : text("serial"),
                        text("what") };
    if (!detail.isEmpty())
        parts << detail;
    parts << outcome;
    return parts.join(QStringLiteral("  "));
}

QString ChangeJournal::fileSha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}
