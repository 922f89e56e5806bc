#pragma once

#include "charts/seriesdescriptor.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QWidget>

// What callers need of a plotter: series, the visible window, the start time and images.
class DGraphPlotter : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    using QWidget::update;

    virtual void addSeries(const QString &name, const QVector<double> *x, const QVector<double> *y,
                           const QColor &colour, int group)
        = 0;
    virtual void removeSeries(const QString &name) = 0;
    virtual void seriesData(const QString &name, QVector<double> *x, QVector<double> *y) const = 0;
    virtual void clear() = 0;
    virtual void update() = 0;
    virtual QList<SeriesDescriptor> series() const = 0;

    // The chart areas of the current window, of the whole first series, and the whole plotter.
    virtual QImage windowImage(const QSize &size) = 0;
    virtual QImage fullImage(const QSize &size) = 0;
    virtual QImage plotterImage(const QSize &size) = 0;

    virtual void setWindow(qint64 first, qint64 length) = 0;
    virtual qint64 windowStart() const = 0;
    virtual qint64 windowLength() const = 0;
    virtual void setStartTime(const QDateTime &start) = 0;
    virtual void clearStartTime() = 0;
};

// The plotter the measurements panel uses: orientation 0 (time left to right) or 1 (top to
// bottom), and the two parameters every chart area is built with.
DGraphPlotter *createGraphPlotter(int orientation, int timeDivisions, int valueDivisions,
                                  QWidget *parent);
