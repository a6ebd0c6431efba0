// The LAN opening with any address, port, proxy reply and headend answer: the CONNECT request, the
// reply's header end and "200" check and the "RM"/"OK" handshake, in any pieces or cut off.

#include "fuzzsupport.h"

#include "core/protocol/session.h"

using namespace keldor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    // The fuzzed addresses are only bytes in a request line here, never dialled.
    [[maybe_unused]] static const bool undialled =
        (LanLink::setDialHook([](const QString &) {}), true);
    FuzzedDataProvider data(input, size);
    ScriptedExchange scripted;
    auto &[ui, timing, serial, lan, exchange] = scripted;

    const QByteArray reply = bytes(data, 64);
    expect(proxyAccepted(reply) == reply.left(20).contains("200"), "\"200\" in 20 characters");
    if (const auto header = proxyHeaderLength(reply)) {
        const QByteArrayView lines = QByteArrayView(reply).first(*header);
        expect(lines.endsWith("\n\n") || lines.endsWith("\n\r\n"), "the header ends empty");
        expect(!proxyHeaderLength(lines.chopped(1)), "the first empty line ends it");
    }

    const LanTarget target{.ip = utf8Text(data, 40), .port = utf8Text(data, 10)};
    lan.responder = Playback{data, exchange, 2, 15, 64, false};
    QList<RxUnit> heard;
    QObject::connect(&exchange, &Exchange::unitReceived,
                     [&heard](Link *, const RxUnit &unit) { heard.append(unit); });

    if (data.ConsumeBool()) {
        const bool tunnelled = openTunnel(exchange, lan, target, timing);
        if (!connectRequest(target)) {
            expect(!tunnelled && lan.written.isEmpty(), "a refused target sends nothing");
            return 0;
        }
        // Nothing from the address or the port may start a header or a request of its own.
        const QByteArrayList &written = lan.written;
        expect(written.size() >= 3 && written.at(0).endsWith("\r\n"), "a request line");
        const QByteArray words = written.at(0).chopped(2);
        const QByteArrayList parts = words.split(' ');
        expect(!words.contains('\r') && !words.contains('\n') && parts.size() == 3, "one line");
        bool isNumber = false;
        const uint port = parts.at(1).mid(parts.at(1).lastIndexOf(':') + 1).toUInt(&isNumber);
        expect(isNumber && port >= 1 && port <= 65535, "the target's port is a port number");
        expect(written.at(1) == "Accept: */*\r\n" && written.at(2) == "\r\n", "the header lines");
        const bool header = !heard.isEmpty() && heard.front().kind == RxUnit::Kind::ProxyReply;
        expect(tunnelled == (header && proxyAccepted(heard.front().bytes)),
               "the tunnel opens on a whole header with \"200\"");
        if (!tunnelled)
            return 0;
    }
    heard.clear();
    if (lanHandshake(exchange, lan, timing))
        expect(std::any_of(heard.cbegin(), heard.cend(),
                           [](const RxUnit &unit) {
                               return unit.kind == RxUnit::Kind::Accepted && !unit.followed;
                           }),
               "the headend said \"OK\"");
    expect(exchange.heldBytes() <= Exchange::rxLimit, "receive bound");
    return 0;
}
