#pragma once

#include "charts/mainplotter.h"

class GraphPlotter : public MainPlotter
{
    Q_OBJECT
public:
    static constexpr int kLegendEntryHeightPx = 30;

    GraphPlotter(int orientation, int timeDivisions, int valueDivisions, QWidget *parent = nullptr);

protected:
    GraphTimeline *createTimeline() override;
    GraphLegendBox *createLegendBox(int entryHeight) override;
    GraphLegend *createAxis(GraphLegend::Kind kind) override;
    MainChart *createChart() override;
};
