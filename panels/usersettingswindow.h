#pragma once

#include <QSettings>
#include <QWidget>

#include <memory>

namespace Ui {
class UserSettingsWindow;
}

// Pop-up with the two radiation alert levels, kept in the settings store.
class UserSettingsWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr const char *kWarningLevelKey = "WarningLevel";
    static constexpr const char *kCriticalLevelKey = "CriticalLevel";
    static constexpr double kDefaultWarningLevel = 1.0;
    static constexpr double kDefaultCriticalLevel = 2.0;

    explicit UserSettingsWindow(QWidget *parent = nullptr);
    ~UserSettingsWindow() override;

    double warningLevel() const;
    double criticalLevel() const;

signals:
    void settingsChanged();

private slots:
    void OnApplyClicked();
    void OnCancelClicked();
    void OnCriticalChanged(double value);

private:
    void load();

    QSettings m_settings;
    std::unique_ptr<Ui::UserSettingsWindow> ui;
};
