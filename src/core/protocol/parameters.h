#pragma once

#include "core/protocol/parametertable.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <variant>

namespace keldor {

// Every request to the headend is one frame of this many bytes: channel, code, then the value.
constexpr qsizetype requestFrameLength = 10;

class Exchange;
class Session;

// How the headend answers a read, by parameter code.
AnswerKind answerKind(quint8 code);
int answerLength(AnswerKind kind); // bytes on the wire; a text starts with its length byte
// Whether a request frame with this code asks for a value. A one-byte write and a read look
// alike on the wire; only the code tells them apart.
bool isReadCode(quint8 code);

// How a write carries its value, by parameter code.
PayloadKind payloadKind(quint8 code);

// A value read from the headend.
struct ParamValue {
    AnswerKind kind = AnswerKind::Byte;
    double number = 0; // every kind but Text
    QByteArray text;

    // A float answer may hold anything: beyond the range it saturates, NaN counts as 0.
    qint32 toInt() const
    {
        if (std::isnan(number))
            return 0;
        return static_cast<qint32>(std::clamp(number, double(std::numeric_limits<qint32>::min()),
                                              double(std::numeric_limits<qint32>::max())));
    }
    float toFloat() const { return static_cast<float>(number); }
};

// A value to write: a whole number, a real number, the text of an input field (converted as
// the code requires) or the raw list string of the service selection.
using WriteValue = std::variant<qint64, double, QString, QByteArray>;

QByteArray readRequest(quint8 channel, quint8 code, quint8 sub);
ParamValue decodeAnswer(AnswerKind kind, QByteArrayView bytes);

struct EncodedWrite {
    QByteArray frame; // the 10-byte request
    QByteArray rest;  // the list string's bytes from the third on, sent after the go-ahead
};
// The write request, or the reason why the value can't be carried by the code's payload.
std::variant<EncodedWrite, QString> encodeWrite(quint8 channel, quint8 code,
                                                const WriteValue &value);

// Tells the operator that the exchange's wait failed, whatever exchange.error() says, and
// gives the main window back. Always false, for the caller to return.
bool connectionAborted(Exchange &exchange);

bool readParameter(Exchange &exchange, quint8 channel, quint8 code, quint8 sub, ParamValue &value);
bool setParameter(Exchange &exchange, quint8 channel, quint8 code, const WriteValue &value);

// The frame that ends the session with a headend on the USB link, and the exchange's sending
// of it (false when no serial port was open).
QByteArray sessionCloseRequest();
bool endSession(Exchange &exchange);
// What a headend window does when it closes: the keep-alive stops and, over USB, the closing
// frame goes out and the port is given back. The LAN connection stays for the next window.
void closeWindowSession(Session &session);

// The keep-alive write: value 0 on channel 0.
bool keepAlive(Exchange &exchange);

// Upper-case hexadecimal without leading zero, as in the "Error 6" titles.
QString codeHex(quint8 code);

} // namespace keldor
