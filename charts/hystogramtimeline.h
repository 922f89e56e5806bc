#pragma once

#include "charts/hystogrampoint.h"
#include "charts/isubject.h"
#include "history/historyformat.h"

#include <QVector>
#include <QWidget>

#include <functional>

// Overview strip under the histogram: every record as a thin bar at its time, with the window of
// records the chart shows highlighted. Press, drag and the wheel move and size the window.
class HystogramTimeline : public QWidget, public ISubject
{
    Q_OBJECT
public:
    static constexpr qint64 kDefaultLength = 20;
    static constexpr qint64 kMinWheelLength = 10;
    static constexpr QRgb kDefaultColour = 0xFF00AA00;

    explicit HystogramTimeline(QWidget *parent = nullptr);

    using Colouring = std::function<QRgb(float)>;

    // Flat series: milliseconds since the epoch (in time order) and values, shared, not copied;
    // bars are coloured by `colourOf`. Points are made only for the window.
    void setSeries(const QVector<qint64> &msecs, const QVector<float> &values,
                   const Colouring &colourOf);
    void setData(const HystogramPoints &points);
    int count() const { return m_msecs.size(); }
    // Every point, made on each call: for inspection, not for drawing.
    HystogramPoints points() const;
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
    HystogramPoint pointAt(int index) const;
    void load(const QVector<qint64> &msecs, const QVector<float> &values,
              const Colouring &colourOf, const QVector<QRgb> &colours);
    QRgb colourAt(int index) const;

    QVector<qint64> m_msecs;
    QVector<float> m_values;
    Colouring m_colourOf;
    QVector<QRgb> m_colours; // per point, when given so (setData)
    mutable HistoryFormat::LocalOffsetCache m_zoneOffsets;
    // Seconds of every point after the first, worked out once per setData.
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
