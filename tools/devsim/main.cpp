// varno-devsim: plays the VARNO monitor on a pseudo-terminal, for trying the program without a
// monitor and for the integration tests.

#include "tools/devsim/simdevice.h"
#include "tools/devsim/simlink.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

// Folder where an attached simulator announces itself to the program as a link to its pty.
QString attachFolder()
{
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    return runtime + QStringLiteral("/varno-devices");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varno-devsim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays a VARNO monitor on a pseudo-terminal. Prints the path of the terminal to open on its "
        "first line of output, then answers the program's commands until it is stopped."));
    parser.addHelpOption();
    const QCommandLineOption attachOption(QStringLiteral("attach"),
        QStringLiteral("Announce the simulator to VARNO Device Manager as a plugged-in monitor."));
    const QCommandLineOption deviceIdOption(QStringLiteral("device-id"),
        QStringLiteral("Device id text of the identity record (default DAV-180-R2)."), QStringLiteral("text"));
    const QCommandLineOption firmwareOption(QStringLiteral("firmware"),
        QStringLiteral("Firmware version major.minor (default 1.9)."), QStringLiteral("version"));
    const QCommandLineOption hardwareOption(QStringLiteral("hardware"),
        QStringLiteral("Hardware version major.minor (default 2.1)."), QStringLiteral("version"));
    const QCommandLineOption serialOption(QStringLiteral("serial"),
        QStringLiteral("Serial number (default SN-000123)."), QStringLiteral("text"));
    const QCommandLineOption baudOption(QStringLiteral("baud"),
        QStringLiteral("Pace the bytes as a serial line of this speed would (e.g. 115200)."), QStringLiteral("rate"));
    const QCommandLineOption dropAcksOption(QStringLiteral("drop-acks"),
        QStringLiteral("Fault: do not acknowledge the first N frames from the program."), QStringLiteral("N"));
    const QCommandLineOption corruptOption(QStringLiteral("corrupt-every"),
        QStringLiteral("Fault: corrupt the check value of every Kth frame sent."), QStringLiteral("K"));
    const QCommandLineOption nakOption(QStringLiteral("nak-every"),
        QStringLiteral("Fault: answer every Kth good frame with NAK instead of ACK."), QStringLiteral("K"));
    const QCommandLineOption duplicateAckOption(QStringLiteral("duplicate-acks"),
        QStringLiteral("Fault: acknowledge every frame twice."));
    const QCommandLineOption abortOption(QStringLiteral("abort-after"),
        QStringLiteral("Fault: send ABORT instead of answering the Nth message."), QStringLiteral("N"));
    const QCommandLineOption silentOption(QStringLiteral("silent"),
        QStringLiteral("Fault: never answer anything, not even an ACK."));
    const QCommandLineOption echoOption(QStringLiteral("echo"),
        QStringLiteral("Link test mode: answer every message with the message itself."));
    parser.addOptions({ echoOption, attachOption, deviceIdOption, firmwareOption, hardwareOption, serialOption,
        baudOption, dropAcksOption, corruptOption, nakOption, duplicateAckOption, abortOption,
        silentOption });
    parser.process(app);

    auto version = [](const QString &text, quint8 &major, quint8 &minor) {
        const QStringList parts = text.split(QLatin1Char('.'));
        major = quint8(parts.value(0).toUInt());
        minor = quint8(parts.value(1).toUInt());
    };

    SimIdentity identity;
    if (parser.isSet(deviceIdOption))
        identity.deviceId = parser.value(deviceIdOption).toLocal8Bit();
    if (parser.isSet(firmwareOption))
        version(parser.value(firmwareOption), identity.firmwareMajor, identity.firmwareMinor);
    if (parser.isSet(hardwareOption))
        version(parser.value(hardwareOption), identity.hardwareMajor, identity.hardwareMinor);
    if (parser.isSet(serialOption))
        identity.serialNumber = parser.value(serialOption).toLocal8Bit();

    SimLinkFaults faults;
    faults.dropAcks = parser.value(dropAcksOption).toInt();
    faults.corruptEvery = parser.value(corruptOption).toInt();
    faults.nakEvery = parser.value(nakOption).toInt();
    faults.duplicateAcks = parser.isSet(duplicateAckOption);
    faults.abortAfter = parser.value(abortOption).toInt();
    faults.silent = parser.isSet(silentOption);

    SimLink link;
    if (!link.open()) {
        std::fprintf(stderr, "varno-devsim: cannot open a pseudo-terminal\n");
        return 1;
    }
    link.setFaults(faults);
    link.setBaudRate(parser.value(baudOption).toInt());

    const bool echo = parser.isSet(echoOption);
    SimDevice device;
    device.setIdentity(identity);
    QObject::connect(&link, &SimLink::messageReceived, &device, [&](const QByteArray &request) {
        const QByteArray reply = echo ? request : device.handle(request);
        if (!reply.isEmpty())
            link.sendMessage(reply);
    });

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }

    QString attachedLink;
    if (parser.isSet(attachOption)) {
        const QString folder = attachFolder();
        QDir().mkpath(folder);
        attachedLink = folder + QStringLiteral("/devsim-%1-Vid_27e9&Pid_b403").arg(::getpid());
        QFile::remove(attachedLink);
        if (!QFile::link(link.slavePath(), attachedLink)) {
            std::fprintf(stderr, "varno-devsim: cannot create %s\n", qPrintable(attachedLink));
            attachedLink.clear();
        }
    }

    QTextStream out(stdout);
    out << link.slavePath() << Qt::endl;
    if (!attachedLink.isEmpty())
        out << "attached as " << attachedLink << Qt::endl;

    const int rc = app.exec();
    if (!attachedLink.isEmpty())
        QFile::remove(attachedLink);
    return rc;
}
