#pragma once

#include "devicestate.h"

#include <QJsonObject>
#include <QString>

namespace sim {

// Overlays the keys present in json onto state; keys left out keep their values. Unknown keys and
// values that don't fit their field are refused, naming the offending key.
bool loadState(const QJsonObject &json, DeviceState &state, QString *error);
QJsonObject saveState(const DeviceState &state);

bool loadStateFile(const QString &path, DeviceState &state, QString *error);
bool saveStateFile(const QString &path, const DeviceState &state, QString *error);

} // namespace sim
