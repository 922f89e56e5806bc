#include "charts/chartscale.h"

#include <QtGlobal>
#include <cmath>
#include <limits>

namespace ChartScale {

namespace {
constexpr double kMaxPixel = 1.0e6;
constexpr int kMaxLabels = 1000;
}

void Range::include(double value)
{
    if (!std::isfinite(value))
        return;
    if (!valid) {
        min = max = value;
        valid = true;
        return;
    }
    min = qMin(min, value);
    max = qMax(max, value);
}

// long double keeps max - min finite even when both ends are near the limits of a double.
double fraction(double value, double min, double max)
{
    if (!(max > min) || !std::isfinite(value))
        return 0.5;
    const long double span = static_cast<long double>(max) - min;
    return static_cast<double>((static_cast<long double>(value) - min) / span);
}

Range widened(const Range &range, double share)
{
    if (!range.valid)
        return range;
    const long double span = static_cast<long double>(range.max) - range.min;
    const long double lo = range.min - span * share;
    const long double hi = range.max + span * share;
    const long double limit = std::numeric_limits<double>::max();
    Range result = range;
    result.min = static_cast<double>(qMax(lo, -limit));
    result.max = static_cast<double>(qMin(hi, limit));
    return result;
}

double valueAt(double pixel, double extent, double min, double max)
{
    if (!(extent > 0))
        return 0;
    const long double span = static_cast<long double>(max) - min;
    return static_cast<double>(min + pixel / extent * span);
}

QVector<double> labelValues(double min, double max, double extentPx, double minGapPx, int count)
{
    QVector<double> values;
    if (!(max > min) || !std::isfinite(min) || !std::isfinite(max) || !(extentPx > 0))
        return values;
    const long double span = static_cast<long double>(max) - min;
    const long double gap = span * minGapPx / extentPx;
    long double step = gap;
    if (count > 1)
        step = qMax(gap, (span - 2 * gap) / (count - 1));
    if (!(step > 0))
        return values;
    for (long double v = min + gap; v <= max && values.size() < kMaxLabels; v += step)
        values.append(static_cast<double>(v));
    return values;
}

double clampPixel(double pixel)
{
    if (std::isnan(pixel))
        return 0;
    return qBound(-kMaxPixel, pixel, kMaxPixel);
}

} // namespace ChartScale
