#include "channels/channeltextsview.h"

namespace keldor {

void ChannelTextsView::setDeviceText(DeviceField field, const QString &text)
{
    switch (field) {
    case DeviceField::DeviceType:
        m_device.device_type = text;
        break;
    case DeviceField::SerialNumber:
        m_device.serial_number = text;
        break;
    case DeviceField::HardwareVersion:
        m_device.hardware_version = text;
        break;
    case DeviceField::ControllerVersion:
        m_device.controller_version = text;
        break;
    case DeviceField::FpgaVersion:
        m_device.fpga_version = text;
        break;
    }
}

void ChannelTextsView::setStatus(int channel, const QString &text, bool black)
{
    column(channel).status = text;
    m_black.at(static_cast<size_t>(channel)) = black;
}

void ChannelTextsView::setServiceListEnabled(int channel, bool enabled)
{
    columnState(channel).serviceListEnabled = enabled;
}

void ChannelTextsView::setSearchEnabled(int channel, bool enabled)
{
    columnState(channel).searchEnabled = enabled;
}

void ChannelTextsView::setPolarisation(int channel, std::optional<int> position)
{
    columnState(channel).polarisationEnabled = position.has_value();
    column(channel).polarisation =
        position ? list_entry(lists::polarisation(), *position) : QStringLiteral("SAT");
}

void ChannelTextsView::setInFrequencyText(int channel, const QString &text)
{
    column(channel).in_frequency = text;
}

void ChannelTextsView::addLoEntry(int channel, const QString &text)
{
    columnState(channel).loEntries.append(text);
}

void ChannelTextsView::setInSymbolrateText(int channel, const QString &text)
{
    column(channel).in_symbolrate = text;
}

void ChannelTextsView::setOpmode(int channel, int position)
{
    column(channel).opmode = list_entry(lists::opmode(), position);
}

void ChannelTextsView::setOutFrequencyText(int channel, const QString &text)
{
    column(channel).out_frequency = text;
}

void ChannelTextsView::setBandwidth(int channel, int position)
{
    column(channel).bandwidth = list_entry(lists::bandwidth(), position);
}

void ChannelTextsView::setQamList(int channel, int firstCode, int selectedCode)
{
    ColumnState &state = columnState(channel);
    state.qamFirstCode = firstCode;
    // A code the list doesn't hold selects nothing, as a list box would.
    state.qamCode =
        selectedCode >= firstCode && selectedCode < lists::qam().size() ? selectedCode : -1;
    column(channel).qam = list_entry(lists::qam(), state.qamCode);
}

void ChannelTextsView::setOutSymbolrateText(int channel, const QString &text)
{
    column(channel).out_symbolrate = text;
}

void ChannelTextsView::setSpectrum(int channel, int position)
{
    column(channel).spectrum = list_entry(lists::spectrum(), position);
}

void ChannelTextsView::setAttenuation(int channel, int position)
{
    column(channel).attenuation = list_entry(lists::attenuation(), position);
}

void ChannelTextsView::setSetEnabled(int channel, bool enabled)
{
    columnState(channel).setEnabled = enabled;
}

} // namespace keldor
