#include "update/ui/updateconfirmationframe.h"

#include "ui_updateconfirmationframe.h"

UpdateConfirmationFrame::UpdateConfirmationFrame(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::UpdateConfirmationFrame)
{
    ui->setupUi(this);
    connect(ui->downloadButton, &QPushButton::clicked, this, &UpdateConfirmationFrame::confirmed);
    connect(ui->cancelButton, &QPushButton::clicked, this, &UpdateConfirmationFrame::canceled);
}

UpdateConfirmationFrame::~UpdateConfirmationFrame()
{
    delete ui;
}

void UpdateConfirmationFrame::setVersions(const QString &current, const QString &latest)
{
    // Server text: shown as plain text, never as markup.
    ui->currentVersionLabel->setTextFormat(Qt::PlainText);
    ui->latestVersionLabel->setTextFormat(Qt::PlainText);
    ui->currentVersionLabel->setText(current);
    ui->latestVersionLabel->setText(latest);
    ui->downloadButton->setFocus();
}
