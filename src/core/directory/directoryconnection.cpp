#include "directory/directoryconnection.h"

#include <QFileInfo>
#include <QSqlQuery>

namespace keldor {

DirectoryConnection::DirectoryConnection(const QString &path)
{
    static int connections = 0;
    m_name = QStringLiteral("keldor-directory-%1").arg(++connections);
    m_database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    m_database.setDatabaseName(path);
}

DirectoryConnection::~DirectoryConnection()
{
    m_database.close();
    // removeDatabase() insists that no handle of the connection is left.
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

QSqlError DirectoryConnection::open()
{
    if (!m_database.open())
        return m_database.lastError();
    QSqlQuery untrusted(m_database);
    if (!untrusted.exec(QStringLiteral("PRAGMA trusted_schema = OFF"))) {
        const QSqlError error = untrusted.lastError();
        m_database.close();
        return error;
    }
    return {};
}

QString databaseText(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
}

QString writeProblem(const QString &path, const QSqlError &error)
{
    const QFileInfo file(path);
    if (file.exists() && !file.isWritable())
        return QStringLiteral("the file is read-only");
    if (!QFileInfo(file.absolutePath()).isWritable())
        return QStringLiteral("its folder is read-only");
    return databaseText(error);
}

} // namespace keldor
