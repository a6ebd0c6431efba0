#pragma once

#include <QLoggingCategory>

namespace keldor {

// What the links do, for whoever turns it on with QT_LOGGING_RULES="keldor.link.debug=true":
// ports opened and lost, connections made and failed, and every traced unit.
Q_DECLARE_LOGGING_CATEGORY(linkLog)

} // namespace keldor
