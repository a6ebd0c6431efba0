#pragma once

#include "core/common/timing.h"
#include "ctloptions.h"

#include <QTextStream>

namespace keldor {

class Session;

// The full help text: options and every command.
QString ctlHelp();

// Runs one keldor-ctl command: checks its arguments, opens the session on the chosen link,
// does the work and closes the session again. Results go to out, messages to the session's UI.
int runCtlCommand(Session &session, const CtlOptions &options, QTextStream &out, QTextStream &err);

// keldor-ctl as a whole: the command line after the program's name in, the exit status out.
// main() runs it with the real timings on stdout and stderr; tests run it in their own process.
int runCtl(const QStringList &arguments, QTextStream &out, QTextStream &err,
           const Timing &timing = {});

} // namespace keldor
