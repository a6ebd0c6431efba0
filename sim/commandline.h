#pragma once

#include "fault.h"
#include "headend.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <optional>

class QCoreApplication;

namespace sim {

struct Options {
    QString configFile;
    QString dumpStateFile;
    QString transcriptFile;
    QString replayFile;
    QHostAddress bindAddress{QHostAddress::LocalHost};
    std::optional<quint16> tcpPort;
    bool pty = false;
    QString ptyLink;
    FaultPlan fault;
    int baud = 0;
    Timing timing;
    // Identity shortcuts, applied over the configuration file.
    std::optional<quint8> variant;
    std::optional<qint32> serialNumber;
    QString deviceType;
    QString hardwareVersion;
    QString controllerVersion;
    QString fpgaVersion;
    // Health shortcuts, so a monitoring set-up can be shown each state.
    std::optional<int> temperature; // degrees C
    std::optional<qint32> snrTenths;
    QList<int> unlockedChannels; // from 1, as the operator counts
    QList<int> outputsOff;
};

// Exits with a usage message on invalid options.
Options parseCommandLine(const QCoreApplication &app);

void applyIdentityShortcuts(const Options &options, DeviceState &state);
void applyHealthShortcuts(const Options &options, DeviceState &state);

} // namespace sim
