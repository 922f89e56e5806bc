#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class WelcomeForm;
}

// The page shown while no device is selected; its button leads to history mode.
class WelcomeForm : public QWidget
{
    Q_OBJECT
public:
    explicit WelcomeForm(QWidget *parent = nullptr);
    ~WelcomeForm() override;

signals:
    void ShowAutonomousFrame();

private slots:
    void on_pushAutonomousState_clicked();

private:
    std::unique_ptr<Ui::WelcomeForm> ui;
};
