#pragma once

#include "device/device.h"
#include "device/devicemanager.h"
#include "tests/common/devsimprocess.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include <memory>

// One simulator attached through the device manager and identified, as the main window sees it.
class AttachedSimulator
{
public:
    ~AttachedSimulator() { detach(); }

    bool attach(const QStringList &args = {})
    {
        if (!m_sim.start(args))
            return false;
        QSignalSpy inserted(DeviceManager::instance(), &DeviceManager::DeviceInserted);
        DeviceManager::instance()->OnDeviceInserted(m_sim.path());
        if (!DeviceManager::hasDevice(m_sim.path()))
            return false;
        return inserted.wait(20000) || inserted.size() > 0;
    }

    void detach()
    {
        if (!m_sim.path().isEmpty() && DeviceManager::hasDevice(m_sim.path()))
            DeviceManager::instance()->OnDeviceRemoved(m_sim.path());
        m_sim.stop();
    }

    QString path() const { return m_sim.path(); }
    Device *device() const { return DeviceManager::instance()->device(m_sim.path()); }

private:
    DevSimProcess m_sim;
};

// Rows of the languages a layout is tried in: the built-in English, and Russian (its texts are
// longer) when the test was given the compiled catalogues.
inline void addLanguageRows()
{
    QTest::addColumn<QString>("language"); // empty: the built-in English
    QTest::newRow("English") << QString();
#ifdef VARNO_LOCALES_DIR
    QTest::newRow("Russian") << QStringLiteral("varnodevm_ru");
#endif
}

// Loads the row's catalogue into translator and installs it; true for English too.
inline bool installLanguage(QTranslator &translator, const QString &language)
{
#ifdef VARNO_LOCALES_DIR
    if (!language.isEmpty()) {
        if (!translator.load(language, QStringLiteral(VARNO_LOCALES_DIR)))
            return false;
        QCoreApplication::installTranslator(&translator);
    }
#endif
    return language.isEmpty() || !translator.isEmpty();
}

// What a tab page gets of an 800x600 window.
constexpr int kSmallestTabWidth = 556;
constexpr int kSmallestTabHeight = 470;

// Builds a panel in the row's language and shows it at the smallest tab size; null when the
// catalogue does not load.
template<typename Panel>
std::unique_ptr<Panel> showAtSmallestTab(const QString &language)
{
    QTranslator translator;
    if (!installLanguage(translator, language))
        return nullptr;
    auto panel = std::make_unique<Panel>();
    QCoreApplication::removeTranslator(&translator);
    panel->resize(kSmallestTabWidth, kSmallestTabHeight);
    panel->show();
    return panel;
}
