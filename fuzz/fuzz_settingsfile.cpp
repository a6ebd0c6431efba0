// Settings files of any contents, mostly of the two valid sizes: refused with a reason and no
// change, or loaded so that they save back to the same bytes (list positions beyond the lists
// kept, as a headend may have held them), sent without overread.

#include "fuzzsupport.h"

#include "core/model/fullwrite.h"
#include "core/model/settingsfile.h"

#include "files.h"

#include <array>
#include <cmath>

using namespace keldor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    static const QString path = scratchFolder() + QStringLiteral("/fuzz.kdr");
    FuzzedDataProvider data(input, size);
    const qsizetype length = std::array<qsizetype, 3>{-1, oldSettingsFileSize, settingsFileSize}.at(
        size_t(data.ConsumeIntegralInRange(0, 2)));
    const QByteArray rest = QByteArray::fromStdString(data.ConsumeRemainingBytesAsString());
    const QByteArray image = length < 0 ? rest : rest.leftJustified(length, '\0', true);
    expect(writeFile(path, image), "the input is on disk");

    RecordingUi ui;
    UnitData unit; // marked, so that it differs from anything a file decodes to by chance
    for (ChannelRecord &record : unit.channels) {
        record.qam = record.serviceCount = 0xEE;
        record.serviceIds.fill(-7);
    }
    const UnitData before = unit;
    const auto format = loadSettingsFile(ui, path, unit);
    if (!format) {
        expect(unit.channels == before.channels && unit.settingsFileName.isEmpty() &&
                   ui.messages.size() == 1 && !ui.messages.first().text.isEmpty(),
               "a refused file changes nothing and is explained");
        return 0;
    }
    expect(ui.messages.isEmpty(), "a loaded file says nothing");
    const QByteArray saved = encodeSettings(unit.channels);
    const bool current = *format == SettingsFormat::Current;
    expect(image.size() == (current ? settingsFileSize : oldSettingsFileSize), "its size");
    expect(!current || saved == image, "a file saves back to the same bytes");
    for (int ch = 0; !current && ch < oldRecordCount; ++ch)
        expect(saved.mid(ch * settingsRecordSize, oldRecordSize) ==
                   image.mid(ch * oldRecordSize, oldRecordSize),
               "an old record keeps its fields");
    for (int ch = 0; ch < (current ? channelCount : oldRecordCount); ++ch)
        expect(std::isfinite(unit.channels[ch].outFrequency),
               "a loaded output frequency is a number");
    for (const ChannelRecord &record : unit.channels)
        expect(record.serviceCount <= serviceIdCapacity &&
                   bulkChannelFrame(record).size() == bulkChannelFrameSize &&
                   bulkServiceFrame(record).size() == 2 * record.serviceCount,
               "no more services than a record holds, a channel frame and its service IDs");
    return 0;
}
