#pragma once

#include <QWidget>

namespace Ui {
class VersionSearchFrame;
}

// First page of the software update dialog: an endless bar while the server is asked.
class VersionSearchFrame : public QWidget
{
    Q_OBJECT
public:
    explicit VersionSearchFrame(QWidget *parent = nullptr);
    ~VersionSearchFrame() override;

signals:
    void canceled();

private:
    Ui::VersionSearchFrame *ui;
};
