#pragma once

#include "devicestate.h"

#include <QByteArray>

#include <optional>

namespace sim {

// Where a request points: the channel byte of its frame, the channel picked earlier with the
// select code (the service-list codes use that one), and the sub-index of list reads.
struct Address {
    int channel = 0;
    int selected = 0;
    quint8 sub = 0;
};

// The encoded answer to a read: the big-endian value, or for texts the characters without their
// length byte. nullopt when the code is no read.
std::optional<QByteArray> readRegister(const DeviceState &state, quint8 code,
                                       const Address &address);

// Applies a single-frame write with its payload (frame bytes 2..9); false when the code is no
// such write. Selecting a channel changes address.selected.
bool writeRegister(DeviceState &state, quint8 code, Address &address, const QByteArray &payload);

// Applies one 48-byte channel frame of the bulk write. The service IDs follow separately.
void applyChannelFrame(Channel &channel, const QByteArray &frame);

// Number of service IDs announced in a channel frame of the bulk write.
int serviceCountOf(const QByteArray &channelFrame);

QList<quint16> decodeServiceIds(const QByteArray &bytes);

} // namespace sim
