#include "core/features/health/inventory.h"

#include "core/common/textutil.h"
#include "core/model/unitdata.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

namespace keldor {

namespace {

const QStringList &csvHeads()
{
    static const QStringList heads{"headend",          "device_type",        "serial_number",
                                   "hardware_version", "controller_version", "fpga_version",
                                   "channels"};
    return heads;
}

// A spreadsheet runs a cell that starts like a formula; a device type read from the headend
// must stay a text however it begins, so such a text gets the apostrophe that marks a text.
QString csvText(const QString &text)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    QString field =
        !text.isEmpty() && formulaStarts.contains(text.front()) ? QLatin1Char('\'') + text : text;
    static const QString needsQuotes = QStringLiteral(",\"\r\n");
    if (std::any_of(field.cbegin(), field.cend(),
                    [](QChar c) { return needsQuotes.contains(c); })) {
        field.replace(QLatin1Char('"'), QLatin1String("\"\""));
        field = QLatin1Char('"') + field + QLatin1Char('"');
    }
    return field;
}

QStringList tableRow(const InventoryRecord &record)
{
    return {record.headend,
            record.deviceType,
            QString::number(record.serialNumber),
            record.hardwareVersion,
            record.controllerVersion,
            record.fpgaVersion,
            QString::number(record.channelCount)};
}

} // namespace

InventoryRecord inventoryRecord(const QString &headend, const UnitData &unit)
{
    return {headend,
            fromCp1252(unit.identity.deviceType),
            unit.identity.serialNumber,
            fromCp1252(unit.identity.hardwareVersion),
            fromCp1252(unit.identity.controllerVersion),
            fromCp1252(unit.identity.fpgaVersion),
            unit.channelsInUse()};
}

QString inventoryTable(const QList<InventoryRecord> &records)
{
    QList<QStringList> rows{
        {"NAME", "DEVICE TYPE", "SERIAL", "HARDWARE", "CONTROLLER", "FPGA", "CHANNELS"}};
    for (const InventoryRecord &record : records)
        rows.append(tableRow(record));
    const bool named = std::any_of(records.cbegin(), records.cend(),
                                   [](const InventoryRecord &r) { return !r.headend.isEmpty(); });
    const qsizetype first = named ? 0 : 1;
    // Every row has the heading's columns; cells and widths are walked side by side.
    QList<qsizetype> widths(rows.first().size(), 0);
    for (const QStringList &row : rows)
        std::transform(
            row.cbegin(), row.cend(), widths.cbegin(), widths.begin(),
            [](const QString &cell, qsizetype width) { return std::max(width, cell.size()); });
    QString text;
    for (const QStringList &row : rows) {
        QStringList cells;
        std::transform(
            row.cbegin() + first, row.cend(), widths.cbegin() + first, std::back_inserter(cells),
            [](const QString &cell, qsizetype width) { return cell.leftJustified(width + 2); });
        text += cells.join(QString()).trimmed() + QLatin1Char('\n');
    }
    return text;
}

QString inventoryCsv(const QList<InventoryRecord> &records)
{
    QString text = csvHeads().join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const InventoryRecord &record : records) {
        const QStringList fields{csvText(record.headend),
                                 csvText(record.deviceType),
                                 QString::number(record.serialNumber),
                                 csvText(record.hardwareVersion),
                                 csvText(record.controllerVersion),
                                 csvText(record.fpgaVersion),
                                 QString::number(record.channelCount)};
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return text;
}

QJsonObject inventoryJson(const InventoryRecord &record)
{
    const QStringList &heads = csvHeads();
    return {{heads.at(0), record.headend},           {heads.at(1), record.deviceType},
            {heads.at(2), record.serialNumber},      {heads.at(3), record.hardwareVersion},
            {heads.at(4), record.controllerVersion}, {heads.at(5), record.fpgaVersion},
            {heads.at(6), record.channelCount}};
}

} // namespace keldor
