#pragma once

#include "core/common/timing.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTextStream>

#include <any>
#include <functional>
#include <variant>

namespace keldor {

class Session;

// One headend of a fleet: where it is reached, and through which proxy.
struct FleetMember {
    QString name;
    QString host;
    QString port;
    QString proxyHost; // empty: reached directly
    QString proxyPort;
    // Why this headend can't be reached as the fleet lists it (a directory row too long for
    // its columns); it then fails with this message and is never dialled.
    QString refused;

    QString address() const { return host + QLatin1Char(':') + port; }
};

using FleetMembers = std::variant<QList<FleetMember>, QString>;

// A list file's text: one "NAME HOST:PORT [PROXY_HOST:PORT]" a line, '#' comments and blank
// lines allowed. The first bad line refuses the whole list, named by its number in origin; so
// does a name or an address that holds a character that can't be printed as itself.
FleetMembers parseFleetList(const QString &text, const QString &origin);

// The list file at path, read as parseFleetList reads its text. Only a regular file of at most
// a mebibyte is read.
FleetMembers readFleetList(const QString &path);

// The headends of a directory file, opened read-only, refused as a list file is. A row too long
// for its columns is kept, refused. A directory has no proxy of its own: proxyHost and
// proxyPort are used for every row when not empty, as the desktop program does.
FleetMembers readFleetDirectory(const QString &path, const QString &proxyHost,
                                const QString &proxyPort);

// The headends of the station's own directory at path, through the station's proxy when it is
// switched on, as the desktop program reaches them.
FleetMembers readStationDirectory(const QString &path);

// Keeps only the named members, in the fleet's order; an unknown name refuses the filter.
FleetMembers selectFleetMembers(const QList<FleetMember> &members, const QStringList &names);

// The name as a file and folder name: '/', '\\', control characters and the characters
// Windows refuses become '_', and so does a leading '.', so no name leaves the backup folder
// or hides in it.
QString fleetFileName(const QString &name);

// What became of one headend.
struct FleetOutcome {
    bool ok = false;
    QString message; // what the operator reads: the headend's messages on failure
    QJsonObject data;
    std::any result;       // what the command prints from, when it prints more than the message
    QString stage = {};    // where the session was when the work ended
    bool timedOut = false; // the headend's deadline passed
};

// The work for one headend, run on that headend's own thread with a session connected to it.
// Failures the session showed end up in the outcome's message.
using FleetWork = std::function<FleetOutcome(Session &, const FleetMember &)>;

// Connects a session of its own to the member on the calling thread, runs work on it within
// limit and closes it; prepare, when given, sees the session before it dials. A refused
// member fails with its reason and is never dialled.
FleetOutcome runFleetMember(const FleetMember &member, const FleetWork &work, const Timing &timing,
                            milliseconds limit, const std::function<void(Session &)> &prepare = {});

// How many headends may run at once within the limit of open files, which is first raised as
// far as the system allows: jobs when they fit.
int jobsWithinFileLimit(int jobs);

// How long one headend may take from its connection on, and the whole run. A headend over its
// deadline is let go and fails with the stage it was in; one that the run's deadline would cut
// short gets only what is left of it, and none starts after it.
struct FleetDeadlines {
    milliseconds member{0};
    milliseconds run{0};
};

// The run's deadline when none is given: time for every headend to use its whole deadline,
// jobs at a time, and a minute.
milliseconds fleetRunLimit(qsizetype members, int jobs, milliseconds member);

// Runs work on up to jobs headends at once, each on a thread of its own whose waits are its
// own event loop, and returns the outcomes in the members' order. Progress goes to err: one
// line redrawn in place when terminal, otherwise one line per finished headend.
QList<FleetOutcome> runFleet(const QList<FleetMember> &members, const FleetWork &work,
                             const Timing &timing, int jobs, const FleetDeadlines &deadlines,
                             QTextStream &err, bool terminal);

// keldor-ctl fleet: the arguments after "fleet" in, the exit status out.
int runFleetCommand(const QStringList &arguments, QTextStream &out, QTextStream &err,
                    const Timing &timing);
// The fleet lines of the help text.
QString fleetHelp();

} // namespace keldor
