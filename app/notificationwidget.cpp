#include "app/notificationwidget.h"

#include "app/endlessprogressbar.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVBoxLayout>

namespace {
const int kMarginPx = 16;
const int kWidthPx = 300;
}

NotificationWidget::NotificationWidget(QWidget *host, int displayMs, int fadeMs)
    : QFrame(host)
    , m_label(new QLabel(this))
    , m_bar(new QProgressBar(this))
    , m_endless(new EndlessProgressBar(this))
    , m_effect(new QGraphicsOpacityEffect(this))
    , m_fade(new QPropertyAnimation(m_effect, "opacity", this))
    , m_displayTimer(new QTimer(this))
    , m_fadeMs(fadeMs)
{
    setObjectName(QStringLiteral("NotificationWidget"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setFixedWidth(kWidthPx);

    // Texts may carry a device's name: never let them be read as markup.
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_bar->setRange(0, 100);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_bar);
    layout->addWidget(m_endless);
    m_bar->hide();
    m_endless->hide();

    m_effect->setOpacity(0.0);
    setGraphicsEffect(m_effect);
    connect(m_fade, &QPropertyAnimation::finished, this, &NotificationWidget::OnFadeFinished);

    m_displayTimer->setSingleShot(true);
    m_displayTimer->setInterval(displayMs);
    connect(m_displayTimer, &QTimer::timeout, this, &NotificationWidget::OnDisplayTimeOver);

    if (host)
        host->installEventFilter(this);
    hide();
}

QString NotificationWidget::text() const
{
    return m_label->text();
}

bool NotificationWidget::isEndless() const
{
    return m_progress && m_percent < 0;
}

qreal NotificationWidget::opacity() const
{
    return m_effect->opacity();
}

void NotificationWidget::showMessage(const QString &text)
{
    m_progress = false;
    m_bar->hide();
    m_endless->hide();
    appear(text);
}

void NotificationWidget::showProgress(const QString &text, int percent)
{
    m_progress = true;
    setPercent(percent);
    appear(text);
}

void NotificationWidget::updateProgress(int percent)
{
    setPercent(percent);
    if (m_fadingOut) {
        // Still running after all: bring it back instead of letting it go.
        m_fadingOut = false;
        m_fade->stop();
        m_fade->setStartValue(m_effect->opacity());
        m_fade->setEndValue(1.0);
        m_fade->start();
    }
    m_displayTimer->start();
}

void NotificationWidget::setPercent(int percent)
{
    m_percent = percent < 0 ? -1 : qMin(percent, 100);
    m_bar->setVisible(m_percent >= 0);
    m_endless->setVisible(m_percent < 0);
    if (m_percent >= 0)
        m_bar->setValue(m_percent);
    adjustSize();
    place();
}

void NotificationWidget::appear(const QString &text)
{
    m_label->setText(text);
    m_fadingOut = false;
    adjustSize();
    place();
    show();
    raise();
    m_fade->stop();
    if (m_fadeMs <= 0) {
        m_effect->setOpacity(1.0);
        m_displayTimer->start();
        return;
    }
    m_fade->setDuration(m_fadeMs);
    m_fade->setStartValue(m_effect->opacity());
    m_fade->setEndValue(1.0);
    m_fade->start();
    m_displayTimer->start();
}

void NotificationWidget::place()
{
    const QWidget *host = parentWidget();
    if (!host)
        return;
    move(qMax(0, host->width() - width() - kMarginPx), qMax(0, host->height() - height() - kMarginPx));
}

bool NotificationWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        place();
    return QFrame::eventFilter(watched, event);
}

void NotificationWidget::mousePressEvent(QMouseEvent *event)
{
    // A click sends the pop-up away early.
    event->accept();
    m_displayTimer->stop();
    OnDisplayTimeOver();
}

void NotificationWidget::OnDisplayTimeOver()
{
    if (m_fadingOut)
        return;
    m_fadingOut = true;
    m_fade->stop();
    if (m_fadeMs <= 0) {
        m_effect->setOpacity(0.0);
        OnFadeFinished();
        return;
    }
    m_fade->setDuration(m_fadeMs);
    m_fade->setStartValue(m_effect->opacity());
    m_fade->setEndValue(0.0);
    m_fade->start();
}

void NotificationWidget::OnFadeFinished()
{
    if (!m_fadingOut)
        return;
    hide();
    emit hidden();
}
