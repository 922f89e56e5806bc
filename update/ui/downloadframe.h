#pragma once

#include <QWidget>

namespace Ui {
class DownloadFrame;
}

// Download progress: the file being fetched, its share received, and which file of how many.
class DownloadFrame : public QWidget
{
    Q_OBJECT
public:
    explicit DownloadFrame(QWidget *parent = nullptr);
    ~DownloadFrame() override;

public slots:
    void OnFileStarted(const QString &name, int index, int count);
    // total < 0: size unknown, the bar runs endless.
    void OnProgress(qint64 received, qint64 total);

signals:
    void canceled();

private:
    Ui::DownloadFrame *ui;
};
