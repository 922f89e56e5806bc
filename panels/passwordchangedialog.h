#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class PasswordChangeDialog;
}

// Old password and the new one typed twice; it closes only when the two new ones agree.
class PasswordChangeDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PasswordChangeDialog(QWidget *parent = nullptr);
    ~PasswordChangeDialog() override;

    QString oldPassword() const { return m_oldPassword; }
    QString newPassword() const { return m_newPassword; }

private slots:
    void OnAccept();
    void OnReject();

private:
    std::unique_ptr<Ui::PasswordChangeDialog> ui;
    QString m_oldPassword;
    QString m_newPassword;
};
