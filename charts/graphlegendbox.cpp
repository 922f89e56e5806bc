#include "charts/graphlegendbox.h"

#include <QPainter>

namespace {
constexpr int kBoxPx = 14;
constexpr int kBoxLeftPx = 8;
constexpr int kTextLeftPx = 30;
}

GraphLegendBox::GraphLegendBox(int entryHeight, QWidget *parent)
    : QWidget(parent)
    , m_entryHeight(entryHeight)
{
}

void GraphLegendBox::setSeries(const QList<SeriesDescriptor> &series)
{
    m_series = series;
    update();
}

void GraphLegendBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    int top = 0;
    for (const SeriesDescriptor &s : qAsConst(m_series)) {
        const QRect box(kBoxLeftPx, top + (m_entryHeight - kBoxPx) / 2, kBoxPx, kBoxPx);
        painter.fillRect(box, s.colour);
        painter.setPen(QColor(60, 60, 60));
        painter.drawRect(box);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(kTextLeftPx, top, width() - kTextLeftPx, m_entryHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, s.name);
        top += m_entryHeight;
    }
}
