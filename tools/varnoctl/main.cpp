// varnoctl: the monitor's commands from a shell, over the same device and task classes as the
// program, for scripts and for people without a screen.

#include "tools/varnoctl/varnoctl.h"
#include "tools/varnoctl/varnoctlwatch.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

bool verbose = false;

// The device classes log every step; a command-line tool shows them only when asked.
void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg && !verbose)
        return;
    const QByteArray bytes = message.toLocal8Bit() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnoctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARNO_VERSION));
    qInstallMessageHandler(messageHandler);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Talks to a VARNO monitor.\n\nCommands:\n"
        "  info                      identity of the monitor\n"
        "  state                     battery, power and counters\n"
        "  env                       sensor readings and aggregated dose\n"
        "  calibration [get|set V]   read or (with --password) write the coefficient\n"
        "  password OLD NEW          change the device password\n"
        "  dose set VALUE SECONDS    set the aggregated dose (with --password)\n"
        "  dose reset                reset the aggregated dose (with --password)\n"
        "  files                     list the device's files\n"
        "  pull NAME [DIR]           copy a device file into DIR (default: here)\n"
        "  push FILE                 copy a local file onto the device\n"
        "  rm NAME                   remove a device file\n"
        "  list                      list the monitors present (real ones; attached simulators\n"
        "                            too when VARNO_SIMULATORS=1 is set)\n"
        "  history pull [--out FILE] [--erase]\n"
        "                            fetch the statistics and convert them into a history; with\n"
        "                            --erase remove them from the monitor once the copy is verified\n"
        "  history info HIST         where a history came from (no --port)\n"
        "  history convert MEASTIME MEASURE [--out FILE]\n"
        "                            convert statistics files already on disk (no --port)\n"
        "  history export HIST [--from T] [--to T] [--where OP VALUE] [--out FILE.csv]\n"
        "                            write a history as CSV (no --port); T \"yyyy-MM-dd hh:mm:ss\"\n"
        "  history rm [--yes]        remove the statistics from the monitor (asks unless --yes)\n"
        "  firmware check [--server URL]\n"
        "                            the newest firmware for this monitor, or that it is up to date\n"
        "  firmware upload [--server URL] [--yes]\n"
        "                            download the newest firmware and put it on the monitor (with\n"
        "                            --password; asks before removing the old files unless --yes)\n"
        "  journal [--serial S]      the changes made to monitors, oldest first (no --port)\n"
        "  watch [--interval S] [--format csv|jsonl] [--out FILE] [--count N] [--duration S]\n"
        "        [--mqtt URL [--mqtt-topic P] [--mqtt-user U] [--mqtt-ca FILE] [--no-discovery]]\n"
        "                            log the readings until stopped (Ctrl+C), across unplugs;\n"
        "                            with --mqtt alone nothing goes to stdout unless --out -\n\n"
        "Without --port, a command uses the only monitor present.\n"
        "Exit codes: 0 done, 1 password refused, 2 usage, 3 no answer in time (--timeout),\n"
        "4 link failure, 5 other failure, 6 refused before it reached the monitor: a value out of\n"
        "range, a password too long, a file the monitor cannot hold (the message names the range);\n"
        "watch only: 7 MQTT login refused, 8 MQTT TLS failure."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Serial port of the monitor."),
                                        QStringLiteral("path"));
    const QCommandLineOption passwordOption(QStringLiteral("password"),
                                            QStringLiteral("Device password for protected commands."),
                                            QStringLiteral("text"));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print machine-readable JSON."));
    const QCommandLineOption attributesOption(QStringLiteral("attributes"),
                                              QStringLiteral("Attribute byte of a pushed file (default 0)."),
                                              QStringLiteral("n"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Show the link's log."));
    const QCommandLineOption outOption(QStringLiteral("out"),
                                       QStringLiteral("history: the file to write (default: a new history in "
                                                      "the program's data folder, or the history's name with .csv)."),
                                       QStringLiteral("file"));
    const QCommandLineOption fromOption(QStringLiteral("from"), QStringLiteral("history export: first moment."),
                                        QStringLiteral("time"));
    const QCommandLineOption toOption(QStringLiteral("to"), QStringLiteral("history export: last moment."),
                                      QStringLiteral("time"));
    const QCommandLineOption whereOption(QStringLiteral("where"),
                                         QStringLiteral("history export: value comparison, OP VALUE with OP one "
                                                        "of < <= = > >=."),
                                         QStringLiteral("op"));
    const QCommandLineOption yesOption(QStringLiteral("yes"),
                                       QStringLiteral("history rm, firmware upload: do not ask."));
    const QCommandLineOption timeoutOption(QStringLiteral("timeout"),
                                           QStringLiteral("Give up after this many seconds without a result; "
                                                          "a transfer counts from its last progress (default 60)."),
                                           QStringLiteral("seconds"), QStringLiteral("60"));
    const QCommandLineOption serverOption(QStringLiteral("server"),
                                          QStringLiteral("firmware: the update server to ask instead of the "
                                                         "configured one."),
                                          QStringLiteral("url"));
    const QCommandLineOption serialOption(QStringLiteral("serial"),
                                          QStringLiteral("journal: only the changes to this monitor."),
                                          QStringLiteral("serial"));
    const QCommandLineOption eraseOption(QStringLiteral("erase"),
                                         QStringLiteral("history pull: remove the statistics from the monitor "
                                                        "once the download is verified."));
    parser.addOptions({ portOption, passwordOption, jsonOption, attributesOption, verboseOption, outOption,
                        fromOption, toOption, whereOption, yesOption, timeoutOption, serverOption,
                        serialOption, eraseOption });
    addWatchOptions(parser);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do (see above)."));
    // Not process(): on Windows it shows help, version and errors in a message box when the process
    // has no console window (run from a script, or under Wine), and exits 1, our "password refused".
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "varnoctl: error: %s\n", qPrintable(parser.errorText()));
        return ExitUsage;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(versionOption)) {
        std::printf("varnoctl %s\n", VARNO_VERSION);
        return 0;
    }

    verbose = parser.isSet(verboseOption);
    if (parser.positionalArguments().value(0) == QLatin1String("watch"))
        return runWatch(app, parser);
    Ctl::Options options;
    options.port = parser.value(portOption);
    if (parser.isSet(passwordOption))
        options.password = parser.value(passwordOption).isNull() ? QString(QLatin1String(""))
                                                                  : parser.value(passwordOption);
    options.json = parser.isSet(jsonOption);
    options.arguments = parser.positionalArguments();
    options.out = parser.value(outOption);
    options.from = parser.value(fromOption);
    options.to = parser.value(toOption);
    options.where = parser.value(whereOption);
    options.yes = parser.isSet(yesOption);
    options.server = parser.value(serverOption);
    options.serial = parser.value(serialOption);
    options.erase = parser.isSet(eraseOption);
    {
        bool ok = false;
        options.timeoutSeconds = parser.value(timeoutOption).toInt(&ok);
        if (!ok || options.timeoutSeconds < 1 || options.timeoutSeconds > 86400) {
            std::fprintf(stderr, "varnoctl: error: --timeout takes a number of seconds from 1 to 86400\n");
            return ExitUsage;
        }
    }
    if (parser.isSet(attributesOption)) {
        bool ok = false;
        options.attributes = parser.value(attributesOption).toUInt(&ok, 0);
        if (!ok || options.attributes > 255) {
            std::fprintf(stderr, "varnoctl: error: --attributes takes a number from 0 to 255\n");
            return ExitUsage;
        }
        options.attributesSet = true;
    }

    Ctl ctl(options);
    QObject::connect(&ctl, &Ctl::finished, &app, [&app](int code) {
        // Leave the loop first so that the device goes down outside any of its own signals.
        QTimer::singleShot(0, &app, [&app, code] { app.exit(code); });
    });
    QTimer::singleShot(0, &ctl, &Ctl::start);
    return app.exec();
}
