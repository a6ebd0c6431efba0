#include "gui/network/lansettingsdialog.h"

#include "core/protocol/reconnect.h"
#include "gui/app/mainwindow.h"
#include "gui/station/station.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace keldor {

namespace {

constexpr QChar backspace(8);

OctetTexts texts(const std::array<QLineEdit *, 4> &row)
{
    OctetTexts out;
    for (size_t i = 0; i < row.size(); ++i)
        out.at(i) = row.at(i)->text();
    return out;
}

void fill(const std::array<QLineEdit *, 4> &row, const std::optional<OctetTexts> &octets)
{
    if (!octets)
        return;
    for (size_t i = 0; i < row.size(); ++i)
        row.at(i)->setText(octets->at(i));
}

// After the dialog has gone: the headend restarts with its new settings and is connected
// again at its new address. Nothing of the dialog may be touched here.
void reconnectAfterSave(Station &station, MainWindow &mainWindow, const QString &serialPort)
{
    Session &session = station.session;
    const LanTarget target = station.lanTarget();
    if (!waitForRestart(session, target, serialPort,
                        QStringLiteral("Headend is now initializing with new LAN-Settings, "
                                       "please wait...")))
        return;
    // Over USB the window opening finds the port again itself.
    if (mainWindow.usbChecked() || lanConnect(session, target))
        mainWindow.openHeadendWindow(HeadendWindow::Program);
}

} // namespace

LanSettingsDialog::LanSettingsDialog(Station &station, MainWindow &mainWindow, QWidget *parent)
    : QDialog(parent)
    , m_station(station)
    , m_mainWindow(mainWindow)
    , m_gatewayLabel(new QLabel(QStringLiteral("Gateway:"), this))
    , m_port(new QLineEdit(this))
    , m_save(new QPushButton(QStringLiteral("Save"), this))
{
    setObjectName(QStringLiteral("Form_Edit_LAN"));
    setWindowTitle(QStringLiteral("LAN-Parameter"));

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(2);
    m_ip =
        addRow(*grid, QStringLiteral("Text_IP"), 0, new QLabel(QStringLiteral("IP-Adress:"), this));
    m_subnet = addRow(*grid, QStringLiteral("Text_Subnet"), 1,
                      new QLabel(QStringLiteral("Subnet-Mask:"), this));
    m_gatewayLabel->setObjectName(QStringLiteral("Label_Gateway"));
    m_gateway = addRow(*grid, QStringLiteral("Text_Gateway"), 2, m_gatewayLabel);
    m_port->setObjectName(QStringLiteral("Text_Port"));
    m_port->setFixedWidth(m_port->fontMetrics().horizontalAdvance(QStringLiteral("000000")) +
                          m_port->fontMetrics().height());
    m_port->installEventFilter(this);
    auto *portLabel = new QLabel(QStringLiteral("Port:"), this);
    portLabel->setBuddy(m_port);
    grid->addWidget(portLabel, 3, 0);
    grid->addWidget(m_port, 3, 1, 1, 3);
    grid->setColumnMinimumWidth(
        0, portLabel->fontMetrics().horizontalAdvance(QStringLiteral("Subnet-Mask:  ")));

    m_save->setObjectName(QStringLiteral("Command_OK"));
    m_save->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (!gatewaySupported(m_station.unit.controllerVersion)) {
        m_gatewayLabel->hide();
        for (QLineEdit *box : m_gateway)
            box->hide();
        for (int i = 6; i < 9; ++i)
            m_dots.at(size_t(i))->hide();
    }

    QWidget *previous = nullptr;
    for (const Row *row : {&m_ip, &m_subnet, &m_gateway}) {
        for (QLineEdit *box : *row) {
            if (previous)
                setTabOrder(previous, box);
            previous = box;
        }
    }
    setTabOrder(previous, m_port);
    setTabOrder(m_port, m_save);

    m_ip.at(0)->setFocus();

    connect(m_save, &QPushButton::clicked, this, &LanSettingsDialog::saveClicked);
    QTimer::singleShot(0, this, &LanSettingsDialog::activate);
}

// One address row: its caption, four octet boxes and the three dots between them.
LanSettingsDialog::Row LanSettingsDialog::addRow(QGridLayout &grid, const QString &name,
                                                 int gridRow, QLabel *label)
{
    Row row;
    const int width =
        fontMetrics().horizontalAdvance(QStringLiteral("0000")) + fontMetrics().height() / 2;
    grid.addWidget(label, gridRow, 0);
    for (int i = 0; i < 4; ++i) {
        auto *box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("%1_%2").arg(name).arg(i));
        box->setFixedWidth(width);
        box->setAlignment(Qt::AlignCenter);
        box->installEventFilter(this);
        row.at(size_t(i)) = box;
        grid.addWidget(box, gridRow, 1 + 2 * i);
        if (i == 3)
            break;
        const int dotIndex = gridRow * 3 + i;
        auto *dot = new QLabel(QStringLiteral("."), this);
        dot->setObjectName(QStringLiteral("Label_Punkt_%1").arg(dotIndex));
        dot->setAlignment(Qt::AlignCenter);
        m_dots.at(size_t(dotIndex)) = dot;
        grid.addWidget(dot, gridRow, 2 + 2 * i);
    }
    label->setBuddy(row.at(0));
    return row;
}

void LanSettingsDialog::activate()
{
    if (m_activated)
        return;
    m_activated = true;
    LanReading reading;
    const bool complete =
        readLanSettings(m_station.session.exchange, m_station.unit.controllerVersion, reading);
    fill(m_ip, reading.ip);
    fill(m_subnet, reading.subnet);
    fill(m_gateway, reading.gateway);
    if (reading.port)
        m_port->setText(*reading.port);
    // The box with the focus had its text selected before the text came.
    if (auto *box = qobject_cast<QLineEdit *>(focusWidget()))
        box->selectAll();
    if (complete)
        showLanAttention(m_station.ui);
}

std::pair<const LanSettingsDialog::Row *, int> LanSettingsDialog::locate(const QLineEdit &box) const
{
    for (const Row *row : {&m_ip, &m_subnet, &m_gateway}) {
        for (int i = 0; i < 4; ++i) {
            if (row->at(size_t(i)) == &box)
                return {row, i};
        }
    }
    return {nullptr, 0};
}

bool LanSettingsDialog::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (!box)
        return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress:
        return filterKey(*box, *static_cast<QKeyEvent *>(event));
    case QEvent::FocusIn:
        if (m_returning == box)
            m_returning = nullptr;
        box->selectAll();
        // A mouse click places the caret after the focus came; the selection follows it.
        QTimer::singleShot(0, box, &QLineEdit::selectAll);
        break;
    case QEvent::FocusOut:
        if (!m_closing && isVisible() && (!m_returning || m_returning == box))
            focusLost(*box);
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

// Only typed characters are filtered; Tab, Enter and the cursor keys keep their meaning.
bool LanSettingsDialog::filterKey(QLineEdit &box, QKeyEvent &event)
{
    const QString typed = event.text();
    if (typed.size() != 1 ||
        (typed.at(0).category() == QChar::Other_Control && typed.at(0) != backspace)) {
        return false;
    }
    const QChar c = typed.at(0);
    const int start = box.hasSelectedText() ? box.selectionStart() : box.cursorPosition();
    const int length = int(box.selectedText().size());
    const auto [row, index] = locate(box);
    const KeyDecision decision =
        row ? octetKey(index, box.text(), start, length, c) : portKey(box.text(), start, length, c);
    if (decision.accept) {
        if (c == backspace)
            box.backspace();
        else
            box.insert(c);
    }
    if (decision.focusNext && row) {
        QLineEdit *next = row->at(size_t(index + 1));
        next->setFocus(Qt::TabFocusReason);
        next->selectAll();
    }
    return true;
}

void LanSettingsDialog::focusLost(QLineEdit &box)
{
    UserInterface &ui = m_station.ui;
    if (&box == m_port) {
        if (!checkPort(ui, box.text()))
            returnFocus(box);
        return;
    }
    if (const std::optional<QString> octet = checkOctet(ui, box.text()))
        box.setText(*octet);
    else
        returnFocus(box);
}

void LanSettingsDialog::returnFocus(QLineEdit &box)
{
    m_returning = &box;
    QTimer::singleShot(0, &box, [&box] { box.setFocus(Qt::OtherFocusReason); });
}

void LanSettingsDialog::done(int result)
{
    m_closing = true;
    QDialog::done(result);
}

void LanSettingsDialog::saveClicked()
{
    const LanSettingsInput input{texts(m_ip), texts(m_subnet), texts(m_gateway), m_port->text()};
    Station &station = m_station;
    if (!saveLanSettings(station.session.exchange, station.unit.controllerVersion, input,
                         station.shell)) {
        return;
    }
    MainWindow &mainWindow = m_mainWindow;
    Session &session = station.session;
    const QString serialPort = session.serial.portName();
    mainWindow.closeAllChildWindows();
    accept();
    if (mainWindow.usbChecked() && session.serial.isOpen())
        session.serial.close();
    QTimer::singleShot(0, &mainWindow, [&station, &mainWindow, serialPort] {
        reconnectAfterSave(station, mainWindow, serialPort);
    });
}

} // namespace keldor
