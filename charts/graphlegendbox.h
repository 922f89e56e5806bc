#pragma once

#include "charts/seriesdescriptor.h"

#include <QList>
#include <QWidget>

// The legend beside the charts: one entry per series, a box in its colour and its name.
class GraphLegendBox : public QWidget
{
    Q_OBJECT
public:
    explicit GraphLegendBox(int entryHeight, QWidget *parent = nullptr);

    void setSeries(const QList<SeriesDescriptor> &series);
    int entryHeight() const { return m_entryHeight; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_entryHeight;
    QList<SeriesDescriptor> m_series;
};
