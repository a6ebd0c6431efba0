#pragma once

#include <QtGlobal>

#include <span>

namespace keldor {

// How the headend answers a read.
enum class AnswerKind { Float, Int32, Int16, Text, Byte };
// How a write carries its value after channel and code.
enum class PayloadKind { Float, Int16, Port16, Int32, ListText, Byte };

// Which way a parameter's value travels. A read's request carries a sub-index byte and the
// headend answers the value; a write carries the value; a command carries none (its payload
// is zero); a transfer's frame is followed, after the headend's go-ahead, by more bytes (a
// list string, the bulk write, an image).
enum class Direction { Read, Write, Command, Transfer };

struct Parameter {
    quint8 code;
    const char *name;
    Direction direction;
    PayloadKind payload; // a read's sub-index and a transfer's first bytes count as Byte
    AnswerKind answer;   // reads only

    constexpr bool isRead() const { return direction == Direction::Read; }
};

// The parameter codes by name. Codes outside the table still go out as one-byte writes, the
// way keldor-ctl's set and get name them by number.
namespace param {
constexpr quint8 fpgaVersion = 0x01;
constexpr quint8 selectChannel = 0x02;
constexpr quint8 outFrequency = 0x03;
constexpr quint8 spectrum = 0x04;
constexpr quint8 opmode = 0x05;
constexpr quint8 qam = 0x06;
constexpr quint8 outSymbolrate = 0x07;
constexpr quint8 attenuation = 0x08;
constexpr quint8 statusText = 0x09;
constexpr quint8 inputCount = 0x0A;
constexpr quint8 inputName = 0x0B;
constexpr quint8 inputId = 0x0C;
constexpr quint8 inputListDone = 0x0D;
constexpr quint8 selectionStart = 0x0E;
constexpr quint8 selectionId = 0x0F;
constexpr quint8 selectionEnd = 0x10;
constexpr quint8 selectionCommit = 0x11;
constexpr quint8 selectionHeader = 0x12;
constexpr quint8 listedId = 0x13;
constexpr quint8 sessionClose = 0x50;
constexpr quint8 readOutFrequency = 0x51;
constexpr quint8 readInFrequency = 0x52;
constexpr quint8 readLoFrequency = 0x53;
constexpr quint8 readInSymbolrate = 0x54;
constexpr quint8 readOutSymbolrate = 0x55;
constexpr quint8 readPolarisation = 0x56;
constexpr quint8 readOutputOn = 0x57;
constexpr quint8 readBandwidth = 0x58;
constexpr quint8 readQam = 0x59;
constexpr quint8 tunerStatus = 0x60;
constexpr quint8 bitErrors = 0x61;
constexpr quint8 signalToNoise = 0x62;
constexpr quint8 noSignal = 0x63;
constexpr quint8 polarisation = 0x64;
constexpr quint8 inFrequency = 0x65;
constexpr quint8 loFrequency = 0x66;
constexpr quint8 inSymbolrate = 0x67;
constexpr quint8 inputDone = 0x68;
constexpr quint8 dataRate = 0x69;
constexpr quint8 readAttenuation = 0x70;
constexpr quint8 readSpectrum = 0x71;
constexpr quint8 readOpmode = 0x72;
constexpr quint8 outputOn = 0x73;
constexpr quint8 apply = 0x74;
constexpr quint8 bandwidth = 0x75;
constexpr quint8 polarisationSupported = 0x76;
constexpr quint8 keepAlive = 0x77;
constexpr quint8 controllerVersion = 0x78;
constexpr quint8 deviceType = 0x79;
constexpr quint8 serialNumber = 0x7A;
constexpr quint8 hardwareVersion = 0x7B;
constexpr quint8 maximumTemperature = 0x7F;
constexpr quint8 actualTemperature = 0x80;
constexpr quint8 operatingHours = 0x81;
constexpr quint8 criticalHours = 0x82;
constexpr quint8 controllerUpload = 0x84;
constexpr quint8 fan = 0x85;
constexpr quint8 readLoMode = 0x87;
constexpr quint8 loMode = 0x88;
constexpr quint8 fpgaUpload = 0x89;
constexpr quint8 bulkWrite = 0x8A;
constexpr quint8 fpgaStore = 0x8B;
constexpr quint8 ipAddress = 0x8D;
constexpr quint8 subnetMask = 0x8E;
constexpr quint8 port = 0x8F;
constexpr quint8 readPort = 0x90;
constexpr quint8 readIpAddress = 0x91;
constexpr quint8 readSubnetMask = 0x92;
constexpr quint8 macAddress = 0x93;
constexpr quint8 restart = 0x96;
constexpr quint8 resetCountClear = 0x99;
constexpr quint8 resetCount = 0x9C;
constexpr quint8 reservedWord = 0x9F;
constexpr quint8 listString = 0xA0;
constexpr quint8 readGateway = 0xA1;
constexpr quint8 gateway = 0xA2;
constexpr quint8 variant = 0xA3;
constexpr quint8 reservedHalfWord = 0xA5;
} // namespace param

// Every code the station knows, in code order.
std::span<const Parameter> parameterTable();
// The code's entry, or nullptr for a code the table doesn't know.
const Parameter *findParameter(quint8 code);

} // namespace keldor
