#pragma once

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

// Keeps a pixel coordinate in a range QPainter handles without overflowing its fixed-point math.
double clampPixel(double pixel);

} // namespace ChartScale
