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
    // Offers the pseudo-terminal, opened once, to the session as its only USB port and selects
    // the serial link.
    bool offerPty(keldor::Session &session)
    {
        if (pty.slavePath().isEmpty() && !pty.open())
            return false;
        session.usbPorts = [port = pty.slavePath()] {
            return QStringList{port};
        };
        session.exchange.setSerialSelected(true);
        return true;
    }

    // Connects a session over loopback TCP the way the operator's LAN mode does.
    bool connect(keldor::Session &session, const QString &name = QStringLiteral("sim")) const
    {
        session.exchange.setSerialSelected(false);
        return keldor::lanConnect(session, {name, "127.0.0.1", portText(), 0, {}, {}});
    }

    // The frames of code, or all of them when code is -1.
    QList<sim::TranscriptEntry> frames(int code) const
    {
        QList<sim::TranscriptEntry> out;
        for (const auto &entry : headend.transcript()) {
            if (entry.kind == sim::TranscriptEntry::Kind::Frame &&
                (code < 0 || entry.code() == code))
                out.append(entry);
        }
        return out;
    }
    // The frames' codes in order; a resent frame is the same write again, not another step.
    QList<int> frameCodes() const
    {
        QList<int> out;
        for (const auto &frame : frames(-1)) {
            if (out.isEmpty() || out.last() != frame.code())
                out.append(frame.code());
        }
        return out;
    }
    // How many frames of code came after the first frame of since (none before it came).
    int framesAfter(int since, int code) const
    {
        const auto all = frames(-1);
        const auto first = std::find_if(
            all.cbegin(), all.cend(), [since](const auto &frame) { return frame.code() == since; });
        return int(std::count_if(first, all.cend(),
                                 [code](const auto &frame) { return frame.code() == code; }));
    }
    int count(sim::TranscriptEntry::Kind kind) const
    {
        int n = 0;
        for (const auto &entry : headend.transcript())
            n += entry.kind == kind ? 1 : 0;
        return n;
    }
};
