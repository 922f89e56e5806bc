#include "app/welcomeform.h"

#include "ui_welcomeform.h"

WelcomeForm::WelcomeForm(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::WelcomeForm>())
{
    ui->setupUi(this);
}

WelcomeForm::~WelcomeForm() = default;

void WelcomeForm::on_pushAutonomousState_clicked()
{
    emit ShowAutonomousFrame();
}
