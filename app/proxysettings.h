#pragma once

#include <QString>

class QSettings;

// The user's choice of network proxy, kept in the settings under "proxyMode" ("none", "system"
// or "manual"), "proxyAddress" and "proxyPort".
class ProxySettings
{
public:
    enum Mode { NoProxy = 0, SystemProxy = 1, ManualProxy = 2 };

    static constexpr quint16 kDefaultPort = 8080;

    void load(const QSettings &settings);
    void save(QSettings &settings) const;

    Mode mode() const { return m_mode; }
    void setMode(Mode mode) { m_mode = mode; }
    QString address() const { return m_address; }
    void setAddress(const QString &address) { m_address = address.trimmed(); }
    // 0 when no usable port is stored.
    quint16 port() const { return m_port; }
    void setPort(quint16 port) { m_port = port; }

    // A manual proxy needs both a host and a port to be of any use.
    bool isUsable() const { return m_mode != ManualProxy || (!m_address.isEmpty() && m_port != 0); }

    static QString modeName(Mode mode);
    // Unknown names fall back to no proxy, as an unset mode does.
    static Mode modeFromName(const QString &name);

private:
    Mode m_mode = NoProxy;
    QString m_address;
    quint16 m_port = 0;
};

bool operator==(const ProxySettings &a, const ProxySettings &b);

// Makes the settings the application-wide proxy that every network request uses:
// system asks the system for its "http" proxy (and keeps the current one when the system names
// none), manual sets an HTTP proxy at the stored host and port, anything else sets no proxy.
void applyProxySettings(const ProxySettings &settings);

// Reloads the proxy settings from the application's settings store and applies them; what the
// main window does at start and after the proxy dialog was accepted.
void applyStoredProxySettings();
