#pragma once

#include <QDialog>
#include <QStringList>

namespace keldor {

struct UnitDiff;

// Asks before a settings file is written over a headend, showing what the write changes, field
// by field and in the units of the channel window, and naming the values it sends that are in
// none of the program's lists. When nothing changes it says so, and only "Write anyway" writes.
// Every other way out of the dialog writes nothing.
class LoadDiffDialog : public QDialog {
    Q_OBJECT

public:
    LoadDiffDialog(const UnitDiff &diff, const QStringList &outsideLists, const QString &file,
                   QWidget *parent = nullptr);
};

} // namespace keldor
