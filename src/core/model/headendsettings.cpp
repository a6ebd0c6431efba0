#include "core/model/headendsettings.h"

#include "core/common/textutil.h"
#include "core/common/userinterface.h"
#include "core/link/exchange.h"
#include "core/model/devicetype.h"
#include "core/model/settingsfile.h"

#include <QDir>

#include <algorithm>

namespace keldor {

namespace {

constexpr qint32 sixteenChannelVariant = 3;

} // namespace

bool selectionsReadable(const UnitData &unit)
{
    const DeviceIdentity &identity = unit.identity;
    return identity.fromHeadend && compareText(identity.fpgaVersion, "1.05") > 0 &&
           compareText(identity.controllerVersion, "1.04") > 0 &&
           unit.deviceVariant != sixteenChannelVariant;
}

bool readConfiguration(Exchange &exchange, Configuration &config, const ReadProgress &progress)
{
    return checkDeviceType(exchange, config.unit) &&
           readUnitData(exchange, config.unit, progress) &&
           readSelections(exchange, config, progress);
}

bool readSelections(Exchange &exchange, Configuration &config, const ReadProgress &progress)
{
    UnitData &unit = config.unit;
    config.selectionsRead = selectionsReadable(unit);
    for (int ch = 0; ch < unit.channelsInUse(); ++ch) {
        ChannelRecord &record = unit.channel(ch);
        ChannelServices services;
        exchange.deadline().enter(Stage::Services, ch);
        // A headend without service lists passes every service, which is what an empty list says.
        if (config.selectionsRead && !readServiceLists(exchange, ch, services, ListedIds::All))
            return false;
        const auto count = std::min<qsizetype>(services.listedIds.size(), serviceIdCapacity);
        record.serviceMode = services.mode;
        record.serviceCount = static_cast<quint8>(count);
        record.serviceIds = {};
        std::copy_n(services.listedIds.cbegin(), count, record.serviceIds.begin());
        config.inputServices.at(static_cast<size_t>(ch)) = services.input;
        if (progress && config.selectionsRead)
            progress(ReadStep::Selection, ch);
    }
    return true;
}

ReadProgressWindow::~ReadProgressWindow()
{
    if (m_shown)
        m_ui.closeProgress();
}

ReadProgress ReadProgressWindow::progress()
{
    return [this](ReadStep step, int channel) {
        if (step == ReadStep::Identity)
            return;
        if (!m_shown)
            m_ui.showProgress(QString(), m_unit.channelsInUse());
        m_shown = true;
        m_ui.setProgressLabel((step == ReadStep::Channel
                                   ? QStringLiteral("Reading Channel:")
                                   : QStringLiteral("Reading Service List Channel:")) +
                              numberText(channel + 1));
        m_ui.setProgressValue(channel + 1);
    };
}

std::optional<FileOverHeadend> readFileOverHeadend(Exchange &exchange, UserInterface &ui,
                                                   const QString &path, Configuration &headend)
{
    {
        BusyCursor busy(ui);
        if (!readConfiguration(exchange, headend))
            return std::nullopt;
    }
    FileOverHeadend file{headend.unit};
    // The file was checked before the headend was asked; one changed since is refused all the
    // same.
    const std::optional<SettingsFormat> format = loadSettingsFile(ui, path, file.unit);
    if (!format)
        return std::nullopt;
    file.format = *format;
    return file;
}

void resetSelections(UnitData &unit)
{
    for (int ch = 0; ch < unit.channelsInUse(); ++ch) {
        unit.channel(ch).serviceCount = 0;
        unit.channel(ch).serviceMode = servicemode::all;
    }
}

UnitDiff checkWrite(const UnitData &sent, const Configuration &held)
{
    UnitData holds = held.unit;
    for (int ch = 0; !held.selectionsRead && ch < holds.channelsInUse(); ++ch) {
        const ChannelRecord &record = sent.channel(ch);
        holds.channel(ch).serviceMode = record.serviceMode;
        holds.channel(ch).serviceCount = record.serviceCount;
        holds.channel(ch).serviceIds = record.serviceIds;
    }
    return diffUnits(sent, holds);
}

void showUncheckedWrite(UserInterface &ui, const QString &backup)
{
    ui.message(UserInterface::Icon::Critical, QStringLiteral("Load Settings"),
               QStringLiteral("The settings were written, but the headend could not be read back "
                              "to check them.\rWhat it held before is saved in %1.")
                   .arg(QDir::toNativeSeparators(backup)));
}

std::optional<UnitDiff> verifyWrite(Exchange &exchange, const UnitData &sent, const QString &backup)
{
    Configuration held;
    bool read = false;
    {
        BusyCursor busy(exchange.ui());
        read = readConfiguration(exchange, held);
    }
    if (!read) {
        showUncheckedWrite(exchange.ui(), backup);
        return std::nullopt;
    }
    return checkWrite(sent, held);
}

} // namespace keldor
