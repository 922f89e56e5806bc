#include "charts/graphtimeline.h"

#include "charts/chartscale.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

GraphTimeline::GraphTimeline(int orientation, QWidget *parent)
    : QWidget(parent)
    , m_orientation(orientation)
{
    qRegisterMetaType<ShowBox>();
}

void GraphTimeline::setTimeData(const QVector<double> *timeData)
{
    m_timeData = timeData;
    clamp();
    publish();
    update();
}

qint64 GraphTimeline::pointCount() const
{
    return m_timeData ? m_timeData->size() : 0;
}

void GraphTimeline::setWindow(qint64 first, qint64 length)
{
    m_box.first = first;
    setLength(length);
    clamp();
    publish();
    update();
}

void GraphTimeline::refresh()
{
    clamp();
    publish();
    update();
}

// The live chart hands back windowLength() with every new point; while there are fewer points than
// the wanted length that value is the clamped one, and taking it as the new wish would pin the
// window at the few points of the start of a measurement for good.
void GraphTimeline::setLength(qint64 length)
{
    if (length == m_box.length && m_box.length < m_wantedLength)
        return;
    m_wantedLength = qMax(length, kMinLength);
}

void GraphTimeline::clamp()
{
    const qint64 points = pointCount();
    m_box.length = m_wantedLength;
    if (m_box.first < 0)
        m_box.first = 0;
    // first + length may overflow for a first index near the 64-bit limit; compare without adding.
    if (m_box.first > points - m_box.length)
        m_box.first = points - m_box.length;
    if (m_box.first < 0) {
        m_box.first = 0;
        m_box.length = points;
    }
}

void GraphTimeline::publish()
{
    if (m_box == m_published)
        return;
    m_published = m_box;
    emit showBoxChanged(m_box);
}

double GraphTimeline::timeExtent() const
{
    return m_orientation == 0 ? width() : height();
}

double GraphTimeline::timePixel(double time) const
{
    const double first = m_timeData->first();
    const double last = m_timeData->last();
    return ChartScale::fraction(time, first, last) * timeExtent();
}

void GraphTimeline::centreOnPixel(double pixel)
{
    const qint64 points = pointCount();
    if (points == 0)
        return;
    const double value = ChartScale::valueAt(pixel, timeExtent(), m_timeData->first(),
                                             m_timeData->last());
    // Times ascend, so the first point at or after the value is found by bisection.
    const auto it = std::lower_bound(m_timeData->cbegin(), m_timeData->cend(), value);
    const qint64 index = qMin<qint64>(it - m_timeData->cbegin(), points - 1);
    m_box.first = index - m_box.length / 2;
    clamp();
    publish();
    update();
}

void GraphTimeline::mousePressEvent(QMouseEvent *event)
{
    centreOnPixel(m_orientation == 0 ? event->pos().x() : event->pos().y());
    event->accept();
}

void GraphTimeline::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() == Qt::NoButton)
        return;
    centreOnPixel(m_orientation == 0 ? event->pos().x() : event->pos().y());
    event->accept();
}

void GraphTimeline::wheelEvent(QWheelEvent *event)
{
    const qint64 points = pointCount();
    const qint64 centre = m_box.first + m_box.length / 2;
    const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    qint64 length = m_box.length;
    if (delta > 0)
        length = qMin(static_cast<qint64>(length * 1.1 + 1), points);
    else if (delta < 0)
        length = qMax(static_cast<qint64>(length / 1.1), kMinLength);
    if (delta != 0) {
        setLength(length);
        m_box.first = centre - m_wantedLength / 2;
        clamp();
        publish();
    }
    event->accept();
    update();
}

void GraphTimeline::paintEvent(QPaintEvent *)
{
    // The caller may have appended points since the last change of the window.
    clamp();
    QPainter painter(this);
    const QRectF area = rect();
    QLinearGradient background(area.topLeft(),
                               m_orientation == 0 ? area.bottomLeft() : area.topRight());
    background.setColorAt(0, m_baseColour.lighter(190));
    background.setColorAt(1, m_baseColour.lighter(150));
    painter.fillRect(area, background);

    if (pointCount() > 0 && m_box.length > 0) {
        const double from = timePixel(m_timeData->at(m_box.first));
        double to = timePixel(m_timeData->at(m_box.first + m_box.length - 1));
        if (m_timeData->first() == m_timeData->last())
            to = timeExtent();
        QRectF box = m_orientation == 0 ? QRectF(from, 0, qMax(to - from, 2.0), area.height() - 1)
                                        : QRectF(0, from, area.width() - 1, qMax(to - from, 2.0));
        QLinearGradient fill(box.topLeft(), m_orientation == 0 ? box.bottomLeft() : box.topRight());
        fill.setColorAt(0, m_baseColour.lighter(130));
        fill.setColorAt(1, m_baseColour);
        painter.setOpacity(0.8);
        painter.fillRect(box, fill);
        painter.setOpacity(1);
        painter.setPen(QPen(m_baseColour.darker(150), 1));
        painter.drawRect(box);
    }
    painter.end();
    // The chart areas follow whatever the strip shows.
    emit showBoxChanged(m_box);
    m_published = m_box;
}
