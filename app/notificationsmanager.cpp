#include "app/notificationsmanager.h"

#include "app/notificationwidget.h"
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
    if (host == m_host)
        return;
    dropPopups();
    m_host = host;
}

QWidget *NotificationsManager::host() const
{
    return m_host;
}

void NotificationsManager::setTimings(int displayMs, int fadeMs)
{
    m_displayMs = qMax(0, displayMs);
    m_fadeMs = qMax(0, fadeMs);
}

void NotificationsManager::OnMessageNotification(const QString &text)
{
    m_lastMessage = text;
    emit messageShown(text);
    post(Pending{text, -1, false});
}

void NotificationsManager::OnProgressNotification(const QString &text, int percent)
{
    emit progressShown(text, percent);
    post(Pending{text, percent, true});
}

void NotificationsManager::OnNotificationHidden()
{
    if (m_popup) {
        m_popup->hide();
        m_popup->deleteLater();
        m_popup = nullptr;
        emit popupHidden();
    }
    showNext();
}

void NotificationsManager::post(const Pending &notification)
{
    if (!m_host)
        return;
    if (notification.progress) {
        // Progress of the same work updates its pop-up instead of lining up behind it.
        if (m_popup && m_popup->isProgress() && m_popup->text() == notification.text) {
            m_popup->updateProgress(notification.percent);
            return;
        }
        for (Pending &waiting : m_queue) {
            if (waiting.progress && waiting.text == notification.text) {
                waiting.percent = notification.percent;
                return;
            }
        }
    }
    if (m_queue.size() >= kMaxQueued) {
        VWARN << "Too many notifications waiting, dropped " << m_queue.head().text;
        m_queue.dequeue();
    }
    m_queue.enqueue(notification);
    if (!m_popup)
        showNext();
}

void NotificationsManager::showNext()
{
    if (m_popup || !m_host || m_queue.isEmpty())
        return;
    const Pending next = m_queue.dequeue();
    m_popup = new NotificationWidget(m_host, m_displayMs, m_fadeMs);
    connect(m_popup.data(), &NotificationWidget::hidden, this,
            &NotificationsManager::OnNotificationHidden);
    if (next.progress)
        m_popup->showProgress(next.text, next.percent);
    else
        m_popup->showMessage(next.text);
    emit popupShown(next.text);
}

void NotificationsManager::dropPopups()
{
    m_queue.clear();
    if (m_popup) {
        // The widget belongs to the old host; it must not report back after this.
        m_popup->disconnect(this);
        delete m_popup;
        m_popup = nullptr;
    }
}

NotificationWidget *NotificationsManager::currentPopup() const
{
    return m_popup;
}
