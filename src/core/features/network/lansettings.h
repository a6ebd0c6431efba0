#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace keldor {

class Exchange;
class UserInterface;
struct ShellState;

// The four octet boxes of one address row, left to right, as they show ("192", "001", ...).
using OctetTexts = std::array<QString, 4>;

// Controller software from "1.03" on has a default gateway.
bool gatewaySupported(const QByteArray &controllerVersion);

// An octet as its box shows it: three digits with leading zeros.
QString octetText(int value);

// What was read, in reading order: a failed read leaves it and everything after it empty.
struct LanReading {
    std::optional<OctetTexts> ip;
    std::optional<OctetTexts> subnet;
    std::optional<OctetTexts> gateway; // only read when the controller has one
    std::optional<QString> port;       // plain decimal, 0..65535
};

// Reads address (0x91), mask (0x92), gateway (0xA1, when supported) and port (0x90). True
// when everything was read. An address answer that is not four octets is reported and ends
// the reading like a failed read.
bool readLanSettings(Exchange &exchange, const QByteArray &controllerVersion, LanReading &reading);

// The warning that follows a complete reading.
void showLanAttention(UserInterface &ui);

// What a key filter does with a typed character: take it into the box or drop it, and
// whether the focus moves on to the next box of the row (the character still goes into this
// one when it is taken).
struct KeyDecision {
    bool accept = false;
    bool focusNext = false;
    bool operator==(const KeyDecision &) const = default;
};

// Octet box `box` (0..3) holds `text` with the given selection; `typed` is the character, or
// QChar(8) for backspace.
KeyDecision octetKey(int box, const QString &text, int selectionStart, int selectionLength,
                     QChar typed);
KeyDecision portKey(const QString &text, int selectionStart, int selectionLength, QChar typed);

// The checks when a box loses the focus. A bad octet or port is reported and gives nothing
// (the window puts the focus back); a good octet comes back in its "000" form.
std::optional<QString> checkOctet(UserInterface &ui, const QString &text);
bool checkPort(UserInterface &ui, const QString &text);

struct LanSettingsInput {
    OctetTexts ip;
    OctetTexts subnet;
    OctetTexts gateway; // ignored when the controller has no gateway
    QString port;
};

// Writes address (0x8D), points the shell at the new address and port, writes mask (0x8E),
// gateway (0xA2, when supported) and port (0x8F), then has the headend restart with them
// (0x96). Every box must hold a number 0..255 and the port one of 1..65535, else nothing is
// sent. A failed write stops the sequence there. Returns after the restart command; waiting
// for the headend to come back is the caller's.
bool saveLanSettings(Exchange &exchange, const QByteArray &controllerVersion,
                     const LanSettingsInput &input, ShellState &shell);

} // namespace keldor
