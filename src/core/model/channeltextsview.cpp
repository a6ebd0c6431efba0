#include "core/model/channeltextsview.h"

namespace keldor {

void ChannelTextsView::setDeviceText(DeviceField field, const QString &text)
{
    switch (field) {
    case DeviceField::DeviceType:
        m_device.deviceType = text;
        break;
    case DeviceField::SerialNumber:
        m_device.serialNumber = text;
        break;
    case DeviceField::HardwareVersion:
        m_device.hardwareVersion = text;
        break;
    case DeviceField::ControllerVersion:
        m_device.controllerVersion = text;
        break;
    case DeviceField::FpgaVersion:
        m_device.fpgaVersion = text;
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
        position ? listEntry(lists::polarisation(), *position) : QStringLiteral("SAT");
}

void ChannelTextsView::setInFrequencyText(int channel, const QString &text)
{
    column(channel).inFrequency = text;
}

void ChannelTextsView::addLoEntry(int channel, const QString &text)
{
    columnState(channel).loEntries.append(text);
}

void ChannelTextsView::setInSymbolrateText(int channel, const QString &text)
{
    column(channel).inSymbolrate = text;
}

void ChannelTextsView::setOpmode(int channel, int position)
{
    column(channel).opmode = listEntry(lists::opmode(), position);
}

void ChannelTextsView::setOutFrequencyText(int channel, const QString &text)
{
    column(channel).outFrequency = text;
}

void ChannelTextsView::setBandwidth(int channel, int position)
{
    column(channel).bandwidth = listEntry(lists::bandwidth(), position);
}

void ChannelTextsView::setQamList(int channel, int firstCode, int selectedCode)
{
    ColumnState &state = columnState(channel);
    state.qamFirstCode = firstCode;
    // A code the list doesn't hold selects nothing, as a list box would.
    state.qamCode =
        selectedCode >= firstCode && selectedCode < lists::qam().size() ? selectedCode : -1;
    column(channel).qam = listEntry(lists::qam(), state.qamCode);
}

void ChannelTextsView::setOutSymbolrateText(int channel, const QString &text)
{
    column(channel).outSymbolrate = text;
}

void ChannelTextsView::setSpectrum(int channel, int position)
{
    column(channel).spectrum = listEntry(lists::spectrum(), position);
}

void ChannelTextsView::setAttenuation(int channel, int position)
{
    column(channel).attenuation = listEntry(lists::attenuation(), position);
}

void ChannelTextsView::setSetEnabled(int channel, bool enabled)
{
    columnState(channel).setEnabled = enabled;
}

} // namespace keldor
