#pragma once

#include <QDateTime>
#include <QWidget>

// Base of the axis strips: holds the moment that x = 0 stands for and the range to label.
class MainLegend : public QWidget
{
    Q_OBJECT
public:
    explicit MainLegend(QWidget *parent = nullptr);

    void setStartTime(const QDateTime &start);
    void clearStartTime();
    QDateTime startTime() const { return m_startTime; }

    double rangeMin() const { return m_min; }
    double rangeMax() const { return m_max; }

public slots:
    void setRange(double min, double max);

private:
    QDateTime m_startTime;
    double m_min = 0;
    double m_max = 0;
};
