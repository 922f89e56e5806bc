#include "charts/graphplotter.h"

#include "charts/graphchart.h"
#include "charts/graphlegendbox.h"
#include "charts/graphtimeline.h"

GraphPlotter::GraphPlotter(int orientation, int timeDivisions, int valueDivisions,
                           QWidget *parent)
    : MainPlotter(orientation, timeDivisions, valueDivisions, parent)
{
    initialise();
}

GraphTimeline *GraphPlotter::createTimeline()
{
    return new GraphTimeline(m_orientation);
}

GraphLegendBox *GraphPlotter::createLegendBox(int entryHeight)
{
    return new GraphLegendBox(entryHeight);
}

GraphLegend *GraphPlotter::createAxis(GraphLegend::Kind kind)
{
    const int labels = kind == GraphLegend::TimeAxis ? m_timeDivisions : m_valueDivisions;
    return new GraphLegend(kind, m_orientation, labels);
}

MainChart *GraphPlotter::createChart()
{
    return new GraphChart(m_orientation, m_timeDivisions, m_valueDivisions);
}

DGraphPlotter *createGraphPlotter(int orientation, int timeDivisions, int valueDivisions,
                                  QWidget *parent)
{
    return new GraphPlotter(orientation, timeDivisions, valueDivisions, parent);
}
