#include "update/ui/versionsearchframe.h"

#include "ui_versionsearchframe.h"

VersionSearchFrame::VersionSearchFrame(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::VersionSearchFrame)
{
    ui->setupUi(this);
    connect(ui->cancelButton, &QPushButton::clicked, this, &VersionSearchFrame::canceled);
}

VersionSearchFrame::~VersionSearchFrame()
{
    delete ui;
}
