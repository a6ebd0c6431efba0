#pragma once

#include <QString>

namespace keldor {

inline constexpr auto directoryFileName = "headend.mdb";

// Where the directory file of a folder lies.
QString directoryPath(const QString &folder);

// Whether a file (not a folder) exists at the path.
bool directoryFileExists(const QString &path);

// Creates an empty directory file with its table in the folder. An existing file is never
// replaced. On failure nothing is left behind and the reason goes to *error.
bool createDirectoryFile(const QString &folder, QString *error = nullptr);

} // namespace keldor
