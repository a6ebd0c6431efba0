#include "channels/keyfilters.h"

namespace keldor {

namespace {

bool is_digit(QChar key)
{
    return key >= QLatin1Char('0') && key <= QLatin1Char('9');
}

bool room_for_digit(const QString &text, int selectionStart, int selectionLength, int width)
{
    return text.size() < width || text.mid(selectionStart, selectionLength) == text;
}

} // namespace

bool key_filter_a(const QString &text, int selectionStart, int selectionLength, QChar key)
{
    if (is_digit(key))
        return room_for_digit(text, selectionStart, selectionLength, 5);
    return key == backspaceKey;
}

bool key_filter_b(const QString &text, int selectionStart, int selectionLength, QChar key,
                  int decimalSeparatorCode)
{
    if (is_digit(key))
        return room_for_digit(text, selectionStart, selectionLength, 6);
    if (key == QChar(decimalSeparatorCode))
        return !text.contains(key);
    return key == backspaceKey;
}

bool key_filter_c(const QString &text, int selectionStart, int selectionLength, QChar key)
{
    if (is_digit(key))
        return room_for_digit(text, selectionStart, selectionLength, 4);
    return key == backspaceKey;
}

} // namespace keldor
