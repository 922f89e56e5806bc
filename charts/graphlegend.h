#pragma once

#include "charts/mainlegend.h"

#include <QStringList>

// A value axis or the time axis beside the chart areas, with ticks and labels.
class GraphLegend : public MainLegend
{
    Q_OBJECT
public:
    enum Kind { ValueAxis, TimeAxis };

    GraphLegend(Kind kind, int orientation, int labelCount, QWidget *parent = nullptr);

    Kind kind() const { return m_kind; }
    // The labels the axis draws at its current size and range (empty when the range is empty).
    QStringList labels() const;
    QString labelText(double value) const;

public slots:
    void setChartRanges(double timeMin, double timeMax, double valueMin, double valueMax);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool runsAlongX() const;
    double extent() const;

    Kind m_kind;
    int m_orientation;
    int m_labelCount;
};
