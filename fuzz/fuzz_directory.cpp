// The headend directory under arbitrary edits at positions that may not exist, with texts of any
// length: the rows shown are always the rows in the file, and only values that fit get in.

#include "fuzzsupport.h"

#include "core/features/directory/directoryfile.h"
#include "core/features/directory/headenddirectory.h"

using namespace keldor;

namespace {

QList<HeadendEntry> shown(const HeadendDirectory &directory)
{
    QList<HeadendEntry> rows;
    for (int i = 0; i < directory.count(); ++i)
        rows.append(directory.row(i));
    return rows;
}

// One file for the whole run, opened when made so that it closes before the SQL driver goes.
struct Store {
    Store()
    {
        expect(createDirectoryFile(scratchFolder()) && directory.open(scratchFolder()), "a file");
    }
    HeadendDirectory directory;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    static Store store;
    HeadendDirectory &directory = store.directory;
    while (directory.count() > 0)
        expect(directory.remove(0), "emptying the table");

    FuzzedDataProvider data(input, size);
    QList<HeadendEntry> model;
    for (int step = 0; step < 12 && data.remaining_bytes() > 0; ++step) {
        const int index = data.ConsumeIntegralInRange<int>(-1, int(model.size()));
        const bool exists = index >= 0 && index < model.size();
        switch (data.ConsumeIntegralInRange(0, 4)) {
        case 0:
            expect(directory.appendEmpty() == model.size(), "a new row goes last");
            model.append(HeadendEntry{});
            break;
        case 1: {
            const HeadendEntry values{utf8Text(data, 120), utf8Text(data, 120), utf8Text(data, 60),
                                      utf8Text(data, 8)};
            bool fits = true;
            const auto columns = columnValues(values);
            for (size_t i = 0; i < columns.size(); ++i)
                fits = fits && columns[i].toUcs4().size() <= directoryColumns[i].maxLength;
            const bool refused = !lengthError(values).isEmpty();
            expect(refused == !fits, "only values longer than their column are refused");
            const bool updated = directory.update(index, values);
            expect(updated == (exists && !refused), "an update succeeds where it may");
            expect(updated || !directory.lastError().isEmpty(), "a refusal says why");
            if (updated)
                model[index] = values;
            break;
        }
        case 2:
            expect(directory.remove(index) == exists, "a remove succeeds where there is a row");
            if (exists)
                model.removeAt(index);
            break;
        case 3:
            expect(directory.row(index) == (exists ? model.at(index) : HeadendEntry{}),
                   "a row reads as it was written");
            break;
        default:
            expect(directory.open(scratchFolder()), "the file opens again");
            break;
        }
        expect(shown(directory) == model, "the rows shown are the rows written");
    }
    expect(directory.open(scratchFolder()) && shown(directory) == model, "the file holds them");
    return 0;
}
