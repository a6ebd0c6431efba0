#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

namespace keldor {

// What a program that keldor-ctl started did: its exit status (-1 when it could not be started
// or did not end in time), its output, and its complaint in one line.
struct ProgramRun {
    int status = -1;
    QByteArray out;
    QString problem;

    bool ok() const { return status == 0; }
};

// Runs program with arguments, no shell between, input on its stdin, and waits at most limit
// for it to end; it is killed after that.
ProgramRun
runProgram(const QString &program, const QStringList &arguments, const QByteArray &input,
           std::chrono::milliseconds limit,
           const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());

// The git program run in the repository at dir. We run git itself rather than link a library:
// the few commands we need are one line each, and the repository stays the operator's, read
// and written by the same git they inspect it with.
class GitRepository {
public:
    GitRepository(QString dir, std::chrono::milliseconds limit);

    // Makes dir a repository of its own unless it is one already, in which git passes over the
    // files named in ignored. Empty, or why not.
    QString create(const QStringList &ignored) const;
    ProgramRun run(const QStringList &arguments) const;
    // Commits the paths (relative to dir) when they differ from the last commit: true when a
    // commit was made; problem is set when git failed.
    bool commitChanges(const QStringList &paths, const QString &message, QString &problem) const;
    // The bytes path had in revision, or nothing (problem set).
    std::optional<QByteArray> storedFile(const QString &revision, const QString &path,
                                         QString &problem) const;

private:
    QString m_dir;
    std::chrono::milliseconds m_limit;
};

} // namespace keldor
