#include "device/sensoragreement.h"

#include <QtMath>

#include <algorithm>

bool SensorAgreement::differ(double left, double right)
{
    const double difference = qAbs(left - right);
    const double larger = std::max(qAbs(left), qAbs(right));
    return difference > kThreshold.fraction * larger && difference > kThreshold.minimum;
}

bool SensorAgreement::add(qint64 timeMs, double left, double right)
{
    if (!differ(left, right)) {
        reset();
        return false;
    }
    // A clock that went back cannot measure the run: it starts again here.
    if (m_since < 0 || timeMs < m_since)
        m_since = timeMs;
    m_disagree = timeMs - m_since >= kThreshold.holdMs;
    return m_disagree;
}

void SensorAgreement::reset()
{
    m_since = -1;
    m_disagree = false;
}
