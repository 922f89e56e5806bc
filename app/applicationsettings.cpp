#include "app/applicationsettings.h"

#include <QSettings>

ApplicationSettings *ApplicationSettings::instance()
{
    static ApplicationSettings *holder = new ApplicationSettings();
    return holder;
}

void ApplicationSettings::init(const QString &organisation, const QString &application)
{
    m_settings.reset();
    m_settings = std::make_unique<QSettings>(organisation, application);
}
