// varno-devsim: plays the VARNO monitor on a pseudo-terminal, for trying the program without a
// monitor and for the integration tests.

#include "device/attachedsimulators.h"
#include "device/runtimefolder.h"
#include "tools/devsim/simdevice.h"
#include "tools/devsim/simlink.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTimer>

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

int number(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 0);
    return ok ? value : 0;
}

bool readFile(const QString &path, QByteArray *out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "varno-devsim: cannot read %s\n", qPrintable(path));
        return false;
    }
    *out = file.readAll();
    return true;
}

// Everything the command line says about the monitor's state, settings, file system and faults.
bool configure(SimDevice &device, const QCommandLineParser &parser)
{
    const auto isSet = [&parser](const char *name) { return parser.isSet(QLatin1String(name)); };
    const auto value = [&parser](const char *name) { return parser.value(QLatin1String(name)); };

    SimState state;
    if (isSet("state-flags"))
        state.flags = quint8(number(value("state-flags")));
    if (isSet("battery"))
        state.battery = quint8(number(value("battery")));
    if (isSet("power-on-time"))
        state.powerOnTime = quint32(value("power-on-time").toUInt());
    device.setState(state);

    SimEnvironment environment;
    if (isSet("left"))
        environment.left = number(value("left"));
    if (isSet("right"))
        environment.right = number(value("right"));
    if (isSet("dose"))
        environment.dose = value("dose").toLongLong();
    environment.fixed = isSet("env-fixed");
    device.setEnvironment(environment);

    if (isSet("password"))
        device.setPassword(value("password").toLocal8Bit());
    if (isSet("calibration"))
        device.setCalibration(quint16(number(value("calibration"))));

    SimDeviceFaults faults;
    if (isSet("wrong-length"))
        faults.wrongLengthCode = number(value("wrong-length"));
    if (isSet("wrong-length-by"))
        faults.wrongLengthBy = number(value("wrong-length-by"));
    faults.refusePasswords = isSet("refuse-passwords");
    const QStringList refused = parser.values(QStringLiteral("refuse-file"));
    for (const QString &name : refused)
        faults.refusedFiles.append(name.toUpper().toLocal8Bit());
    device.setFaults(faults);

    if (!isSet("no-files")) {
        const int blocks = isSet("stat-blocks") ? number(value("stat-blocks")) : 3;
        const int values = isSet("stat-values") ? number(value("stat-values")) : 360;
        QByteArray meastime = SimDevice::generatedTimeIndex(blocks, values);
        QByteArray measure = SimDevice::generatedValues(blocks, values);
        if (isSet("meastime") && !readFile(value("meastime"), &meastime))
            return false;
        if (isSet("measure") && !readFile(value("measure"), &measure))
            return false;
        device.addFile(QStringLiteral("MEASTIME.DAT"), meastime);
        device.addFile(QStringLiteral("MEASURE.DAT"), measure);
        device.addFile(QStringLiteral("README.TXT"), QByteArrayLiteral("VARNO monitor simulator\r\n"));
        device.addFile(QStringLiteral("CONFIG.BIN"), QByteArray(64, '\x5A'));
        // A system file: the program lists it in italics.
        device.addFile(QStringLiteral("BOOT.EXC"), QByteArray(512, '\x11'), 0x04);
    }
    const QStringList extra = parser.values(QStringLiteral("file"));
    for (const QString &path : extra) {
        QByteArray data;
        if (!readFile(path, &data))
            return false;
        if (device.addFile(QFileInfo(path).fileName(), data) == SimDevice::kNoHandle) {
            std::fprintf(stderr, "varno-devsim: %s is not an 8.3 name or does not fit\n", qPrintable(path));
            return false;
        }
    }
    return true;
}

// The reply to each command the host sends, as the monitor answers it now: "NN-name.reply" holds
// the message, "NN-name.frames" the data frames that carry it on the line. Seeds for the fuzz
// targets and a reference for the reply layouts.
bool writeReplies(SimDevice &device, const QString &folder)
{
    if (!QDir().mkpath(folder))
        return false;
    const QByteArray password = device.password();
    const auto withPassword = [&password](QByteArray request, const QByteArray &fields) {
        request.append(char(quint8(password.size())));
        request.append(fields);
        return request + password;
    };
    const auto handleOf = [&device](const char *name) {
        for (auto it = device.files().cbegin(); it != device.files().cend(); ++it) {
            if (it->name + '.' + it->extension == name)
                return it.key();
        }
        return SimDevice::kNoHandle;
    };
    const auto withHandle = [](char code, quint32 handle) {
        QByteArray request(1, code);
        request.append(char(handle >> 24)).append(char(handle >> 16)).append(char(handle >> 8)).append(char(handle));
        return request;
    };
    const auto answer = [&device, &folder](const char *name, const QByteArray &request) {
        const QByteArray reply = device.handle(request);
        QByteArray frames;
        for (int offset = 0; offset < reply.size(); offset += varno::kMaxFramePayloadBytes) {
            const bool last = offset + varno::kMaxFramePayloadBytes >= reply.size();
            frames += Packet::data(0, last, reply.mid(offset, varno::kMaxFramePayloadBytes)).encode();
        }
        const QString path = folder + QLatin1Char('/') + QLatin1String(name);
        QFile replyFile(path + QStringLiteral(".reply"));
        QFile framesFile(path + QStringLiteral(".frames"));
        return replyFile.open(QIODevice::WriteOnly) && replyFile.write(reply) == reply.size()
                && framesFile.open(QIODevice::WriteOnly) && framesFile.write(frames) == frames.size();
    };
    QByteArray create(1, char(0x44));
    create.append("FIRMWAREBIN").append(char(0x04)).append(QByteArray::fromHex("00000010"));
    // In this order: the file is created before it is written, the password changed last.
    return answer("00-identity", QByteArray(1, char(0x00)))
            && answer("03-state", QByteArray(1, char(0x03)))
            && answer("20-environment", QByteArray(1, char(0x20)))
            && answer("22-reset-dose", withPassword(QByteArray(1, char(0x22)), QByteArray()))
            && answer("22-reset-dose-refused", QByteArray::fromHex("220178"))
            && answer("23-set-dose", withPassword(QByteArray(1, char(0x23)),
                                                  QByteArray::fromHex("00000000000186a000001000")))
            && answer("30-calibration", QByteArray(1, char(0x30)))
            && answer("31-write-calibration", withPassword(QByteArray(1, char(0x31)), QByteArray::fromHex("0064")))
            && answer("40-list", QByteArray(1, char(0x40)))
            && answer("41-read-meastime", withHandle(0x41, handleOf("MEASTIME.DAT")))
            && answer("41-read-readme", withHandle(0x41, handleOf("README.TXT")))
            && answer("41-read-missing", withHandle(0x41, SimDevice::kNoHandle))
            && answer("44-create", create)
            && answer("42-write", withHandle(0x42, handleOf("FIRMWARE.BIN")) + QByteArray(16, '\x5a'))
            && answer("42-write-refused", withHandle(0x42, SimDevice::kNoHandle))
            && answer("43-remove", withHandle(0x43, handleOf("CONFIG.BIN")))
            && answer("43-remove-missing", withHandle(0x43, SimDevice::kNoHandle))
            && answer("32-change-password", QByteArray(1, char(0x32)) + char(quint8(password.size())) + char(4)
                                                    + password + "4321");
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
        QStringLiteral("Announce the simulator as a plugged-in monitor to VARNO Device Manager and varnoctl "
                       "started with VARNO_SIMULATORS=1 by the same user."));
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
    const QCommandLineOption pacedOption(QStringLiteral("paced"),
        QStringLiteral("Pace the bytes as the monitor's 115200 baud line would."));
    const QCommandLineOption passwordOption(QStringLiteral("password"),
        QStringLiteral("Device password (default 1234)."), QStringLiteral("text"));
    const QCommandLineOption calibrationOption(QStringLiteral("calibration"),
        QStringLiteral("Calibration coefficient in hundredths (default 100)."), QStringLiteral("n"));
    const QCommandLineOption flagsOption(QStringLiteral("state-flags"),
        QStringLiteral("State flags byte: bit 0 external power, 1 accumulator, 2 charging (default 3)."),
        QStringLiteral("n"));
    const QCommandLineOption batteryOption(QStringLiteral("battery"),
        QStringLiteral("Battery level in percent (default 87)."), QStringLiteral("n"));
    const QCommandLineOption powerOnOption(QStringLiteral("power-on-time"),
        QStringLiteral("Power-on time in seconds at start; it advances (default 3600)."), QStringLiteral("s"));
    const QCommandLineOption leftOption(QStringLiteral("left"),
        QStringLiteral("Left sensor reading in hundredths (default 1200)."), QStringLiteral("n"));
    const QCommandLineOption rightOption(QStringLiteral("right"),
        QStringLiteral("Right sensor reading in hundredths (default 1300)."), QStringLiteral("n"));
    const QCommandLineOption doseOption(QStringLiteral("dose"),
        QStringLiteral("Aggregated dose in hundredths (default 100000)."), QStringLiteral("n"));
    const QCommandLineOption fixedOption(QStringLiteral("env-fixed"),
        QStringLiteral("Keep the sensor readings still instead of letting them wander."));
    const QCommandLineOption meastimeOption(QStringLiteral("meastime"),
        QStringLiteral("Load MEASTIME.DAT from this file instead of generating it."), QStringLiteral("file"));
    const QCommandLineOption measureOption(QStringLiteral("measure"),
        QStringLiteral("Load MEASURE.DAT from this file instead of generating it."), QStringLiteral("file"));
    const QCommandLineOption blocksOption(QStringLiteral("stat-blocks"),
        QStringLiteral("Measuring blocks in the generated statistics (default 3)."), QStringLiteral("n"));
    const QCommandLineOption valuesOption(QStringLiteral("stat-values"),
        QStringLiteral("Values per generated block (default 360)."), QStringLiteral("n"));
    const QCommandLineOption fileOption(QStringLiteral("file"),
        QStringLiteral("Put this local file on the device under its 8.3 name (repeatable)."), QStringLiteral("path"));
    const QCommandLineOption noFilesOption(QStringLiteral("no-files"),
        QStringLiteral("Start with an empty file system."));
    const QCommandLineOption dumpOption(QStringLiteral("dump"),
        QStringLiteral("On exit, write the device's files and a filesystem.lst index into this folder."),
        QStringLiteral("folder"));
    const QCommandLineOption wrongLengthOption(QStringLiteral("wrong-length"),
        QStringLiteral("Fault: answer this command code (e.g. 0x03) with a reply of the wrong length."),
        QStringLiteral("code"));
    const QCommandLineOption wrongByOption(QStringLiteral("wrong-length-by"),
        QStringLiteral("Bytes added to (negative: cut from) that reply (default -1)."), QStringLiteral("n"));
    const QCommandLineOption refuseOption(QStringLiteral("refuse-passwords"),
        QStringLiteral("Fault: refuse every password."));
    const QCommandLineOption refuseFileOption(QStringLiteral("refuse-file"),
        QStringLiteral("Fault: refuse to create, write over or remove the file of this 8.3 name, any case "
                       "(repeatable)."),
        QStringLiteral("name"));
    const QCommandLineOption delayOption(QStringLiteral("reply-delay"),
        QStringLiteral("Fault: answer every command this many milliseconds late."), QStringLiteral("ms"));
    const QCommandLineOption delayedOption(QStringLiteral("delayed-replies"),
        QStringLiteral("With --reply-delay: only the first N answers are late (default all)."), QStringLiteral("N"));
    const QCommandLineOption repliesOption(QStringLiteral("replies"),
        QStringLiteral("Write the reply to every command, as a message and as the frames that carry it, "
                       "into this folder and exit."),
        QStringLiteral("folder"));
    parser.addOptions({ repliesOption, delayedOption, echoOption, attachOption, deviceIdOption, firmwareOption, hardwareOption, serialOption,
        baudOption, pacedOption, dropAcksOption, corruptOption, nakOption, duplicateAckOption, abortOption,
        silentOption, passwordOption, calibrationOption, flagsOption, batteryOption, powerOnOption,
        leftOption, rightOption, doseOption, fixedOption, meastimeOption, measureOption, blocksOption,
        valuesOption, fileOption, noFilesOption, dumpOption, wrongLengthOption, wrongByOption,
        refuseOption, refuseFileOption, delayOption });
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

    if (parser.isSet(repliesOption)) {
        SimDevice device;
        device.setIdentity(identity);
        if (!configure(device, parser))
            return 2;
        if (!writeReplies(device, parser.value(repliesOption))) {
            std::fprintf(stderr, "varno-devsim: cannot write the replies into %s\n",
                         qPrintable(parser.value(repliesOption)));
            return 1;
        }
        return 0;
    }

    SimLink link;
    if (!link.open()) {
        std::fprintf(stderr, "varno-devsim: cannot open a pseudo-terminal\n");
        return 1;
    }
    link.setFaults(faults);
    link.setBaudRate(parser.isSet(baudOption) ? parser.value(baudOption).toInt()
                                               : parser.isSet(pacedOption) ? 115200 : 0);

    const bool echo = parser.isSet(echoOption);
    SimDevice device;
    device.setIdentity(identity);
    if (!configure(device, parser))
        return 2;
    const int replyDelayMs = parser.value(delayOption).toInt();
    int delayedReplies = parser.isSet(delayedOption) ? parser.value(delayedOption).toInt() : -1;
    QObject::connect(&link, &SimLink::messageReceived, &device, [&](const QByteArray &request) {
        const QByteArray reply = echo ? request : device.handle(request);
        if (reply.isEmpty())
            return;
        const bool late = replyDelayMs > 0 && delayedReplies != 0;
        if (delayedReplies > 0)
            --delayedReplies;
        if (late)
            QTimer::singleShot(replyDelayMs, &link, [&link, reply] { link.sendMessage(reply); });
        else
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
        // The program trusts only links in a folder that is the user's alone.
        const QString folder = varno::attachedDevicesDir();
        QString why;
        if (folder.isEmpty()) {
            std::fprintf(stderr, "varno-devsim: cannot attach: no private runtime folder\n");
        } else if (!RuntimeFolder::makePrivate(folder, &why)) {
            std::fprintf(stderr, "varno-devsim: cannot attach in %s: %s (make it yours with mode 0700, or remove it)\n",
                         qPrintable(folder), qPrintable(why));
        } else {
            attachedLink = folder + QLatin1Char('/') + varno::attachedDeviceLinkName(::getpid());
            QFile::remove(attachedLink);
            if (!QFile::link(link.slavePath(), attachedLink)) {
                std::fprintf(stderr, "varno-devsim: cannot create %s\n", qPrintable(attachedLink));
                attachedLink.clear();
            }
        }
        if (!attachedLink.isEmpty() && !varno::simulatorsRequested())
            std::fprintf(stderr, "varno-devsim: the program and varnoctl look for attached simulators "
                                 "only when started with VARNO_SIMULATORS=1\n");
    }

    QTextStream out(stdout);
    out << link.slavePath() << Qt::endl;
    if (!attachedLink.isEmpty())
        out << "attached as " << attachedLink << Qt::endl;

    const int rc = app.exec();
    if (parser.isSet(dumpOption) && !device.dump(parser.value(dumpOption)))
        std::fprintf(stderr, "varno-devsim: cannot dump the file system into %s\n",
                     qPrintable(parser.value(dumpOption)));
    if (!attachedLink.isEmpty())
        QFile::remove(attachedLink);
    return rc;
}
