#pragma once

#include "tasks/filedescriptor.h"
#include "update/firmwareupload.h"
#include "update/updatereplyparser.h"

#include <QDialog>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <memory>

namespace Ui {
class FirmwareUploadDialog;
}

// Replaces the firmware files on a connected monitor with downloaded ones: shows the stages of a
// FirmwareUpload (list the device's files, remove those named like a new file, write the new
// files one by one) and asks the user to begin. It finds the device by name in the device manager.
class FirmwareUploadDialog : public QDialog
{
    Q_OBJECT
public:
    enum Stage {
        Ready = 0,
        Removing = 1,
        Writing = 2,
        Succeeded = 3,
        Aborted = 4,
        // A removal, a write, the listing or a downloaded file failed: the upload stopped there and
        // the device keeps the files it has now.
        Failed = 5,
    };

    // Attribute bytes the monitor expects on a new file, picked by the file's kind.
    static constexpr quint8 kSystemFileAttributes = FirmwareUpload::kSystemFileAttributes;
    static constexpr quint8 kFirmwareImageAttributes = FirmwareUpload::kFirmwareImageAttributes;

    explicit FirmwareUploadDialog(QWidget *parent = nullptr);
    ~FirmwareUploadDialog() override;

    void setDevice(const QString &name);
    // The downloaded files, in the order they are written: names in the updates folder with their
    // kind, size and checksum as the update server gave them.
    void setFiles(const QList<UpdateFile> &files);

    QString deviceName() const { return m_deviceName; }
    QList<UpdateFile> files() const { return m_files; }
    int stage() const { return m_stage; }
    bool isSucceeded() const { return m_success; }
    bool isAborted() const { return m_aborted; }
    // What went wrong in the Failed stage, as the dialog shows it.
    QString failureText() const { return m_failureText; }

    // 4 for kinds 1 and 2, 0x80 for kind 0, -1 (no attribute given) for any other kind.
    static int attributesForKind(int kind) { return FirmwareUpload::attributesForKind(kind); }
    // Whether a device file stands for the same file as a new one: the names compared ignoring
    // case, also in the 8.3 form the new file gets on the device.
    static bool isSameFile(const QString &newFileName, const FileDescriptor &deviceFile)
    {
        return FirmwareUpload::isSameFile(newFileName, deviceFile);
    }
    FirmwareUpload *upload() const { return m_upload; }

signals:
    void stageChanged(int stage);

public slots:
    void dataUpdated(int id);
    void deviceRemoved();
    void aborted(int reason);
    void proceed();
    // Ignored while a command is under way: the upload cannot be left half done from here.
    void reject() override;

private:
    void OnUploadState(FirmwareUpload::State state);
    void OnUploadFinished(FirmwareUpload::Error error);
    void setStage(int stage);
    void showProgress(int done, int total);
    void fail(const QString &text);
    bool isFinished() const;
    bool isWorking() const;

    std::unique_ptr<Ui::FirmwareUploadDialog> ui;
    QString m_deviceName;
    bool m_success = false;
    bool m_aborted = false;
    int m_stage = Ready;
    QList<UpdateFile> m_files;
    QPointer<FirmwareUpload> m_upload;
    QString m_failureText;
    QMap<int, QString> m_titles;
    QMap<int, QString> m_descriptions;
};
