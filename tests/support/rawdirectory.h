#pragma once

#include "core/features/directory/headenddirectory.h"
#include "core/features/directory/headendentry.h"

#include <QSqlDatabase>
#include <QSqlQuery>

#include <functional>

// Opens the SQLite file at path past every check of the program, as another program could, and
// runs work on it; false when it can't be opened or the work fails.
inline bool onRawDatabase(const QString &path, const std::function<bool(QSqlDatabase &)> &work)
{
    bool done = false;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        done = db.open() && work(db);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return done;
}

// Rows written straight into a directory file, as another program could write them.
inline bool insertRawRows(const QString &path, const QList<keldor::HeadendEntry> &rows)
{
    return onRawDatabase(path, [&rows](QSqlDatabase &db) {
        QSqlQuery insert(db);
        bool written = insert.prepare("INSERT INTO KELDOR_Headend VALUES (?, ?, ?, ?)");
        for (const keldor::HeadendEntry &row : rows) {
            for (const QString &value : keldor::columnValues(row))
                insert.addBindValue(value);
            written = written && insert.exec();
        }
        return written;
    });
}

// The rows of the directory file in folder as the program reads them; none when it can't open it.
inline QList<keldor::HeadendEntry> directoryRows(const QString &folder)
{
    keldor::HeadendDirectory directory;
    QList<keldor::HeadendEntry> rows;
    const bool open = directory.open(folder);
    for (int i = 0; open && i < directory.count(); ++i)
        rows.append(directory.row(i));
    return rows;
}
