#pragma once

#include "ctlcommands.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <QTextStream>

#include <functional>

// keldor-ctl, its exit status and what it printed on stdout and stderr.
struct CtlRun {
    int status = -1;
    QString out;
    QString err;
};

// Runs keldor-ctl in this process, as its main() does, but with short timings. Tests that use
// it link keldor_ctl_lib.
inline CtlRun runCtl(const QStringList &arguments,
                     const keldor::Timing &timing = keldor::Timing::fast())
{
    CtlRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = keldor::runCtl(arguments, out, err, timing);
    return run;
}

// Runs the keldor-ctl program itself, with its real timings, as a script would; prepare runs in
// the child before the program starts.
inline CtlRun runCtlProcess(const QStringList &arguments, int limitMs = 60000,
                            const std::function<void()> &prepare = {})
{
    const QString bin =
        qEnvironmentVariable("KELDOR_BIN_DIR", QCoreApplication::applicationDirPath());
    QProcess process;
    if (prepare)
        process.setChildProcessModifier(prepare);
    process.start(bin + QStringLiteral("/keldor-ctl"), arguments);
    CtlRun run;
    if (!process.waitForFinished(limitMs))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
