#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <chrono>
#include <variant>

namespace keldor {

// What keldor-exporter is started with.
struct ExporterOptions {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 9745;
    QString list;      // a fleet list file; empty: the headend directory
    QString directory; // the directory file; empty: the station's own
    std::chrono::seconds minInterval{30};
    bool help = false;
    bool version = false;
};

// The command line after the program's name; an error text when it is refused.
std::variant<ExporterOptions, QString> parseExporterOptions(const QStringList &arguments);

QString exporterHelp();
// "keldor-exporter VERSION (Qt VERSION)", one line.
QString exporterVersion();

} // namespace keldor
