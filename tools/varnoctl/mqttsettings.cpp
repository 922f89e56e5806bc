// The broker settings read from the command line; shared by the libmosquitto publisher and the
// Windows build, which has none.
#include "tools/varnoctl/mqttpublisher.h"

#include <QUrl>

bool MqttPublisher::parseUrl(const QString &url, Settings *settings, QString *error)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))
        || parsed.host().isEmpty() || !(parsed.path().isEmpty() || parsed.path() == QLatin1String("/"))
        || !parsed.userInfo().isEmpty()) {
        *error = tr("--mqtt takes mqtt://host[:port] or mqtts://host[:port], not %1").arg(url);
        return false;
    }
    settings->tls = scheme == QLatin1String("mqtts");
    settings->host = parsed.host();
    settings->port = parsed.port(settings->tls ? 8883 : 1883);
    return true;
}

QString MqttPublisher::topicLevel(const QString &serial)
{
    // Home Assistant's object ids take letters, digits, '_' and '-'; a topic level never '+', '#', '/'.
    QString level;
    for (const QChar c : serial) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('_');
        level += plain ? c : QLatin1Char('_');
    }
    return level.isEmpty() ? QStringLiteral("unknown") : level;
}
