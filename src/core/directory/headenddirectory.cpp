#include "directory/headenddirectory.h"

#include "directory/directoryconnection.h"
#include "directory/directoryfile.h"

#include <QDir>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace keldor {

namespace {

// The rowid is the row's identity: the table has no key of its own and may hold duplicates.
const QString selectRows = QStringLiteral(
    R"(SELECT rowid, "Name", "Location", "IP-Adress", "Port" FROM "KELDOR_Headend" ORDER BY rowid)");
const QString insertEmptyRow = QStringLiteral(R"(INSERT INTO "KELDOR_Headend" DEFAULT VALUES)");
const QString updateRow = QStringLiteral(
    R"(UPDATE "KELDOR_Headend" SET "Name" = ?, "Location" = ?, "IP-Adress" = ?, "Port" = ? )"
    R"(WHERE rowid = ?)");
const QString deleteRow = QStringLiteral(R"(DELETE FROM "KELDOR_Headend" WHERE rowid = ?)");

// Empty when the database is a headend directory, otherwise what is wrong with it.
QString schemaProblem(QSqlDatabase &database)
{
    // The first read of the file is where the database notices that it isn't one.
    QSqlQuery probe(database);
    if (!probe.prepare(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !probe.exec())
        return databaseText(probe.lastError());

    const QString table = QLatin1String(directoryTable);
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

bool HeadendDirectory::open(const QString &folder)
{
    return openFile(directoryPath(folder));
}

bool HeadendDirectory::openFile(const QString &path)
{
    close();
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!directoryFileExists(path))
        return fail(QStringLiteral("The headend directory \"%1\" does not exist.").arg(shownPath));

    auto connection = std::make_unique<DirectoryConnection>(path);
    QSqlDatabase &database = connection->database();
    if (const QSqlError error = connection->open(); error.isValid()) {
        return fail(QStringLiteral("The headend directory \"%1\" could not be opened: %2.")
                        .arg(shownPath, databaseText(error)));
    }
    if (const QString problem = schemaProblem(database); !problem.isEmpty()) {
        return fail(
            QStringLiteral("\"%1\" is not a headend directory: %2.").arg(shownPath, problem));
    }

    const auto unreadable = [&](const QString &problem) {
        return fail(QStringLiteral("The headend directory \"%1\" could not be read: %2")
                        .arg(shownPath, problem));
    };
    QList<Row> rows;
    {
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (query.prepare(selectRows) && query.exec()) {
            while (query.next()) {
                const HeadendEntry entry{query.value(1).toString(), query.value(2).toString(),
                                         query.value(3).toString(), query.value(4).toString()};
                // What could not be typed in here doesn't get in from the file either.
                if (const QString tooLong = lengthError(entry); !tooLong.isEmpty()) {
                    return unreadable(
                        QStringLiteral("headend number %1: %2").arg(rows.size() + 1).arg(tooLong));
                }
                rows.append(Row{query.value(0).toLongLong(), entry});
            }
        }
        // next() ends on an error just as it does after the last row.
        if (query.lastError().isValid())
            return unreadable(databaseText(query.lastError()) + QLatin1Char('.'));
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

int HeadendDirectory::appendEmpty()
{
    if (!checkOpen())
        return -1;
    QSqlQuery query(m_connection->database());
    if (!query.prepare(insertEmptyRow) || !query.exec()) {
        failWrite(writeProblem(m_path, query.lastError()));
        return -1;
    }
    m_rows.append(Row{query.lastInsertId().toLongLong(), {}});
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
                    .arg(QDir::toNativeSeparators(m_path), problem));
}

bool HeadendDirectory::checkOpen()
{
    return isOpen() || fail(QStringLiteral("The headend directory is not open."));
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
