#pragma once

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantHash>

class CommandHandle;
class Device;
class TaskResult;

// The journal of changes made to monitors: one JSON line per change command (calibration, dose,
// password, file written or removed) in "journal.jsonl" in the program's data folder, appended
// when the command has finished, whatever its outcome. The program and varnoctl both write it,
// through Device::executeCommand, so no change goes past it. The password itself never appears.
class ChangeJournal : public QObject
{
    Q_OBJECT
public:
    static inline const QString kFileName = QStringLiteral("journal.jsonl");

    static ChangeJournal *instance();

    // "journal.jsonl" in the program's data folder, whichever program writes it.
    static QString defaultPath();
    QString path() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }

    // Whether a command code changes something on the monitor.
    static bool isChange(int code);
    // The entry for a change command about to be queued: what, old and new value or the file, and
    // the monitor's identity as the device knows it now.
    static QJsonObject describeCommand(const Device *device, int code, const QVariantHash &args);
    // Completes an entry with the outcome: "accepted", "refused" (by the device or before it was
    // sent), "failed" or "canceled", and "error" in words for the last three.
    static void setOutcome(QJsonObject *entry, const TaskResult &result);

    // Journals the command once its handle reports; handle may be null (the command never got a
    // queue), which is journalled as failed at once.
    void follow(Device *device, CommandHandle *handle, int code, const QVariantHash &args);
    // Appends one line; false when the file cannot be written (logged).
    bool append(const QJsonObject &entry);

    // The entries of a journal file, oldest first, of one serial number when given. Lines that are
    // not JSON objects are skipped. False (with a reason) when the file exists but cannot be read;
    // a missing file is an empty journal.
    static bool read(const QString &path, const QString &serial, QList<QJsonObject> *entries,
                     QString *error = nullptr);
    // One line of text for people: time, serial, what, values, outcome.
    static QString format(const QJsonObject &entry);
    // The SHA-256 of a local file as lower-case hex; empty when it cannot be read.
    static QString fileSha256(const QString &path);

private:
    explicit ChangeJournal(QObject *parent = nullptr);
    QString m_path;
};
