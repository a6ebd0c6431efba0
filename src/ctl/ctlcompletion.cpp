#include "ctlcompletion.h"

#include "core/features/shell/programfolder.h"
#include "ctlcommand.h"
#include "ctldescription.h"
#include "fleet.h"

namespace keldor {

namespace {

QStringList numbers(int first, int last)
{
    QStringList list;
    for (int n = first; n <= last; ++n)
        list.append(QString::number(n));
    return list;
}

// The headend names a fleet would take: from --list FILE or --directory FILE on the line, else
// from the directory the desktop program keeps. A list that can't be read offers nothing.
QStringList headendNames(const QStringList &words)
{
    const qsizetype list = words.indexOf(QLatin1String("--list"));
    const qsizetype directory = words.indexOf(QLatin1String("--directory"));
    const FleetMembers members =
        list >= 0 ? readFleetList(words.value(list + 1))
                  : readFleetDirectory(directory >= 0 ? words.value(directory + 1)
                                                      : programFile(QStringLiteral("headend.mdb")),
                                       {}, {});
    QStringList names;
    if (const auto *all = std::get_if<QList<FleetMember>>(&members)) {
        for (const FleetMember &member : *all)
            names.append(member.name);
    }
    return names;
}

QStringList valuesFor(const ArgumentDescription &argument, const QStringList &words,
                      const QString &typed)
{
    switch (argument.completes) {
    case Completes::Nothing:
        return {};
    case Completes::File:
        return {QStringLiteral("@file")};
    case Completes::Folder:
        return {QStringLiteral("@folder")};
    case Completes::Channel:
        return numbers(1, 16);
    case Completes::ChannelByte:
        return numbers(0, 15);
    case Completes::Choices:
        return argument.choices();
    case Completes::Headends: {
        // NAME,NAME,...: the names not given yet, after those that are.
        const qsizetype comma = typed.lastIndexOf(QLatin1Char(','));
        const QString given = typed.left(comma + 1);
        const QStringList taken = given.split(QLatin1Char(','), Qt::SkipEmptyParts);
        QStringList offered;
        for (const QString &name : headendNames(words)) {
            if (!taken.contains(name))
                offered.append(given + name);
        }
        return offered;
    }
    }
    return {};
}

QStringList startingWith(const QStringList &candidates, const QString &typed)
{
    if (candidates.value(0).startsWith(QLatin1Char('@')))
        return candidates;
    QStringList kept;
    for (const QString &candidate : candidates) {
        if (candidate.startsWith(typed))
            kept.append(candidate);
    }
    return kept;
}

} // namespace

QStringList completeCommandLine(const QStringList &words, qsizetype current)
{
    if (current < 0 || current > words.size())
        return {};
    // The scope is "" before the command, then the command ("fleet check" for a fleet's).
    QString scope;
    bool command = false;
    int positional = 0;
    for (qsizetype i = 0; i < current; ++i) {
        const QString &word = words.at(i);
        const auto arguments = argumentsOf(scope);
        const auto option = std::find_if(arguments.cbegin(), arguments.cend(), [&](auto *a) {
            return a->isOption() && a->value && word == QLatin1String(a->word);
        });
        if (option != arguments.cend()) {
            if (i + 1 == current)
                return startingWith(valuesFor(**option, words, words.value(current)),
                                    words.value(current));
            ++i;
        } else if (word.startsWith(QLatin1Char('-'))) {
            continue;
        } else if (!command || scope == QLatin1String("fleet")) {
            scope = scope.isEmpty() ? word : scope + QLatin1Char(' ') + word;
            command = true;
        } else {
            ++positional;
        }
    }
    const QString typed = words.value(current);
    QStringList candidates;
    const auto arguments = argumentsOf(scope);
    // "--qam=QAM-6": the option's values, each after "--qam=".
    if (const qsizetype equals = typed.indexOf(QLatin1Char('='));
        typed.startsWith(QLatin1Char('-')) && equals > 0) {
        for (const ArgumentDescription *argument : arguments) {
            if (argument->value && typed.left(equals) == QLatin1String(argument->word)) {
                for (const QString &value : valuesFor(*argument, words, typed.mid(equals + 1)))
                    candidates.append(value.startsWith(QLatin1Char('@'))
                                          ? value
                                          : typed.left(equals + 1) + value);
            }
        }
        return startingWith(candidates, typed);
    }
    std::vector<const ArgumentDescription *> positionals;
    std::copy_if(arguments.cbegin(), arguments.cend(), std::back_inserter(positionals),
                 [](auto *a) { return !a->isOption(); });
    if (typed.startsWith(QLatin1Char('-')) ||
        (command && scope != QLatin1String("fleet") && positional >= int(positionals.size()))) {
        for (const ArgumentDescription *argument : arguments) {
            if (argument->isOption())
                candidates.append(QLatin1String(argument->word));
        }
        candidates.append(QStringLiteral("--help"));
        candidates.removeDuplicates();
    } else if (!command) {
        candidates.append(QStringLiteral("fleet"));
        for (const auto &[name, unused] : ctlCommands())
            candidates.append(name);
    } else if (scope == QLatin1String("fleet")) {
        candidates = fleetCommandNames();
    } else {
        candidates = valuesFor(*positionals.at(size_t(positional)), words, typed);
    }
    return startingWith(candidates, typed);
}

} // namespace keldor
