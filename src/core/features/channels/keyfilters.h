#pragma once

#include <QChar>
#include <QString>

namespace keldor {

// The key filters of the column's number fields. A key is accepted or discarded given the
// field's text and its selection; typing over a selection of the whole text is always allowed.
constexpr QChar backspaceKey(8);

// A: five-digit input fields (transponder frequency, input symbol rate, LO).
bool acceptsFiveDigitKey(const QString &text, int selectionStart, int selectionLength, QChar key);
// B: output frequency, six characters with one decimal separator (its character code given).
bool acceptsFrequencyKey(const QString &text, int selectionStart, int selectionLength, QChar key,
                         int decimalSeparatorCode);
// C: output symbol rate, four digits.
bool acceptsFourDigitKey(const QString &text, int selectionStart, int selectionLength, QChar key);

} // namespace keldor
