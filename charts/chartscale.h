#pragma once

#include <QDateTime>
#include <QVector>

// Number helpers shared by the chart widgets. Values from the device or a file can be NaN, infinite
// or near the limits of a double; these keep the arithmetic finite so painting never sees garbage.
namespace ChartScale {

struct Range
{
    double min = 0;
    double max = 0;
    bool valid = false; // at least one finite value was seen

    void include(double value);
    bool isEmpty() const { return !valid || min == max; }
};

// Position of value within [min, max] as a fraction; 0.5 when the range is empty.
double fraction(double value, double min, double max);

// The range widened by the given share of its span at both ends (overflow-safe).
Range widened(const Range &range, double share);

// Inverse of fraction over a pixel extent: min + pixel / extent * (max - min), 0 without extent.
double valueAt(double pixel, double extent, double min, double max);

// Label positions between min and max for an axis of extent pixels: the first label one minimum
// gap above min, then steps of the larger of the gap and (span - 2 gap) / (count - 1).
QVector<double> labelValues(double min, double max, double extentPx, double minGapPx, int count);

// Ticks of a value axis from zero: steps of 1, 2 or 5 × 10^n, the smallest that divide [0, top]
// into at most maxDivisions parts, up to the first multiple at or above top. Just {0} when top is
// not a positive finite number.
QVector<double> roundTicks(double top, int maxDivisions);

// Label text for a tick of roundTicks: no digits the step does not have.
QString tickText(double value);

// Moments for time labels between first and last: whole minutes, hours or days of local time, at
// the smallest step (1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h, 1, 2, 7, 14 days, doubling on) that
// gives at most maxLabels of them, each shown once. When no such moment falls in the span, the
// minute of first.
QVector<QDateTime> timeTicks(const QDateTime &first, const QDateTime &last, int maxLabels);

// Keeps a pixel coordinate in a range QPainter handles without overflowing its fixed-point math.
double clampPixel(double pixel);

} // namespace ChartScale
