#include "charts/graphchart.h"

#include <QPainter>
#include <QPolygonF>
#include <cmath>

void GraphChart::drawSeries(QPainter &painter, const QRectF &area)
{
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const SeriesDescriptor &s : series()) {
        qint64 begin = 0;
        qint64 end = 0;
        if (!windowOf(s, &begin, &end))
            continue;
        const QVector<double> &time = *timeOf(s);
        const QVector<double> &value = *valueOf(s);
        painter.setPen(QPen(s.colour, 2));
        // A value that is not a number breaks the curve instead of pulling it to a border.
        QPolygonF line;
        line.reserve(static_cast<int>(end - begin));
        for (qint64 i = begin; i < end; ++i) {
            if (!std::isfinite(time.at(i)) || !std::isfinite(value.at(i))) {
                painter.drawPolyline(line);
                line.clear();
                continue;
            }
            line.append(mapToPixel(time.at(i), value.at(i), area.size()));
        }
        if (line.size() == 1)
            painter.drawPoint(line.first());
        else
            painter.drawPolyline(line);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}
