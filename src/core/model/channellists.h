#pragma once

#include <QString>
#include <QStringList>

namespace keldor {

// The entries of the channel column's lists. The position of an entry is what the model
// holds and the headend receives, except for the QAM list whose entries carry their code.
namespace lists {
const QStringList &polarisation(); // "SAT 1".."SAT 4", "SAT"
const QStringList &lo();           // "AUTO", "09750", "10600", "OTHER"
const QStringList &bandwidth();    // "7 MHz", "8 MHz"
const QStringList &qam();          // "QAM-4".."QAM-256", index = QAM code
const QStringList &attenuation();  // "0dB".."-12dB"
const QStringList &spectrum();     // "Normal", "Invers"
const QStringList &opmode();       // "Normal", "Single", "Zero"
// Tuner state texts by state code 0..12; codes without a text give an empty text.
const QStringList &tunerStatus();
} // namespace lists

// The name of a tuner state code (0x60) as the channel window shows it: "Tuner unlocked" for 0,
// "Tuner Locked" for 1, "I2C NOACKE" for 12 and "Status Unknown" for every other code.
QString tunerStateText(int code);

// The list entry at a position, or an empty text when the headend reported a position the
// list doesn't have.
QString listEntry(const QStringList &list, int position);

// "#####": the whole number without leading zeros; zero shows as an empty text.
QString formatWhole(qint64 value);
// What the LO box shows: "AUTO" in the automatic mode, else the oscillator in MHz.
QString loText(quint8 loMode, qint16 loFrequency);
// "###.00": two decimals with the user's decimal separator, no leading zero before it.
QString formatFrequency(double megahertz);

// What one channel column shows, as texts: the report and keldor-ctl take them from here, the
// window from its controls.
struct ChannelTexts {
    QString status;
    QString ber;
    QString snr;
    QString polarisation;
    QString inFrequency;
    QString lo;
    QString inSymbolrate;
    bool outputOn = false;
    QString opmode;
    QString outFrequency;
    QString bandwidth;
    QString qam;
    QString outSymbolrate;
    QString spectrum;
    QString attenuation;
};

// The device block of the channel window.
struct DeviceTexts {
    QString deviceType;
    QString serialNumber;
    QString hardwareVersion;
    QString controllerVersion;
    QString fpgaVersion;
};

} // namespace keldor
