#include "protocol/fullwrite.h"

#include "common/textutil.h"
#include "link/exchange.h"
#include "model/unitdata.h"

#include <QtEndian>

#include <bit>

namespace keldor {

namespace {

const QByteArray startFrame = [] {
    QByteArray frame(10, '\0');
    frame[1] = static_cast<char>(bulkWriteCode);
    return frame;
}();

// Sends one block the way the headend expects it: a fresh buffer for its go-ahead and the
// short pause every send gets.
void send_block(Exchange &exchange, const QByteArray &block)
{
    exchange.clear_rx();
    exchange.wait_seconds(exchange.timing().sendPause);
    exchange.send(block);
}

// The count that goes on the wire never exceeds what the record can hold, so the frame and the
// service block that follows it always agree.
int listed_count(const ChannelRecord &record)
{
    return qMin<int>(record.service_count, serviceIdCapacity);
}

} // namespace

QByteArray bulk_channel_frame(const ChannelRecord &record)
{
    QByteArray frame(bulkChannelFrameSize, '\0');
    char *at = frame.data();
    qToBigEndian(std::bit_cast<quint32>(record.out_frequency), at);
    qToBigEndian(record.in_frequency, at + 4);
    qToBigEndian(record.lo_frequency, at + 6);
    qToBigEndian(record.in_symbolrate, at + 8);
    qToBigEndian(record.out_symbolrate, at + 10);
    const quint8 bytes[] = {record.polarisation, record.bandwidth,   record.qam,
                            record.spectrum,     record.attenuation, record.opmode,
                            record.output_on,    record.lo_mode,     quint8(listed_count(record)),
                            record.service_mode};
    for (size_t i = 0; i < std::size(bytes); ++i)
        frame[12 + static_cast<qsizetype>(i)] = static_cast<char>(bytes[i]);
    return frame;
}

QByteArray bulk_service_frame(const ChannelRecord &record)
{
    QByteArray frame(2 * listed_count(record), '\0');
    for (int i = 0; i < listed_count(record); ++i)
        qToBigEndian(record.service_ids[i], frame.data() + 2 * i);
    return frame;
}

bool save_unit_data(Exchange &exchange, UnitData &unit, bool keepServices)
{
    UserInterface &ui = exchange.ui();
    BusyCursor busy(ui);
    exchange.begin_exchange();
    exchange.clear_rx();
    const int last = qMin<int>(unit.max_channel, channelCount - 1);
    ui.showProgress(QString(), last + 1);
    ui.setProgressValue(0);
    exchange.wait_seconds(exchange.timing().sendPause);
    exchange.send(startFrame);

    // A window left on screen after a failure could never be closed by the operator.
    const auto fail = [&ui] {
        ui.closeProgress();
        return false;
    };
    for (int ch = 0; ch <= last; ++ch) {
        if (!exchange.get_data(1))
            return fail();
        ui.setProgressLabel(QStringLiteral("Setting Data Channel: ") + number_text(ch + 1));
        ChannelRecord &record = unit.channel(ch);
        if (!keepServices) {
            record.service_count = 0;
            record.service_mode = 0;
        }
        send_block(exchange, bulk_channel_frame(record));
        if (listed_count(record) > 0) {
            if (!exchange.get_data(1))
                return fail();
            send_block(exchange, bulk_service_frame(record));
        }
        ui.setProgressValue(ui.progressValue() + 1);
    }

    exchange.clear_rx();
    if (!exchange.command_quit())
        return fail();
    exchange.end_exchange();
    ui.setProgressLabel(QStringLiteral("Headend Data successfully updated!"));
    exchange.wait_seconds(exchange.timing().bulkWriteDonePause);
    ui.closeProgress();
    return true;
}

} // namespace keldor
