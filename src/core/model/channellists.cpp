#include "core/model/channellists.h"

#include "core/common/textutil.h"

#include <QLocale>

#include <cmath>

namespace keldor::lists {

const QStringList &polarisation()
{
    static const QStringList entries{"SAT 1", "SAT 2", "SAT 3", "SAT 4", "SAT"};
    return entries;
}

const QStringList &lo()
{
    static const QStringList entries{"AUTO", "09750", "10600", "OTHER"};
    return entries;
}

const QStringList &bandwidth()
{
    static const QStringList entries{"7 MHz", "8 MHz"};
    return entries;
}

const QStringList &qam()
{
    static const QStringList entries{"QAM-4", "QAM-16", "QAM-32", "QAM-64", "QAM-128", "QAM-256"};
    return entries;
}

const QStringList &attenuation()
{
    static const QStringList entries = [] {
        QStringList out{"0dB"};
        for (int db = 1; db <= 12; ++db)
            out.append(QStringLiteral("-%1dB").arg(db));
        return out;
    }();
    return entries;
}

const QStringList &spectrum()
{
    static const QStringList entries{"Normal", "Invers"};
    return entries;
}

const QStringList &opmode()
{
    static const QStringList entries{"Normal", "Single", "Zero"};
    return entries;
}

const QStringList &tunerStatus()
{
    static const QStringList entries = [] {
        QStringList out(13);
        out[0] = QStringLiteral("Tuner unlocked");
        out[1] = QStringLiteral("Tuner Locked");
        out[2] = QStringLiteral("No Signal");
        out[9] = QStringLiteral("Status Unknown");
        out[12] = QStringLiteral("I2C NOACKE");
        return out;
    }();
    return entries;
}

} // namespace keldor::lists

namespace keldor {

QString tunerStateText(int code)
{
    constexpr int unlocked = 0;
    constexpr int locked = 1;
    constexpr int unknown = 9;
    constexpr int i2cError = 12;
    const bool named = code == unlocked || code == locked || code == i2cError;
    return lists::tunerStatus().at(named ? code : unknown);
}

QString listEntry(const QStringList &list, int position)
{
    return list.value(position);
}

QString formatWhole(qint64 value)
{
    return value == 0 ? QString() : QString::number(value);
}

QString loText(quint8 loMode, qint16 loFrequency)
{
    return loMode == 0 ? QStringLiteral("AUTO") : formatWhole(loFrequency);
}

QString formatFrequency(double megahertz)
{
    const double rounded = std::round(megahertz * 100.0) / 100.0;
    QString text = QString::number(std::abs(rounded), 'f', 2);
    if (text.startsWith(QLatin1String("0.")))
        text.remove(0, 1);
    text.replace(QLatin1Char('.'), QChar(decimalSeparatorCode()));
    return rounded < 0 ? QLatin1Char('-') + text : text;
}

} // namespace keldor
