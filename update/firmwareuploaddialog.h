#pragma once

#include "tasks/filedescriptor.h"
#include "update/updatereplyparser.h"

#include <QDialog>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariant>

#include <memory>

namespace Ui {
class FirmwareUploadDialog;
}

class TaskResult;

// Replaces the firmware files on a connected monitor with downloaded ones: lists the device's
// files, removes those named like a new file (ignoring case), then writes the new files one by one.
// Every step looks the device up by name in the device manager; the dialog keeps no pointer to it.
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
    static constexpr quint8 kSystemFileAttributes = 0x04;
    static constexpr quint8 kFirmwareImageAttributes = 0x80;

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
    static int attributesForKind(int kind);
    // Whether a device file stands for the same file as a new one: the names compared ignoring
    // case, also in the 8.3 form the new file gets on the device.
    static bool isSameFile(const QString &newFileName, const FileDescriptor &deviceFile);

signals:
    void stageChanged(int stage);

public slots:
    void dataUpdated(int id);
    void deviceRemoved();
    void aborted(int reason);
    void proceed();
    // Ignored while a command is under way: the upload cannot be left half done from here.
    void reject() override;

private slots:
    void OnTaskComplete(const TaskResult &result);

private:
    void setStage(int stage);
    void showProgress(int done, int total);
    void fail(const QString &text);
    void commandFailed(int command, int code);
    bool isFinished() const;
    bool verifyFiles();
    bool sendCommand(int code, const QVariant &params);
    void listed(const QVariant &value);
    void removed(const QVariant &value);
    void written(const QVariant &value);
    void removeFile(int index);
    void startWriting();
    void writeFile(int index);

    std::unique_ptr<Ui::FirmwareUploadDialog> ui;
    QString m_deviceName;
    bool m_success = false;
    bool m_aborted = false;
    int m_stage = Ready;
    QList<UpdateFile> m_files;
    QList<FileDescriptor> m_filesToRemove;
    int m_removeIndex = 0;
    int m_writeIndex = 0;
    // The command whose result the upload waits for; -1 when none is under way.
    int m_pendingCommand = -1;
    QString m_failureText;
    QMap<int, QString> m_titles;
    QMap<int, QString> m_descriptions;
};
