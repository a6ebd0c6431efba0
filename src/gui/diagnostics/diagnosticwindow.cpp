#include "gui/diagnostics/diagnosticwindow.h"

#include "core/features/diagnostics/diagnostics.h"
#include "core/protocol/parameters.h"
#include "gui/app/mainwindow.h"
#include "gui/station/station.h"
#include "gui/ui/programicons.h"

#include <QAction>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace keldor {

namespace {

using Field = DiagnosticView::Field;
using Column = DiagnosticView::Column;

constexpr auto columnNames =
    std::array{"Picture_Tuner", "Picture_Clipping", "Picture_188", "Picture_RAW"};

QString tintStyle(Tint tint)
{
    return QStringLiteral("color: #%1;").arg(tintRgb(tint), 6, 16, QLatin1Char('0'));
}

QLabel *caption(const QString &text, QWidget *parent)
{
    return new QLabel(text, parent);
}

} // namespace

DiagnosticWindow::DiagnosticWindow(Station &station, MainWindow &mainWindow, QWidget *parent)
    : QWidget(parent)
    , m_station(station)
    , m_mainWindow(mainWindow)
    , m_refresh(new QPushButton(QStringLiteral("REFRESH"), this))
    , m_mixerClipping(new QLabel(this))
    , m_fans(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("Form_Diagnostic"));
    setWindowTitle(QStringLiteral("Diagnostic"));
    setWindowIcon(programIcon(QStringLiteral("sat.ico")));
    m_refresh->setObjectName(QStringLiteral("Command_Refresh"));

    auto *right = new QVBoxLayout;
    right->addWidget(buildDevice());
    right->addWidget(buildProduction());
    right->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_refresh);
    right->addLayout(buttons);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(buildChannels(), 0, Qt::AlignTop);
    layout->addLayout(right, 1);

    connect(m_refresh, &QPushButton::clicked, this, &DiagnosticWindow::refreshClicked);
    connect(m_fans, &QButtonGroup::idClicked, this, &DiagnosticWindow::fanClicked);

    // One diagnostic window at a time: it owns the keep-alive while it is open.
    m_mainWindow.item(QStringLiteral("Diagnostic"))->setEnabled(false);
}

// Activation is the frame's becoming the active child window. The main window's own
// activation doesn't count: a message box shown by a reading gives it back on closing, and
// reading again then would end in the same message box.
bool DiagnosticWindow::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange) {
        if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
            connect(frame, &QMdiSubWindow::windowStateChanged, this,
                    &DiagnosticWindow::frameStateChanged, Qt::UniqueConnection);
    }
    return QWidget::event(event);
}

void DiagnosticWindow::frameStateChanged(Qt::WindowStates before, Qt::WindowStates now)
{
    // The frame changes its state in the middle of its own event handling; the reading waits
    // for the headend and so runs from the event loop.
    if (!before.testFlag(Qt::WindowActive) && now.testFlag(Qt::WindowActive))
        QTimer::singleShot(0, this, &DiagnosticWindow::activate);
}

QWidget *DiagnosticWindow::buildChannels()
{
    auto *box = new QWidget(this);
    auto *grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    const QStringList heads = {QStringLiteral("CHANNEL:"), QStringLiteral("Tuner-Lock:"),
                               QStringLiteral("Clipping:"), QStringLiteral("ASI-188:"),
                               QStringLiteral("ASI-Sync:")};
    for (int i = 0; i < heads.size(); ++i)
        grid->addWidget(caption(heads.at(i), box), 0, i, Qt::AlignCenter);
    const int iconSide = fontMetrics().height();
    for (int row = 0; row < rowCount; ++row) {
        QLabel *channel = new QLabel(QString::number(row + 1), box);
        channel->setObjectName(QStringLiteral("Label_CH_%1").arg(row));
        channel->setAlignment(Qt::AlignCenter);
        m_channelLabels.at(size_t(row)) = channel;
        grid->addWidget(channel, row + 1, 0);
        for (int column = 0; column < columnCount; ++column) {
            QLabel *picture = new QLabel(box);
            picture->setObjectName(QStringLiteral("%1_%2")
                                       .arg(QLatin1String(columnNames.at(size_t(column))))
                                       .arg(row));
            picture->setFixedSize(iconSide, iconSide);
            picture->setAlignment(Qt::AlignCenter);
            showState(*picture, State::Unknown);
            m_pictures.at(size_t(column)).at(size_t(row)) = picture;
            grid->addWidget(picture, row + 1, column + 1, Qt::AlignCenter);
        }
    }
    return box;
}

QLabel *DiagnosticWindow::valueLabel(Field field, const QString &name)
{
    auto *label = new QLabel(this);
    label->setObjectName(name);
    // Room for the widest value from the start: the window is sized before the first reading.
    label->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("UNLOCKED  ")));
    m_fields.at(size_t(field)) = label;
    return label;
}

QWidget *DiagnosticWindow::buildDevice()
{
    auto *box = new QGroupBox(this);
    auto *form = new QFormLayout(box);
    m_mixerClipping->setObjectName(QStringLiteral("Picture_Clipping_Outmix"));
    const int iconSide = fontMetrics().height();
    m_mixerClipping->setFixedSize(iconSide, iconSide);
    showState(*m_mixerClipping, State::Unknown);
    form->addRow(QStringLiteral("Clipping Output Mixer:"), m_mixerClipping);
    form->addRow(QStringLiteral("VCO:"),
                 valueLabel(Field::VcoLock, QStringLiteral("Label_VCO_LOCK")));
    form->addRow(QStringLiteral("SERDES:"),
                 valueLabel(Field::SerdesLock, QStringLiteral("Label_SERDES_Lock")));
    form->addRow(QStringLiteral("OUT-PLL:"),
                 valueLabel(Field::OutPllLock, QStringLiteral("Label_OUTPLL_Lock")));
    form->addRow(QStringLiteral("DAC:"),
                 valueLabel(Field::DacLock, QStringLiteral("Label_DAC_Lock")));
    form->addRow(QStringLiteral("DAC Sampling Eye:"),
                 valueLabel(Field::EyeValue, QStringLiteral("Label_Eye_Value")));
    form->addRow(QStringLiteral("Total Operating Hours:"),
                 valueLabel(Field::OperatingHours, QStringLiteral("Label_OP")));
    form->addRow(QStringLiteral("Critical Operating Hours:"),
                 valueLabel(Field::CriticalHours, QStringLiteral("Label_OP_Critical")));
    form->addRow(QStringLiteral("Maximum Operating-Temperature:"),
                 valueLabel(Field::MaximumTemperature, QStringLiteral("Label_FPGA_Temp")));
    form->addRow(QStringLiteral("Actual Operating-Temperature:"),
                 valueLabel(Field::ActualTemperature, QStringLiteral("Label_FPGA_ActTemp")));
    return box;
}

QWidget *DiagnosticWindow::buildProduction()
{
    auto *frame = new QGroupBox(QStringLiteral("Production"), this);
    frame->setObjectName(QStringLiteral("Frame_Fertigung"));
    auto *reset = new QPushButton(QStringLiteral("Reset"), frame);
    reset->setObjectName(QStringLiteral("Command1"));
    connect(reset, &QPushButton::clicked, this, &DiagnosticWindow::resetClicked);
    auto *fans = new QHBoxLayout;
    for (int option = 0; option < fanOptionCount; ++option) {
        auto *fan = new QRadioButton(QStringLiteral("FAN%1").arg(option + 1), frame);
        fan->setObjectName(QStringLiteral("Option_Fan_%1").arg(option));
        m_fans->addButton(fan, option);
        fans->addWidget(fan);
    }
    fans->addStretch();
    fans->addWidget(reset);

    // The production values other than the reset counter are only read by the factory's own
    // tool; the captions keep the frame recognisable to the people who use both.
    auto *values = new QFormLayout;
    for (const char *text : {"BL-SW-Version:", "µC-SW-Version:", "FPGA-SW-Version:", "Devicetyp:",
                             "HW-Version:", "Serial-No:", "MAC-Adress:", "IP-Adress:",
                             "Subnet-Mask:", "Port:", "LAN-Test:", "FLASH-Test:", "FPGA-UART-Test:",
                             "Reset Cause:", "Shutdown:", "Reset-RTOS:", "Reset-QAM:"}) {
        values->addRow(QString::fromUtf8(text), new QLabel(frame));
    }
    values->addRow(QStringLiteral("Reset-Count:"),
                   valueLabel(Field::ResetCount, QStringLiteral("Label_Reset_Count")));

    auto *layout = new QVBoxLayout(frame);
    layout->addLayout(fans);
    layout->addLayout(values);
    return frame;
}

void DiagnosticWindow::activate()
{
    // Switching windows while a reading waits for the headend brings nothing new: the running
    // reading shows the current values, and the keep-alive stays off until it ends.
    if (m_reading)
        return;
    m_station.ui.setKeepAliveRunning(true);
    readAll();
}

void DiagnosticWindow::readAll()
{
    if (m_reading)
        return;
    m_reading = true;
    readDiagnosticData(m_station.session.exchange, m_station.unit, *this);
    m_reading = false;
}

void DiagnosticWindow::refreshClicked()
{
    setEnabled(false);
    readAll();
    setEnabled(true);
}

void DiagnosticWindow::fanClicked(int option)
{
    setFan(m_station.session.exchange, option);
}

void DiagnosticWindow::resetClicked()
{
    resetCounter(m_station.session.exchange, *this);
}

void DiagnosticWindow::closeEvent(QCloseEvent *event)
{
    // The reading writes into this window until it returns.
    if (m_reading) {
        event->ignore();
        return;
    }
    closeWindowSession(m_station.session);
    m_mainWindow.item(QStringLiteral("Diagnostic"))->setEnabled(true);
    event->accept();
}

void DiagnosticWindow::setRowVisible(int row, bool visible)
{
    if (row < 0 || row >= rowCount)
        return;
    m_channelLabels.at(size_t(row))->setVisible(visible);
    for (const auto &column : m_pictures)
        column.at(size_t(row))->setVisible(visible);
}

void DiagnosticWindow::setText(Field field, const QString &text, Tint tint)
{
    QLabel *label = m_fields.at(size_t(field));
    label->setText(text);
    label->setStyleSheet(tintStyle(tint));
}

void DiagnosticWindow::setIcon(Column column, int row, State state)
{
    if (row >= 0 && row < rowCount)
        showState(*m_pictures.at(size_t(column)).at(size_t(row)), state);
}

void DiagnosticWindow::setTuner(int row, State state, int, const QString &name)
{
    if (row < 0 || row >= rowCount)
        return;
    QLabel &picture = *m_pictures.at(size_t(Column::Tuner)).at(size_t(row));
    showState(picture, state);
    picture.setToolTip(name);
}

void DiagnosticWindow::setMixerClipping(State state)
{
    showState(*m_mixerClipping, state);
}

void DiagnosticWindow::showState(QLabel &picture, State state)
{
    picture.setProperty("state", static_cast<int>(state));
    if (state == State::Unknown) {
        picture.setPixmap({});
        picture.setText(QStringLiteral("–"));
        picture.setToolTip(QStringLiteral("not reported by the headend"));
        return;
    }
    const QString file =
        state == State::Good ? QStringLiteral("check.ico") : QStringLiteral("cross.ico");
    picture.setText({});
    picture.setToolTip({});
    picture.setPixmap(programIcon(file).pixmap(picture.size()));
}

} // namespace keldor
