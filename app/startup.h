#pragma once

#include <QString>

#include <functional>

class LanguageManager;
class QApplication;
class QCoreApplication;
class QSettings;
class QWidget;

namespace varno {

extern const char kOrganisationName[];
extern const char kOrganisationDomain[];
extern const char kApplicationName[];
extern const char kApplicationVersion[];
// Desktop entry and AppStream id; Wayland compositors match the window to it.
extern const char kDesktopFileName[];
extern const char kStyleSheetResource[];

// Organisation, domain, application name and version; settings depend on them, so this comes first.
void setApplicationIdentity();

// "locales" beside the program. An installed program sits in <prefix>/bin and finds them in
// <prefix>/share/varnodevm/locales instead, when that has a catalogue and the first does not.
QString localesDir();
QString localesDir(const QString &programDir);
QString languageCatalogPath();

// Installs "varnodevm_<locale>.qm" and "qt_<locale>.qm" from dir, each when it loads, and returns
// how many were installed. The translators stay installed for the life of the application.
int loadTranslators(QCoreApplication &app, const QString &localeName, const QString &dir = localesDir());

// The start-up language: the stored "Language" when the catalogue lists it, otherwise the system
// locale, which is then stored. Returns the locale to load translators for, or an empty string
// when the catalogue could not be read (the program then keeps its built-in texts).
QString chooseLanguage(LanguageManager &catalogue, QSettings &settings, const QString &catalogPath,
                       const QString &systemLocale);

// The style sheet's text up to its first NUL byte, read as Latin-1; a null string when the file
// cannot be opened.
QString readStyleSheet(const QString &path);
// Sets the style sheet when it can be read; the default look stays otherwise.
bool applyStyleSheet(QApplication &app, const QString &path = QString::fromLatin1(kStyleSheetResource));

// The whole program run: application object, identity, single-instance lock (a second start
// returns 0 at once), settings, language, style sheet, then the window from createMainWindow
// until the event loop ends.
int runApplication(int &argc, char **argv, const std::function<QWidget *()> &createMainWindow);

} // namespace varno
