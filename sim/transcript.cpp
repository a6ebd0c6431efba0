#include "transcript.h"

namespace sim {

namespace {

QString kindName(TranscriptEntry::Kind kind)
{
    using Kind = TranscriptEntry::Kind;
    switch (kind) {
    case Kind::Open:
        return QStringLiteral("open");
    case Kind::Frame:
        return QStringLiteral("frame");
    case Kind::Unknown:
        return QStringLiteral("unknown");
    case Kind::Continue:
        return QStringLiteral("continue");
    case Kind::StrayContinue:
        return QStringLiteral("stray-continue");
    case Kind::Noise:
        return QStringLiteral("noise");
    case Kind::Raw:
        return QStringLiteral("raw");
    case Kind::UploadDone:
        return QStringLiteral("upload-done");
    case Kind::RawTimeout:
        return QStringLiteral("raw-timeout");
    }
    return {};
}

} // namespace

QJsonObject toJson(const TranscriptEntry &entry)
{
    using Kind = TranscriptEntry::Kind;
    QJsonObject json{
        {"t", entry.timeMs}, {"connection", entry.connection}, {"kind", kindName(entry.kind)}};
    if (entry.kind == Kind::Frame || entry.kind == Kind::Unknown) {
        json["channel"] = entry.channel();
        json["code"] = QStringLiteral("0x%1").arg(entry.code(), 2, 16, QLatin1Char('0'));
        json["payload"] = QString::fromLatin1(entry.bytes.mid(2).toHex(' '));
    } else if (entry.kind == Kind::Raw || entry.kind == Kind::Noise) {
        json["size"] = entry.bytes.size();
        json["bytes"] = QString::fromLatin1(entry.bytes.toHex(' '));
    }
    if (!entry.what.isEmpty())
        json["what"] = entry.what;
    if (entry.kind == Kind::UploadDone) {
        json["size"] = entry.size;
        json["sha256"] = QString::fromLatin1(entry.sha256.toHex());
    }
    return json;
}

} // namespace sim
