#include "core/features/directory/headenddirectory.h"

#include "core/features/directory/directoryconnection.h"
#include "core/features/directory/directoryfile.h"

#include <QDir>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <sqlite3.h>

namespace keldor {

namespace {

// The rowid is the row's identity: the table has no key of its own and may hold duplicates.
// Each text is read no further than a few bytes past the most its column may hold, so a file
// from elsewhere can't make a row take memory without end; a text cut there is still too long.
QString selectRowsStatement()
{
    QStringList values{QStringLiteral("rowid")};
    for (const DirectoryColumn &column : directoryColumns) {
        // Bytes, not characters: those would stop at the first NUL. No character takes more
        // than four.
        values.append(QStringLiteral("CAST(substr(CAST(\"%1\" AS BLOB), 1, %2) AS TEXT)")
                          .arg(QLatin1String(column.name))
                          .arg(4 * (column.maxLength + 1)));
    }
    return QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY rowid")
        .arg(values.join(QStringLiteral(", ")), QLatin1String(directoryTable));
}
// What a read-only connection meets where it would have to take back an unfinished change.
const QString rollbackRefused = QString::number(SQLITE_READONLY_ROLLBACK);
const QString tooMuchWork =
    QStringLiteral("it asks for more work than any headend directory needs");
const QString insertEmptyRow = QStringLiteral(R"(INSERT INTO "KELDOR_Headend" DEFAULT VALUES)");
const QString updateRow = QStringLiteral(
    R"(UPDATE "KELDOR_Headend" SET "Name" = ?, "Location" = ?, "IP-Adress" = ?, "Port" = ? )"
    R"(WHERE rowid = ?)");
const QString deleteRow = QStringLiteral(R"(DELETE FROM "KELDOR_Headend" WHERE rowid = ?)");

// Empty when the table is a plain one: a view could compute its rows without end, and a
// virtual table or a generated column runs code of the file's choosing on every read.
QString tableProblem(QSqlDatabase &database, const QString &table)
{
    QSqlQuery kind(database);
    if (!kind.prepare(
            QStringLiteral("SELECT type, sql FROM sqlite_master WHERE name = ? COLLATE NOCASE")))
        return databaseText(kind.lastError());
    kind.addBindValue(table);
    if (!kind.exec())
        return databaseText(kind.lastError());
    if (!kind.next())
        return kind.lastError().isValid() ? databaseText(kind.lastError())
                                          : QStringLiteral("it has no table %1").arg(table);
    if (kind.value(0).toString() != QLatin1String("table") ||
        kind.value(1).toString().simplified().startsWith(QLatin1String("CREATE VIRTUAL"),
                                                         Qt::CaseInsensitive))
        return QStringLiteral("%1 is a %2, not a table")
            .arg(table, kind.value(0).toString() == QLatin1String("table")
                            ? QStringLiteral("virtual table")
                            : kind.value(0).toString());

    QSqlQuery columns(database);
    if (!columns.prepare(QStringLiteral("SELECT count(*) FROM pragma_table_xinfo(?) "
                                        "WHERE hidden <> 0")))
        return databaseText(columns.lastError());
    columns.addBindValue(table);
    if (!columns.exec() || !columns.next())
        return databaseText(columns.lastError());
    if (columns.value(0).toInt() > 0)
        return QStringLiteral("its table %1 has generated or hidden columns").arg(table);
    return {};
}

// Empty when the database is a headend directory, otherwise what is wrong with it.
QString schemaProblem(QSqlDatabase &database)
{
    const QString table = QLatin1String(directoryTable);
    if (const QString problem = tableProblem(database, table); !problem.isEmpty())
        return problem;
    const QSqlRecord record = database.record(table);
    if (record.isEmpty())
        return QStringLiteral("it has no table %1").arg(table);
    for (const DirectoryColumn &column : directoryColumns) {
        if (!record.contains(QLatin1String(column.name)))
            return QStringLiteral("its table %1 has no column \"%2\"").arg(table, column.name);
    }

    // Ours never has one; a trigger of a file from elsewhere would act on every change made here.
    QSqlQuery triggers(database);
    if (!triggers.prepare(
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'")) ||
        !triggers.exec() || !triggers.next())
        return databaseText(triggers.lastError());
    if (triggers.value(0).toInt() > 0)
        return QStringLiteral("it has triggers");
    return {};
}

} // namespace

HeadendDirectory::HeadendDirectory() = default;

HeadendDirectory::~HeadendDirectory() = default;

bool HeadendDirectory::open(const QString &folder, Access access)
{
    return openFile(directoryPath(folder), access);
}

bool HeadendDirectory::openFile(const QString &path, Access access)
{
    close();
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!directoryFileExists(path))
        return fail(QStringLiteral("The headend directory \"%1\" does not exist.").arg(shownPath));

    auto connection = std::make_unique<DirectoryConnection>(path, access);
    QSqlDatabase &database = connection->database();
    if (const QSqlError error = connection->open(); error.isValid()) {
        return fail(QStringLiteral("The headend directory \"%1\" could not be opened: %2.")
                        .arg(shownPath, databaseText(error)));
    }
    const auto said = [&](const QString &problem) {
        return connection->workExhausted() ? tooMuchWork : problem;
    };
    // The first read of the file is where the database notices that it isn't one, and where
    // it finds a change left unfinished, which a reader may not roll back.
    QSqlQuery probe(database);
    if (!probe.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !probe.exec()) {
        if (probe.lastError().nativeErrorCode() == rollbackRefused)
            return fail(QStringLiteral("The headend directory \"%1\" could not be read: it holds "
                                       "a change that was never finished, which Edit Headends "
                                       "takes back when it opens the file.")
                            .arg(shownPath));
        return fail(QStringLiteral("\"%1\" is not a headend directory: %2.")
                        .arg(shownPath, said(databaseText(probe.lastError()))));
    }
    if (const QString problem = schemaProblem(database); !problem.isEmpty()) {
        return fail(
            QStringLiteral("\"%1\" is not a headend directory: %2.").arg(shownPath, said(problem)));
    }

    QList<Row> rows;
    {
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (query.prepare(selectRowsStatement()) && query.exec()) {
            while (query.next()) {
                const HeadendEntry entry{query.value(1).toString(), query.value(2).toString(),
                                         query.value(3).toString(), query.value(4).toString()};
                // What could not be typed in here doesn't get in from the file either: the row
                // is kept for the operator to mend, but marked.
                rows.append(Row{query.value(0).toLongLong(), entry, lengthError(entry)});
            }
        }
        // next() ends on an error just as it does after the last row.
        if (query.lastError().isValid())
            return fail(QStringLiteral("The headend directory \"%1\" could not be read: %2.")
                            .arg(shownPath, said(databaseText(query.lastError()))));
    }

    m_connection = std::move(connection);
    m_path = path;
    m_rows = std::move(rows);
    m_lastError.clear();
    return true;
}

void HeadendDirectory::close()
{
    m_connection.reset();
    m_path.clear();
    m_rows.clear();
}

HeadendEntry HeadendDirectory::row(int index) const
{
    return index >= 0 && index < count() ? m_rows.at(index).entry : HeadendEntry{};
}

QString HeadendDirectory::rowProblem(int index) const
{
    return index >= 0 && index < count() ? m_rows.at(index).problem : QString();
}

int HeadendDirectory::appendEmpty()
{
    if (!checkOpen())
        return -1;
    QSqlQuery query(m_connection->database());
    if (!query.prepare(insertEmptyRow) || !query.exec()) {
        failWrite(writeProblem(m_path, query.lastError()));
        return -1;
    }
    m_rows.append(Row{query.lastInsertId().toLongLong(), {}, {}});
    m_lastError.clear();
    return count() - 1;
}

bool HeadendDirectory::update(int index, const HeadendEntry &entry)
{
    if (!checkPosition(index))
        return false;
    if (const QString tooLong = lengthError(entry); !tooLong.isEmpty())
        return fail(tooLong);

    QSqlQuery query(m_connection->database());
    bool written = query.prepare(updateRow);
    if (written) {
        for (const QString &value : columnValues(entry))
            query.addBindValue(value);
        query.addBindValue(m_rows.at(index).rowId);
        written = query.exec();
    }
    if (!written)
        return failWrite(writeProblem(m_path, query.lastError()));
    // Another program may have deleted the row under us; the values would go nowhere.
    if (query.numRowsAffected() != 1)
        return failWrite(QStringLiteral("the headend is no longer in the file"));

    m_rows[index].entry = entry;
    m_rows[index].problem.clear();
    m_lastError.clear();
    return true;
}

bool HeadendDirectory::remove(int index)
{
    if (!checkPosition(index))
        return false;
    QSqlQuery query(m_connection->database());
    if (!query.prepare(deleteRow))
        return failWrite(writeProblem(m_path, query.lastError()));
    query.addBindValue(m_rows.at(index).rowId);
    if (!query.exec())
        return failWrite(writeProblem(m_path, query.lastError()));

    m_rows.removeAt(index);
    m_lastError.clear();
    return true;
}

bool HeadendDirectory::fail(const QString &text)
{
    m_lastError = text;
    return false;
}

bool HeadendDirectory::failWrite(const QString &problem)
{
    return fail(QStringLiteral("The headend directory \"%1\" could not be changed: %2.")
                    .arg(QDir::toNativeSeparators(m_path),
                         m_connection->workExhausted() ? tooMuchWork : problem));
}

bool HeadendDirectory::checkOpen()
{
    if (!isOpen())
        return fail(QStringLiteral("The headend directory is not open."));
    // Each change gets an allowance of its own.
    m_connection->startWork();
    return true;
}

bool HeadendDirectory::checkPosition(int index)
{
    if (!checkOpen())
        return false;
    if (index < 0 || index >= count())
        return fail(
            QStringLiteral("There is no headend number %1 in the directory.").arg(index + 1));
    return true;
}

} // namespace keldor
