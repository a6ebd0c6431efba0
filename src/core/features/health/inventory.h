#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

namespace keldor {

struct UnitData;

// What an integrator lists about each headend: enough to order spares and plan updates.
struct InventoryRecord {
    QString headend; // the name it is known by; empty for a headend addressed only by its link
    QString deviceType;
    qint32 serialNumber = 0;
    QString hardwareVersion;
    QString controllerVersion;
    QString fpgaVersion;
    int channelCount = 0;
};

// From the identity block and the channel count a read left in unit.
InventoryRecord inventoryRecord(const QString &headend, const UnitData &unit);

// Columns padded to their widest entry; the name column only when some record has a name.
QString inventoryTable(const QList<InventoryRecord> &records);
// A header line and one line per record, fields quoted where they need it.
QString inventoryCsv(const QList<InventoryRecord> &records);
QJsonObject inventoryJson(const InventoryRecord &record);

} // namespace keldor
