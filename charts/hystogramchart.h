#pragma once

#include "charts/hystogrampoint.h"
#include "charts/isubject.h"

#include <QRectF>
#include <QStringList>
#include <QVector>
#include <QWidget>

// Bar chart of a window of history records, one bar per record, with scroll arrows at both ends.
class HystogramChart : public QWidget, public ISubject
{
    Q_OBJECT
public:
    static constexpr int kMarginPx = 30;
    // Two records further apart than this lost samples in between or start a new measuring block.
    static constexpr qint64 kGapSeconds = 16;

    struct GapMarker
    {
        double x = 0; // pixel, halfway between the two bars
        QDateTime time; // the later record's time
    };

    struct TimeLabel
    {
        double x = 0; // pixel of the moment under the plot
        double left = 0; // where the text starts, moved in from an edge
        QString text;
    };

    explicit HystogramChart(QWidget *parent = nullptr);

    void setData(const HystogramPoints &points);
    HystogramPoints data() const { return m_points; }
    void update(bool earlierPossible, bool laterPossible);
    using QWidget::update;

    bool earlierPressed() const { return m_earlierPressed; }
    bool laterPressed() const { return m_laterPressed; }
    bool earlierPossible() const { return m_earlierPossible; }
    bool laterPossible() const { return m_laterPossible; }

    // Shown instead of the scale while there is nothing to chart; empty when there is.
    void setHint(const QString &hint);
    QString hint() const { return m_hint; }

    QRectF plotRect() const;
    // The value labels the scale shows, from the bottom up, on round steps from zero; the bars are
    // drawn against the top one.
    QStringList valueLabels() const;
    // The time labels under the plot, left to right: whole minutes, hours or days, each once.
    QVector<TimeLabel> timeLabels() const;
    QRectF barRect(int index) const;
    QVector<GapMarker> gapMarkers() const;
    QRectF earlierArrowRect() const;
    QRectF laterArrowRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    double slotWidth() const;
    float largestValue() const { return m_largest; }
    void drawArrow(class QPainter &painter, const QRectF &area, bool pointsLeft) const;
    QVector<double> valueTicks() const;
    double scaleTop() const;
    double timeX(const QDateTime &time) const;
    double leftMargin() const;

    HystogramPoints m_points;
    QString m_hint;
    // The window's tallest drawable value, found once per setData rather than once per bar.
    float m_largest = 0;
    bool m_earlierPossible = false;
    bool m_laterPossible = false;
    bool m_earlierPressed = false;
    bool m_laterPressed = false;
};
