#include "tools/devsim/simdevice.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>
#include <QtEndian>

namespace {

template<typename T>
void appendBig(QByteArray &out, T value)
{
    char bytes[sizeof(T)];
    qToBigEndian<T>(value, bytes);
    out.append(bytes, int(sizeof(T)));
}

template<typename T>
T readBig(const QByteArray &in, int offset)
{
    return qFromBigEndian<T>(in.constData() + offset);
}

// A name the host file system can take: anything outside a plain 8.3 alphabet becomes "_".
QString safeHostName(const QByteArray &name, const QByteArray &extension)
{
    const auto clean = [](const QByteArray &part) {
        QString out;
        for (char c : part) {
            const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
                || c == '_' || c == '-' || c == '~';
            out.append(plain ? QLatin1Char(c) : QLatin1Char('_'));
        }
        return out;
    };
    return clean(name.trimmed()) + QLatin1Char('.') + clean(extension.trimmed());
}

} // namespace

SimDevice::SimDevice(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
}

QByteArray SimDevice::identityReply() const
{
    QByteArray reply(1, char(0x00));
    reply.append(m_identity.deviceId.left(16).leftJustified(16, '\0'));
    reply.append(char(m_identity.hardwareMajor));
    reply.append(char(m_identity.hardwareMinor));
    reply.append(char(m_identity.firmwareMajor));
    reply.append(char(m_identity.firmwareMinor));
    reply.append(m_identity.guid.left(16).leftJustified(16, '\0'));
    reply.append(m_identity.processorId.left(12).leftJustified(12, '\0'));
    reply.append(m_identity.serialNumber);
    return reply;
}

QByteArray SimDevice::stateReply() const
{
    // The device's order: flags, battery, second flags, counter, power-on time, power cycles.
    QByteArray reply(1, char(0x03));
    reply.append(char(m_state.flags));
    reply.append(char(m_state.battery));
    reply.append(char(m_state.secondFlags));
    appendBig<quint32>(reply, m_state.counterLT);
    appendBig<quint32>(reply, m_state.powerOnTime + quint32(m_clock.elapsed() / 1000));
    appendBig<quint32>(reply, m_state.powerCycles);
    return reply;
}

QByteArray SimDevice::environmentReply() const
{
    const qint32 wobble = m_environment.fixed ? 0 : qint32((m_clock.elapsed() / 1000) % 5);
    const qint32 left = m_environment.left + wobble;
    const qint32 right = m_environment.right - wobble;
    QByteArray reply(1, char(0x20));
    appendBig<qint32>(reply, left);
    appendBig<qint32>(reply, right);
    appendBig<qint64>(reply, m_environment.dose);
    appendBig<qint32>(reply, qint32((qint64(left) + right) / 2));
    return reply;
}

bool SimDevice::checkPassword(const QByteArray &given) const
{
    return !m_faults.refusePasswords && given == m_password;
}

qint64 SimDevice::usedBytes() const
{
    qint64 used = 0;
    for (const SimFile &file : m_files)
        used += qMax<qint64>(file.declaredSize, file.data.size());
    return used;
}

quint32 SimDevice::addFile(const QString &fileName, const QByteArray &data, quint8 attributes)
{
    const QByteArray local = fileName.toUpper().toLocal8Bit();
    const int dot = local.lastIndexOf('.');
    SimFile file;
    file.name = dot >= 0 ? local.left(dot) : local;
    file.extension = dot >= 0 ? local.mid(dot + 1) : QByteArray();
    if (file.name.isEmpty() || file.name.size() > 8 || file.extension.size() > 3
        || m_files.size() >= kMaxFiles || usedBytes() + data.size() > kCapacityBytes)
        return kNoHandle;
    file.attributes = attributes;
    file.declaredSize = quint32(data.size());
    file.data = data;
    const quint32 handle = m_nextHandle++;
    m_files.insert(handle, file);
    return handle;
}

QByteArray SimDevice::listReply() const
{
    QByteArray reply(1, char(0x40));
    reply.append(char(quint8(m_files.size())));
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        const SimFile &file = it.value();
        reply.append(file.name.leftJustified(8, ' ', true));
        reply.append(file.extension.leftJustified(3, ' ', true));
        appendBig<quint32>(reply, quint32(file.data.size()));
        reply.append(char(file.attributes));
        appendBig<quint32>(reply, it.key());
    }
    return reply;
}

QByteArray SimDevice::readReply(const QByteArray &request) const
{
    QByteArray reply(1, char(0x41));
    if (request.size() != 5 || !m_files.contains(readBig<quint32>(request, 1))) {
        appendBig<qint32>(reply, 0);
        return reply;
    }
    const QByteArray &data = m_files.value(readBig<quint32>(request, 1)).data;
    appendBig<qint32>(reply, qint32(data.size()));
    reply.append(data);
    return reply;
}

QByteArray SimDevice::createReply(const QByteArray &request)
{
    QByteArray reply(1, char(0x44));
    if (request.size() != 17) {
        appendBig<quint32>(reply, kNoHandle);
        return reply;
    }
    SimFile file;
    file.name = request.mid(1, 8).trimmed();
    file.extension = request.mid(9, 3).trimmed();
    file.attributes = quint8(request.at(12));
    file.declaredSize = readBig<quint32>(request, 13);
    if (isRefused(file.name, file.extension)) {
        appendBig<quint32>(reply, kNoHandle);
        return reply;
    }
    // Creating an existing name replaces that file, as on the monitor.
    for (auto it = m_files.begin(); it != m_files.end();) {
        if (it->name == file.name && it->extension == file.extension)
            it = m_files.erase(it);
        else
            ++it;
    }
    if (file.name.isEmpty() || m_files.size() >= kMaxFiles
        || usedBytes() + file.declaredSize > kCapacityBytes) {
        appendBig<quint32>(reply, kNoHandle);
        return reply;
    }
    const quint32 handle = m_nextHandle++;
    m_files.insert(handle, file);
    appendBig<quint32>(reply, handle);
    return reply;
}

QByteArray SimDevice::writeReply(const QByteArray &request)
{
    if (request.size() < 5)
        return status(0x42, false);
    const quint32 handle = readBig<quint32>(request, 1);
    auto it = m_files.find(handle);
    if (it == m_files.end())
        return status(0x42, false);
    const QByteArray data = request.mid(5);
    if (quint32(data.size()) > it->declaredSize)
        return status(0x42, false);
    it->data = data;
    return status(0x42, true);
}

QByteArray SimDevice::removeReply(const QByteArray &request)
{
    QByteArray reply(1, char(0x43));
    if (request.size() != 5 || !m_files.contains(readBig<quint32>(request, 1))) {
        appendBig<quint32>(reply, kNoHandle);
        return reply;
    }
    const quint32 handle = readBig<quint32>(request, 1);
    const SimFile file = m_files.value(handle);
    if (isRefused(file.name, file.extension)) {
        appendBig<quint32>(reply, kNoHandle);
        return reply;
    }
    m_files.remove(handle);
    appendBig<quint32>(reply, handle);
    return reply;
}

bool SimDevice::isRefused(const QByteArray &name, const QByteArray &extension) const
{
    const QByteArray fileName = (name.trimmed() + '.' + extension.trimmed()).toUpper();
    return m_faults.refusedFiles.contains(fileName);
}

QByteArray SimDevice::reply(const QByteArray &request)
{
    const quint8 code = quint8(request.at(0));
    const auto lengthOk = [&request](int offset, int length) { return request.size() == offset + length; };
    switch (code) {
    case 0x00:
        return identityReply();
    case 0x03:
        return stateReply();
    case 0x20:
        return environmentReply();
    case 0x22: {
        if (request.size() < 2)
            return status(code, false);
        const int length = quint8(request.at(1));
        if (!lengthOk(2, length) || !checkPassword(request.mid(2, length)))
            return status(code, false);
        m_environment.dose = 0;
        m_doseTime = 0;
        return status(code, true);
    }
    case 0x23: {
        if (request.size() < 14)
            return status(code, false);
        const int length = quint8(request.at(1));
        if (!lengthOk(14, length) || !checkPassword(request.mid(14, length)))
            return status(code, false);
        m_environment.dose = readBig<qint64>(request, 2);
        m_doseTime = readBig<quint32>(request, 10);
        return status(code, true);
    }
    case 0x30: {
        QByteArray reply(1, char(code));
        appendBig<quint16>(reply, m_calibration);
        return reply;
    }
    case 0x31: {
        if (request.size() < 4)
            return status(code, false);
        const int length = quint8(request.at(1));
        if (!lengthOk(4, length) || !checkPassword(request.mid(4, length)))
            return status(code, false);
        m_calibration = readBig<quint16>(request, 2);
        return status(code, true);
    }
    case 0x32: {
        if (request.size() < 3)
            return status(code, false);
        const int oldLength = quint8(request.at(1));
        const int newLength = quint8(request.at(2));
        if (!lengthOk(3, oldLength + newLength) || !checkPassword(request.mid(3, oldLength)))
            return status(code, false);
        m_password = request.mid(3 + oldLength, newLength);
        return status(code, true);
    }
    case 0x40:
        return listReply();
    case 0x41:
        return readReply(request);
    case 0x42:
        return writeReply(request);
    case 0x43:
        return removeReply(request);
    case 0x44:
        return createReply(request);
    default:
        return QByteArray();
    }
}

QByteArray SimDevice::handle(const QByteArray &request)
{
    if (request.isEmpty())
        return QByteArray();
    QByteArray answer = reply(request);
    if (!answer.isEmpty() && quint8(request.at(0)) == m_faults.wrongLengthCode) {
        if (m_faults.wrongLengthBy < 0)
            answer.chop(qMin(-m_faults.wrongLengthBy, answer.size() - 1));
        else
            answer.append(QByteArray(m_faults.wrongLengthBy, '\0'));
    }
    return answer;
}

bool SimDevice::dump(const QString &folder) const
{
    if (!QDir().mkpath(folder))
        return false;
    bool ok = true;
    QString index;
    QTextStream list(&index);
    for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
        const QString name = safeHostName(it->name, it->extension);
        QSaveFile out(folder + QLatin1Char('/') + name);
        if (!out.open(QIODevice::WriteOnly) || out.write(it->data) != it->data.size() || !out.commit())
            ok = false;
        list << name << ' ' << it->data.size() << ' ' << it->attributes << ' ' << it.key() << '\n';
    }
    list.flush();
    QSaveFile indexFile(folder + QStringLiteral("/filesystem.lst"));
    if (!indexFile.open(QIODevice::WriteOnly) || indexFile.write(index.toUtf8()) < 0 || !indexFile.commit())
        ok = false;
    return ok;
}

QByteArray SimDevice::generatedTimeIndex(int blocks, int valuesPerBlock)
{
    // Blocks a day apart (times in seconds since 2012-01-01), one value every 10 s.
    constexpr quint32 kFirstBlockStart = 132570000; // 2016-03-14 09:00:00
    constexpr quint32 kDaySeconds = 86400;
    QByteArray index;
    for (int b = 0; b < blocks; ++b) {
        index.append(char(0x80));
        appendBig<quint32>(index, kFirstBlockStart + quint32(b) * kDaySeconds);
        appendBig<quint32>(index, quint32(b * valuesPerBlock * 2));
    }
    return index;
}

QByteArray SimDevice::generatedValues(int blocks, int valuesPerBlock)
{
    // Value words: mantissa in bits 0-9, decimal exponent in bits 10-11. Readings between 0.10
    // and 1.09 with exponent 2, a slow saw tooth so that charts show something.
    QByteArray values;
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < valuesPerBlock; ++i) {
            const quint16 mantissa = quint16(10 + (i * 7 + b * 13) % 100);
            appendBig<quint16>(values, quint16((2u << 10) | mantissa));
        }
    }
    return values;
}
