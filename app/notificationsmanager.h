#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>

class NotificationWidget;
class QWidget;

// The pop-ups of the program. The main window connects the core's NotificationHub to it and makes
// itself the host the pop-ups appear over; the history page registers with it.
// Pop-ups show one at a time in the host's corner and fade in and out; the rest wait in a queue.
// Without a host nothing is shown (the hub has logged the message already).
class NotificationsManager : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDisplayMs = 3000;
    static constexpr int kFadeMs = 300;
    // A flood of messages must not keep the user watching pop-ups for minutes.
    static constexpr int kMaxQueued = 20;

    static NotificationsManager *instance();

    void registerObject(QObject *source);
    void unregisterObject(QObject *source);
    bool isRegistered(const QObject *source) const;
    // A new host drops the pop-up on screen and the waiting ones.
    void setHost(QWidget *host);
    QWidget *host() const;

    QString lastMessage() const { return m_lastMessage; }

    // The pop-up on screen, or null.
    NotificationWidget *currentPopup() const;
    int queuedCount() const { return m_queue.size(); }
    void setTimings(int displayMs, int fadeMs);

public slots:
    void OnMessageNotification(const QString &text);
    // A negative percent means there is no figure: the pop-up shows an endless bar.
    void OnProgressNotification(const QString &text, int percent);
    // The pop-up on screen has gone: show the next one.
    void OnNotificationHidden();

signals:
    void messageShown(const QString &text);
    void progressShown(const QString &text, int percent);
    void popupShown(const QString &text);
    void popupHidden();

private:
    struct Pending
    {
        QString text;
        int percent = -1;
        bool progress = false;
    };

    explicit NotificationsManager(QObject *parent = nullptr);

    void post(const Pending &notification);
    void showNext();
    void dropPopups();

    QList<QObject *> m_sources;
    QPointer<QWidget> m_host;
    QPointer<NotificationWidget> m_popup;
    QQueue<Pending> m_queue;
    QString m_lastMessage;
    int m_displayMs = kDisplayMs;
    int m_fadeMs = kFadeMs;
};
