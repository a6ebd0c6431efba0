#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <variant>

namespace keldor {

// The start of a file that was read: at most the bytes asked for, and the size the file had
// when it was opened.
struct FileStart {
    QByteArray bytes;
    qint64 size = 0;
};

// Reads up to limit bytes of a regular file. The file is opened without waiting and looked at
// before anything is read: a FIFO would wait for a writer that may never come, and a device
// (/dev/zero) could deliver without end. Otherwise the reason, in the system's words.
std::variant<FileStart, QString> readFileStart(const QString &path, qint64 limit);

// What createPrivateFile does with a file that is already at the path.
enum class ExistingFile { Refuse, Replace };

// Opens file for writing at path, readable by its owner alone (mode 0600), never through a
// symbolic link. A new file is created exclusively; an existing regular file is refused or, when
// asked, emptied and made private; anything else at the path is refused. Empty on success,
// otherwise why it could not be opened.
QString createPrivateFile(QFile &file, const QString &path, ExistingFile existing);

} // namespace keldor
