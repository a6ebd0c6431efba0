#include "ctlcommands.h"

#include "common/textutil.h"
#include "link/session.h"
#include "model/unitdata.h"
#include "protocol/devicetype.h"
#include "protocol/parameters.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <map>

namespace keldor {

namespace {

struct Command {
    int minArguments;
    int maxArguments;
    // Checks the arguments before anything is sent; returns an error text or nothing.
    std::function<QString(const QStringList &)> check;
    std::function<int(Session &, const QStringList &, QTextStream &)> run;
};

QString value_text(const ParamValue &value)
{
    switch (value.kind) {
    case AnswerKind::Text:
        return from_cp1252(value.text);
    case AnswerKind::Float:
        return QString::number(value.toFloat(), 'g', 9);
    default:
        return QString::number(value.toInt());
    }
}

QString check_channel_code(const QStringList &args)
{
    if (!parse_code(args.at(0), 15))
        return QStringLiteral("CHANNEL must be 0..15");
    if (!parse_code(args.at(1), 255))
        return QStringLiteral("CODE must be 0..255 (decimal or 0x-hex)");
    return {};
}

std::optional<QByteArray> hex_bytes(QString text)
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
    if (!check_devicetype(session.exchange, unit))
        return ExitFailure;
    struct Read {
        quint8 code;
        ParamValue value;
    };
    std::array<Read, 6> reads{{{0x79, {}}, {0x7A, {}}, {0x7B, {}}, {0x78, {}}, {0x01, {}}, {0x76, {}}}};
    for (Read &read : reads) {
        if (!read_parameter(session.exchange, 0, read.code, 0, read.value))
            return ExitFailure;
    }
    QJsonObject json{{"device_type", from_cp1252(reads[0].value.text)},
                     {"serial_number", reads[1].value.toInt()},
                     {"hardware_version", from_cp1252(reads[2].value.text)},
                     {"controller_version", from_cp1252(reads[3].value.text)},
                     {"fpga_version", from_cp1252(reads[4].value.text)},
                     {"polarisation_supported", reads[5].value.toInt() != 0},
                     {"device_variant", unit.device_variant},
                     {"max_channel", unit.max_channel}};
    if (args.contains(QLatin1String("--json"))) {
        out << QJsonDocument(json).toJson(QJsonDocument::Indented);
        return ExitSuccess;
    }
    const QStringList order{"device_type",  "serial_number",          "hardware_version",
                            "controller_version", "fpga_version", "polarisation_supported",
                            "device_variant", "max_channel"};
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
    const auto channel = static_cast<quint8>(*parse_code(args.at(0), 15));
    const auto code = static_cast<quint8>(*parse_code(args.at(1), 255));
    const auto sub = static_cast<quint8>(args.size() > 2 ? *parse_code(args.at(2), 255) : 0);
    if (!read_parameter(session.exchange, channel, code, sub, value))
        return ExitFailure;
    out << value_text(value) << '\n';
    return ExitSuccess;
}

int set(Session &session, const QStringList &args, QTextStream &)
{
    const auto channel = static_cast<quint8>(*parse_code(args.at(0), 15));
    const auto code = static_cast<quint8>(*parse_code(args.at(1), 255));
    const WriteValue value = payload_kind(code) == PayloadKind::ListText
                                 ? WriteValue(*hex_bytes(args.at(2)))
                                 : WriteValue(args.at(2));
    return set_parameter(session.exchange, channel, code, value) ? ExitSuccess : ExitFailure;
}

const std::map<QString, Command> &commands()
{
    static const std::map<QString, Command> table{
        {QStringLiteral("info"),
         {0, 1,
          [](const QStringList &a) {
              return a.isEmpty() || a.first() == QLatin1String("--json")
                         ? QString()
                         : QStringLiteral("info takes only --json");
          },
          info}},
        {QStringLiteral("get"),
         {2, 3,
          [](const QStringList &a) {
              if (const QString e = check_channel_code(a); !e.isEmpty())
                  return e;
              return a.size() < 3 || parse_code(a.at(2), 255) ? QString()
                                                             : QStringLiteral("SUB must be 0..255");
          },
          get}},
        {QStringLiteral("set"),
         {3, 3,
          [](const QStringList &a) {
              if (const QString e = check_channel_code(a); !e.isEmpty())
                  return e;
              const auto code = static_cast<quint8>(*parse_code(a.at(1), 255));
              if (payload_kind(code) == PayloadKind::ListText && !hex_bytes(a.at(2)))
                  return QStringLiteral("the list string is given as hex bytes, e.g. 0102ABCD");
              return QString();
          },
          set}},
    };
    return table;
}

bool open_session(Session &session, const CtlOptions &options)
{
    switch (options.link) {
    case CtlOptions::Link::Lan: {
        session.exchange.setSerialSelected(false);
        LanTarget target;
        target.name = options.host + QLatin1Char(':') + options.port;
        target.ip = options.host;
        target.port = options.port;
        target.proxy_use = options.useProxy ? 1 : 0;
        target.proxy_ip = options.proxyHost;
        target.proxy_port = options.proxyPort;
        return lan_connect(session, target);
    }
    case CtlOptions::Link::Serial:
        session.usbPorts = [device = options.serialDevice] { return QStringList{device}; };
        [[fallthrough]];
    case CtlOptions::Link::Usb:
        session.exchange.setSerialSelected(true);
        return check_device_present(session);
    }
    return false;
}

void close_session(Session &session)
{
    if (session.serial.isOpen()) {
        session.exchange.com_end();
        session.serial.close();
    }
    session.lan.close();
}

} // namespace

int run_ctl_command(Session &session, const CtlOptions &options, QTextStream &out,
                    QTextStream &err)
{
    const auto found = commands().find(options.command);
    if (found == commands().end()) {
        err << "keldor-ctl: unknown command " << options.command << "\n\n" << ctl_usage();
        return ExitUsage;
    }
    const Command &command = found->second;
    const auto count = options.arguments.size();
    QString problem;
    if (count < command.minArguments || count > command.maxArguments)
        problem = QStringLiteral("wrong number of arguments for %1").arg(options.command);
    else
        problem = command.check(options.arguments);
    if (!problem.isEmpty()) {
        err << "keldor-ctl: " << problem << "\n\n" << ctl_usage();
        return ExitUsage;
    }

    if (!open_session(session, options))
        return ExitFailure;
    const int result = command.run(session, options.arguments, out);
    close_session(session);
    return result;
}

} // namespace keldor
