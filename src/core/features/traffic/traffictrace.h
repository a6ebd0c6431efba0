#pragma once

#include "core/link/rxunit.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <list>

class QIODevice;

namespace keldor {

class Exchange;
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

// Tells what the writes and received units of one link mean. It keeps only what the meaning of
// the next unit depends on (the request waiting for its answer, an upload, bulk write or list
// string under way), so the same traffic always reads the same, live or from a file.
class TraceDecoder {
public:
    // What a whole write means.
    QJsonObject sent(QByteArrayView bytes);
    // An upload block is not kept byte for byte: its number, size and hash stand for it.
    static bool keepsBytes(const QJsonObject &meaning);
    // What a unit the exchange cut means.
    QJsonObject received(const RxUnit &unit);

    // Between the CONNECT request and the proxy's reply the LAN link talks to the proxy.
    bool openingTunnel() const { return m_tunnel; }

private:
    // What a unit of plain bytes answers.
    enum class Expect { Nothing, Answer, TextLength, Text };

    QJsonObject frameSent(QByteArrayView frame);
    QJsonObject transferSent(QByteArrayView bytes);
    QJsonObject request(const QString &kind) const;
    QJsonObject bytesReceived(QByteArrayView bytes);

    Expect m_expect = Expect::Nothing;
    Expect m_afterContinue = Expect::Nothing;
    int m_channel = -1;
    int m_code = -1;
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
// TraceLines. Its only inputs are what the links sent, the units the exchange cut from what
// they received and the exchange's word that the next request repeats a lost one ("retry": 1):
// what the operator types into a dialog never passes a link unless the protocol sends it, so
// it can't reach a trace.
class TrafficTrace : public QObject {
    Q_OBJECT

public:
    explicit TrafficTrace(Session &session, QObject *parent = nullptr);
    TrafficTrace(Exchange &exchange, Link &serial, Link &lan, QObject *parent = nullptr);

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
    };

    void follow(Link &link, const QString &name);
    void onSent(Follower &follower, const QByteArray &bytes);
    void onReceived(Link *link, const RxUnit &unit);
    void add(const QString &direction, const QByteArray &bytes, const QJsonObject &meaning,
             const QString &link);

    Exchange &m_exchange;
    std::list<Follower> m_followers;
    QElapsedTimer m_clock;
    QIODevice *m_out = nullptr;
    bool m_writeFailed = false;
    // The next request sent repeats one whose answer was lost.
    bool m_repeat = false;
};

} // namespace keldor
