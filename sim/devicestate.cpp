#include "devicestate.h"

namespace sim {

namespace {

constexpr int DefaultServicesPerChannel = 5;

} // namespace

// Every channel gets its own output slot and transponder so that a client mixing up channel
// indices reads visibly wrong values.
DeviceState::DeviceState()
{
    for (int i = 0; i < MaxChannels; ++i) {
        Channel &channel = channels[i];
        channel.outFrequency = 114.0f + 8.0f * i;
        channel.inFrequency = qint16(10744 + 20 * i);
        for (int s = 0; s < DefaultServicesPerChannel; ++s) {
            channel.inputServices.append({QStringLiteral("Service %1-%2").arg(i + 1).arg(s + 1),
                                          quint16(1000 * (i + 1) + s)});
        }
    }
}

int DeviceState::channelCount() const
{
    switch (identity.variant) {
    case 0:
        return 12;
    case 1:
        return 8;
    case 2:
        return 10;
    default:
        return 16;
    }
}

std::optional<quint8> variantForChannelCount(int count)
{
    switch (count) {
    case 12:
        return 0;
    case 8:
        return 1;
    case 10:
        return 2;
    case 16:
        return 3;
    default:
        return std::nullopt;
    }
}

} // namespace sim
