#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

namespace keldor {

// A database connection of its own for one user of the directory file, so that several can be
// open at once; it is removed again when the object goes away.
class DirectoryConnection {
public:
    enum class Access { ReadWrite, ReadOnly };

    explicit DirectoryConnection(const QString &path, Access access = Access::ReadWrite);
    DirectoryConnection(const DirectoryConnection &) = delete;
    DirectoryConnection &operator=(const DirectoryConnection &) = delete;
    ~DirectoryConnection();

    // Opens the file with its schema untrusted: views, triggers and column defaults of a file
    // from elsewhere can't call functions with side effects then. An invalid error on success.
    QSqlError open();
    QSqlDatabase &database() { return m_database; }

    // Every statement from here on shares one allowance of work; one that uses it up is
    // interrupted, so a file from elsewhere can't keep the program busy for ever. Opening the
    // file starts the first allowance.
    void startWork() { m_work = 0; }
    bool workExhausted() const { return m_work > workAllowance; }

private:
    // In units of workStep virtual machine instructions of the database: reading a row takes
    // about twenty, so this reads a directory of 100,000 headends, a few tenths of a second.
    static constexpr int workStep = 1000;
    static constexpr int workAllowance = 2000;
    static int countWork(void *connection);

    QString m_name;
    QSqlDatabase m_database;
    int m_work = 0;
};

// The database's own words for a failure, which say more than the driver's generic ones.
QString databaseText(const QSqlError &error);

// Why a write to the directory file failed: a read-only file or folder is named as such, since
// the database's wording for them is obscure.
QString writeProblem(const QString &path, const QSqlError &error);

} // namespace keldor
