#include "fleet.h"

#include "consoleui.h"
#include "core/common/fileaccess.h"
#include "core/common/textutil.h"
#include "core/features/directory/headenddirectory.h"
#include "core/features/shell/settingsstore.h"
#include "core/features/shell/shellstate.h"
#include "core/protocol/session.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <list>
#include <memory>
#include <optional>
#include <vector>

#include <sys/resource.h>

namespace keldor {

namespace {

// Far more than a list of thousands of headends needs.
constexpr qint64 listSizeLimit = 1024 * 1024;
// What one running headend keeps open at most (its socket, its thread's event notifier, a
// backup's file, a name lookup; three were seen), and what the program keeps open besides.
constexpr rlim_t filesPerJob = 4;
constexpr rlim_t filesBesideJobs = 24;
// What a run's default deadline adds to its headends' for starting and ending their threads,
// so that the first headends are never cut short by the run.
constexpr milliseconds runMargin = 60s;

struct Address {
    QString host;
    QString port;
};

std::optional<Address> parseAddress(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    bool ok = false;
    const uint port = text.mid(colon + 1).toUInt(&ok, 10);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    return Address{text.left(colon), text.mid(colon + 1)};
}

// Collects members and refuses a name that would share another's backup folder.
class FleetBuilder {
public:
    // Empty when the member was taken, otherwise why not.
    QString add(const FleetMember &member, const QString &where)
    {
        // Each is printed on lines of its own, in tables, CSV and Prometheus labels.
        for (const auto &[what, text] : {std::pair{QStringLiteral("the name"), member.name},
                                         {QStringLiteral("the address"), member.host},
                                         {QStringLiteral("the proxy address"), member.proxyHost}}) {
            if (const auto c = unprintableCharacter(text))
                return where + QStringLiteral(": ") + unprintableText(what, *c);
        }
        const QString key = fleetFileName(member.name).toCaseFolded();
        if (const auto seen = m_seen.constFind(key); seen != m_seen.cend())
            return QStringLiteral("%1 has the name of %2").arg(where, *seen);
        m_seen.insert(key, where);
        m_members.append(member);
        return {};
    }
    FleetMembers result(const QString &origin) const
    {
        if (m_members.isEmpty())
            return QStringLiteral("%1 holds no headend").arg(origin);
        return m_members;
    }

private:
    QList<FleetMember> m_members;
    QHash<QString, QString> m_seen;
};

QString secondsText(milliseconds duration)
{
    return QString::number(double(duration.count()) / 1000.0);
}

FleetOutcome runMember(const FleetMember &member, const FleetWork &work, const Timing &timing,
                       milliseconds memberLimit, const QDeadlineTimer &run, milliseconds runLimit,
                       const std::function<void(Session &)> &prepare = {})
{
    if (!member.refused.isEmpty())
        return {false, member.refused, {}, {}};
    const milliseconds left = run.isForever() ? memberLimit : milliseconds(run.remainingTime());
    if (left <= milliseconds(0))
        return {
            false,
            QStringLiteral("not started: the run timed out after %1 s").arg(secondsText(runLimit)),
            {},
            {}};
    QString shown;
    QString timedOut;
    QStringList said;
    FleetOutcome outcome;
    {
        // The messages are taken as the interface keeps them, not as it printed them.
        QTextStream messages(&shown);
        ConsoleUi ui(messages);
        // Nobody watches a fleet member connect: its progress window's pauses would only hold
        // the member's slot.
        Timing memberTiming = timing;
        memberTiming.connectNotice = milliseconds(0);
        Session session(ui, memberTiming);
        session.exchange.setSerialSelected(false);
        OperationDeadline &deadline = session.exchange.deadline();
        deadline.start(std::min(memberLimit, left));
        LanTarget target;
        target.name = member.name;
        target.ip = member.host;
        target.port = member.port;
        target.proxyUse = member.proxyHost.isEmpty() ? 0 : 1;
        target.proxyIp = member.proxyHost;
        target.proxyPort = member.proxyPort;
        if (prepare)
            prepare(session);
        if (lanConnect(session, target))
            outcome = work(session, member);
        session.lan.close();
        messages.flush();
        // What ended the work, named first; the messages it caused follow.
        outcome.stage = deadline.stage();
        outcome.timedOut = deadline.hasExpired();
        if (outcome.timedOut)
            timedOut = left < memberLimit ? QStringLiteral("the run timed out after %1 s during %2")
                                                .arg(secondsText(runLimit), deadline.stage())
                                          : deadline.timedOutText();
        said = ui.said();
    }
    if (!outcome.ok) {
        if (!outcome.message.isEmpty())
            said.append(outcome.message);
        if (!timedOut.isEmpty())
            said.prepend(timedOut);
        outcome.message = said.join(QLatin1String("; "));
    }
    return outcome;
}

// The line on stderr while the fleet runs.
class FleetProgress {
public:
    FleetProgress(QTextStream &err, bool terminal, qsizetype total)
        : m_err(err)
        , m_terminal(terminal)
        , m_total(total)
    {}

    void finished(const FleetMember &member, const FleetOutcome &outcome)
    {
        ++m_done;
        m_failed += outcome.ok ? 0 : 1;
        if (!m_terminal) {
            m_err << counted() << ' ' << terminalText(member.name)
                  << (outcome.ok ? QStringLiteral(": ok")
                                 : QStringLiteral(": failed: ") + terminalText(outcome.message))
                  << Qt::endl;
        }
    }

    // Redraws the line in place; slowest is the headend running longest, if any.
    void draw(const FleetMember *slowest, qint64 elapsedMs)
    {
        if (!m_terminal)
            return;
        QString line = counted() + QStringLiteral(" done, %1 failed").arg(m_failed);
        if (slowest)
            line += QStringLiteral(", slowest: %1 (%2 s)")
                        .arg(terminalText(slowest->name))
                        .arg(elapsedMs / 1000);
        put(line);
    }

    void clear()
    {
        if (m_terminal)
            put({});
    }

private:
    QString counted() const { return QStringLiteral("%1/%2").arg(m_done).arg(m_total); }
    void put(const QString &line)
    {
        m_err << '\r' << line.leftJustified(m_width)
              << (line.isEmpty() ? QStringLiteral("\r") : QString()) << Qt::flush;
        m_width = line.size();
    }

    QTextStream &m_err;
    bool m_terminal = false;
    qsizetype m_total = 0;
    int m_done = 0;
    int m_failed = 0;
    qsizetype m_width = 0;
};

} // namespace

FleetMembers parseFleetList(const QString &text, const QString &origin)
{
    FleetBuilder fleet;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString where = QStringLiteral("%1 line %2").arg(origin).arg(i + 1);
        const QString line = lines.at(i).section(QLatin1Char('#'), 0, 0);
        const QStringList fields =
            line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (fields.isEmpty())
            continue;
        if (fields.size() > 3 || fields.size() < 2)
            return QStringLiteral("%1: expected NAME HOST:PORT [PROXY_HOST:PORT]").arg(where);
        FleetMember member{fields.at(0), {}, {}, {}, {}, {}};
        for (qsizetype f = 1; f < fields.size(); ++f) {
            const auto address = parseAddress(fields.at(f));
            if (!address)
                return QStringLiteral("%1: %2 is no HOST:PORT").arg(where, fields.at(f));
            (f == 1 ? member.host : member.proxyHost) = address->host;
            (f == 1 ? member.port : member.proxyPort) = address->port;
        }
        if (const QString refused = fleet.add(member, where); !refused.isEmpty())
            return refused;
    }
    return fleet.result(origin);
}

FleetMembers readFleetList(const QString &path)
{
    const auto read = readFileStart(path, listSizeLimit + 1);
    if (const auto *problem = std::get_if<QString>(&read))
        return QStringLiteral("%1 can't be read: %2").arg(path, *problem);
    const FileStart &list = std::get<FileStart>(read);
    if (list.size > listSizeLimit || list.bytes.size() > listSizeLimit)
        return QStringLiteral("%1 is larger than a list of headends may be (%2 bytes)")
            .arg(path)
            .arg(listSizeLimit);
    return parseFleetList(QString::fromUtf8(list.bytes), path);
}

FleetMembers readFleetDirectory(const QString &path, const QString &proxyHost,
                                const QString &proxyPort)
{
    HeadendDirectory directory;
    if (!directory.openFile(path, HeadendDirectory::Access::ReadOnly))
        return directory.lastError();
    FleetBuilder fleet;
    for (int i = 0; i < directory.count(); ++i) {
        const HeadendEntry entry = directory.row(i);
        const QString where = QStringLiteral("%1 headend number %2").arg(path).arg(i + 1);
        const QString problem = directory.rowProblem(i);
        const auto address = parseAddress(entry.ip + QLatin1Char(':') + entry.port);
        if (problem.isEmpty() && (entry.name.trimmed().isEmpty() || entry.ip.isEmpty() || !address))
            return QStringLiteral("%1 needs a name, an address and a port 1..65535").arg(where);
        // A row to be mended fails alone; the others run.
        const QString refused =
            problem.isEmpty()
                ? QString()
                : QStringLiteral("%1: %2 Mend it in the directory.").arg(where, problem);
        if (const QString refusal =
                fleet.add({entry.name, entry.ip, entry.port, proxyHost, proxyPort, refused}, where);
            !refusal.isEmpty())
            return refusal;
    }
    return fleet.result(path);
}

FleetMembers readStationDirectory(const QString &path)
{
    const SettingsStore store(QCoreApplication::organizationName(),
                              QCoreApplication::applicationName());
    ShellState shell;
    loadSettings(shell, store);
    const bool proxy = shell.proxyUse == 1;
    return readFleetDirectory(path, proxy ? shell.proxyIp : QString(),
                              proxy ? shell.proxyPort : QString());
}

FleetMembers selectFleetMembers(const QList<FleetMember> &members, const QStringList &names)
{
    for (const QString &name : names) {
        if (std::none_of(members.cbegin(), members.cend(),
                         [&](const FleetMember &m) { return m.name == name; }))
            return QStringLiteral("no headend named %1").arg(name);
    }
    QList<FleetMember> chosen;
    for (const FleetMember &member : members) {
        if (names.contains(member.name))
            chosen.append(member);
    }
    return chosen;
}

QString fleetFileName(const QString &name)
{
    static const QString refused = QStringLiteral("/\\:*?\"<>|");
    QString safe;
    safe.reserve(name.size());
    for (const QChar c : name)
        safe += c.category() == QChar::Other_Control || refused.contains(c) ? QLatin1Char('_') : c;
    if (safe.startsWith(QLatin1Char('.')))
        safe[0] = QLatin1Char('_');
    return safe;
}

FleetOutcome runFleetMember(const FleetMember &member, const FleetWork &work, const Timing &timing,
                            milliseconds limit, const std::function<void(Session &)> &prepare)
{
    return runMember(member, work, timing, limit, QDeadlineTimer(QDeadlineTimer::Forever), limit,
                     prepare);
}

int jobsWithinFileLimit(int jobs)
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
        return jobs;
    if (files.rlim_cur < files.rlim_max) {
        const rlimit raised{files.rlim_max, files.rlim_max};
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            files = raised;
    }
    if (files.rlim_cur == RLIM_INFINITY)
        return jobs;
    const rlim_t fit = files.rlim_cur > filesBesideJobs + filesPerJob
                           ? (files.rlim_cur - filesBesideJobs) / filesPerJob
                           : 1;
    return int(std::min<rlim_t>(rlim_t(jobs), fit));
}

milliseconds fleetRunLimit(qsizetype members, int jobs, milliseconds member)
{
    const qsizetype rounds = (members + std::max(jobs, 1) - 1) / std::max(jobs, 1);
    return std::max<qsizetype>(rounds, 1) * member + runMargin;
}

QList<FleetOutcome> runFleet(const QList<FleetMember> &members, const FleetWork &work,
                             const Timing &timing, int jobs, const FleetDeadlines &deadlines,
                             QTextStream &err, bool terminal)
{
    const QDeadlineTimer run(deadlines.run, Qt::PreciseTimer);
    // Each thread writes only its own element, and the main thread reads it once that thread
    // has finished.
    std::vector<FleetOutcome> outcomes(members.size());
    struct Running {
        qsizetype index;
        QElapsedTimer clock;
        std::unique_ptr<QThread> thread;
    };
    std::list<Running> running; // in the order they started: the first is the slowest
    qsizetype next = 0;
    FleetProgress progress(err, terminal, members.size());
    QEventLoop loop;
    const auto draw = [&] {
        progress.draw(running.empty() ? nullptr : &members.at(running.front().index),
                      running.empty() ? 0 : running.front().clock.elapsed());
    };

    std::function<void()> startMore = [&] {
        while (next < members.size() && qsizetype(running.size()) < jobs) {
            const qsizetype index = next++;
            auto thread = std::unique_ptr<QThread>(QThread::create([&, index] {
                outcomes[size_t(index)] = runMember(members.at(index), work, timing,
                                                    deadlines.member, run, deadlines.run);
            }));
            QObject::connect(
                thread.get(), &QThread::finished, &loop,
                [&, index] {
                    const auto it =
                        std::find_if(running.begin(), running.end(),
                                     [&](const Running &r) { return r.index == index; });
                    it->thread->wait();
                    running.erase(it);
                    progress.finished(members.at(index), outcomes[size_t(index)]);
                    startMore();
                },
                Qt::QueuedConnection);
            thread->start();
            running.push_back({index, {}, std::move(thread)});
            running.back().clock.start();
        }
        draw();
        if (running.empty())
            loop.quit();
    };

    // Only the elapsed time of the slowest changes between finishes.
    QTimer redraw;
    QObject::connect(&redraw, &QTimer::timeout, &loop, draw);
    if (terminal)
        redraw.start(timing.fleetProgressTick);
    QTimer::singleShot(0, &loop, startMore);
    if (!members.isEmpty())
        loop.exec();
    progress.clear();
    return QList<FleetOutcome>(outcomes.begin(), outcomes.end());
}

} // namespace keldor
