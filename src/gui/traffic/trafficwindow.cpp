#include "gui/traffic/trafficwindow.h"

#include "core/protocol/session.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace keldor {

namespace {

const QStringList columns{QStringLiteral("ms"),   QStringLiteral("Link"),
                          QStringLiteral("Dir"),  QStringLiteral("Channel"),
                          QStringLiteral("Code"), QStringLiteral("Meaning"),
                          QStringLiteral("Bytes")};

// The meaning without the channel and code, which have columns of their own.
QString meaningText(QJsonObject meaning)
{
    const QString kind = meaning.take(QStringLiteral("kind")).toString();
    meaning.remove(QStringLiteral("channel"));
    meaning.remove(QStringLiteral("code"));
    QStringList parts{kind};
    for (auto it = meaning.constBegin(); it != meaning.constEnd(); ++it) {
        const QJsonValue value = it.value();
        const QString text =
            value.isString() ? value.toString()
            : value.isArray()
                ? QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact))
                : value.toVariant().toString();
        parts.append(it.key() + QLatin1Char('=') + text);
    }
    return parts.join(QLatin1Char(' '));
}

// "51", "0x51" and "0X51" all name code 0x51; anything else names no code.
int codeOf(const QString &text)
{
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    bool ok = false;
    const int code = digits.toInt(&ok, 16);
    return ok && code >= 0 && code <= 0xFF ? code : -1;
}

// The window may stay open for a whole shift while the keep-alive ticks; it shows the newest
// lines only, the recorded file keeps them all.
constexpr int keptLines = 20000;

} // namespace

TrafficWindow::TrafficWindow(Session &session, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_trace(session)
    , m_table(new QTableWidget(0, int(columns.size()), this))
{
    setObjectName(QStringLiteral("Traffic"));
    setWindowTitle(QStringLiteral("Traffic"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_table->setObjectName(QStringLiteral("TrafficTable"));
    m_table->setHorizontalHeaderLabels(columns);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto *layout = new QVBoxLayout(this);
    buildFilter();
    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Channel:"), this));
    bar->addWidget(m_channel);
    bar->addWidget(new QLabel(QStringLiteral("Code:"), this));
    bar->addWidget(m_code);
    bar->addStretch();
    bar->addWidget(m_repeatsLabel);
    bar->addWidget(m_heldLabel);
    bar->addWidget(m_pause);
    layout->addLayout(bar);
    layout->addWidget(m_table);
    resize(900, 500);

    connect(&m_trace, &TrafficTrace::recorded, this, &TrafficWindow::add);
    // A link that loses answers works on, slower; the count tells the operator why.
    const Exchange &exchange = session.exchange;
    connect(&exchange, &Exchange::repeating, this, [this, &exchange] {
        m_repeatsLabel->setText(QStringLiteral("Reads asked again: %1").arg(exchange.repeats()));
    });
}

void TrafficWindow::buildFilter()
{
    m_channel = new QComboBox(this);
    m_channel->setObjectName(QStringLiteral("TrafficChannel"));
    m_channel->addItem(QStringLiteral("All"), -1);
    for (int channel = 0; channel < 16; ++channel)
        m_channel->addItem(QString::number(channel), channel);
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("TrafficCode"));
    m_code->setPlaceholderText(QStringLiteral("All, or e.g. 0x51"));
    m_pause = new QPushButton(QStringLiteral("Pause"), this);
    m_pause->setObjectName(QStringLiteral("TrafficPause"));
    m_pause->setCheckable(true);
    m_heldLabel = new QLabel(this);
    m_heldLabel->setObjectName(QStringLiteral("TrafficHeld"));
    m_repeatsLabel = new QLabel(this);
    m_repeatsLabel->setObjectName(QStringLiteral("TrafficRepeats"));
    connect(m_channel, &QComboBox::currentIndexChanged, this, &TrafficWindow::applyFilter);
    connect(m_code, &QLineEdit::textChanged, this, &TrafficWindow::applyFilter);
    connect(m_pause, &QPushButton::toggled, this, &TrafficWindow::setPaused);
}

void TrafficWindow::setPaused(bool paused)
{
    m_pause->setChecked(paused);
    m_pause->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    if (paused)
        return;
    for (const TraceLine &line : std::exchange(m_held, {}))
        appendRow(line);
    m_heldLabel->clear();
}

int TrafficWindow::visibleRows() const
{
    int rows = 0;
    for (int row = 0; row < m_table->rowCount(); ++row)
        rows += m_table->isRowHidden(row) ? 0 : 1;
    return rows;
}

void TrafficWindow::add(const TraceLine &line)
{
    if (m_pause->isChecked()) {
        m_held.append(line);
        if (m_held.size() > keptLines)
            m_held.removeFirst();
        m_heldLabel->setText(QStringLiteral("%1 held").arg(m_held.size()));
        return;
    }
    appendRow(line);
}

void TrafficWindow::appendRow(const TraceLine &line)
{
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    const QJsonObject &meaning = line.meaning;
    const QStringList cells{QString::number(line.tMs),
                            line.link,
                            line.direction,
                            meaning.contains(QStringLiteral("channel"))
                                ? QString::number(meaning.value(QStringLiteral("channel")).toInt())
                                : QString(),
                            meaning.value(QStringLiteral("code")).toString(),
                            meaningText(meaning),
                            QString::fromLatin1(line.bytes.toHex(' '))};
    for (int column = 0; column < cells.size(); ++column)
        m_table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    m_shown.append(line);
    m_table->setRowHidden(row, !passes(line));
    if (!m_table->isRowHidden(row))
        m_table->scrollToItem(m_table->item(row, 0));
    if (m_table->rowCount() > keptLines) {
        m_table->removeRow(0);
        m_shown.removeFirst();
    }
}

bool TrafficWindow::passes(const TraceLine &line) const
{
    const int channel = m_channel->currentData().toInt();
    if (channel >= 0 && line.meaning.value(QStringLiteral("channel")).toInt(-1) != channel)
        return false;
    if (m_code->text().trimmed().isEmpty())
        return true;
    const int code = codeOf(m_code->text());
    return code >= 0 && codeOf(line.meaning.value(QStringLiteral("code")).toString()) == code;
}

void TrafficWindow::applyFilter()
{
    for (int row = 0; row < m_table->rowCount(); ++row)
        m_table->setRowHidden(row, !passes(m_shown.at(row)));
}

} // namespace keldor
