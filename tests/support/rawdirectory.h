#pragma once

#include "core/features/directory/headenddirectory.h"
#include "core/features/directory/headendentry.h"

#include <QSqlDatabase>
#include <QSqlQuery>

// Rows written straight into a directory file, past every check of the program, as another
// program could write them.
inline bool insertRawRows(const QString &path, const QList<keldor::HeadendEntry> &rows)
{
    bool written = false;
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
        db.setDatabaseName(path);
        QSqlQuery insert(db);
        written = db.open() && insert.prepare("INSERT INTO KELDOR_Headend VALUES (?, ?, ?, ?)");
        for (const keldor::HeadendEntry &row : rows) {
            for (const QString &value : keldor::columnValues(row))
                insert.addBindValue(value);
            written = written && insert.exec();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("raw"));
    return written;
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
