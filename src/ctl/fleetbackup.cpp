// fleet backup: each headend's configuration into DIR/NAME, either as time-stamped files that
// --keep prunes, or with --git as one settings file and report per headend whose changes are
// committed. Either way DIR is held by one run at a time, and each headend's folder keeps the
// state of its last backups for fleet check --max-backup-age.

#include "fleetjob.h"
#include "gitrepository.h"

#include "core/common/fileaccess.h"
#include "core/features/report/rtfreport.h"
#include "core/features/update/backup.h"
#include "core/model/headendsettings.h"
#include "core/model/settingsfile.h"
#include "core/model/unitdiff.h"
#include "core/protocol/session.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace keldor {

namespace {

const QString keepOption = QStringLiteral("--keep");
const QString gitOption = QStringLiteral("--git");
const QString onChangeOption = QStringLiteral("--on-change");
const QString onFailOption = QStringLiteral("--on-fail");
const QString stateName = QStringLiteral(".keldor-state");
constexpr qint64 stateLimit = 64 * 1024;

struct BackupOptions {
    int keep = 0;
    bool git = false;
    QString onChange;
    QString onFail;
};

// What a headend's folder remembers of its backups.
struct BackupState {
    QDateTime lastAttempt;
    QDateTime lastSuccess;
    QDateTime lastChange;
    QString serial;
    QByteArray settingsHash;
};

QDateTime stateTime(const QJsonObject &object, const char *key)
{
    return QDateTime::fromString(object.value(QLatin1String(key)).toString(), Qt::ISODate);
}

BackupState decodeState(const QByteArray &bytes)
{
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    return {stateTime(object, "last_attempt"), stateTime(object, "last_success"),
            stateTime(object, "last_change"), object.value(QLatin1String("serial")).toString(),
            object.value(QLatin1String("settings_sha256")).toString().toLatin1()};
}

QByteArray encodeState(const BackupState &state)
{
    const auto time = [](const QDateTime &t) {
        return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODate)) : QJsonValue();
    };
    return QJsonDocument(QJsonObject{{QStringLiteral("last_attempt"), time(state.lastAttempt)},
                                     {QStringLiteral("last_success"), time(state.lastSuccess)},
                                     {QStringLiteral("last_change"), time(state.lastChange)},
                                     {QStringLiteral("serial"), state.serial},
                                     {QStringLiteral("settings_sha256"),
                                      QString::fromLatin1(state.settingsHash)}})
        .toJson();
}

QString systemFailure(const QString &path)
{
    return QStringLiteral("%1 could not be written: %2")
        .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno)));
}

QString versionText(const QByteArray &version)
{
    return QString::fromLatin1(version).trimmed();
}

// What changed in a few words: the one field with its values, else the fields per channel,
// else how many channels.
QString changeSummary(const UnitDiff &diff)
{
    if (diff.isEmpty())
        return QStringLiteral("settings changed");
    const ChannelChange &first = diff.channels.first();
    if (diff.channels.size() == 1 && first.fields.size() == 1 && first.servicesAdded.isEmpty() &&
        first.servicesRemoved.isEmpty()) {
        const FieldChange &field = first.fields.first();
        return QStringLiteral("Channel %1 %2: %3 -> %4")
            .arg(first.channel + 1)
            .arg(field.field, field.before, field.after);
    }
    QStringList parts;
    for (const ChannelChange &change : diff.channels) {
        QStringList what;
        for (const FieldChange &field : change.fields)
            what.append(field.field);
        if (!change.servicesAdded.isEmpty())
            what.append(QStringLiteral("services added"));
        if (!change.servicesRemoved.isEmpty())
            what.append(QStringLiteral("services removed"));
        parts.append(QStringLiteral("Channel %1 %2").arg(change.channel + 1).arg(what.join(", ")));
    }
    constexpr qsizetype longest = 100;
    const QString text = parts.join(QLatin1String("; "));
    return text.size() <= longest ? text
                                  : QStringLiteral("%1 channels changed").arg(diff.channels.size());
}

FleetOutcome backupHeadend(Session &session, const FleetMember &member, const BackupFolder &dir,
                           const BackupOptions &options)
{
    Configuration config;
    if (!readConfiguration(session.exchange, config))
        return {};
    session.exchange.deadline().enter(Stage::Report);
    const QString stem = fleetFileName(member.name);
    const BackupFolder::Opened opened = dir.subfolder(stem);
    if (const auto *problem = std::get_if<QString>(&opened))
        return {false, *problem, {}, {}};
    const BackupFolder &folder = std::get<BackupFolder>(opened);

    FleetOutcome outcome{true, {}, {}, config.unit};
    QStringList removed;
    if (options.git) {
        const QString name = stem + QStringLiteral(".kdr");
        const QByteArray settings = encodeSettings(config.unit.channels);
        // The report carries the time of its read, so it is only written with settings that
        // changed: an unchanged headend leaves its files, and the repository, as they were.
        if (folder.read(name, settingsFileSize + 1) != settings &&
            (!folder.replace(reportFileName(name), renderReport(config)) ||
             !folder.replace(name, settings)))
            return {false, systemFailure(folder.filePath(name)), {}, {}};
        outcome.message = folder.filePath(name);
    } else {
        const BackupResult written =
            writeBackup(config, folder, stem, QDateTime::currentDateTimeUtc());
        if (written.path.isEmpty())
            return {false, written.error, {}, {}};
        outcome.message = written.path;
        QStringList stuck;
        if (options.keep > 0)
            removed =
                pruneBackups(folder, stem, QFileInfo(written.path).fileName(), options.keep, stuck);
        if (!removed.isEmpty())
            outcome.message += QStringLiteral(" (%1 older removed)").arg(removed.size());
        if (!stuck.isEmpty())
            outcome.message +=
                QStringLiteral(" (could not remove %1)").arg(stuck.join(QLatin1String(", ")));
    }
    const QString settings = outcome.message.section(QStringLiteral(" ("), 0, 0);
    outcome.data = {{QStringLiteral("settings"), settings},
                    {QStringLiteral("report"), reportFileName(settings)},
                    {QStringLiteral("removed"), QJsonArray::fromStringList(removed)}};
    return outcome;
}

// One headend's commit, the state of its folder and its --on-change or --on-fail command, after
// its backup was read and written.
class BackupFinisher {
public:
    BackupFinisher(BackupFolder dir, BackupOptions options, const Timing &timing)
        : m_dir(std::move(dir))
        , m_options(std::move(options))
        , m_repository(m_dir.path(), timing.fleetCommandLimit)
        , m_limit(timing.fleetCommandLimit)
    {}

    void finish(const FleetMember &member, FleetOutcome &outcome) const
    {
        const QString stem = fleetFileName(member.name);
        const BackupFolder::Opened opened = m_dir.subfolder(stem);
        if (const auto *problem = std::get_if<QString>(&opened)) {
            fail(outcome, *problem);
            return;
        }
        const BackupFolder &folder = std::get<BackupFolder>(opened);
        BackupState state = decodeState(folder.read(stateName, stateLimit).value_or(QByteArray()));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        state.lastAttempt = now;
        QString diff;
        bool changed = false;
        if (outcome.ok) {
            const auto unit = std::any_cast<UnitData>(outcome.result);
            const QByteArray settings = encodeSettings(unit.channels);
            const QByteArray hash =
                QCryptographicHash::hash(settings, QCryptographicHash::Sha256).toHex();
            changed = hash != state.settingsHash;
            if (m_options.git)
                changed = commit(member, unit, outcome, diff);
            if (outcome.ok) {
                state.lastSuccess = now;
                state.lastChange = hash != state.settingsHash ? now : state.lastChange;
                state.settingsHash = hash;
                state.serial = QString::number(unit.identity.serialNumber);
            }
        }
        if (!folder.replace(stateName, encodeState(state)))
            fail(outcome, systemFailure(folder.filePath(stateName)));
        const QString &command = outcome.ok ? m_options.onChange : m_options.onFail;
        if (!command.isEmpty() && (changed || !outcome.ok))
            runHook(command, member, state.serial, outcome, diff);
    }

private:
    static void fail(FleetOutcome &outcome, const QString &problem)
    {
        outcome.message = outcome.ok ? QStringLiteral("backed up, but %1").arg(problem)
                                     : outcome.message + QStringLiteral("; ") + problem;
        outcome.ok = false;
    }

    // Commits the headend's files when they differ from the last commit; diff gets the change
    // in the words of keldor-ctl diff.
    bool commit(const FleetMember &member, const UnitData &unit, FleetOutcome &outcome,
                QString &diff) const
    {
        const QString stem = fleetFileName(member.name);
        const QString settings = stem + QLatin1Char('/') + stem + QStringLiteral(".kdr");
        QString problem;
        const auto stored = m_repository.storedFile(QStringLiteral("HEAD"), settings, problem);
        UnitData before = unit;
        const bool earlier = stored && !decodeSettings(*stored, before.channels);
        const UnitDiff changes = diffUnits(before, unit);
        diff = earlier ? diffText(changes) : QString();
        const QString summary = earlier ? changeSummary(changes) : QStringLiteral("first backup");
        const QString message =
            QStringLiteral("%1: %2\n\nHeadend: %1 (%3)\nSerial number: %4\nController version: "
                           "%5\nFPGA version: %6\n")
                .arg(member.name, summary, member.address())
                .arg(unit.identity.serialNumber)
                .arg(versionText(unit.identity.controllerVersion),
                     versionText(unit.identity.fpgaVersion)) +
            (diff.isEmpty() ? QString() : QLatin1Char('\n') + diff);
        problem.clear();
        const bool committed =
            m_repository.commitChanges({settings, reportFileName(settings)}, message, problem);
        if (!problem.isEmpty())
            fail(outcome, problem);
        else
            outcome.message += committed ? QStringLiteral(" (committed: %1)").arg(summary)
                                         : QStringLiteral(" (unchanged)");
        outcome.data.insert(QStringLiteral("committed"), committed);
        return committed;
    }

    void runHook(const QString &command, const FleetMember &member, const QString &serial,
                 FleetOutcome &outcome, const QString &diff) const
    {
        const QString stem = fleetFileName(member.name);
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KELDOR_NAME"), member.name);
        environment.insert(QStringLiteral("KELDOR_ADDRESS"), member.address());
        environment.insert(QStringLiteral("KELDOR_SERIAL"), serial);
        environment.insert(
            QStringLiteral("KELDOR_FILE"),
            QDir(m_dir.filePath(stem)).absoluteFilePath(stem + QStringLiteral(".kdr")));
        environment.insert(QStringLiteral("KELDOR_MESSAGE"), outcome.message);
        const bool failed = !outcome.ok;
        const ProgramRun run = runProgram(
            QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command},
            (failed ? outcome.message + QLatin1Char('\n') : diff).toUtf8(), m_limit, environment);
        if (!run.ok())
            fail(outcome, QStringLiteral("%1 %2").arg(failed ? onFailOption : onChangeOption,
                                                      QString(run.problem)
                                                          .replace(QStringLiteral("/bin/sh"),
                                                                   QStringLiteral("its command"))));
    }

    BackupFolder m_dir;
    BackupOptions m_options;
    GitRepository m_repository;
    std::chrono::milliseconds m_limit;
};

// Who holds DIR, for the run that finds it held.
QString lockHolder()
{
    return QStringLiteral("keldor-ctl fleet backup, process %1 of %2 on %3, since %4 UTC")
        .arg(::getpid())
        .arg(qEnvironmentVariable("USER", QStringLiteral("uid %1").arg(::getuid())),
             QSysInfo::machineHostName(),
             QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

} // namespace

QStringList backupValuedOptions()
{
    return {keepOption, onChangeOption, onFailOption};
}

QStringList backupFlags()
{
    return {gitOption};
}

PreparedFleetJob prepareBackup(const FleetRequest &request, const Timing &timing)
{
    BackupOptions options;
    if (request.options.contains(keepOption)) {
        const auto value = wholeNumber(request.options.value(keepOption), 1, 1000000);
        if (!value)
            return QStringLiteral("--keep needs a number of backups, 1 or more");
        options.keep = *value;
    }
    options.git = request.options.contains(gitOption);
    options.onChange = request.options.value(onChangeOption);
    options.onFail = request.options.value(onFailOption);
    if (options.git && options.keep > 0)
        return QStringLiteral("--keep and --git exclude each other: git keeps every version");
    if (!options.git && !(options.onChange.isEmpty() && options.onFail.isEmpty()))
        return QStringLiteral("--on-change and --on-fail need --git, which tells what changed");

    FleetJob job{{},
                 [](const QList<FleetMember> &members, const QList<FleetOutcome> &outcomes,
                    QTextStream &out, QTextStream &) {
                     printOutcomes(members, outcomes, out,
                                   QStringLiteral("backed up %1 of %2 headends"));
                 }};
    const QString dir = request.positional.first();
    const BackupFolder::Opened opened = BackupFolder::open(dir);
    if (const auto *problem = std::get_if<QString>(&opened)) {
        job.refused = *problem;
        return job;
    }
    const BackupFolder &folder = std::get<BackupFolder>(opened);
    job.refused = folder.lock(lockHolder());
    if (job.refused.isEmpty() && options.git)
        job.refused = GitRepository(dir, timing.fleetCommandLimit)
                          .create({BackupFolder::lockName(), QStringLiteral("/*/") + stateName});
    // The work holds the folder, and with it the lock, until the run has ended.
    job.work = [folder, options](Session &session, const FleetMember &member) {
        return backupHeadend(session, member, folder, options);
    };
    const auto finisher = std::make_shared<BackupFinisher>(folder, options, timing);
    job.finish = [finisher](const QList<FleetMember> &members, QList<FleetOutcome> &outcomes) {
        for (qsizetype i = 0; i < members.size(); ++i)
            finisher->finish(members.at(i), outcomes[i]);
    };
    return job;
}

std::optional<double> hoursSinceBackup(const QString &dir, const QString &name)
{
    const QString stem = fleetFileName(name);
    const auto read = readFileStart(QDir(QDir(dir).filePath(stem)).filePath(stateName), stateLimit);
    const auto *file = std::get_if<FileStart>(&read);
    const QDateTime last = file ? decodeState(file->bytes).lastSuccess : QDateTime();
    if (!last.isValid())
        return std::nullopt;
    return double(last.secsTo(QDateTime::currentDateTimeUtc())) / 3600.0;
}

} // namespace keldor
