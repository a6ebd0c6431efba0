#include "core/common/textutil.h"

#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace keldor {

QString numberText(qint64 value)
{
    return value >= 0 ? QStringLiteral(" %1").arg(value) : QString::number(value);
}

int filterText(QByteArray &text)
{
    QByteArray kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto code = static_cast<unsigned char>(text.at(i));
        if (code < 32 || (code >= 129 && code <= 158) || (i == 0 && code == ' '))
            continue;
        kept.append(static_cast<char>(code));
    }
    text = kept;
    return static_cast<int>(text.size());
}

std::optional<char32_t> unprintableCharacter(const QString &text)
{
    for (const char32_t c : text.toUcs4()) {
        switch (QChar::category(c)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return c;
        default:
            break;
        }
    }
    return std::nullopt;
}

QString unprintableText(const QString &what, char32_t character)
{
    return QStringLiteral("%1 holds U+%2, which can't be printed")
        .arg(what,
             QString::number(uint(character), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

int decimalSeparatorCode()
{
    const QString one = QLocale().toString(1.0, 'f', 2);
    return one.size() > 1 ? one.at(1).unicode() : '.';
}

std::optional<double> parseNumber(const QString &text)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    const QChar separator(decimalSeparatorCode());
    if (separator != QLatin1Char('.'))
        t.replace(separator, QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double roundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode rounds halves to even
}

std::optional<qint16> wholeNumber16(const QString &text)
{
    const auto value = parseNumber(text);
    if (!value)
        return std::nullopt;
    const double rounded = roundHalfEven(*value);
    if (rounded < std::numeric_limits<qint16>::min() ||
        rounded > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(rounded);
}

int compareText(const QByteArray &a, const QByteArray &b)
{
    const int c = std::memcmp(a.constData(), b.constData(),
                              static_cast<size_t>(std::min(a.size(), b.size())));
    if (c != 0)
        return c < 0 ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

QString fromCp1252(const QByteArray &text)
{
    // 0x80..0x9F differ from Latin-1; everything else maps one to one.
    static constexpr std::array<char16_t, 32> high = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        out.append(code >= 0x80 && code <= 0x9F ? QChar(high[code - 0x80]) : QChar(code));
    }
    return out;
}

} // namespace keldor
