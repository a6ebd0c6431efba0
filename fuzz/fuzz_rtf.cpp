// Any headend text, escaped for the report, reads back as itself less its control characters and
// leaves the document's groups as they were, wherever it is printed.

#include "fuzzsupport.h"

#include "core/common/textutil.h"
#include "core/features/report/rtfreport.h"
#include "core/features/report/rtftext.h"
#include "core/model/servicelists.h"

using namespace keldor;

namespace {

QString text(FuzzedDataProvider &data, size_t maxLength)
{
    // UTF-16 units straight from the input: lone surrogates and every control character too.
    const std::string bytes = data.ConsumeRandomLengthString(2 * maxLength);
    QString out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out.append(QChar(char16_t(uchar(bytes[i]) | uchar(bytes[i + 1]) << 8)));
    return out;
}

// Reads an escaped text back the way an RTF reader does; nothing but the escapes that
// rtfEscape writes may appear.
QString unescape(const QByteArray &rtf)
{
    QString out;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const char c = rtf.at(i);
        expect(c >= 0x20 && c < 0x7F && c != '{' && c != '}', "printable and no group");
        if (c != '\\') {
            out.append(QLatin1Char(c));
            continue;
        }
        expect(i + 1 < rtf.size(), "an escape is complete");
        const char next = rtf.at(++i);
        bool ok = false;
        if (next == '\\' || next == '{' || next == '}') {
            out.append(QLatin1Char(next));
        } else if (next == '\'') {
            const int byte = rtf.mid(i + 1, 2).toInt(&ok, 16);
            expect(i + 2 < rtf.size() && ok, "two hex digits");
            out.append(fromCp1252(QByteArray(1, char(byte))));
            i += 2;
        } else {
            expect(next == 'u', "only \\u as a control word");
            const qsizetype end = rtf.indexOf('?', i + 1);
            expect(end > i + 1, "\\u ends with its replacement");
            const int code = rtf.mid(i + 1, end - i - 1).toInt(&ok);
            expect(ok && code >= -32768 && code <= 32767, "\\u takes a signed 16-bit number");
            out.append(QChar(char16_t(quint16(qint16(code)))));
            i = end;
        }
    }
    return out;
}

// Opening and closing braces that are not escaped.
std::pair<int, int> groups(const QByteArray &rtf)
{
    std::pair<int, int> count;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        count.first += rtf.at(i) == '{';
        count.second += rtf.at(i) == '}';
        i += rtf.at(i) == '\\';
    }
    return count;
}

void checkFragments(FuzzedDataProvider &data)
{
    ReportTexts texts;
    texts.device = {text(data, 20), text(data, 12), text(data, 8), text(data, 8), text(data, 8)};
    for (ChannelTexts &column : texts.channels) {
        if (data.remaining_bytes() == 0)
            break;
        column.status = text(data, 12);
        std::tie(column.ber, column.outFrequency, column.qam) =
            std::tuple{text(data, 8), text(data, 8), text(data, 8)};
    }
    const qint32 variant = data.ConsumeIntegralInRange(0, 3);
    const int channels = data.ConsumeIntegralInRange(0, channelCount);
    expect(groups(rtfDeviceHeader(texts.device)) == groups(rtfDeviceHeader({})) &&
               groups(rtfChannelTable(texts, variant, channels)) ==
                   groups(rtfChannelTable({}, variant, channels)),
           "the device header and the channel table keep their groups");

    ChannelServices services;
    services.mode = data.PickValueInArray(
        {servicemode::all, servicemode::listed, servicemode::allButListed, quint8(7)});
    services.listedCount = data.ConsumeIntegralInRange(0, 255);
    if (data.ConsumeBool())
        services.inputCount = data.ConsumeIntegralInRange(0, 255);
    while (data.remaining_bytes() > 0 && services.input.size() < 255) {
        const auto id = data.ConsumeIntegral<qint16>();
        services.input.append({text(data, 16), id});
        if (data.ConsumeBool())
            services.listedIds.append(id);
    }
    const int channel = data.ConsumeIntegralInRange(0, channelCount - 1);
    ChannelServices plain = services;
    for (Service &service : plain.input)
        service.name.clear();
    expect(groups(rtfServiceList(channel, services)) == groups(rtfServiceList(channel, plain)),
           "a service list keeps its groups");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    FuzzedDataProvider data(input, size);
    if (!data.ConsumeBool())
        return checkFragments(data), 0;
    const QString original = text(data, 400);
    QString expected;
    for (const QChar c : original)
        expected += c.unicode() >= 0x20 && c.unicode() != 0x7F ? QString(c) : QString();
    expect(unescape(rtfEscape(original)) == expected, "an escaped text reads back as itself");
    return 0;
}
