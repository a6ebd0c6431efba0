#include "gui/channels/channeloverview.h"

#include "core/common/textutil.h"
#include "core/common/userinterface.h"
#include "core/features/report/rtfreport.h"
#include "core/model/devicetype.h"
#include "core/model/headendsettings.h"
#include "core/model/readunitdata.h"
#include "core/model/settingsfile.h"
#include "core/protocol/parameters.h"
#include "gui/channels/frequencyplanview.h"
#include "gui/channels/sidewaysscrollarea.h"
#include "gui/station/overviewmenus.h"
#include "gui/station/station.h"
#include "gui/ui/inputblocker.h"
#include "gui/ui/listindex.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace keldor {

namespace {

constexpr qint32 sixteenChannelVariant = 3;
constexpr int polarisationSingleInput = 4; // "SAT"
constexpr int firstChannelOfThirdPage = 12;
const QColor statusRed(255, 0, 0);
// Whether the operator last looked at the whole band rather than the occupied part.
const QString wholeBandKey = QStringLiteral("Plan-Whole-Band");

QString pageCaption(int first, int last)
{
    return QStringLiteral("CHANNEL") + numberText(first) + QStringLiteral(" -") + numberText(last);
}

void setTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

} // namespace

ChannelOverview::ChannelOverview(Station &station, OverviewMenus &menus, QWidget *parent)
    : QWidget(parent)
    , m_station(station)
    , m_menus(menus)
    , m_pages(new QStackedWidget)
    , m_plan(new FrequencyPlanView)
    , m_inputBlocker(new InputBlocker(*this))
    , m_offline(!station.shell.offlineFile.isEmpty())
{
    setObjectName(QStringLiteral("Form_Uebersicht"));
    setWindowTitle(QStringLiteral("Channel Overview"));
    // The columns use all the room the main window has; they scroll where it has too little.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // Nothing typed before the table and the read have filled the columns would be kept.
    m_inputBlocker->setBlocked(true);

    // Without an answer the window keeps the twelve columns of the standard model. Offline the
    // operator has chosen the model.
    const bool loaded = !m_offline && checkDeviceType(station.session.exchange, station.unit);
    const UnitData &unit = station.unit;
    const bool sixteen = unit.deviceVariant == sixteenChannelVariant;
    const int lastOfSecondPage = sixteen ? 11 : unit.maxChannel;
    const int pageSize = (lastOfSecondPage + 1) / 2;
    const int lastChannel = std::min<int>(unit.maxChannel, channelCount - 1);

    auto *top = new QHBoxLayout;
    top->addWidget(buildDeviceBlock());
    top->addStretch();
    top->addWidget(buildPageButtons(), 0, Qt::AlignBottom);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    // On a small screen the columns scroll rather than squeeze their fields.
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    // The plan sits under the columns, so that a laptop's screen keeps its height for them.
    // The columns scroll sideways on their own: the plan keeps the width in view, its whole
    // range, its switch and its overlaps with it.
    auto *columns = new SidewaysScrollArea;
    columns->setWidget(m_pages);
    auto *content = new QWidget(scroll);
    auto *contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    contentLayout->addWidget(columns);
    contentLayout->addWidget(m_plan);
    m_plan->setWholeBand(station.settings.text(wholeBandKey, QString()) == QLatin1String("True"));
    connect(m_plan, &FrequencyPlanView::wholeBandChanged, this, [&station](bool whole) {
        station.settings.setText(wholeBandKey,
                                 whole ? QStringLiteral("True") : QStringLiteral("False"));
    });
    contentLayout->addStretch();
    scroll->setWidget(content);
    layout->addWidget(scroll, 1);
    addColumns(pageSize, lastChannel);
    setTabOrder();

    m_pageButtons[0]->setText(QStringLiteral("CHANNEL 1 -") + numberText(pageSize));
    m_pageButtons[1]->setText(pageCaption(pageSize + 1, lastOfSecondPage + 1));
    m_pageButtons[2]->setText(pageCaption(firstChannelOfThirdPage + 1, channelCount));
    m_pageButtons[2]->setVisible(sixteen && lastChannel >= firstChannelOfThirdPage);
    showPage(0);
    if (loaded)
        m_menus.setProgramEnabled(false);
}

QWidget *ChannelOverview::buildDeviceBlock()
{
    static constexpr std::array<std::array<const char *, 3>, 5> rows{{
        {"Label_Typ_Text", "Device Type:", "Label_Typ"},
        {"Label_Serial_Text", "Serial Number:", "Label_Serial_Number"},
        {"Label_HW_Text", "Hardware Version:", "Label_HW_Version"},
        {"Label_CPU_SW_Text", "µC Software Version:", "Label_CPU_SW_Version"},
        {"Label_FPGA_SW_Text", "FPGA Software Version:", "Label_FPGA_SW_Version"},
    }};
    auto *block = new QGroupBox(QStringLiteral("Headend"), this);
    block->setObjectName(QStringLiteral("Frame_Device"));
    auto *grid = new QGridLayout(block);
    grid->setHorizontalSpacing(12);
    // Two rows of pairs keep the block low, so the columns get the height.
    constexpr int pairsPerRow = 3;
    for (size_t i = 0; i < rows.size(); ++i) {
        auto *caption = new QLabel(QString::fromUtf8(rows[i][1]), block);
        caption->setObjectName(QLatin1String(rows[i][0]));
        auto *value = new QLabel(block);
        value->setObjectName(QLatin1String(rows[i][2]));
        // The headend's own texts, shown as it sent them.
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        QFont bold = value->font();
        bold.setBold(true);
        value->setFont(bold);
        value->setMinimumWidth(
            value->fontMetrics().horizontalAdvance(QStringLiteral("KELDOR QAM")));
        m_deviceLabels[i] = value;
        const int row = static_cast<int>(i) / pairsPerRow;
        const int col = static_cast<int>(i) % pairsPerRow * 2;
        grid->addWidget(caption, row, col);
        grid->addWidget(value, row, col + 1);
    }
    return block;
}

QWidget *ChannelOverview::buildPageButtons()
{
    static constexpr std::array<const char *, 3> names{"Command1_6", "Command7_12", "Command13_16"};
    auto *box = new QWidget(this);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    for (size_t page = 0; page < m_pageButtons.size(); ++page) {
        auto *button = new QPushButton(box);
        button->setObjectName(QLatin1String(names[page]));
        row->addWidget(button);
        m_pageButtons[page] = button;
    }
    connect(m_pageButtons[0], &QPushButton::clicked, this, &ChannelOverview::showChannels1To6);
    connect(m_pageButtons[1], &QPushButton::clicked, this, &ChannelOverview::showChannels7To12);
    connect(m_pageButtons[2], &QPushButton::clicked, this, &ChannelOverview::showChannels13To16);
    return box;
}

void ChannelOverview::addColumns(int pageSize, int lastChannel)
{
    std::array<QHBoxLayout *, 3> rows{};
    for (size_t page = 0; page < m_page.size(); ++page) {
        m_page[page] = new QWidget(m_pages);
        m_page[page]->setObjectName(QStringLiteral("Frame_Channel_%1").arg(page));
        rows[page] = new QHBoxLayout(m_page[page]);
        rows[page]->addStretch();
        m_pages->addWidget(m_page[page]);
    }
    m_columns.reserve(static_cast<size_t>(lastChannel + 1));
    for (int channel = 0; channel <= lastChannel; ++channel) {
        const size_t page = channel < pageSize ? 0 : channel < firstChannelOfThirdPage ? 1 : 2;
        m_columns.push_back(buildChannelColumn(channel, m_page[page]));
        QGroupBox *frame = m_columns.back().frame;
        rows[page]->addWidget(frame, 0, Qt::AlignTop);
        // Shown one by one after the window (see showEvent), each in its place from the start.
        QSizePolicy policy = frame->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        frame->setSizePolicy(policy);
        frame->hide();
        bindColumn(channel);
        // Sixteen columns of controls take long enough to build that the window would stop
        // painting and the link would stop being read; let both run between columns. User input
        // waits until the window is complete. Measured now, the column is polished and its text
        // laid out here rather than for all the columns at once when the window is first shown.
        frame->sizeHint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    for (QHBoxLayout *row : rows)
        row->addStretch();
}

void ChannelOverview::setTabOrder()
{
    QWidget *previous = nullptr;
    for (const ChannelColumn &c : m_columns) {
        for (QWidget *widget : c.tabOrder()) {
            if (previous)
                QWidget::setTabOrder(previous, widget);
            previous = widget;
            // The two buttons that are not in the column's order follow their neighbours.
            if (widget == c.search) {
                QWidget::setTabOrder(previous, c.serviceList);
                previous = c.serviceList;
            } else if (widget == c.on) {
                QWidget::setTabOrder(previous, c.off);
                previous = c.off;
            }
        }
    }
}

ChannelColumn *ChannelOverview::column(int channel)
{
    if (channel < 0 || channel >= columnCount())
        return nullptr;
    return &m_columns[static_cast<size_t>(channel)];
}

void ChannelOverview::showPage(int page)
{
    m_pages->setCurrentWidget(m_page[static_cast<size_t>(page)]);
    for (size_t i = 0; i < m_pageButtons.size(); ++i)
        m_pageButtons[i]->setEnabled(static_cast<int>(i) != page);
}

void ChannelOverview::showChannels1To6()
{
    showPage(0);
}

void ChannelOverview::showChannels7To12()
{
    showPage(1);
}

void ChannelOverview::showChannels13To16()
{
    showPage(2);
}

void ChannelOverview::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Painting every column at once holds the event loop for more than a frame, so the window
    // shows its frame first and then one column a turn; the read starts after the last.
    if (!m_activated)
        QTimer::singleShot(1ms, this, [this] { revealColumn(0); });
}

void ChannelOverview::revealColumn(size_t index)
{
    if (m_activated || m_unloaded)
        return;
    if (index == m_columns.size()) {
        activate();
        return;
    }
    m_columns[index].frame->show();
    QTimer::singleShot(1ms, this, [this, index] { revealColumn(index + 1); });
}

void ChannelOverview::activate()
{
    m_activated = true;
    UserInterface &ui = m_station.ui;
    if (!m_offline)
        ui.setKeepAliveRunning(true);
    for (const ChannelColumn &c : m_columns) {
        refillLists(c);
        c.set->setEnabled(false);
        c.search->setEnabled(false);
        c.serviceList->setEnabled(false);
    }
    if (m_offline) {
        showUnitData(m_station.unit, *this);
        showOfflineFile();
        m_inputBlocker->setBlocked(false);
        m_menus.overviewShown(true, m_offline);
        return;
    }
    // Each channel shows as soon as it has been read, the way the whole read would show it.
    const UnitData &unit = m_station.unit;
    bool identityShown = false;
    const auto show = [&](ReadStep step, int channel) {
        if (step == ReadStep::Identity) {
            showIdentity(unit, *this);
            identityShown = true;
        } else if (step == ReadStep::Channel) {
            showChannel(unit, channel, *this, &ui);
        }
    };
    bool complete = false;
    {
        BusyCursor busy(ui);
        complete = readUnitData(m_station.session.exchange, m_station.unit, show);
    }
    if (!identityShown)
        showIdentity(unit, *this);
    if (complete)
        showFirstPage();
    m_inputBlocker->setBlocked(false);
    m_readComplete = complete;
    m_menus.overviewShown(true, m_offline);
    emit headendRead(complete);
}

void ChannelOverview::showOfflineFile()
{
    const QString path = m_station.shell.offlineFile;
    setWindowTitle(QStringLiteral("Channel Overview - Offline - ") + QFileInfo(path).fileName());
    m_station.ui.setStatusPanel(2,
                                QStringLiteral("Settings File: ") + QDir::toNativeSeparators(path));
    m_station.ui.setStatusPanel(3, QStringLiteral("Offline"));
}

void ChannelOverview::refreshPlan()
{
    UnitData shown = m_station.unit;
    for (const ChannelColumn &c : m_columns) {
        ChannelRecord &record = shown.channel(c.frame->property("channel").toInt());
        // Only a frequency the range check lets pass; a refused one is still being typed.
        const std::optional<qint16> whole = wholeNumber16(c.outFrequency->text());
        if (whole && *whole >= bandLowMHz && *whole <= bandHighMHz)
            record.outFrequency = static_cast<float>(*parseNumber(c.outFrequency->text()));
        if (c.bandwidth->currentIndex() >= 0)
            record.bandwidth = static_cast<quint8>(c.bandwidth->currentIndex());
        record.outputOn = c.on->isChecked() ? 1 : 0;
    }
    m_plan->setPlan(frequencyPlan(shown));
}

void ChannelOverview::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded && m_offline && !askBeforeClosing()) {
        event->ignore();
        return;
    }
    if (!m_unloaded)
        unload();
    event->accept();
}

bool ChannelOverview::askBeforeClosing()
{
    if (!hasUnsavedEdits())
        return true;
    const QString path = m_station.shell.offlineFile;
    const UserInterface::Answer answer = m_station.ui.message(
        UserInterface::Icon::Question, QLatin1String(applicationTitle),
        QStringLiteral("The changes to %1 are not saved.\rSave them before closing?")
            .arg(QDir::toNativeSeparators(path)),
        UserInterface::Buttons::SaveDiscardCancel);
    if (answer == UserInterface::Answer::Save)
        return saveOffline(path);
    return answer == UserInterface::Answer::Discard;
}

bool ChannelOverview::hasUnsavedEdits()
{
    // Columns that never showed the table hold nothing the operator typed.
    if (!m_activated)
        return false;
    for (const ChannelColumn &c : m_columns) {
        const int channel = c.frame->property("channel").toInt();
        const ChannelRecord &shown = m_station.unit.channel(channel);
        if (editedRecord(shown, inputSettings(channel), outputSettings(channel)) != shown)
            return true;
    }
    return false;
}

bool ChannelOverview::saveOffline(const QString &path)
{
    if (!settleEdits())
        return false;
    UnitData &unit = m_station.unit;
    const std::array<ChannelRecord, channelCount> before = unit.channels;
    for (const ChannelColumn &c : m_columns) {
        const int channel = c.frame->property("channel").toInt();
        unit.channel(channel) =
            editedRecord(unit.channel(channel), inputSettings(channel), outputSettings(channel));
    }
    // The columns still show the edits; the table must keep telling that they aren't saved.
    if (!saveSettingsFile(m_station.ui, path, unit)) {
        unit.channels = before;
        return false;
    }
    m_station.shell.offlineFile = path;
    showOfflineFile();
    // The report shows the file as saved, the edits just taken included.
    Configuration saved;
    saved.unit = unit;
    printRtf(m_station.ui, reportFileName(path), saved);
    return true;
}

void ChannelOverview::unload()
{
    m_unloaded = true;
    m_pendingRule.reset();
    if (!m_offline)
        closeWindowSession(m_station.session);
    m_menus.overviewShown(false, m_offline);
    m_station.shell.offlineFile.clear();
}

void ChannelOverview::setDeviceText(DeviceField field, const QString &text)
{
    m_deviceLabels.at(static_cast<size_t>(field))->setText(text);
}

void ChannelOverview::hideServiceListButtons()
{
    for (const ChannelColumn &c : m_columns)
        c.serviceList->hide();
}

void ChannelOverview::setStatus(int channel, const QString &text, bool black)
{
    if (ChannelColumn *c = column(channel)) {
        c->status->setText(text);
        // Every state but a lock is something the technician has to look at.
        setTextColour(c->status, black ? QColor(Qt::black) : statusRed);
    }
}

void ChannelOverview::setBer(int channel, const QString &text)
{
    if (ChannelColumn *c = column(channel))
        c->ber->setText(text);
}

void ChannelOverview::setSnr(int channel, const QString &text)
{
    if (ChannelColumn *c = column(channel))
        c->snr->setText(text);
}

void ChannelOverview::setServiceListEnabled(int channel, bool enabled)
{
    if (ChannelColumn *c = column(channel))
        c->serviceList->setEnabled(enabled);
}

void ChannelOverview::setSearchEnabled(int channel, bool enabled)
{
    if (ChannelColumn *c = column(channel))
        c->search->setEnabled(enabled && !m_offline);
}

void ChannelOverview::setPolarisation(int channel, std::optional<int> position)
{
    if (ChannelColumn *c = column(channel)) {
        setListIndex(*c->polarisation, position.value_or(polarisationSingleInput));
        c->polarisation->setEnabled(position.has_value());
    }
}

void ChannelOverview::setInFrequencyText(int channel, const QString &text)
{
    if (ChannelColumn *c = column(channel))
        c->inFrequency->setText(text);
}

void ChannelOverview::addLoEntry(int channel, const QString &text)
{
    if (ChannelColumn *c = column(channel)) {
        const QSignalBlocker blocker(c->lo);
        c->lo->addItem(text);
    }
}

void ChannelOverview::setLoText(int channel, const QString &text)
{
    if (ChannelColumn *c = column(channel)) {
        setListIndex(*c->lo, c->lo->findText(text));
        c->lo->setEditText(text);
    }
}

void ChannelOverview::setInSymbolrateText(int channel, const QString &text)
{
    if (ChannelColumn *c = column(channel))
        c->inSymbolrate->setText(text);
}

void ChannelOverview::setOutputOn(int channel, bool on)
{
    if (ChannelColumn *c = column(channel)) {
        (on ? c->on : c->off)->setChecked(true);
        for (QWidget *control : c->outputControls())
            control->setEnabled(on);
    }
    refreshPlan();
}

void ChannelOverview::setOpmode(int channel, int position)
{
    if (ChannelColumn *c = column(channel))
        setListIndex(*c->opmode, position);
}

void ChannelOverview::setOutFrequencyText(int channel, const QString &text)
{
    if (ChannelColumn *c = column(channel))
        c->outFrequency->setText(text);
    refreshPlan();
}

void ChannelOverview::setBandwidth(int channel, int position)
{
    if (ChannelColumn *c = column(channel))
        setListIndex(*c->bandwidth, position);
    refreshPlan();
}

void ChannelOverview::setQamList(int channel, int firstCode, int selectedCode)
{
    if (ChannelColumn *c = column(channel))
        fillQamList(*c->qam, firstCode, selectedCode);
}

void ChannelOverview::setOutSymbolrateText(int channel, const QString &text)
{
    if (ChannelColumn *c = column(channel))
        c->outSymbolrate->setText(text);
}

void ChannelOverview::setSpectrum(int channel, int position)
{
    if (ChannelColumn *c = column(channel))
        setListIndex(*c->spectrum, position);
}

void ChannelOverview::setAttenuation(int channel, int position)
{
    if (ChannelColumn *c = column(channel))
        setListIndex(*c->attenuation, position);
}

void ChannelOverview::setSetEnabled(int channel, bool enabled)
{
    if (ChannelColumn *c = column(channel))
        c->set->setEnabled(enabled && !m_offline);
}

void ChannelOverview::showFirstPage()
{
    showPage(0);
}

void ChannelOverview::setPagesEnabled(bool enabled)
{
    // The third page too: a search must leave no column of any page usable.
    for (QWidget *page : m_page)
        page->setEnabled(enabled);
}

} // namespace keldor
