// libmosquitto is not built for Windows: there the watch writes its readings locally, and --mqtt
// is refused before the watch starts.
#include "tools/varnoctl/mqttpublisher.h"

MqttPublisher::MqttPublisher(const Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
}

MqttPublisher::~MqttPublisher() = default;

bool MqttPublisher::configure(QString *error)
{
    *error = tr("publishing to an MQTT broker is not part of the Windows build");
    return false;
}

void MqttPublisher::OnConnected(const WatchedMonitor &) { }

void MqttPublisher::OnDisconnected() { }

void MqttPublisher::OnReading(const WatchReading &) { }

void MqttPublisher::close() { }
