#include "tasks/filedescriptor.h"

#include <QDebug>
#include <QtEndian>

#include <cstring>

namespace {
constexpr int kSizeOffset = 11;
constexpr int kAttributesOffset = 15;
constexpr int kHandleOffset = 16;

void registerFileDescriptor()
{
    qRegisterMetaType<FileDescriptor>("FileDescriptor");
    qRegisterMetaType<FileDescriptor>("FileDescriptorEx");
}
} // namespace

Q_CONSTRUCTOR_FUNCTION(registerFileDescriptor)

FileDescriptor::FileDescriptor()
{
    m_bytes.fill(0);
    qToBigEndian<quint32>(kNoHandle, m_bytes.data() + kHandleOffset);
}

FileDescriptor::FileDescriptor(const QByteArray &bytes)
    : FileDescriptor()
{
    if (bytes.size() == kBytes)
        std::memcpy(m_bytes.data(), bytes.constData(), kBytes);
}

FileDescriptor FileDescriptor::find(const QVariantList &listing, const QString &fileName)
{
    for (const QVariant &entry : listing) {
        const FileDescriptor file = entry.value<FileDescriptor>();
        if (file.isValid() && file.fileName().compare(fileName, Qt::CaseInsensitive) == 0)
            return file;
    }
    return FileDescriptor();
}

FileDescriptor FileDescriptor::make(const QByteArray &name, const QByteArray &extension,
                                    quint32 size, quint8 attributes, quint32 handle)
{
    FileDescriptor file;
    std::memset(file.m_bytes.data(), ' ', kNameBytes + kExtensionBytes);
    std::memcpy(file.m_bytes.data(), name.constData(), size_t(qMin(name.size(), kNameBytes)));
    std::memcpy(file.m_bytes.data() + kNameBytes, extension.constData(),
                size_t(qMin(extension.size(), kExtensionBytes)));
    qToBigEndian<quint32>(size, file.m_bytes.data() + kSizeOffset);
    file.m_bytes[kAttributesOffset] = char(attributes);
    qToBigEndian<quint32>(handle, file.m_bytes.data() + kHandleOffset);
    return file;
}

namespace {
// A field padded with spaces, or by some firmware with zero bytes.
QString fieldText(const char *data, int size)
{
    while (size > 0 && (data[size - 1] == 0 || data[size - 1] == ' '))
        --size;
    return QString::fromLocal8Bit(data, size).trimmed();
}
} // namespace

QString FileDescriptor::name() const
{
    return fieldText(m_bytes.data(), kNameBytes);
}

QString FileDescriptor::extension() const
{
    return fieldText(m_bytes.data() + kNameBytes, kExtensionBytes);
}

QString FileDescriptor::fileName() const
{
    return QStringLiteral("%1.%2").arg(name(), extension());
}

quint32 FileDescriptor::size() const
{
    return qFromBigEndian<quint32>(m_bytes.data() + kSizeOffset);
}

quint32 FileDescriptor::handle() const
{
    return qFromBigEndian<quint32>(m_bytes.data() + kHandleOffset);
}

QByteArray FileDescriptor::toByteArray() const
{
    return QByteArray(m_bytes.data(), kBytes);
}

QDebug operator<<(QDebug debug, const FileDescriptor &file)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "FileDescriptor: " << file.fileName() << " Attributes: " << Qt::hex
                    << uint(file.attributes()) << " Size: " << Qt::dec << file.size()
                    << " Handle: " << Qt::hex << file.handle();
    return debug;
}
