// The versions that fleet backup --git keeps: history lists a headend's, and diff and load take
// NAME@REV for one of them. Each works on the repository alone and needs no link.
#include "ctlcommand.h"
#include "fleet.h"
#include "gitrepository.h"

#include "core/common/timing.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <optional>

namespace keldor {

namespace {

const QString dirOption = QStringLiteral("--dir");

// The repository named by --dir (the current folder without it), and the arguments without it;
// nothing when --dir lacks its folder.
std::optional<QString> takeDir(QStringList &arguments)
{
    const qsizetype at = arguments.indexOf(dirOption);
    if (at < 0)
        return QStringLiteral(".");
    if (at + 1 >= arguments.size())
        return std::nullopt;
    const QString dir = arguments.at(at + 1);
    arguments.remove(at, 2);
    return dir;
}

// Where a headend's settings file lies inside the repository.
QString storedSettings(const QString &name)
{
    const QString stem = fleetFileName(name);
    return stem + QLatin1Char('/') + stem + QStringLiteral(".kdr");
}

QString checkHistory(const QStringList &raw)
{
    QStringList arguments = raw;
    const auto dir = takeDir(arguments);
    if (!dir)
        return QStringLiteral("--dir needs a folder");
    if (arguments.size() != 1 || arguments.first().startsWith(QLatin1String("--")))
        return QStringLiteral("history takes NAME [--dir DIR]");
    if (!QFileInfo::exists(QDir(*dir).filePath(QStringLiteral(".git"))))
        return QStringLiteral("%1 holds no history; fleet backup DIR --git makes one").arg(*dir);
    return {};
}

int history(Session &, const QStringList &raw, QTextStream &out)
{
    QStringList arguments = raw;
    const QString dir = takeDir(arguments).value_or(QStringLiteral("."));
    const GitRepository repository(dir, Timing().fleetCommandLimit);
    const ProgramRun log =
        repository.run({QStringLiteral("log"), QStringLiteral("--format=%ct%x09%h%x09%s"),
                        QStringLiteral("--"), storedSettings(arguments.first())});
    if (!log.ok()) {
        out << "keldor-ctl: " << log.problem << '\n';
        return ExitFailure;
    }
    const QStringList lines =
        QString::fromUtf8(log.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty()) {
        out << "no stored version of " << arguments.first() << " in " << dir << '\n';
        return ExitFailure;
    }
    for (const QString &line : lines) {
        const QDateTime when =
            QDateTime::fromSecsSinceEpoch(line.section('\t', 0, 0).toLongLong(), QTimeZone::utc());
        out << when.toString(QStringLiteral("yyyy-MM-dd HH:mm")) << " UTC  "
            << line.section('\t', 1, 1) << "  " << line.section('\t', 2) << '\n';
    }
    return ExitSuccess;
}

} // namespace

QString takeStoredVersions(QStringList &arguments, QTemporaryDir &store)
{
    const auto taken = takeDir(arguments);
    if (!taken)
        return QStringLiteral("--dir needs a folder");
    const QString &dir = *taken;
    const GitRepository repository(dir, Timing().fleetCommandLimit);
    for (QString &argument : arguments) {
        const qsizetype at = argument.lastIndexOf(QLatin1Char('@'));
        if (argument.startsWith(QLatin1String("--")) || at <= 0 || QFileInfo::exists(argument))
            continue;
        QString problem;
        const auto bytes =
            repository.storedFile(argument.mid(at + 1), storedSettings(argument.left(at)), problem);
        if (!bytes)
            return QStringLiteral("%1 is no stored version in %2: %3").arg(argument, dir, problem);
        const QString path = store.filePath(fleetFileName(argument) + QStringLiteral(".kdr"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size())
            return QStringLiteral("%1 could not be written: %2").arg(path, file.errorString());
        argument = path;
    }
    return {};
}

void addHistoryCommands(CtlCommandTable &table)
{
    table[QStringLiteral("history")] = {
        1, 3,
        QStringLiteral("history NAME [--dir DIR]    the versions fleet backup DIR --git kept of "
                       "NAME (no link);\n"
                       "                             diff and load take NAME@REV [--dir DIR] for "
                       "one of them"),
        checkHistory, history};
}

} // namespace keldor
