#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// The one place where short messages and progress reports reach the user. Devices, schedulers and
// the history page register with it; the main window makes itself the host the pop-ups appear over.
// Without a host (command-line tools, tests) notifications are only logged.
class NotificationsManager : public QObject
{
    Q_OBJECT
public:
    static NotificationsManager *instance();

    void registerObject(QObject *source);
    void unregisterObject(QObject *source);
    bool isRegistered(const QObject *source) const;
    void setHost(QWidget *host);
    QWidget *host() const;

    QString lastMessage() const { return m_lastMessage; }

public slots:
    void OnMessageNotification(const QString &text);
    void OnProgressNotification(const QString &text, int percent);
    void OnNotificationHidden();

signals:
    void messageShown(const QString &text);
    void progressShown(const QString &text, int percent);

private:
    explicit NotificationsManager(QObject *parent = nullptr);

    QList<QObject *> m_sources;
    QPointer<QWidget> m_host;
    QString m_lastMessage;
};
