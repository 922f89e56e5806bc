#include "app/languagemanager.h"

#include "link/logging.h"

#include <QDomDocument>
#include <QFile>

LanguageManager *LanguageManager::instance()
{
    static LanguageManager *manager = new LanguageManager();
    return manager;
}

LanguageManager::LanguageManager(QObject *parent)
    : QObject(parent)
{
}

bool LanguageManager::load(const QString &path)
{
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;

    QDomDocument document;
    QString error;
    int line = 0;
    int column = 0;
    if (!document.setContent(&file, &error, &line, &column)) {
        VWARN << "Language catalogue " << path << " is malformed at " << line << ':' << column
             << ": " << error;
        return false;
    }

    const QDomNodeList entries = document.elementsByTagName(QStringLiteral("lang"));
    for (int i = 0; i < entries.size(); ++i) {
        const QDomElement element = entries.at(i).toElement();
        LanguageInfo info;
        info.name = element.attribute(QStringLiteral("Name"));
        // An empty, non-numeric or out-of-range id reads as 0.
        info.id = element.attribute(QStringLiteral("Id")).toShort();
        info.localized = element.attribute(QStringLiteral("Localized"));
        m_languages.append(info);
    }
    return true;
}

bool LanguageManager::setCurrentLanguage(const QString &name)
{
    for (const LanguageInfo &info : qAsConst(m_languages)) {
        if (info.name == name) {
            m_current = info;
            return true;
        }
    }
    return false;
}
