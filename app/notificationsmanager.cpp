#include "app/notificationsmanager.h"

#include "link/logging.h"

#include <QWidget>

NotificationsManager *NotificationsManager::instance()
{
    static NotificationsManager *manager = new NotificationsManager();
    return manager;
}

NotificationsManager::NotificationsManager(QObject *parent)
    : QObject(parent)
{
}

void NotificationsManager::registerObject(QObject *source)
{
    if (!source || m_sources.contains(source))
        return;
    m_sources.append(source);
    connect(source, &QObject::destroyed, this, [this](QObject *gone) { m_sources.removeAll(gone); });
}

void NotificationsManager::unregisterObject(QObject *source)
{
    m_sources.removeAll(source);
}

bool NotificationsManager::isRegistered(const QObject *source) const
{
    return m_sources.contains(const_cast<QObject *>(source));
}

void NotificationsManager::setHost(QWidget *host)
{
    m_host = host;
}

QWidget *NotificationsManager::host() const
{
    return m_host;
}

void NotificationsManager::OnMessageNotification(const QString &text)
{
    VLOG << "Notification: " << text;
    m_lastMessage = text;
    emit messageShown(text);
}

void NotificationsManager::OnProgressNotification(const QString &text, int percent)
{
    emit progressShown(text, percent);
}

void NotificationsManager::OnNotificationHidden()
{
}
