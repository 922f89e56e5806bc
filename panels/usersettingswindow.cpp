#include "panels/usersettingswindow.h"

#include "ui_usersettingswindow.h"

UserSettingsWindow::UserSettingsWindow(QWidget *parent)
    : QWidget(parent, Qt::Popup)
    , m_settings(QStringLiteral("VARNO Ltd"), QStringLiteral("VARNO Device Manager"))
    , ui(std::make_unique<Ui::UserSettingsWindow>())
{
    ui->setupUi(this);
    connect(ui->okButton, &QPushButton::clicked, this, &UserSettingsWindow::OnApplyClicked);
    connect(ui->cancelButton, &QPushButton::clicked, this, &UserSettingsWindow::OnCancelClicked);
    connect(ui->criticalLevelBox, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
            &UserSettingsWindow::OnCriticalChanged);
    load();
}

UserSettingsWindow::~UserSettingsWindow() = default;

double UserSettingsWindow::warningLevel() const
{
    return ui->warningLevelBox->value();
}

double UserSettingsWindow::criticalLevel() const
{
    return ui->criticalLevelBox->value();
}

void UserSettingsWindow::load()
{
    // Critical first: it bounds the warning level, which is clamped to it when stored above it.
    ui->criticalLevelBox->setValue(
        m_settings.value(QLatin1String(kCriticalLevelKey), kDefaultCriticalLevel).toDouble());
    OnCriticalChanged(ui->criticalLevelBox->value());
    ui->warningLevelBox->setValue(m_settings.value(QLatin1String(kWarningLevelKey), kDefaultWarningLevel).toDouble());
}

void UserSettingsWindow::OnCriticalChanged(double value)
{
    ui->warningLevelBox->setMaximum(value);
}

void UserSettingsWindow::OnApplyClicked()
{
    m_settings.setValue(QLatin1String(kWarningLevelKey), ui->warningLevelBox->value());
    m_settings.setValue(QLatin1String(kCriticalLevelKey), ui->criticalLevelBox->value());
    m_settings.sync();
    hide();
    emit settingsChanged();
}

void UserSettingsWindow::OnCancelClicked()
{
    load();
    hide();
}
