#include "panels/inputpassworddialog.h"

#include "ui_inputpassworddialog.h"

InputPasswordDialog::InputPasswordDialog(const QString &title, const QString &text, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::InputPasswordDialog>())
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(title);
    ui->textLabel->setText(text);
    connect(ui->acceptButton, &QPushButton::clicked, this, &InputPasswordDialog::OnAcceptClicked);
    connect(ui->cancelButton, &QPushButton::clicked, this, &InputPasswordDialog::OnCancelClicked);
}

InputPasswordDialog::~InputPasswordDialog() = default;

void InputPasswordDialog::OnAcceptClicked()
{
    m_password = ui->passwordLineEdit->text();
    accept();
}

void InputPasswordDialog::OnCancelClicked()
{
    setResult(QDialog::Rejected);
    reject();
}
