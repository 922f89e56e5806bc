#pragma once

#include <QtGlobal>

// Watches the two sensors of a monitor for a lasting disagreement: one sensor failing or covered
// shows as readings far apart for minutes, while noise parts them only for a moment. Advisory.
class SensorAgreement
{
public:
    struct Threshold
    {
        double fraction; // of the larger reading
        double minimum; // display units
        qint64 holdMs; // how long the difference must last
    };
    // Apart by more than half of the larger reading and by more than 0.2, for 5 minutes running.
    static constexpr Threshold kThreshold { 0.5, 0.2, 5 * 60 * 1000 };

    // Whether one pair of readings (display units) is apart by the threshold.
    static bool differ(double left, double right);

    // Takes one reading at timeMs (a monotonic clock) and tells whether the sensors disagree now.
    bool add(qint64 timeMs, double left, double right);
    bool disagree() const { return m_disagree; }
    // Forgets the run so far, as when another monitor comes or readings stop.
    void reset();

private:
    qint64 m_since = -1; // first reading of the current run of differing readings, -1 when none
    bool m_disagree = false;
};
