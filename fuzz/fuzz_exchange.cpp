// Any headend bytes, cut, repeated, flooded or dropped, against every request of the dialogue: no
// crash, no overread, no receive buffer past its limit, no undefined behaviour from a value.

#include "fuzzsupport.h"

#include "core/model/channeltextsview.h"
#include "core/model/devicetype.h"
#include "core/model/readunitdata.h"
#include "core/model/servicelists.h"
#include "core/model/tunerinfo.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"

using namespace keldor;

namespace {

WriteValue writeValue(FuzzedDataProvider &data)
{
    const int kind = data.ConsumeIntegralInRange(0, 3);
    if (kind < 2)
        return kind ? WriteValue(data.ConsumeFloatingPoint<double>())
                    : WriteValue(data.ConsumeIntegral<qint64>());
    return kind == 2 ? WriteValue(utf8Text(data, 40)) : WriteValue(bytes(data, 40));
}

void checkEncoding(quint8 channel, quint8 code, const WriteValue &value)
{
    const auto encoded = encodeWrite(channel, code, value);
    if (const auto *write = std::get_if<EncodedWrite>(&encoded)) {
        expect(write->frame.size() == 10 && quint8(write->frame.at(0)) == channel &&
                   quint8(write->frame.at(1)) == code,
               "a request is ten bytes, starting with channel and code");
        expect(payloadKind(code) == PayloadKind::ListText || write->rest.isEmpty(),
               "only the list string has a rest");
    } else {
        expect(!std::get<QString>(encoded).isEmpty(), "a refusal says why");
    }
}

// The minimum rates the channel window derives from a data rate the headend reported.
void checkTuner(Exchange &exchange, FuzzedDataProvider &data, UnitData &unit,
                ChannelTextsView &view)
{
    const int channel = data.ConsumeIntegralInRange(0, channelCount - 1);
    if (!readTunerState(exchange, unit, channel))
        return;
    showTunerState(unit, channel, view);
    const float rate = unit.channelDataRate.at(size_t(channel));
    for (int bandwidth = 0; bandwidth <= 1; ++bandwidth)
        expect(getMinQam(bandwidth, rate) >= 1 && getMinQam(bandwidth, rate) <= 6, "a QAM code");
    for (int qam = 0; qam <= 6; ++qam)
        getMinSymbol(qam, rate);
}

void checkServices(Exchange &exchange, FuzzedDataProvider &data)
{
    ChannelServices services;
    readServiceLists(exchange, data.ConsumeIntegralInRange(0, channelCount - 1), services);
    const QList<Service> output = outputServices(services);
    expect(services.input.size() <= 255 && output.size() <= services.input.size(),
           "at most the count byte's services, the output picked from them");
    const Selection selection = chooseSelection(services.input, output);
    expect(selection.ids.size() <= 255 &&
               selection.listString().size() == 2 + 2 * selection.ids.size(),
           "the selection fits its count byte and the list string");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    static const QList<qint16> channelCounts{7, 9, 11, 15};
    FuzzedDataProvider data(input, size);
    ScriptedExchange scripted;
    auto &[ui, timing, serial, lan, exchange] = scripted;
    lan.responder = Playback{data, exchange, 3, 9, 300, true};

    for (int step = 0; step < 8 && data.remaining_bytes() > 0; ++step) {
        lan.open = data.ConsumeIntegralInRange(0, 15) != 0;
        const auto channel = data.ConsumeIntegral<quint8>();
        const auto code = data.ConsumeIntegral<quint8>();
        UnitData unit;
        ChannelTextsView view;
        switch (data.ConsumeIntegralInRange(0, 8)) {
        case 0: {
            ParamValue value;
            if (readParameter(exchange, channel, code, data.ConsumeIntegral<quint8>(), value))
                expect(value.kind == answerKind(code) && value.text.size() <= 255,
                       "a read answers in its code's kind, a text at most its length byte long");
            break;
        }
        case 1:
            setParameter(exchange, channel, code, writeValue(data));
            break;
        case 2:
            keepAlive(exchange);
            break;
        case 3:
            if (checkDeviceType(exchange, unit))
                expect(channelCounts.contains(unit.maxChannel) && unit.deviceVariant >= 0 &&
                           unit.deviceVariant <= 3,
                       "a known channel count and variant");
            break;
        case 4:
            checkEncoding(channel, code, writeValue(data));
            break;
        case 5:
            unit.maxChannel = channelCounts.at(data.ConsumeIntegralInRange(0, 3));
            if (readUnitData(exchange, unit))
                showUnitData(unit, view);
            break;
        case 6:
            checkTuner(exchange, data, unit, view);
            break;
        case 7:
            checkServices(exchange, data);
            break;
        default: {
            const auto kind = answerKind(data.ConsumeIntegral<quint8>());
            const std::string answer = data.ConsumeBytesAsString(size_t(answerLength(kind)));
            if (answer.size() == size_t(answerLength(kind)))
                expect(decodeAnswer(kind, QByteArrayView(answer.data(), answer.size())).kind ==
                           kind,
                       "the answer keeps its kind");
        }
        }
        expect(ui.busyDepth == 0, "every busy cursor is given back");
        expect(exchange.heldBytes() <= Exchange::rxLimit, "receive bound");
        ui.clear();
    }
    return 0;
}
