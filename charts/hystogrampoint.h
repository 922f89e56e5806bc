#pragma once

#include <QDateTime>
#include <QRgb>
#include <QVector>

// One bar of the histogram: a history record's time, its value and the colour of its level.
struct HystogramPoint
{
    QDateTime time;
    float value = 0;
    QRgb colour = 0;
};

using HystogramPoints = QVector<HystogramPoint>;
