#include "app/proxysettingsdialog.h"

#include "ui_proxysettingsdialog.h"

#include <QPushButton>

ProxySettingsDialog::ProxySettingsDialog(ProxySettings *settings, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ProxySettingsDialog)
    , m_settings(settings)
{
    ui->setupUi(this);
    setModal(true);

    const ProxySettings current = settings ? *settings : ProxySettings();
    switch (current.mode()) {
    case ProxySettings::SystemProxy:
        ui->systemProxyRadioButton->setChecked(true);
        break;
    case ProxySettings::ManualProxy:
        ui->manualProxyRadioButton->setChecked(true);
        break;
    case ProxySettings::NoProxy:
        ui->noProxyRadioButton->setChecked(true);
        break;
    }
    ui->addressLineEdit->setText(current.address());
    ui->portSpinBox->setValue(current.port() != 0 ? current.port() : ProxySettings::kDefaultPort);

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &ProxySettingsDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &ProxySettingsDialog::reject);
    connect(ui->noProxyRadioButton, &QRadioButton::toggled, this,
            &ProxySettingsDialog::OnInputChanged);
    connect(ui->systemProxyRadioButton, &QRadioButton::toggled, this,
            &ProxySettingsDialog::OnInputChanged);
    connect(ui->manualProxyRadioButton, &QRadioButton::toggled, this,
            &ProxySettingsDialog::OnInputChanged);
    connect(ui->addressLineEdit, &QLineEdit::textChanged, this,
            &ProxySettingsDialog::OnInputChanged);
    OnInputChanged();
}

ProxySettingsDialog::~ProxySettingsDialog()
{
    delete ui;
}

ProxySettings ProxySettingsDialog::editedSettings() const
{
    ProxySettings edited;
    if (ui->systemProxyRadioButton->isChecked())
        edited.setMode(ProxySettings::SystemProxy);
    else if (ui->manualProxyRadioButton->isChecked())
        edited.setMode(ProxySettings::ManualProxy);
    else
        edited.setMode(ProxySettings::NoProxy);
    // Address and port are kept whatever the mode, so switching back to manual finds them again.
    edited.setAddress(ui->addressLineEdit->text());
    edited.setPort(quint16(ui->portSpinBox->value()));
    return edited;
}

void ProxySettingsDialog::accept()
{
    const ProxySettings edited = editedSettings();
    if (!edited.isUsable())
        return;
    if (m_settings)
        *m_settings = edited;
    QDialog::accept();
}

void ProxySettingsDialog::OnInputChanged()
{
    const bool manual = ui->manualProxyRadioButton->isChecked();
    ui->addressLineEdit->setEnabled(manual);
    ui->portSpinBox->setEnabled(manual);
    ui->addressLabel->setEnabled(manual);
    ui->portLabel->setEnabled(manual);
    if (QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok))
        ok->setEnabled(editedSettings().isUsable());
}
