#include "core/features/shell/shellstate.h"

#include "core/common/textutil.h"
#include "core/model/devicetype.h"

namespace keldor {

namespace {

const QString usbKey = QStringLiteral("USB-Control");
const QString lanKey = QStringLiteral("LAN-Control");
const QString proxyIpKey = QStringLiteral("Proxy-IP");
const QString proxyPortKey = QStringLiteral("Proxy-Port");
const QString proxyUseKey = QStringLiteral("Proxy-Use");
const QString offlineModelKey = QStringLiteral("Offline-Model");
constexpr int standardModel = 12;

// The word True in any case or a non-zero number; anything else, nonsense included, is false.
bool checkedValue(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    const auto number = parseNumber(trimmed);
    return number && *number != 0.0;
}

QString checkWord(bool checked)
{
    return checked ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

void loadSettings(ShellState &state, const SettingsStore &store)
{
    state.proxyIp = store.text(proxyIpKey, QString());
    state.proxyPort = store.text(proxyPortKey, QString());
    state.proxyUse = wholeNumber16(store.text(proxyUseKey, QStringLiteral("0"))).value_or(0);

    // Both switches store their state, so both can't be checked unless someone edited the
    // store by hand; the handlers ask about USB first, so USB wins then too.
    const bool usb = checkedValue(store.text(usbKey, QStringLiteral("0")));
    const bool lan = checkedValue(store.text(lanKey, QStringLiteral("0")));
    state.connectionMode = lan && !usb ? ConnectionMode::Lan : ConnectionMode::Usb;
}

bool switchConnectionMode(ShellState &state, SettingsStore &store, ConnectionMode mode)
{
    state.connectionMode = mode;
    if (mode == ConnectionMode::Usb) {
        store.setText(usbKey, checkWord(true));
        store.setText(lanKey, checkWord(false));
    } else {
        store.setText(lanKey, checkWord(true));
        store.setText(usbKey, checkWord(false));
    }
    return store.commit();
}

bool saveProxySettings(const ShellState &state, SettingsStore &store)
{
    store.setText(proxyUseKey, QString::number(state.proxyUse));
    store.setText(proxyIpKey, state.proxyIp);
    store.setText(proxyPortKey, state.proxyPort);
    return store.commit();
}

int offlineModel(const SettingsStore &store)
{
    const int channels =
        wholeNumber16(store.text(offlineModelKey, QString::number(standardModel))).value_or(0);
    return headendModels.contains(channels) ? channels : standardModel;
}

bool saveOfflineModel(SettingsStore &store, int channels)
{
    store.setText(offlineModelKey, QString::number(channels));
    return store.commit();
}

} // namespace keldor
