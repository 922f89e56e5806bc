#include "history/ui/searchwidget.h"

#include "ui_searchwidget.h"

#include <QPushButton>

SearchWidget::SearchWidget(QWidget *parent)
    : QFrame(parent)
    , ui(std::make_unique<Ui::SearchWidget>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Popup);
    connect(ui->initialDateTimeEdit, &QDateTimeEdit::dateTimeChanged, this,
            &SearchWidget::OnInitialTimeChanged);
    connect(ui->searchButton, &QPushButton::clicked, this, &SearchWidget::OnSearchClicked);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QWidget::hide);
}

SearchWidget::~SearchWidget() = default;

void SearchWidget::setRange(const QDateTime &minimum, const QDateTime &maximum)
{
    if (!minimum.isValid() || !maximum.isValid())
        return;
    ui->initialDateTimeEdit->setDateTimeRange(minimum, maximum);
    ui->endDateTimeEdit->setDateTimeRange(minimum, maximum);
    // The end never goes before the chosen start, also when the start did not change.
    OnInitialTimeChanged(ui->initialDateTimeEdit->dateTime());
}

void SearchWidget::setTimes(const QDateTime &initial, const QDateTime &end)
{
    if (initial.isValid())
        ui->initialDateTimeEdit->setDateTime(initial);
    if (end.isValid())
        ui->endDateTimeEdit->setDateTime(end);
}

QDateTime SearchWidget::initialTime() const
{
    return ui->initialDateTimeEdit->dateTime();
}

QDateTime SearchWidget::endTime() const
{
    return ui->endDateTimeEdit->dateTime();
}

bool SearchWidget::isAdvancedSearch() const
{
    return ui->SearchValueGroup->isChecked();
}

double SearchWidget::value() const
{
    return ui->valueSpinBox->value();
}

QString SearchWidget::condition() const
{
    return ui->condition->currentText();
}

void SearchWidget::OnInitialTimeChanged(const QDateTime &time)
{
    ui->endDateTimeEdit->setMinimumDateTime(time);
}

void SearchWidget::OnSearchClicked()
{
    emit searchActivated();
    hide();
}
