#pragma once

#include "charts/hystogrampoint.h"
#include "charts/iobserver.h"

#include <QPair>
#include <QVector>
#include <QWidget>

class HystogramChart;
class HystogramTimeline;

namespace Ui {
class FrameHystogram;
}

// The History page's chart: the bars of a window of records above an overview strip of all of them.
class FrameHystogram : public QWidget, public IObserver
{
    Q_OBJECT
public:
    using Sample = QPair<QDateTime, float>;
    using Level = QPair<float, QRgb>; // threshold, colour

    explicit FrameHystogram(QWidget *parent = nullptr);
    ~FrameHystogram() override;

    void setLevels(QRgb defaultColour, const QVector<Level> &levels);
    void setData(const QVector<Sample> &data);
    // Flat records: milliseconds since the epoch in time order (the lowest value of qint64 for
    // an unreadable time) and values. Shared with the caller, not copied: a million cost 12 MB.
    void setData(const QVector<qint64> &msecs, const QVector<float> &values);
    void clear();

    // The colour of a value: the level with the largest threshold not above it, else the default.
    QRgb colourOf(float value) const;

    HystogramChart *chart() const { return m_chart; }
    HystogramTimeline *timeline() const { return m_timeline; }

    void update(ISubject *subject) override;
    using QWidget::update;

private:
    void passToTimeline();

    Ui::FrameHystogram *m_ui;
    HystogramChart *m_chart;
    HystogramTimeline *m_timeline;
    QVector<qint64> m_msecs;
    QVector<float> m_values;
    QVector<Level> m_levels;
    QRgb m_defaultColour = qRgb(0x00, 0xAA, 0x00);
};
