#include "core/features/shell/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace keldor {

namespace {

QString &folderOverride()
{
    static QString folder;
    return folder;
}

} // namespace

QString programFolder()
{
    if (!folderOverride().isEmpty())
        return folderOverride();

    const QString fromEnvironment = qEnvironmentVariable("KELDOR_PROGRAM_DIR");
    if (!fromEnvironment.isEmpty())
        return QDir::cleanPath(fromEnvironment);

    return programFolderBeside(QCoreApplication::applicationDirPath());
}

QString programFolderBeside(const QString &executableFolder)
{
    // An installed copy keeps nothing in the system's program folder, not even when root could
    // write there: the files would outlive the package and be shared by every user.
    if (QFileInfo(executableFolder).isWritable() && installedDataFolder(executableFolder).isEmpty())
        return executableFolder;
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dataFolder);
    return dataFolder;
}

QString installedDataFolder(const QString &executableFolder)
{
    const QString folder =
        QDir::cleanPath(executableFolder + QStringLiteral("/../share/keldor-station"));
    return QFileInfo(folder).isDir() ? folder : QString();
}

void setProgramFolderOverride(const QString &folder)
{
    folderOverride() = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

QString programFile(const QString &name)
{
    return QDir(programFolder()).filePath(name);
}

} // namespace keldor
