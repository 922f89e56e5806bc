#include "app/progressdialog.h"

#include "ui_progressdialog.h"

ProgressDialog::ProgressDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , ui(std::make_unique<Ui::ProgressDialog>())
{
    ui->setupUi(this);
    // Both bars keep a bar's height when the dialog grows.
    ui->barStack->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setPercent(-1);
}

ProgressDialog::~ProgressDialog() = default;

void ProgressDialog::setText(const QString &text)
{
    ui->textLabel->setText(text);
}

QString ProgressDialog::text() const
{
    return ui->textLabel->text();
}

void ProgressDialog::setPercent(int percent)
{
    m_percent = percent < 0 ? -1 : qMin(percent, 100);
    if (m_percent < 0) {
        ui->barStack->setCurrentWidget(ui->endlessBar);
    } else {
        ui->progressBar->setValue(m_percent);
        ui->barStack->setCurrentWidget(ui->progressBar);
    }
}
