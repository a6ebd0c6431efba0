#include "core/protocol/parametertable.h"

#include <algorithm>
#include <array>

namespace keldor {

namespace {

using enum Direction;
using A = AnswerKind;
using P = PayloadKind;

constexpr Parameter read(quint8 code, const char *name, AnswerKind answer)
{
    return {code, name, Read, P::Byte, answer};
}

constexpr Parameter write(quint8 code, const char *name, PayloadKind payload = P::Byte)
{
    return {code, name, Write, payload, A::Byte};
}

constexpr Parameter command(quint8 code, const char *name)
{
    return {code, name, Command, P::Byte, A::Byte};
}

constexpr Parameter transfer(quint8 code, const char *name, PayloadKind payload = P::Byte)
{
    return {code, name, Transfer, payload, A::Byte};
}

using namespace param;

constexpr std::array table{
    read(fpgaVersion, "FPGA version", A::Text),
    write(selectChannel, "select channel"),
    write(outFrequency, "output frequency", P::Float),
    write(spectrum, "spectrum"),
    write(opmode, "operating mode"),
    write(qam, "QAM order"),
    write(outSymbolrate, "output symbol rate", P::Int16),
    write(attenuation, "attenuation"),
    read(statusText, "status text", A::Text),
    read(inputCount, "input service count", A::Byte),
    read(inputName, "input service name", A::Text),
    read(inputId, "input service ID", A::Int16),
    write(inputListDone, "input list done"),
    write(selectionStart, "selection start"),
    write(selectionId, "selection ID", P::Int16),
    write(selectionEnd, "selection end"),
    write(selectionCommit, "selection commit"),
    read(selectionHeader, "selection header", A::Int16),
    read(listedId, "listed ID", A::Int16),
    command(sessionClose, "session close"),
    read(readOutFrequency, "output frequency", A::Float),
    read(readInFrequency, "input frequency", A::Int16),
    read(readLoFrequency, "LO frequency", A::Int16),
    read(readInSymbolrate, "input symbol rate", A::Int16),
    read(readOutSymbolrate, "output symbol rate", A::Int16),
    read(readPolarisation, "polarisation", A::Byte),
    read(readOutputOn, "output on", A::Byte),
    read(readBandwidth, "bandwidth", A::Byte),
    read(readQam, "QAM order", A::Byte),
    read(tunerStatus, "tuner status", A::Int16),
    read(bitErrors, "bit errors", A::Int32),
    read(signalToNoise, "signal to noise", A::Int32),
    read(noSignal, "no signal", A::Int16),
    write(polarisation, "polarisation"),
    write(inFrequency, "input frequency", P::Int16),
    write(loFrequency, "LO frequency", P::Int16),
    write(inSymbolrate, "input symbol rate", P::Int16),
    write(inputDone, "input done"),
    read(dataRate, "data rate", A::Float),
    read(readAttenuation, "attenuation", A::Byte),
    read(readSpectrum, "spectrum", A::Byte),
    read(readOpmode, "operating mode", A::Byte),
    write(outputOn, "output on"),
    write(apply, "apply"),
    write(bandwidth, "bandwidth"),
    read(polarisationSupported, "polarisation supported", A::Byte),
    write(keepAlive, "keep-alive"),
    read(controllerVersion, "controller version", A::Text),
    read(deviceType, "device type", A::Text),
    read(serialNumber, "serial number", A::Int32),
    read(hardwareVersion, "hardware version", A::Text),
    read(maximumTemperature, "maximum temperature", A::Byte),
    read(actualTemperature, "actual temperature", A::Byte),
    read(operatingHours, "operating hours", A::Int32),
    read(criticalHours, "critical hours", A::Int32),
    transfer(controllerUpload, "controller upload"),
    write(fan, "fan"),
    read(readLoMode, "LO mode", A::Byte),
    write(loMode, "LO mode"),
    transfer(fpgaUpload, "FPGA upload"),
    transfer(bulkWrite, "bulk write"),
    command(fpgaStore, "FPGA store"),
    write(ipAddress, "IP address", P::Int32),
    write(subnetMask, "subnet mask", P::Int32),
    write(port, "port", P::Port16),
    read(readPort, "port", A::Int16),
    read(readIpAddress, "IP address", A::Text),
    read(readSubnetMask, "subnet mask", A::Text),
    read(macAddress, "MAC address", A::Text),
    write(restart, "restart"),
    write(resetCountClear, "reset count clear"),
    read(resetCount, "reset count", A::Byte),
    read(reservedWord, "reserved word", A::Int32),
    transfer(listString, "service list string", P::ListText),
    read(readGateway, "gateway", A::Text),
    write(gateway, "gateway", P::Int32),
    read(variant, "variant", A::Byte),
    read(reservedHalfWord, "reserved half word", A::Int16),
};

static_assert(std::ranges::is_sorted(table, {}, &Parameter::code));
static_assert(std::ranges::adjacent_find(table, {}, &Parameter::code) == table.end());

} // namespace

std::span<const Parameter> parameterTable()
{
    return table;
}

const Parameter *findParameter(quint8 code)
{
    const auto *found = std::ranges::lower_bound(table, code, {}, &Parameter::code);
    return found != table.end() && found->code == code ? found : nullptr;
}

} // namespace keldor
