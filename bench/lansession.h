#pragma once

#include "core/protocol/session.h"

#include <QStringList>
#include <QTextStream>

// Connects a benchmark's session to the simulator that announced "LISTENING tcp ADDR PORT".
inline bool connectToSim(keldor::Session &session, const QStringList &listening, QTextStream &out)
{
    if (listening.size() < 4) {
        out << "could not start headend-sim\n";
        return false;
    }
    session.exchange.setSerialSelected(false);
    keldor::LanTarget target;
    target.name = QStringLiteral("bench");
    target.ip = listening.at(2);
    target.port = listening.at(3);
    if (!keldor::lanConnect(session, target)) {
        out << "no session on " << target.ip << ':' << target.port << '\n';
        return false;
    }
    return true;
}
