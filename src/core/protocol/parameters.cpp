#include "core/protocol/parameters.h"

#include "core/common/textutil.h"
#include "core/common/userinterface.h"
#include "core/link/exchange.h"
#include "core/link/link.h"
#include "core/protocol/session.h"

#include <QDeadlineTimer>
#include <QtEndian>

#include <bit>
#include <cmath>
#include <limits>

namespace keldor {

namespace {

const QByteArray continueRequest("N");

} // namespace

bool connectionAborted(Exchange &exchange)
{
    exchange.ui().message(UserInterface::Icon::Critical, QStringLiteral("Connect Error"),
                          QStringLiteral("Connection aborted!"));
    exchange.ui().setMainWindowEnabled(true);
    return false;
}

namespace {

// A read changes nothing on the headend, so a request whose answer was lost is sent once
// more. Whatever of the lost answer came in the meantime is dropped after the pause.
std::optional<RxUnit> askAgain(Exchange &exchange, const QByteArray &request, int length)
{
    if (exchange.error() != ExchangeError::NoAnswer)
        return std::nullopt;
    exchange.waitSeconds(exchange.timing().sendPause);
    exchange.discard();
    exchange.noteRepeat();
    exchange.send(request, Expectation::bytes(length));
    return exchange.waitForUnit();
}

// The headend sends nothing beyond the answer before it hears "N", and only "EN" after it.
// Anything more means the bytes read were not (only) the answer, so none of them is used.
bool wholeAnswer(const RxUnit &unit)
{
    return unit.kind == RxUnit::Kind::Bytes && !unit.followed;
}

bool garbledAnswer(Exchange &exchange)
{
    exchange.ui().message(UserInterface::Icon::Critical, QStringLiteral("Connect Error"),
                          QStringLiteral("The headend's answer was garbled; it was not used.\r"
                                         "Please try again."));
    exchange.ui().setMainWindowEnabled(true);
    return false;
}

template<typename T> QByteArray bigEndian(T value)
{
    QByteArray bytes(sizeof(T), Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray frame(quint8 channel, quint8 code, const QByteArray &payload)
{
    QByteArray bytes(requestFrameLength, '\0');
    bytes[0] = static_cast<char>(channel);
    bytes[1] = static_cast<char>(code);
    bytes.replace(2, payload.size(), payload);
    return bytes.left(requestFrameLength);
}

std::optional<double> numberOf(const WriteValue &value)
{
    if (const auto *i = std::get_if<qint64>(&value))
        return static_cast<double>(*i);
    if (const auto *d = std::get_if<double>(&value))
        return std::isfinite(*d) ? std::optional(*d) : std::nullopt;
    if (const auto *s = std::get_if<QString>(&value))
        return parseNumber(*s);
    return std::nullopt;
}

std::variant<qint64, QString> wholeInRange(const WriteValue &value, quint8 code, qint64 lowest,
                                           qint64 highest)
{
    const auto number = numberOf(value);
    if (!number)
        return QStringLiteral("Parameter %1 needs a number; nothing was sent.").arg(codeHex(code));
    const double rounded = roundHalfEven(*number);
    if (rounded < static_cast<double>(lowest) || rounded > static_cast<double>(highest))
        return QStringLiteral(
                   "Overflow: %1 is outside %2 to %3 for parameter %4; nothing was sent.")
            .arg(rounded, 0, 'f', 0)
            .arg(lowest)
            .arg(highest)
            .arg(codeHex(code));
    return static_cast<qint64>(rounded);
}

} // namespace

QByteArray sessionCloseRequest()
{
    return frame(0, param::sessionClose, {});
}

bool endSession(Exchange &exchange)
{
    exchange.ui().setKeepAliveRunning(false);
    return exchange.comEnd(sessionCloseRequest());
}

void closeWindowSession(Session &session)
{
    session.ui.setKeepAliveRunning(false);
    if (endSession(session.exchange) && session.serial.isOpen())
        session.serial.close();
}

QString codeHex(quint8 code)
{
    return QString::number(code, 16).toUpper();
}

AnswerKind answerKind(quint8 code)
{
    const Parameter *parameter = findParameter(code);
    return parameter ? parameter->answer : AnswerKind::Byte;
}

int answerLength(AnswerKind kind)
{
    switch (kind) {
    case AnswerKind::Float:
    case AnswerKind::Int32:
        return 4;
    case AnswerKind::Int16:
        return 2;
    case AnswerKind::Text:
    case AnswerKind::Byte:
        return 1;
    }
    return 1;
}

bool isReadCode(quint8 code)
{
    const Parameter *parameter = findParameter(code);
    return parameter && parameter->isRead();
}

PayloadKind payloadKind(quint8 code)
{
    const Parameter *parameter = findParameter(code);
    return parameter ? parameter->payload : PayloadKind::Byte;
}

QByteArray readRequest(quint8 channel, quint8 code, quint8 sub)
{
    return frame(channel, code, QByteArray(1, static_cast<char>(sub)));
}

ParamValue decodeAnswer(AnswerKind kind, QByteArrayView bytes)
{
    ParamValue value;
    value.kind = kind;
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    switch (kind) {
    case AnswerKind::Float:
        value.number = std::bit_cast<float>(qFromBigEndian<quint32>(data));
        break;
    case AnswerKind::Int32:
        value.number = qFromBigEndian<qint32>(data);
        break;
    case AnswerKind::Int16:
        value.number = qFromBigEndian<qint16>(data);
        break;
    case AnswerKind::Byte:
        value.number = data[0];
        break;
    case AnswerKind::Text:
        value.text = bytes.toByteArray();
        break;
    }
    return value;
}

std::variant<EncodedWrite, QString> encodeWrite(quint8 channel, quint8 code,
                                                const WriteValue &value)
{
    QByteArray payload;
    EncodedWrite encoded;
    switch (payloadKind(code)) {
    case PayloadKind::Float: {
        const auto number = numberOf(value);
        if (!number || std::abs(*number) > std::numeric_limits<float>::max())
            return QStringLiteral("Parameter %1 needs a number; nothing was sent.")
                .arg(codeHex(code));
        payload = bigEndian(std::bit_cast<quint32>(static_cast<float>(*number)));
        break;
    }
    case PayloadKind::Int16:
    case PayloadKind::Port16: {
        // A port above 32767 goes out as its two bytes, like every other port number; a
        // negative one would go out as a large port.
        const bool port = payloadKind(code) == PayloadKind::Port16;
        const auto whole = wholeInRange(value, code, port ? 0 : -32768, port ? 65535 : 32767);
        if (const auto *error = std::get_if<QString>(&whole))
            return *error;
        payload = bigEndian(static_cast<quint16>(std::get<qint64>(whole)));
        break;
    }
    case PayloadKind::Int32: {
        // Addresses go out octet by octet: 192.168.1.20 is a valid address even though its
        // 32-bit value doesn't fit a signed integer.
        const auto whole = wholeInRange(value, code, std::numeric_limits<qint32>::min(),
                                        std::numeric_limits<quint32>::max());
        if (const auto *error = std::get_if<QString>(&whole))
            return *error;
        payload = bigEndian(static_cast<quint32>(std::get<qint64>(whole)));
        break;
    }
    case PayloadKind::ListText: {
        QByteArray list;
        if (const auto *bytes = std::get_if<QByteArray>(&value))
            list = *bytes;
        else if (const auto *text = std::get_if<QString>(&value))
            list = text->toLatin1();
        else
            return QStringLiteral("Parameter %1 needs a list; nothing was sent.")
                .arg(codeHex(code));
        payload = list.left(2);
        encoded.rest = list.mid(2);
        break;
    }
    case PayloadKind::Byte: {
        const auto whole = wholeInRange(value, code, 0, 255);
        if (const auto *error = std::get_if<QString>(&whole))
            return *error;
        payload = QByteArray(1, static_cast<char>(std::get<qint64>(whole)));
        break;
    }
    }
    encoded.frame = frame(channel, code, payload);
    return encoded;
}

bool readParameter(Exchange &exchange, quint8 channel, quint8 code, quint8 sub, ParamValue &value)
{
    BusyCursor busy(exchange.ui());
    exchange.beginExchange();
    // Nothing is due from the headend before the request: what comes during the pause is late
    // news of an earlier exchange and is dropped with it.
    exchange.waitSeconds(exchange.timing().sendPause);
    exchange.discard();
    const QByteArray request = readRequest(channel, code, sub);
    const AnswerKind kind = answerKind(code);
    const int length = answerLength(kind);
    exchange.send(request, Expectation::bytes(length));

    std::optional<RxUnit> unit = exchange.waitForUnit();
    if (!unit)
        unit = askAgain(exchange, request, length);
    if (!unit)
        return connectionAborted(exchange);
    if (!wholeAnswer(*unit))
        return garbledAnswer(exchange);
    QByteArray bytes = unit->bytes;
    if (kind == AnswerKind::Text) {
        const int textLength = static_cast<uchar>(bytes.at(0));
        bytes.clear();
        exchange.discard();
        exchange.waitSeconds(exchange.timing().sendPause);
        // An empty text has nothing to wait for: the "EN" that ends the read may follow at once.
        exchange.send(continueRequest,
                      textLength > 0 ? Expectation::bytes(textLength) : Expectation::ack());
        if (textLength > 0) {
            unit = exchange.waitForUnit();
            if (!unit)
                return connectionAborted(exchange);
            if (!wholeAnswer(*unit))
                return garbledAnswer(exchange);
            bytes = unit->bytes;
        }
    }
    const ParamValue answer = decodeAnswer(kind, bytes);

    exchange.discard();
    exchange.waitSeconds(exchange.timing().sendPause);
    exchange.send(continueRequest, Expectation::ack());
    bool alone = false;
    if (!exchange.waitForEnd(&alone))
        return connectionAborted(exchange);
    if (!alone)
        return garbledAnswer(exchange);
    value = answer;
    exchange.endExchange();
    return true;
}

bool setParameter(Exchange &exchange, quint8 channel, quint8 code, const WriteValue &value)
{
    UserInterface &ui = exchange.ui();
    const auto encoded = encodeWrite(channel, code, value);
    if (const auto *error = std::get_if<QString>(&encoded)) {
        ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"), *error);
        return false;
    }
    const EncodedWrite &write = std::get<EncodedWrite>(encoded);

    BusyCursor busy(ui);
    exchange.beginExchange();
    exchange.discard();
    exchange.waitSeconds(exchange.timing().sendPause);

    QByteArray request = write.frame;
    if (payloadKind(code) == PayloadKind::ListText) {
        exchange.send(write.frame, Expectation::goAhead());
        if (!exchange.waitForUnit())
            return connectionAborted(exchange);
        request = write.rest;
    }

    // Nothing is discarded between attempts, so a late "EN" ends the next wait at once.
    const QDeadlineTimer window(exchange.timing().resendWindow, Qt::PreciseTimer);
    for (;;) {
        exchange.send(request, Expectation::ack());
        if (exchange.waitForEnd()) {
            exchange.endExchange();
            return true;
        }
        connectionAborted(exchange);
        // Resending into a link that is gone, or to a headend that floods it, would only repeat
        // the same failure.
        if (window.hasExpired() || !exchange.activeLink().isOpen() || exchange.overflowed())
            break;
    }
    ui.message(
        UserInterface::Icon::Exclamation, QStringLiteral("Error ") + codeHex(code),
        QStringLiteral("An error occured while sending, data may be lost\rPlease try again."));
    exchange.endExchange();
    return false;
}

bool keepAlive(Exchange &exchange)
{
    return setParameter(exchange, 0, param::keepAlive, qint64{0});
}

} // namespace keldor
