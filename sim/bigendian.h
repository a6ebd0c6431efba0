#pragma once

#include <QByteArray>
#include <QtEndian>

#include <bit>

namespace sim {

inline QByteArray bigEndian16(quint16 value)
{
    QByteArray bytes(2, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

inline QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(value, bytes.data());
    return bytes;
}

inline QByteArray bigEndianFloat(float value)
{
    return bigEndian32(std::bit_cast<quint32>(value));
}

inline quint16 fromBigEndian16(const char *bytes)
{
    return qFromBigEndian<quint16>(bytes);
}

inline quint32 fromBigEndian32(const char *bytes)
{
    return qFromBigEndian<quint32>(bytes);
}

inline float fromBigEndianFloat(const char *bytes)
{
    return std::bit_cast<float>(fromBigEndian32(bytes));
}

} // namespace sim
