#pragma once

#include "probeservice.h"

#include <QAbstractHttpServer>
#include <QHostAddress>

#include <optional>

namespace keldor {

// The scrape's own time-out, from Prometheus' header, less the half second the answer needs
// to travel; without the header, Prometheus' default of 10 s.
milliseconds probeBudget(const std::optional<QByteArray> &scrapeTimeout);

// The exporter's HTTP face: /probe, /metrics and the page at /. Qt's server parses the
// requests; a probe is answered later, from the probe service, on the connection it came in
// on, unless the client has gone by then.
class ExporterServer : public QAbstractHttpServer {
    Q_OBJECT

public:
    explicit ExporterServer(ProbeService &probes);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &, QTcpSocket *) override {}

private:
    void probe(const QHttpServerRequest &request, QTcpSocket *socket);

    ProbeService &m_probes;
};

} // namespace keldor
