#include "gui/files/loaddiffdialog.h"

#include "core/model/unitdiff.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace keldor {

namespace {

QTableWidget *changeTable(const UnitDiff &diff, QWidget *parent)
{
    auto *table = new QTableWidget(0, 4, parent);
    table->setObjectName(QStringLiteral("Table_Diff"));
    table->setHorizontalHeaderLabels({QStringLiteral("Channel"), QStringLiteral("Setting"),
                                      QStringLiteral("Headend now"),
                                      QStringLiteral("After loading")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setWordWrap(false);
    const auto addRow = [table](const QStringList &cells) {
        const int row = table->rowCount();
        table->insertRow(row);
        for (int column = 0; column < cells.size(); ++column)
            table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    };
    for (const ChannelChange &change : diff.channels) {
        const QString channel = QString::number(change.channel + 1);
        for (const FieldChange &field : change.fields)
            addRow({channel, field.field, field.before, field.after});
        if (!change.servicesAdded.isEmpty())
            addRow({channel, QStringLiteral("Services added"), QString(),
                    serviceIdsText(change.servicesAdded)});
        if (!change.servicesRemoved.isEmpty())
            addRow({channel, QStringLiteral("Services removed"),
                    serviceIdsText(change.servicesRemoved), QString()});
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

} // namespace

LoadDiffDialog::LoadDiffDialog(const UnitDiff &diff, const QStringList &outsideLists,
                               const QString &file, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("Form_Load_Diff"));
    setWindowTitle(QStringLiteral("Load Settings"));
    auto *layout = new QVBoxLayout(this);
    auto *question = new QLabel(this);
    question->setObjectName(QStringLiteral("Label_Question"));
    // The file's name is the operator's; it shows as typed.
    question->setTextFormat(Qt::PlainText);
    layout->addWidget(question);

    auto *buttons = new QDialogButtonBox(this);
    auto *no = buttons->addButton(QStringLiteral("&No"), QDialogButtonBox::RejectRole);
    no->setObjectName(QStringLiteral("Command_No"));
    QPushButton *write = nullptr;
    if (diff.isEmpty()) {
        question->setText(unchangedText + QStringLiteral(".\nNothing is sent unless you write "
                                                         "the file anyway."));
        write = buttons->addButton(QStringLiteral("&Write anyway"), QDialogButtonBox::AcceptRole);
        write->setObjectName(QStringLiteral("Command_WriteAnyway"));
    } else {
        question->setText(
            QStringLiteral("Loading %1 changes these settings of the headend.\nWrite them?")
                .arg(QDir::toNativeSeparators(file)));
        layout->addWidget(changeTable(diff, this), 1);
        write = buttons->addButton(QStringLiteral("&Yes"), QDialogButtonBox::AcceptRole);
        write->setObjectName(QStringLiteral("Command_Yes"));
    }
    if (!outsideLists.isEmpty()) {
        auto *raw =
            new QLabel(QStringLiteral("Sent as they are, though not in this program's lists:\n  ") +
                           outsideLists.join(QStringLiteral("\n  ")),
                       this);
        raw->setObjectName(QStringLiteral("Label_Outside_Lists"));
        raw->setTextFormat(Qt::PlainText);
        layout->addWidget(raw);
    }
    // The headend is on air: a stray Enter must not overwrite it.
    write->setAutoDefault(false);
    no->setDefault(true);
    no->setFocus();
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (!diff.isEmpty())
        resize(560, 360);
}

} // namespace keldor
