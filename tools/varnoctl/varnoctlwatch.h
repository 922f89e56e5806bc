#pragma once

class QCommandLineParser;
class QCoreApplication;

// "varnoctl watch": logs the monitor's readings until stopped, to a file, stdout and/or MQTT.
void addWatchOptions(QCommandLineParser &parser);
int runWatch(QCoreApplication &app, const QCommandLineParser &parser);
