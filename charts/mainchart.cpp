#include "charts/mainchart.h"

#include <QPainter>
#include <QPen>

namespace {
constexpr double kValueMarginShare = 0.05;
}

MainChart::MainChart(int orientation, int timeDivisions, int valueDivisions, QWidget *parent)
    : QWidget(parent)
    , m_orientation(orientation)
    , m_timeDivisions(timeDivisions)
    , m_valueDivisions(valueDivisions)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MainChart::setSeries(const QList<SeriesDescriptor> &series)
{
    m_series = series;
    recomputeRanges();
    update();
}

void MainChart::onShowBoxChanged(ShowBox box)
{
    m_box = box;
    recomputeRanges();
    update();
}

// In orientation 1 the descriptor holds the vectors swapped, so time is the y vector there.
const QVector<double> *MainChart::timeOf(const SeriesDescriptor &series) const
{
    return m_orientation == 0 ? series.x : series.y;
}

const QVector<double> *MainChart::valueOf(const SeriesDescriptor &series) const
{
    return m_orientation == 0 ? series.y : series.x;
}

// The window indexes the first series; a shorter series (or one whose y vector lags its x vector)
// must not be read past its end.
bool MainChart::windowOf(const SeriesDescriptor &series, qint64 *begin, qint64 *end) const
{
    if (!series.x || !series.y || m_box.length <= 0 || m_box.first < 0)
        return false;
    const qint64 size = qMin(series.x->size(), series.y->size());
    *begin = qMin(m_box.first, size);
    *end = m_box.first > size - m_box.length ? size : m_box.first + m_box.length;
    return *end > *begin;
}

void MainChart::recomputeRanges()
{
    const ChartScale::Range oldTime = m_timeRange;
    const ChartScale::Range oldValue = m_valueRange;
    m_timeRange = ChartScale::Range();
    m_valueRange = ChartScale::Range();
    for (const SeriesDescriptor &s : qAsConst(m_series)) {
        qint64 begin = 0;
        qint64 end = 0;
        if (!windowOf(s, &begin, &end))
            continue;
        const QVector<double> &time = *timeOf(s);
        const QVector<double> &value = *valueOf(s);
        for (qint64 i = begin; i < end; ++i) {
            m_timeRange.include(time.at(i));
            m_valueRange.include(value.at(i));
        }
    }
    const bool changed = oldTime.valid != m_timeRange.valid || oldTime.min != m_timeRange.min
        || oldTime.max != m_timeRange.max || oldValue.valid != m_valueRange.valid
        || oldValue.min != m_valueRange.min || oldValue.max != m_valueRange.max;
    if (changed) {
        const ChartScale::Range shown = shownValueRange();
        emit rangesChanged(m_timeRange.min, m_timeRange.max, shown.min, shown.max);
    }
}

ChartScale::Range MainChart::shownValueRange() const
{
    return ChartScale::widened(m_valueRange, kValueMarginShare);
}

QPointF MainChart::mapToPixel(double time, double value, const QSizeF &size) const
{
    const ChartScale::Range shown = shownValueRange();
    const double t = ChartScale::fraction(time, m_timeRange.min, m_timeRange.max);
    const double v = ChartScale::fraction(value, shown.min, shown.max);
    // Values grow upwards in orientation 0 and to the right in orientation 1; time runs left to
    // right or top to bottom.
    if (m_orientation == 0)
        return QPointF(ChartScale::clampPixel(size.width() * t),
                       ChartScale::clampPixel(size.height() * (1 - v)));
    return QPointF(ChartScale::clampPixel(size.width() * v),
                   ChartScale::clampPixel(size.height() * t));
}

void MainChart::paintEvent(QPaintEvent *)
{
    // The caller appends points between repaints; the window's extremes may have moved.
    recomputeRanges();
    QPainter painter(this);
    paintChart(painter, rect());
}

void MainChart::paintChart(QPainter &painter, const QRectF &area)
{
    painter.save();
    painter.setClipRect(area);
    painter.translate(area.topLeft());
    const QRectF local(QPointF(0, 0), area.size());
    painter.fillRect(local, Qt::white);

    QPen grid(QColor(220, 220, 220), 1, Qt::DashLine);
    painter.setPen(grid);
    const int across = m_orientation == 0 ? m_timeDivisions : m_valueDivisions;
    const int down = m_orientation == 0 ? m_valueDivisions : m_timeDivisions;
    for (int i = 1; i < across; ++i)
        painter.drawLine(QLineF(local.width() * i / across, 0, local.width() * i / across,
                                local.height()));
    for (int i = 1; i < down; ++i)
        painter.drawLine(QLineF(0, local.height() * i / down, local.width(),
                                local.height() * i / down));

    const ChartScale::Range shown = shownValueRange();
    if (shown.valid && shown.min <= 0 && shown.max >= 0 && shown.min < shown.max) {
        painter.setPen(QPen(Qt::black, 1.5));
        const QPointF zero = mapToPixel(0, 0, local.size());
        if (m_orientation == 0)
            painter.drawLine(QLineF(0, zero.y(), local.width(), zero.y()));
        else
            painter.drawLine(QLineF(zero.x(), 0, zero.x(), local.height()));
    }

    drawSeries(painter, local);

    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(QLineF(local.topLeft(), local.topRight()));
    painter.drawLine(QLineF(local.topRight(), local.bottomRight()));
    painter.drawLine(QLineF(local.bottomRight(), local.bottomLeft()));
    painter.drawLine(QLineF(local.bottomLeft(), local.topLeft()));
    painter.restore();
}

void MainChart::drawSeries(QPainter &, const QRectF &)
{
}
