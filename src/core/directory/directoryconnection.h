#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

namespace keldor {

// A database connection of its own for one user of the directory file, so that several can be
// open at once; it is removed again when the object goes away.
class DirectoryConnection {
public:
    explicit DirectoryConnection(const QString &path);
    DirectoryConnection(const DirectoryConnection &) = delete;
    DirectoryConnection &operator=(const DirectoryConnection &) = delete;
    ~DirectoryConnection();

    // Opens the file with its schema untrusted: views, triggers and column defaults of a file
    // from elsewhere can't call functions with side effects then. An invalid error on success.
    QSqlError open();
    QSqlDatabase &database() { return m_database; }

private:
    QString m_name;
    QSqlDatabase m_database;
};

// The database's own words for a failure, which say more than the driver's generic ones.
QString databaseText(const QSqlError &error);

// Why a write to the directory file failed: a read-only file or folder is named as such, since
// the database's wording for them is obscure.
QString writeProblem(const QString &path, const QSqlError &error);

} // namespace keldor
