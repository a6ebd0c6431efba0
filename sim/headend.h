#pragma once

#include "devicestate.h"
#include "fault.h"
#include "transcript.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QObject>

#include <chrono>
#include <optional>

namespace sim {

class Replay;

struct Timing {
    // Silence that makes the device give up a multi-step transfer (upload, bulk write, list).
    // No headend is known to give up: unless a test asks for it, the device waits for ever and
    // takes whatever comes next as the rest of the transfer.
    std::optional<std::chrono::milliseconds> rawTimeout;
    // Time the flash needs to store an FPGA image.
    std::chrono::milliseconds storeDelay = 1s;
    // Time between the restart acknowledgement and the links going down.
    std::chrono::milliseconds restartDrop = 100ms;
    // Time the device stays unreachable while it restarts.
    std::chrono::milliseconds restartDelay = 3s;
};

enum class UploadTarget { Controller, Fpga };

// The device itself: its state, its fault plan and what it heard. Transports create one protocol
// session per connection; all of them share this object.
class Headend : public QObject {
    Q_OBJECT

public:
    explicit Headend(QObject *parent = nullptr);

    DeviceState &state() { return m_state; }
    const DeviceState &state() const { return m_state; }

    Timing timing() const { return m_timing; }
    void setTiming(const Timing &timing) { m_timing = timing; }

    FaultPlan fault() const { return m_fault; }
    void setFault(const FaultPlan &plan) { m_fault = plan; }
    // The fault that hits the unit arriving now; nullopt code = the session opening. Each hit
    // uses up one of the plan's shots.
    Fault strike(std::optional<quint8> code);

    int throttle() const { return m_throttle; }
    // Emulates a serial line of bytesPerSecond in each direction; 0 = as fast as possible.
    void setThrottle(int bytesPerSecond);

    QList<TranscriptEntry> transcript() const { return m_transcript; }
    void clearTranscript() { m_transcript.clear(); }
    // Also appends every entry to path as one JSON line.
    bool setTranscriptFile(const QString &path);
    void record(TranscriptEntry entry);

    QByteArray image(UploadTarget target) const;
    void storeImage(UploadTarget target, const QByteArray &image, int connection);

    // With a replay the device answers as the recording says instead of from its state. The
    // first request that differs ends the replay: no connection gets an answer after it.
    void setReplay(Replay *replay) { m_replay = replay; }
    Replay *replay() const { return m_replay; }
    bool replayFailed() const { return m_replayFailed; }
    void failReplay(const QString &report);

    bool isOnline() const { return m_online; }
    void restart();
    int nextConnectionId() { return ++m_connections; }

signals:
    void replayEnded(const QString &report);
    void throttleChanged(int bytesPerSecond);
    void wentDown();
    void cameUp();

private:
    DeviceState m_state;
    Timing m_timing;
    FaultPlan m_fault;
    int m_throttle = 0;
    QElapsedTimer m_clock;
    QList<TranscriptEntry> m_transcript;
    QFile m_transcriptFile;
    QByteArray m_controllerImage;
    QByteArray m_fpgaImage;
    Replay *m_replay = nullptr;
    bool m_replayFailed = false;
    bool m_online = true;
    bool m_restarting = false;
    int m_connections = 0;
};

} // namespace sim
