#include "charts/hystogramchart.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <cmath>

namespace {
// The tallest bar reaches 1 / 1.1 of the plot height, leaving room above it.
constexpr double kHeadroom = 1.1;
constexpr double kArrowShare = 2.0 / 11.0;
constexpr int kGridDivisions = 5;
constexpr int kMaxTimeLabels = 6;

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

QFont HystogramChart::labelFont()
{
    return QFont(QStringLiteral("Times New Roman"), 8);
}

QStringList HystogramChart::valueLabels() const
{
    if (!m_hint.isEmpty())
        return {};
    // A window without a bar above zero has no scale but its floor.
    const double top = largestValue() * kHeadroom;
    if (!(top > 0))
        return { QStringLiteral("0") };
    QStringList labels;
    for (int i = 0; i <= kGridDivisions; ++i)
        labels.append(QString::number(top * i / kGridDivisions, 'g', 4));
    return labels;
}

double HystogramChart::leftMargin() const
{
    // Wide enough for the widest value label, so none is cut at the edge.
    const QFontMetrics metrics(labelFont());
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
    const float largest = largestValue();
    // A window of zeros (the placeholder after clear()) has no tallest bar to scale by.
    const double height = largest > 0
        ? static_cast<double>(barValue(m_points.at(index).value)) / largest * plot.height() / kHeadroom
        : 0.0;
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
    painter.setFont(labelFont());

    painter.setPen(QPen(QColor(200, 200, 200), 1, Qt::DashLine));
    for (int i = 1; i < kGridDivisions; ++i) {
        const double y = plot.top() + plot.height() * i / kGridDivisions;
        const double x = plot.left() + plot.width() * i / kGridDivisions;
        painter.drawLine(QLineF(plot.left(), y, plot.right(), y));
        painter.drawLine(QLineF(x, plot.top(), x, plot.bottom()));
    }

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
        painter.setFont(font());
        painter.drawText(plot, Qt::AlignCenter | Qt::TextWordWrap, m_hint);
        return;
    }

    // Value labels: the scale of the window's tallest bar.
    const QStringList labels = valueLabels();
    for (int i = 0; i < labels.size(); ++i) {
        const double y = plot.bottom() - plot.height() * i / kGridDivisions;
        const double labelTop = qBound(0.0, y - 8, qMax(0.0, plot.bottom() - 16));
        painter.drawText(QRectF(0, labelTop, plot.left() - 3, 16), Qt::AlignRight | Qt::AlignVCenter, labels.at(i));
    }

    // Time labels under a few evenly chosen bars.
    if (!m_points.isEmpty()) {
        const int labels = qMin<int>(kMaxTimeLabels, m_points.size());
        const int every = qMax(1, m_points.size() / labels);
        for (int i = 0; i < m_points.size(); i += every) {
            const QRectF bar = barRect(i);
            painter.drawText(QRectF(bar.center().x() - 45, plot.bottom() + 2, 90, kMarginPx - 2),
                             Qt::AlignHCenter | Qt::AlignTop,
                             m_points.at(i).time.toString(QStringLiteral("dd.MM.yy hh:mm")));
        }
    }

    if (m_earlierPossible)
        drawArrow(painter, earlierArrowRect(), true);
    if (m_laterPossible)
        drawArrow(painter, laterArrowRect(), false);
}
