#pragma once

#include "core/common/timing.h"
#include "core/common/userinterface.h"
#include "core/link/exchange.h"
#include "core/link/lanlink.h"
#include "core/link/seriallink.h"
#include "core/link/usbports.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace keldor {

// Everything needed to talk to one headend: both links, the exchange over them, the timings
// and the operator-facing side, which shows the serial port's alarms of lost input as the
// exchange reports them. One per process in the programs; tests make their own.
class Session {
public:
    explicit Session(UserInterface &ui, const Timing &timing = {});
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    UserInterface &ui;
    Timing timing;
    SerialLink serial;
    LanLink lan;
    Exchange exchange;
    // Candidate ports for discovery; tests replace it.
    std::function<QStringList()> usbPorts = [] {
        return listUsbSerialPorts();
    };
};

// Lets the operator's side follow the exchange: while it is busy the main window takes no input
// and the keep-alive timer rests; a good ending gives both back.
void followExchange(Exchange &exchange, UserInterface &ui);

// Opens the session on the serial port: "RM", and the headend's "OK" within its limit.
bool openSerialSession(Session &session);
// Finds the headend on one of the USB serial ports and opens a session on it.
bool checkDevicePresent(Session &session);

// What the LAN connection needs to know about the active headend and the proxy.
struct LanTarget {
    QString name = QStringLiteral("non");
    QString ip;
    QString port;
    qint16 proxyUse = 0;
    QString proxyIp;
    QString proxyPort;
};

// The port number a directory's or a proxy's port text names: 1..65535, blanks around it
// allowed; nothing for any other text.
std::optional<quint16> portNumber(const QString &text);
// The proxy's CONNECT request line for the target, or nothing when the address holds a
// character that has no place in a request line or the port is no port number.
std::optional<QByteArray> connectRequest(const LanTarget &target);
// Whether the proxy's reply header opens the tunnel: "200" within its first 20 characters.
bool proxyAccepted(QByteArrayView header);

// The two steps after the socket is up: the proxy tunnel and the "RM"/"OK" opening. They only
// need some link, so they can be driven without a network.
bool openTunnel(Exchange &exchange, Link &link, const LanTarget &target, const Timing &timing);
bool lanHandshake(Exchange &exchange, Link &link, const Timing &timing);

// Connects to the active headend over TCP, directly or through the proxy's CONNECT tunnel,
// and opens the session with "RM"/"OK".
bool lanConnect(Session &session, const LanTarget &target);

} // namespace keldor
