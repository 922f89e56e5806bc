#include "app/startup.h"

#include "app/applicationlocker.h"
#include "app/applicationsettings.h"
#include "app/languagemanager.h"
#include "app/resources.h"
#include "link/logging.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <memory>

namespace varno {

const char kOrganisationName[] = "VARNO Ltd";
const char kOrganisationDomain[] = "varno.example";
const char kApplicationName[] = "VARNO Device Manager";
const char kApplicationVersion[] = VARNO_VERSION;
const char kDesktopFileName[] = "example.varno.DeviceManager";
const char kStyleSheetResource[] = ":/themes/varno_theme.css";

namespace {
const char kLanguageKey[] = "Language";
}

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganisationName));
    QCoreApplication::setOrganizationDomain(QString::fromLatin1(kOrganisationDomain));
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kApplicationVersion));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
}

QString localesDir()
{
    return localesDir(QCoreApplication::applicationDirPath());
}

QString localesDir(const QString &programDir)
{
    const QString beside = programDir + QStringLiteral("/locales");
    const QString installed = QDir::cleanPath(programDir + QStringLiteral("/../share/varnodevm/locales"));
    const QString catalogue = QStringLiteral("/languages.xml");
    if (!QFileInfo::exists(beside + catalogue) && QFileInfo::exists(installed + catalogue))
        return installed;
    return beside;
}

QString languageCatalogPath()
{
    return localesDir() + QStringLiteral("/languages.xml");
}

int loadTranslators(QCoreApplication &app, const QString &localeName, const QString &dir)
{
    int installed = 0;
    for (const char *pattern : {"varnodevm_%1%2", "qt_%1%2"}) {
        const QString file = QString::fromLatin1(pattern).arg(localeName, QStringLiteral(".qm"));
        auto *translator = new QTranslator(&app);
        if (translator->load(file, dir) && QCoreApplication::installTranslator(translator)) {
            ++installed;
        } else {
            VWARN << "Translation " << file << " not loaded from " << dir;
            delete translator;
        }
    }
    return installed;
}

QString chooseLanguage(LanguageManager &catalogue, QSettings &settings, const QString &catalogPath,
                       const QString &systemLocale)
{
    if (!catalogue.load(catalogPath))
        return QString();
    const QString stored = settings.value(QLatin1String(kLanguageKey), QString()).toString();
    if (catalogue.setCurrentLanguage(stored))
        return stored;
    catalogue.setCurrentLanguage(systemLocale);
    settings.setValue(QLatin1String(kLanguageKey), systemLocale);
    return systemLocale;
}

QString readStyleSheet(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    // Never a null string once the file opened, so that an empty sheet still counts as read.
    QString text = QString::fromLatin1(bytes);
    return text.isNull() ? QString(QLatin1String("")) : text;
}

bool applyStyleSheet(QApplication &app, const QString &path)
{
    const QString sheet = readStyleSheet(path);
    if (sheet.isNull())
        return false;
    app.setStyleSheet(sheet);
    return true;
}

int runApplication(int &argc, char **argv, const std::function<QWidget *()> &createMainWindow)
{
    // Answered before the application object exists: that one needs a display, a package check or
    // a person at a text console has none.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("varnodevm %s\n", kApplicationVersion);
            return 0;
        }
    }

    // Nothing here draws with OpenGL; on X11 the GLX integration would still load a software
    // renderer of some 50 MiB. A person who sets the variable keeps their choice.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    setApplicationIdentity();
    installLogFormat();
    if (QCoreApplication::arguments().contains(QStringLiteral("--verbose")))
        enableVerboseLog();

    ApplicationLocker locker;
    if (!locker.lock())
        return 0;

    initResources();
    QSettings settings(QString::fromLatin1(kOrganisationName), QString::fromLatin1(kApplicationName));
    ApplicationSettings::instance()->init(QString::fromLatin1(kOrganisationName),
                                          QString::fromLatin1(kApplicationName));

    const QString language = chooseLanguage(*LanguageManager::instance(), settings,
                                            languageCatalogPath(), QLocale::system().name());
    if (!language.isEmpty())
        loadTranslators(app, language);
    applyStyleSheet(app);

    std::unique_ptr<QWidget> window(createMainWindow());
    window->show();
    const int exitCode = app.exec();

    locker.unlock();
    window.reset();
    return exitCode;
}

} // namespace varno
