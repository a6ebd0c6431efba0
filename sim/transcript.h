#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace sim {

// One complete unit the headend received, or an event that ended one.
struct TranscriptEntry {
    enum class Kind {
        Open,          // "RM"
        Frame,         // a 10-byte request frame with a known code
        Unknown,       // a 10-byte request frame the device doesn't know
        Continue,      // "N" that a pending read was waiting for
        StrayContinue, // "N" with no read pending
        Noise,         // bytes that can't start anything
        Raw,           // a block of a multi-step transfer; `what` names the step
        UploadDone,    // a complete image; `what` names the target
        RawTimeout,    // a multi-step transfer abandoned after silence; `what` names the step
    };

    qint64 timeMs = 0; // monotonic, since the headend was created
    int connection = 0;
    Kind kind = Kind::Frame;
    QByteArray bytes;
    QString what;
    qint64 size = 0;
    QByteArray sha256;

    int channel() const { return bytes.isEmpty() ? -1 : quint8(bytes[0]); }
    int code() const { return bytes.size() < 2 ? -1 : quint8(bytes[1]); }
};

QJsonObject toJson(const TranscriptEntry &entry);

} // namespace sim
