#include "update/ui/unifiedframe.h"

#include "ui_unifiedframe.h"

UnifiedFrame::UnifiedFrame(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::UnifiedFrame)
{
    ui->setupUi(this);
    // The text may quote the server's error strings: never interpret them as markup.
    ui->textLabel->setTextFormat(Qt::PlainText);
    connect(ui->closeButton, &QPushButton::clicked, this, &UnifiedFrame::closed);
}

UnifiedFrame::~UnifiedFrame()
{
    delete ui;
}

void UnifiedFrame::setMessage(const QString &title, const QString &text)
{
    ui->titleLabel->setText(title);
    ui->textLabel->setText(text);
    ui->closeButton->setFocus();
}

QString UnifiedFrame::title() const
{
    return ui->titleLabel->text();
}

QString UnifiedFrame::text() const
{
    return ui->textLabel->text();
}
