#pragma once

#include "core/model/channellists.h"
#include "core/model/channelview.h"
#include "core/model/unitdata.h"

#include <QStringList>

#include <array>

namespace keldor {

// A ChannelView that keeps what a column and the device block would show, as texts.
class ChannelTextsView : public ChannelView {
public:
    // What a column shows beyond its texts.
    struct ColumnState {
        bool polarisationEnabled = false;
        bool serviceListEnabled = false;
        bool searchEnabled = false;
        bool setEnabled = false;
        QStringList loEntries = lists::lo();
        int qamFirstCode = 0;
        int qamCode = -1; // nothing selected
    };

    void setDeviceText(DeviceField field, const QString &text) override;
    void hideServiceListButtons() override { m_serviceListButtonsHidden = true; }
    void setStatus(int channel, const QString &text, bool black) override;
    void setBer(int channel, const QString &text) override { column(channel).ber = text; }
    void setSnr(int channel, const QString &text) override { column(channel).snr = text; }
    void setServiceListEnabled(int channel, bool enabled) override;
    void setSearchEnabled(int channel, bool enabled) override;
    void setPolarisation(int channel, std::optional<int> position) override;
    void setInFrequencyText(int channel, const QString &text) override;
    void addLoEntry(int channel, const QString &text) override;
    void setLoText(int channel, const QString &text) override { column(channel).lo = text; }
    void setInSymbolrateText(int channel, const QString &text) override;
    void setOutputOn(int channel, bool on) override { column(channel).outputOn = on; }
    void setOpmode(int channel, int position) override;
    void setOutFrequencyText(int channel, const QString &text) override;
    void setBandwidth(int channel, int position) override;
    void setQamList(int channel, int firstCode, int selectedCode) override;
    void setOutSymbolrateText(int channel, const QString &text) override;
    void setSpectrum(int channel, int position) override;
    void setAttenuation(int channel, int position) override;
    void setSetEnabled(int channel, bool enabled) override;
    void showFirstPage() override { m_firstPageShown = true; }
    void setPagesEnabled(bool enabled) override { m_pagesEnabled = enabled; }

    const ChannelTexts &texts(int channel) const
    {
        return m_texts.at(static_cast<size_t>(channel));
    }
    const ColumnState &state(int channel) const
    {
        return m_states.at(static_cast<size_t>(channel));
    }
    const DeviceTexts &device() const { return m_device; }
    bool serviceListButtonsHidden() const { return m_serviceListButtonsHidden; }
    bool firstPageShown() const { return m_firstPageShown; }
    bool pagesEnabled() const { return m_pagesEnabled; }
    bool statusBlack(int channel) const { return m_black.at(static_cast<size_t>(channel)); }

private:
    ChannelTexts &column(int channel) { return m_texts.at(static_cast<size_t>(channel)); }
    ColumnState &columnState(int channel) { return m_states.at(static_cast<size_t>(channel)); }

    std::array<ChannelTexts, channelCount> m_texts{};
    std::array<ColumnState, channelCount> m_states{};
    std::array<bool, channelCount> m_black{};
    DeviceTexts m_device;
    bool m_serviceListButtonsHidden = false;
    bool m_firstPageShown = false;
    bool m_pagesEnabled = true;
};

} // namespace keldor
