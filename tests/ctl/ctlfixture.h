#pragma once

#include "ctlrunner.h"
#include "simfixture.h"

#include <QDir>
#include <QTemporaryDir>

#include <optional>

// What every keldor-ctl test starts from: a new folder as the current one and as the per-user
// data folder, so backups stay in it, and a listening in-process simulator. A test class
// derives from it and calls start() in init().
class CtlTest : public QObject {
protected:
    bool start()
    {
        m_dir.emplace();
        qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("data"))));
        m_sim.emplace();
        return QDir::setCurrent(m_dir->path()) && m_sim->listen();
    }
    QString path(const QString &name) const { return m_dir->filePath(name); }
    // keldor-ctl with the simulator's address as its link.
    CtlRun lan(const QStringList &arguments, const keldor::Timing &timing = keldor::Timing::fast())
    {
        return runCtl(QStringList{"--lan", "127.0.0.1:" + m_sim->portText()} + arguments, timing);
    }

    std::optional<QTemporaryDir> m_dir;
    std::optional<SimHeadend> m_sim;
};
