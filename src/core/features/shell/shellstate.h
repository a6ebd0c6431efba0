#pragma once

#include "core/features/shell/settingsstore.h"

#include <QString>

namespace keldor {

enum class ConnectionMode { Usb, Lan };

// What the update window loads.
inline constexpr quint8 updateTargetController = 132;
inline constexpr quint8 updateTargetQamFpga = 137;

// The process-wide state of the main window, with its values right after start-up.
struct ShellState {
    QString activeHeadendName = QStringLiteral("non"); // "non": no headend chosen
    QString activeHeadendIp = QStringLiteral("0.0.0.0");
    QString activeHeadendPort = QStringLiteral("80");
    qint16 proxyUse = 0; // only 1 sends the connection through the proxy
    QString proxyIp;
    QString proxyPort;
    bool expertMode = false;
    quint8 updateTarget = 0; // 0 until an update item is chosen
    ConnectionMode connectionMode = ConnectionMode::Usb;
    // The settings file the channel window edits without a headend; empty while it shows one.
    QString offlineFile;
};

// Restores the proxy values and the connection mode at start-up. Missing or unreadable values
// give the defaults.
void loadSettings(ShellState &state, const SettingsStore &store);

// The USB or LAN switch: sets the mode and stores both mode keys, the switched one first.
// False when the store could not be written; the mode is changed for this run all the same.
bool switchConnectionMode(ShellState &state, SettingsStore &store, ConnectionMode mode);

// Stores "Proxy-Use", "Proxy-IP" and "Proxy-Port", in this order.
bool saveProxySettings(const ShellState &state, SettingsStore &store);

// The headend model (channel count) the operator last prepared a settings file for; 12, the
// standard model, the first time or when the store holds no model.
int offlineModel(const SettingsStore &store);
bool saveOfflineModel(SettingsStore &store, int channels);

} // namespace keldor
