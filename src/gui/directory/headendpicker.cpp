#include "gui/directory/headendpicker.h"

#include "core/features/shell/programfolder.h"
#include "gui/station/station.h"

#include <QHeaderView>
#include <QLabel>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

namespace keldor {

namespace {

const QString selectionError = QStringLiteral("Selection Error");
const QString mendIt = QStringLiteral("Mend it under Control › Edit Headends.");

// A text of a marked row, cut where its column ends so the row stays readable.
QString markedValue(const QString &value, int maxLength)
{
    qsizetype end = 0;
    for (int n = 0; n < maxLength && end < value.size(); ++n)
        end += value.at(end).isHighSurrogate() && end + 1 < value.size() ? 2 : 1;
    return end < value.size() ? value.left(end) + QChar(0x2026) : value;
}

} // namespace

HeadendPicker::HeadendPicker(Station &station, QWidget *parent)
    : QDialog(parent)
    , m_station(station)
    , m_grid(new QTableView(this))
{
    setObjectName(QStringLiteral("Form_Headend"));
    setWindowTitle(QStringLiteral("Select Headend"));
    m_grid->setObjectName(QStringLiteral("DBGrid1"));
    m_grid->setModel(&m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setTabKeyNavigation(false);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto *hint = new QLabel(
        QStringLiteral("Double-click a headend, or select it and press Enter, to connect."), this);
    hint->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(hint);
    layout->addWidget(m_grid);
    // Enter and a double click both choose the row under the cursor.
    connect(m_grid, &QTableView::activated, this, &HeadendPicker::activated);
    load();
}

void HeadendPicker::load()
{
    QStringList headers;
    for (const DirectoryColumn &column : directoryColumns)
        headers.append(QLatin1String(column.name));
    m_model.setHorizontalHeaderLabels(headers);
    // The selection only reads the directory.
    const bool opened = m_directory.open(programFolder(), HeadendDirectory::Access::ReadOnly);
    int firstUsable = -1;
    for (int row = 0; opened && row < m_directory.count(); ++row) {
        const QString problem = m_directory.rowProblem(row);
        const auto values = columnValues(m_directory.row(row));
        QList<QStandardItem *> items;
        for (size_t i = 0; i < values.size(); ++i) {
            auto *item = new QStandardItem(values[i]);
            // A marked row is shown, greyed, but can't be chosen until it is mended.
            if (!problem.isEmpty()) {
                item->setText(markedValue(values[i], directoryColumns[i].maxLength));
                item->setFlags(Qt::NoItemFlags);
                item->setToolTip(problem + QLatin1Char(' ') + mendIt);
            }
            items.append(item);
        }
        if (!problem.isEmpty())
            items.first()->setIcon(style()->standardIcon(QStyle::SP_MessageBoxWarning));
        else if (firstUsable < 0)
            firstUsable = row;
        m_model.appendRow(items);
    }
    m_grid->resizeColumnsToContents();
    m_grid->setMinimumWidth(
        m_grid->horizontalHeader()->length() + m_grid->verticalHeader()->sizeHint().width() +
        2 * m_grid->frameWidth() + m_grid->fontMetrics().averageCharWidth() * 12);
    if (firstUsable >= 0)
        m_grid->setCurrentIndex(m_model.index(firstUsable, 0));

    m_station.session.lan.close();
    ShellState &shell = m_station.shell;
    shell.activeHeadendName = QStringLiteral("non");
    m_station.ui.setStatusPanel(3, QStringLiteral("Offline"));
    m_station.ui.setStatusPanel(2, QStringLiteral("Active Headend: ") + shell.activeHeadendName);

    if (!opened) {
        m_station.ui.message(UserInterface::Icon::Critical, selectionError,
                             m_directory.lastError());
    } else if (m_directory.count() == 0) {
        m_station.ui.message(UserInterface::Icon::Critical, selectionError,
                             QStringLiteral("   Selection not possible.\r"
                                            "Please edit a headend first!"));
    }
}

void HeadendPicker::activated(const QModelIndex &index)
{
    if (index.isValid())
        choose(index.row());
}

void HeadendPicker::choose(int row)
{
    if (row < 0 || row >= m_directory.count())
        return;
    if (const QString problem = m_directory.rowProblem(row); !problem.isEmpty()) {
        m_station.ui.message(UserInterface::Icon::Critical, selectionError,
                             QStringLiteral("Headend number %1 can't be selected: %2\r%3")
                                 .arg(row + 1)
                                 .arg(problem, mendIt));
        return;
    }
    const HeadendEntry entry = m_directory.row(row);
    makeActiveHeadend(m_station, entry.name, entry.ip, entry.port);
    accept();
}

void makeActiveHeadend(Station &station, const QString &name, const QString &ip,
                       const QString &port)
{
    station.session.lan.close();
    ShellState &shell = station.shell;
    shell.activeHeadendName = name;
    shell.activeHeadendIp = ip;
    shell.activeHeadendPort = port;
    station.ui.setStatusPanel(3, QStringLiteral("Offline"));
    station.ui.setStatusPanel(2, QStringLiteral("Active Headend: ") + name);
}

} // namespace keldor
