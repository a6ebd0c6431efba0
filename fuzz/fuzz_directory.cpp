// The headend directory under arbitrary edits: rows added, changed with texts of any length and
// any characters, removed at positions that may not exist, and read back from the file. The
// rows shown must always be the rows in the file, and only values that fit their column get in.

#include "fuzzsupport.h"

#include "directory/directoryfile.h"
#include "directory/headenddirectory.h"

using namespace keldor;

namespace {

HeadendEntry entry(FuzzedDataProvider &data)
{
    return {utf8_text(data, 120), utf8_text(data, 120), utf8_text(data, 60), utf8_text(data, 8)};
}

bool fits(const HeadendEntry &entry)
{
    const auto values = columnValues(entry);
    for (size_t i = 0; i < values.size(); ++i)
        if (values[i].toUcs4().size() > directoryColumns[i].maxLength)
            return false;
    return true;
}

QList<HeadendEntry> shown(const HeadendDirectory &directory)
{
    QList<HeadendEntry> rows;
    for (int i = 0; i < directory.count(); ++i)
        rows.append(directory.row(i));
    return rows;
}

// One file for the whole run: each input starts from an empty table, so the file never grows
// and no input depends on the one before. It opens while it is made, so that it is gone at exit
// before the SQL driver it uses.
struct Store {
    Store()
    {
        expect(datenbank_anlegen(scratch_folder()) && directory.open(scratch_folder()),
               "a fresh directory file");
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
            const HeadendEntry values = entry(data);
            const bool refused = !lengthError(values).isEmpty();
            expect(refused == !fits(values), "only values longer than their column are refused");
            const bool updated = directory.update(index, values);
            expect(updated == (exists && !refused), "an update succeeds where it may");
            expect(updated || !directory.lastError().isEmpty(), "a refusal says why");
            if (updated)
                model[index] = values;
            break;
        }
        case 2: {
            const bool removed = directory.remove(index);
            expect(removed == exists, "a remove succeeds where there is a row");
            if (removed)
                model.removeAt(index);
            break;
        }
        case 3:
            expect(directory.row(index) == (exists ? model.at(index) : HeadendEntry{}),
                   "a row reads as it was written");
            break;
        default:
            expect(directory.open(scratch_folder()), "the file opens again");
            break;
        }
        expect(shown(directory) == model, "the rows shown are the rows written");
    }
    expect(directory.open(scratch_folder()) && shown(directory) == model,
           "the file holds the rows shown");
    return 0;
}
