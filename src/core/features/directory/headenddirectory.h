#pragma once

#include "core/features/directory/directoryconnection.h"
#include "core/features/directory/headendentry.h"

#include <QList>
#include <QString>

#include <memory>

namespace keldor {

// The known LAN headends, read from the directory file and written back row by row at once.
// Rows are addressed by their position in the order they were added; two may be alike.
// Every change is made in the file first and shown here only when that succeeded, so a failed
// change loses nothing and leaves the rows as they were. Failures return false (or -1) and
// lastError() tells the operator why.
class HeadendDirectory {
public:
    HeadendDirectory();
    HeadendDirectory(const HeadendDirectory &) = delete;
    HeadendDirectory &operator=(const HeadendDirectory &) = delete;
    ~HeadendDirectory();

    using Access = DirectoryConnection::Access;

    // Opens the directory file of the folder and reads every row. Only a plain table of its own
    // is taken: a file with a view or a virtual table in its place, with generated or hidden
    // columns, or with triggers is refused. A row with a text longer than its column is read
    // all the same, its text cut a little beyond the limit, and marked (rowProblem). A reader
    // that changes nothing opens the file read-only.
    bool open(const QString &folder, Access access = Access::ReadWrite);
    // The same for a directory file anywhere, under any name.
    bool openFile(const QString &path, Access access = Access::ReadWrite);
    void close();
    bool isOpen() const { return m_connection != nullptr; }
    QString filePath() const { return m_path; }
    QString lastError() const { return m_lastError; }

    int count() const { return int(m_rows.size()); }
    // An empty entry for a position that does not exist; an empty value in the file reads as
    // empty text.
    HeadendEntry row(int index) const;
    // Why the row can't be used as it is (a text longer than its column), empty when it can.
    // Such a row stays marked until an update makes it fit.
    QString rowProblem(int index) const;

    // Adds a row without values and stores it at once. Its position, or -1.
    int appendEmpty();
    // Refuses values longer than their column and writes nothing of the row then.
    bool update(int index, const HeadendEntry &entry);
    bool remove(int index);

private:
    struct Row {
        qint64 rowId = 0;
        HeadendEntry entry;
        QString problem;
    };

    bool fail(const QString &text);
    bool failWrite(const QString &problem);
    bool checkOpen();
    bool checkPosition(int index);

    std::unique_ptr<DirectoryConnection> m_connection;
    QString m_path;
    QList<Row> m_rows;
    QString m_lastError;
};

} // namespace keldor
