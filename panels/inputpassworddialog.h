#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class InputPasswordDialog;
}

// Asks for the device password before a protected command is sent again.
class InputPasswordDialog : public QDialog
{
    Q_OBJECT
public:
    InputPasswordDialog(const QString &title, const QString &text, QWidget *parent = nullptr);
    ~InputPasswordDialog() override;

    QString password() const { return m_password; }

private slots:
    void OnAcceptClicked();
    void OnCancelClicked();

private:
    std::unique_ptr<Ui::InputPasswordDialog> ui;
    QString m_password;
};
