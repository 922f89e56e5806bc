#include "app/endlessprogressbar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <QTimer>

EndlessProgressBar::EndlessProgressBar(QWidget *parent)
    : QWidget(parent)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(kStepIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &EndlessProgressBar::OnStep);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize EndlessProgressBar::sizeHint() const
{
    return QSize(200, 18);
}

QSize EndlessProgressBar::minimumSizeHint() const
{
    return QSize(40, 12);
}

bool EndlessProgressBar::isRunning() const
{
    return m_timer->isActive();
}

int EndlessProgressBar::blockWidth() const
{
    return qMax(8, width() / 4);
}

void EndlessProgressBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.setPen(palette().color(QPalette::Mid));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRoundedRect(frame, 3, 3);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::Highlight));
    painter.drawRoundedRect(QRect(m_offset, 2, blockWidth(), height() - 4), 2, 2);
}

void EndlessProgressBar::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_timer->start();
}

void EndlessProgressBar::hideEvent(QHideEvent *event)
{
    // Nothing to animate while nobody sees it.
    m_timer->stop();
    QWidget::hideEvent(event);
}

void EndlessProgressBar::OnStep()
{
    const int travel = qMax(0, width() - blockWidth());
    m_offset += m_direction * kStepPx;
    if (m_offset >= travel) {
        m_offset = travel;
        m_direction = -1;
    } else if (m_offset <= 0) {
        m_offset = 0;
        m_direction = 1;
    }
    update();
}
