#include "core/features/channels/keyfilters.h"

namespace keldor {

namespace {

bool isDigit(QChar key)
{
    return key >= QLatin1Char('0') && key <= QLatin1Char('9');
}

bool roomForDigit(const QString &text, int selectionStart, int selectionLength, int width)
{
    return text.size() < width || text.mid(selectionStart, selectionLength) == text;
}

} // namespace

bool acceptsFiveDigitKey(const QString &text, int selectionStart, int selectionLength, QChar key)
{
    if (isDigit(key))
        return roomForDigit(text, selectionStart, selectionLength, 5);
    return key == backspaceKey;
}

bool acceptsFrequencyKey(const QString &text, int selectionStart, int selectionLength, QChar key,
                         int decimalSeparatorCode)
{
    if (isDigit(key))
        return roomForDigit(text, selectionStart, selectionLength, 6);
    if (key == QChar(decimalSeparatorCode))
        return !text.contains(key);
    return key == backspaceKey;
}

bool acceptsFourDigitKey(const QString &text, int selectionStart, int selectionLength, QChar key)
{
    if (isDigit(key))
        return roomForDigit(text, selectionStart, selectionLength, 4);
    return key == backspaceKey;
}

} // namespace keldor
