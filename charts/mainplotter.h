#pragma once

#include "charts/dgraphplotter.h"
#include "charts/graphlegend.h"

#include <QPointer>

class GraphLegendBox;
class GraphTimeline;
class MainChart;
class QFrame;
class QGridLayout;

// The plotter's logic: the series list, the layout of chart areas and axes, and the window.
// Subclasses supply the widgets through the factories and call initialise() once constructed.
class MainPlotter : public DGraphPlotter
{
    Q_OBJECT
public:
    static constexpr int kLegendEntryHeightPx = 30;

    MainPlotter(int orientation, int timeDivisions, int valueDivisions, QWidget *parent = nullptr);

    void addSeries(const QString &name, const QVector<double> *x, const QVector<double> *y,
                   const QColor &colour, int group) override;
    void removeSeries(const QString &name) override;
    void seriesData(const QString &name, QVector<double> *x, QVector<double> *y) const override;
    void clear() override;
    void update() override;
    QList<SeriesDescriptor> series() const override { return m_series; }

    QImage windowImage(const QSize &size) override;
    QImage fullImage(const QSize &size) override;
    QImage plotterImage(const QSize &size) override;

    void setWindow(qint64 first, qint64 length) override;
    qint64 windowStart() const override;
    qint64 windowLength() const override;
    void setStartTime(const QDateTime &start) override;
    void clearStartTime() override;

    virtual void clearLayout();
    virtual void rebuild();

    int orientation() const { return m_orientation; }
    GraphTimeline *timeline() const { return m_timeline; }
    GraphLegendBox *legendBox() const { return m_legendBox; }
    GraphLegend *timeAxis() const { return m_timeAxis; }
    QList<MainChart *> charts() const;
    QList<GraphLegend *> valueAxes() const;

protected:
    void initialise();

    virtual GraphTimeline *createTimeline() = 0;
    virtual GraphLegendBox *createLegendBox(int entryHeight) = 0;
    virtual GraphLegend *createAxis(GraphLegend::Kind kind) = 0;
    virtual MainChart *createChart() = 0;

    int m_orientation;
    int m_timeDivisions;
    int m_valueDivisions;

private:
    QImage chartsImage(const QSize &size, bool wholeSeries);
    void updateLegendBox();

    QList<SeriesDescriptor> m_series;
    GraphTimeline *m_timeline = nullptr;
    GraphLegendBox *m_legendBox = nullptr;
    GraphLegend *m_timeAxis = nullptr;
    QWidget *m_grid = nullptr;
    QGridLayout *m_gridLayout = nullptr;
    QFrame *m_timeSpacer = nullptr;
    // Widgets of the grid that a rebuild replaces: spacers, value axes and chart areas.
    QList<QPointer<QWidget>> m_groupWidgets;
    QList<QPointer<MainChart>> m_charts;
    QList<QPointer<GraphLegend>> m_valueAxes;
    QDateTime m_startTime;
};
