#pragma once

#include "tasks/filedescriptor.h"
#include "tasks/taskresult.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>

class CommandHandle;
class Device;
class HistoryConverter;

// Fetches the monitor's statistics and turns them into a history database: learns the monitor's
// identity and calibration when they are not known yet, lists the device's files, reads the time
// index and then the values into a folder of their own beside the history (named after the UTC
// start and the serial number, never reused), converts them on the converter's thread, writes the
// provenance table into the history and checks the result. One finished() ends every run,
// whatever happened; the History page and varnoctl both drive it.
class HistoryDownload : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Identifying, Listing, ReadingIndex, ReadingValues, Converting, Succeeded, Failed, Canceled };
    Q_ENUM(State)

    enum class Error {
        None,
        NoDevice, // no device given, or it went away
        Folder, // the folder for the statistics cannot be made
        Identity, // the monitor's identity could not be read
        List, // the files could not be listed
        Missing, // a statistics file is not on the device
        Read, // a statistics file did not arrive whole
        Save, // a statistics file arrived but could not be saved here: the text names it, the folder and why
        Conversion, // the files arrived but gave no history
        Canceled,
    };
    Q_ENUM(Error)

    // What a removal of the monitor's statistics relies on: whether this download saved exactly
    // the files the monitor listed and wrote them whole into a history, and which files those were.
    struct Verification
    {
        bool verified = false;
        QString reason; // why not, in words
        QString serial;
        FileDescriptor indexFile;
        FileDescriptor valueFile;
    };

    explicit HistoryDownload(Device *device, QObject *parent = nullptr);
    ~HistoryDownload() override;

    // The folder the raw statistics files went to (made when the listing starts). A run that did
    // not succeed leaves none, or, when files had arrived, one renamed "<name>-incomplete" with a
    // note inside that says what failed (kIncompleteNote).
    QString rawFolder() const { return m_folder; }
    static constexpr const char *kIncompleteSuffix = "-incomplete";
    static constexpr const char *kIncompleteNote = "INCOMPLETE.txt";
    // Passed on to the converter: an exact database path, or the folder of a time-named one.
    void setOutputFile(const QString &path) { m_outputFile = path; }
    void setOutputDirectory(const QString &path) { m_outputDirectory = path; }

    // Starts a run; false when one ran already.
    bool start();
    // Stops at the next safe point: a running file command is canceled, a conversion under way
    // stops within a second and leaves no database. finished(Canceled) follows.
    void cancel();

    State state() const { return m_state; }
    bool isRunning() const;
    Error error() const { return m_error; }
    QString errorString() const { return m_errorString; }
    // The result code of the file command that failed; -1 when no command failed.
    int failedCode() const { return m_failedCode; }

    // After success: the new database, its time span and size.
    QString databasePath() const { return m_databasePath; }
    QDateTime startTime() const { return m_startTime; }
    QDateTime endTime() const { return m_endTime; }
    int rowCount() const { return m_rowCount; }
    // Readings of the repeated hour at the change from summer time that the history cannot keep.
    int repeatedHourLosses() const { return m_repeatedHourLosses; }
    // The device's files as listed by this run.
    QList<FileDescriptor> deviceFiles() const { return m_files; }
    // After success: what went into the provenance table, and the checks for a removal.
    QList<QPair<QString, QString>> provenance() const { return m_provenance; }
    Verification verification() const { return m_verification; }

    // "2026-12-08T11-30-05Z_SN-000123": the download's UTC start and the serial, safe as a name.
    static QString rawFolderName(const QDateTime &startedUtc, const QString &serial);

signals:
    void stateChanged(HistoryDownload::State state);
    void progress(const QString &text, int percent);
    void finished(HistoryDownload::Error error);

private:
    void setState(State state);
    // The command of one step, followed until its result goes on to next; cancel() stops it.
    void await(CommandHandle *handle, void (HistoryDownload::*next)(const TaskResult &));
    void OnIdentified(const TaskResult &result);
    void readCalibration();
    void OnCalibrationRead(const TaskResult &result);
    void list();
    bool makeRawFolder();
    // After a run that did not succeed: an empty folder goes, one with files is marked incomplete.
    void retireRawFolder(const QString &why);
    // The system's words for errno, as left by the call that just failed.
    static QString systemReason();
    QString historyDirectory() const;
    void OnListed(const TaskResult &result);
    void OnIndexRead(const TaskResult &result);
    void OnValuesRead(const TaskResult &result);
    void OnConverted();
    void recordProvenance(const HistoryConverter *converter);
    void verify();
    void readFile(const FileDescriptor &file, void (HistoryDownload::*next)(const TaskResult &));
    // A failed file command: the device's absence, a cancel, or the error given.
    void commandFailed(const TaskResult &result, Error error, const QString &text);
    void fail(Error error, const QString &text);
    void finish(State state, Error error, const QString &text);

    QPointer<Device> m_device;
    QPointer<CommandHandle> m_handle;
    QPointer<HistoryConverter> m_converter;
    State m_state = State::Idle;
    Error m_error = Error::None;
    QString m_errorString;
    bool m_cancelRequested = false;
    int m_failedCode = -1;

    QString m_folder;
    QString m_outputFile;
    QString m_outputDirectory;
    QDateTime m_startedUtc;
    QList<FileDescriptor> m_files;
    FileDescriptor m_indexFile;
    FileDescriptor m_valueFile;
    QString m_indexPath;
    QString m_valuePath;

    QString m_databasePath;
    QDateTime m_startTime;
    QDateTime m_endTime;
    int m_rowCount = 0;
    int m_repeatedHourLosses = 0;
    QList<QPair<QString, QString>> m_provenance;
    Verification m_verification;
};
