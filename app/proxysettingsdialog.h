#pragma once

#include "app/proxysettings.h"

#include <QDialog>

namespace Ui {
class ProxySettingsDialog;
}

// Modal editor of one ProxySettings: the settings change only when the dialog is accepted.
class ProxySettingsDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ProxySettingsDialog(ProxySettings *settings, QWidget *parent = nullptr);
    ~ProxySettingsDialog() override;

    // What the dialog's fields say now.
    ProxySettings editedSettings() const;

public slots:
    void accept() override;

private slots:
    void OnInputChanged();

private:
    Ui::ProxySettingsDialog *ui;
    ProxySettings *m_settings;
};
