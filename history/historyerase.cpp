#include "history/historyerase.h"

#include "device/commandhandle.h"
#include "device/device.h"
#include "history/historyformat.h"
#include "tasks/filedescriptor.h"
#include "tasks/fileremovetask.h"

#include <QTimer>
#include <QVariantHash>

HistoryErase::HistoryErase(Device *device, const HistoryDownload::Verification &download, QObject *parent)
    : QObject(parent)
    , m_device(device)
    , m_download(download)
{
}

HistoryErase::~HistoryErase()
{
    if (m_handle) {
        disconnect(m_handle, nullptr, this, nullptr);
        m_handle->cancel();
    }
}

void HistoryErase::start()
{
    QTimer::singleShot(0, this, [this] {
        if (!m_download.verified) {
            finish(false, m_download.reason.isEmpty()
                              ? tr("the statistics have not been downloaded and verified yet")
                              : tr("the last download was not verified: %1").arg(m_download.reason));
            return;
        }
        const QString serial
            = m_device ? m_device->deviceInfo().serialNumber().remove(QChar(0)).trimmed() : QString();
        if (!m_device) {
            finish(false, tr("no device is connected"));
            return;
        }
        if (serial != m_download.serial) {
            finish(false, tr("the statistics were downloaded from another monitor (%1)").arg(m_download.serial));
            return;
        }
        m_handle = follow(m_device->executeCommand(Device::ListFiles), this, &HistoryErase::OnListed);
        if (!m_handle)
            finish(false, tr("the device does not take commands any more"));
    });
}

void HistoryErase::OnListed(const TaskResult &result)
{
    m_handle = nullptr;
    if (result.code() != TaskResult::Successful) {
        m_failedCode = result.code();
        finish(false, tr("the files on the device could not be listed"));
        return;
    }
    const QVariantList listing = result.data().toList();
    const FileDescriptor index = FileDescriptor::find(listing, HistoryFormat::kIndexFileName);
    const FileDescriptor values = FileDescriptor::find(listing, HistoryFormat::kValueFileName);
    if (!index.isValid()) {
        finish(false, tr("there is no %1 on the device").arg(HistoryFormat::kIndexFileName.toUpper()));
        return;
    }
    const auto same = [](const FileDescriptor &a, const FileDescriptor &b) {
        return a.isValid() && b.isValid() && a.size() == b.size() && a.handle() == b.handle();
    };
    if (!same(index, m_download.indexFile) || !same(values, m_download.valueFile)) {
        finish(false, tr("the statistics on the monitor changed since the download; download them again"));
        return;
    }
    QVariantHash params;
    params.insert(QLatin1String(FileRemoveTask::kFileDescriptorKey), QVariant::fromValue(index));
    m_handle = follow(m_device ? m_device->executeCommand(Device::RemoveFile, params) : nullptr, this,
                      &HistoryErase::OnRemoved);
    if (!m_handle)
        finish(false, tr("the device does not take commands any more"));
}

void HistoryErase::OnRemoved(const TaskResult &result)
{
    m_handle = nullptr;
    if (result.code() != TaskResult::Successful || result.data().toString().isEmpty()) {
        m_failedCode = result.code();
        finish(false, tr("the device did not remove %1").arg(HistoryFormat::kIndexFileName.toUpper()));
        return;
    }
    finish(true, QString());
}

void HistoryErase::finish(bool removed, const QString &reason)
{
    if (m_done)
        return;
    m_done = true;
    m_removed = removed;
    m_reason = reason;
    emit finished(removed);
}
