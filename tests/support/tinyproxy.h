#pragma once

#include "files.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

// A loopback port that nothing listens on right now.
inline quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// A real tinyproxy on a loopback port, with a configuration written by the test. Only the
// ports listed in allowedConnectPorts may be tunnelled; tinyproxy answers 403 for the rest.
class TinyProxy {
public:
    ~TinyProxy() { stop(); }

    bool start(const QList<quint16> &allowedConnectPorts, QString *error)
    {
        const QString binary = QStandardPaths::findExecutable(QStringLiteral("tinyproxy"));
        if (binary.isEmpty()) {
            *error = QStringLiteral("tinyproxy is not installed (apt-get install tinyproxy-bin)");
            return false;
        }
        m_port = freePort();
        const QString conf = m_dir.filePath(QStringLiteral("tinyproxy.conf"));
        QByteArray text = "Port " + QByteArray::number(m_port) +
                          "\nListen 127.0.0.1\n"
                          "Timeout 30\nMaxClients 20\nAllow 127.0.0.1\nLogLevel Error\n";
        for (quint16 port : allowedConnectPorts)
            text += "ConnectPort " + QByteArray::number(port) + '\n';
        if (!writeFile(conf, text)) {
            *error = QStringLiteral("cannot write ") + conf;
            return false;
        }

        m_process.setProgram(binary);
        m_process.setArguments({QStringLiteral("-d"), QStringLiteral("-c"), conf});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
        if (!m_process.waitForStarted(5000)) {
            *error = QStringLiteral("tinyproxy did not start: ") + m_process.errorString();
            return false;
        }
        // Ready once it accepts connections.
        for (int attempt = 0; attempt < 100; ++attempt) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), m_port);
            if (probe.waitForConnected(100))
                return true;
            if (m_process.state() != QProcess::Running)
                break;
            QTest::qWait(20);
        }
        *error = QStringLiteral("tinyproxy is not listening: ") +
                 QString::fromLocal8Bit(m_process.readAll());
        return false;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(1000);
        }
    }

    quint16 port() const { return m_port; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
