#pragma once

#include "tasks/devicetask.h"

#include <QFileInfo>

// Commands 0x44 then 0x42: creates a file on the device, then fills it from a local file.
class FileWriteTask : public DeviceTask
{
    Q_OBJECT
public:
    FileWriteTask(CommandTarget *device, const QFileInfo &file, quint8 attributes, QObject *parent = nullptr);

    static constexpr quint8 kCreateCommand = 0x44;
    static constexpr quint8 kCommand = 0x42;
    static constexpr int kTimeoutMs = 10000;
    static constexpr int kCreateRecordBytes = 16;
    static constexpr int kMaxPlainNameChars = 12;
    // The whole file travels in one message after the code and the handle, and the link carries
    // messages of at most 16 MiB.
    static constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024 - 5;
    static constexpr const char *kFileInfoKey = "file_info";
    static constexpr const char *kFileAttributesKey = "file_attributes";

    // The 16-byte create record for a local file name: name (8) and extension (3), upper case and
    // space padded, the attribute byte and the size.
    static QByteArray createRecord(const QString &fileName, quint8 attributes, quint32 size);
    // Our stand-in for the system's 8.3 short form of an over-long name: the first six usable
    // characters of the base, "~1", and the first three of the last extension.
    static QString shortName(const QString &fileName);
    // The name the device gets for a local file: its name in upper case, or the short form when
    // that is longer than 12 characters.
    static QString deviceName(const QString &fileName);

    int processData(const QByteArray &data) override;
    int frameCount() const { return m_frameCount; }

protected:
    bool sendRequest() override;
    void handleDataSent(int frames) override;

private:
    QFileInfo m_file;
    quint8 m_attributes;
    int m_frameCount = 0;
    int m_lastPercent = -1;
    bool m_dataSent = false;
};
