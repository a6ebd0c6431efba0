#pragma once

#include <QString>

#include <optional>

namespace keldor {

// What the full read, the tuner read and the search show on the channel columns and the
// device block. The channel window implements it with its widgets; keldor-ctl and the report
// keep the texts (ChannelTextsView). Channel indices are 0-based.
class ChannelView {
public:
    enum class DeviceField {
        DeviceType,
        SerialNumber,
        HardwareVersion,
        ControllerVersion,
        FpgaVersion
    };

    virtual ~ChannelView() = default;

    virtual void setDeviceText(DeviceField field, const QString &text) = 0;
    // The headend has no service-list editing: every column loses its service-list button and
    // the search button takes its place.
    virtual void hideServiceListButtons() = 0;

    // black: the text is shown in black; false leaves the colour to the window.
    virtual void setStatus(int channel, const QString &text, bool black) = 0;
    virtual void setBer(int channel, const QString &text) = 0;
    virtual void setSnr(int channel, const QString &text) = 0;
    virtual void setServiceListEnabled(int channel, bool enabled) = 0;
    virtual void setSearchEnabled(int channel, bool enabled) = 0;

    // A position selects that entry and enables the box; std::nullopt shows "SAT" in a disabled box
    // (the headend has a single input).
    virtual void setPolarisation(int channel, std::optional<int> position) = 0;
    virtual void setInFrequencyText(int channel, const QString &text) = 0;
    virtual void addLoEntry(int channel, const QString &text) = 0;
    virtual void setLoText(int channel, const QString &text) = 0;
    virtual void setInSymbolrateText(int channel, const QString &text) = 0;
    virtual void setOutputOn(int channel, bool on) = 0;
    virtual void setOpmode(int channel, int position) = 0;
    virtual void setOutFrequencyText(int channel, const QString &text) = 0;
    virtual void setBandwidth(int channel, int position) = 0;
    // The QAM list holds the codes firstCode..5 and selects selectedCode, without raising the
    // QAM rule.
    virtual void setQamList(int channel, int firstCode, int selectedCode) = 0;
    virtual void setOutSymbolrateText(int channel, const QString &text) = 0;
    virtual void setSpectrum(int channel, int position) = 0;
    virtual void setAttenuation(int channel, int position) = 0;
    virtual void setSetEnabled(int channel, bool enabled) = 0;

    // Page 1 (channels 1-6) in front, its page button disabled, the others enabled.
    virtual void showFirstPage() = 0;
    // Every column of every page is inert while a search runs.
    virtual void setPagesEnabled(bool enabled) = 0;
};

} // namespace keldor
