#pragma once

#include "ctloptions.h"

#include <QTextStream>

namespace keldor {

class Session;

// The full help text: options and every command.
QString ctl_help();

// Runs one keldor-ctl command: checks its arguments, opens the session on the chosen link,
// does the work and closes the session again. Results go to out, messages to the session's UI.
int run_ctl_command(Session &session, const CtlOptions &options, QTextStream &out,
                    QTextStream &err);

} // namespace keldor
