#pragma once

#include <QObject>
#include <QString>

// Where the core leaves short messages and progress for the user. It shows nothing itself: the
// program's main window connects it to its pop-ups; headless tools leave it unconnected, and then
// the messages are only logged.
class NotificationHub : public QObject
{
    Q_OBJECT
public:
    static NotificationHub *instance();

public slots:
    void OnMessageNotification(const QString &text);
    // A negative percent means there is no figure.
    void OnProgressNotification(const QString &text, int percent);

signals:
    void message(const QString &text);
    void progress(const QString &text, int percent);

private:
    explicit NotificationHub(QObject *parent = nullptr);
};
