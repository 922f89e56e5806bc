#pragma once

#include "tasks/filedescriptor.h"
#include "tasks/taskresult.h"
#include "update/updatereplyparser.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class CommandHandle;
class Device;
class UpdateManager;

// Puts the newest firmware on a monitor: reads its identity when it is not known yet, asks the
// update server for the newest release for its hardware and platform, downloads and verifies the
// files, lists the monitor's files, removes those the new ones replace and writes the new ones.
// Each stage is a state; one finished() ends every run. A run can also begin with files already
// downloaded (setFiles), as the firmware dialog does after the software update dialog.
// The firmware dialog and varnoctl are views over it.
class FirmwareUpload : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Idle,
        Identifying,
        Searching,
        Downloading,
        Verifying,
        Listing,
        Confirming, // waits for proceed() before the first removal
        Removing,
        Writing,
        // Final states.
        Available, // check(): a newer release exists
        UpToDate, // the monitor runs the newest release already; nothing was changed
        Succeeded, // every new file is on the monitor
        Failed,
        Canceled,
    };
    Q_ENUM(State)

    enum class Error {
        None,
        NoDevice, // no device, or it went away or its link broke
        Identity, // the monitor's identity could not be read
        Server, // the update server could not be asked or answered badly
        NoRelease, // the server knows no release for this monitor
        Download, // a file could not be downloaded or did not match its checksum
        NoFiles, // nothing to upload
        BadFile, // a downloaded file is missing or changed since: detail() says how
        List, // the monitor's files could not be listed
        Remove, // a file could not be removed: failedFile(), failedCode()
        Write, // a file could not be written: failedFile(), failedCode()
        Canceled,
    };
    Q_ENUM(Error)

    // Attribute bytes the monitor expects on a new file, picked by the file's kind.
    static constexpr quint8 kSystemFileAttributes = 0x04;
    static constexpr quint8 kFirmwareImageAttributes = 0x80;

    explicit FirmwareUpload(Device *device, QObject *parent = nullptr);
    ~FirmwareUpload() override;

    // The update server; the configured one unless set.
    void setServerUrl(const QUrl &url) { m_serverUrl = url; }
    // Files already downloaded into the updates folder: start() begins by verifying them.
    void setFiles(const QList<UpdateFile> &files);
    // Stop in Confirming, before the first file is removed, until proceed() or cancel().
    void setConfirmRemoval(bool confirm) { m_confirmRemoval = confirm; }

    // Only looks for a newer release: ends in Available, UpToDate or Failed.
    bool check();
    // The whole upload. False when a run was started before.
    bool start();
    // Goes on from Confirming.
    void proceed();
    // Stops at the next safe point: a search or download at once, a removal or write only once
    // the device has answered it, so no file is left half written.
    void cancel();

    State state() const { return m_state; }
    bool isRunning() const;
    Error error() const { return m_error; }
    // A failed file (the device's name for a removal, the new file's name for a write or a bad
    // download), the result code of the failed command, and a reason in words where one exists.
    QString failedFile() const { return m_failedFile; }
    int failedCode() const { return m_failedCode; }
    QString detail() const { return m_detail; }
    // Whether any removal or write was sent to the device.
    bool deviceTouched() const { return m_touched; }

    QString currentVersion() const { return m_currentVersion; }
    QString newestVersion() const { return m_newest.version; }
    QList<UpdateFile> files() const { return m_files; }
    QList<FileDescriptor> filesToRemove() const { return m_filesToRemove; }

    // 4 for kinds 1 and 2, 0x80 for kind 0, -1 (no attribute given) for any other kind.
    static int attributesForKind(int kind);
    // Whether a device file stands for the same file as a new one: the names compared ignoring
    // case, also in the 8.3 form the new file gets on the device.
    static bool isSameFile(const QString &newFileName, const FileDescriptor &deviceFile);

signals:
    void stateChanged(FirmwareUpload::State state);
    // Removing and Writing: the file about to go (from 0) and how many there are.
    void step(int index, int count);
    void progress(const QString &text, int percent);
    void finished(FirmwareUpload::Error error);

private:
    void setState(State state);
    // The command of one step, followed until its result goes on to next; cancel() stops it.
    void await(CommandHandle *handle, void (FirmwareUpload::*next)(const TaskResult &));
    void OnIdentified(const TaskResult &result);
    void search();
    void OnManagerDone();
    void OnManagerFail();
    void verify();
    void OnListed(const TaskResult &result);
    void startRemoving();
    void removeNext();
    void OnRemoved(const TaskResult &result);
    void startWriting();
    void writeNext();
    void OnWritten(const TaskResult &result);
    void OnDeviceGone();
    // A file command that did not succeed: device gone, canceled, or error.
    void commandFailed(const TaskResult &result, Error error, const QString &file);
    bool stopIfCanceled();
    void fail(Error error, const QString &file = QString(), int code = -1, const QString &detail = QString());
    void finish(State state, Error error);

    QPointer<Device> m_device;
    QPointer<CommandHandle> m_handle;
    UpdateManager *m_manager = nullptr;
    QUrl m_serverUrl;
    QString m_downloading; // the file being downloaded
    bool m_checkOnly = false;
    bool m_filesGiven = false;
    bool m_confirmRemoval = false;
    bool m_cancelRequested = false;
    bool m_touched = false;
    State m_state = State::Idle;
    Error m_error = Error::None;
    QString m_failedFile;
    int m_failedCode = -1;
    QString m_detail;

    QString m_currentVersion;
    UpdateRelease m_newest;
    QList<UpdateFile> m_files;
    QList<FileDescriptor> m_filesToRemove;
    int m_removeIndex = 0;
    int m_writeIndex = 0;
};
