#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

// One entry of the language catalogue "languages.xml".
struct LanguageInfo
{
    QString name;      // locale name, e.g. "ru_RU"; names the translation files and the setting
    qint16 id = -1;
    QString localized; // the language's name in that language, for the language menu

    bool operator==(const LanguageInfo &other) const
    {
        return name == other.name && id == other.id && localized == other.localized;
    }
    bool operator!=(const LanguageInfo &other) const { return !(*this == other); }
};
Q_DECLARE_METATYPE(LanguageInfo)

// The languages the program can be shown in, read from "languages.xml", and the one chosen.
class LanguageManager : public QObject
{
    Q_OBJECT
public:
    static LanguageManager *instance();

    // The application uses instance(); tests build catalogues of their own.
    explicit LanguageManager(QObject *parent = nullptr);

    // Appends every "lang" element of the file to the catalogue. False, with the catalogue
    // unchanged, when the path is empty, the file cannot be read or is not well-formed XML.
    bool load(const QString &path);
    // Makes the first entry with that name current; false, and no change, when there is none.
    bool setCurrentLanguage(const QString &name);

    QList<LanguageInfo> languages() const { return m_languages; }
    LanguageInfo currentLanguage() const { return m_current; }

private:
    QList<LanguageInfo> m_languages;
    LanguageInfo m_current;
};
