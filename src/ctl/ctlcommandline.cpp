#include "ctlcommandline.h"

#include "ctldescription.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <vector>

namespace keldor {

namespace {

QStringList optionNames(const std::vector<const ArgumentDescription *> &arguments)
{
    QStringList names;
    for (const ArgumentDescription *argument : arguments) {
        if (argument->isOption())
            names.append(QLatin1String(argument->word));
    }
    if (!names.contains(QLatin1String("--help")))
        names.append(QStringLiteral("--help"));
    return names;
}

const ArgumentDescription *valuedOption(const std::vector<const ArgumentDescription *> &arguments,
                                        QStringView name)
{
    const auto found = std::find_if(arguments.cbegin(), arguments.cend(), [&](const auto *a) {
        return a->isOption() && a->value && name == QLatin1String(a->word);
    });
    return found == arguments.cend() ? nullptr : *found;
}

// "--qam=QAM-64" as "--qam" "QAM-64" for an option that takes a value, so the commands see
// one form; up to the command's word when stopAtCommand.
QStringList splitAssignments(const std::vector<const ArgumentDescription *> &arguments,
                             const QStringList &words, bool stopAtCommand)
{
    QStringList split;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (stopAtCommand && !word.startsWith(QLatin1String("--")))
            return split + words.mid(i);
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        if (word.startsWith(QLatin1String("--")) && equals > 2 &&
            valuedOption(arguments, QStringView(word).left(equals))) {
            split << word.left(equals) << word.mid(equals + 1);
            continue;
        }
        split.append(word);
        if (stopAtCommand && valuedOption(arguments, word) && i + 1 < words.size())
            split.append(words.at(++i));
    }
    return split;
}

int editDistance(const QString &a, const QString &b)
{
    std::vector<int> row(size_t(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[size_t(j)];
            row[size_t(j)] = std::min({above + 1, row[size_t(j - 1)] + 1,
                                       diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row.back();
}

QString unknownOption(const QString &word, const QStringList &names)
{
    const QString name = word.section(QLatin1Char('='), 0, 0);
    const QString hint = closestNameHint(name, names);
    return QStringLiteral("unknown option %1").arg(name) +
           (hint.isEmpty() ? hint : QLatin1Char('\n') + hint);
}

// CLI11 over the words, options and positional arguments as described; an option it doesn't
// know ends up among the remaining words.
CheckedWords parseWords(const std::vector<const ArgumentDescription *> &arguments,
                        const QStringList &words, bool stopAtCommand)
{
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    app.prefix_command(stopAtCommand);
    for (const ArgumentDescription *argument : arguments) {
        if (!argument->isOption())
            continue;
        if (argument->value)
            app.add_option(argument->word)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        else
            app.add_flag(argument->word);
    }
    if (!app.get_option_no_throw("--help"))
        app.add_flag("--help");
    std::vector<std::string> positional;
    if (!stopAtCommand)
        app.add_option("arguments", positional);

    CheckedWords checked{splitAssignments(arguments, words, stopAtCommand), {}};
    std::vector<std::string> reversed;
    for (auto word = checked.words.crbegin(); word != checked.words.crend(); ++word)
        reversed.push_back(word->toStdString());
    try {
        app.parse(reversed);
    } catch (const CLI::ArgumentMismatch &e) {
        const QString what = QString::fromStdString(e.what());
        checked.problem =
            QStringLiteral("%1 needs a value").arg(what.section(QLatin1Char(':'), 0, 0));
        return checked;
    } catch (const CLI::ParseError &e) {
        checked.problem = QString::fromStdString(e.what());
        return checked;
    }
    const std::vector<std::string> rest = app.remaining();
    // keldor-ctl has no short options: "-5" or "-abc" is a value, never an option. Before the
    // command, only what stands before the command's word.
    const auto last = stopAtCommand && !rest.empty() ? rest.cbegin() + 1 : rest.cend();
    const auto unknown = std::find_if(rest.cbegin(), last, [](const std::string &word) {
        return word.rfind("--", 0) == 0 && word != "--";
    });
    if (unknown != last)
        checked.problem = unknownOption(QString::fromStdString(*unknown), optionNames(arguments));
    return checked;
}

} // namespace

CheckedWords checkCommandWords(const QString &command, const QStringList &words)
{
    return parseWords(argumentsOf(command), words, false);
}

CheckedWords checkLinkWords(const QStringList &words)
{
    return parseWords(argumentsOf(QString()), words, true);
}

QString closestNameHint(const QString &word, const QStringList &names)
{
    QString closest;
    int best = 0;
    for (const QString &name : names) {
        const int distance = editDistance(word, name);
        if (closest.isEmpty() || distance < best) {
            closest = name;
            best = distance;
        }
    }
    // Two slips in a long name, one in a short one; anything further is another word.
    const int allowed = QString(word).remove(QLatin1Char('-')).size() > 5 ? 2 : 1;
    if (closest.isEmpty() || best > allowed || best == 0)
        return {};
    return QStringLiteral("Did you mean '%1'?").arg(closest);
}

QString usageErrorText(const QString &command, const QString &problem)
{
    QString usage;
    if (command.isEmpty())
        usage = QStringLiteral("keldor-ctl LINK [--verbose] [--trace FILE [--overwrite]] COMMAND "
                               "[ARGUMENTS]");
    else if (command == QLatin1String("fleet"))
        usage = QStringLiteral("keldor-ctl fleet ") +
                fleetCommandNames().join(QStringLiteral(" | ")) + QStringLiteral(" [OPTIONS]");
    else if (command.startsWith(QLatin1String("fleet ")))
        usage = QStringLiteral("keldor-ctl ") + synopsisOf(command);
    else
        usage = QStringLiteral("keldor-ctl LINK ") + synopsisOf(command);
    const QString helpFor = command.isEmpty() ? QString() : command.section(' ', 0, 0) + ' ';
    return QStringLiteral("keldor-ctl: %1\nusage: %2\nTry 'keldor-ctl %3--help'.\n")
        .arg(problem, usage, helpFor);
}

} // namespace keldor
