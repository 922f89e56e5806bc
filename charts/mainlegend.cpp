#include "charts/mainlegend.h"

MainLegend::MainLegend(QWidget *parent)
    : QWidget(parent)
{
}

void MainLegend::setStartTime(const QDateTime &start)
{
    m_startTime = start;
    update();
}

void MainLegend::clearStartTime()
{
    m_startTime = QDateTime();
    update();
}

void MainLegend::setRange(double min, double max)
{
    if (min == m_min && max == m_max)
        return;
    m_min = min;
    m_max = max;
    update();
}
