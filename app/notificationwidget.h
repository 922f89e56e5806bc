#pragma once

#include <QFrame>

class EndlessProgressBar;
class QGraphicsOpacityEffect;
class QLabel;
class QProgressBar;
class QPropertyAnimation;
class QTimer;

// One pop-up over the host window: a short text, optionally with a progress bar (a percentage or
// an endless bar). It fades in, stays for its display time and fades out, then reports hidden().
class NotificationWidget : public QFrame
{
    Q_OBJECT
public:
    NotificationWidget(QWidget *host, int displayMs, int fadeMs);

    void showMessage(const QString &text);
    // A negative percent shows the endless bar.
    void showProgress(const QString &text, int percent);
    // New figures for a progress pop-up that is on screen; its display time starts again.
    void updateProgress(int percent);

    bool isProgress() const { return m_progress; }
    QString text() const;
    int percent() const { return m_percent; }
    bool isEndless() const;
    bool isFading() const { return m_fadingOut; }
    qreal opacity() const;

    // Keeps the pop-up in the bottom right corner of its host.
    void place();

signals:
    void hidden();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private slots:
    void OnDisplayTimeOver();
    void OnFadeFinished();

private:
    void appear(const QString &text);
    void setPercent(int percent);

    QLabel *m_label = nullptr;
    QProgressBar *m_bar = nullptr;
    EndlessProgressBar *m_endless = nullptr;
    QGraphicsOpacityEffect *m_effect = nullptr;
    QPropertyAnimation *m_fade = nullptr;
    QTimer *m_displayTimer = nullptr;
    int m_fadeMs = 0;
    int m_percent = -1;
    bool m_progress = false;
    bool m_fadingOut = false;
};
