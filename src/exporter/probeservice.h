#pragma once

#include "core/common/timing.h"
#include "core/features/health/health.h"
#include "core/features/health/inventory.h"
#include "fleet.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace keldor {

// What one probe found: the report, and the inventory when it was asked for.
struct ProbeResult {
    HealthReport report;
    std::optional<InventoryRecord> inventory;
    QString failedStage; // where a failed probe stopped; empty when it succeeded
    double seconds = 0;  // how long the probe took
    bool deadlinePassed = false;
};

// Probes the fleet's headends, each on a thread of its own, and answers every request by its
// deadline. A headend takes one session at a time, so a request for a target whose probe runs
// waits for that probe and shares its answer; a reading younger than the minimum interval
// answers without dialling.
class ProbeService : public QObject {
    Q_OBJECT

public:
    ProbeService(QList<FleetMember> members, const Timing &timing, milliseconds minInterval);
    ~ProbeService() override;

    const QList<FleetMember> &members() const { return m_members; }
    const FleetMember *member(const QString &name) const;

    // Answers the target's figures in the exposition format through answer, on this thread,
    // within budget; a probe still running then answers keldor_up 0 with the stage it is in.
    using Answer = std::function<void(const QString &text)>;
    void probe(const QString &target, bool inventory, milliseconds budget, Answer answer);

    // The exporter's own figures in the exposition format.
    QString ownMetrics() const;
    // Sessions opened since the start.
    int sessions() const { return m_sessions; }

private:
    // What the probe's thread and this one share.
    struct Progress {
        QMutex mutex;
        QString stage;
        ProbeResult result;
    };
    struct Waiter {
        Answer answer;
        bool inventory = false;
        QElapsedTimer clock;
        std::unique_ptr<QTimer> deadline;
    };
    struct Flight {
        std::unique_ptr<QThread> thread;
        std::shared_ptr<Progress> progress;
        bool inventory = false;
        QList<std::shared_ptr<Waiter>> waiters;
    };
    struct Reading {
        ProbeResult result;
        QElapsedTimer age;
    };

    void start(const FleetMember &member, bool inventory, milliseconds budget);
    void finished(const QString &target);
    void expired(const QString &target, const std::shared_ptr<Waiter> &waiter);
    void answer(Waiter &waiter, const QString &target, const ProbeResult &result, double age);

    QList<FleetMember> m_members;
    Timing m_timing;
    milliseconds m_minInterval;
    std::map<QString, Flight> m_flights;
    QHash<QString, Reading> m_readings;
    int m_sessions = 0;
    std::array<qint64, 4> m_answers{}; // by ProbeOutcome
    double m_probeSeconds = 0;
    qint64 m_probes = 0;
};

// The figures of one answer: those of check --format prometheus, and the probe's own.
QString probeText(const QString &target, const ProbeResult &result, bool inventory, double age);

} // namespace keldor
