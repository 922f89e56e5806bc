#include "tasks/notificationhub.h"

#include "link/logging.h"

NotificationHub *NotificationHub::instance()
{
    static NotificationHub *hub = new NotificationHub();
    return hub;
}

NotificationHub::NotificationHub(QObject *parent)
    : QObject(parent)
{
}

void NotificationHub::OnMessageNotification(const QString &text)
{
    VLOG << "Notification: " << text;
    emit message(text);
}

void NotificationHub::OnProgressNotification(const QString &text, int percent)
{
    emit progress(text, percent);
}
