#pragma once

#include "simfixture.h"

#include <QDir>
#include <QTemporaryDir>

#include <optional>

// What every keldor-ctl test starts from: a new folder as the current one and as the per-user
// data folder, so backups stay in it, and a listening in-process simulator.
inline bool startCtlTest(std::optional<QTemporaryDir> &dir, std::optional<SimHeadend> &sim)
{
    dir.emplace();
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir->filePath(QStringLiteral("data"))));
    sim.emplace();
    return QDir::setCurrent(dir->path()) && sim->listen();
}
