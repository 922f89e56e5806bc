#include "panels/passwordchangedialog.h"

#include "ui_passwordchangedialog.h"

#include <QMessageBox>

PasswordChangeDialog::PasswordChangeDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::PasswordChangeDialog>())
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    connect(ui->okButton, &QPushButton::clicked, this, &PasswordChangeDialog::OnAccept);
    connect(ui->cancelButton, &QPushButton::clicked, this, &PasswordChangeDialog::OnReject);
}

PasswordChangeDialog::~PasswordChangeDialog() = default;

void PasswordChangeDialog::OnAccept()
{
    if (ui->newPasswordLine->text() != ui->rnewPasswordLine->text()) {
        QMessageBox::warning(this, tr("Input error"), tr("Passwords aren't the same"), QMessageBox::Ok);
        return;
    }
    m_oldPassword = ui->oldPasswordLine->text();
    m_newPassword = ui->newPasswordLine->text();
    accept();
}

void PasswordChangeDialog::OnReject()
{
    reject();
}
