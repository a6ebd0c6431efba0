#pragma once

#include "core/protocol/session.h"
#include "sim/headend.h"
#include "sim/ptytransport.h"
#include "sim/tcptransport.h"

#include <QHostAddress>

// A simulated headend in the test's own process, reachable over loopback TCP and, on request,
// over a pseudo-terminal.
struct SimHeadend {
    sim::Headend headend;
    sim::TcpTransport tcp{headend};
    sim::PtyTransport pty{headend};

    bool listen() { return tcp.listen(QHostAddress::LocalHost, 0); }
    QString portText() const { return QString::number(tcp.port()); }
    bool openPty() { return pty.open(); }

    // Connects a session over loopback TCP the way the operator's LAN mode does.
    bool connect(keldor::Session &session, const QString &name = QStringLiteral("sim")) const
    {
        session.exchange.setSerialSelected(false);
        keldor::LanTarget target;
        target.name = name;
        target.ip = QStringLiteral("127.0.0.1");
        target.port = portText();
        return keldor::lanConnect(session, target);
    }

    QList<sim::TranscriptEntry> frames(int code) const
    {
        QList<sim::TranscriptEntry> out;
        for (const auto &entry : headend.transcript()) {
            if (entry.kind == sim::TranscriptEntry::Kind::Frame && entry.code() == code)
                out.append(entry);
        }
        return out;
    }
    int count(sim::TranscriptEntry::Kind kind) const
    {
        int n = 0;
        for (const auto &entry : headend.transcript())
            n += entry.kind == kind ? 1 : 0;
        return n;
    }
};
