#include "shell/shellstate.h"

#include "common/textutil.h"

namespace keldor {

namespace {

const QString usbKey = QStringLiteral("USB-Control");
const QString lanKey = QStringLiteral("LAN-Control");
const QString proxyIpKey = QStringLiteral("Proxy-IP");
const QString proxyPortKey = QStringLiteral("Proxy-Port");
const QString proxyUseKey = QStringLiteral("Proxy-Use");

// The word True in any case or a non-zero number; anything else, nonsense included, is false.
bool checkedValue(const QString &text) {
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    const auto number = parse_number(trimmed);
    return number && *number != 0.0;
}

QString checkWord(bool checked) {
    return checked ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

void loadSettings(ShellState &state, const SettingsStore &store) {
    state.proxy_ip = store.text(proxyIpKey, QString());
    state.proxy_port = store.text(proxyPortKey, QString());
    state.proxy_use = whole_number16(store.text(proxyUseKey, QStringLiteral("0"))).value_or(0);

    // Both switches store their state, so both can't be checked unless someone edited the
    // store by hand; the handlers ask about USB first, so USB wins then too.
    const bool usb = checkedValue(store.text(usbKey, QStringLiteral("0")));
    const bool lan = checkedValue(store.text(lanKey, QStringLiteral("0")));
    state.connection_mode = lan && !usb ? ConnectionMode::Lan : ConnectionMode::Usb;
}

bool switchConnectionMode(ShellState &state, SettingsStore &store, ConnectionMode mode) {
    state.connection_mode = mode;
    if (mode == ConnectionMode::Usb) {
        store.setText(usbKey, checkWord(true));
        store.setText(lanKey, checkWord(false));
    } else {
        store.setText(lanKey, checkWord(true));
        store.setText(usbKey, checkWord(false));
    }
    return store.commit();
}

bool saveProxySettings(const ShellState &state, SettingsStore &store) {
    store.setText(proxyUseKey, QString::number(state.proxy_use));
    store.setText(proxyIpKey, state.proxy_ip);
    store.setText(proxyPortKey, state.proxy_port);
    return store.commit();
}

} // namespace keldor
