#include "update/backup.h"

#include "channels/channeltextsview.h"
#include "link/session.h"
#include "model/settingsfile.h"
#include "model/unitdata.h"
#include "protocol/devicetype.h"
#include "protocol/readunitdata.h"

#include <QDir>

namespace keldor {

QString backup_file_name(const QDateTime &when)
{
    return when.toString(QStringLiteral("'backup-'yyyyMMdd-HHmmss'.kdr'"));
}

BackupResult backup_configuration(Session &session, const QString &folder)
{
    UnitData unit;
    ChannelTextsView texts;
    if (!check_devicetype(session.exchange, unit) ||
        !read_unit_data(session.exchange, unit, texts)) {
        return {{}, QStringLiteral("The headend's configuration could not be read.")};
    }
    const QString path = QDir(folder).filePath(backup_file_name(QDateTime::currentDateTime()));
    if (!save_settings_file(session.ui, path, unit))
        return {{}, QStringLiteral("%1 could not be written.").arg(QDir::toNativeSeparators(path))};
    return {path, {}};
}

} // namespace keldor
