#include "gui/fleet/fleetrun.h"

#include "core/features/health/healthread.h"
#include "core/features/health/inventory.h"
#include "core/model/unitdata.h"
#include "core/protocol/session.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <QThreadPool>

namespace keldor {

namespace {

// As many headends at once as keldor-ctl fleet runs by default.
constexpr int checksAtOnce = 8;

struct CheckResult {
    HealthReport report;
    InventoryRecord inventory;
};

// keldor-ctl check's read and judgement with its default thresholds, then the versions.
FleetOutcome checkHeadend(Session &session, const FleetMember &member)
{
    UnitData unit;
    HealthReading reading;
    InventoryRecord inventory;
    inventory.headend = member.name;
    if (!readHealth(session.exchange, unit, reading) ||
        !readInventory(session.exchange, unit, inventory))
        return {};
    HealthReport report = evaluateHealth(reading, HealthThresholds{});
    report.headend = member.name;
    return {true, {}, {}, CheckResult{report, inventory}};
}

// The work outlives no application: the application waits for it as it ends, while it can still
// deliver the events the work's own waits run on; a window that closes early leaves its work to
// finish unheard.
QThreadPool *pool = nullptr;

void endWorkers()
{
    delete pool;
    pool = nullptr;
}

QThreadPool &workers()
{
    if (!pool) {
        pool = new QThreadPool;
        // One thread for a backup of the whole fleet beside a full round of checks.
        pool->setMaxThreadCount(jobsWithinFileLimit(checksAtOnce) + 1);
        qAddPostRoutine(endWorkers);
    }
    return *pool;
}

// Runs work on a worker thread, then delivery with its result on the thread of receiver,
// unless receiver has gone by then.
template<typename Result>
void runAway(FleetRun *receiver, std::function<Result()> work,
             std::function<void(FleetRun &, const Result &)> delivery)
{
    QPointer<FleetRun> guard(receiver);
    workers().start([guard, work = std::move(work), delivery = std::move(delivery)] {
        Result result = work();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, delivery, result = std::move(result)] {
                if (guard)
                    delivery(*guard, result);
            },
            Qt::QueuedConnection);
    });
}

// Reads what keldor-ctl fleet writes to stderr: "DONE/TOTAL NAME: ..." as each headend ends,
// handed to progress, and every other line kept as a note.
class ProgressDevice : public QIODevice {
public:
    explicit ProgressDevice(std::function<void(int, int)> progress)
        : m_progress(std::move(progress))
    {
        open(QIODevice::WriteOnly);
    }
    QStringList notes;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        static const QRegularExpression counted(QStringLiteral("^(\\d+)/(\\d+) "));
        m_pending.append(data, size);
        for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
            const QString line = QString::fromUtf8(m_pending.left(end));
            m_pending.remove(0, end + 1);
            if (const auto match = counted.match(line); match.hasMatch())
                m_progress(match.captured(1).toInt(), match.captured(2).toInt());
            else if (!line.isEmpty())
                notes.append(line);
        }
        return size;
    }

private:
    std::function<void(int, int)> m_progress;
    QByteArray m_pending;
};

} // namespace

HeadendStatus headendStatus(const FleetOutcome &outcome, const QDateTime &checkedAt)
{
    HeadendStatus status;
    status.checked = true;
    status.checkedAt = checkedAt;
    const auto *result = std::any_cast<CheckResult>(&outcome.result);
    if (!result) {
        status.report = unknownHealth(outcome.message);
        return status;
    }
    status.report = result->report;
    status.controllerVersion = result->inventory.controllerVersion;
    status.fpgaVersion = result->inventory.fpgaVersion;
    for (const HealthFigure &figure : status.report.figures) {
        if (figure.label == QLatin1String("temperature") && figure.value)
            status.temperature = int(*figure.value);
        if (figure.metric == QLatin1String("keldor_tuner_locked")) {
            ++status.activeOutputs;
            status.lockedOutputs += figure.value == 1.0 ? 1 : 0;
        }
    }
    return status;
}

FleetRun::FleetRun(const Timing &timing, QObject *parent)
    : QObject(parent)
    , m_timing(timing)
{}

void FleetRun::checkAll(const QList<FleetMember> &members)
{
    m_pending += int(members.size());
    m_done = 0;
    const int total = int(members.size());
    for (qsizetype index = 0; index < members.size(); ++index) {
        const FleetMember member = members.at(index);
        const Timing timing = m_timing;
        // Each headend runs on its own, so its result comes as soon as it is known.
        runAway<FleetOutcome>(
            this,
            [member, timing] {
                return runFleetMember(member, checkHeadend, timing, timing.fleetMemberLimit());
            },
            [index, total](FleetRun &run, const FleetOutcome &outcome) {
                emit run.checked(index, headendStatus(outcome, QDateTime::currentDateTime()));
                emit run.progressed(++run.m_done, total);
                run.settle();
            });
    }
}

void FleetRun::backUpAll(const QString &directoryPath, const QString &folder)
{
    ++m_pending;
    const Timing timing = m_timing;
    QPointer<FleetRun> guard(this);
    const auto progress = [guard](int done, int total) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, done, total] {
                if (guard)
                    emit guard->progressed(done, total);
            },
            Qt::QueuedConnection);
    };
    runAway<FleetBackupResult>(
        this,
        [directoryPath, folder, timing, progress] {
            FleetBackupResult result;
            QString printed;
            QTextStream out(&printed);
            ProgressDevice errDevice(progress);
            QTextStream err(&errDevice);
            result.exitStatus =
                runFleetCommand({QStringLiteral("backup"), folder, QStringLiteral("--directory"),
                                 directoryPath, QStringLiteral("--json")},
                                out, err, timing);
            out.flush();
            err.flush();
            for (const QString &line : printed.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                result.headends.append(QJsonDocument::fromJson(line.toUtf8()).object());
            result.notes = errDevice.notes;
            return result;
        },
        [](FleetRun &run, const FleetBackupResult &result) {
            emit run.backupFinished(result);
            run.settle();
        });
}

void FleetRun::settle()
{
    if (--m_pending == 0)
        emit finished();
}

} // namespace keldor
