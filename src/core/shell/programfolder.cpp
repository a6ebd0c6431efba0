#include "shell/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace keldor {

namespace {

QString &folderOverride() {
    static QString folder;
    return folder;
}

} // namespace

QString programFolder() {
    if (!folderOverride().isEmpty())
        return folderOverride();

    const QString fromEnvironment = qEnvironmentVariable("KELDOR_PROGRAM_DIR");
    if (!fromEnvironment.isEmpty())
        return QDir::cleanPath(fromEnvironment);

    const QString executableFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo(executableFolder).isWritable())
        return executableFolder;

    // An installed copy lives in a system folder the user can't write to, but the directory
    // database must be writable.
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dataFolder);
    return dataFolder;
}

void setProgramFolderOverride(const QString &folder) {
    folderOverride() = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

QString programFile(const QString &name) {
    return QDir(programFolder()).filePath(name);
}

} // namespace keldor
