#pragma once

#include <QStringList>

namespace keldor {

// What the shell may offer for the word at position current of a keldor-ctl command line
// (the words after the program's name), read from the commands' description. A file name is
// the shell's to complete: then the one line "@file", or "@folder" for a folder.
QStringList completeCommandLine(const QStringList &words, qsizetype current);

} // namespace keldor
