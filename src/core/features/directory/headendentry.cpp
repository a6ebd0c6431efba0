#include "core/features/directory/headendentry.h"

#include <QList>

namespace keldor {

std::array<QString, 4> columnValues(const HeadendEntry &entry) {
    return {entry.name, entry.location, entry.ip, entry.port};
}

QString lengthError(const HeadendEntry &entry) {
    const auto values = columnValues(entry);
    for (size_t i = 0; i < values.size(); ++i) {
        // Counted in characters as the operator sees them, not in UTF-16 units.
        const auto length = values[i].toUcs4().size();
        const DirectoryColumn &column = directoryColumns[i];
        if (length > column.maxLength) {
            return QStringLiteral("%1 is longer than %2 characters.")
                .arg(QLatin1String(column.name))
                .arg(column.maxLength);
        }
    }
    return {};
}

} // namespace keldor
