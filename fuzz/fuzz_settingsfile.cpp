// The settings-file loader with arbitrary file contents of every length, the two valid ones
// most of all: a file is either refused with a reason and changes nothing, or loaded so that
// saving it again gives back the same bytes, what it filled in is what the channel lists offer,
// and the loaded table goes out to the headend without reading past a record.

#include "fuzzsupport.h"

#include "channels/channellists.h"
#include "model/settingsfile.h"
#include "protocol/fullwrite.h"

#include "files.h"

#include <cmath>

using namespace keldor;

namespace {

// A table that differs from anything a file decodes to by chance.
UnitData marked_unit()
{
    UnitData unit;
    for (ChannelRecord &record : unit.channels) {
        record.qam = 0xEE;
        record.service_count = 0xEE;
        record.service_ids.fill(-7);
    }
    return unit;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    static const QString path = scratch_folder() + QStringLiteral("/fuzz.kdr");
    FuzzedDataProvider data(input, size);
    // Most inputs are stretched to one of the two sizes a settings file can have.
    const qsizetype sizes[] = {-1, oldSettingsFileSize, settingsFileSize};
    const qsizetype length = sizes[data.ConsumeIntegralInRange(0, 2)];
    const std::string rest = data.ConsumeRemainingBytesAsString();
    QByteArray image(rest.data(), qsizetype(rest.size()));
    if (length >= 0)
        image = image.leftJustified(length, '\0', true);

    expect(writeFile(path, image), "the input is on disk");

    RecordingUi ui;
    UnitData unit = marked_unit();
    const UnitData before = unit;
    const auto format = load_settings_file(ui, path, unit);
    if (!format) {
        expect(unit.channels == before.channels && unit.settings_file_name.isEmpty(),
               "a refused file changes nothing");
        expect(ui.messages.size() == 1 && !ui.messages.first().text.isEmpty(),
               "a refused file is explained");
        return 0;
    }
    expect(ui.messages.isEmpty(), "a loaded file says nothing");
    const QByteArray saved = encode_settings(unit.channels);
    if (*format == SettingsFormat::Current) {
        expect(image.size() == settingsFileSize && saved == image,
               "a file saves back to the same bytes");
    } else {
        expect(image.size() == oldSettingsFileSize, "the old form has its size");
        for (int ch = 0; ch < oldRecordCount; ++ch) {
            expect(saved.mid(ch * settingsRecordSize, oldRecordSize) ==
                       image.mid(ch * oldRecordSize, oldRecordSize),
                   "an old record keeps its fields");
        }
    }
    const int filled = *format == SettingsFormat::Current ? channelCount : oldRecordCount;
    for (int ch = 0; ch < filled; ++ch) {
        const ChannelRecord &r = unit.channels[ch];
        expect(std::isfinite(r.out_frequency), "a loaded output frequency is a number");
        expect(r.polarisation < lists::polarisation().size() &&
                   r.bandwidth < lists::bandwidth().size() && r.qam < lists::qam().size() &&
                   r.spectrum < lists::spectrum().size() &&
                   r.attenuation < lists::attenuation().size() && r.opmode < lists::opmode().size(),
               "a loaded list position is in its list");
    }
    for (const ChannelRecord &record : unit.channels) {
        expect(record.service_count <= serviceIdCapacity, "no more services than a record holds");
        expect(bulk_channel_frame(record).size() == bulkChannelFrameSize, "a channel frame");
        expect(bulk_service_frame(record).size() == 2 * record.service_count, "its service IDs");
    }
    return 0;
}
