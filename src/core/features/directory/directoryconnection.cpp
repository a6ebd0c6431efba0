#include "core/features/directory/directoryconnection.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlQuery>

#include <sqlite3.h>

namespace keldor {

DirectoryConnection::DirectoryConnection(const QString &path, Access access)
{
    static int connections = 0;
    m_name = QStringLiteral("keldor-directory-%1").arg(++connections);
    m_database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    m_database.setDatabaseName(path);
    if (access == Access::ReadOnly)
        m_database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
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
    // The driver hands out the database's own handle; QtSql has no word for a work limit.
    const QVariant handle = m_database.driver()->handle();
    sqlite3 *database = qstrcmp(handle.typeName(), "sqlite3*") == 0
                            ? *static_cast<sqlite3 *const *>(handle.constData())
                            : nullptr;
    if (!database) {
        m_database.close();
        return QSqlError(QStringLiteral("the SQLite driver gave no handle"), {},
                         QSqlError::ConnectionError);
    }
    sqlite3_progress_handler(database, workStep, &DirectoryConnection::countWork, this);
    startWork();
    return {};
}

int DirectoryConnection::countWork(void *connection)
{
    auto *self = static_cast<DirectoryConnection *>(connection);
    ++self->m_work;
    return self->workExhausted() ? 1 : 0;
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
