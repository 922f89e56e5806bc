#pragma once

#include "charts/showbox.h"

#include <QColor>
#include <QVector>
#include <QWidget>

// Overview strip under (or beside) the chart areas. It keeps the visible window over the points of
// the plotter's first series and lets the user move it by pressing or dragging and size it with the
// wheel.
class GraphTimeline : public QWidget
{
    Q_OBJECT
public:
    static constexpr qint64 kDefaultLength = 50;
    static constexpr qint64 kMinLength = 2;

    explicit GraphTimeline(int orientation, QWidget *parent = nullptr);

    // The time vector of the first series (nullptr without series); the window indexes into it.
    void setTimeData(const QVector<double> *timeData);
    qint64 pointCount() const;

    void setWindow(qint64 first, qint64 length);
    ShowBox showBox() const { return m_box; }
    qint64 windowStart() const { return m_box.first; }
    qint64 windowLength() const { return m_box.length; }

    // Re-applies the window rules after the caller appended points.
    void refresh();

signals:
    void showBoxChanged(ShowBox box);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void clamp();
    void setLength(qint64 length);
    void centreOnPixel(double pixel);
    double timeExtent() const;
    double timePixel(double time) const;
    void publish();

    int m_orientation;
    const QVector<double> *m_timeData = nullptr;
    ShowBox m_box { 0, kDefaultLength };
    // The length asked for; the shown window is shorter only while there are fewer points.
    qint64 m_wantedLength = kDefaultLength;
    ShowBox m_published { -1, -1 };
    QColor m_baseColour { 70, 130, 180 };
};
