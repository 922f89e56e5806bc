#pragma once

#include <QWidget>

namespace Ui {
class UpdateConfirmationFrame;
}

// Shows the running and the newest version and asks whether to download the newest.
class UpdateConfirmationFrame : public QWidget
{
    Q_OBJECT
public:
    explicit UpdateConfirmationFrame(QWidget *parent = nullptr);
    ~UpdateConfirmationFrame() override;

    void setVersions(const QString &current, const QString &latest);

signals:
    void confirmed();
    void canceled();

private:
    Ui::UpdateConfirmationFrame *ui;
};
