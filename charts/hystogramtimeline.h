#pragma once

#include "charts/hystogrampoint.h"
#include "charts/isubject.h"

#include <QVector>
#include <QWidget>

// Overview strip under the histogram: every record as a thin bar at its time, with the window of
// records the chart shows highlighted. Press, drag and the wheel move and size the window.
class HystogramTimeline : public QWidget, public ISubject
{
    Q_OBJECT
public:
    static constexpr qint64 kDefaultLength = 20;
    static constexpr qint64 kMinWheelLength = 10;

    explicit HystogramTimeline(QWidget *parent = nullptr);

    void setData(const HystogramPoints &points);
    HystogramPoints points() const { return m_points; }
    // The points of the window; also refreshes the two flags below.
    HystogramPoints visiblePoints();
    bool canGoEarlier() const { return m_canGoEarlier; }
    bool canGoLater() const { return m_canGoLater; }
    void stepEarlier();
    void stepLater();

    qint64 windowStart() const { return m_start; }
    qint64 windowLength() const { return m_length; }
    qint64 spanSeconds() const { return m_spanSeconds; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void limit();
    void changed();
    void centreOnPixel(int x);
    double pixelOfSeconds(double seconds) const;
    void buildColumns();

    HystogramPoints m_points;
    // Seconds of every point after the first, worked out once per setData (time zone lookups are
    // far too slow to repeat for a million records on every repaint).
    QVector<qint64> m_offsets;
    qint64 m_start = 0;
    qint64 m_length = kDefaultLength;
    qint64 m_spanSeconds = 0;
    bool m_canGoEarlier = false;
    bool m_canGoLater = false;
    // One colour per pixel column (0 for an empty column), rebuilt when data or width change.
    QVector<QRgb> m_columns;
    bool m_columnsValid = false;
};
