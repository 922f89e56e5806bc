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
// A time that names no moment (an unreadable record); it is drawn at the start.
constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();
}

HystogramTimeline::HystogramTimeline(QWidget *parent)
    : QWidget(parent)
{
}

void HystogramTimeline::setSeries(const QVector<qint64> &msecs, const QVector<float> &values,
                                  const Colouring &colourOf)
{
    load(msecs, values, colourOf, {});
}

void HystogramTimeline::load(const QVector<qint64> &msecs, const QVector<float> &values,
                             const Colouring &colourOf, const QVector<QRgb> &colours)
{
    m_msecs = msecs;
    m_values = values;
    m_colourOf = colourOf;
    m_colours = colours;
    const int n = m_msecs.size();
    qint64 origin = 0;
    for (qint64 ms : qAsConst(m_msecs)) {
        if (ms != kNoTime) {
            origin = ms;
            break;
        }
    }
    m_offsets.resize(n);
    for (int i = 0; i < n; ++i)
        m_offsets[i] = m_msecs.at(i) == kNoTime ? 0 : (m_msecs.at(i) - origin) / 1000;
    m_start = 0;
    m_length = kDefaultLength;
    m_spanSeconds = m_offsets.isEmpty() ? 0 : m_offsets.last();
    m_columnsValid = false;
    // A short list gets a window of its own size; otherwise the chart would offer to scroll on.
    limit();
    changed();
}

void HystogramTimeline::setData(const HystogramPoints &points)
{
    QVector<qint64> msecs(points.size());
    QVector<float> values(points.size());
    QVector<QRgb> colours(points.size());
    for (int i = 0; i < points.size(); ++i) {
        msecs[i] = points.at(i).time.isValid() ? points.at(i).time.toMSecsSinceEpoch() : kNoTime;
        values[i] = points.at(i).value;
        colours[i] = points.at(i).colour;
    }
    load(msecs, values, nullptr, colours);
}

QRgb HystogramTimeline::colourAt(int index) const
{
    if (!m_colours.isEmpty())
        return m_colours.at(index);
    return m_colourOf ? m_colourOf(m_values.at(index)) : kDefaultColour;
}

HystogramPoint HystogramTimeline::pointAt(int index) const
{
    HystogramPoint point;
    const qint64 ms = m_msecs.at(index);
    if (ms != kNoTime) {
        // With the offset in force then: differences and texts need no zone lookup later.
        const qint64 seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
        point.time = QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC,
                                                    m_zoneOffsets.offsetAt(seconds));
    }
    point.value = m_values.at(index);
    point.colour = colourAt(index);
    return point;
}

HystogramPoints HystogramTimeline::points() const
{
    HystogramPoints all;
    all.reserve(m_msecs.size());
    for (int i = 0; i < m_msecs.size(); ++i)
        all.append(pointAt(i));
    return all;
}

void HystogramTimeline::limit()
{
    const qint64 count = m_msecs.size();
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
    m_canGoLater = m_start + m_length < m_msecs.size();
    HystogramPoints window;
    window.reserve(int(m_length));
    for (qint64 i = m_start; i < m_start + m_length; ++i)
        window.append(pointAt(int(i)));
    return window;
}

void HystogramTimeline::changed()
{
    m_canGoEarlier = m_start > 0;
    m_canGoLater = m_start + m_length < m_msecs.size();
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
    if (m_msecs.isEmpty() || width() <= 0)
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
    QVector<int> startIndex(w, -1);
    const int n = m_msecs.size();
    const float *values = m_values.constData();
    const qint64 *offsets = m_offsets.constData();
    for (int i = 0; i < n && w > 0; ++i) {
        const int column = qBound(0, static_cast<int>(pixelOfSeconds(offsets[i])), w - 1);
        const float value = values[i];
        if (startIndex.at(column) < 0 || value > startHighest.at(column)) {
            startHighest[column] = value;
            startIndex[column] = i;
        }
    }
    // Colours only for the few records that show, not for millions.
    QVector<QRgb> startColour(w, 0);
    for (int x = 0; x < w; ++x) {
        if (startIndex.at(x) >= 0)
            startColour[x] = colourAt(startIndex.at(x)) | 0xFF000000u;
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

    if (!m_msecs.isEmpty() && m_length > 0) {
        const qint64 last = qMin<qint64>(m_start + m_length, m_msecs.size()) - 1;
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
