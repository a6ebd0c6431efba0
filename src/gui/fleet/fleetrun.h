#pragma once

#include "core/common/timing.h"
#include "core/features/health/health.h"
#include "fleet.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QStringList>

#include <optional>

namespace keldor {

// What a check found on one headend: the judgement and figures of keldor-ctl's check, with the
// versions its inventory reads.
struct HeadendStatus {
    bool checked = false; // false: never checked since the window opened
    HealthReport report;
    std::optional<int> temperature; // degrees C
    int lockedOutputs = 0;
    int activeOutputs = 0;
    QString controllerVersion;
    QString fpgaVersion;
    QDateTime checkedAt;
};

// The status of a finished check: a headend that could not be read is UNKNOWN with the reason.
HeadendStatus headendStatus(const FleetOutcome &outcome, const QDateTime &checkedAt);

// How a fleet backup went: the command's exit status, its --json line for each headend (name,
// address, ok, message, data) and what it said on stderr besides its progress.
struct FleetBackupResult {
    int exitStatus = 0;
    QList<QJsonObject> headends;
    QStringList notes;
};

// Runs the fleet's checks and backups away from the window's thread, so that no headend, however
// slow, holds up the operator; results arrive as signals on the thread that made this object.
// When it is deleted while work runs, the work ends on its own and its results are dropped.
class FleetRun : public QObject {
    Q_OBJECT

public:
    explicit FleetRun(const Timing &timing, QObject *parent = nullptr);

    bool isRunning() const { return m_pending > 0; }

    // Checks every member, as many at once as keldor-ctl fleet does by default.
    void checkAll(const QList<FleetMember> &members);
    // keldor-ctl fleet backup of the directory at directoryPath into folder: the same files,
    // the same names and the same refusals.
    void backUpAll(const QString &directoryPath, const QString &folder);

signals:
    void checked(qsizetype index, const HeadendStatus &status);
    void progressed(int done, int total);
    void backupFinished(const FleetBackupResult &result);
    void finished();

private:
    void settle();

    Timing m_timing;
    int m_pending = 0;
    int m_done = 0;
};

} // namespace keldor
