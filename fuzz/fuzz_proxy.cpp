// The LAN opening with arbitrary proxy replies and headend answers: the CONNECT request built
// from the headend's address and port as typed, the end of the proxy's reply header and the
// "200" check on it, and the "RM"/"OK" handshake, on a link that may deliver anything in any
// pieces or go away.

#include "fuzzsupport.h"

#include "link/session.h"

using namespace keldor;

namespace {

// What the proxy sees must be one request line of three words, then the two header lines:
// nothing from the address or the port may start a header or a request of its own.
void check_request(const QByteArrayList &written)
{
    expect(written.size() >= 3, "the request and its header lines");
    const QByteArray &line = written.at(0);
    expect(line.endsWith("\r\n"), "the request line ends with CR LF");
    const QByteArray words = line.chopped(2);
    expect(!words.contains('\r') && !words.contains('\n'), "one request line");
    const QByteArrayList parts = words.split(' ');
    expect(parts.size() == 3, "method, target and version");
    bool isNumber = false;
    const uint port = parts.at(1).mid(parts.at(1).lastIndexOf(':') + 1).toUInt(&isNumber);
    expect(isNumber && port >= 1 && port <= 65535, "the target's port is a port number");
    expect(written.at(1) == "Accept: */*\r\n" && written.at(2) == "\r\n", "the header lines");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    // The tunnel runs over a scripted link here: the fuzzed target addresses are only bytes
    // in a request line, never dialled, so the loopback guard stands aside for this target.
    [[maybe_unused]] static const bool undialled =
        (LanLink::setDialHook([](const QString &) {}), true);
    FuzzedDataProvider data(input, size);
    ScriptedExchange scripted;
    auto &[ui, timing, serial, lan, exchange] = scripted;

    const QByteArray reply = bytes(data, 64);
    const QByteArrayView replyView(reply);
    expect(proxy_accepted(replyView) == reply.left(20).contains("200"),
           "\"200\" counts within the first 20 characters only");
    if (const auto header = proxy_header_length(replyView)) {
        const QByteArrayView lines = replyView.first(*header);
        expect(lines.endsWith("\n\n") || lines.endsWith("\n\r\n"),
               "the header ends in an empty line");
        expect(!proxy_header_length(lines.chopped(1)), "the first empty line ends it");
    }

    LanTarget target;
    target.name = QStringLiteral("fuzz");
    target.ip = utf8_text(data, 40);
    target.port = utf8_text(data, 10);
    // The proxy and then the headend behind it.
    lan.responder = Playback{data, exchange, 2, 15, 64, false};

    if (data.ConsumeBool()) {
        const bool tunnelled = open_tunnel(exchange, lan, target, timing);
        if (!connect_request(target)) {
            expect(!tunnelled && lan.written.isEmpty(), "a refused target sends nothing");
            return 0;
        }
        check_request(lan.written);
        const auto header = proxy_header_length(exchange.rx_buffer());
        expect(tunnelled == (header && proxy_accepted(exchange.rx_buffer().first(*header))),
               "the tunnel opens on a whole header with \"200\"");
        if (!tunnelled)
            return 0;
    }
    if (lan_handshake(exchange, lan, timing))
        expect(exchange.rx_ends_with("OK"), "the headend said \"OK\"");
    expect(exchange.rx_buffer().size() <= Exchange::rxLimit, "receive buffer bound");
    return 0;
}
