#include "core/features/traffic/traffictrace.h"

#include "core/features/update/upload.h"
#include "core/link/link.h"
#include "core/link/linklog.h"
#include "core/model/fullwrite.h"
#include "core/model/servicelists.h"
#include "core/protocol/parameters.h"
#include "core/protocol/session.h"

#include <QCryptographicHash>
#include <QFileDevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtEndian>

#include <bit>

namespace keldor {

Q_LOGGING_CATEGORY(linkLog, "keldor.link", QtWarningMsg)

namespace {

// Where the bulk write's channel frame holds its service count.
constexpr qsizetype bulkServiceCountAt = 20;

const QString kindKey = QStringLiteral("kind");

QString hexCode(int code)
{
    return QStringLiteral("0x") + QString::number(code, 16).rightJustified(2, u'0').toUpper();
}

QString lineText(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes).trimmed();
}

QJsonValue writtenValue(quint8 code, QByteArrayView payload)
{
    const auto *data = reinterpret_cast<const uchar *>(payload.data());
    switch (payloadKind(code)) {
    case PayloadKind::Float:
        return std::bit_cast<float>(qFromBigEndian<quint32>(data));
    case PayloadKind::Int16:
        return qFromBigEndian<qint16>(data);
    case PayloadKind::Port16:
        return qFromBigEndian<quint16>(data);
    case PayloadKind::Int32:
        return QStringLiteral("%1.%2.%3.%4").arg(data[0]).arg(data[1]).arg(data[2]).arg(data[3]);
    case PayloadKind::ListText:
        return QJsonArray{data[0], data[1]};
    case PayloadKind::Byte:
        break;
    }
    return data[0];
}

bool isUploadStart(QByteArrayView bytes)
{
    return bytes.size() == requestFrameLength && bytes[0] == 0 &&
           (quint8(bytes[1]) == param::controllerUpload || quint8(bytes[1]) == param::fpgaUpload);
}

} // namespace

QByteArray TraceLine::toJson() const
{
    // Written by hand so the keys keep the order a reader expects.
    QByteArray json = "{\"t_ms\":" + QByteArray::number(tMs) + ",\"link\":\"" + link.toLatin1() +
                      "\",\"dir\":\"" + direction.toLatin1() + '"';
    if (TraceDecoder::keepsBytes(meaning))
        json += ",\"hex\":\"" + bytes.toHex() + '"';
    return json + ",\"meaning\":" + QJsonDocument(meaning).toJson(QJsonDocument::Compact) + '}';
}

bool TraceDecoder::keepsBytes(const QJsonObject &meaning)
{
    return meaning.value(kindKey) != QLatin1String("upload-block");
}

QJsonObject TraceDecoder::request(const QString &kind) const
{
    QJsonObject meaning{{kindKey, kind}};
    if (m_code >= 0) {
        meaning.insert(QStringLiteral("channel"), m_channel);
        meaning.insert(QStringLiteral("code"), hexCode(m_code));
    }
    return meaning;
}

QJsonObject TraceDecoder::sent(QByteArrayView bytes)
{
    if (bytes == "RM") {
        m_code = -1;
        m_expect = Expect::Nothing;
        return {{kindKey, QStringLiteral("session-open")}};
    }
    if (bytes == "N") {
        m_expect = std::exchange(m_afterContinue, Expect::Nothing);
        return request(QStringLiteral("continue"));
    }
    if (bytes.startsWith("CONNECT ")) {
        m_tunnel = true;
        return {{kindKey, QStringLiteral("proxy-request")}, {"line", lineText(bytes)}};
    }
    if (m_tunnel)
        return {{kindKey, QStringLiteral("proxy-header")}, {"line", lineText(bytes)}};
    if (m_listRest || (m_bulk && (m_bulkServices > 0 || bytes.size() != requestFrameLength)))
        return transferSent(bytes);
    if (m_uploadSent < m_uploadBlocks) {
        // A retried upload starts again with its start frame; a block is never frame-sized
        // unless it is the image's last one.
        const qint64 nextSize =
            qMin(uploadBlockSize, m_uploadLength - m_uploadSent * uploadBlockSize);
        if (!isUploadStart(bytes) || nextSize == requestFrameLength)
            return transferSent(bytes);
    }
    if (bytes.size() == requestFrameLength)
        return frameSent(bytes);
    m_expect = Expect::Nothing;
    return {{kindKey, QStringLiteral("unknown")}, {"size", bytes.size()}};
}

QJsonObject TraceDecoder::transferSent(QByteArrayView bytes)
{
    m_expect = Expect::Nothing;
    if (m_listRest) {
        QJsonObject meaning = request(QStringLiteral("list-rest"));
        meaning.insert(QStringLiteral("size"), bytes.size());
        return meaning;
    }
    if (m_bulk) {
        if (m_bulkServices > 0) {
            const int channel = m_bulkChannel++;
            m_bulkServices = 0;
            return {{kindKey, QStringLiteral("bulk-services")},
                    {"channel", channel},
                    {"count", bytes.size() / 2}};
        }
        const int channel = m_bulkChannel;
        m_bulkServices = bytes.size() > bulkServiceCountAt ? quint8(bytes[bulkServiceCountAt]) : 0;
        if (m_bulkServices == 0)
            ++m_bulkChannel;
        return {{kindKey, QStringLiteral("bulk-channel")}, {"channel", channel}};
    }
    return {{kindKey, QStringLiteral("upload-block")},
            {"number", ++m_uploadSent},
            {"of", m_uploadBlocks},
            {"size", bytes.size()},
            {"sha1", QString::fromLatin1(
                         QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex())}};
}

QJsonObject TraceDecoder::frameSent(QByteArrayView frame)
{
    const quint8 channel = quint8(frame[0]);
    const quint8 code = quint8(frame[1]);
    const QByteArrayView payload = frame.sliced(2);
    m_uploadBlocks = m_uploadSent = 0;
    m_bulk = m_listRest = false;
    m_channel = channel;
    m_code = code;
    m_expect = m_afterContinue = Expect::Nothing;

    if (channel == 0 && code == param::sessionClose && payload.count('\0') == payload.size()) {
        m_code = -1;
        return {{kindKey, QStringLiteral("session-close")}};
    }
    if (channel == 0 && (code == param::controllerUpload || code == param::fpgaUpload)) {
        m_uploadLength = qFromBigEndian<quint32>(payload.data());
        m_uploadBlocks = uploadBlockCount(m_uploadLength);
        return {{kindKey, QStringLiteral("upload-start")},
                {"target", code == param::controllerUpload ? "controller" : "fpga"},
                {"length", m_uploadLength},
                {"blocks", m_uploadBlocks}};
    }
    if (channel == 0 && code == param::fpgaStore)
        return request(QStringLiteral("fpga-store"));
    if (channel == 0 && code == param::bulkWrite) {
        m_bulk = true;
        m_bulkChannel = m_bulkServices = 0;
        return request(QStringLiteral("bulk-write-start"));
    }
    if (isReadCode(code)) {
        const bool text = answerKind(code) == AnswerKind::Text;
        m_expect = text ? Expect::TextLength : Expect::Answer;
        QJsonObject meaning = request(QStringLiteral("read"));
        meaning.insert(QStringLiteral("sub"), quint8(payload[0]));
        return meaning;
    }
    m_listRest = code == param::listString;
    QJsonObject meaning = request(QStringLiteral("write"));
    meaning.insert(QStringLiteral("value"), writtenValue(code, payload));
    return meaning;
}

QJsonObject TraceDecoder::bytesReceived(QByteArrayView bytes)
{
    switch (std::exchange(m_expect, Expect::Nothing)) {
    case Expect::Answer: {
        QJsonObject meaning = request(QStringLiteral("answer"));
        meaning.insert(QStringLiteral("value"),
                       decodeAnswer(answerKind(quint8(m_code)), bytes).number);
        return meaning;
    }
    case Expect::TextLength: {
        m_afterContinue = Expect::Text;
        QJsonObject meaning = request(QStringLiteral("text-length"));
        meaning.insert(QStringLiteral("length"), quint8(bytes[0]));
        return meaning;
    }
    case Expect::Text: {
        QJsonObject meaning = request(QStringLiteral("text"));
        meaning.insert(QStringLiteral("text"), QString::fromLatin1(bytes));
        return meaning;
    }
    case Expect::Nothing:
        break;
    }
    return {{kindKey, QStringLiteral("unknown")}, {"size", bytes.size()}};
}

QJsonObject TraceDecoder::received(const RxUnit &unit)
{
    switch (unit.kind) {
    case RxUnit::Kind::Bytes:
        return bytesReceived(unit.bytes);
    case RxUnit::Kind::Accepted:
    case RxUnit::Kind::Ended: {
        QJsonObject meaning = request(QString::fromLatin1(unit.bytes));
        if (!unit.before.isEmpty())
            meaning.insert(QStringLiteral("before"), QString::fromLatin1(unit.before));
        if (unit.kind == RxUnit::Kind::Ended)
            m_bulk = m_listRest = false;
        return meaning;
    }
    case RxUnit::Kind::GoAhead:
        return request(QStringLiteral("go-ahead"));
    case RxUnit::Kind::ProxyReply: {
        const QByteArrayView header = unit.bytes;
        m_tunnel = false;
        return {{kindKey, QStringLiteral("proxy-reply")},
                {"status", lineText(header.first(qMax<qsizetype>(0, header.indexOf('\n'))))},
                {"accepted", proxyAccepted(header)}};
    }
    case RxUnit::Kind::Unexpected:
        break;
    }
    const QByteArrayView bytes = unit.bytes;
    return {{kindKey, QStringLiteral("unexpected")},
            {"size", bytes.size()},
            {"text", QString::fromLatin1(bytes.first(qMin<qsizetype>(bytes.size(), 64)))}};
}

TrafficTrace::TrafficTrace(Session &session, QObject *parent)
    : TrafficTrace(session.exchange, session.serial, session.lan, parent)
{}

TrafficTrace::TrafficTrace(Exchange &exchange, Link &serial, Link &lan, QObject *parent)
    : QObject(parent)
    , m_exchange(exchange)
{
    m_clock.start();
    follow(serial, QStringLiteral("serial"));
    follow(lan, QStringLiteral("lan"));
    connect(&exchange, &Exchange::unitReceived, this, &TrafficTrace::onReceived);
    connect(&exchange, &Exchange::repeating, this, [this] { m_repeat = true; });
}

void TrafficTrace::follow(Link &link, const QString &name)
{
    Follower &follower = m_followers.emplace_back();
    follower.link = &link;
    follower.name = name;
    connect(&link, &Link::sent, this,
            [this, &follower](const QByteArray &bytes) { onSent(follower, bytes); });
}

void TrafficTrace::onSent(Follower &follower, const QByteArray &bytes)
{
    QJsonObject meaning = follower.decoder.sent(bytes);
    if (std::exchange(m_repeat, false))
        meaning.insert(QStringLiteral("retry"), 1);
    const bool tunnel = follower.decoder.openingTunnel();
    add(QStringLiteral("tx"), bytes, meaning, tunnel ? QStringLiteral("proxy") : follower.name);
}

void TrafficTrace::onReceived(Link *link, const RxUnit &unit)
{
    const auto follower = std::find_if(m_followers.begin(), m_followers.end(),
                                       [link](const Follower &f) { return f.link == link; });
    if (follower == m_followers.end())
        return;
    const bool tunnel = follower->decoder.openingTunnel();
    const QJsonObject meaning = follower->decoder.received(unit);
    add(QStringLiteral("rx"), unit.before + unit.bytes, meaning,
        tunnel ? QStringLiteral("proxy") : follower->name);
}

void TrafficTrace::finish()
{
    m_exchange.flushUnexpected();
}

void TrafficTrace::add(const QString &direction, const QByteArray &bytes,
                       const QJsonObject &meaning, const QString &link)
{
    TraceLine line;
    line.tMs = m_clock.elapsed();
    line.link = link;
    line.direction = direction;
    if (TraceDecoder::keepsBytes(meaning))
        line.bytes = bytes;
    line.meaning = meaning;
    const QByteArray json = line.toJson();
    qCDebug(linkLog).noquote() << json;
    if (m_out) {
        const QByteArray text = json + '\n';
        if (m_out->write(text) != text.size())
            m_writeFailed = true;
        if (auto *file = qobject_cast<QFileDevice *>(m_out); file && !file->flush())
            m_writeFailed = true;
    }
    emit recorded(line);
}

} // namespace keldor
