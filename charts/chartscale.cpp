#include "charts/chartscale.h"

#include <QSet>
#include <QString>
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

QVector<double> roundTicks(double top, int maxDivisions)
{
    if (!(top > 0) || !std::isfinite(top) || maxDivisions < 1)
        return { 0.0 };
    const int exponent = int(std::floor(std::log10(top / maxDivisions)));
    // Multiples are built as i × m / 10^k so that 3 × 0.1 is the double nearest 0.3.
    const auto tick = [exponent](qint64 multiple) {
        return exponent >= 0 ? double(multiple) * std::pow(10.0, exponent)
                             : double(multiple) / std::pow(10.0, -exponent);
    };
    for (int mantissa : { 1, 2, 5, 10, 20 }) {
        const double step = tick(mantissa);
        const double parts = std::ceil(top / step * (1 - 1e-12));
        if (parts > maxDivisions)
            continue;
        QVector<double> ticks;
        for (qint64 i = 0; i <= qint64(parts); ++i)
            ticks.append(tick(i * mantissa));
        return ticks;
    }
    return { 0.0, top };
}

QString tickText(double value)
{
    return QString::number(value, 'g', 6);
}

QVector<QDateTime> timeTicks(const QDateTime &first, const QDateTime &last, int maxLabels)
{
    QVector<QDateTime> ticks;
    if (!first.isValid() || !last.isValid() || last < first)
        return ticks;
    constexpr qint64 kDay = 86400;
    const qint64 span = first.secsTo(last);
    const int wanted = qMax(1, maxLabels);
    qint64 step = 60;
    for (qint64 candidate : { 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400,
                              2 * 86400, 7 * 86400, 14 * 86400 }) {
        step = candidate;
        if (span / step + 1 <= wanted)
            break;
    }
    while (span / step + 1 > wanted)
        step *= 2;

    // In the zone of first, whatever kind it is.
    const auto at = [&first](const QDate &day, const QTime &time) {
        QDateTime moment = first;
        moment.setDate(day);
        moment.setTime(time);
        return moment;
    };
    QSet<QString> seen;
    const auto add = [&](const QDateTime &moment) {
        // A clock put back repeats an hour; each label is shown once.
        const QString text = moment.toString(QStringLiteral("dd.MM.yy hh:mm"));
        if (moment < first || moment > last || seen.contains(text))
            return;
        seen.insert(text);
        ticks.append(moment);
    };
    for (QDate day = first.date(); day <= last.date(); day = day.addDays(1)) {
        if (step >= kDay) {
            if (day.toJulianDay() % (step / kDay) == 0)
                add(at(day, QTime(0, 0)));
            continue;
        }
        for (qint64 second = 0; second < kDay; second += step)
            add(at(day, QTime(0, 0).addSecs(int(second))));
    }
    if (ticks.isEmpty()) {
        const QTime start = first.time();
        ticks.append(at(first.date(), QTime(start.hour(), start.minute())));
    }
    return ticks;
}

double clampPixel(double pixel)
{
    if (std::isnan(pixel))
        return 0;
    return qBound(-kMaxPixel, pixel, kMaxPixel);
}

} // namespace ChartScale
