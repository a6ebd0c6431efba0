#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {

[[noreturn]] void usageError(const QString &message)
{
    std::fprintf(stderr, "headend-sim: %s\n", qPrintable(message));
    std::exit(2);
}

// Accepts decimal and 0x-prefixed hexadecimal, as codes are usually written in hex.
qint64 number(const QCommandLineParser &parser, const QString &name, qint64 min, qint64 max)
{
    bool ok = false;
    const qint64 value = parser.value(name).toLongLong(&ok, 0);
    if (!ok || value < min || value > max)
        usageError(QStringLiteral("--%1 needs a number from %2 to %3").arg(name).arg(min).arg(max));
    return value;
}

std::chrono::milliseconds duration(const QCommandLineParser &parser, const QString &name)
{
    return std::chrono::milliseconds(number(parser, name, 0, 24 * 3600 * 1000));
}

// "3,5": channels as the operator counts them.
QList<int> channelList(const QCommandLineParser &parser, const QString &name)
{
    QList<int> channels;
    for (const QString &part : parser.value(name).split(QLatin1Char(','))) {
        bool ok = false;
        const int channel = part.toInt(&ok);
        if (!ok || channel < 1 || channel > MaxChannels)
            usageError(QStringLiteral("--%1 needs channels from 1 to %2, separated by commas")
                           .arg(name)
                           .arg(MaxChannels));
        channels.append(channel);
    }
    return channels;
}

} // namespace

Options parseCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated KELDOR headend for tests, demos and benchmarks."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {"config", "Device state from a JSON file.", "file"},
        {"dump-state", "Write the device state as JSON on exit.", "file"},
        {"transcript", "Append every received unit as a JSON line.", "file"},
        {"replay",
         "Answer as the headend in this keldor-ctl --trace file did; the first request that "
         "differs, or at the end the first that never came, is reported and the simulator ends "
         "with status 3.",
         "file"},
        {"bind", "Address to listen on (default 127.0.0.1).", "address"},
        {"tcp", "Listen on this TCP port; 0 picks a free one.", "port"},
        {"pty", "Offer a pseudo-terminal as the USB serial port."},
        {"pty-link",
         "Also make a symbolic link to the pseudo-terminal; only a link of that name is replaced.",
         "path"},
        {"variant", "Channel count: 8, 10, 12 or 16.", "channels"},
        {"serial", "Serial number.", "number"},
        {"device-type", "Device type text.", "text"},
        {"hardware-version", "Hardware version text.", "text"},
        {"controller-version", "Controller software version text.", "text"},
        {"fpga-version", "FPGA software version text.", "text"},
        {"temperature", "Actual temperature, degrees C (-16 to 239).", "celsius"},
        {"snr", "Signal-to-noise ratio of every tuner, dB.", "dB"},
        {"unlocked", "Channels whose tuner has lost its lock, e.g. 3,5.", "channels"},
        {"output-off", "Channels whose output is switched off.", "channels"},
        {"fault", "silent, late-ok, drop, late, garbage, disconnect, babble or slow.", "mode"},
        {"fault-code", "Frame code the fault applies to (default: every frame).", "code"},
        {"fault-count", "How many times the fault fires (default: always).", "count"},
        {"fault-every", "Fire on every Nth matching frame only (default 1).", "n"},
        {"fault-delay",
         "Delay of a late OK or answer, or of every slow answer, in ms (default 3500).", "ms"},
        {"fault-garbage", "Garbage bytes as hex digits.", "hex"},
        {"baud", "Emulate a serial line of this speed in both directions.", "baud"},
        {"upload-timeout",
         "Silence that abandons a multi-step transfer, ms (default: the device waits for ever).",
         "ms"},
        {"store-delay", "Time to store an FPGA image, ms.", "ms"},
        {"restart-delay", "Time a restart keeps the device away, ms.", "ms"},
    });
    parser.process(app);

    Options options;
    options.configFile = parser.value("config");
    options.dumpStateFile = parser.value("dump-state");
    options.transcriptFile = parser.value("transcript");
    options.replayFile = parser.value("replay");
    if (parser.isSet("bind") && !options.bindAddress.setAddress(parser.value("bind")))
        usageError(QStringLiteral("--bind needs an IP address"));
    if (parser.isSet("tcp"))
        options.tcpPort = quint16(number(parser, "tcp", 0, 65535));
    options.pty = parser.isSet("pty") || parser.isSet("pty-link");
    options.ptyLink = parser.value("pty-link");
    if (!options.tcpPort && !options.pty)
        usageError(QStringLiteral("give --tcp PORT, --pty or both"));

    if (parser.isSet("variant")) {
        options.variant = variantForChannelCount(int(number(parser, "variant", 0, 16)));
        if (!options.variant)
            usageError(QStringLiteral("--variant needs 8, 10, 12 or 16"));
    }
    if (parser.isSet("serial"))
        options.serialNumber = qint32(number(parser, "serial", INT32_MIN, INT32_MAX));
    options.deviceType = parser.value("device-type");
    options.hardwareVersion = parser.value("hardware-version");
    options.controllerVersion = parser.value("controller-version");
    options.fpgaVersion = parser.value("fpga-version");

    if (parser.isSet("temperature"))
        options.temperature = int(number(parser, "temperature", -16, 239));
    if (parser.isSet("snr")) {
        bool ok = false;
        const double snr = parser.value("snr").toDouble(&ok);
        if (!ok || snr < 0 || snr > 100)
            usageError(QStringLiteral("--snr needs a number of dB from 0 to 100"));
        options.snrTenths = qint32(std::lround(snr * 10));
    }
    if (parser.isSet("unlocked"))
        options.unlockedChannels = channelList(parser, "unlocked");
    if (parser.isSet("output-off"))
        options.outputsOff = channelList(parser, "output-off");

    if (parser.isSet("fault")) {
        const std::optional<Fault> fault = faultFromName(parser.value("fault"));
        if (!fault)
            usageError(QStringLiteral("unknown --fault %1").arg(parser.value("fault")));
        options.fault.fault = *fault;
    }
    if (parser.isSet("fault-code"))
        options.fault.code = int(number(parser, "fault-code", -1, 255));
    if (parser.isSet("fault-count"))
        options.fault.count = int(number(parser, "fault-count", -1, INT32_MAX));
    if (parser.isSet("fault-every"))
        options.fault.every = int(number(parser, "fault-every", 1, INT32_MAX));
    if (parser.isSet("fault-delay"))
        options.fault.delay = duration(parser, "fault-delay");
    if (parser.isSet("fault-garbage")) {
        options.fault.garbage = QByteArray::fromHex(parser.value("fault-garbage").toLatin1());
        if (options.fault.garbage.isEmpty())
            usageError(QStringLiteral("--fault-garbage needs hex digits"));
    }
    if (parser.isSet("baud"))
        options.baud = int(number(parser, "baud", 0, 10'000'000));
    if (parser.isSet("upload-timeout"))
        options.timing.rawTimeout = duration(parser, "upload-timeout");
    if (parser.isSet("store-delay"))
        options.timing.storeDelay = duration(parser, "store-delay");
    if (parser.isSet("restart-delay"))
        options.timing.restartDelay = duration(parser, "restart-delay");
    return options;
}

void applyIdentityShortcuts(const Options &options, DeviceState &state)
{
    Identity &identity = state.identity;
    if (options.variant)
        identity.variant = *options.variant;
    if (options.serialNumber)
        identity.serialNumber = *options.serialNumber;
    if (!options.deviceType.isEmpty())
        identity.deviceType = options.deviceType;
    if (!options.hardwareVersion.isEmpty())
        identity.hardwareVersion = options.hardwareVersion;
    if (!options.controllerVersion.isEmpty())
        identity.controllerVersion = options.controllerVersion;
    if (!options.fpgaVersion.isEmpty())
        identity.fpgaVersion = options.fpgaVersion;
}

void applyHealthShortcuts(const Options &options, DeviceState &state)
{
    if (options.temperature)
        state.diagnostics.actualTemperatureRaw = quint8(*options.temperature + 16);
    for (Channel &channel : state.channels) {
        if (options.snrTenths)
            channel.tuner.snrTenths = *options.snrTenths;
    }
    // An unlocked tuner has nothing to measure, and the headend says so.
    for (const int number : options.unlockedChannels) {
        Tuner &tuner = state.channels.at(size_t(number - 1)).tuner;
        tuner.status = 0;
        tuner.noSignal = 1;
        tuner.dataRate = 0;
    }
    for (const int number : options.outputsOff)
        state.channels.at(size_t(number - 1)).outputOn = 0;
}

} // namespace sim
