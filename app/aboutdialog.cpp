#include "app/aboutdialog.h"

#include "ui_aboutdialog.h"

#include <QCoreApplication>
#include <QMouseEvent>

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent, Qt::SplashScreen)
    , ui(std::make_unique<Ui::AboutDialog>())
{
    ui->setupUi(this);
    ui->versionLabel->setText(QCoreApplication::applicationVersion());
    ui->companyLabel->setText(QCoreApplication::organizationName());
    // The labels sit on the dialog's background picture.
    for (QWidget *label : {static_cast<QWidget *>(ui->deviceManagerLabel),
                           static_cast<QWidget *>(ui->versionTextLabel),
                           static_cast<QWidget *>(ui->versionLabel),
                           static_cast<QWidget *>(ui->copyrightLabel),
                           static_cast<QWidget *>(ui->companyLabel)}) {
        label->setAttribute(Qt::WA_TranslucentBackground);
    }
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    close();
}
