#include "update/ui/downloadframe.h"

#include "ui_downloadframe.h"

DownloadFrame::DownloadFrame(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::DownloadFrame)
{
    ui->setupUi(this);
    ui->fileLabel->setTextFormat(Qt::PlainText);
    connect(ui->cancelButton, &QPushButton::clicked, this, &DownloadFrame::canceled);
}

DownloadFrame::~DownloadFrame()
{
    delete ui;
}

void DownloadFrame::OnFileStarted(const QString &name, int index, int count)
{
    ui->fileLabel->setText(name);
    ui->fileCountLabel->setText(tr("File %1 of %2").arg(index + 1).arg(count));
    ui->downloadProgressBar->setRange(0, 100);
    ui->downloadProgressBar->setValue(0);
}

void DownloadFrame::OnProgress(qint64 received, qint64 total)
{
    if (total <= 0) {
        ui->downloadProgressBar->setRange(0, 0);
        return;
    }
    // Percent, since the bar's int range cannot hold large byte counts.
    ui->downloadProgressBar->setRange(0, 100);
    ui->downloadProgressBar->setValue(int(qBound<qint64>(0, received * 100 / total, 100)));
}
