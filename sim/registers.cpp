#include "registers.h"

#include "bigendian.h"
#include "codes.h"

#include <variant>

namespace sim {

namespace {

using Value = std::variant<qint64, float, QByteArray>;

QByteArray octets(const auto &address)
{
    return QByteArray(reinterpret_cast<const char *>(address.data()), qsizetype(address.size()));
}

QByteArray text(const QString &value)
{
    return value.toLatin1();
}

std::optional<Value> valueOf(const DeviceState &state, quint8 c, const Address &address)
{
    using namespace code;
    const Channel &channel = state.channels[address.channel];
    const Channel &selected = state.channels[address.selected];
    const auto inputService = [&]() -> const InputService * {
        return address.sub < selected.inputServices.size() ? &selected.inputServices[address.sub]
                                                           : nullptr;
    };
    switch (c) {
    case FpgaVersion:
        return text(state.identity.fpgaVersion);
    case DiagnosticStatus:
        return state.diagnostics.status;
    case InputServiceCount:
        return qint64(selected.inputServices.size());
    // A position past the end of a list reads as empty rather than leaving the client hanging.
    case InputServiceName:
        return inputService() ? text(inputService()->name) : QByteArray();
    case InputServiceId:
        return qint64(inputService() ? inputService()->id : 0);
    case SelectionHeader:
        return qint64(selected.serviceMode) << 8 | qint64(selected.serviceIds.size());
    case SelectionId:
        return qint64(address.sub < selected.serviceIds.size() ? selected.serviceIds[address.sub]
                                                               : 0);
    case ReadOutFrequency:
        return channel.outFrequency;
    case ReadInFrequency:
        return qint64(channel.inFrequency);
    case ReadLoFrequency:
        return qint64(channel.loFrequency);
    case ReadInSymbolrate:
        return qint64(channel.inSymbolrate);
    case ReadOutSymbolrate:
        return qint64(channel.outSymbolrate);
    case ReadPolarisation:
        return qint64(channel.polarisation);
    case ReadOutputOn:
        return qint64(channel.outputOn);
    case ReadBandwidth:
        return qint64(channel.bandwidth);
    case ReadQam:
        return qint64(channel.qam);
    case TunerStatus:
        return qint64(channel.tuner.status);
    case BitErrors:
        return qint64(channel.tuner.bitErrors);
    case SignalToNoise:
        return qint64(channel.tuner.snrTenths);
    case NoSignal:
        return qint64(channel.tuner.noSignal);
    case DataRate:
        return channel.tuner.dataRate;
    case ReadAttenuation:
        return qint64(channel.attenuation);
    case ReadSpectrum:
        return qint64(channel.spectrum);
    case ReadOpmode:
        return qint64(channel.opmode);
    case PolarisationSupported:
        return qint64(state.identity.polarisationSupported);
    case ControllerVersion:
        return text(state.identity.controllerVersion);
    case DeviceType:
        return text(state.identity.deviceType);
    case SerialNumber:
        return qint64(state.identity.serialNumber);
    case HardwareVersion:
        return text(state.identity.hardwareVersion);
    case MaxTemperature:
        return qint64(state.diagnostics.maxTemperatureRaw);
    case ActualTemperature:
        return qint64(state.diagnostics.actualTemperatureRaw);
    case HoursTotal:
        return qint64(state.diagnostics.hoursTotal);
    case HoursCritical:
        return qint64(state.diagnostics.hoursCritical);
    case ReadLoMode:
        return qint64(channel.loMode);
    case ReadPort:
        return qint64(state.lan.port);
    case ReadIp:
        return octets(state.lan.ip);
    case ReadMask:
        return octets(state.lan.mask);
    case ReadMac:
        return octets(state.lan.mac);
    case ReadGateway:
        return octets(state.lan.gateway);
    case ResetCount:
        return qint64(state.diagnostics.resetCount);
    case Variant:
        return qint64(state.identity.variant);
    // The firmware reports these two without any use the station knows of; zero keeps their
    // widths exercised.
    case Reserved32:
    case Reserved16:
        return qint64(0);
    default:
        return std::nullopt;
    }
}

QByteArray encode(Answer answer, const Value &value)
{
    switch (answer) {
    case Answer::Float:
        return bigEndianFloat(std::get<float>(value));
    case Answer::Int32:
        return bigEndian32(quint32(std::get<qint64>(value)));
    case Answer::Int16:
        return bigEndian16(quint16(std::get<qint64>(value)));
    case Answer::Byte:
        return QByteArray(1, char(std::get<qint64>(value)));
    case Answer::Text:
        return std::get<QByteArray>(value);
    }
    return {};
}

Value decode(Payload payload, const char *bytes)
{
    switch (payload) {
    case Payload::Float:
        return fromBigEndianFloat(bytes);
    case Payload::Int16:
        return qint64(qint16(fromBigEndian16(bytes)));
    case Payload::Port:
        return qint64(fromBigEndian16(bytes));
    case Payload::Ipv4:
        return qint64(fromBigEndian32(bytes));
    case Payload::Byte:
        return qint64(quint8(bytes[0]));
    }
    return qint64(0);
}

void setOctets(std::array<quint8, 4> &address, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        address[i] = quint8(value >> (24 - 8 * i));
}

} // namespace

std::optional<QByteArray> readRegister(const DeviceState &state, quint8 c, const Address &address)
{
    const std::optional<Answer> answer = answerOf(c);
    const std::optional<Value> value = valueOf(state, c, address);
    if (!answer || !value)
        return std::nullopt;
    return encode(*answer, *value);
}

bool writeRegister(DeviceState &state, quint8 c, Address &address, const QByteArray &payload)
{
    using namespace code;
    const std::optional<Payload> kind = payloadOf(c);
    if (!kind || payload.size() < 4)
        return false;
    const Value value = decode(*kind, payload.constData());
    // Only the float write carries no integer; every other code narrows the decoded number to
    // its field.
    const qint64 number = std::holds_alternative<qint64>(value) ? std::get<qint64>(value) : 0;
    const quint8 byte = quint8(number);
    const qint16 int16 = qint16(number);
    Channel &channel = state.channels[address.channel];
    Channel &selected = state.channels[address.selected];
    switch (c) {
    case SelectChannel:
        // A channel the device doesn't have leaves the previous selection in place.
        if (byte < MaxChannels)
            address.selected = byte;
        break;
    case OutFrequency:
        channel.outFrequency = std::get<float>(value);
        break;
    case SetSpectrum:
        channel.spectrum = byte;
        break;
    case SetOpmode:
        channel.opmode = byte;
        break;
    case SetQam:
        channel.qam = byte;
        break;
    case SetOutSymbolrate:
        channel.outSymbolrate = int16;
        break;
    case SetAttenuation:
        channel.attenuation = byte;
        break;
    case SelectionStart:
        selected.serviceMode = byte;
        selected.serviceIds.clear();
        break;
    case SelectionAppend:
        // The selection header reports the count in one byte.
        if (selected.serviceIds.size() < 255)
            selected.serviceIds.append(quint16(int16));
        break;
    case SetPolarisation:
        channel.polarisation = byte;
        break;
    case SetInFrequency:
        channel.inFrequency = int16;
        break;
    case SetLoFrequency:
        channel.loFrequency = int16;
        break;
    case SetInSymbolrate:
        channel.inSymbolrate = int16;
        break;
    case SetOutputOn:
        channel.outputOn = byte;
        break;
    case SetBandwidth:
        channel.bandwidth = byte;
        break;
    case Fan:
        state.diagnostics.fan = byte;
        break;
    case SetLoMode:
        channel.loMode = byte;
        break;
    case SetIp:
        setOctets(state.lan.ip, quint32(number));
        break;
    case SetMask:
        setOctets(state.lan.mask, quint32(number));
        break;
    case SetGateway:
        setOctets(state.lan.gateway, quint32(number));
        break;
    case SetPort:
        state.lan.port = quint16(number);
        break;
    case ResetCounterClear:
        state.diagnostics.resetCount = 0;
        break;
    default:
        // Codes that only mark a step of the client's sequence (list read, apply, keep-alive).
        break;
    }
    return true;
}

namespace {

// Layout of a channel frame of the bulk write.
constexpr int OutFrequencyAt = 0;
constexpr int InFrequencyAt = 4;
constexpr int LoFrequencyAt = 6;
constexpr int InSymbolrateAt = 8;
constexpr int OutSymbolrateAt = 10;
constexpr int PolarisationAt = 12;
constexpr int BandwidthAt = 13;
constexpr int QamAt = 14;
constexpr int SpectrumAt = 15;
constexpr int AttenuationAt = 16;
constexpr int OpmodeAt = 17;
constexpr int OutputOnAt = 18;
constexpr int LoModeAt = 19;
constexpr int ServiceCountAt = 20;
constexpr int ServiceModeAt = 21;

} // namespace

void applyChannelFrame(Channel &channel, const QByteArray &frame)
{
    const char *bytes = frame.constData();
    const auto int16At = [bytes](int at) {
        return qint16(fromBigEndian16(bytes + at));
    };
    const auto byteAt = [bytes](int at) {
        return quint8(bytes[at]);
    };
    channel.outFrequency = fromBigEndianFloat(bytes + OutFrequencyAt);
    channel.inFrequency = int16At(InFrequencyAt);
    channel.loFrequency = int16At(LoFrequencyAt);
    channel.inSymbolrate = int16At(InSymbolrateAt);
    channel.outSymbolrate = int16At(OutSymbolrateAt);
    channel.polarisation = byteAt(PolarisationAt);
    channel.bandwidth = byteAt(BandwidthAt);
    channel.qam = byteAt(QamAt);
    channel.spectrum = byteAt(SpectrumAt);
    channel.attenuation = byteAt(AttenuationAt);
    channel.opmode = byteAt(OpmodeAt);
    channel.outputOn = byteAt(OutputOnAt);
    channel.loMode = byteAt(LoModeAt);
    channel.serviceMode = byteAt(ServiceModeAt);
    channel.serviceIds.clear();
}

int serviceCountOf(const QByteArray &channelFrame)
{
    return quint8(channelFrame[ServiceCountAt]);
}

QList<quint16> decodeServiceIds(const QByteArray &bytes)
{
    QList<quint16> ids;
    for (qsizetype at = 0; at + 1 < bytes.size(); at += 2)
        ids.append(fromBigEndian16(bytes.constData() + at));
    return ids;
}

} // namespace sim
