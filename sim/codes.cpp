#include "codes.h"

namespace sim {

std::optional<Answer> answerOf(quint8 c)
{
    using namespace code;
    switch (c) {
    case ReadOutFrequency:
    case DataRate:
        return Answer::Float;
    case BitErrors:
    case SignalToNoise:
    case SerialNumber:
    case HoursTotal:
    case HoursCritical:
    case Reserved32:
        return Answer::Int32;
    case InputServiceId:
    case SelectionHeader:
    case SelectionId:
    case ReadInFrequency:
    case ReadLoFrequency:
    case ReadInSymbolrate:
    case ReadOutSymbolrate:
    case TunerStatus:
    case NoSignal:
    case ReadPort:
    case Reserved16:
        return Answer::Int16;
    case FpgaVersion:
    case DiagnosticStatus:
    case InputServiceName:
    case ControllerVersion:
    case DeviceType:
    case HardwareVersion:
    case ReadIp:
    case ReadMask:
    case ReadMac:
    case ReadGateway:
        return Answer::Text;
    case InputServiceCount:
    case ReadPolarisation:
    case ReadOutputOn:
    case ReadBandwidth:
    case ReadQam:
    case ReadAttenuation:
    case ReadSpectrum:
    case ReadOpmode:
    case PolarisationSupported:
    case MaxTemperature:
    case ActualTemperature:
    case ReadLoMode:
    case ResetCount:
    case Variant:
        return Answer::Byte;
    default:
        return std::nullopt;
    }
}

std::optional<Payload> payloadOf(quint8 c)
{
    using namespace code;
    switch (c) {
    case OutFrequency:
        return Payload::Float;
    case SetOutSymbolrate:
    case SelectionAppend:
    case SetInFrequency:
    case SetLoFrequency:
    case SetInSymbolrate:
        return Payload::Int16;
    case SetPort:
        return Payload::Port;
    case SetIp:
    case SetMask:
    case SetGateway:
        return Payload::Ipv4;
    case SelectChannel:
    case SetSpectrum:
    case SetOpmode:
    case SetQam:
    case SetAttenuation:
    case InputListDone:
    case SelectionStart:
    case SelectionEnd:
    case SelectionCommit:
    case SetPolarisation:
    case InputDone:
    case SetOutputOn:
    case Apply:
    case SetBandwidth:
    case KeepAlive:
    case Fan:
    case SetLoMode:
    case Restart:
    case ResetCounterClear:
        return Payload::Byte;
    default:
        return std::nullopt;
    }
}

} // namespace sim
