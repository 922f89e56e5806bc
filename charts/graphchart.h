#pragma once

#include "charts/mainchart.h"

// A chart area that draws each series of its group as a polyline over the window's points.
class GraphChart : public MainChart
{
    Q_OBJECT
public:
    using MainChart::MainChart;

protected:
    void drawSeries(QPainter &painter, const QRectF &area) override;
};
