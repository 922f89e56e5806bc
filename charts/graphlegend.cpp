#include "charts/graphlegend.h"

#include "charts/chartscale.h"

#include <QFontMetrics>
#include <QPainter>

namespace {
constexpr int kTickPx = 4;
constexpr int kLabelGapExtraPx = 3;
}

GraphLegend::GraphLegend(Kind kind, int orientation, int labelCount, QWidget *parent)
    : MainLegend(parent)
    , m_kind(kind)
    , m_orientation(orientation)
    , m_labelCount(labelCount)
{
}

void GraphLegend::setChartRanges(double timeMin, double timeMax, double valueMin, double valueMax)
{
    if (m_kind == TimeAxis)
        setRange(timeMin, timeMax);
    else
        setRange(valueMin, valueMax);
}

// Time runs along x in orientation 0, values along x in orientation 1.
bool GraphLegend::runsAlongX() const
{
    return (m_kind == TimeAxis) == (m_orientation == 0);
}

double GraphLegend::extent() const
{
    return runsAlongX() ? width() : height();
}

QString GraphLegend::labelText(double value) const
{
    if (m_kind == ValueAxis)
        return QString::number(value, 'f', 2);
    if (startTime().isValid())
        return startTime().addMSecs(qRound64(value * 1000)).toString(QStringLiteral("hh:mm:ss"));
    return QString::number(value, 'f', 0);
}

QStringList GraphLegend::labels() const
{
    QStringList texts;
    const double gap = fontMetrics().height() + kLabelGapExtraPx;
    const QVector<double> values
        = ChartScale::labelValues(rangeMin(), rangeMax(), extent(), gap, m_labelCount);
    for (double v : values)
        texts.append(labelText(v));
    return texts;
}

void GraphLegend::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const double gap = fontMetrics().height() + kLabelGapExtraPx;
    const QVector<double> values
        = ChartScale::labelValues(rangeMin(), rangeMax(), extent(), gap, m_labelCount);
    if (values.isEmpty())
        return;
    painter.setPen(QColor(40, 40, 40));
    // Across the strip there are only 45 pixels; a large desktop font is scaled down to fit.
    const double across = (runsAlongX() ? height() : width()) - kTickPx - 2;
    double widest = 0;
    for (double v : values)
        widest = qMax<double>(widest, fontMetrics().horizontalAdvance(labelText(v)));
    const bool textAcross = !(m_kind == ValueAxis && m_orientation == 1);
    if (textAcross && widest > across && across > 0) {
        QFont small = font();
        small.setPointSizeF(qMax(5.0, small.pointSizeF() * across / widest));
        painter.setFont(small);
    }
    const QFontMetrics fm = painter.fontMetrics();
    for (double v : values) {
        const double f = ChartScale::fraction(v, rangeMin(), rangeMax());
        const QString text = labelText(v);
        if (m_kind == ValueAxis && m_orientation == 0) {
            // Vertical strip left of its chart: values grow upwards.
            const double y = height() * (1 - f);
            painter.drawLine(QLineF(width() - kTickPx, y, width(), y));
            painter.drawText(QRectF(0, y - fm.height() / 2.0, width() - kTickPx - 1, fm.height()),
                             Qt::AlignRight | Qt::AlignVCenter, text);
        } else if (m_kind == TimeAxis && m_orientation == 0) {
            // Strip under the charts; the labels stand upright to fit many of them.
            const double x = width() * f;
            painter.drawLine(QLineF(x, 0, x, kTickPx));
            painter.save();
            painter.translate(x + fm.ascent() / 2.0, kTickPx + 1);
            painter.rotate(-90);
            painter.drawText(QRectF(-(height() - kTickPx - 1), 0, height() - kTickPx - 1,
                                    fm.height()),
                             Qt::AlignRight | Qt::AlignTop, text);
            painter.restore();
        } else if (m_kind == TimeAxis) {
            // Strip left of the charts, time running downwards.
            const double y = height() * f;
            painter.drawLine(QLineF(width() - kTickPx, y, width(), y));
            painter.drawText(QRectF(0, y - fm.height() / 2.0, width() - kTickPx - 1, fm.height()),
                             Qt::AlignRight | Qt::AlignVCenter, text);
        } else {
            // Strip along its chart, values growing to the right.
            const double x = width() * f;
            painter.drawLine(QLineF(x, 0, x, kTickPx));
            painter.drawText(QRectF(x - 40, kTickPx, 80, fm.height()), Qt::AlignCenter, text);
        }
    }
}
