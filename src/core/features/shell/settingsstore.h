#pragma once

#include <QSettings>
#include <QString>

#include <memory>

namespace keldor {

// The per-user settings store, section "Settings". Every value is kept as text, the way the
// settings table describes it, so that other tools reading the store see the same words.
class SettingsStore {
public:
    // The platform's per-user store of this application.
    SettingsStore(const QString &organisation, const QString &application);
    // Any store, for example an INI file of a test.
    explicit SettingsStore(QSettings &settings);
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;
    virtual ~SettingsStore();

    QString text(const QString &key, const QString &fallback) const;
    // Virtual so that a test can watch the order in which keys are written; the file itself
    // keeps them sorted.
    virtual void setText(const QString &key, const QString &value);

    // Writes pending values to the disk. False when that failed; lastError() says why.
    bool commit();
    QString lastError() const { return m_lastError; }

private:
    static QString sectionKey(const QString &key);

    std::unique_ptr<QSettings> m_ownSettings;
    QSettings &m_settings;
    QString m_lastError;
};

} // namespace keldor
