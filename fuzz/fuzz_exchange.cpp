// Arbitrary headend bytes against the request/answer dialogue: reads, writes, the keep-alive,
// the device-type check, the full read, the tuner state and the service lists, with answers
// cut, repeated, flooded or dropped anywhere. Nothing may crash, read past the buffer, let the
// receive buffer grow past its limit or turn a value the headend sent into undefined behaviour.

#include "fuzzsupport.h"

#include "channels/channeltextsview.h"
#include "model/unitdata.h"
#include "protocol/devicetype.h"
#include "protocol/parameters.h"
#include "protocol/readunitdata.h"
#include "protocol/tunerinfo.h"
#include "services/servicelists.h"

using namespace keldor;

namespace {

WriteValue write_value(FuzzedDataProvider &data)
{
    switch (data.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return data.ConsumeIntegral<qint64>();
    case 1:
        return data.ConsumeFloatingPoint<double>();
    case 2:
        return utf8_text(data, 40);
    default:
        return bytes(data, 40);
    }
}

void check_encoding(quint8 channel, quint8 code, const WriteValue &value)
{
    const auto encoded = encode_write(channel, code, value);
    if (const auto *write = std::get_if<EncodedWrite>(&encoded)) {
        expect(write->frame.size() == 10, "a request is ten bytes");
        expect(quint8(write->frame.at(0)) == channel && quint8(write->frame.at(1)) == code,
               "a request starts with channel and code");
        expect(payload_kind(code) == PayloadKind::ListText || write->rest.isEmpty(),
               "only the list string has a rest");
    } else {
        expect(!std::get<QString>(encoded).isEmpty(), "a refusal says why");
    }
}

void check_decoding(FuzzedDataProvider &data)
{
    const auto kind = answer_kind(data.ConsumeIntegral<quint8>());
    const std::string bytes = data.ConsumeBytesAsString(size_t(answer_length(kind)));
    if (bytes.size() < size_t(answer_length(kind)))
        return;
    const ParamValue value = decode_answer(kind, QByteArrayView(bytes.data(), bytes.size()));
    expect(value.kind == kind, "the answer keeps its kind");
}

// The minimum rates the channel window derives from a data rate the headend reported.
void check_tuner(Exchange &exchange, FuzzedDataProvider &data)
{
    UnitData unit;
    ChannelTextsView view;
    const int channel = data.ConsumeIntegralInRange(0, channelCount - 1);
    if (!read_tuner_info(exchange, unit, view, channel))
        return;
    const float rate = unit.channel_data_rate.at(size_t(channel));
    for (int bandwidth = 0; bandwidth <= 1; ++bandwidth) {
        const int qam = get_minqam(bandwidth, rate);
        expect(qam >= 1 && qam <= 6, "a QAM code");
    }
    for (int qam = 0; qam <= 6; ++qam)
        get_minsymbol(qam, rate);
}

void check_services(Exchange &exchange, FuzzedDataProvider &data)
{
    ChannelServices services;
    read_service_lists(exchange, data.ConsumeIntegralInRange(0, channelCount - 1), services);
    expect(services.input.size() <= 255, "at most the count byte's services");
    const QList<Service> output = output_services(services);
    expect(output.size() <= services.input.size(), "the output picks from the input");
    const Selection selection = choose_selection(services.input, output);
    expect(selection.ids.size() <= 255, "the selection fits its count byte");
    expect(selection.listString().size() == 2 + 2 * selection.ids.size(), "the list string");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzedDataProvider data(input, size);
    ScriptedExchange scripted;
    auto &[ui, timing, serial, lan, exchange] = scripted;
    lan.responder = Playback{data, exchange, 3, 9, 300, true};

    for (int step = 0; step < 8 && data.remaining_bytes() > 0; ++step) {
        lan.open = data.ConsumeIntegralInRange(0, 15) != 0;
        const auto channel = data.ConsumeIntegral<quint8>();
        const auto code = data.ConsumeIntegral<quint8>();
        switch (data.ConsumeIntegralInRange(0, 8)) {
        case 0: {
            ParamValue value;
            if (read_parameter(exchange, channel, code, data.ConsumeIntegral<quint8>(), value)) {
                expect(value.kind == answer_kind(code), "a read answers in its code's kind");
                expect(value.text.size() <= 255, "a text is at most its length byte long");
            }
            break;
        }
        case 1:
            set_parameter(exchange, channel, code, write_value(data));
            break;
        case 2:
            keep_alive(exchange);
            break;
        case 3: {
            UnitData unit;
            if (check_devicetype(exchange, unit)) {
                expect(QList<qint16>{7, 9, 11, 15}.contains(unit.max_channel),
                       "a known channel count");
                expect(unit.device_variant >= 0 && unit.device_variant <= 3, "a known variant");
            }
            break;
        }
        case 4:
            check_encoding(channel, code, write_value(data));
            break;
        case 5: {
            UnitData unit;
            ChannelTextsView view;
            constexpr qint16 channelCounts[] = {7, 9, 11, 15};
            unit.max_channel = channelCounts[data.ConsumeIntegralInRange(0, 3)];
            read_unit_data(exchange, unit, view);
            break;
        }
        case 6:
            check_tuner(exchange, data);
            break;
        case 7:
            check_services(exchange, data);
            break;
        default:
            check_decoding(data);
            break;
        }
        expect(ui.busyDepth == 0, "every busy cursor is given back");
        expect(exchange.rx_buffer().size() <= Exchange::rxLimit, "receive buffer bound");
        ui.clear();
    }
    return 0;
}
