#include "core/protocol/session.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <optional>

namespace keldor {

Session::Session(UserInterface &ui, const Timing &timing)
    : ui(ui)
    , timing(timing)
    , exchange(ui, this->timing, serial, lan)
{
    // An operation over its deadline lets go of the headend at once. The serial port stays
    // open, so the closing frame still reaches a headend on the USB link.
    QObject::connect(&exchange.deadline(), &OperationDeadline::expired, &lan, &LanLink::close);
    followExchange(exchange, ui);
    QObject::connect(&exchange, &Exchange::inputLost, [&ui](InputLoss loss) {
        ui.message(UserInterface::Icon::None, QString(),
                   loss == InputLoss::Overrun ? QStringLiteral("Overrun!")
                                              : QStringLiteral("RXOver!"));
    });
}

void followExchange(Exchange &exchange, UserInterface &ui)
{
    QObject::connect(&exchange, &Exchange::busyChanged, [&ui](bool busy) {
        if (busy) {
            ui.setMainWindowEnabled(false);
            ui.setKeepAliveRunning(false);
        } else {
            ui.setKeepAliveRunning(true);
            ui.setMainWindowEnabled(true);
        }
    });
}

bool openSerialSession(Session &session)
{
    Exchange &exchange = session.exchange;
    exchange.beginOpening();
    exchange.discard();
    if (!exchange.sendOn(session.serial, "RM", Expectation::ack()))
        return false;
    return exchange.waitForAck(RxUnit::Kind::Accepted, session.timing.sessionOpenLimit);
}

bool checkDevicePresent(Session &session)
{
    BusyCursor busy(session.ui);
    session.exchange.deadline().enter(Stage::Connect);
    // A port this program still holds open looks busy to the probe below; without letting go
    // of it first, a second search would never find the headend it is connected to.
    session.serial.close();
    // The headend may well sit behind a port this user may not open; then that is the news,
    // not a missing device.
    QString refused;
    for (const QString &port : session.usbPorts()) {
        if (!SerialLink::portUsable(port) || !session.serial.open(port)) {
            if (refused.isEmpty())
                refused = SerialLink::permissionProblem(port);
            continue;
        }
        if (openSerialSession(session)) {
            session.ui.setConnectionModeLocked(true);
            return true;
        }
    }
    session.ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                       !refused.isEmpty()
                           ? refused
                           : QStringLiteral("No Device found!\r\n"
                                            "Please check connection (LED beneath USB-Port "
                                            "permanently green)\r\nand try again."));
    return false;
}

std::optional<quint16> portNumber(const QString &text)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    if (!ok || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<quint16>(value);
}

namespace {

bool connectSocket(Session &session, const QString &host, const QString &portText,
                   milliseconds limit)
{
    // A port text that is no port number can never connect; it fails at once instead of after
    // the connection limit.
    const auto port = portNumber(portText);
    if (!port)
        return false;
    // What the previous connection left behind, a flood included, would end this wait at once.
    session.exchange.discard();
    session.lan.connectTo(host, *port);
    session.exchange.waitUntil([&] { return session.lan.isConnected() || session.lan.hasFailed(); },
                               limit);
    return session.lan.isConnected();
}

} // namespace

std::optional<QByteArray> connectRequest(const LanTarget &target)
{
    // A blank, a control character or a line break in the address would let a directory entry
    // end the request line early and add headers of its own.
    const bool addressFits = std::all_of(target.ip.cbegin(), target.ip.cend(), [](QChar c) {
        return c.unicode() > 0x20 && c.unicode() < 0x7F;
    });
    const auto port = portNumber(target.port);
    if (!addressFits || !port)
        return std::nullopt;
    return "CONNECT " + target.ip.toLatin1() + ':' + QByteArray::number(*port) + " HTTP/1.0\r\n";
}

bool proxyAccepted(QByteArrayView header)
{
    return header.first(std::min<qsizetype>(header.size(), 20)).contains("200");
}

bool openTunnel(Exchange &exchange, Link &link, const LanTarget &target, const Timing &timing)
{
    const auto request = connectRequest(target);
    if (!request)
        return false;
    // The proxy dials the target on our behalf.
    LanLink::announceDial(target.ip);
    exchange.discard();
    for (const QByteArray &line : {*request, QByteArray("Accept: */*\r\n"), QByteArray("\r\n")})
        exchange.sendOn(link, line, Expectation::proxyReply());
    // The whole header is one unit: a header line that came late can't be taken for the
    // headend's answer to "RM".
    const std::optional<RxUnit> reply = exchange.waitForUnit(timing.proxyReplyLimit);
    return reply && reply->kind == RxUnit::Kind::ProxyReply && proxyAccepted(reply->bytes);
}

bool lanHandshake(Exchange &exchange, Link &link, const Timing &timing)
{
    const QDeadlineTimer window(timing.handshakeWindow, Qt::PreciseTimer);
    exchange.discard();
    do {
        // Nothing is discarded between attempts: a late "OK" to an earlier "RM" still counts.
        exchange.sendOn(link, "RM", Expectation::ack());
        if (exchange.waitForAck(RxUnit::Kind::Accepted, timing.handshakeAttempt))
            return true;
        // A link gone, refusing writes or flooded fails the next attempt the same way.
    } while (!window.hasExpired() && exchange.error() == ExchangeError::NoAnswer);
    return false;
}

bool lanConnect(Session &session, const LanTarget &target)
{
    UserInterface &ui = session.ui;
    if (target.name == QLatin1String("non")) {
        ui.message(UserInterface::Icon::Critical, QStringLiteral("Download Error"),
                   QStringLiteral("    Connection not possible!\rPlease select a headend first!"));
        return false;
    }
    OperationDeadline &deadline = session.exchange.deadline();
    deadline.enter(Stage::Connect);
    ui.showProgress(QStringLiteral("Attempting to connect to Headend %1...").arg(target.name), 100);
    BusyCursor busy(ui);
    session.exchange.waitSeconds(session.timing.connectNotice);

    const auto fail = [&](const QString &text) {
        session.lan.close();
        ui.message(UserInterface::Icon::Critical, QStringLiteral("Download Error"), text);
        ui.closeProgress();
        return false;
    };

    if (target.proxyUse != 1) {
        if (!connectSocket(session, target.ip, target.port, session.timing.directConnectLimit))
            return fail(QStringLiteral("Connection could not be established!"));
    } else {
        deadline.enter(Stage::Proxy);
        if (!connectSocket(session, target.proxyIp, target.proxyPort,
                           session.timing.proxyConnectLimit))
            return fail(QStringLiteral("Connection to proxy server could not be established!"));
        if (!openTunnel(session.exchange, session.lan, target, session.timing))
            return fail(QStringLiteral("Connection to host could not be established!"));
    }
    deadline.enter(Stage::Connect);
    if (!lanHandshake(session.exchange, session.lan, session.timing))
        return fail(QStringLiteral("Connection could not be established!"));

    ui.setStatusPanel(3, QStringLiteral("Online"));
    ui.setProgressLabel(QStringLiteral("Connection established, downloading Data!"));
    session.exchange.waitSeconds(session.timing.connectNotice);
    ui.closeProgress();
    ui.setConnectionModeLocked(true);
    return true;
}

} // namespace keldor
