#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <list>
#include <optional>

class QIODevice;

namespace keldor {

class Link;
class Session;

// One unit that passed a link: a request, an answer, an acknowledgement, a proxy line or an
// upload block. Written as one JSON line.
struct TraceLine {
    qint64 tMs = 0;    // monotonic, since the trace started
    QString link;      // "serial", "lan", or "proxy" while the tunnel is being opened
    QString direction; // "tx" or "rx"
    QByteArray bytes;  // empty for an upload block: its summary stands for it
    QJsonObject meaning;

    QByteArray toJson() const;
};

// Tells what the bytes of one link mean. It keeps only what the protocol makes the next unit
// depend on (the request waiting for its answer, an upload, bulk write or list string under
// way), so the same bytes in the same order always read the same, live or from a file.
class TraceDecoder {
public:
    struct Unit {
        qsizetype length = 0;
        QJsonObject meaning;
    };

    // What a whole write means.
    QJsonObject sent(QByteArrayView bytes);
    // An upload block is not kept byte for byte: its number, size and hash stand for it.
    static bool keepsBytes(const QJsonObject &meaning);
    // The first complete unit at the front of what has arrived; nothing while it is incomplete.
    std::optional<Unit> received(QByteArrayView pending);
    // Bytes that make no unit, taken as they are when the next request goes out or the link
    // goes down.
    QJsonObject leftover(QByteArrayView pending);

    // Between the CONNECT request and the proxy's reply the LAN link talks to the proxy.
    bool openingTunnel() const { return m_tunnel; }

private:
    enum class Expect { Nothing, Ack, Answer, TextLength, Text, GoAhead, ProxyReply };

    QJsonObject frameSent(QByteArrayView frame);
    QJsonObject transferSent(QByteArrayView bytes);
    QJsonObject request(const QString &kind) const;
    Unit ackUnit(qsizetype at, QByteArrayView pending);

    Expect m_expect = Expect::Nothing;
    Expect m_afterContinue = Expect::Ack;
    int m_channel = -1;
    int m_code = -1;
    int m_textLength = 0;
    bool m_tunnel = false;
    // Upload: blocks announced by the start frame and blocks sent so far.
    qint64 m_uploadBlocks = 0;
    qint64 m_uploadLength = 0;
    qint64 m_uploadSent = 0;
    // Bulk write: the channel whose frame comes next, and the service IDs it announced.
    bool m_bulk = false;
    int m_bulkChannel = 0;
    int m_bulkServices = 0;
    bool m_listRest = false;
};

// Records everything that passes the session's two links, from its construction on, as
// TraceLines. Its only inputs are the links' own signals and the exchange's word that the next
// request repeats a lost one ("retry": 1): what the operator types into a dialog never passes
// a link unless the protocol sends it, so it can't reach a trace.
class TrafficTrace : public QObject {
    Q_OBJECT

public:
    explicit TrafficTrace(Session &session, QObject *parent = nullptr);

    // Also writes every line to out (open for writing, not owned), each line flushed.
    void writeTo(QIODevice *out) { m_out = out; }
    // A line could not be written completely; the file lacks it.
    bool writeFailed() const { return m_writeFailed; }
    // Takes what arrived but makes no unit, as the end of the trace.
    void finish();

signals:
    void recorded(const keldor::TraceLine &line);

private:
    struct Follower {
        Link *link = nullptr;
        QString name;
        TraceDecoder decoder;
        QByteArray pending;
    };

    void follow(Link &link, const QString &name);
    void onSent(Follower &follower, const QByteArray &bytes);
    void onReceived(Follower &follower, const QByteArray &bytes);
    void takeLeftover(Follower &follower);
    void add(const QString &direction, const QByteArray &bytes, const QJsonObject &meaning,
             const QString &link);

    std::list<Follower> m_followers;
    QElapsedTimer m_clock;
    QIODevice *m_out = nullptr;
    bool m_writeFailed = false;
    // The next request sent repeats one whose answer was lost.
    bool m_repeat = false;
};

} // namespace keldor
