#pragma once

#include "charts/chartscale.h"
#include "charts/seriesdescriptor.h"
#include "charts/showbox.h"

#include <QList>
#include <QPointF>
#include <QWidget>

// One chart area: the frame, the zero line and the data ranges of its group's series within the
// plotter's window. The curves themselves are drawn by a subclass.
class MainChart : public QWidget
{
    Q_OBJECT
public:
    // timeDivisions and valueDivisions are the counts of grid divisions drawn across the area
    // (and of labels on its axes).
    MainChart(int orientation, int timeDivisions, int valueDivisions, QWidget *parent = nullptr);

    void setSeries(const QList<SeriesDescriptor> &series);
    QList<SeriesDescriptor> series() const { return m_series; }
    ShowBox showBox() const { return m_box; }
    int timeDivisions() const { return m_timeDivisions; }
    int valueDivisions() const { return m_valueDivisions; }

    // Ranges of time and value over the window's points (the value range not yet widened).
    ChartScale::Range timeRange() const { return m_timeRange; }
    ChartScale::Range valueRange() const { return m_valueRange; }
    // The value range as drawn: widened by 5 % of its span at both ends.
    ChartScale::Range shownValueRange() const;

    // Pixel of a (time, value) point in an area of the given size.
    QPointF mapToPixel(double time, double value, const QSizeF &size) const;

    // Draws the area into any painter (the widget, or an image of the plotter's charts).
    void paintChart(QPainter &painter, const QRectF &area);
    void recomputeRanges();

public slots:
    void onShowBoxChanged(ShowBox box);

signals:
    void rangesChanged(double timeMin, double timeMax, double valueMin, double valueMax);

protected:
    void paintEvent(QPaintEvent *event) override;
    virtual void drawSeries(QPainter &painter, const QRectF &area);

    // The indices [begin, end) of the window that exist in this series.
    bool windowOf(const SeriesDescriptor &series, qint64 *begin, qint64 *end) const;
    const QVector<double> *timeOf(const SeriesDescriptor &series) const;
    const QVector<double> *valueOf(const SeriesDescriptor &series) const;

    int m_orientation;

private:
    int m_timeDivisions;
    int m_valueDivisions;
    QList<SeriesDescriptor> m_series;
    ShowBox m_box;
    ChartScale::Range m_timeRange;
    ChartScale::Range m_valueRange;
};
