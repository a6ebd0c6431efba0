#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace keldor {

class Exchange;
struct ChannelRecord;

// Selection modes as the headend and the channel record keep them.
namespace servicemode {
constexpr quint8 all = 0;
constexpr quint8 listed = 1;
constexpr quint8 allButListed = 128;
} // namespace servicemode

// One service of a transponder: its name as cleaned for display, and its ID.
struct Service {
    QString name;
    qint16 id = 0;

    bool operator==(const Service &) const = default;
};

// A service ID as the operator knows it: unsigned, as the headend sends it.
QString serviceIdText(qint16 id);

// What the headend reports about the services of one channel.
struct ChannelServices {
    std::optional<int> inputCount; // N, once the headend has told it
    QList<Service> input;          // in the headend's order
    bool selectionKnown = false;   // the selection header has been read
    quint8 mode = servicemode::all;
    int listedCount = 0;     // K from the selection header
    QList<qint16> listedIds; // the IDs read so far, in list order
};

// Which listed IDs a read asks for: the editor needs those that pick or drop an input service,
// a configuration read every ID the headend keeps (at most the 100 a channel record holds),
// whatever the mode and the input list.
enum class ListedIds { Needed, All };

// Reads the input list and the current selection of a channel: select it, read the input
// services, then the selection. The first failed exchange ends the read with false; what was
// read until then stays in services.
bool readServiceLists(Exchange &exchange, int channel, ChannelServices &services,
                      ListedIds ids = ListedIds::Needed);

// The output list that a selection stands for: every input service (mode 0), the input services
// with the listed IDs in list order (mode 1), or the input services minus the listed ones.
QList<Service> outputServices(const ChannelServices &services);

// The selection that carries an output list: all services when both lists are equally long,
// else the shorter of the wanted and the unwanted services.
struct Selection {
    quint8 mode = servicemode::all;
    QList<qint16> ids;

    // Parameter 0xA0's value: mode, count, then each ID high byte first; "0, 0" for mode 0.
    QByteArray listString() const;
};
Selection chooseSelection(const QList<Service> &input, const QList<Service> &output);

} // namespace keldor
