#include "charts/hystogramtimeline.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// Extra seconds the highlight covers beyond the window's last record: one record's width.
constexpr double kRecordSeconds = 10;
constexpr qint64 kMSecsPerDay = 86400000;
// Zones change their offset on the hour or the half hour.
constexpr qint64 kOffsetBlockMSecs = 1800000;

// Milliseconds since the epoch of every point. A local time's offset from UTC takes a time zone
// lookup (a file check in the C library each time); records lie close together, so the offset is
// looked up once per half hour of wall-clock time and reused for the records inside it.
QVector<qint64> epochMSecs(const HystogramPoints &points)
{
    QVector<qint64> result(points.size());
    qint64 cachedBlock = std::numeric_limits<qint64>::min();
    qint64 cachedOffset = 0;
    for (int i = 0; i < points.size(); ++i) {
        const QDateTime &time = points.at(i).time;
        if (!time.isValid()) {
            result[i] = i > 0 ? result.at(i - 1) : 0;
            continue;
        }
        const qint64 wall = time.date().toJulianDay() * kMSecsPerDay
            + time.time().msecsSinceStartOfDay();
        const qint64 block = wall / kOffsetBlockMSecs;
        if (block != cachedBlock) {
            cachedBlock = block;
            cachedOffset = time.toMSecsSinceEpoch() - wall;
        }
        result[i] = wall + cachedOffset;
    }
    return result;
}
}

HystogramTimeline::HystogramTimeline(QWidget *parent)
    : QWidget(parent)
{
}

void HystogramTimeline::setData(const HystogramPoints &points)
{
    m_points = points;
    m_offsets = epochMSecs(m_points);
    const qint64 origin = m_offsets.isEmpty() ? 0 : m_offsets.first();
    for (qint64 &offset : m_offsets)
        offset = (offset - origin) / 1000;
    m_start = 0;
    m_length = kDefaultLength;
    m_spanSeconds = m_offsets.isEmpty() ? 0 : m_offsets.last();
    m_columnsValid = false;
    // A short list gets a window of its own size; otherwise the chart would offer to scroll on.
    limit();
    changed();
}

void HystogramTimeline::limit()
{
    const qint64 count = m_points.size();
    if (m_length > count)
        m_length = count;
    if (m_length < 0)
        m_length = 0;
    if (m_start < 0)
        m_start = 0;
    if (m_start > count - m_length)
        m_start = count - m_length;
}

HystogramPoints HystogramTimeline::visiblePoints()
{
    limit();
    m_canGoEarlier = m_start > 0;
    m_canGoLater = m_start + m_length < m_points.size();
    return m_points.mid(static_cast<int>(m_start), static_cast<int>(m_length));
}

void HystogramTimeline::changed()
{
    m_canGoEarlier = m_start > 0;
    m_canGoLater = m_start + m_length < m_points.size();
    update();
    notify();
}

void HystogramTimeline::stepEarlier()
{
    --m_start;
    limit();
    changed();
}

void HystogramTimeline::stepLater()
{
    ++m_start;
    limit();
    changed();
}

void HystogramTimeline::centreOnPixel(int x)
{
    if (m_points.isEmpty() || width() <= 0)
        return;
    const double seconds = static_cast<double>(x) * m_spanSeconds / width();
    // Records are kept in time order, but a hostile file need not be: take the first match.
    const auto it = std::find_if(m_offsets.cbegin(), m_offsets.cend(),
                                 [seconds](qint64 offset) { return offset >= seconds; });
    const qint64 index = it == m_offsets.cend() ? m_offsets.size() - 1 : it - m_offsets.cbegin();
    m_start = index - m_length / 2;
    limit();
    changed();
}

void HystogramTimeline::mousePressEvent(QMouseEvent *event)
{
    centreOnPixel(event->pos().x());
    event->accept();
}

void HystogramTimeline::mouseMoveEvent(QMouseEvent *event)
{
    centreOnPixel(event->pos().x());
    event->accept();
}

void HystogramTimeline::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta > 0) {
        m_length += 2;
        m_start -= 1;
    } else if (delta < 0) {
        if (m_length - 2 < kMinWheelLength) {
            m_length = kMinWheelLength;
        } else {
            m_length -= 2;
            m_start += 1;
        }
    }
    limit();
    changed();
    event->accept();
}

void HystogramTimeline::resizeEvent(QResizeEvent *event)
{
    m_columnsValid = false;
    QWidget::resizeEvent(event);
}

double HystogramTimeline::pixelOfSeconds(double seconds) const
{
    if (m_spanSeconds <= 0)
        return 0;
    return seconds * width() / m_spanSeconds;
}

// A million records fall on a few hundred pixel columns: each column shows the colour of its
// highest record, so a repaint costs the width of the strip, not the number of records. A record
// covers the 10 seconds up to the next one, so sparse records still read as a solid strip.
void HystogramTimeline::buildColumns()
{
    const int w = qMax(width(), 0);
    QVector<float> startHighest(w, 0);
    QVector<QRgb> startColour(w, 0);
    for (int i = 0; i < m_points.size() && w > 0; ++i) {
        const int column = qBound(0, static_cast<int>(pixelOfSeconds(m_offsets.at(i))), w - 1);
        const float value = m_points.at(i).value;
        if (startColour.at(column) == 0 || value > startHighest.at(column)) {
            startHighest[column] = value;
            startColour[column] = m_points.at(i).colour | 0xFF000000u;
        }
    }
    const int cover = m_spanSeconds > 0
        ? qBound(1, static_cast<int>(std::ceil(w * kRecordSeconds / m_spanSeconds)), qMax(w, 1))
        : qMax(w, 1);
    m_columns.fill(0, w);
    for (int x = 0; x < w; ++x) {
        float highest = 0;
        for (int from = qMax(0, x - cover + 1); from <= x; ++from) {
            const QRgb colour = startColour.at(from);
            if (colour != 0 && (m_columns.at(x) == 0 || startHighest.at(from) > highest)) {
                highest = startHighest.at(from);
                m_columns[x] = colour;
            }
        }
    }
    m_columnsValid = true;
}

void HystogramTimeline::paintEvent(QPaintEvent *)
{
    if (!m_columnsValid || m_columns.size() != width())
        buildColumns();
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const int h = height();
    QRgb lastColour = 0;
    QLinearGradient gradient(0, h, 0, 0);
    for (int x = 0; x < m_columns.size(); ++x) {
        const QRgb colour = m_columns.at(x);
        if (colour == 0)
            continue;
        if (colour != lastColour) {
            const QColor plain = QColor::fromRgb(colour);
            gradient.setColorAt(0, plain.darker(130));
            gradient.setColorAt(1, plain);
            lastColour = colour;
        }
        painter.fillRect(QRectF(x, 0, 1, h), gradient);
    }

    if (!m_points.isEmpty() && m_length > 0) {
        const qint64 last = qMin<qint64>(m_start + m_length, m_points.size()) - 1;
        const double left = pixelOfSeconds(m_offsets.at(static_cast<int>(m_start)));
        double boxWidth = width();
        if (m_spanSeconds > 0)
            boxWidth = static_cast<double>(width())
                    * (m_offsets.at(static_cast<int>(last)) - m_offsets.at(static_cast<int>(m_start)))
                    / m_spanSeconds
                + width() * kRecordSeconds / m_spanSeconds + 2;
        painter.setOpacity(0.8);
        painter.fillRect(QRectF(left, 0, boxWidth, h), QColor(255, 255, 255, 140));
        painter.setOpacity(1);
        painter.setPen(QPen(QColor(0, 0, 128), 1));
        painter.drawRect(QRectF(left, 0, boxWidth, h - 1));
    }
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.end();
    notify();
}
