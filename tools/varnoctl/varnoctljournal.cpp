// varnoctl journal: the changes the program and varnoctl made to monitors, oldest first.

#include "tools/varnoctl/varnoctl.h"

#include "device/changejournal.h"
#include "device/device.h"

#include <QJsonArray>

bool Ctl::isJournalCommand() const
{
    return m_options.arguments.value(0) == QLatin1String("journal");
}

void Ctl::journal()
{
    if (m_options.arguments.size() != 1) {
        fail(ExitUsage, tr("usage: varnoctl journal [--serial S]"));
        return;
    }
    const QString path = ChangeJournal::instance()->path();
    QList<QJsonObject> entries;
    QString error;
    if (!ChangeJournal::read(path, m_options.serial, &entries, &error)) {
        fail(ExitFailed, tr("cannot read %1: %2").arg(path, error));
        return;
    }
    QJsonArray array;
    QStringList lines;
    for (const QJsonObject &entry : qAsConst(entries)) {
        array.append(entry);
        lines.append(ChangeJournal::format(entry));
    }
    succeed({ { QStringLiteral("journal"), path }, { QStringLiteral("entries"), array } },
            lines.isEmpty() ? tr("no changes journalled in %1").arg(path) : lines.join(QLatin1Char('\n')));
}

void Ctl::beforeChange(int oldValueItem, std::function<void()> next)
{
    // The journal names the monitor and the value it had, so both are read before the change.
    await(m_device->executeCommand(Device::ReadId), [this, oldValueItem, next](const TaskResult &r) {
        m_device->setDeviceInfo(r.data().value<DeviceInfo>());
        if (oldValueItem < 0) {
            next();
            return;
        }
        await(m_device->executeCommand(oldValueItem), [next](const TaskResult &) { next(); });
    });
}
