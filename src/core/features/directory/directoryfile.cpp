#include "core/features/directory/directoryfile.h"

#include "core/features/directory/directoryconnection.h"
#include "core/features/directory/headendentry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QStringList>

namespace keldor {

namespace {

QString createTableStatement()
{
    QStringList columns;
    for (const DirectoryColumn &column : directoryColumns) {
        columns.append(QStringLiteral("\"%1\" VARCHAR(%2)")
                           .arg(QLatin1String(column.name))
                           .arg(column.maxLength));
    }
    return QStringLiteral("CREATE TABLE \"%1\" (%2)")
        .arg(QLatin1String(directoryTable), columns.join(QStringLiteral(", ")));
}

// Empty on success, otherwise why the file could not be made.
QString createFile(const QString &path)
{
    DirectoryConnection connection(path);
    QSqlDatabase &database = connection.database();
    if (const QSqlError error = connection.open(); error.isValid())
        return writeProblem(path, error);
    QSqlQuery query(database);
    if (!query.prepare(createTableStatement()) || !query.exec())
        return writeProblem(path, query.lastError());
    return {};
}

} // namespace

QString directoryPath(const QString &folder)
{
    return QDir(folder).filePath(QLatin1String(directoryFileName));
}

bool directoryFileExists(const QString &path)
{
    return QFileInfo(path).isFile();
}

bool createDirectoryFile(const QString &folder, QString *error)
{
    const QString path = directoryPath(folder);
    QString problem;
    if (!QFileInfo(folder).isDir())
        problem = QStringLiteral("the folder \"%1\" does not exist").arg(folder);
    else if (QFileInfo::exists(path))
        problem = QStringLiteral("a file of this name is already there");
    else {
        problem = createFile(path);
        // A file without the table would later be taken for a foreign one.
        if (!problem.isEmpty())
            QFile::remove(path);
    }

    if (problem.isEmpty())
        return true;
    if (error) {
        *error = QStringLiteral("The headend directory \"%1\" could not be created: %2.")
                     .arg(QDir::toNativeSeparators(path), problem);
    }
    return false;
}

} // namespace keldor
