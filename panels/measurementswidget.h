#pragma once

#include "device/sensoragreement.h"
#include "panels/devicepanel.h"

#include <QColor>
#include <QDateTime>
#include <QPointer>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>

class CommandHandle;
class GraphPlotter;
class QCheckBox;
class QLCDNumber;
class QLabel;
class UserSettingsWindow;

namespace Ui {
class MeasurementsWidget;
}

// The Measures tab: reads the environment when a device is bound and every 10 s after, shows the
// readings coloured by the alert levels, plots them and sets or resets the aggregated dose. Until
// the first reading the displays show a dash; a reading that a later read failed to replace stays,
// greyed, with its time in the tool tip.
class MeasurementsWidget : public DevicePanel
{
    Q_OBJECT
public:
    static constexpr int kPollIntervalMs = 10000;
    static constexpr int kSampleStepSeconds = 10;

    explicit MeasurementsWidget(QWidget *parent = nullptr);
    ~MeasurementsWidget() override;

    // For the tests, which cannot wait ten seconds per reading.
    void setPollInterval(int ms) { m_pollIntervalMs = ms; }
    bool isPolling() const { return m_pollTimerId != -1; }
    int sampleClock() const { return m_sampleClock; }
    const QVector<double> &timeData() const { return m_time; }
    GraphPlotter *chart() const { return m_chart; }
    // True while the displays hold a reading older than the last read that should have replaced it.
    bool isStale() const { return m_stale; }
    UserSettingsWindow *settingsWindow() const { return m_settingsWindow.get(); }
    // The quiet notice shown while the two sensors disagree, and for the tests, which cannot wait
    // five minutes, the clock (milliseconds) it measures the disagreement by.
    QLabel *disagreementNotice() const { return m_disagreementNotice; }
    void setAgreementClock(std::function<qint64()> clock) { m_agreementClock = std::move(clock); }

    // The display style for a value: green below the warning level, yellow up to the critical
    // level, red from there on.
    static QString levelStyle(double value, double warningLevel, double criticalLevel);

protected:
    void deviceChanged() override;
    void deviceCleared() override;
    void deviceDataUpdated(int id) override;
    void timerEvent(QTimerEvent *event) override;

private slots:
    void OnResetAggregateDose();
    void OnSetAggregateDose();
    void processResetDose(const QVariant &result);
    void processSetDose(const QVariant &result);
    void OnRightStateChanged(int state);
    void OnLeftStateChanged(int state);
    void OnAverageStateChanged(int state);
    void OnAggregateStateChanged(int state);
    void OnLevelSettingsClicked();
    void OnSettingsChanged();

private:
    struct Series
    {
        QCheckBox *box;
        const QVector<double> *data;
        QColor colour;
    };

    void stopPolling();
    void requestReading();
    void readingMissed();
    void markStale();
    void resetDisplay();
    void showEnvironment(const QVariant &value);
    void showValue(QLCDNumber *display, double value);
    void showNoReading(QLCDNumber *display);
    void seriesStateChanged(const Series &series, int state);

    std::unique_ptr<Ui::MeasurementsWidget> ui;
    int m_pollTimerId = -1;
    int m_pollIntervalMs = kPollIntervalMs;
    // True from a request until its reading arrives; a tick that finds it still set counts the
    // missed reading as a gap, since a failed read never reaches the panel as a data item.
    bool m_awaitingSample = false;
    QPointer<CommandHandle> m_pendingRead;
    // When the displays' reading arrived; invalid until the first one.
    QDateTime m_readingTime;
    bool m_stale = false;
    GraphPlotter *m_chart = nullptr;
    QVector<double> m_time;
    QVector<double> m_left;
    QVector<double> m_right;
    QVector<double> m_average;
    QVector<double> m_aggregate;
    int m_sampleClock = 0;
    std::unique_ptr<UserSettingsWindow> m_settingsWindow;
    double m_warningLevel = 1.0;
    double m_criticalLevel = 2.0;
    double m_requestedDose = 0.0;
    double m_shownDose = 0.0;
    SensorAgreement m_agreement;
    std::function<qint64()> m_agreementClock;
    QLabel *m_disagreementNotice = nullptr;
};
