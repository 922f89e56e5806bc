#include "app/proxysettings.h"
#include "app/proxysettingsdialog.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QNetworkProxy>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(ProxySettings::Mode)

class TestProxySettings : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanupTestCase();

    void roundTrip_data();
    void roundTrip();
    void loadStoredValues_data();
    void loadStoredValues();
    void apply_data();
    void apply();
    void applyStored();
    void dialogAccept();
    void dialogCancelKeepsSettings();
    void dialogNeedsAddressForManual();

private:
    QSettings *settingsFile();

    QTemporaryDir m_dir;
    QScopedPointer<QSettings> m_settings;
};

QSettings *TestProxySettings::settingsFile()
{
    m_settings.reset(
        new QSettings(m_dir.filePath(QStringLiteral("proxy.ini")), QSettings::IniFormat));
    return m_settings.data();
}

void TestProxySettings::init()
{
    QVERIFY(m_dir.isValid());
    QFile::remove(m_dir.filePath(QStringLiteral("proxy.ini")));
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

void TestProxySettings::cleanupTestCase()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

void TestProxySettings::roundTrip_data()
{
    QTest::addColumn<ProxySettings::Mode>("mode");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("storedMode");

    QTest::newRow("none") << ProxySettings::NoProxy << "" << 0 << "none";
    QTest::newRow("system") << ProxySettings::SystemProxy << "" << 0 << "system";
    QTest::newRow("manual") << ProxySettings::ManualProxy << "proxy.lan" << 3128 << "manual";
    QTest::newRow("manual ipv6") << ProxySettings::ManualProxy << "::1" << 65535 << "manual";
    // The address survives a mode without use for it, so the user finds it again.
    QTest::newRow("none keeps address") << ProxySettings::NoProxy << "10.0.0.1" << 1 << "none";
}

void TestProxySettings::roundTrip()
{
    QFETCH(ProxySettings::Mode, mode);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, storedMode);

    ProxySettings written;
    written.setMode(mode);
    written.setAddress(address);
    written.setPort(quint16(port));
    written.save(*settingsFile());
    m_settings->sync();
    QCOMPARE(m_settings->status(), QSettings::NoError);

    QSettings *reread = settingsFile();
    QCOMPARE(reread->value(QStringLiteral("proxyMode")).toString(), storedMode);
    ProxySettings loaded;
    loaded.load(*reread);
    QVERIFY(loaded == written);
}

void TestProxySettings::loadStoredValues_data()
{
    QTest::addColumn<QVariant>("mode");
    QTest::addColumn<QVariant>("address");
    QTest::addColumn<QVariant>("port");
    QTest::addColumn<ProxySettings::Mode>("expectedMode");
    QTest::addColumn<QString>("expectedAddress");
    QTest::addColumn<int>("expectedPort");

    QTest::newRow("nothing stored")
        << QVariant() << QVariant() << QVariant() << ProxySettings::NoProxy << "" << 0;
    QTest::newRow("upper case") << QVariant("MANUAL") << QVariant(" host ") << QVariant(80)
                                << ProxySettings::ManualProxy << "host" << 80;
    QTest::newRow("number system")
        << QVariant(1) << QVariant() << QVariant() << ProxySettings::SystemProxy << "" << 0;
    QTest::newRow("number manual") << QVariant("2") << QVariant("h") << QVariant("8080")
                                   << ProxySettings::ManualProxy << "h" << 8080;
    QTest::newRow("unknown mode") << QVariant("socks") << QVariant("h") << QVariant(1080)
                                  << ProxySettings::NoProxy << "h" << 1080;
    QTest::newRow("port text") << QVariant("manual") << QVariant("h") << QVariant("abc")
                               << ProxySettings::ManualProxy << "h" << 0;
    QTest::newRow("port too large") << QVariant("manual") << QVariant("h") << QVariant(70000)
                                    << ProxySettings::ManualProxy << "h" << 0;
    QTest::newRow("port negative") << QVariant("manual") << QVariant("h") << QVariant(-8080)
                                   << ProxySettings::ManualProxy << "h" << 0;
}

void TestProxySettings::loadStoredValues()
{
    QFETCH(QVariant, mode);
    QFETCH(QVariant, address);
    QFETCH(QVariant, port);
    QFETCH(ProxySettings::Mode, expectedMode);
    QFETCH(QString, expectedAddress);
    QFETCH(int, expectedPort);

    QSettings *settings = settingsFile();
    if (mode.isValid())
        settings->setValue(QStringLiteral("proxyMode"), mode);
    if (address.isValid())
        settings->setValue(QStringLiteral("proxyAddress"), address);
    if (port.isValid())
        settings->setValue(QStringLiteral("proxyPort"), port);
    settings->sync();

    ProxySettings loaded;
    loaded.load(*settingsFile());
    QCOMPARE(loaded.mode(), expectedMode);
    QCOMPARE(loaded.address(), expectedAddress);
    QCOMPARE(int(loaded.port()), expectedPort);
}

void TestProxySettings::apply_data()
{
    QTest::addColumn<ProxySettings::Mode>("mode");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QByteArray>("environment"); // http_proxy, which is the system proxy here

    QTest::newRow("none") << ProxySettings::NoProxy << "proxy.lan" << 3128
                          << int(QNetworkProxy::NoProxy) << "" << QByteArray();
    QTest::newRow("manual") << ProxySettings::ManualProxy << "proxy.lan" << 3128
                            << int(QNetworkProxy::HttpProxy) << "proxy.lan" << QByteArray();
    // A manual proxy without a host would break every request: go direct.
    QTest::newRow("manual without host") << ProxySettings::ManualProxy << "" << 3128
                                         << int(QNetworkProxy::NoProxy) << "" << QByteArray();
    QTest::newRow("manual without port") << ProxySettings::ManualProxy << "proxy.lan" << 0
                                         << int(QNetworkProxy::NoProxy) << "" << QByteArray();
    QTest::newRow("system") << ProxySettings::SystemProxy << "" << 3129
                            << int(QNetworkProxy::HttpProxy) << "sysproxy.lan"
                            << QByteArray("http://sysproxy.lan:3129");
    // No proxy configured: the system answers "direct", and direct it is.
    QTest::newRow("system without one") << ProxySettings::SystemProxy << "" << 0
                                        << int(QNetworkProxy::NoProxy) << "" << QByteArray();
}

void TestProxySettings::apply()
{
    QFETCH(ProxySettings::Mode, mode);
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(int, type);
    QFETCH(QString, host);
    QFETCH(QByteArray, environment);

    qunsetenv("no_proxy");
    if (environment.isEmpty())
        qunsetenv("http_proxy");
    else
        qputenv("http_proxy", environment);
    // Start from some other proxy so that "no proxy" is seen to replace it.
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::Socks5Proxy, "old", 1));
    ProxySettings settings;
    settings.setMode(mode);
    settings.setAddress(address);
    settings.setPort(quint16(port));
    applyProxySettings(settings);
    qunsetenv("http_proxy");
    const QNetworkProxy proxy = QNetworkProxy::applicationProxy();
    QCOMPARE(int(proxy.type()), type);
    QCOMPARE(proxy.hostName(), host);
    if (type != QNetworkProxy::NoProxy)
        QCOMPARE(int(proxy.port()), port);
}

void TestProxySettings::applyStored()
{
    QTemporaryDir config;
    QVERIFY(config.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    QCoreApplication::setOrganizationName(QStringLiteral("VARNO Ltd"));
    QCoreApplication::setApplicationName(QStringLiteral("VARNO Device Manager"));
    {
        QSettings settings;
        settings.setValue(QStringLiteral("proxyMode"), QStringLiteral("manual"));
        settings.setValue(QStringLiteral("proxyAddress"), QStringLiteral("cache.lan"));
        settings.setValue(QStringLiteral("proxyPort"), 8118);
    }
    applyStoredProxySettings();
    QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::HttpProxy);
    QCOMPARE(QNetworkProxy::applicationProxy().hostName(), QStringLiteral("cache.lan"));
    QCOMPARE(int(QNetworkProxy::applicationProxy().port()), 8118);
}

void TestProxySettings::dialogAccept()
{
    ProxySettings settings;
    ProxySettingsDialog dialog(&settings);
    dialog.show();
    auto *manual = dialog.findChild<QRadioButton *>(QStringLiteral("manualProxyRadioButton"));
    auto *address = dialog.findChild<QLineEdit *>(QStringLiteral("addressLineEdit"));
    auto *port = dialog.findChild<QSpinBox *>(QStringLiteral("portSpinBox"));
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(manual && address && port && buttons);
    QVERIFY(!address->isEnabled());
    manual->click();
    QVERIFY(address->isEnabled());
    address->setText(QStringLiteral(" proxy.lan "));
    port->setValue(3128);
    buttons->button(QDialogButtonBox::Ok)->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(settings.mode(), ProxySettings::ManualProxy);
    QCOMPARE(settings.address(), QStringLiteral("proxy.lan"));
    QCOMPARE(int(settings.port()), 3128);
}

void TestProxySettings::dialogCancelKeepsSettings()
{
    ProxySettings settings;
    settings.setMode(ProxySettings::SystemProxy);
    const ProxySettings before = settings;
    ProxySettingsDialog dialog(&settings);
    dialog.show();
    auto *none = dialog.findChild<QRadioButton *>(QStringLiteral("noProxyRadioButton"));
    auto *system = dialog.findChild<QRadioButton *>(QStringLiteral("systemProxyRadioButton"));
    QVERIFY(system->isChecked());
    none->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(settings == before);
}

void TestProxySettings::dialogNeedsAddressForManual()
{
    ProxySettings settings;
    ProxySettingsDialog dialog(&settings);
    dialog.show();
    dialog.findChild<QRadioButton *>(QStringLiteral("manualProxyRadioButton"))->click();
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(!buttons->button(QDialogButtonBox::Ok)->isEnabled());
    // Even a forced accept does not store an unusable manual proxy.
    dialog.accept();
    QCOMPARE(settings.mode(), ProxySettings::NoProxy);
    QVERIFY(dialog.isVisible());
    dialog.findChild<QLineEdit *>(QStringLiteral("addressLineEdit"))->setText(QStringLiteral("h"));
    QVERIFY(buttons->button(QDialogButtonBox::Ok)->isEnabled());
}

QTEST_MAIN(TestProxySettings)
#include "tst_proxysettings.moc"
