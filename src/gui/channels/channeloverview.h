#pragma once

#include "core/features/channels/ruleoutcome.h"
#include "core/features/channels/setsearch.h"
#include "core/model/channelview.h"
#include "gui/channels/channelcolumn.h"

#include <QHash>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QPushButton;
class QStackedWidget;

namespace keldor {

class FrequencyPlanView;
class InputBlocker;
class OverviewMenus;
class Station;

// The channel overview: one column per channel of the connected headend, grouped in pages.
// Loading it learns the channel count from the headend; the first time it is shown it reads the
// whole headend onto its columns. Field rules run when the operator leaves a field; Set and
// Search write a column to the headend.
// While the shell names an offline file, the window edits that file's table instead, for the
// model already set in the unit: nothing reaches a headend, and Save writes the file.
class ChannelOverview : public QWidget, public ChannelView {
    Q_OBJECT

public:
    ChannelOverview(Station &station, OverviewMenus &menus, QWidget *parent = nullptr);

    // Opens the service-list editor for a channel, modally. Does nothing until connected.
    std::function<void(int channel)> openServiceList = [](int) {
    };

    // Refills the lists, reads the headend onto the columns and shows the menu items that need
    // a read headend. Runs by itself the first time the window is shown.
    void activate();

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    bool isOffline() const { return m_offline; }
    // Whether the station's image of the headend is this window's complete read, kept up to
    // date since by Set, Search and the service lists.
    bool holdsHeadend() const { return m_readComplete; }
    // Offline: whether a column holds anything that the unit's table, as last read or saved,
    // doesn't, a field still being typed in included.
    bool hasUnsavedEdits();
    // Offline: runs the rule of a field still being typed in, then writes the columns to the
    // settings file with its report. A refused field or a failed write keeps the table as it was.
    bool saveOffline(const QString &path);

    // The page buttons.
    void showChannels1To6();
    void showChannels7To12();
    void showChannels13To16();

    // ChannelView
    void setDeviceText(DeviceField field, const QString &text) override;
    void hideServiceListButtons() override;
    void setStatus(int channel, const QString &text, bool black) override;
    void setBer(int channel, const QString &text) override;
    void setSnr(int channel, const QString &text) override;
    void setServiceListEnabled(int channel, bool enabled) override;
    void setSearchEnabled(int channel, bool enabled) override;
    void setPolarisation(int channel, std::optional<int> position) override;
    void setInFrequencyText(int channel, const QString &text) override;
    void addLoEntry(int channel, const QString &text) override;
    void setLoText(int channel, const QString &text) override;
    void setInSymbolrateText(int channel, const QString &text) override;
    void setOutputOn(int channel, bool on) override;
    void setOpmode(int channel, int position) override;
    void setOutFrequencyText(int channel, const QString &text) override;
    void setBandwidth(int channel, int position) override;
    void setQamList(int channel, int firstCode, int selectedCode) override;
    void setOutSymbolrateText(int channel, const QString &text) override;
    void setSpectrum(int channel, int position) override;
    void setAttenuation(int channel, int position) override;
    void setSetEnabled(int channel, bool enabled) override;
    void showFirstPage() override;
    void setPagesEnabled(bool enabled) override;

signals:
    // The read of the headend that fills the window has ended, complete or not; the station's
    // image of the headend holds what it read.
    void headendRead(bool complete);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void revealColumn(size_t index);
    // The fields whose keys, focus and leaving the rules watch.
    enum class Field { InFrequency, InSymbolrate, Lo, OutFrequency, OutSymbolrate, On, Off };
    struct FieldRef {
        int channel = 0;
        Field field = Field::InFrequency;
    };

    QWidget *buildDeviceBlock();
    QWidget *buildPageButtons();
    void addColumns(int pageSize, int lastChannel);
    void setTabOrder();
    void bindColumn(int channel);
    void watch(QWidget *widget, int channel, Field field);
    void showPage(int page);
    void showOfflineFile();
    bool settleEdits();
    bool askBeforeClosing();
    InputSettings inputSettings(int channel);
    OutputSettings outputSettings(int channel);
    // Draws the plan of the columns as they stand, edits not yet sent included.
    void refreshPlan();

    ChannelColumn *column(int channel);
    QWidget *fieldWidget(const FieldRef &ref);

    // Key filters A, B and C; true when the key must be discarded.
    bool filterKey(const FieldRef &ref, QKeyEvent *key);
    void fieldLeft(const FieldRef &ref, Qt::FocusReason reason);
    // The rule of a field the operator left runs once the focus has settled, or at once when
    // a button is pressed before that.
    void runPendingRule();
    RuleOutcome rule(const FieldRef &ref);
    void apply(const RuleOutcome &outcome, const FieldRef &ref);
    void moveFocus(QWidget *target);

    void qamSelected(int channel);
    void bandwidthSelected(int channel);
    void outputSwitched(int channel, bool on);
    void setPressed(int channel);
    void searchPressed(int channel);
    void serviceListPressed(int channel);
    void unload();

    Station &m_station;
    OverviewMenus &m_menus;
    std::vector<ChannelColumn> m_columns;
    QHash<QObject *, FieldRef> m_fields;
    QStackedWidget *m_pages = nullptr;
    FrequencyPlanView *m_plan = nullptr;
    InputBlocker *m_inputBlocker = nullptr;
    std::array<QWidget *, 3> m_page{};
    std::array<QPushButton *, 3> m_pageButtons{};
    std::array<QLabel *, 5> m_deviceLabels{};
    std::optional<FieldRef> m_pendingRule;
    // The LO rule already accepted the text when Tab moved the focus on.
    std::optional<int> m_loAcceptedByTab;
    bool m_movingFocus = false;
    bool m_activated = false;
    bool m_readComplete = false;
    bool m_unloaded = false;
    bool m_offline = false;
};

} // namespace keldor
