#pragma once

#include "core/model/servicelists.h"

#include <QString>

#include <optional>

namespace keldor {

class Exchange;
struct UnitData;

// The service list editor of one channel without its window: the input list as the headend
// reports it, the output list the operator builds from it, and the transfer of the result.
class ServiceListEditor {
public:
    enum class SaveResult {
        Unchanged, // nothing was edited, nothing sent
        Sent,      // the headend took the selection; the channel record holds it
        Refused,   // the selection doesn't fit the channel record; nothing sent
        Failed,    // a write failed; the record keeps what this transfer had written
    };

    ServiceListEditor(Exchange &exchange, UnitData &unit, int channel);

    // "Edit Servicelist CHANNEL 3" for channel index 2.
    QString caption() const;
    int channel() const { return m_channel; }

    // Reads both lists from the headend again. false after a failed exchange; the lists then
    // hold what was read until then.
    bool fill();
    // With no headend: the IDs the channel record lists become the output list, each named by
    // its ID, as only a headend knows the services' names; the input list stays empty.
    void fillFromRecord();
    // The input count the headend reported, once it has.
    std::optional<int> inputCount() const { return m_inputCount; }
    const QList<Service> &input() const { return m_input; }
    const QList<Service> &output() const { return m_output; }
    bool isModified() const { return m_modified; }

    // Double-click on an input entry: appends it to the output list unless a service with its
    // ID is there already, which the operator is told.
    void addInput(int inputRow);
    // Double-click on an output entry.
    void removeOutput(int outputRow);
    void addAll();
    void removeAll();

    // Sends the selection when something was edited and stores it in the channel record.
    SaveResult save();

private:
    SaveResult send(const Selection &selection);

    Exchange &m_exchange;
    UnitData &m_unit;
    int m_channel = 0;
    std::optional<int> m_inputCount;
    QList<Service> m_input;
    QList<Service> m_output;
    bool m_modified = false;
};

} // namespace keldor
