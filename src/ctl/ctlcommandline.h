#pragma once

#include <QString>
#include <QStringList>

namespace keldor {

// Words checked against the description of their command (ctldescription.cpp) by CLI11:
// the words as the command's own checks and work take them ("--option=value" given as two
// words), or why they can't be used.
struct CheckedWords {
    QStringList words;
    QString problem;
};

// The words after the command, or after "fleet COMMAND" for command "fleet COMMAND".
CheckedWords checkCommandWords(const QString &command, const QStringList &words);

// The whole command line up to the command: the link options are checked, the command and its
// words are passed on as they are.
CheckedWords checkLinkWords(const QStringList &words);

// "Did you mean 'NAME'?" for the name closest to a mistyped word, or an empty text when none
// is close.
QString closestNameHint(const QString &word, const QStringList &names);

// A usage error as printed: the problem, the command's one usage line and where to read more.
// An empty command stands for keldor-ctl as a whole.
QString usageErrorText(const QString &command, const QString &problem);

} // namespace keldor
