#include "gui/fleet/headendsoverview.h"

#include "core/features/directory/directoryfile.h"
#include "core/features/shell/programfolder.h"
#include "core/features/update/backup.h"
#include "gui/app/mainwindow.h"
#include "gui/directory/headendpicker.h"
#include "gui/station/station.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonObject>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>

namespace keldor {

namespace {

enum Column {
    NameColumn,
    AddressColumn,
    StateColumn,
    TemperatureColumn,
    OutputsColumn,
    ControllerColumn,
    FpgaColumn,
    CheckedColumn,
    DetailsColumn,
    ColumnCount
};

const QStringList headers{
    QStringLiteral("Name"),        QStringLiteral("Address"),       QStringLiteral("State"),
    QStringLiteral("Temperature"), QStringLiteral("Locked/Active"), QStringLiteral("Controller"),
    QStringLiteral("FPGA"),        QStringLiteral("Last Check"),    QStringLiteral("Details")};

const QString neverChecked = QStringLiteral("never checked");

// The colours monitoring dashboards give the four states, with a text colour that reads on them.
struct StateColours {
    QColor background;
    QColor text;
};

StateColours stateColours(HealthStatus status)
{
    switch (status) {
    case HealthStatus::Ok:
        return {QColor(0x3c, 0xb3, 0x71), Qt::white};
    case HealthStatus::Warning:
        return {QColor(0xff, 0xb3, 0x00), Qt::black};
    case HealthStatus::Critical:
        return {QColor(0xe0, 0x3c, 0x3c), Qt::white};
    case HealthStatus::Unknown:
        break;
    }
    return {QColor(0x9c, 0x5a, 0xd6), Qt::white};
}

// The texts of a row's measured columns, from State on.
std::array<QString, ColumnCount> statusTexts(const HeadendStatus &status)
{
    std::array<QString, ColumnCount> texts;
    if (!status.checked) {
        texts[StateColumn] = neverChecked;
        return texts;
    }
    const HealthReport &report = status.report;
    texts[StateColumn] = healthStatusName(report.status);
    if (status.temperature)
        texts[TemperatureColumn] = QStringLiteral("%1 °C").arg(*status.temperature);
    if (report.status != HealthStatus::Unknown)
        texts[OutputsColumn] =
            QStringLiteral("%1/%2").arg(status.lockedOutputs).arg(status.activeOutputs);
    texts[ControllerColumn] = status.controllerVersion;
    texts[FpgaColumn] = status.fpgaVersion;
    texts[CheckedColumn] = status.checkedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    texts[DetailsColumn] = report.summary;
    return texts;
}

QString chooseFolder(QWidget *parent)
{
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Back Up All Headends"),
                                             standardBackupFolder());
}

} // namespace

HeadendsOverview::HeadendsOverview(Station &station, MainWindow &mainWindow, QWidget *parent)
    : QWidget(parent)
    , m_station(station)
    , m_mainWindow(mainWindow)
    , m_run(station.session.timing)
    , m_chooseFolder(chooseFolder)
    , m_grid(new QTableWidget(this))
    , m_checkAll(new QPushButton(QStringLiteral("&Check All"), this))
    , m_backUpAll(new QPushButton(QStringLiteral("&Back Up All..."), this))
    , m_progress(new QProgressBar(this))
    , m_summary(new QLabel(this))
{
    setObjectName(QStringLiteral("Headends"));
    setWindowTitle(QStringLiteral("Headends Overview"));
    m_grid->setObjectName(QStringLiteral("Grid"));
    m_checkAll->setObjectName(QStringLiteral("Check_All"));
    m_backUpAll->setObjectName(QStringLiteral("Backup_All"));
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_summary->setObjectName(QStringLiteral("Summary"));

    m_grid->setColumnCount(ColumnCount);
    m_grid->setHorizontalHeaderLabels(headers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setTabKeyNavigation(false);
    m_grid->verticalHeader()->hide();
    m_grid->setWordWrap(false);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_progress->setTextVisible(true);
    m_progress->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_checkAll);
    buttons->addWidget(m_backUpAll);
    buttons->addWidget(m_progress, 1);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(
        QStringLiteral("Double-click a headend, or select it and press Enter, to open it."), this));
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_summary);
    layout->addLayout(buttons);

    // Enter and a double click both open the row.
    connect(m_grid, &QTableWidget::activated, this,
            [this](const QModelIndex &index) { openHeadend(index.row()); });
    connect(m_checkAll, &QPushButton::clicked, this, &HeadendsOverview::checkAll);
    connect(m_backUpAll, &QPushButton::clicked, this, &HeadendsOverview::backUpAll);
    connect(&m_run, &FleetRun::checked, this, [this](qsizetype index, const HeadendStatus &status) {
        m_statuses[index] = status;
        showRow(int(index));
        m_grid->resizeColumnsToContents();
    });
    connect(&m_run, &FleetRun::progressed, this, &HeadendsOverview::showProgress);
    connect(&m_run, &FleetRun::backupFinished, this, &HeadendsOverview::showBackup);
    connect(&m_run, &FleetRun::finished, this, &HeadendsOverview::endRun);
    load();
}

void HeadendsOverview::load()
{
    m_directoryPath = directoryPath(programFolder());
    // The directory's headends are reached as the station reaches them, through its proxy
    // when that is switched on.
    const ShellState &shell = m_station.shell;
    const bool proxy = shell.proxyUse == 1;
    const FleetMembers members = readFleetDirectory(
        m_directoryPath, proxy ? shell.proxyIp : QString(), proxy ? shell.proxyPort : QString());
    if (const auto *problem = std::get_if<QString>(&members)) {
        m_summary->setText(*problem);
        m_checkAll->setEnabled(false);
        m_backUpAll->setEnabled(false);
        return;
    }
    m_members = std::get<QList<FleetMember>>(members);
    m_statuses = QList<HeadendStatus>(m_members.size());
    m_grid->setRowCount(int(m_members.size()));
    for (int row = 0; row < m_grid->rowCount(); ++row) {
        for (int column = 0; column < ColumnCount; ++column)
            m_grid->setItem(row, column, new QTableWidgetItem);
        const FleetMember &member = m_members.at(row);
        m_grid->item(row, NameColumn)->setText(member.name);
        m_grid->item(row, AddressColumn)->setText(member.address());
        showRow(row);
    }
    m_grid->resizeColumnsToContents();
    m_summary->setText(QStringLiteral("%1 headends").arg(m_members.size()));
}

void HeadendsOverview::showRow(int row)
{
    const HeadendStatus &status = m_statuses.at(row);
    const auto texts = statusTexts(status);
    for (int column = StateColumn; column < ColumnCount; ++column)
        m_grid->item(row, column)->setText(texts[size_t(column)]);
    QTableWidgetItem *state = m_grid->item(row, StateColumn);
    if (status.checked) {
        const StateColours colours = stateColours(status.report.status);
        state->setBackground(colours.background);
        state->setForeground(colours.text);
    } else {
        state->setBackground({});
        state->setForeground({});
    }
    // A row the directory holds too long for its columns is never dialled; it says why.
    const QString refused = m_members.at(row).refused;
    if (!status.checked && !refused.isEmpty())
        m_grid->item(row, DetailsColumn)->setText(refused);
    m_grid->item(row, DetailsColumn)->setToolTip(m_grid->item(row, DetailsColumn)->text());
}

void HeadendsOverview::checkAll()
{
    if (isRunning() || m_members.isEmpty())
        return;
    startRun(int(m_members.size()));
    m_summary->setText(QStringLiteral("Checking %1 headends...").arg(m_members.size()));
    for (int row = 0; row < m_grid->rowCount(); ++row)
        m_grid->item(row, StateColumn)->setText(QStringLiteral("checking..."));
    m_run.checkAll(m_members);
}

void HeadendsOverview::backUpAll()
{
    if (isRunning() || m_members.isEmpty())
        return;
    const QString folder = m_chooseFolder(this);
    if (folder.isEmpty())
        return;
    startRun(int(m_members.size()));
    m_summary->setText(QStringLiteral("Backing up into %1...").arg(folder));
    m_run.backUpAll(m_directoryPath, folder);
}

void HeadendsOverview::startRun(int total)
{
    m_checkAll->setEnabled(false);
    m_backUpAll->setEnabled(false);
    m_progress->setRange(0, total);
    m_progress->setValue(0);
    m_progress->setFormat(QStringLiteral("%v of %m"));
    m_progress->show();
}

void HeadendsOverview::showProgress(int done, int total)
{
    m_progress->setRange(0, total);
    m_progress->setValue(done);
}

void HeadendsOverview::endRun()
{
    m_checkAll->setEnabled(true);
    m_backUpAll->setEnabled(true);
    m_progress->hide();
    m_summary->setText(summary());
    emit runEnded();
}

// The counts of keldor-ctl fleet check's summary line.
QString HeadendsOverview::summary() const
{
    std::array<int, 4> counts{};
    int checked = 0;
    for (const HeadendStatus &status : m_statuses) {
        if (status.checked) {
            ++checked;
            ++counts[size_t(status.report.status)];
        }
    }
    if (checked == 0)
        return QStringLiteral("%1 headends").arg(m_members.size());
    return QStringLiteral("%1 headends: %2 OK, %3 WARNING, %4 CRITICAL, %5 UNKNOWN")
        .arg(m_members.size())
        .arg(counts[0])
        .arg(counts[1])
        .arg(counts[2])
        .arg(counts[3]);
}

void HeadendsOverview::showBackup(const FleetBackupResult &result)
{
    QStringList failures;
    qsizetype written = 0;
    for (const QJsonObject &headend : result.headends) {
        if (headend.value(QStringLiteral("ok")).toBool())
            ++written;
        else
            failures.append(headend.value(QStringLiteral("name")).toString() +
                            QStringLiteral(": ") +
                            headend.value(QStringLiteral("message")).toString());
    }
    // Without a line per headend the backup never started: its notes say why.
    const bool started = !result.headends.isEmpty();
    QString text = started ? QStringLiteral("Backed up %1 of %2 headends.")
                                 .arg(written)
                                 .arg(result.headends.size())
                           : QStringLiteral("No headend was backed up.");
    const QStringList reasons = started ? failures + result.notes : result.notes;
    if (!reasons.isEmpty())
        text += QLatin1Char('\n') + reasons.join(QLatin1Char('\n'));
    const bool allWritten = started && failures.isEmpty() && result.exitStatus == 0;
    m_station.ui.message(allWritten ? UserInterface::Icon::Information
                                    : UserInterface::Icon::Critical,
                         QStringLiteral("Back Up All"), text);
}

void HeadendsOverview::openHeadend(int row)
{
    if (row < 0 || row >= m_members.size())
        return;
    const FleetMember &member = m_members.at(row);
    if (!member.refused.isEmpty()) {
        m_station.ui.message(UserInterface::Icon::Critical, QStringLiteral("Selection Error"),
                             member.refused);
        return;
    }
    // As Select Active Headend does, every other window closes first; one that keeps unsaved
    // work open keeps the headend unasked. This window stays, with its checks running.
    for (QMdiSubWindow *child : m_mainWindow.mdiArea()->subWindowList(QMdiArea::CreationOrder)) {
        if (child->widget() != this && !child->close())
            return;
    }
    makeActiveHeadend(m_station, member.name, member.host, member.port);
    if (lanConnect(m_station.session, m_station.lanTarget()))
        m_mainWindow.openWindow(HeadendWindow::Program);
}

} // namespace keldor
