#include "device/devicenotifier.h"

#include "device/runtimefolder.h"
#include "link/logging.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

bool varno::isAllowedDevice(const QString &name, const QVector<AllowedDeviceId> &allowed)
{
    for (const AllowedDeviceId &id : allowed) {
        if (name.contains(allowedDevicePattern(id.vid, id.pid), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool varno::isAllowedHardwareId(const QStringList &hardwareIds,
                                const QVector<AllowedDeviceId> &allowed)
{
    for (const QString &id : hardwareIds) {
        for (const AllowedDeviceId &pair : allowed) {
            const QString pattern = allowedDevicePattern(pair.vid, pair.pid);
            for (int at = id.indexOf(pattern, 0, Qt::CaseInsensitive); at >= 0;
                 at = id.indexOf(pattern, at + 1, Qt::CaseInsensitive)) {
                const int end = at + pattern.size();
                if (end == id.size() || id.at(end) == QLatin1Char('&')
                    || id.at(end) == QLatin1Char('\\'))
                    return true;
            }
        }
    }
    return false;
}

QString DeviceNotifier::usbIdName(const QString &vendorHex, const QString &productHex)
{
    bool vidOk = false;
    bool pidOk = false;
    const uint vid = vendorHex.trimmed().toUInt(&vidOk, 16);
    const uint pid = productHex.trimmed().toUInt(&pidOk, 16);
    if (!vidOk || !pidOk || vid > 0xFFFF || pid > 0xFFFF)
        return QString();
    return varno::allowedDevicePattern(quint16(vid), quint16(pid));
}

bool DeviceNotifier::simulatorsRequested()
{
    return varno::simulatorsRequested();
}

void DeviceNotifier::addAllowedDevice(quint16 vid, quint16 pid)
{
    m_allowed.append(AllowedDeviceId { vid, pid });
}

bool DeviceNotifier::isAllowed(const QString &name) const
{
    return varno::isAllowedDevice(name, m_allowed);
}

void DeviceNotifier::startNotify()
{
    if (m_notifying)
        return;
    m_notifying = true;
    startPlatform();
    startAttached();
}

void DeviceNotifier::stopNotify()
{
    if (!m_notifying)
        return;
    m_notifying = false;
    stopPlatform();
    delete m_dirWatcher;
    m_dirWatcher = nullptr;
    m_attachedEntries.clear();
    m_attachedNames.clear();
    qDeleteAll(m_pendingArrivals);
    m_pendingArrivals.clear();
}

QStringList DeviceNotifier::enumerateDevices()
{
    const QStringList found = enumeratePlatform() + enumerateAttached();
    for (const QString &name : found) {
        VLOG << "Allowed device " << name << " detected";
        emit deviceInserted(name);
    }
    return found;
}

void DeviceNotifier::startAttached()
{
    if (!simulatorsRequested())
        return;
    m_attachedDir = varno::attachedDevicesDir();
    if (m_attachedDir.isEmpty())
        return;
    // The simulators' folder is ours: create it so that it can be watched before the first one
    // comes.
    QString why;
    if (!RuntimeFolder::makePrivate(m_attachedDir, &why)) {
        VLOG << "Not watching the attached devices folder " << m_attachedDir << ": " << why;
        return;
    }
    m_dirWatcher = new QFileSystemWatcher(this);
    connect(m_dirWatcher, &QFileSystemWatcher::directoryChanged, this,
            &DeviceNotifier::OnAttachedDirChanged);
    if (!m_dirWatcher->addPath(m_attachedDir))
        VLOG << "Couldn't watch the attached devices folder " << m_attachedDir;
    m_attachedEntries = scanAttachedDir();
    // Named now: an announcement file removed later can no longer be read.
    for (const QString &entry : qAsConst(m_attachedEntries)) {
        const QString path = m_attachedDir + QLatin1Char('/') + entry;
        const QString name = attachedEntryName(path);
        if (!name.isEmpty())
            m_attachedNames.insert(path, name);
    }
}

QStringList DeviceNotifier::enumerateAttached()
{
    if (!simulatorsRequested())
        return QStringList();
    // The scan works before startNotify() too, as the first scan of a device list should.
    if (m_attachedDir.isEmpty())
        m_attachedDir = varno::attachedDevicesDir();
    const QSet<QString> entries = scanAttachedDir();
    if (m_notifying)
        m_attachedEntries = entries;
    QStringList links;
    for (const QString &entry : entries) {
        const QString path = m_attachedDir + QLatin1Char('/') + entry;
        if (isAllowed(path) && acceptAttached(path)) {
            const QString name = attachedEntryName(path);
            m_attachedNames.insert(path, name);
            links.append(name);
        }
    }
    links.sort();
    return links;
}

QSet<QString> DeviceNotifier::scanAttachedDir() const
{
    if (m_attachedDir.isEmpty())
        return QSet<QString>();
    const QFileInfo folder(m_attachedDir);
    if (!folder.exists() && !folder.isSymLink())
        return QSet<QString>();
    // Another user who could write here could plant links to anything: trust only a private folder.
    QString why;
    if (!RuntimeFolder::isPrivate(m_attachedDir, &why)) {
        VLOG << "Skipping the attached devices folder " << m_attachedDir << ": " << why;
        return QSet<QString>();
    }
    // System takes in links to character devices and dangling links.
    const QStringList names
        = QDir(m_attachedDir)
              .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    return QSet<QString>(names.cbegin(), names.cend());
}

bool DeviceNotifier::acceptAttached(const QString &path) const
{
    const QString problem = attachedEntryProblem(path);
    if (problem.isEmpty())
        return true;
    VLOG << "Skipping attached device " << path << ": " << problem;
    return false;
}

void DeviceNotifier::OnAttachedDirChanged()
{
    const QSet<QString> now = scanAttachedDir();
    QStringList gone = (m_attachedEntries - now).values();
    QStringList added = (now - m_attachedEntries).values();
    m_attachedEntries = now;
    gone.sort();
    added.sort();
    for (const QString &entry : qAsConst(gone)) {
        const QString path = m_attachedDir + QLatin1Char('/') + entry;
        // An entry that was there before the watch began was never named; a link still names
        // itself.
        QString name = m_attachedNames.take(path);
        if (name.isEmpty())
            name = attachedEntryName(path);
        if (isAllowed(path) && !name.isEmpty())
            reportRemoval(name);
    }
    for (const QString &entry : qAsConst(added)) {
        const QString path = m_attachedDir + QLatin1Char('/') + entry;
        if (isAllowed(path) && acceptAttached(path)) {
            const QString name = attachedEntryName(path);
            m_attachedNames.insert(path, name);
            scheduleArrival(name);
        }
    }
}

void DeviceNotifier::scheduleArrival(const QString &name)
{
    // Waiting in the event loop keeps the window alive while the port settles.
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(kArrivalSettleMs);
    connect(timer, &QTimer::timeout, this, [this, timer, name]() {
        m_pendingArrivals.remove(name, timer);
        timer->deleteLater();
        emit deviceInserted(name);
    });
    m_pendingArrivals.insert(name, timer);
    timer->start();
}

void DeviceNotifier::cancelArrivals(const QString &name)
{
    const QList<QTimer *> timers = m_pendingArrivals.values(name);
    m_pendingArrivals.remove(name);
    qDeleteAll(timers);
}

void DeviceNotifier::reportRemoval(const QString &name)
{
    // A device pulled out while its arrival still settles is never announced as present.
    cancelArrivals(name);
    emit deviceRemoved(name);
}
