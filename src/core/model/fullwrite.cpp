#include "core/model/fullwrite.h"

#include "core/common/textutil.h"
#include "core/link/exchange.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"

#include <QtEndian>

#include <bit>

namespace keldor {

namespace {

const QByteArray startFrame = [] {
    QByteArray frame(10, '\0');
    frame[1] = static_cast<char>(param::bulkWrite);
    return frame;
}();

// Sends one block the way the headend expects it: nothing older taken for its go-ahead, and
// the short pause every send gets.
void sendBlock(Exchange &exchange, const QByteArray &block)
{
    exchange.discard();
    exchange.waitSeconds(exchange.timing().sendPause);
    exchange.send(block, Expectation::goAhead());
}

// The count that goes on the wire never exceeds what the record can hold, so the frame and the
// service block that follows it always agree.
int listedCount(const ChannelRecord &record)
{
    return qMin<int>(record.serviceCount, serviceIdCapacity);
}

} // namespace

QByteArray bulkChannelFrame(const ChannelRecord &record)
{
    QByteArray frame(bulkChannelFrameSize, '\0');
    char *at = frame.data();
    qToBigEndian(std::bit_cast<quint32>(record.outFrequency), at);
    qToBigEndian(record.inFrequency, at + 4);
    qToBigEndian(record.loFrequency, at + 6);
    qToBigEndian(record.inSymbolrate, at + 8);
    qToBigEndian(record.outSymbolrate, at + 10);
    const quint8 bytes[] = {record.polarisation, record.bandwidth,   record.qam,
                            record.spectrum,     record.attenuation, record.opmode,
                            record.outputOn,     record.loMode,      quint8(listedCount(record)),
                            record.serviceMode};
    for (size_t i = 0; i < std::size(bytes); ++i)
        frame[12 + static_cast<qsizetype>(i)] = static_cast<char>(bytes[i]);
    return frame;
}

QByteArray bulkServiceFrame(const ChannelRecord &record)
{
    QByteArray frame(2 * listedCount(record), '\0');
    for (int i = 0; i < listedCount(record); ++i)
        qToBigEndian(record.serviceIds[i], frame.data() + 2 * i);
    return frame;
}

bool saveUnitData(Exchange &exchange, UnitData &unit, bool keepServices)
{
    UserInterface &ui = exchange.ui();
    BusyCursor busy(ui);
    exchange.beginExchange();
    exchange.discard();
    const int last = qMin<int>(unit.maxChannel, channelCount - 1);
    ui.showProgress(QString(), last + 1);
    ui.setProgressValue(0);
    exchange.waitSeconds(exchange.timing().sendPause);
    exchange.send(startFrame, Expectation::goAhead());

    // A window left on screen after a failure could never be closed by the operator.
    const auto fail = [&] {
        connectionAborted(exchange);
        ui.closeProgress();
        return false;
    };
    for (int ch = 0; ch <= last; ++ch) {
        if (!exchange.waitForUnit())
            return fail();
        ui.setProgressLabel(QStringLiteral("Setting Data Channel: ") + numberText(ch + 1));
        ChannelRecord &record = unit.channel(ch);
        if (!keepServices) {
            record.serviceCount = 0;
            record.serviceMode = 0;
        }
        sendBlock(exchange, bulkChannelFrame(record));
        if (listedCount(record) > 0) {
            if (!exchange.waitForUnit())
                return fail();
            sendBlock(exchange, bulkServiceFrame(record));
        }
        ui.setProgressValue(ui.progressValue() + 1);
    }

    exchange.discard();
    if (!exchange.waitForEnd())
        return fail();
    exchange.endExchange();
    ui.setProgressLabel(QStringLiteral("Headend Data successfully updated!"));
    exchange.waitSeconds(exchange.timing().bulkWriteDonePause);
    ui.closeProgress();
    return true;
}

} // namespace keldor
