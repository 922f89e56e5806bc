#include "app/applicationlocker.h"
#include "app/languagemanager.h"
#include "app/resources.h"
#include "app/startup.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Environment switch that makes this executable play the program for the two-starts test.
const char kChildSwitch[] = "VARNO_TST_STARTUP_CHILD";
const char kWindowShown[] = "window shown";

const char kCatalogue[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<languages>
    <lang Name="en_US" Id="0" Localized="English"/>
    <lang Name="ru_RU" Id="1" Localized="Русский"/>
</languages>
)";

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

int runAsProgram(int argc, char **argv)
{
    return varno::runApplication(argc, argv, []() {
        auto *window = new QWidget;
        QTimer::singleShot(0, qApp, []() {
            std::fputs(kWindowShown, stdout);
            std::fflush(stdout);
            QCoreApplication::exit(7);
        });
        return window;
    });
}

} // namespace

class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void lock_data();
    void lock();
    void secondLockerIsRefusedUntilTheFirstUnlocks();
    void twoStarts_data();
    void twoStarts();

    void catalogueLoad_data();
    void catalogueLoad();
    void malformedCatalogueKeepsEntries();
    void chooseLanguage_data();
    void chooseLanguage();

    void localesFolder_data();
    void localesFolder();
    void loadTranslators_data();
    void loadTranslators();
    void russianProgramTexts_data();
    void russianProgramTexts();
    void russianCatalogueComplete();

    void styleSheet_data();
    void styleSheet();
    void compiledInStyleSheetApplies();

private:
    QString runProgram(const QString &runtime, int *exitCode);

    QTemporaryDir m_dir;
};

void TstStartup::initTestCase()
{
    QVERIFY2(m_dir.isValid(), "temporary folder");
    varno::initResources();
}

void TstStartup::cleanup()
{
    // Every case starts in English, also after a failed one.
    const QList<QTranslator *> translators = qApp->findChildren<QTranslator *>();
    for (QTranslator *translator : translators) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

void TstStartup::lock_data()
{
    QTest::addColumn<QString>("existing"); // what the runtime and cache folders hold before the start
    QTest::addColumn<QString>("folder");   // where the lock lands: "runtime", "cache" or "" for nowhere
    QTest::addColumn<bool>("locked");

    QTest::newRow("first start") << "" << "runtime" << true;
    QTest::newRow("stale file after a crash") << "file" << "runtime" << true;
    QTest::newRow("stale file readable by others") << "open file" << "runtime" << true;
    QTest::newRow("link planted under the name") << "link" << "runtime" << false;
    QTest::newRow("file of another user") << "foreign file" << "runtime" << false;
    QTest::newRow("no runtime folder") << "unset" << "cache" << true;
    QTest::newRow("runtime folder of another user") << "foreign folder" << "cache" << true;
    QTest::newRow("runtime folder open to others") << "open folder" << "cache" << true;
    QTest::newRow("cache fallback open to others") << "unset, open cache" << "" << false;
}

void TstStartup::lock()
{
    QFETCH(QString, existing);
    QFETCH(QString, folder);
    QFETCH(bool, locked);

    const uid_t kOtherUser = 65534;
    if (existing.startsWith("foreign") && ::geteuid() != 0)
        QSKIP("only root can give a file to another user");
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString runtime = tmp.path() + "/runtime";
    const QString cache = tmp.path() + "/cache";
    const QString file = runtime + "/vdmrunonce.lock";
    const QString victim = tmp.path() + "/victim";
    QVERIFY(QDir().mkdir(runtime) && ::chmod(QFile::encodeName(runtime), 0700) == 0);
    if (existing.endsWith("file"))
        QVERIFY(writeFile(file, "left by a crashed run"));
    if (existing == "open file")
        QVERIFY(::chmod(QFile::encodeName(file), 0644) == 0);
    else if (existing == "foreign file")
        QVERIFY(::chown(QFile::encodeName(file), kOtherUser, kOtherUser) == 0);
    else if (existing == "link")
        QVERIFY(QFile::link(victim, file));
    else if (existing == "foreign folder")
        QVERIFY(::chown(QFile::encodeName(runtime), kOtherUser, kOtherUser) == 0);
    else if (existing == "open folder")
        QVERIFY(::chmod(QFile::encodeName(runtime), 0755) == 0);
    else if (existing == "unset, open cache")
        QVERIFY(QDir().mkpath(cache + "/varno-runtime") && ::chmod(QFile::encodeName(cache + "/varno-runtime"), 0755) == 0);
    if (existing.startsWith("unset"))
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
    auto restore = qScopeGuard([] {
        qunsetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_CACHE_HOME");
    });

    const QString expected = folder == "runtime" ? file
            : folder == "cache"                   ? cache + "/varno-runtime/vdmrunonce.lock"
                                                  : QString();
    QCOMPARE(ApplicationLocker::lockFilePath(), expected);
    ApplicationLocker locker;
    QVERIFY2(locker.lock(), "a lock that cannot be taken never stops the program");
    QCOMPARE(locker.isLocked(), locked);
    QVERIFY2(!QFileInfo::exists(victim), "the lock never creates a link's target");
    struct stat info {};
    if (locked) {
        QVERIFY(::stat(QFile::encodeName(expected), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        QVERIFY(::stat(QFile::encodeName(QFileInfo(expected).path()), &info) == 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0700));
    }
    if (existing == "foreign file") {
        QVERIFY(::stat(QFile::encodeName(file), &info) == 0);
        QCOMPARE(info.st_uid, kOtherUser);
    }
    locker.unlock();
    QVERIFY(!locker.isLocked());
    if (locked)
        QVERIFY2(QFileInfo::exists(expected), "the file stays for the next start");
}

void TstStartup::secondLockerIsRefusedUntilTheFirstUnlocks()
{
    const QString path = m_dir.path() + "/inprocess.lock";
    ApplicationLocker first;
    ApplicationLocker second;
    QVERIFY(first.lockFile(path));
    QVERIFY2(!second.lockFile(path), "a held lock refuses the next instance");
    QVERIFY(!second.isLocked());
    first.unlock();
    first.unlock();
    QVERIFY2(second.lockFile(path), "released on unlock");
    QVERIFY(second.isLocked());
}

QString TstStartup::runProgram(const QString &runtime, int *exitCode)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildSwitch, "1");
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("XDG_CACHE_HOME", m_dir.path() + "/cache");
    env.insert("XDG_CONFIG_HOME", m_dir.path() + "/config");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.start(QCoreApplication::applicationFilePath(), QStringList());
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished();
        *exitCode = -1;
        return QString();
    }
    *exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -2;
    return QString::fromLocal8Bit(program.readAllStandardOutput());
}

void TstStartup::twoStarts_data()
{
    QTest::addColumn<bool>("sameFolder");
    QTest::newRow("same runtime folder: the second exits silently") << true;
    QTest::newRow("another runtime folder: both run") << false;
}

void TstStartup::twoStarts()
{
    QFETCH(bool, sameFolder);
    QTemporaryDir mine;
    QTemporaryDir theirs;
    QVERIFY(mine.isValid() && theirs.isValid());

    // This process plays the instance that is already running.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(mine.path()));
    ApplicationLocker running;
    QVERIFY(running.lock());
    QVERIFY(running.isLocked());
    qunsetenv("XDG_RUNTIME_DIR");

    int exitCode = -1;
    QString output = runProgram(sameFolder ? mine.path() : theirs.path(), &exitCode);
    if (sameFolder) {
        QCOMPARE(exitCode, 0);
        QVERIFY2(output.isEmpty(), qPrintable("no window while another runs: " + output));
        running.unlock();
        output = runProgram(mine.path(), &exitCode);
    }
    QCOMPARE(output, QString(kWindowShown));
    QCOMPARE(exitCode, 7);
}

void TstStartup::catalogueLoad_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<int>>("ids");
    QTest::addColumn<QStringList>("localized");

    QTest::newRow("shipped catalogue") << QByteArray(kCatalogue) << true
                                       << QStringList{"en_US", "ru_RU"} << QList<int>{0, 1}
                                       << QStringList{"English", "Русский"};
    QTest::newRow("missing attributes")
            << QByteArray("<l><lang Name=\"de_DE\"/><lang Id=\"x\" Localized=\"?\"/></l>") << true
            << QStringList{"de_DE", ""} << QList<int>{0, 0} << QStringList{"", "?"};
    QTest::newRow("nested anywhere")
            << QByteArray("<a><b><lang Name=\"a\" Id=\"5\"/></b><lang Name=\"b\" Id=\"-3\"/></a>") << true
            << QStringList{"a", "b"} << QList<int>{5, -3} << QStringList{"", ""};
    QTest::newRow("id out of range") << QByteArray("<l><lang Name=\"a\" Id=\"70000\"/></l>") << true
                                     << QStringList{"a"} << QList<int>{0} << QStringList{""};
    QTest::newRow("no entries") << QByteArray("<languages/>") << true << QStringList() << QList<int>()
                                << QStringList();
    QTest::newRow("malformed") << QByteArray("<languages><lang Name=\"ru_RU\"></languages>") << false
                               << QStringList() << QList<int>() << QStringList();
    QTest::newRow("empty file") << QByteArray() << false << QStringList() << QList<int>() << QStringList();
    QTest::newRow("binary junk") << QByteArray("\x00\xff\xfe<\x01", 5) << false << QStringList()
                                 << QList<int>() << QStringList();
}

void TstStartup::catalogueLoad()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, loaded);
    QFETCH(QStringList, names);
    QFETCH(QList<int>, ids);
    QFETCH(QStringList, localized);

    const QString path = m_dir.path() + "/languages.xml";
    QVERIFY(writeFile(path, content));
    LanguageManager catalogue;
    QCOMPARE(catalogue.load(path), loaded);
    const QList<LanguageInfo> languages = catalogue.languages();
    QCOMPARE(languages.size(), names.size());
    for (int i = 0; i < languages.size(); ++i) {
        QCOMPARE(languages.at(i).name, names.at(i));
        QCOMPARE(int(languages.at(i).id), ids.at(i));
        QCOMPARE(languages.at(i).localized, localized.at(i));
    }
    QCOMPARE(catalogue.currentLanguage(), LanguageInfo());
}

void TstStartup::malformedCatalogueKeepsEntries()
{
    const QString good = m_dir.path() + "/good.xml";
    const QString bad = m_dir.path() + "/bad.xml";
    QVERIFY(writeFile(good, kCatalogue));
    QVERIFY(writeFile(bad, "<languages><lang Name=\"de_DE\"/>"));
    LanguageManager catalogue;
    QVERIFY(!catalogue.load(QString()));
    QVERIFY(!catalogue.load(m_dir.path() + "/absent.xml"));
    QVERIFY(catalogue.load(good));
    QVERIFY(!catalogue.load(bad));
    QCOMPARE(catalogue.languages().size(), 2);
    QVERIFY2(catalogue.load(good), "a second load appends");
    QCOMPARE(catalogue.languages().size(), 4);
    QVERIFY(catalogue.setCurrentLanguage("ru_RU"));
    QVERIFY(!catalogue.setCurrentLanguage("de_DE"));
    QCOMPARE(catalogue.currentLanguage().name, QString("ru_RU"));
}

void TstStartup::chooseLanguage_data()
{
    QTest::addColumn<QByteArray>("catalogue"); // "absent" for no file
    QTest::addColumn<QVariant>("stored");      // invalid when the key was never written
    QTest::addColumn<QString>("systemLocale");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QVariant>("storedAfter");
    QTest::addColumn<int>("currentId");

    const QByteArray shipped(kCatalogue);
    QTest::newRow("stored language listed") << shipped << QVariant("ru_RU") << "en_US" << "ru_RU"
                                            << QVariant("ru_RU") << 1;
    QTest::newRow("stored language unknown") << shipped << QVariant("de_DE") << "en_US" << "en_US"
                                             << QVariant("en_US") << 0;
    QTest::newRow("first start") << shipped << QVariant() << "ru_RU" << "ru_RU" << QVariant("ru_RU") << 1;
    QTest::newRow("stored empty") << shipped << QVariant("") << "en_US" << "en_US" << QVariant("en_US") << 0;
    QTest::newRow("system locale not listed") << shipped << QVariant() << "fr_FR" << "fr_FR"
                                              << QVariant("fr_FR") << -1;
    QTest::newRow("first entry of a name wins")
            << QByteArray("<l><lang Name=\"ru_RU\" Id=\"4\"/><lang Name=\"ru_RU\" Id=\"9\"/></l>")
            << QVariant("ru_RU") << "en_US" << "ru_RU" << QVariant("ru_RU") << 4;
    QTest::newRow("catalogue without entries") << QByteArray("<languages/>") << QVariant("ru_RU")
                                               << "en_US" << "en_US" << QVariant("en_US") << -1;
    QTest::newRow("catalogue missing") << QByteArray("absent") << QVariant("de_DE") << "en_US" << ""
                                       << QVariant("de_DE") << -1;
    QTest::newRow("catalogue malformed") << QByteArray("<languages><lang") << QVariant() << "ru_RU"
                                         << "" << QVariant() << -1;
}

void TstStartup::chooseLanguage()
{
    QFETCH(QByteArray, catalogue);
    QFETCH(QVariant, stored);
    QFETCH(QString, systemLocale);
    QFETCH(QString, chosen);
    QFETCH(QVariant, storedAfter);
    QFETCH(int, currentId);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString catalogPath = dir.path() + "/languages.xml";
    if (catalogue != "absent")
        QVERIFY(writeFile(catalogPath, catalogue));
    QSettings settings(dir.path() + "/settings.ini", QSettings::IniFormat);
    if (stored.isValid())
        settings.setValue("Language", stored);

    LanguageManager languages;
    QCOMPARE(varno::chooseLanguage(languages, settings, catalogPath, systemLocale), chosen);
    QCOMPARE(settings.value("Language"), storedAfter);
    QCOMPARE(int(languages.currentLanguage().id), currentId);
}

void TstStartup::localesFolder_data()
{
    QTest::addColumn<QStringList>("catalogues"); // folders under the prefix that hold languages.xml
    QTest::addColumn<QString>("expected");

    const QString beside = "bin/locales";
    const QString installed = "share/varnodevm/locales";
    QTest::newRow("build tree") << QStringList{beside} << beside;
    QTest::newRow("installed") << QStringList{installed} << installed;
    QTest::newRow("both: beside wins") << QStringList{beside, installed} << beside;
    QTest::newRow("neither: beside") << QStringList() << beside;
}

void TstStartup::localesFolder()
{
    QFETCH(QStringList, catalogues);
    QFETCH(QString, expected);

    QTemporaryDir prefix;
    QVERIFY(prefix.isValid());
    QVERIFY(QDir(prefix.path()).mkpath("bin"));
    for (const QString &folder : qAsConst(catalogues)) {
        QVERIFY(QDir(prefix.path()).mkpath(folder));
        QVERIFY(writeFile(prefix.filePath(folder + "/languages.xml"), kCatalogue));
    }
    QCOMPARE(varno::localesDir(prefix.filePath("bin")), prefix.filePath(expected));
}

void TstStartup::loadTranslators_data()
{
    QTest::addColumn<QStringList>("files"); // what the locales folder holds
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("installed");
    QTest::addColumn<QString>("programText");
    QTest::addColumn<QString>("toolkitText");

    const QStringList all{"varnodevm_ru.qm", "qt_ru.qm", "qtbase_ru.qm", "qtscript_ru.qm",
                          "qtmultimedia_ru.qm", "qtxmlpatterns_ru.qm"};
    QTest::newRow("russian by territory name") << all << "ru_RU" << 2 << "Режим истории" << "Отмена";
    QTest::newRow("russian by language name") << all << "ru" << 2 << "Режим истории" << "Отмена";
    QTest::newRow("language without files") << all << "de_DE" << 0 << "History mode" << "Cancel";
    QTest::newRow("toolkit file missing") << QStringList{"varnodevm_ru.qm"} << "ru_RU" << 1
                                          << "Режим истории" << "Cancel";
    QTest::newRow("program file missing") << QStringList(all.mid(1)) << "ru_RU" << 1 << "History mode" << "Отмена";
}

void TstStartup::loadTranslators()
{
#ifndef VARNO_LOCALES_DIR
    QSKIP("translations are not built");
#else
    QFETCH(QStringList, files);
    QFETCH(QString, locale);
    QFETCH(int, installed);
    QFETCH(QString, programText);
    QFETCH(QString, toolkitText);

    QTemporaryDir locales;
    QVERIFY(locales.isValid());
    for (const QString &file : qAsConst(files)) {
        QVERIFY2(QFile::copy(QStringLiteral(VARNO_LOCALES_DIR "/") + file, locales.filePath(file)),
                 qPrintable(file));
    }

    QCOMPARE(varno::loadTranslators(*qApp, locale, locales.path()), installed);
    QCOMPARE(QCoreApplication::translate("WelcomeForm", "History mode"), programText);
    QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text().remove('&'), toolkitText);
#endif
}

void TstStartup::russianProgramTexts_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("russian");

    QTest::newRow("device tree header") << "MainWindow" << "Devices" << "Устройства";
    QTest::newRow("exit action") << "MainWindow" << "Exit" << "Выход";
    QTest::newRow("restart notice") << "MainWindow" << "Selected language will be applied after program restart."
                                    << "Выбранный язык будет применён после перезапуска программы.";
    QTest::newRow("calibration") << "GeneralDeviceWidget" << "Calibration coefficient" << "Калибровочный коэффициент";
    QTest::newRow("placeholders kept") << "DownloadFrame" << "File %1 of %2" << "Файл %1 из %2";
    QTest::newRow("line breaks kept") << "SoftwareUpdateDialog" << "The search for updates failed.\n\n%1"
                                      << "Не удалось выполнить поиск обновлений.\n\n%1";
    QTest::newRow("product name kept") << "DeviceWidget" << "VARNO Ormelin" << "VARNO Ormelin";
    QTest::newRow("shortcut stays a key name") << "InputPasswordDialog" << "Esc" << "Esc";
}

void TstStartup::russianProgramTexts()
{
#ifndef VARNO_LOCALES_DIR
    QSKIP("translations are not built");
#else
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, russian);

    QVERIFY(varno::loadTranslators(*qApp, QStringLiteral("ru_RU"), QStringLiteral(VARNO_LOCALES_DIR)) >= 1);
    QCOMPARE(QCoreApplication::translate(qPrintable(context), qPrintable(source)), russian);
#endif
}

// A message left unfinished shows English in the middle of a Russian window, and a lost %1 or line
// break garbles the text; the shipped .qm must also be the one built from this catalogue.
void TstStartup::russianCatalogueComplete()
{
#ifndef VARNO_LOCALES_DIR
    QSKIP("translations are not built");
#else
    QFile ts(QStringLiteral(VARNO_SOURCE_DIR "/locales/varnodevm_ru.ts"));
    QVERIFY2(ts.open(QIODevice::ReadOnly), qPrintable(ts.fileName()));
    QVERIFY(varno::loadTranslators(*qApp, QStringLiteral("ru_RU"), QStringLiteral(VARNO_LOCALES_DIR)) >= 1);

    // Placeholders, line breaks, markup and accelerators, in the order they appear.
    const QRegularExpression markers(QStringLiteral(R"(%\d+|%n|\n|<[^>]+>|&(?!(amp|quot|lt|gt|apos);)\w)"));
    const auto markersOf = [&markers](const QString &text) {
        QStringList found;
        QRegularExpressionMatchIterator it = markers.globalMatch(text);
        while (it.hasNext())
            found << it.next().captured(0);
        found.sort();
        return found;
    };

    QXmlStreamReader xml(&ts);
    QString context;
    QString source;
    bool numerus = false;
    int messages = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            numerus = xml.attributes().value(QStringLiteral("numerus")) == QLatin1String("yes");
        } else if (xml.name() == QLatin1String("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation") && numerus) {
            // Plural forms: Russian has three (1, 2-4, 5 and more), each with the source's markers.
            const QString where = context + QStringLiteral(": ") + source;
            QVERIFY2(xml.attributes().value(QStringLiteral("type")).isEmpty(), qPrintable(where));
            QStringList forms;
            while (xml.readNextStartElement())
                forms << xml.readElementText();
            QCOMPARE(forms.size(), 3);
            const int counts[] = { 1, 2, 5 };
            for (int i = 0; i < forms.size(); ++i) {
                QVERIFY2(markersOf(forms.at(i)) == markersOf(source), qPrintable(where));
                QCOMPARE(QCoreApplication::translate(qPrintable(context), qPrintable(source), nullptr,
                                                     counts[i]),
                         QString(forms.at(i)).replace(QStringLiteral("%n"), QString::number(counts[i])));
            }
            ++messages;
        } else if (xml.name() == QLatin1String("translation")) {
            const QString type = xml.attributes().value(QStringLiteral("type")).toString();
            const QString translation = xml.readElementText();
            const QString where = context + QStringLiteral(": ") + source;
            QVERIFY2(type.isEmpty(), qPrintable(type + QStringLiteral(" - ") + where));
            QVERIFY2(!translation.isEmpty(), qPrintable(where));
            QVERIFY2(markersOf(translation) == markersOf(source), qPrintable(where));
            QCOMPARE(QCoreApplication::translate(qPrintable(context), qPrintable(source)), translation);
            ++messages;
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(messages > 0);
#endif
}

void TstStartup::styleSheet_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << QByteArray("QWidget { color: red; }") << "QWidget { color: red; }";
    QTest::newRow("NUL in the middle") << QByteArray("QLabel { }\0QWidget { color: red; }", 33)
                                       << "QLabel { }";
    QTest::newRow("NUL first") << QByteArray("\0QLabel { }", 11) << "";
    QTest::newRow("Latin-1 bytes") << QByteArray("/* \xe9 */") << QString::fromLatin1("/* \xe9 */");
    QTest::newRow("empty") << QByteArray() << "";
}

void TstStartup::styleSheet()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    const QString path = m_dir.path() + "/theme.css";
    QVERIFY(writeFile(path, content));
    const QString sheet = varno::readStyleSheet(path);
    QVERIFY2(!sheet.isNull(), "a readable file gives a sheet, even an empty one");
    QCOMPARE(sheet, expected);
}

void TstStartup::compiledInStyleSheetApplies()
{
    QVERIFY(varno::readStyleSheet(m_dir.path() + "/absent.css").isNull());
    qApp->setStyleSheet(QString());
    QVERIFY2(!varno::applyStyleSheet(*qApp, ":/themes/absent.css"), "missing sheet is not applied");
    QVERIFY(qApp->styleSheet().isEmpty());
    QVERIFY(varno::applyStyleSheet(*qApp));
    QVERIFY2(qApp->styleSheet().contains("QMainWindow"), "the compiled-in theme");
    qApp->setStyleSheet(QString());
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(kChildSwitch))
        return runAsProgram(argc, argv);
    QApplication app(argc, argv);
    TstStartup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
