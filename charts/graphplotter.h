#pragma once

#include "charts/mainplotter.h"

// The plotter the program uses: polyline chart areas, axes with labels, the legend box and the
// overview strip.
class GraphPlotter : public MainPlotter
{
    Q_OBJECT
public:
    GraphPlotter(int orientation, int timeDivisions, int valueDivisions, QWidget *parent = nullptr);

protected:
    GraphTimeline *createTimeline() override;
    GraphLegendBox *createLegendBox(int entryHeight) override;
    GraphLegend *createAxis(GraphLegend::Kind kind) override;
    MainChart *createChart() override;
};
