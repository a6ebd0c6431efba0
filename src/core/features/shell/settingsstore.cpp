#include "core/features/shell/settingsstore.h"

namespace keldor {

SettingsStore::SettingsStore(const QString &organisation, const QString &application)
    : m_ownSettings(std::make_unique<QSettings>(organisation, application))
    , m_settings(*m_ownSettings) {}

SettingsStore::SettingsStore(QSettings &settings)
    : m_settings(settings) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::text(const QString &key, const QString &fallback) const {
    return m_settings.value(sectionKey(key), fallback).toString();
}

void SettingsStore::setText(const QString &key, const QString &value) {
    m_settings.setValue(sectionKey(key), value);
}

bool SettingsStore::commit() {
    m_settings.sync();
    if (m_settings.status() == QSettings::AccessError) {
        m_lastError = QStringLiteral("The settings could not be stored in \"%1\".")
                          .arg(m_settings.fileName());
        return false;
    }
    m_lastError.clear();
    return true;
}

QString SettingsStore::sectionKey(const QString &key) {
    return QStringLiteral("Settings/") + key;
}

} // namespace keldor
