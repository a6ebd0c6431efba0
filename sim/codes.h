#pragma once

#include <QtGlobal>

#include <optional>

// Parameter codes as the headend firmware knows them. Kept apart from the station's own tables on
// purpose: the simulator must not inherit a misreading from the code it is meant to test.
namespace sim::code {

constexpr quint8 FpgaVersion = 0x01;
constexpr quint8 SelectChannel = 0x02;
constexpr quint8 OutFrequency = 0x03;
constexpr quint8 SetSpectrum = 0x04;
constexpr quint8 SetOpmode = 0x05;
constexpr quint8 SetQam = 0x06;
constexpr quint8 SetOutSymbolrate = 0x07;
constexpr quint8 SetAttenuation = 0x08;
constexpr quint8 DiagnosticStatus = 0x09;
constexpr quint8 InputServiceCount = 0x0A;
constexpr quint8 InputServiceName = 0x0B;
constexpr quint8 InputServiceId = 0x0C;
constexpr quint8 InputListDone = 0x0D;
constexpr quint8 SelectionStart = 0x0E;
constexpr quint8 SelectionAppend = 0x0F;
constexpr quint8 SelectionEnd = 0x10;
constexpr quint8 SelectionCommit = 0x11;
constexpr quint8 SelectionHeader = 0x12;
constexpr quint8 SelectionId = 0x13;
constexpr quint8 Close = 0x50;
constexpr quint8 ReadOutFrequency = 0x51;
constexpr quint8 ReadInFrequency = 0x52;
constexpr quint8 ReadLoFrequency = 0x53;
constexpr quint8 ReadInSymbolrate = 0x54;
constexpr quint8 ReadOutSymbolrate = 0x55;
constexpr quint8 ReadPolarisation = 0x56;
constexpr quint8 ReadOutputOn = 0x57;
constexpr quint8 ReadBandwidth = 0x58;
constexpr quint8 ReadQam = 0x59;
constexpr quint8 TunerStatus = 0x60;
constexpr quint8 BitErrors = 0x61;
constexpr quint8 SignalToNoise = 0x62;
constexpr quint8 NoSignal = 0x63;
constexpr quint8 SetPolarisation = 0x64;
constexpr quint8 SetInFrequency = 0x65;
constexpr quint8 SetLoFrequency = 0x66;
constexpr quint8 SetInSymbolrate = 0x67;
constexpr quint8 InputDone = 0x68;
constexpr quint8 DataRate = 0x69;
constexpr quint8 ReadAttenuation = 0x70;
constexpr quint8 ReadSpectrum = 0x71;
constexpr quint8 ReadOpmode = 0x72;
constexpr quint8 SetOutputOn = 0x73;
constexpr quint8 Apply = 0x74;
constexpr quint8 SetBandwidth = 0x75;
constexpr quint8 PolarisationSupported = 0x76;
constexpr quint8 KeepAlive = 0x77;
constexpr quint8 ControllerVersion = 0x78;
constexpr quint8 DeviceType = 0x79;
constexpr quint8 SerialNumber = 0x7A;
constexpr quint8 HardwareVersion = 0x7B;
constexpr quint8 MaxTemperature = 0x7F;
constexpr quint8 ActualTemperature = 0x80;
constexpr quint8 HoursTotal = 0x81;
constexpr quint8 HoursCritical = 0x82;
constexpr quint8 UploadController = 0x84;
constexpr quint8 Fan = 0x85;
constexpr quint8 ReadLoMode = 0x87;
constexpr quint8 SetLoMode = 0x88;
constexpr quint8 UploadFpga = 0x89;
constexpr quint8 BulkWrite = 0x8A;
constexpr quint8 StoreFpga = 0x8B;
constexpr quint8 SetIp = 0x8D;
constexpr quint8 SetMask = 0x8E;
constexpr quint8 SetPort = 0x8F;
constexpr quint8 ReadPort = 0x90;
constexpr quint8 ReadIp = 0x91;
constexpr quint8 ReadMask = 0x92;
constexpr quint8 ReadMac = 0x93;
constexpr quint8 Restart = 0x96;
constexpr quint8 ResetCounterClear = 0x99;
constexpr quint8 ResetCount = 0x9C;
constexpr quint8 Reserved32 = 0x9F;
constexpr quint8 ServiceListString = 0xA0;
constexpr quint8 ReadGateway = 0xA1;
constexpr quint8 SetGateway = 0xA2;
constexpr quint8 Variant = 0xA3;
constexpr quint8 Reserved16 = 0xA5;

} // namespace sim::code

namespace sim {

enum class Answer { Byte, Int16, Int32, Float, Text };
enum class Payload { Byte, Int16, Port, Ipv4, Float };

// How the device encodes the answer to a read; nullopt when the code is no read.
std::optional<Answer> answerOf(quint8 code);

// How the payload of a single-frame write is laid out; nullopt when the code is no such write.
std::optional<Payload> payloadOf(quint8 code);

} // namespace sim
