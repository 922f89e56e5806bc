#include "panels/measurementswidget.h"

#include "charts/graphplotter.h"
#include "device/commandhandle.h"
#include "device/device.h"
#include "device/environmentstate.h"
#include "panels/aggregatedosedialog.h"
#include "panels/usersettingswindow.h"
#include "tasks/resetaggregatedosetask.h"
#include "tasks/setaggregatedosetask.h"
#include "tasks/taskmanager.h"
#include "tasks/taskscheduler.h"

#include "ui_measurementswidget.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <QVariantHash>

#include <limits>

namespace {

const QColor kRightColour(32, 32, 208, 255);
const QColor kLeftColour(208, 32, 32, 255);
const QColor kAverageColour(32, 208, 32, 255);
const QColor kAggregateColour(160, 0, 160, 255);
// The dose grows to thousands while the sensors read tenths: it gets a chart area and axis of its own.
constexpr int kSensorGroup = 0;
constexpr int kDoseGroup = 1;
const char kStaleStyle[] = "color: gray;";

} // namespace

MeasurementsWidget::MeasurementsWidget(QWidget *parent)
    : DevicePanel(parent)
    , ui(std::make_unique<Ui::MeasurementsWidget>())
{
    ui->setupUi(this);
    connect(ui->resetAggregateDoseButton, &QPushButton::clicked, this, &MeasurementsWidget::OnResetAggregateDose);
    connect(ui->setAggregateButton, &QPushButton::clicked, this, &MeasurementsWidget::OnSetAggregateDose);
    connect(ui->levelsSettingsButton, &QPushButton::clicked, this, &MeasurementsWidget::OnLevelSettingsClicked);

    auto *chartLayout = new QVBoxLayout(ui->chartPanel);
    chartLayout->setSpacing(0);
    chartLayout->setContentsMargins(3, 3, 3, 3);
    m_chart = new GraphPlotter(0, 10, 5, ui->chartPanel);
    chartLayout->addWidget(m_chart);
    m_chart->addSeries(ui->rightSensorCheckBox->text(), &m_time, &m_right, kRightColour, kSensorGroup);
    m_chart->addSeries(ui->leftSensorCheckBox->text(), &m_time, &m_left, kLeftColour, kSensorGroup);
    m_chart->addSeries(ui->averageCheckBox->text(), &m_time, &m_average, kAverageColour, kSensorGroup);
    m_chart->addSeries(ui->aggregateCheckBox->text(), &m_time, &m_aggregate, kAggregateColour, kDoseGroup);

    connect(ui->rightSensorCheckBox, &QCheckBox::stateChanged, this, &MeasurementsWidget::OnRightStateChanged);
    connect(ui->leftSensorCheckBox, &QCheckBox::stateChanged, this, &MeasurementsWidget::OnLeftStateChanged);
    connect(ui->averageCheckBox, &QCheckBox::stateChanged, this, &MeasurementsWidget::OnAverageStateChanged);
    connect(ui->aggregateCheckBox, &QCheckBox::stateChanged, this, &MeasurementsWidget::OnAggregateStateChanged);

    m_sampleClock = 0;
    m_chart->setStartTime(QDateTime::currentDateTime());
    m_settingsWindow = std::make_unique<UserSettingsWindow>();
    m_warningLevel = m_settingsWindow->warningLevel();
    m_criticalLevel = m_settingsWindow->criticalLevel();
    connect(m_settingsWindow.get(), &UserSettingsWindow::settingsChanged, this, &MeasurementsWidget::OnSettingsChanged);
    // A sign that comes and goes must not shift the displays beside it.
    for (QLabel *sign : { ui->leftSensorOverflowLabel, ui->rightSensorOverflowLabel, ui->averageOwerflowLabel }) {
        QSizePolicy policy = sign->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        sign->setSizePolicy(policy);
        sign->hide();
    }
    m_disagreementNotice = new QLabel(
        tr("The two sensors have disagreed for five minutes: one of them may be covered or faulty."), this);
    m_disagreementNotice->setObjectName(QStringLiteral("disagreementNotice"));
    m_disagreementNotice->setWordWrap(true);
    m_disagreementNotice->setStyleSheet(QStringLiteral("color: gray;"));
    m_disagreementNotice->hide();
    ui->verticalLayout->addWidget(m_disagreementNotice);
    resetDisplay();
    m_agreementClock = [clock = std::make_shared<QElapsedTimer>()] {
        if (!clock->isValid())
            clock->start();
        return clock->elapsed();
    };
}

MeasurementsWidget::~MeasurementsWidget()
{
    stopPolling();
}

void MeasurementsWidget::stopPolling()
{
    if (m_pollTimerId != -1)
        killTimer(m_pollTimerId);
    m_pollTimerId = -1;
    m_awaitingSample = false;
    if (m_pendingRead)
        disconnect(m_pendingRead, nullptr, this, nullptr);
    m_pendingRead = nullptr;
}

void MeasurementsWidget::deviceChanged()
{
    stopPolling();
    resetDisplay();
    if (device()) {
        m_pollTimerId = startTimer(m_pollIntervalMs);
        // The first reading at once, not a poll period later; the timer brings the next ones.
        requestReading();
    }
}

void MeasurementsWidget::deviceCleared()
{
    stopPolling();
    resetDisplay();
}

void MeasurementsWidget::resetDisplay()
{
    for (QLCDNumber *display : { ui->leftSensorDisplay, ui->rightSensorDisplay, ui->averageDisplay, ui->aggregatedDisplay })
        showNoReading(display);
    for (QLabel *sign : { ui->leftSensorOverflowLabel, ui->rightSensorOverflowLabel, ui->averageOwerflowLabel })
        sign->hide();
    m_readingTime = QDateTime();
    m_stale = false;
    m_shownDose = 0;
    m_agreement.reset();
    m_disagreementNotice->hide();
    m_sampleClock = 0;
    m_chart->setStartTime(QDateTime::currentDateTime());
    m_time.clear();
    m_left.clear();
    m_right.clear();
    m_average.clear();
    m_aggregate.clear();
    m_chart->update();
}

void MeasurementsWidget::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_pollTimerId) {
        DevicePanel::timerEvent(event);
        return;
    }
    if (!device())
        return;
    if (m_awaitingSample)
        readingMissed();
    requestReading();
}

void MeasurementsWidget::requestReading()
{
    Device *current = device();
    if (!current)
        return;
    m_awaitingSample = true;
    // Behind a long transfer the reads would pile up, one more every tick: one at a time per
    // device, and a tick that finds it still waiting is a gap.
    const TaskScheduler *scheduler = TaskManager::instance()->scheduler(current->name());
    if (scheduler && scheduler->pendingTasks(Device::ReadEnvironment) > 0)
        return;
    CommandHandle *handle = current->executeCommand(Device::ReadEnvironment, QVariant());
    if (!handle)
        return;
    // A failed read never becomes a data item; its handle is where the panel learns of it.
    m_pendingRead = handle;
    connect(handle, &CommandHandle::finished, this, [this, handle](const TaskResult &result) {
        if (handle != m_pendingRead)
            return;
        m_pendingRead = nullptr;
        if (result.code() != TaskResult::Successful && m_awaitingSample) {
            m_awaitingSample = false;
            readingMissed();
        }
    });
}

// A reading that did not come: a gap on the time axis, and the displays' reading is now old.
void MeasurementsWidget::readingMissed()
{
    m_sampleClock += kSampleStepSeconds;
    markStale();
}

void MeasurementsWidget::markStale()
{
    if (m_stale || !m_readingTime.isValid())
        return;
    m_stale = true;
    const QString when = tr("Last reading: %1").arg(m_readingTime.toString(QStringLiteral("dd.MM.yy hh:mm:ss")));
    for (QLCDNumber *display : { ui->leftSensorDisplay, ui->rightSensorDisplay, ui->averageDisplay, ui->aggregatedDisplay }) {
        display->setStyleSheet(QLatin1String(kStaleStyle));
        const QString value = display->toolTip();
        display->setToolTip(value.isEmpty() ? when : value + QLatin1Char('\n') + when);
    }
}

void MeasurementsWidget::deviceDataUpdated(int id)
{
    Device *current = device();
    if (!current)
        return;
    switch (id) {
    case Device::ReadEnvironment:
        showEnvironment(current->data(id));
        break;
    case Device::ResetAggregateDose:
        processResetDose(current->data(id));
        break;
    case Device::SetAggregateDose:
        processSetDose(current->data(id));
        break;
    default:
        break;
    }
}

QString MeasurementsWidget::levelStyle(double value, double warningLevel, double criticalLevel)
{
    if (value < warningLevel)
        return QStringLiteral("color: rgba(54, 184, 0, 255);");
    if (value < criticalLevel)
        return QStringLiteral("color: yellow;");
    return QStringLiteral("color: red;");
}

void MeasurementsWidget::showValue(QLCDNumber *display, double value)
{
    // Hundredths exactly as the device sent them. A value too wide for the display is shown as
    // dashes with the number in the tool tip, never rounded and never as the previous reading.
    const QString text = QString::number(value, 'f', 2);
    const int digits = text.size() - (display->smallDecimalPoint() ? 1 : 0);
    if (digits > display->digitCount()) {
        display->display(QString(display->digitCount(), QLatin1Char('-')));
        display->setToolTip(text);
    } else {
        display->display(text);
        display->setToolTip(QString());
    }
}

void MeasurementsWidget::showNoReading(QLCDNumber *display)
{
    // Nothing measured yet: a dash, never a zero the monitor did not report.
    display->display(QStringLiteral("-"));
    display->setToolTip(tr("No reading yet"));
    display->setStyleSheet(QString());
}

void MeasurementsWidget::showEnvironment(const QVariant &value)
{
    m_awaitingSample = false;
    if (!value.isValid()) {
        readingMissed();
        return;
    }
    if (m_time.isEmpty()) {
        // The time axis starts at the first reading, whatever was missed before it.
        m_sampleClock = 0;
        m_chart->setStartTime(QDateTime::currentDateTime());
    }
    m_readingTime = QDateTime::currentDateTime();
    m_stale = false;
    const EnvironmentState state = value.canConvert<EnvironmentState>() ? value.value<EnvironmentState>()
                                                                         : EnvironmentState();
    const double left = EnvironmentState::display(state.left);
    const double right = EnvironmentState::display(state.right);
    const double aggregate = EnvironmentState::display(state.dose);
    const double average = EnvironmentState::display(state.average);
    m_disagreementNotice->setVisible(m_agreement.add(m_agreementClock(), left, right));

    ui->leftSensorOverflowLabel->setVisible(left >= m_warningLevel);
    ui->rightSensorOverflowLabel->setVisible(right >= m_warningLevel);
    ui->averageOwerflowLabel->setVisible(average >= m_warningLevel);

    showValue(ui->leftSensorDisplay, left);
    showValue(ui->rightSensorDisplay, right);
    showValue(ui->averageDisplay, average);
    showValue(ui->aggregatedDisplay, aggregate);
    m_shownDose = aggregate;

    const QList<QPair<QLCDNumber *, double>> coloured {
        { ui->leftSensorDisplay, left }, { ui->rightSensorDisplay, right }, { ui->averageDisplay, average }
    };
    for (const auto &entry : coloured)
        entry.first->setStyleSheet(levelStyle(entry.second, m_warningLevel, m_criticalLevel));
    ui->aggregatedDisplay->setStyleSheet(QString());

    m_time.append(m_sampleClock);
    m_left.append(left);
    m_right.append(right);
    m_average.append(average);
    m_aggregate.append(aggregate);
    m_chart->setWindow(std::numeric_limits<int>::max(), m_chart->windowLength());
    m_chart->update();
    m_sampleClock += kSampleStepSeconds;
}

void MeasurementsWidget::seriesStateChanged(const Series &series, int state)
{
    if (state == Qt::Checked)
        m_chart->addSeries(series.box->text(), &m_time, series.data, series.colour,
                           series.data == &m_aggregate ? kDoseGroup : kSensorGroup);
    else if (state == Qt::Unchecked)
        m_chart->removeSeries(series.box->text());
}

void MeasurementsWidget::OnRightStateChanged(int state)
{
    seriesStateChanged({ ui->rightSensorCheckBox, &m_right, kRightColour }, state);
}

void MeasurementsWidget::OnLeftStateChanged(int state)
{
    seriesStateChanged({ ui->leftSensorCheckBox, &m_left, kLeftColour }, state);
}

void MeasurementsWidget::OnAverageStateChanged(int state)
{
    seriesStateChanged({ ui->averageCheckBox, &m_average, kAverageColour }, state);
}

void MeasurementsWidget::OnAggregateStateChanged(int state)
{
    seriesStateChanged({ ui->aggregateCheckBox, &m_aggregate, kAggregateColour }, state);
}

void MeasurementsWidget::OnLevelSettingsClicked()
{
    auto *button = qobject_cast<QWidget *>(sender());
    if (!button)
        return;
    const QPoint corner = button->mapToGlobal(button->rect().bottomRight());
    m_settingsWindow->move(corner.x() - m_settingsWindow->width(), corner.y());
    m_settingsWindow->show();
}

void MeasurementsWidget::OnSettingsChanged()
{
    m_warningLevel = m_settingsWindow->warningLevel();
    m_criticalLevel = m_settingsWindow->criticalLevel();
}

void MeasurementsWidget::OnResetAggregateDose()
{
    const DeviceTarget target = currentTarget();
    if (!target.device)
        return;
    QString password;
    if (!passwordForCommand(tr("Reset password"), tr("Please enter the reset password."), &password))
        return;
    QVariantHash params;
    params.insert(QLatin1String(ResetAggregateDoseTask::kPasswordKey), password);
    if (Device *current = targetStillShown(target))
        current->executeCommand(Device::ResetAggregateDose, params);
}

void MeasurementsWidget::processResetDose(const QVariant &result)
{
    if (!acceptedWithPassword(result, ui->resetAggregateDoseButton, tr("Reset aggregate dose"),
                              tr("Aggregate dose wasn't reset because the password was wrong.")))
        return;
    showValue(ui->aggregatedDisplay, 0);
    m_shownDose = 0;
    QMessageBox::information(this, tr("Reset aggregate dose"), tr("Aggregate dose was reset successfully."),
                             QMessageBox::Ok);
}

void MeasurementsWidget::OnSetAggregateDose()
{
    const DeviceTarget target = currentTarget();
    if (!target.device)
        return;
    AggregateDoseDialog doseDialog(m_shownDose, this);
    if (doseDialog.exec() != QDialog::Accepted)
        return;
    const double dose = doseDialog.value();
    const quint32 seconds = quint32(doseDialog.duration());
    QString password;
    if (!passwordForCommand(tr("Dose set password"), tr("Please enter the dose set password."), &password))
        return;
    QVariantHash params;
    params.insert(QLatin1String(SetAggregateDoseTask::kPasswordKey), password);
    params.insert(QLatin1String(SetAggregateDoseTask::kValueKey), dose);
    params.insert(QLatin1String(SetAggregateDoseTask::kTimeKey), seconds);
    if (Device *current = targetStillShown(target)) {
        m_requestedDose = dose;
        current->executeCommand(Device::SetAggregateDose, params);
    }
}

void MeasurementsWidget::processSetDose(const QVariant &result)
{
    if (!acceptedWithPassword(result, ui->setAggregateButton, tr("Set aggregate dose"),
                              tr("Aggregate dose wasn't set because the password was wrong.")))
        return;
    showValue(ui->aggregatedDisplay, m_requestedDose);
    m_shownDose = m_requestedDose;
    QMessageBox::information(this, tr("Set aggregate dose"), tr("Aggregate dose was set successfully."),
                             QMessageBox::Ok);
}
