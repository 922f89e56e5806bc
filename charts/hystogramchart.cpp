#include "charts/hystogramchart.h"

#include "charts/chartscale.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <cmath>

namespace {
// The scale reaches at least 1.1 times the tallest bar, leaving room above it.
constexpr double kHeadroom = 1.1;
constexpr double kArrowShare = 2.0 / 11.0;
constexpr int kTimeLabelGapPx = 8;
const QString kTimeFormat = QStringLiteral("dd.MM.yy hh:mm");

// Values that are not a number, infinite or negative cannot be drawn as a bar.
float barValue(float value)
{
    return std::isfinite(value) && value > 0 ? value : 0.0f;
}
}

HystogramChart::HystogramChart(QWidget *parent)
    : QWidget(parent)
{
}

void HystogramChart::setData(const HystogramPoints &points)
{
    m_points = points;
    m_largest = 0;
    for (const HystogramPoint &p : qAsConst(m_points))
        m_largest = qMax(m_largest, barValue(p.value));
    QWidget::update();
}

void HystogramChart::update(bool earlierPossible, bool laterPossible)
{
    m_earlierPossible = earlierPossible;
    m_laterPossible = laterPossible;
    QWidget::update();
}

void HystogramChart::setHint(const QString &hint)
{
    m_hint = hint;
    QWidget::update();
}

QVector<double> HystogramChart::valueTicks() const
{
    // Two lines of text per division at least, so labels never crowd.
    const int plotHeight = qMax(height() - kMarginPx, 0);
    const int divisions = qMax(1, plotHeight / (2 * fontMetrics().height()));
    return ChartScale::roundTicks(double(largestValue()) * kHeadroom, divisions);
}

double HystogramChart::scaleTop() const
{
    return valueTicks().constLast();
}

QStringList HystogramChart::valueLabels() const
{
    if (!m_hint.isEmpty())
        return {};
    QStringList labels;
    for (double tick : valueTicks())
        labels.append(ChartScale::tickText(tick));
    return labels;
}

// Bars stand by index, not by time: a moment between two bars lies between their centres in
// proportion, one before the first bar at the first. A moment inside a gap labels no record: NaN.
double HystogramChart::timeX(const QDateTime &time) const
{
    int after = 0;
    while (after < m_points.size() && m_points.at(after).time < time)
        ++after;
    if (after == 0 || (after < m_points.size() && m_points.at(after).time == time))
        return barRect(after).center().x();
    if (after == m_points.size())
        return barRect(after - 1).center().x();
    if (m_points.at(after - 1).time.secsTo(m_points.at(after).time) >= kGapSeconds)
        return std::nan("");
    const double share = ChartScale::fraction(double(m_points.at(after - 1).time.msecsTo(time)), 0,
                                              double(m_points.at(after - 1).time.msecsTo(m_points.at(after).time)));
    const double from = barRect(after - 1).center().x();
    return from + share * (barRect(after).center().x() - from);
}

QVector<HystogramChart::TimeLabel> HystogramChart::timeLabels() const
{
    QVector<TimeLabel> labels;
    const QRectF plot = plotRect();
    if (m_points.isEmpty() || plot.width() <= 0)
        return labels;
    const QFontMetrics metrics(font());
    const int labelWidth = metrics.horizontalAdvance(QDateTime(QDate(2000, 12, 28), QTime(23, 58)).toString(kTimeFormat));
    // Labels are centred on their moment, so the outer ones may reach half a label past the plot.
    const int room = qMax(1, int(plot.width() + labelWidth / 2) / (labelWidth + kTimeLabelGapPx));
    double lastRight = -1e9;
    for (const QDateTime &moment : ChartScale::timeTicks(m_points.constFirst().time, m_points.constLast().time, room)) {
        const QString text = moment.toString(kTimeFormat);
        const double x = timeX(moment);
        const double textWidth = metrics.horizontalAdvance(text);
        // Kept inside the widget, a label near an edge is moved in rather than cut.
        const double left = qBound(0.0, x - textWidth / 2, width() - textWidth);
        if (std::isnan(x) || left < lastRight + kTimeLabelGapPx || left < 0)
            continue;
        labels.append(TimeLabel { x, left, text });
        lastRight = left + textWidth;
    }
    return labels;
}

double HystogramChart::leftMargin() const
{
    // Wide enough for the widest value label, so none is cut at the edge.
    const QFontMetrics metrics(font());
    int widest = 0;
    for (const QString &label : valueLabels())
        widest = qMax(widest, metrics.horizontalAdvance(label));
    return qMax(kMarginPx, widest + 6);
}

QRectF HystogramChart::plotRect() const
{
    // The value labels on the left, 30 pixels along the bottom for the time labels and on the right.
    const double left = leftMargin();
    return QRectF(left, 0, qMax(width() - left - kMarginPx, 0.0), qMax(height() - kMarginPx, 0));
}

double HystogramChart::slotWidth() const
{
    if (m_points.isEmpty())
        return 0;
    return plotRect().width() / (2.0 * m_points.size());
}

QRectF HystogramChart::barRect(int index) const
{
    if (index < 0 || index >= m_points.size())
        return QRectF();
    const QRectF plot = plotRect();
    const double slot = slotWidth();
    const double top = scaleTop();
    // A window of zeros (the placeholder after clear()) has no scale to draw against.
    const double height = top > 0 ? static_cast<double>(barValue(m_points.at(index).value)) / top * plot.height() : 0.0;
    const double centre = plot.left() + (2 * index + 1) * slot;
    return QRectF(centre - slot / 2, plot.bottom() - height, slot, height);
}

QVector<HystogramChart::GapMarker> HystogramChart::gapMarkers() const
{
    QVector<GapMarker> markers;
    const QRectF plot = plotRect();
    const double slot = slotWidth();
    for (int i = 1; i < m_points.size(); ++i) {
        const qint64 apart = m_points.at(i - 1).time.secsTo(m_points.at(i).time);
        if (apart >= kGapSeconds)
            markers.append(GapMarker { plot.left() + 2 * i * slot, m_points.at(i).time });
    }
    return markers;
}

QRectF HystogramChart::earlierArrowRect() const
{
    const QRectF plot = plotRect();
    const double size = plot.height() * kArrowShare;
    return QRectF(plot.left(), plot.center().y() - size / 2, size, size);
}

QRectF HystogramChart::laterArrowRect() const
{
    const QRectF plot = plotRect();
    const double size = plot.height() * kArrowShare;
    return QRectF(plot.right() - size, plot.center().y() - size / 2, size, size);
}

void HystogramChart::mousePressEvent(QMouseEvent *event)
{
    m_earlierPressed = false;
    m_laterPressed = false;
    if (m_earlierPossible && earlierArrowRect().contains(event->pos()))
        m_earlierPressed = true;
    else if (m_laterPossible && laterArrowRect().contains(event->pos()))
        m_laterPressed = true;
    event->accept();
    if (m_earlierPressed || m_laterPressed)
        notify();
}

void HystogramChart::wheelEvent(QWheelEvent *event)
{
    m_earlierPressed = false;
    m_laterPressed = false;
    const int delta = event->angleDelta().y();
    if (delta > 0 && m_laterPossible)
        m_laterPressed = true;
    else if (delta < 0 && m_earlierPossible)
        m_earlierPressed = true;
    event->accept();
    if (m_earlierPressed || m_laterPressed)
        notify();
}

void HystogramChart::drawArrow(QPainter &painter, const QRectF &area, bool pointsLeft) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setOpacity(0.7);
    painter.setPen(QPen(QColor(120, 120, 120), 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(area, area.width() / 5, area.width() / 5);
    QPainterPath head;
    const double inset = area.width() * 0.3;
    if (pointsLeft) {
        head.moveTo(area.left() + inset, area.center().y());
        head.lineTo(area.right() - inset, area.top() + inset);
        head.lineTo(area.right() - inset, area.bottom() - inset);
    } else {
        head.moveTo(area.right() - inset, area.center().y());
        head.lineTo(area.left() + inset, area.top() + inset);
        head.lineTo(area.left() + inset, area.bottom() - inset);
    }
    head.closeSubpath();
    painter.setBrush(QColor(90, 90, 90));
    painter.drawPath(head);
    painter.restore();
}

void HystogramChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QRectF plot = plotRect();
    if (plot.width() <= 0 || plot.height() <= 0)
        return;
    const QVector<double> ticks = valueTicks();
    const QVector<TimeLabel> times = m_hint.isEmpty() ? timeLabels() : QVector<TimeLabel>();
    const double top = ticks.constLast();

    painter.setPen(QPen(QColor(200, 200, 200), 1, Qt::DashLine));
    for (int i = 1; top > 0 && i < ticks.size(); ++i) {
        const double y = plot.bottom() - plot.height() * ticks.at(i) / top;
        painter.drawLine(QLineF(plot.left(), y, plot.right(), y));
    }
    for (const TimeLabel &label : times)
        painter.drawLine(QLineF(label.x, plot.top(), label.x, plot.bottom()));

    for (int i = 0; i < m_points.size(); ++i) {
        const QRectF bar = barRect(i);
        if (bar.height() <= 0)
            continue;
        const QColor colour = QColor::fromRgb(m_points.at(i).colour);
        QLinearGradient fill(bar.topLeft(), bar.topRight());
        fill.setColorAt(0, colour.lighter(120));
        fill.setColorAt(0.5, colour.lighter(140));
        fill.setColorAt(1, colour.darker(143));
        painter.fillRect(bar, fill);
    }

    painter.setPen(QPen(QColor(160, 0, 0), 1, Qt::DotLine));
    for (const GapMarker &marker : gapMarkers()) {
        painter.drawLine(QLineF(marker.x, plot.top(), marker.x, plot.bottom()));
        painter.drawText(QPointF(marker.x + 2, plot.top() + painter.fontMetrics().ascent()),
                         marker.time.toString(QStringLiteral("hh:mm:ss")));
    }

    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(plot);

    if (!m_hint.isEmpty()) {
        painter.setPen(QColor(110, 110, 110));
        painter.drawText(plot, Qt::AlignCenter | Qt::TextWordWrap, m_hint);
        return;
    }

    const int line = painter.fontMetrics().height();
    const QStringList labels = valueLabels();
    for (int i = 0; i < labels.size(); ++i) {
        const double y = top > 0 ? plot.bottom() - plot.height() * ticks.at(i) / top : plot.bottom();
        const double labelTop = qBound(0.0, y - line / 2.0, qMax(0.0, plot.bottom() - line));
        painter.drawText(QRectF(0, labelTop, plot.left() - 3, line), Qt::AlignRight | Qt::AlignVCenter, labels.at(i));
    }
    for (const TimeLabel &label : times) {
        painter.drawLine(QLineF(label.x, plot.bottom(), label.x, plot.bottom() + 3));
        painter.drawText(QRectF(label.left, plot.bottom() + 3, width() - label.left, kMarginPx - 3),
                         Qt::AlignLeft | Qt::AlignTop, label.text);
    }

    if (m_earlierPossible)
        drawArrow(painter, earlierArrowRect(), true);
    if (m_laterPossible)
        drawArrow(painter, laterArrowRect(), false);
}
