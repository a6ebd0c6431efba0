#include "core/model/settingsfile.h"

#include "core/common/fileaccess.h"
#include "core/common/textutil.h"
#include "core/common/userinterface.h"

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

// The fields of a record by their offset, little-endian; encoding and decoding walk the same
// lists. The head's thirteen fields are common to both file forms.
template<typename Record, typename Field> void headFields(Record &r, Field &&field)
{
    field(0, r.polarisation);
    field(1, r.inFrequency);
    field(3, r.loFrequency);
    field(5, r.inSymbolrate);
    field(7, r.outFrequency);
    field(11, r.bandwidth);
    field(12, r.qam);
    field(13, r.outSymbolrate);
    field(15, r.spectrum);
    field(16, r.attenuation);
    field(17, r.opmode);
    field(18, r.outputOn);
    field(19, r.loMode);
}

template<typename Record, typename Field> void tailFields(Record &r, Field &&field)
{
    field(20, r.serviceCount);
    field(21, r.serviceMode);
    // Checked access: a loop bound that strayed past the arrays would throw here rather than
    // read or write beyond the record.
    for (int i = 0; i < reservedBytes; ++i)
        field(reservedAt + i, r.reserved.at(static_cast<size_t>(i)));
    for (int i = 0; i < serviceIdCapacity; ++i)
        field(serviceIdsAt + 2 * i, r.serviceIds.at(static_cast<size_t>(i)));
}

template<typename T> void put(QByteArray &bytes, int at, T value)
{
    if constexpr (std::is_same_v<T, float>)
        qToLittleEndian(std::bit_cast<quint32>(value), bytes.data() + at);
    else
        qToLittleEndian(value, bytes.data() + at);
}

template<typename T> void get(QByteArrayView bytes, int at, T &value)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.data()) + at;
    if constexpr (std::is_same_v<T, float>)
        value = std::bit_cast<float>(qFromLittleEndian<quint32>(data));
    else
        value = qFromLittleEndian<T>(data);
}

void decodeSettingsHead(QByteArrayView bytes, ChannelRecord &r)
{
    headFields(r, [bytes](int at, auto &field) { get(bytes, at, field); });
}

ChannelRecord decodeSettingsRecord(QByteArrayView bytes)
{
    ChannelRecord r;
    const auto getField = [bytes](int at, auto &field) {
        get(bytes, at, field);
    };
    headFields(r, getField);
    tailFields(r, getField);
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
    QByteArray bytes(settingsRecordSize, '\0');
    const auto putField = [&bytes](int at, auto value) {
        put(bytes, at, value);
    };
    headFields(record, putField);
    tailFields(record, putField);
    return bytes;
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
    // Decoded into a copy first: a refused file must not leave half a table behind. Checked
    // access keeps every record loop inside the table.
    std::array<ChannelRecord, channelCount> decoded = channels;
    int recordsInFile = 0;
    if (image.size() == oldSettingsFileSize) {
        recordsInFile = oldRecordCount;
        for (int ch = 0; ch < oldRecordCount; ++ch)
            decodeSettingsHead(QByteArrayView(image).sliced(ch * oldRecordSize), decoded.at(ch));
        for (ChannelRecord &record : decoded) {
            record.serviceCount = 0;
            record.serviceMode = 0;
        }
    } else if (image.size() == settingsFileSize) {
        recordsInFile = channelCount;
        for (int ch = 0; ch < channelCount; ++ch)
            decoded.at(ch) = decodeSettingsRecord(
                QByteArrayView(image).sliced(ch * settingsRecordSize, settingsRecordSize));
    } else {
        return wrongSize(image.size());
    }
    for (int ch = 0; ch < recordsInFile; ++ch) {
        if (const auto problem = damage(decoded.at(ch), ch))
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
