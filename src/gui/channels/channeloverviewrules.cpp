// How the overview's columns answer the operator: key filters, the rules that run when a field
// is left, the selections and the three buttons of a column.
#include "gui/channels/channeloverview.h"

#include "core/common/textutil.h"
#include "core/features/channels/inputrules.h"
#include "core/features/channels/keyfilters.h"
#include "core/features/channels/outputrules.h"
#include "core/features/channels/setsearch.h"
#include "gui/station/station.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace keldor {

namespace {

int selectionStart(const QLineEdit &edit)
{
    return edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
}

QStringList entries(const QComboBox &box)
{
    QStringList out;
    for (int i = 0; i < box.count(); ++i)
        out.append(box.itemText(i));
    return out;
}

// The character a key types, as the key filters judge it; nothing for keys that move or
// edit without typing (arrows, Delete, Tab) and for copying, which changes nothing.
std::optional<QChar> typedCharacter(const QKeyEvent &key)
{
    if (key.key() == Qt::Key_Backspace)
        return backspaceKey;
    if (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab ||
        key.matches(QKeySequence::Copy) || key.matches(QKeySequence::SelectAll))
        return std::nullopt;
    if (key.text().isEmpty())
        return std::nullopt;
    return key.text().at(0);
}

} // namespace

void ChannelOverview::bindColumn(int channel)
{
    const ChannelColumn &c = m_columns[static_cast<size_t>(channel)];
    watch(c.inFrequency, channel, Field::InFrequency);
    watch(c.inSymbolrate, channel, Field::InSymbolrate);
    watch(c.lo, channel, Field::Lo);
    watch(c.lo->lineEdit(), channel, Field::Lo);
    watch(c.outFrequency, channel, Field::OutFrequency);
    watch(c.outSymbolrate, channel, Field::OutSymbolrate);
    watch(c.on, channel, Field::On);
    watch(c.off, channel, Field::Off);

    const auto enableSet = [this, channel] {
        setSetEnabled(channel, true);
    };
    const auto enableSearch = [this, channel] {
        setSearchEnabled(channel, true);
    };
    connect(c.attenuation, &QComboBox::activated, this, enableSet);
    connect(c.opmode, &QComboBox::activated, this, enableSet);
    connect(c.spectrum, &QComboBox::activated, this, enableSet);
    connect(c.qam, &QComboBox::activated, this, [this, channel] { qamSelected(channel); });
    connect(c.bandwidth, &QComboBox::activated, this,
            [this, channel] { bandwidthSelected(channel); });
    connect(c.lo, &QComboBox::activated, this, enableSearch);
    connect(c.polarisation, &QComboBox::activated, this, enableSearch);
    connect(c.on, &QRadioButton::clicked, this, [this, channel] { outputSwitched(channel, true); });
    connect(c.off, &QRadioButton::clicked, this,
            [this, channel] { outputSwitched(channel, false); });
    connect(c.set, &QPushButton::clicked, this, [this, channel] { setPressed(channel); });
    connect(c.search, &QPushButton::clicked, this, [this, channel] { searchPressed(channel); });
    connect(c.serviceList, &QPushButton::clicked, this,
            [this, channel] { serviceListPressed(channel); });
}

void ChannelOverview::watch(QWidget *widget, int channel, Field field)
{
    m_fields.insert(widget, FieldRef{channel, field});
    widget->installEventFilter(this);
}

QWidget *ChannelOverview::fieldWidget(const FieldRef &ref)
{
    ChannelColumn *c = column(ref.channel);
    switch (ref.field) {
    case Field::InFrequency:
        return c->inFrequency;
    case Field::InSymbolrate:
        return c->inSymbolrate;
    case Field::Lo:
        return c->lo;
    case Field::OutFrequency:
        return c->outFrequency;
    case Field::OutSymbolrate:
        return c->outSymbolrate;
    case Field::On:
        return c->on;
    case Field::Off:
        return c->off;
    }
    return nullptr;
}

bool ChannelOverview::eventFilter(QObject *watched, QEvent *event)
{
    const auto found = m_fields.constFind(watched);
    if (found == m_fields.constEnd())
        return QWidget::eventFilter(watched, event);
    const FieldRef ref = *found;
    const bool option = ref.field == Field::On || ref.field == Field::Off;

    switch (event->type()) {
    case QEvent::KeyPress:
        if (!option)
            return filterKey(ref, static_cast<QKeyEvent *>(event));
        break;
    case QEvent::MouseButtonPress:
        if (option)
            setSetEnabled(ref.channel, true);
        break;
    case QEvent::FocusIn:
        if (ref.field == Field::Lo)
            m_loAcceptedByTab.reset();
        // Typing replaces the value; after a mouse click the selection must outlive the click.
        if (auto *edit = qobject_cast<QLineEdit *>(watched); edit && ref.field != Field::Lo) {
            edit->selectAll();
            if (static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason)
                QTimer::singleShot(0, edit, &QLineEdit::selectAll);
        }
        break;
    case QEvent::FocusOut:
        if (!option && watched == fieldWidget(ref))
            fieldLeft(ref, static_cast<QFocusEvent *>(event)->reason());
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool ChannelOverview::filterKey(const FieldRef &ref, QKeyEvent *key)
{
    ChannelColumn *c = column(ref.channel);
    if (ref.field == Field::Lo && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
        // The LO rule decides before the focus moves: a refused value keeps it here.
        runPendingRule();
        const RuleOutcome outcome = rule(ref);
        apply(outcome, ref);
        if (outcome.focus == RuleOutcome::Focus::Back)
            return true;
        m_loAcceptedByTab = ref.channel;
        return false;
    }
    const std::optional<QChar> typed = typedCharacter(*key);
    if (!typed)
        return false;

    bool accepted = false;
    switch (ref.field) {
    case Field::InFrequency:
    case Field::InSymbolrate: {
        QLineEdit *edit = ref.field == Field::InFrequency ? c->inFrequency : c->inSymbolrate;
        accepted = acceptsFiveDigitKey(edit->text(), selectionStart(*edit),
                                       static_cast<int>(edit->selectedText().size()), *typed);
        setSearchEnabled(ref.channel, true);
        break;
    }
    case Field::Lo: {
        const QLineEdit *edit = c->lo->lineEdit();
        accepted = acceptsFiveDigitKey(edit->text(), selectionStart(*edit),
                                       static_cast<int>(edit->selectedText().size()), *typed);
        // A typed LO value is a change of the input like a typed frequency: without this the
        // operator could not send it.
        setSearchEnabled(ref.channel, true);
        break;
    }
    case Field::OutFrequency:
        accepted = acceptsFrequencyKey(c->outFrequency->text(), selectionStart(*c->outFrequency),
                                       static_cast<int>(c->outFrequency->selectedText().size()),
                                       *typed, decimalSeparatorCode());
        setSetEnabled(ref.channel, true);
        break;
    case Field::OutSymbolrate:
        accepted =
            acceptsFourDigitKey(c->outSymbolrate->text(), selectionStart(*c->outSymbolrate),
                                static_cast<int>(c->outSymbolrate->selectedText().size()), *typed);
        setSetEnabled(ref.channel, true);
        break;
    case Field::On:
    case Field::Off:
        return false;
    }
    return !accepted;
}

void ChannelOverview::fieldLeft(const FieldRef &ref, Qt::FocusReason reason)
{
    // A message box, another window or the field's own drop-down list takes the focus only
    // for a while; a field the program disabled was not left by the operator.
    if (m_movingFocus || m_unloaded || reason == Qt::ActiveWindowFocusReason ||
        reason == Qt::PopupFocusReason || !fieldWidget(ref)->isEnabled())
        return;
    if (ref.field == Field::Lo && m_loAcceptedByTab == ref.channel) {
        m_loAcceptedByTab.reset();
        return;
    }
    runPendingRule();
    m_pendingRule = ref;
    QTimer::singleShot(0, this, &ChannelOverview::runPendingRule);
}

void ChannelOverview::runPendingRule()
{
    if (!m_pendingRule || m_unloaded)
        return;
    const FieldRef ref = *m_pendingRule;
    m_pendingRule.reset();
    apply(rule(ref), ref);
}

RuleOutcome ChannelOverview::rule(const FieldRef &ref)
{
    const ChannelColumn &c = *column(ref.channel);
    const float dataRate = m_station.unit.channelDataRate.at(static_cast<size_t>(ref.channel));
    switch (ref.field) {
    case Field::InFrequency:
        return transponderFrequencyRule(c.inFrequency->text(), c.lo->currentText());
    case Field::InSymbolrate:
        return inputSymbolrateRule(c.inSymbolrate->text());
    case Field::Lo:
        return loRule(c.lo->currentText(), entries(*c.lo));
    case Field::OutFrequency: {
        QList<OutputSpan> spans;
        for (const ChannelColumn &other : m_columns)
            spans.append({other.outFrequency->text(), other.outSymbolrate->text()});
        return outputFrequencyRule(spans, ref.channel);
    }
    case Field::OutSymbolrate:
        return outputSymbolrateRule(c.outSymbolrate->text(), qamCode(*c.qam), dataRate);
    case Field::On:
    case Field::Off:
        break;
    }
    return {};
}

void ChannelOverview::apply(const RuleOutcome &outcome, const FieldRef &ref)
{
    ChannelColumn &c = *column(ref.channel);
    for (const RuleMessage &message : outcome.messages)
        m_station.ui.message(message.icon, message.title, message.text, message.buttons);
    if (outcome.fieldText) {
        if (auto *edit = qobject_cast<QLineEdit *>(fieldWidget(ref)))
            edit->setText(*outcome.fieldText);
    }
    if (outcome.outSymbolrateText)
        c.outSymbolrate->setText(*outcome.outSymbolrateText);
    if (outcome.appendLoEntry)
        addLoEntry(ref.channel, *outcome.appendLoEntry);
    if (outcome.qamList)
        setQamList(ref.channel, outcome.qamList->firstCode, outcome.qamList->selectedCode);
    if (outcome.enableSet)
        setSetEnabled(ref.channel, true);
    if (outcome.focus == RuleOutcome::Focus::Back) {
        moveFocus(fieldWidget(ref));
        return;
    }
    refreshPlan();
    if (outcome.focus == RuleOutcome::Focus::OutSymbolrate)
        moveFocus(c.outSymbolrate);
}

void ChannelOverview::moveFocus(QWidget *target)
{
    // Taking the focus back is not the operator leaving the field that had it.
    m_movingFocus = true;
    target->setFocus(Qt::OtherFocusReason);
    m_movingFocus = false;
}

void ChannelOverview::qamSelected(int channel)
{
    runPendingRule();
    const ChannelColumn &c = *column(channel);
    setSetEnabled(channel, true);
    apply(qamRule(c.outSymbolrate->text(), qamCode(*c.qam),
                  m_station.unit.channelDataRate.at(static_cast<size_t>(channel))),
          FieldRef{channel, Field::OutSymbolrate});
}

void ChannelOverview::bandwidthSelected(int channel)
{
    runPendingRule();
    const ChannelColumn &c = *column(channel);
    // Without a selection the rule keeps the first entry's QAM order.
    const int qam = c.qam->count() == 0         ? -1
                    : c.qam->currentIndex() < 0 ? c.qam->itemData(0).toInt()
                                                : qamCode(*c.qam);
    apply(bandwidthRule(c.bandwidth->currentIndex(), qam, c.outSymbolrate->text(),
                        m_station.unit.channelDataRate.at(static_cast<size_t>(channel))),
          FieldRef{channel, Field::OutSymbolrate});
}

void ChannelOverview::outputSwitched(int channel, bool on)
{
    for (QWidget *control : column(channel)->outputControls())
        control->setEnabled(on);
    refreshPlan();
    // The keyboard switches the output without a mouse press; it changes the output as much.
    setSetEnabled(channel, true);
}

OutputSettings ChannelOverview::outputSettings(int channel)
{
    const ChannelColumn &c = *column(channel);
    OutputSettings settings;
    settings.outFrequency = c.outFrequency->text();
    settings.qamCode = qamCode(*c.qam);
    settings.outSymbolrate = c.outSymbolrate->text();
    settings.spectrum = c.spectrum->currentIndex();
    settings.opmode = c.opmode->currentIndex();
    settings.attenuation = c.attenuation->currentIndex();
    settings.outputOn = c.on->isChecked();
    settings.bandwidth = c.bandwidth->currentIndex();
    return settings;
}

InputSettings ChannelOverview::inputSettings(int channel)
{
    const ChannelColumn &c = *column(channel);
    InputSettings settings;
    settings.polarisation = c.polarisation->currentIndex();
    settings.inFrequency = c.inFrequency->text();
    settings.lo = c.lo->currentText();
    settings.inSymbolrate = c.inSymbolrate->text();
    return settings;
}

void ChannelOverview::setPressed(int channel)
{
    runPendingRule();
    column(channel)->set->setEnabled(false);
    setChannel(m_station.session.exchange, m_station.unit, channel, outputSettings(channel));
}

void ChannelOverview::searchPressed(int channel)
{
    runPendingRule();
    searchChannel(m_station.session.exchange, m_station.unit, *this, channel,
                  inputSettings(channel));
}

// A menu item takes no focus, so the field the operator is typing in hasn't been left: its rule
// runs now, as leaving it would run it.
bool ChannelOverview::settleEdits()
{
    std::optional<FieldRef> ref = m_pendingRule;
    m_pendingRule.reset();
    if (!ref) {
        QWidget *focused = QApplication::focusWidget();
        const auto found = m_fields.constFind(focused);
        auto *edit = qobject_cast<QLineEdit *>(focused);
        if (auto *combo = qobject_cast<QComboBox *>(focused))
            edit = combo->lineEdit();
        if (found != m_fields.constEnd() && edit && edit->isModified())
            ref = *found;
    }
    if (!ref)
        return true;
    const RuleOutcome outcome = rule(*ref);
    apply(outcome, *ref);
    return !outcome.refused();
}

void ChannelOverview::serviceListPressed(int channel)
{
    runPendingRule();
    m_station.unit.currentChannel = channel;
    openServiceList(channel);
}

} // namespace keldor
