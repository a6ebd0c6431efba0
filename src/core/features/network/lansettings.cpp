#include "core/features/network/lansettings.h"

#include "core/common/textutil.h"
#include "core/common/userinterface.h"
#include "core/features/shell/shellstate.h"
#include "core/link/exchange.h"
#include "core/protocol/parameters.h"

#include <QStringList>

namespace keldor {

namespace {

constexpr int octetDigits = 3;
constexpr int portDigits = 5;
constexpr int highestOctet = 255;
constexpr int highestPort = 65535;
constexpr QChar backspace(8);

const QString inputErrorTitle = QStringLiteral("Input Error");
const QString octetRangeText = QStringLiteral("Please enter a number between 0 and 255!");
const QString portRangeText = QStringLiteral("Please enter a number between 0 and 65535!");

// Only plain digits count: the boxes take nothing else from the keyboard, and a pasted sign,
// blank or fraction is no octet or port either. Ten digits and more are no number we can use.
std::optional<qint64> digitsValue(const QString &text)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    qint64 value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

std::optional<int> wholeNumber(const QString &text, int highest)
{
    const auto value = digitsValue(text);
    if (!value || *value > highest)
        return std::nullopt;
    return static_cast<int>(*value);
}

bool readAddress(Exchange &exchange, quint8 code, const QString &name,
                 std::optional<OctetTexts> &out)
{
    ParamValue value;
    if (!readParameter(exchange, 0, code, 0, value))
        return false;
    if (value.text.size() != 4) {
        exchange.ui().message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                              QStringLiteral("The headend's answer for the %1 is not four "
                                             "octets.")
                                  .arg(name));
        return false;
    }
    OctetTexts octets;
    for (int i = 0; i < 4; ++i)
        octets[static_cast<size_t>(i)] = octetText(static_cast<quint8>(value.text.at(i)));
    out = octets;
    return true;
}

bool entirelySelected(const QString &text, int selectionStart, int selectionLength)
{
    return selectionStart == 0 && selectionLength >= text.size();
}

// The address as the headend takes it: first octet in the most significant byte. The value
// goes out as all 32 bits, so 192.168.1.20 reaches the headend as C0 A8 01 14.
std::optional<qint64> addressValue(const OctetTexts &octets)
{
    qint64 value = 0;
    for (const QString &text : octets) {
        const auto octet = wholeNumber(text.trimmed(), highestOctet);
        if (!octet)
            return std::nullopt;
        value = value << 8 | *octet;
    }
    return value;
}

QString dotted(const OctetTexts &octets)
{
    QStringList parts;
    for (const QString &text : octets)
        parts.append(QString::number(*wholeNumber(text.trimmed(), highestOctet)));
    return parts.join(QLatin1Char('.'));
}

} // namespace

bool gatewaySupported(const QByteArray &controllerVersion)
{
    return compareText(controllerVersion, "1.03") >= 0;
}

QString octetText(int value)
{
    return QStringLiteral("%1").arg(value, octetDigits, 10, QLatin1Char('0'));
}

bool readLanSettings(Exchange &exchange, const QByteArray &controllerVersion, LanReading &reading)
{
    reading = {};
    if (!readAddress(exchange, param::readIpAddress, QStringLiteral("IP-Adress"), reading.ip) ||
        !readAddress(exchange, param::readSubnetMask, QStringLiteral("Subnet-Mask"),
                     reading.subnet))
        return false;
    if (gatewaySupported(controllerVersion) &&
        !readAddress(exchange, param::readGateway, QStringLiteral("Gateway"), reading.gateway))
        return false;
    ParamValue port;
    if (!readParameter(exchange, 0, param::readPort, 0, port))
        return false;
    // The headend reports its port as a signed 16-bit number; 40000 arrives as -25536.
    reading.port = QString::number(static_cast<quint16>(port.toInt()));
    return true;
}

void showLanAttention(UserInterface &ui)
{
    ui.message(UserInterface::Icon::Exclamation, QStringLiteral("Attention"),
               QStringLiteral("                           Attention!!!                          "
                              "\r\nPlease change these settings carefully as you may not be able"
                              "\r\n   to reconnect to the headend when using improper values!"));
}

KeyDecision octetKey(int box, const QString &text, int selectionStart, int selectionLength,
                     QChar typed)
{
    const bool hasNext = box < 3;
    if (typed == backspace)
        return {true, false};
    if (typed == QLatin1Char('.'))
        return {false, hasNext};
    if (typed < QLatin1Char('0') || typed > QLatin1Char('9'))
        return {};
    if (text.size() >= octetDigits && !entirelySelected(text, selectionStart, selectionLength))
        return {};
    switch (selectionStart) {
    case 0:
        return {typed <= QLatin1Char('2'), false};
    case 1:
        return {!text.startsWith(QLatin1Char('2')) || typed <= QLatin1Char('5'), false};
    case 2: {
        const bool taken = !text.startsWith(QLatin1String("25")) || typed <= QLatin1Char('5');
        return {taken, taken && hasNext};
    }
    default:
        return {true, false};
    }
}

KeyDecision portKey(const QString &text, int selectionStart, int selectionLength, QChar typed)
{
    if (typed == backspace)
        return {true, false};
    if (typed < QLatin1Char('0') || typed > QLatin1Char('9'))
        return {};
    return {text.size() < portDigits || entirelySelected(text, selectionStart, selectionLength),
            false};
}

std::optional<QString> checkOctet(UserInterface &ui, const QString &text)
{
    const auto value = wholeNumber(text.trimmed(), highestOctet);
    if (!value) {
        ui.message(UserInterface::Icon::Critical, inputErrorTitle, octetRangeText);
        return std::nullopt;
    }
    return octetText(*value);
}

bool checkPort(UserInterface &ui, const QString &text)
{
    const QString digits = text.trimmed();
    if (!digitsValue(digits)) {
        ui.message(UserInterface::Icon::Critical, inputErrorTitle, portRangeText);
        return false;
    }
    if (!wholeNumber(digits, highestPort)) {
        ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                   QStringLiteral("Max. value 65535"));
        return false;
    }
    return true;
}

bool saveLanSettings(Exchange &exchange, const QByteArray &controllerVersion,
                     const LanSettingsInput &input, ShellState &shell)
{
    UserInterface &ui = exchange.ui();
    const bool withGateway = gatewaySupported(controllerVersion);
    struct Row {
        const OctetTexts *octets;
        QString name;
        quint8 code;
        std::optional<qint64> value;
    };
    QList<Row> rows{{&input.ip, QStringLiteral("IP-Adress"), param::ipAddress, {}},
                    {&input.subnet, QStringLiteral("Subnet-Mask"), param::subnetMask, {}}};
    if (withGateway)
        rows.append({&input.gateway, QStringLiteral("Gateway"), param::gateway, {}});
    const QString nothingSent = QStringLiteral("\rNothing was sent to the headend.");
    for (Row &row : rows) {
        row.value = addressValue(*row.octets);
        if (!row.value) {
            ui.message(UserInterface::Icon::Critical, inputErrorTitle,
                       row.name + QStringLiteral(": ") + octetRangeText + nothingSent);
            return false;
        }
    }
    // Nobody can connect to port 0: a headend told to listen there would lock the operator out.
    const auto port = wholeNumber(input.port.trimmed(), highestPort);
    if (!port || *port == 0) {
        ui.message(UserInterface::Icon::Critical, inputErrorTitle,
                   QStringLiteral("Port: Please enter a number between 1 and 65535!") +
                       nothingSent);
        return false;
    }

    if (!setParameter(exchange, 0, param::ipAddress, *rows[0].value))
        return false;
    shell.activeHeadendIp = dotted(input.ip);
    shell.activeHeadendPort = QString::number(*port);
    for (qsizetype i = 1; i < rows.size(); ++i) {
        if (!setParameter(exchange, 0, rows[i].code, *rows[i].value))
            return false;
    }
    return setParameter(exchange, 0, param::port, qint64{*port}) &&
           setParameter(exchange, 0, param::restart, qint64{0});
}

} // namespace keldor
