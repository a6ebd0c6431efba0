#include "model/settingsfile.h"

#include "common/fileaccess.h"
#include "common/textutil.h"
#include "common/userinterface.h"

#include <QDir>
#include <QSaveFile>
#include <QtEndian>

#include <array>
#include <bit>
#include <cmath>

namespace keldor {

namespace {

const QString saveTitle = QStringLiteral("Save Settings");
const QString loadTitle = QStringLiteral("Load Settings");
const QString nothingSent = QStringLiteral("\rNothing was sent to the headend.");
constexpr int reservedAt = 22;
constexpr int serviceIdsAt = 48;

// Little-endian writer over a fixed-size record; the offsets are the file format.
class RecordWriter {
public:
    explicit RecordWriter(qsizetype size)
        : m_bytes(size, '\0')
    {}
    void put8(int at, quint8 v) { m_bytes[at] = static_cast<char>(v); }
    void put16(int at, qint16 v) { qToLittleEndian(v, m_bytes.data() + at); }
    void putFloat(int at, float v)
    {
        qToLittleEndian(std::bit_cast<quint32>(v), m_bytes.data() + at);
    }
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

class RecordReader {
public:
    explicit RecordReader(QByteArrayView bytes)
        : m_data(reinterpret_cast<const uchar *>(bytes.data()))
    {}
    quint8 get8(int at) const { return m_data[at]; }
    qint16 get16(int at) const { return qFromLittleEndian<qint16>(m_data + at); }
    float getFloat(int at) const
    {
        return std::bit_cast<float>(qFromLittleEndian<quint32>(m_data + at));
    }

private:
    const uchar *m_data;
};

// The first thirteen fields, common to both file forms.
void encodeSettingsHead(RecordWriter &w, const ChannelRecord &r)
{
    w.put8(0, r.polarisation);
    w.put16(1, r.inFrequency);
    w.put16(3, r.loFrequency);
    w.put16(5, r.inSymbolrate);
    w.putFloat(7, r.outFrequency);
    w.put8(11, r.bandwidth);
    w.put8(12, r.qam);
    w.put16(13, r.outSymbolrate);
    w.put8(15, r.spectrum);
    w.put8(16, r.attenuation);
    w.put8(17, r.opmode);
    w.put8(18, r.outputOn);
    w.put8(19, r.loMode);
}

void decodeSettingsHead(const RecordReader &in, ChannelRecord &r)
{
    r.polarisation = in.get8(0);
    r.inFrequency = in.get16(1);
    r.loFrequency = in.get16(3);
    r.inSymbolrate = in.get16(5);
    r.outFrequency = in.getFloat(7);
    r.bandwidth = in.get8(11);
    r.qam = in.get8(12);
    r.outSymbolrate = in.get16(13);
    r.spectrum = in.get8(15);
    r.attenuation = in.get8(16);
    r.opmode = in.get8(17);
    r.outputOn = in.get8(18);
    r.loMode = in.get8(19);
}

ChannelRecord decodeSettingsRecord(QByteArrayView bytes)
{
    const RecordReader in(bytes);
    ChannelRecord r;
    decodeSettingsHead(in, r);
    r.serviceCount = in.get8(20);
    r.serviceMode = in.get8(21);
    for (int i = 0; i < reservedBytes; ++i)
        r.reserved[i] = in.get8(reservedAt + i);
    for (int i = 0; i < serviceIdCapacity; ++i)
        r.serviceIds[i] = in.get16(serviceIdsAt + 2 * i);
    return r;
}

// Why a decoded record can't go to the headend: the full write sends every field as it is. A
// position beyond one of the program's lists is what a headend held when the file was saved
// and goes back unchanged; a frequency that is no number, or more IDs than a record holds,
// no headend has.
std::optional<QString> damage(const ChannelRecord &r, int ch)
{
    const QString channel = QStringLiteral("channel") + numberText(ch + 1);
    // The record has room for 100 IDs; a larger count would make the full write send IDs that
    // aren't there.
    if (r.serviceCount > serviceIdCapacity)
        return channel + QStringLiteral(" lists") + numberText(r.serviceCount) +
               QStringLiteral(" services, a channel holds at most 100.");
    if (!std::isfinite(r.outFrequency))
        return channel + QStringLiteral(" has out_frequency %1, which is no frequency.")
                             .arg(double(r.outFrequency));
    return std::nullopt;
}

QString wrongSize(qint64 size)
{
    return QStringLiteral("it has %1 bytes; a settings file has 3968 bytes (240 in the old form).")
        .arg(size);
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

QByteArray encodeSettingsRecord(const ChannelRecord &record)
{
    RecordWriter w(settingsRecordSize);
    encodeSettingsHead(w, record);
    w.put8(20, record.serviceCount);
    w.put8(21, record.serviceMode);
    for (int i = 0; i < reservedBytes; ++i)
        w.put8(reservedAt + i, record.reserved[i]);
    for (int i = 0; i < serviceIdCapacity; ++i)
        w.put16(serviceIdsAt + 2 * i, record.serviceIds[i]);
    return w.bytes();
}

QByteArray encodeSettings(const std::array<ChannelRecord, channelCount> &channels)
{
    QByteArray image;
    image.reserve(settingsFileSize);
    for (const ChannelRecord &record : channels)
        image.append(encodeSettingsRecord(record));
    return image;
}

std::optional<QString> decodeSettings(const QByteArray &image,
                                      std::array<ChannelRecord, channelCount> &channels)
{
    // Decoded into a copy first: a refused file must not leave half a table behind.
    std::array<ChannelRecord, channelCount> decoded = channels;
    int recordsInFile = 0;
    if (image.size() == oldSettingsFileSize) {
        recordsInFile = oldRecordCount;
        for (int ch = 0; ch < oldRecordCount; ++ch)
            decodeSettingsHead(RecordReader(QByteArrayView(image).sliced(ch * oldRecordSize)),
                               decoded[ch]);
        for (ChannelRecord &record : decoded) {
            record.serviceCount = 0;
            record.serviceMode = 0;
        }
    } else if (image.size() == settingsFileSize) {
        recordsInFile = channelCount;
        for (int ch = 0; ch < channelCount; ++ch)
            decoded[ch] = decodeSettingsRecord(
                QByteArrayView(image).sliced(ch * settingsRecordSize, settingsRecordSize));
    } else {
        return wrongSize(image.size());
    }
    for (int ch = 0; ch < recordsInFile; ++ch) {
        if (const auto problem = damage(decoded[ch], ch))
            return QStringLiteral("it is damaged: ") + *problem;
    }
    channels = decoded;
    return std::nullopt;
}

QString settingsFileName(const QString &chosen)
{
    return chosen.endsWith(QLatin1String(".kdr"), Qt::CaseSensitive)
               ? chosen
               : chosen + QLatin1String(".kdr");
}

QString reportFileName(const QString &settingsFile)
{
    return settingsFile.chopped(qMin<qsizetype>(4, settingsFile.size())) + QLatin1String(".rtf");
}

bool saveSettingsFile(UserInterface &ui, const QString &path, UnitData &unit)
{
    QSaveFile file(path);
    const QByteArray image = encodeSettings(unit.channels);
    // QSaveFile::commit() puts the file in place even when its buffered bytes could not all be
    // written (a full disk); unbuffered, a short write shows at once, and the flush is checked.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(image) != image.size() || !file.flush() || !file.commit()) {
        ui.message(UserInterface::Icon::Critical, saveTitle,
                   QStringLiteral("The settings could not be saved as %1:\r%2\rAn existing file "
                                  "of that name is unchanged.")
                       .arg(shown(path), file.errorString()));
        return false;
    }
    unit.settingsFileName = path;
    return true;
}

std::variant<SettingsFormat, QString>
readSettingsFile(const QString &path, std::array<ChannelRecord, channelCount> &channels)
{
    const auto unreadable = [&](const QString &reason) {
        return QStringLiteral("The settings file %1 can't be read:\r%2").arg(shown(path), reason) +
               nothingSent;
    };
    // Anything larger than a settings file is refused below anyway; one byte more than the
    // largest form is enough to tell.
    const auto read = readFileStart(path, settingsFileSize + 1);
    if (const auto *problem = std::get_if<QString>(&read))
        return unreadable(*problem);
    const auto &[image, size] = std::get<FileStart>(read);
    if (size != image.size()) // larger than any settings file; only its start was read
        return QStringLiteral("%1 is no usable KELDOR settings file: ").arg(shown(path)) +
               wrongSize(size) + nothingSent;
    if (const auto problem = decodeSettings(image, channels))
        return QStringLiteral("%1 is no usable KELDOR settings file: ").arg(shown(path)) +
               *problem + nothingSent;
    return image.size() == oldSettingsFileSize ? SettingsFormat::Old : SettingsFormat::Current;
}

std::optional<SettingsFormat> loadSettingsFile(UserInterface &ui, const QString &path,
                                               UnitData &unit)
{
    const auto read = readSettingsFile(path, unit.channels);
    if (const auto *problem = std::get_if<QString>(&read)) {
        ui.message(UserInterface::Icon::Critical, loadTitle, *problem);
        return std::nullopt;
    }
    unit.settingsFileName = path;
    return std::get<SettingsFormat>(read);
}

} // namespace keldor
