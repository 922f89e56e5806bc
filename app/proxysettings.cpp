#include "app/proxysettings.h"

#include "link/logging.h"

#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QSettings>

namespace {
const QString kModeKey = QStringLiteral("proxyMode");
const QString kAddressKey = QStringLiteral("proxyAddress");
const QString kPortKey = QStringLiteral("proxyPort");
} // namespace

QString ProxySettings::modeName(Mode mode)
{
    switch (mode) {
    case SystemProxy:
        return QStringLiteral("system");
    case ManualProxy:
        return QStringLiteral("manual");
    case NoProxy:
        break;
    }
    return QStringLiteral("none");
}

ProxySettings::Mode ProxySettings::modeFromName(const QString &name)
{
    // The numbers are the mode values older settings files may hold.
    const QString key = name.trimmed().toLower();
    if (key == QLatin1String("system") || key == QLatin1String("1"))
        return SystemProxy;
    if (key == QLatin1String("manual") || key == QLatin1String("2"))
        return ManualProxy;
    return NoProxy;
}

void ProxySettings::load(const QSettings &settings)
{
    m_mode = modeFromName(settings.value(kModeKey).toString());
    m_address = settings.value(kAddressKey).toString().trimmed();
    bool ok = false;
    const int port = settings.value(kPortKey).toInt(&ok);
    m_port = ok && port > 0 && port <= 65535 ? quint16(port) : 0;
}

void ProxySettings::save(QSettings &settings) const
{
    settings.setValue(kModeKey, modeName(m_mode));
    settings.setValue(kAddressKey, m_address);
    settings.setValue(kPortKey, int(m_port));
}

bool operator==(const ProxySettings &a, const ProxySettings &b)
{
    return a.mode() == b.mode() && a.address() == b.address() && a.port() == b.port();
}

void applyProxySettings(const ProxySettings &settings)
{
    switch (settings.mode()) {
    case ProxySettings::SystemProxy: {
        QNetworkProxyQuery query;
        query.setProtocolTag(QStringLiteral("http"));
        const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(query);
        if (!proxies.isEmpty()) {
            QNetworkProxy::setApplicationProxy(proxies.first());
            VLOG << "System proxy " << proxies.first().hostName() << ':' << proxies.first().port();
        }
        return;
    }
    case ProxySettings::ManualProxy:
        // A manual proxy without host or port would break every request; go direct instead.
        if (settings.isUsable()) {
            QNetworkProxy::setApplicationProxy(
                QNetworkProxy(QNetworkProxy::HttpProxy, settings.address(), settings.port()));
            VLOG << "Manual proxy " << settings.address() << ':' << settings.port();
            return;
        }
        VWARN << "Manual proxy without address or port; using no proxy";
        break;
    case ProxySettings::NoProxy:
        break;
    }
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

void applyStoredProxySettings()
{
    const QSettings settings;
    ProxySettings proxy;
    proxy.load(settings);
    applyProxySettings(proxy);
}
