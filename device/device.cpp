#include "device/device.h"

#include "device/changejournal.h"
#include "device/commandhandle.h"
#include "link/communicator.h"
#include "link/logging.h"
#include "link/serialport.h"
#include "tasks/changepasswordtask.h"
#include "tasks/filedescriptor.h"
#include "tasks/filereadtask.h"
#include "tasks/fileremovetask.h"
#include "tasks/fileslisttask.h"
#include "tasks/filewritetask.h"
#include "tasks/notificationhub.h"
#include "tasks/readcalibrationtask.h"
#include "tasks/readenvironmentstatetask.h"
#include "tasks/readidtask.h"
#include "tasks/readstatetask.h"
#include "tasks/resetaggregatedosetask.h"
#include "tasks/setaggregatedosetask.h"
#include "tasks/taskmanager.h"
#include "tasks/taskscheduler.h"
#include "tasks/writecalibrationtask.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>
#include <QTimerEvent>

#include <memory>

DataUpdateEvent::DataUpdateEvent(int item)
    : QEvent(eventType())
    , m_item(item)
{
}

QEvent::Type DataUpdateEvent::eventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

Device::Device(const QString &path, QObject *parent)
    : CommandTarget(parent)
{
    // The communicator takes the port over only once it exists; until then a failed open must not
    // leave the port object behind.
    auto port = std::make_unique<SerialPort>(path, kPortQueueBytes, kPortQueueBytes);
    m_communicator = new Communicator(port.get(), this);
    port.release();

    connect(m_communicator, &Communicator::userData, this, &Device::userDataReceived);
    connect(m_communicator, &Communicator::aborted, this, &Device::aborted);
    connect(m_communicator, &Communicator::dataSent, this, &Device::dataSent);
    connect(m_communicator, &Communicator::dataReceived, this, &Device::dataReceived);
    connect(m_communicator, &Communicator::messageDropped, this, &Device::messageDropped);
}

Device::~Device()
{
    setPolling(false);
    // Queued tasks hold a pointer to this device: they must not outlive it. The running one is
    // canceled without reporting back here.
    if (TaskScheduler *scheduler = TaskManager::instance()->scheduler(name()))
        disconnect(scheduler, nullptr, this, nullptr);
    TaskManager::removeScheduler(name());
    delete m_communicator;
    m_communicator = nullptr;
    m_items.clear();
}

QString Device::name() const
{
    return m_communicator ? m_communicator->PortName() : QString();
}

bool Device::isOrmelin(const QString &deviceId)
{
    return deviceId.contains(QLatin1String("DAV-180"), Qt::CaseSensitive);
}

QString Device::displayName() const
{
    return isOrmelin(m_info.deviceId()) ? tr("VARNO Ormelin") : tr("Unknown Device");
}

QString Device::platformOf(const QString &deviceId)
{
    const QStringList parts = deviceId.split(QLatin1Char('-'));
    if (parts.size() < 2)
        return QString();
    return parts.at(0) + QLatin1Char('-') + parts.at(1);
}

QString Device::platform() const
{
    const QString result = platformOf(m_info.deviceId());
    VLOG << "Platform " << result;
    return result;
}

void Device::setDeviceInfo(const DeviceInfo &info)
{
    m_info = info;
    VLOG << info;
    emit idChanged();
}

void Device::OnDeviceInfo(const DeviceInfo &info)
{
    m_info = info;
    emit idChanged();
}

void Device::OnDeviceState(const DeviceState &state)
{
    m_state = state;
    emit stateChanged(m_state);
}

CommandHandle *Device::executeCommand(int code, const QVariant &params)
{
    const QVariantHash args = params.toHash();
    const auto text = [&args](const char *key) { return args.value(QLatin1String(key)).toString(); };
    DeviceTask *task = nullptr;
    switch (code) {
    case ReadId:
        task = new ReadIDTask(this);
        break;
    case ReadState:
        task = new ReadStateTask(this);
        break;
    case ReadEnvironment:
        task = new ReadEnvironmentStateTask(this);
        break;
    case ResetAggregateDose:
        task = new ResetAggregateDoseTask(this, text(ResetAggregateDoseTask::kPasswordKey));
        break;
    case SetAggregateDose:
        task = new SetAggregateDoseTask(this,
            args.value(QLatin1String(SetAggregateDoseTask::kValueKey)).toDouble(),
            args.value(QLatin1String(SetAggregateDoseTask::kTimeKey)).toUInt(),
            text(SetAggregateDoseTask::kPasswordKey));
        break;
    case ReadCalibration:
        task = new ReadCalibrationTask(this);
        break;
    case WriteCalibration:
        task = new WriteCalibrationTask(this,
            args.value(QLatin1String(WriteCalibrationTask::kCoefficientKey)),
            text(WriteCalibrationTask::kPasswordKey));
        break;
    case ChangePassword:
        task = new ChangePasswordTask(this, text(ChangePasswordTask::kOldPasswordKey),
                                      text(ChangePasswordTask::kNewPasswordKey));
        break;
    case ListFiles:
        task = new FilesListTask(this);
        break;
    case ReadFile:
        task = new FileReadTask(this,
            args.value(QLatin1String(FileReadTask::kFileDescriptorKey)).value<FileDescriptor>(),
            text(FileReadTask::kFilePathKey));
        break;
    case WriteFile:
        task = new FileWriteTask(this,
            args.value(QLatin1String(FileWriteTask::kFileInfoKey)).value<QFileInfo>(),
            quint8(args.value(QLatin1String(FileWriteTask::kFileAttributesKey)).toUInt()));
        break;
    case RemoveFile:
        task = new FileRemoveTask(this,
            args.value(QLatin1String(FileRemoveTask::kFileDescriptorKey)).value<FileDescriptor>());
        break;
    default:
        return nullptr;
    }
    const TaskScheduler *scheduler = TaskManager::instance()->scheduler(name());
    CommandHandle *handle = nullptr;
    if (scheduler && scheduler->isClosed())
        delete task;
    else
        handle = new CommandHandle(task);
    // Every change to the monitor is journalled here, whoever asked for it and however it ends.
    if (ChangeJournal::isChange(code))
        ChangeJournal::instance()->follow(this, handle, code, args);
    if (handle && code == WriteCalibration)
        rememberCalibration(handle, args.value(QLatin1String(WriteCalibrationTask::kCoefficientKey)));
    return handle;
}

void Device::rememberCalibration(CommandHandle *handle, const QVariant &coefficient)
{
    // The calibration item then holds what the device has now, so the next change journals the
    // right old value. Without dataUpdated(): the General tab's box already shows it.
    qint64 hundredths = 0;
    if (!DeviceTask::toHundredths(coefficient.toDouble(), 0, WriteCalibrationTask::kMaxHundredths,
                                  &hundredths))
        return;
    const double written = double(hundredths) / 100.0;
    connect(handle, &CommandHandle::finished, this, [this, written](const TaskResult &result) {
        if (result.code() == TaskResult::Successful && result.data().toBool())
            m_items.insert(ReadCalibration, written);
    });
}

void Device::startPollTimer(int intervalMs)
{
    m_pollTimerId = startTimer(intervalMs, Qt::CoarseTimer);
    m_pollIntervalMs = intervalMs;
}

void Device::setPolling(bool on)
{
    if (on) {
        if (m_pollTimerId == -1)
            startPollTimer(kPollIntervalMs);
    } else if (m_pollTimerId != -1) {
        killTimer(m_pollTimerId);
        m_pollTimerId = -1;
    }
}

void Device::pollStateLater()
{
    if (m_pollTimerId == -1)
        startPollTimer(kBadStatePollIntervalMs);
}

void Device::abortCommunication()
{
    if (m_communicator)
        m_communicator->Abort();
}

void Device::timerEvent(QTimerEvent *e)
{
    if (e->timerId() != m_pollTimerId) {
        QObject::timerEvent(e);
        return;
    }
    // The timer repeats; one poll at a time, the next is armed when this one's result is in.
    setPolling(false);
    TaskManager::addTask(new ReadStateTask(this));
    e->accept();
}

void Device::OnReadStateResult(const QVariant &value)
{
    if (!value.isValid()) {
        VLOG << "Can't receive device state";
        return;
    }
    VLOG << "Device state received";
    const DeviceState state = value.value<DeviceState>();
    if (state.isEmpty()) {
        pollStateLater();
        return;
    }
    m_state = state;
    emit stateChanged(m_state);
    // A good reply ends the slow schedule, even one read outside the poll.
    if (m_pollTimerId != -1 && m_pollIntervalMs != kPollIntervalMs)
        setPolling(false);
    setPolling(true);
}

void Device::OnTaskComplete(const TaskResult &result)
{
    VLOG << "Thread: " << QThread::currentThread() << "> Task " << result.name() << "("
         << result.dataId() << ") complete with status " << result.code();
    if (result.code() == TaskResult::Successful)
        m_items.insert(result.dataId(), result.data());
    // Before dead(): whoever hears that may delete this device.
    emit taskFinished(result);
    switch (result.code()) {
    case TaskResult::Successful:
        QCoreApplication::postEvent(this, new DataUpdateEvent(result.dataId()));
        break;
    case TaskResult::Error:
        // A bad or missing state reply slows polling down to 10 s; only a dead link stops it.
        if (result.dataId() == ReadState)
            pollStateLater();
        // A local failure (a full disk) says so; "Task aborted" would blame the link.
        NotificationHub::instance()->OnMessageNotification(
                result.message().isEmpty() ? tr("Task aborted") : result.message());
        break;
    case TaskResult::Canceled:
        NotificationHub::instance()->OnMessageNotification(tr("Task aborted"));
        break;
    case TaskResult::Refused:
        NotificationHub::instance()->OnMessageNotification(result.message());
        break;
    case TaskResult::TimedOut:
        if (result.dataId() == ReadState)
            pollStateLater();
        NotificationHub::instance()->OnMessageNotification(tr("Timeout"));
        break;
    case TaskResult::Aborted:
        setPolling(false);
        emit dead();
        break;
    default:
        break;
    }
}

void Device::CommunicationFail()
{
    VWARN << this << " communication failure";
    setPolling(false);
    emit dead();
}

bool Device::event(QEvent *e)
{
    if (e->type() == DataUpdateEvent::eventType()) {
        const int item = static_cast<DataUpdateEvent *>(e)->item();
        VLOG << "Data ID (" << item << ") updated";
        if (item == ReadState)
            OnReadStateResult(m_items.value(item));
        emit dataUpdated(item);
        e->accept();
    }
    return QObject::event(e);
}
