#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariantList>

#include <array>

class QDebug;

// One file on the device's file system, held as the 20 bytes the device describes it with:
// name (8, space padded), extension (3), size (4, big-endian), attributes (1), handle (4).
class FileDescriptor
{
public:
    static constexpr int kBytes = 20;
    static constexpr quint32 kNoHandle = 0xFFFFFFFF;
    static constexpr int kNameBytes = 8;
    static constexpr int kExtensionBytes = 3;
    static constexpr quint8 kItalicAttribute = 0x04;

    FileDescriptor();
    // Exactly 20 bytes are taken; anything else gives the default (invalid) descriptor.
    explicit FileDescriptor(const QByteArray &bytes);
    // Builds a record from its parts (name and extension cut to their fields, space padded).
    static FileDescriptor make(const QByteArray &name, const QByteArray &extension, quint32 size,
                               quint8 attributes, quint32 handle);
    // The valid file of a listing (ListFiles' result) with this name, letter case ignored; the
    // invalid descriptor when there is none.
    static FileDescriptor find(const QVariantList &listing, const QString &fileName);

    bool isValid() const { return handle() != kNoHandle; }
    QString fileName() const;
    QString name() const;
    QString extension() const;
    quint32 size() const;
    quint8 attributes() const { return quint8(m_bytes[15]); }
    quint32 handle() const;
    QByteArray toByteArray() const;

    bool operator==(const FileDescriptor &other) const { return m_bytes == other.m_bytes; }
    bool operator!=(const FileDescriptor &other) const { return !(*this == other); }

private:
    std::array<char, kBytes> m_bytes;
};

Q_DECLARE_METATYPE(FileDescriptor)

QDebug operator<<(QDebug debug, const FileDescriptor &file);
