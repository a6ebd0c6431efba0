#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>

namespace sim {

// A service that the tuner found in its transponder.
struct InputService {
    QString name;
    quint16 id = 0;
};

// What the satellite tuner of one channel reports; only the front panel could change it.
struct Tuner {
    qint16 status = 1; // 1 = locked, 0 = unlocked, 12 = I2C error
    qint16 noSignal = 0;
    float dataRate = 38.0f;  // Mbit/s
    qint32 bitErrors = 2345; // per 10^7 bits
    qint32 snrTenths = 105;
};

struct Channel {
    quint8 polarisation = 0;
    qint16 inFrequency = 10744;
    qint16 loFrequency = 9750;
    qint16 inSymbolrate = 22000;
    float outFrequency = 114.0f;
    quint8 bandwidth = 1; // 8 MHz
    quint8 qam = 5;       // QAM-256
    qint16 outSymbolrate = 6900;
    quint8 spectrum = 0;
    quint8 attenuation = 0;
    quint8 opmode = 0;
    quint8 outputOn = 1;
    quint8 loMode = 0;
    // The output selection: 0 = every service passes, 1 = only the listed ones, 128 = all but
    // the listed ones.
    quint8 serviceMode = 0;
    QList<quint16> serviceIds;

    Tuner tuner;
    QList<InputService> inputServices;
};

struct Identity {
    QString deviceType = QStringLiteral("KELDOR QAM");
    qint32 serialNumber = 123456;
    QString hardwareVersion = QStringLiteral("1.00");
    QString controllerVersion = QStringLiteral("1.05");
    QString fpgaVersion = QStringLiteral("1.06");
    quint8 polarisationSupported = 1;
    quint8 variant = 0; // 0 = 12 channels, 1 = 8, 2 = 10, anything else = 16
};

struct Diagnostics {
    // Temperatures travel as the value plus 16, so they are kept in that form.
    quint8 maxTemperatureRaw = 16 + 58;
    quint8 actualTemperatureRaw = 16 + 41;
    qint32 hoursTotal = 8760;
    qint32 hoursCritical = 12;
    // Lock bits, eye value, clipping and ASI states, one byte each (8 bytes).
    QByteArray status = QByteArray::fromHex("F5000000FFFFFFFF");
    quint8 resetCount = 0;
    quint8 fan = 0;
};

struct Lan {
    std::array<quint8, 4> ip{192, 168, 1, 20};
    std::array<quint8, 4> mask{255, 255, 255, 0};
    std::array<quint8, 4> gateway{192, 168, 1, 1};
    std::array<quint8, 6> mac{0x00, 0x1B, 0x4C, 0x02, 0x10, 0x2A};
    quint16 port = 5000;
};

constexpr int MaxChannels = 16;

struct DeviceState {
    DeviceState();

    int channelCount() const;

    Identity identity;
    Diagnostics diagnostics;
    Lan lan;
    std::array<Channel, MaxChannels> channels;
};

// Maps a channel count given on the command line to the variant code the device reports.
std::optional<quint8> variantForChannelCount(int count);

} // namespace sim
