#include "probeservice.h"

#include "core/common/deadline.h"
#include "core/features/health/healthread.h"
#include "core/model/unitdata.h"
#include "core/protocol/session.h"

#include <QMutexLocker>
#include <QTimer>

#include <algorithm>

namespace keldor {

namespace {

enum ProbeOutcome { Success, Failure, Deadline, Cached };
constexpr std::array<const char *, 4> outcomeNames{"success", "failure", "deadline", "cached"};

QString seconds(double value)
{
    return QString::number(value, 'f', 3);
}

ProbeResult runProbe(const FleetMember &member, bool inventory, const Timing &timing,
                     milliseconds budget, QMutex &mutex, QString &stage)
{
    QElapsedTimer clock;
    clock.start();
    ProbeResult result;
    const FleetOutcome outcome = runFleetMember(
        member,
        [&](Session &session, const FleetMember &) {
            UnitData unit;
            HealthReading reading;
            if (!readHealth(session.exchange, unit, reading))
                return FleetOutcome{};
            result.report = evaluateHealth(reading, HealthThresholds{});
            if (inventory) {
                InventoryRecord record;
                record.headend = member.name;
                if (!readInventory(session.exchange, unit, record))
                    return FleetOutcome{};
                result.inventory = record;
            }
            return FleetOutcome{true, {}, {}, {}};
        },
        timing, budget,
        [&](Session &session) {
            // The deadline says where the probe is as it goes, on this thread.
            QObject::connect(&session.exchange.deadline(), &OperationDeadline::stageEntered,
                             [&](const QString &entered) {
                                 QMutexLocker lock(&mutex);
                                 stage = entered;
                             });
        });
    result.seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!outcome.ok) {
        result.failedStage = outcome.stage.isEmpty() ? QStringLiteral("connect") : outcome.stage;
        result.deadlinePassed = outcome.timedOut;
        result.inventory.reset();
        result.report = unknownHealth(outcome.message);
    }
    return result;
}

MetricSample probeSample(const QString &metric, const QString &help, const QString &target,
                         const QString &value)
{
    return {metric, help, QStringLiteral("gauge"), {{QStringLiteral("headend"), target}}, value};
}

} // namespace

QString probeText(const QString &target, const ProbeResult &result, bool inventory, double age)
{
    HealthReport report = result.report;
    report.headend = target;
    QList<MetricSample> samples = healthSamples({report});
    samples.append(probeSample(QStringLiteral("keldor_probe_duration_seconds"),
                               QStringLiteral("How long the probe that read these figures took."),
                               target, seconds(result.seconds)));
    samples.append(probeSample(QStringLiteral("keldor_reading_age_seconds"),
                               QStringLiteral("Seconds since these figures were read."), target,
                               seconds(age)));
    if (!result.failedStage.isEmpty()) {
        MetricSample failure = probeSample(
            QStringLiteral("keldor_probe_failure_info"),
            QStringLiteral("Where a failed probe stopped: connect, proxy, identity, diagnostics "
                           "or channel N."),
            target, QStringLiteral("1"));
        failure.labels.append({QStringLiteral("stage"), result.failedStage});
        samples.append(failure);
    }
    if (inventory && result.inventory) {
        const InventoryRecord &record = *result.inventory;
        MetricSample info =
            probeSample(QStringLiteral("keldor_info"),
                        QStringLiteral("The headend's identity; the value is always 1."), target,
                        QStringLiteral("1"));
        info.labels += {{QStringLiteral("serial"), QString::number(record.serialNumber)},
                        {QStringLiteral("device_type"), record.deviceType},
                        {QStringLiteral("controller"), record.controllerVersion},
                        {QStringLiteral("fpga"), record.fpgaVersion},
                        {QStringLiteral("channels"), QString::number(record.channelCount)}};
        samples.append(info);
    }
    return exposition(samples);
}

ProbeService::ProbeService(QList<FleetMember> members, const Timing &timing,
                           milliseconds minInterval)
    : m_members(std::move(members))
    , m_timing(timing)
    , m_minInterval(minInterval)
{}

ProbeService::~ProbeService()
{
    for (auto &[target, flight] : m_flights)
        flight.thread->wait();
}

const FleetMember *ProbeService::member(const QString &name) const
{
    const auto found = std::find_if(m_members.cbegin(), m_members.cend(),
                                    [&](const FleetMember &m) { return m.name == name; });
    return found == m_members.cend() ? nullptr : &*found;
}

void ProbeService::probe(const QString &target, bool inventory, milliseconds budget, Answer answer)
{
    const auto reading = m_readings.constFind(target);
    if (reading != m_readings.cend() && milliseconds(reading->age.elapsed()) < m_minInterval &&
        (!inventory || reading->result.inventory)) {
        const double age = double(reading->age.nsecsElapsed()) / 1e9;
        ++m_answers[Cached];
        answer(probeText(target, reading->result, inventory, age));
        return;
    }
    if (budget <= 0ms) {
        // No time to read anything: the scrape's time-out leaves nothing after the margin.
        ProbeResult result;
        result.failedStage = QStringLiteral("connect");
        result.deadlinePassed = true;
        result.report = unknownHealth(QStringLiteral("no time left for the probe"));
        ++m_answers[Deadline];
        answer(probeText(target, result, inventory, 0));
        return;
    }
    auto waiter = std::make_shared<Waiter>();
    waiter->answer = std::move(answer);
    waiter->inventory = inventory;
    waiter->clock.start();
    waiter->deadline = std::make_unique<QTimer>();
    waiter->deadline->setSingleShot(true);
    connect(waiter->deadline.get(), &QTimer::timeout, this,
            [this, target, w = std::weak_ptr<Waiter>(waiter)] {
                if (const auto waiting = w.lock())
                    expired(target, waiting);
            });
    if (m_flights.count(target) == 0)
        start(*member(target), inventory, budget);
    m_flights[target].waiters.append(waiter);
    waiter->deadline->start(budget);
}

void ProbeService::start(const FleetMember &member, bool inventory, milliseconds budget)
{
    Flight &flight = m_flights[member.name];
    flight.inventory = inventory;
    flight.progress = std::make_shared<Progress>();
    flight.progress->stage =
        member.proxyHost.isEmpty() ? QStringLiteral("connect") : QStringLiteral("proxy");
    flight.thread.reset(
        QThread::create([progress = flight.progress, member, inventory, budget, timing = m_timing] {
            ProbeResult result =
                runProbe(member, inventory, timing, budget, progress->mutex, progress->stage);
            QMutexLocker lock(&progress->mutex);
            progress->result = std::move(result);
        }));
    connect(
        flight.thread.get(), &QThread::finished, this,
        [this, target = member.name] { finished(target); }, Qt::QueuedConnection);
    ++m_sessions;
    flight.thread->start();
}

void ProbeService::finished(const QString &target)
{
    auto node = m_flights.extract(target);
    Flight &flight = node.mapped();
    flight.thread->wait();
    ProbeResult result;
    {
        QMutexLocker lock(&flight.progress->mutex);
        result = flight.progress->result;
    }
    ++m_probes;
    m_probeSeconds += result.seconds;
    if (result.failedStage.isEmpty()) {
        Reading &reading = m_readings[target];
        reading.result = result;
        reading.age.start();
    }
    for (const std::shared_ptr<Waiter> &waiter : std::as_const(flight.waiters)) {
        ++m_answers[result.failedStage.isEmpty() ? Success
                    : result.deadlinePassed      ? Deadline
                                                 : Failure];
        answer(*waiter, target, result, 0);
    }
}

void ProbeService::expired(const QString &target, const std::shared_ptr<Waiter> &waiter)
{
    Flight &flight = m_flights[target];
    flight.waiters.removeOne(waiter);
    ProbeResult result;
    {
        QMutexLocker lock(&flight.progress->mutex);
        result.failedStage = flight.progress->stage;
    }
    result.deadlinePassed = true;
    result.seconds = double(waiter->clock.nsecsElapsed()) / 1e9;
    result.report =
        unknownHealth(QStringLiteral("the probe ran out of time at %1").arg(result.failedStage));
    ++m_answers[Deadline];
    answer(*waiter, target, result, 0);
}

void ProbeService::answer(Waiter &waiter, const QString &target, const ProbeResult &result,
                          double age)
{
    waiter.deadline->stop();
    waiter.answer(probeText(target, result, waiter.inventory, age));
}

QString ProbeService::ownMetrics() const
{
    QList<MetricSample> samples;
    for (size_t i = 0; i < outcomeNames.size(); ++i)
        samples.append({QStringLiteral("keldor_exporter_probes_total"),
                        QStringLiteral("Probes answered, by result: success, failure, deadline "
                                       "(the scrape's time-out came first), cached (an earlier "
                                       "reading answered)."),
                        QStringLiteral("counter"),
                        {{QStringLiteral("result"), QLatin1String(outcomeNames.at(i))}},
                        QString::number(m_answers.at(i))});
    samples.append({QStringLiteral("keldor_exporter_sessions_total"),
                    QStringLiteral("Sessions the exporter opened to headends."),
                    QStringLiteral("counter"),
                    {},
                    QString::number(m_sessions)});
    const QString durationHelp = QStringLiteral("Durations of the finished probes.");
    samples.append({QStringLiteral("keldor_exporter_probe_duration_seconds"),
                    durationHelp,
                    QStringLiteral("summary"),
                    {},
                    seconds(m_probeSeconds),
                    QStringLiteral("_sum")});
    samples.append({QStringLiteral("keldor_exporter_probe_duration_seconds"),
                    durationHelp,
                    QStringLiteral("summary"),
                    {},
                    QString::number(m_probes),
                    QStringLiteral("_count")});
    samples.append({QStringLiteral("keldor_exporter_targets"),
                    QStringLiteral("Headends the exporter knows by name."),
                    QStringLiteral("gauge"),
                    {},
                    QString::number(m_members.size())});
    return exposition(samples);
}

} // namespace keldor
