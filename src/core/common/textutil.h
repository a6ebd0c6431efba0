#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace keldor {

// The number-to-text conversion the operator's messages rely on: one blank before a
// non-negative number, a minus sign otherwise (7 -> " 7", -6 -> "-6").
QString numberText(qint64 value);

// Removes what must not reach the screen or a document from a text the headend sent:
// control characters, codes 129..158 and a blank in the first position. Returns the new length.
int filterText(QByteArray &text);

// The character code of the decimal separator of the user's number format (46 or 44).
int decimalSeparatorCode();

// A number typed by the operator or stored as text: blanks around it are ignored, the user's
// decimal separator and the point are both accepted. Empty or malformed text has no value.
std::optional<double> parseNumber(const QString &text);

// Whole number the way the rules take it: nearest integer, a half to the even neighbour;
// nothing when the text is no number or the result leaves the signed 16-bit range.
std::optional<qint16> wholeNumber16(const QString &text);

// Round half to even, as every conversion to a whole number in this program does.
double roundHalfEven(double value);

// Plain character-by-character comparison of version texts as the headend sends them.
int compareText(const QByteArray &a, const QByteArray &b);

// The first character of a name or an address that would not print as itself on a line of its
// own: a control or format character (an escape sequence, a bidirectional override, a zero-width
// space) or a line or paragraph separator. Nothing when every character prints.
std::optional<char32_t> unprintableCharacter(const QString &text);
// "the name holds U+001B, which can't be printed", for such a character in what.
QString unprintableText(const QString &what, char32_t character);

// Headend texts are single bytes in code page 1252.
QString fromCp1252(const QByteArray &text);

} // namespace keldor
