#pragma once

#include <QString>

#include <memory>

class QSettings;

// The settings object shared by the whole program (the history page keeps its folders there).
class ApplicationSettings
{
public:
    static ApplicationSettings *instance();

    // Replaces the held settings object with one for these names.
    void init(const QString &organisation, const QString &application);
    // Null until init() was called.
    QSettings *settings() const { return m_settings.get(); }

private:
    ApplicationSettings() = default;

    std::unique_ptr<QSettings> m_settings;
};
