#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class AboutDialog;
}

// Frameless box with the program's version and maker; a click anywhere closes it.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    std::unique_ptr<Ui::AboutDialog> ui;
};
