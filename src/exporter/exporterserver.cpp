#include "exporterserver.h"

#include "core/common/textutil.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <cmath>
#include <memory>

namespace keldor {

namespace {

constexpr QByteArrayView expositionType = "text/plain; version=0.0.4; charset=utf-8";
constexpr double defaultScrapeTimeout = 10;
constexpr double answerMargin = 0.5;
// Longer than any scrape may wait.
constexpr double longestScrapeTimeout = 3600;

using StatusCode = QHttpServerResponder::StatusCode;

void reply(QHttpServerResponder &&responder, const QString &text, QByteArrayView type,
           StatusCode status = StatusCode::Ok)
{
    responder.write(text.toUtf8(), type.toByteArray(), status);
}

// The reason in one line, whatever the request held.
void refuse(QHttpServerResponder &&responder, const QString &reason)
{
    QString line = reason;
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    reply(std::move(responder), line + QLatin1Char('\n'), "text/plain; charset=utf-8",
          StatusCode::BadRequest);
}

std::optional<QByteArray> header(const QHttpServerRequest &request, QByteArrayView name)
{
    for (const auto &[key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

QString html(const QString &text)
{
    return text.toHtmlEscaped();
}

QString targetPage(const QList<FleetMember> &members)
{
    QString page = QStringLiteral(
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>KELDOR exporter</title>"
        "</head>\n<body><h1>KELDOR exporter</h1>\n<p><a href=\"/metrics\">the exporter's own "
        "figures</a></p>\n<table>\n<tr><th>headend</th><th>address</th><th>probe</th></tr>\n");
    for (const FleetMember &member : members) {
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("target"), member.name);
        const QString link =
            QStringLiteral("/probe?") + query.toString(QUrl::FullyEncoded).replace('+', "%2B");
        page += QStringLiteral("<tr><td>%1</td><td>%2</td><td><a href=\"%3\">health</a> "
                               "<a href=\"%3&amp;module=inventory\">with inventory</a></td></tr>\n")
                    .arg(html(member.name), html(member.address()), html(link));
    }
    return page + QStringLiteral("</table>\n</body></html>\n");
}

} // namespace

milliseconds probeBudget(const std::optional<QByteArray> &scrapeTimeout)
{
    double timeout = defaultScrapeTimeout;
    if (scrapeTimeout) {
        bool ok = false;
        const double given = scrapeTimeout->trimmed().toDouble(&ok);
        if (ok && std::isfinite(given) && given > 0)
            timeout = std::min(given, longestScrapeTimeout);
    }
    return milliseconds(std::max<qint64>(0, std::llround((timeout - answerMargin) * 1000)));
}

ExporterServer::ExporterServer(ProbeService &probes)
    : m_probes(probes)
{}

bool ExporterServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const QString path = request.url().path();
    if (request.method() != QHttpServerRequest::Method::Get) {
        makeResponder(request, socket).write(StatusCode::MethodNotAllowed);
    } else if (path == QLatin1String("/probe")) {
        probe(request, socket);
    } else if (path == QLatin1String("/metrics")) {
        reply(makeResponder(request, socket), m_probes.ownMetrics(), expositionType);
    } else if (path == QLatin1String("/")) {
        reply(makeResponder(request, socket), targetPage(m_probes.members()),
              "text/html; charset=utf-8");
    } else {
        makeResponder(request, socket).write(StatusCode::NotFound);
    }
    return true;
}

void ExporterServer::probe(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const QUrlQuery query(request.url());
    // Targets are names from the fleet; nothing in the URL is ever dialled.
    const QString target = query.queryItemValue(QStringLiteral("target"), QUrl::FullyDecoded);
    const QString module = query.queryItemValue(QStringLiteral("module"), QUrl::FullyDecoded);
    if (target.isEmpty())
        return refuse(makeResponder(request, socket),
                      QStringLiteral("the probe needs ?target=NAME"));
    if (!m_probes.member(target))
        return refuse(makeResponder(request, socket),
                      QStringLiteral("no headend is named \"%1\"; targets are the names of the "
                                     "fleet list, never addresses")
                          .arg(target));
    if (!module.isEmpty() && module != QLatin1String("inventory"))
        return refuse(makeResponder(request, socket),
                      QStringLiteral("module is inventory or left out, not \"%1\"").arg(module));
    // The answer comes later; the socket goes when its client does, and then nobody hears it.
    auto responder = std::make_shared<QHttpServerResponder>(makeResponder(request, socket));
    m_probes.probe(target, !module.isEmpty(),
                   probeBudget(header(request, "X-Prometheus-Scrape-Timeout-Seconds")),
                   [responder, client = QPointer<QTcpSocket>(socket)](const QString &text) {
                       if (client && client->state() == QAbstractSocket::ConnectedState)
                           reply(std::move(*responder), text, expositionType);
                   });
}

} // namespace keldor
