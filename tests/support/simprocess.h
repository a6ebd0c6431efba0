#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

// headend-sim as a separate process, as a real headend would be: its CPU time is not ours.
class SimProcess {
public:
    ~SimProcess()
    {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }

    // Starts the simulator and waits for the line that announces the given transport
    // ("LISTENING" or "PTY"); returns that line's words.
    QStringList start(const QStringList &arguments, const QString &announcement)
    {
        const QString bin =
            qEnvironmentVariable("KELDOR_BIN_DIR", QCoreApplication::applicationDirPath());
        m_process.setProgram(bin + QStringLiteral("/headend-sim"));
        m_process.setArguments(arguments);
        m_process.start();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 && m_process.waitForReadyRead(1000)) {
            while (m_process.canReadLine()) {
                const QStringList words =
                    QString::fromLocal8Bit(m_process.readLine()).simplified().split(' ');
                if (words.value(0) == announcement)
                    return words;
            }
        }
        return {};
    }

    // Ends the simulator as SIGTERM does, unless it has ended already; its exit status, -1
    // when it crashed or would not end.
    int stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(10000))
                return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    QString errorOutput() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

private:
    QProcess m_process;
};
