#include "gui/services/servicelistwindow.h"

#include "gui/station/station.h"
#include "gui/ui/programicons.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace keldor {

namespace {

QLabel *label(QWidget *parent, const QString &name, const QString &caption)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // Enter on a list means the list's own action, never a button that has no focus.
    button->setAutoDefault(false);
    return button;
}

void showServices(QListWidget *list, const QList<Service> &services)
{
    list->clear();
    for (const Service &service : services) {
        auto *item = new QListWidgetItem(service.name, list);
        item->setData(Qt::UserRole, service.id);
    }
}

} // namespace

ServiceListWindow::ServiceListWindow(Station &station, int channel, QWidget *parent)
    : QDialog(parent)
    , m_editor(station.session.exchange, station.unit, channel)
    , m_offline(!station.shell.offlineFile.isEmpty())
    , m_recordMode(station.unit.channel(channel).serviceMode)
{
    station.unit.currentChannel = channel;
    setObjectName(QStringLiteral("Form_Servicelist"));
    setModal(true);
    setWindowTitle(m_editor.caption());
    setWindowIcon(programIcon(QStringLiteral("sat.ico")));
    buildControls();
}

void ServiceListWindow::buildControls()
{
    m_inputList = new QListWidget(this);
    m_inputList->setObjectName(QStringLiteral("List_Servicename_Input"));
    m_outputList = new QListWidget(this);
    m_outputList->setObjectName(QStringLiteral("List_Servicename_Output"));
    m_inputCount = label(this, QStringLiteral("Label_Anzahl_Input"), {});
    m_outputCount = label(this, QStringLiteral("Label_Anzahl_Output"), {});
    m_addAll = button(this, QStringLiteral("Command_AddAll"), QStringLiteral("Add All  >>"));
    m_removeAll =
        button(this, QStringLiteral("Command_RemoveAll"), QStringLiteral("<<  Remove All"));
    m_save = button(this, QStringLiteral("Command_Save"), QStringLiteral("Save / Back"));

    auto *grid = new QGridLayout(this);
    grid->addWidget(label(this, QStringLiteral("Label_Servicelist_Input"),
                          QStringLiteral("Input Servicelist:")),
                    0, 0);
    grid->addWidget(label(this, QStringLiteral("Label_Servicelist_Output"),
                          QStringLiteral("Output Servicelist:")),
                    0, 2);
    grid->addWidget(m_inputList, 1, 0);
    grid->addWidget(m_outputList, 1, 2);

    auto *middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(m_addAll);
    middle->addWidget(m_removeAll);
    middle->addStretch();
    grid->addLayout(middle, 1, 1);

    const auto countRow = [this](int index, QLabel *count) {
        auto *row = new QHBoxLayout;
        row->addWidget(label(this, QStringLiteral("Label_Services_Found_%1").arg(index),
                             QStringLiteral("Services found")));
        row->addWidget(count);
        row->addStretch();
        return row;
    };
    grid->addLayout(countRow(0, m_inputCount), 2, 0);
    grid->addLayout(countRow(1, m_outputCount), 2, 2);

    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(m_save);
    grid->addLayout(bottom, 3, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(2, 1);

    setTabOrder(m_inputList, m_addAll);
    setTabOrder(m_addAll, m_removeAll);
    setTabOrder(m_removeAll, m_outputList);
    setTabOrder(m_outputList, m_save);

    m_inputList->installEventFilter(this);
    m_outputList->installEventFilter(this);
    connect(m_inputList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem *item) { addInput(m_inputList->row(item)); });
    connect(m_outputList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem *item) { removeOutput(m_outputList->row(item)); });
    connect(m_addAll, &QPushButton::clicked, this, &ServiceListWindow::addAll);
    connect(m_removeAll, &QPushButton::clicked, this, &ServiceListWindow::removeAll);
    connect(m_save, &QPushButton::clicked, this, &ServiceListWindow::save);
}

void ServiceListWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // The lists are read once: reading them again on a later activation would throw away
    // what the operator has chosen so far. The read waits for the headend, so it starts once
    // the window is on screen.
    if (!m_filled) {
        m_filled = true;
        QTimer::singleShot(0, this, &ServiceListWindow::fill);
    }
}

void ServiceListWindow::reject()
{
    // Closing by the frame or Escape sends nothing, but waits for a running exchange.
    if (!m_busy)
        QDialog::reject();
}

bool ServiceListWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == m_inputList && m_inputList->currentRow() >= 0)
                addInput(m_inputList->currentRow());
            else if (watched == m_outputList && m_outputList->currentRow() >= 0)
                removeOutput(m_outputList->currentRow());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ServiceListWindow::fill()
{
    if (m_offline) {
        showListedIds(m_recordMode);
        return;
    }
    setBusy(true);
    const bool complete = m_editor.fill();
    setBusy(false);
    showInput();
    // A read that failed before the selection leaves the output count blank rather than
    // claiming that no service passes.
    if (complete || !m_editor.output().isEmpty())
        showOutput();
}

void ServiceListWindow::showListedIds(quint8 mode)
{
    m_editor.fillFromRecord();
    showOutput();
    const QString heading = mode == servicemode::listed         ? QStringLiteral("Passed (IDs):")
                            : mode == servicemode::allButListed ? QStringLiteral("All but (IDs):")
                                                                : QStringLiteral("All services");
    findChild<QLabel *>(QStringLiteral("Label_Servicelist_Output"))->setText(heading);
    for (QWidget *control : {static_cast<QWidget *>(m_inputList), static_cast<QWidget *>(m_addAll),
                             static_cast<QWidget *>(m_removeAll)})
        control->setEnabled(false);
}

void ServiceListWindow::showInput()
{
    showServices(m_inputList, m_editor.input());
    if (const auto count = m_editor.inputCount())
        m_inputCount->setText(QString::number(*count));
    if (m_inputList->count() > 0)
        m_inputList->setCurrentRow(0);
}

void ServiceListWindow::showOutput()
{
    const int row = m_outputList->currentRow();
    showServices(m_outputList, m_editor.output());
    m_outputCount->setText(QString::number(m_editor.output().size()));
    // Keeps the keyboard user's place after an entry went.
    if (m_outputList->count() > 0 && row >= 0)
        m_outputList->setCurrentRow(qMin(row, m_outputList->count() - 1));
}

void ServiceListWindow::addInput(int row)
{
    if (m_offline)
        return;
    m_editor.addInput(row);
    showOutput();
}

void ServiceListWindow::removeOutput(int row)
{
    if (m_offline)
        return;
    m_editor.removeOutput(row);
    showOutput();
}

void ServiceListWindow::addAll()
{
    m_editor.addAll();
    showOutput();
}

void ServiceListWindow::removeAll()
{
    m_editor.removeAll();
    showOutput();
}

void ServiceListWindow::save()
{
    setBusy(true);
    const ServiceListEditor::SaveResult result = m_editor.save();
    // After a failed write the headend holds a partly written selection that this window
    // can't repair; the operator can only close it and open the list again.
    m_sendFailed = result == ServiceListEditor::SaveResult::Failed;
    setBusy(false);
    if (result == ServiceListEditor::SaveResult::Unchanged ||
        result == ServiceListEditor::SaveResult::Sent)
        accept();
}

void ServiceListWindow::setBusy(bool busy)
{
    m_busy = busy;
    const bool editable = !busy && !m_sendFailed;
    const QList<QWidget *> controls{m_inputList, m_outputList, m_addAll, m_removeAll, m_save};
    for (QWidget *control : controls)
        control->setEnabled(editable);
}

} // namespace keldor
