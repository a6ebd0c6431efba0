#include "ctlcommand.h"

#include "core/common/textutil.h"
#include "core/model/devicetype.h"
#include "core/model/readunitdata.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"
#include "core/protocol/session.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <array>

namespace keldor {

namespace {

QString valueText(const ParamValue &value)
{
    switch (value.kind) {
    case AnswerKind::Text:
        return fromCp1252(value.text);
    case AnswerKind::Float:
        return QString::number(value.toFloat(), 'g', 9);
    default:
        return QString::number(value.toInt());
    }
}

QString checkChannelCode(const QStringList &args)
{
    if (!parseCode(args.at(0), 15))
        return QStringLiteral("CHANNEL must be 0..15") + otherChannelCountHint(args.at(0), true);
    if (!parseCode(args.at(1), 255))
        return QStringLiteral("CODE must be 0..255 (decimal or 0x-hex)");
    return {};
}

std::optional<QByteArray> hexBytes(QString text)
{
    text.remove(QLatin1Char(':')).remove(QLatin1Char(' ')).remove(QLatin1Char(','));
    if (text.size() % 2 != 0)
        return std::nullopt;
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); i += 2) {
        bool ok = false;
        const int byte = text.mid(i, 2).toInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        bytes.append(static_cast<char>(byte));
    }
    return bytes;
}

int info(Session &session, const QStringList &args, QTextStream &out)
{
    UnitData unit;
    if (!checkDeviceType(session.exchange, unit))
        return ExitFailure;
    if (!readIdentity(session.exchange, unit))
        return ExitFailure;
    const DeviceIdentity &identity = unit.identity;
    QJsonObject json{{"device_type", fromCp1252(identity.deviceType)},
                     {"serial_number", identity.serialNumber},
                     {"hardware_version", fromCp1252(identity.hardwareVersion)},
                     {"controller_version", fromCp1252(identity.controllerVersion)},
                     {"fpga_version", fromCp1252(identity.fpgaVersion)},
                     {"polarisation_supported", unit.polarisationSupported},
                     {"device_variant", unit.deviceVariant},
                     {"max_channel", unit.maxChannel}};
    if (args.contains(QLatin1String("--json"))) {
        out << QJsonDocument(json).toJson(QJsonDocument::Indented);
        return ExitSuccess;
    }
    const QStringList order{"device_type",        "serial_number", "hardware_version",
                            "controller_version", "fpga_version",  "polarisation_supported",
                            "device_variant",     "max_channel"};
    for (const QString &key : order) {
        const QJsonValue v = json.value(key);
        const QString text = v.isBool()     ? (v.toBool() ? "yes" : "no")
                             : v.isString() ? v.toString()
                                            : QString::number(v.toInteger());
        out << (key + QLatin1Char(':')).leftJustified(24) << text << '\n';
    }
    return ExitSuccess;
}

int get(Session &session, const QStringList &args, QTextStream &out)
{
    ParamValue value;
    const auto channel = static_cast<quint8>(*parseCode(args.at(0), 15));
    const auto code = static_cast<quint8>(*parseCode(args.at(1), 255));
    const auto sub = static_cast<quint8>(args.size() > 2 ? *parseCode(args.at(2), 255) : 0);
    if (!readParameter(session.exchange, channel, code, sub, value))
        return ExitFailure;
    out << valueText(value) << '\n';
    return ExitSuccess;
}

int set(Session &session, const QStringList &args, QTextStream &)
{
    const auto channel = static_cast<quint8>(*parseCode(args.at(0), 15));
    const auto code = static_cast<quint8>(*parseCode(args.at(1), 255));
    const WriteValue value = payloadKind(code) == PayloadKind::ListText
                                 ? WriteValue(*hexBytes(args.at(2)))
                                 : WriteValue(args.at(2));
    return setParameter(session.exchange, channel, code, value) ? ExitSuccess : ExitFailure;
}

} // namespace

void addParameterCommands(CtlCommandTable &table)
{
    table[QStringLiteral("info")] = {
        0, 1, QStringLiteral("info [--json]              identity, channel count and variant"),
        [](const QStringList &a) {
            return a.isEmpty() || a.first() == QLatin1String("--json")
                       ? QString()
                       : QStringLiteral("info takes only --json");
        },
        info};
    table[QStringLiteral("get")] = {
        2, 3, QStringLiteral("get CHANNEL CODE [SUB]     read one parameter and print its value"),
        [](const QStringList &a) {
            if (const QString e = checkChannelCode(a); !e.isEmpty())
                return e;
            return a.size() < 3 || parseCode(a.at(2), 255) ? QString()
                                                           : QStringLiteral("SUB must be 0..255");
        },
        get};
    table[QStringLiteral("set")] = {
        3, 3,
        QStringLiteral(
            "set CHANNEL CODE VALUE     write one parameter (list strings as hex bytes)"),
        [](const QStringList &a) {
            if (const QString e = checkChannelCode(a); !e.isEmpty())
                return e;
            const auto code = static_cast<quint8>(*parseCode(a.at(1), 255));
            if (payloadKind(code) == PayloadKind::ListText && !hexBytes(a.at(2)))
                return QStringLiteral("the list string is given as hex bytes, e.g. 0102ABCD");
            return QString();
        },
        set};
}

} // namespace keldor
