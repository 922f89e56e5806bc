#include "panels/aggregatedosedialog.h"

#include "ui_aggregatedosedialog.h"

#include <QMessageBox>

#include <limits>

AggregateDoseDialog::AggregateDoseDialog(double value, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AggregateDoseDialog>())
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    setResult(QDialog::Rejected);
    const QDateTime now = QDateTime::currentDateTime();
    ui->aggregationFromTime->setDateTime(now.addDays(-1));
    ui->aggregationDueTime->setDateTime(now);
    ui->aggregationDueTime->setMinimumDateTime(ui->aggregationFromTime->dateTime());
    ui->aggregateDoseSpinBox->setValue(value);
    connect(ui->okButton, &QPushButton::clicked, this, &AggregateDoseDialog::OnAccepted);
    connect(ui->cancelButton, &QPushButton::clicked, this, &AggregateDoseDialog::OnRejected);
    connect(ui->aggregationFromTime, &QDateTimeEdit::dateTimeChanged, this, &AggregateDoseDialog::OnFromDateTimeChanged);
}

AggregateDoseDialog::~AggregateDoseDialog() = default;

double AggregateDoseDialog::value() const
{
    return ui->aggregateDoseSpinBox->value();
}

qint64 AggregateDoseDialog::duration() const
{
    return ui->aggregationFromTime->dateTime().secsTo(ui->aggregationDueTime->dateTime());
}

void AggregateDoseDialog::OnFromDateTimeChanged(const QDateTime &from)
{
    ui->aggregationDueTime->setMinimumDateTime(from);
}

void AggregateDoseDialog::OnAccepted()
{
    if (ui->aggregationFromTime->dateTime() >= ui->aggregationDueTime->dateTime()) {
        QMessageBox::warning(this, tr("Wrong dates"), tr("From date is later than due date or the same."),
                             QMessageBox::Ok);
        return;
    }
    // The device counts the period in 32 bits; a longer one would arrive cut short.
    if (duration() > qint64(std::numeric_limits<quint32>::max())) {
        QMessageBox::warning(this, tr("Wrong dates"), tr("The aggregation period is too long."), QMessageBox::Ok);
        return;
    }
    accept();
}

void AggregateDoseDialog::OnRejected()
{
    reject();
}
