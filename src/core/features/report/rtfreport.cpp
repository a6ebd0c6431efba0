#include "core/features/report/rtfreport.h"

#include "core/common/textutil.h"
#include "core/common/userinterface.h"
#include "core/features/report/reporttexts.h"
#include "core/features/report/rtftext.h"
#include "core/model/headendsettings.h"
#include "core/model/servicelists.h"

#include <QDir>
#include <QSaveFile>

#include <functional>

namespace keldor {

namespace {

constexpr int wideColumns = 6;
constexpr int narrowColumns = 4;
constexpr int namesPerLine = 8;
constexpr qint32 eightChannelVariant = 1;

// Every fragment stands on a line of its own; RTF readers ignore the line ends, and they also
// end the control words that some fragments finish with.
class Lines {
public:
    Lines &operator<<(const QByteArray &line)
    {
        m_out.append(line).append("\r\n");
        return *this;
    }
    Lines &operator<<(const char *line) { return *this << QByteArray(line); }
    QByteArray bytes() const { return m_out; }

private:
    QByteArray m_out;
};

QByteArray tabs(int n)
{
    return QByteArray(R"(\tab )").repeated(n);
}

QByteArray rule()
{
    return R"({\b\fs16\ul )" + tabs(18) + R"(\par})";
}

QByteArray number(qint64 value)
{
    return numberText(value).toLatin1();
}

// One printed row of the table: what the columns show and how the row is framed.
struct ValueRow {
    QByteArray label;
    QByteArray unit;
    std::function<QString(const ChannelTexts &)> value;
    bool rowStart = true;   // false where the block opening already began the row
    bool tightBold = false; // "\b\tab" instead of "\b \tab" before the column rule
};

const QList<ValueRow> &inputRows()
{
    static const QList<ValueRow> rows{
        {"", "", [](const ChannelTexts &t) { return t.status; }, false},
        {"BER:", "",
         [](const ChannelTexts &t) {
             return t.ber;
         }},
        {"SNR:", "",
         [](const ChannelTexts &t) {
             return t.snr;
         }},
        {"IN:", "",
         [](const ChannelTexts &t) {
             return t.polarisation;
         }},
        {"TP:", " MHz",
         [](const ChannelTexts &t) {
             return t.inFrequency;
         }},
        {"LO:", " MHz",
         [](const ChannelTexts &t) {
             return t.lo;
         }},
        {"SR:", " kSym",
         [](const ChannelTexts &t) {
             return t.inSymbolrate;
         }},
    };
    return rows;
}

const QList<ValueRow> &outputRows()
{
    static const QList<ValueRow> rows{
        {"Status:", "",
         [](const ChannelTexts &t) { return QString::fromLatin1(t.outputOn ? "ON" : "OFF"); },
         false},
        {"OP:", "",
         [](const ChannelTexts &t) {
             return t.opmode;
         }},
        {"F:", " MHz",
         [](const ChannelTexts &t) {
             return t.outFrequency;
         }},
        {"BW:", "", [](const ChannelTexts &t) { return t.bandwidth; }, true, true},
        {"QM:", "",
         [](const ChannelTexts &t) {
             return t.qam;
         }},
        {"SR:", " kSym",
         [](const ChannelTexts &t) {
             return t.outSymbolrate;
         }},
        {"SP:", "",
         [](const ChannelTexts &t) {
             return t.spectrum;
         }},
        {"ATT:", "",
         [](const ChannelTexts &t) {
             return t.attenuation;
         }},
    };
    return rows;
}

QByteArray separator(const ValueRow &row)
{
    if (!row.rowStart && row.label.isEmpty())
        return R"(\b \tab |\tab }{\fs16 )";
    const QByteArray bold = row.unit.isEmpty() && !row.tightBold ? R"(\b \tab)" : R"(\b\tab)";
    return row.unit + bold + R"( |\tab }{\fs16 )" + row.label + R"(\tab )";
}

// Writes one block's rows. The unit of a row's last column goes in front of the next row's
// start; the block after the last row brings its own.
void writeRows(Lines &out, const QList<ValueRow> &rows, const ReportTexts &texts,
               const ReportRow &row)
{
    QByteArray pendingUnit;
    for (const ValueRow &valueRow : rows) {
        if (valueRow.rowStart) {
            out << pendingUnit + (row.narrow ? R"(\par \tab \tab \tab )" : R"(\par )") +
                       valueRow.label + R"(\tab )";
        }
        for (int col = 0; col < row.count; ++col) {
            if (col > 0)
                out << separator(valueRow);
            out << rtfEscape(valueRow.value(texts.channels[row.first + col]));
        }
        pendingUnit = valueRow.unit;
    }
}

void writeTableRow(Lines &out, const ReportTexts &texts, const ReportRow &row)
{
    if (row.narrow) {
        out << R"({ \tab \tab \b\fs16\ul )" + tabs(12) + R"(\par})";
        out << R"({\b\fs16 \tab \tab \tab \tab \tab |\tab \tab \tab |\tab \tab \tab |\par \tab \tab \tab)";
    } else {
        out << rule();
        out << R"({\b\fs16 \tab \tab |\tab \tab \tab |\tab \tab \tab |\tab \tab \tab |\tab \tab \tab |\par )";
    }
    for (int col = 0; col < row.count; ++col) {
        if (col > 0)
            out << R"(\b \tab |\tab }{\fs16 )";
        out << R"(\b CHANNEL)" + number(row.first + col + 1);
    }

    if (row.narrow) {
        out << R"(\par }{\b\fs16  \tab \tab \tab \tab \tab |\tab \tab \tab |\tab \tab \tab |\par })"
               R"({\b\fs16 \tab \tab \tab INPUT:\tab \tab |\tab INPUT:\tab \tab |\tab INPUT:\tab \tab |)"
               R"(\tab INPUT:\par }{\fs16 \tab \tab \tab)";
    } else {
        out << R"(\par }{\b\fs16 \tab \tab |\tab \tab \tab |\tab \tab \tab |\tab \tab \tab |\tab \tab \tab |)"
               R"(\par }{\b\fs16 INPUT:\tab \tab |\tab INPUT:\tab \tab |\tab INPUT:\tab \tab |\tab INPUT:)"
               R"(\tab \tab |\tab INPUT:\tab \tab |\tab INPUT:\par }{\fs16)";
    }
    writeRows(out, inputRows(), texts, row);

    if (row.narrow) {
        out << R"( kSym\par \b \tab \tab \tab \tab \tab |\tab \tab \tab |\tab \tab \tab |\par })"
               R"({\b\fs16 \tab \tab \tab OUTPUT:\tab |\tab OUTPUT:\tab |\tab OUTPUT:\tab |\tab OUTPUT:)"
               R"(\par }{\fs16 \tab \tab \tab Status:\tab)";
    } else {
        out << R"( kSym\par \b \tab \tab |\tab \tab \tab |\tab \tab \tab |\tab \tab \tab |\tab \tab \tab |)"
               R"(\par }{\b\fs16 OUTPUT:\tab |\tab OUTPUT:\tab |\tab OUTPUT:\tab |\tab OUTPUT:\tab |)"
               R"(\tab OUTPUT:\tab |\tab OUTPUT:\par }{\fs16 Status:\tab)";
    }
    writeRows(out, outputRows(), texts, row);

    if (row.narrow) {
        out << R"(\par \tab \tab }{\b\fs16\ul \tab \tab \tab |\tab \tab \tab |\tab \tab \tab |)"
               R"(\tab \tab \tab \par \par })";
    } else {
        out << R"(\par }{\b\fs16\ul \tab \tab |\tab \tab \tab |\tab \tab \tab |\tab \tab \tab |)"
               R"(\tab \tab \tab |\tab \tab \tab \tab \par \par })";
    }
}

int inputPosition(const ChannelServices &services, qint16 id)
{
    for (int i = 0; i < services.input.size(); ++i) {
        if (services.input.at(i).id == id)
            return i;
    }
    return -1;
}

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

QList<ReportRow> reportRows(qint32 deviceVariant, int channelsInUse)
{
    QList<ReportRow> rows;
    int first = 0;
    const int channels = qBound(0, channelsInUse, channelCount);
    if (deviceVariant != eightChannelVariant) {
        // A remainder of four or fewer fits the narrow layout without empty columns.
        while (channels - first > narrowColumns) {
            const int count = qMin(wideColumns, channels - first);
            rows.append({false, first, count});
            first += count;
        }
    }
    while (first < channels) {
        const int count = qMin(narrowColumns, channels - first);
        rows.append({true, first, count});
        first += count;
    }
    return rows;
}

namespace {
// The line before the serial number, which stands on a line of its own.
constexpr char serialLine[] = R"(}{\b\fs16 \par }{\b\fs24 Serialnumber:}{\b\fs16 \tab }{\b\fs24 )";
} // namespace

QByteArray rtfDeviceHeader(const DeviceTexts &device)
{
    Lines out;
    out << R"({\b\fs24 Devicetype:}{\b\fs16 \tab \tab }{\b\fs24 )" << rtfEscape(device.deviceType)
        << R"(}{\b\fs16 \tab \tab \tab \tab \tab \tab \tab \tab }{\b\fs24 \'b5C-SW-Version:\tab)"
        << rtfEscape(device.controllerVersion) << serialLine << rtfEscape(device.serialNumber)
        << R"(}{\b\fs16 \tab \tab \tab }{\b\fs24 HW-Version:}{\b\fs16 \tab }{\b\fs24 )"
        << rtfEscape(device.hardwareVersion)
        << R"(}{\b\fs16 \tab \tab \tab }{\b\fs24 FPGA-SW-Version:\tab}{\b\fs24 )"
        << rtfEscape(device.fpgaVersion) << R"(\par})";
    return out.bytes();
}

std::optional<QString> reportSerialNumber(const QByteArray &report)
{
    const QByteArray before = QByteArray(serialLine) + "\r\n";
    const qsizetype start = report.indexOf(before);
    const qsizetype end = report.indexOf("\r\n", start + before.size());
    const QByteArray serial = report.mid(start + before.size(), end - start - before.size());
    if (start < 0 || end < 0 || serial.isEmpty())
        return std::nullopt;
    return QString::fromLatin1(serial);
}

QByteArray rtfChannelTable(const ReportTexts &texts, qint32 deviceVariant, int channelsInUse)
{
    Lines out;
    out << rule();
    for (const ReportRow &row : reportRows(deviceVariant, channelsInUse))
        writeTableRow(out, texts, row);
    return out.bytes();
}

QByteArray rtfServiceList(int channel, const ChannelServices &services)
{
    struct Listed {
        int position;
        QString name;
    };
    QList<Listed> listed;
    qint64 count = 0;
    QByteArray ending = R"( Services):\ulnone\b0\f1\par\fs16 )";
    const int inputs = services.inputCount.value_or(static_cast<int>(services.input.size()));
    if (services.mode == servicemode::all) {
        for (int i = 0; i < services.input.size(); ++i)
            listed.append({i, services.input.at(i).name});
        count = inputs;
    } else if (services.mode == servicemode::listed) {
        for (const qint16 id : services.listedIds) {
            if (const int at = inputPosition(services, id); at >= 0)
                listed.append({at, services.input.at(at).name});
        }
        count = services.listedCount;
    } else {
        for (int i = 0; i < services.input.size(); ++i) {
            if (!services.listedIds.contains(services.input.at(i).id))
                listed.append({i, services.input.at(i).name});
        }
        // A headend listing more IDs than it has services must not print a negative count.
        count = qMax(0, inputs - services.listedCount);
        ending = R"( Services):\ulnone\b0\f1\par\par\fs16 )";
    }

    Lines out;
    out << R"(\par\par\ul\b\fs16 Servicelist Channel)" + number(channel + 1) + " (" +
               QByteArray::number(count) + ending;
    for (const Listed &entry : listed) {
        if (entry.position % namesPerLine == 0)
            out << R"(\par )";
        out << rtfEscape(entry.name) + ", ";
    }
    return out.bytes();
}

QByteArray renderReport(const Configuration &config)
{
    const UnitData &unit = config.unit;
    const int channels = qBound(0, unit.channelsInUse(), channelCount);
    const ReportTexts texts = reportTexts(unit);
    QByteArray out = rtfDocumentHeader() + rtfDeviceHeader(texts.device) +
                     rtfChannelTable(texts, unit.deviceVariant, channels);
    for (int ch = 0; config.selectionsRead && ch < channels; ++ch) {
        const ChannelRecord &record = unit.channel(ch);
        ChannelServices services;
        services.input = config.inputServices.at(static_cast<size_t>(ch));
        services.inputCount = static_cast<int>(services.input.size());
        services.selectionKnown = true;
        services.mode = record.serviceMode;
        services.listedCount = std::min<int>(record.serviceCount, serviceIdCapacity);
        services.listedIds = {record.serviceIds.cbegin(),
                              record.serviceIds.cbegin() + services.listedCount};
        out += rtfServiceList(ch, services);
    }
    return out + "}\r\n";
}

bool printRtf(UserInterface &ui, const QString &path, const Configuration &config)
{
    QSaveFile file(path);
    const QByteArray report = renderReport(config);
    // commit() would put a report in place whose bytes could not all be written (a full disk);
    // unbuffered, a short write shows at once.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(report) != report.size() || !file.flush() || !file.commit()) {
        ui.message(UserInterface::Icon::Critical, QStringLiteral("Error"),
                   QStringLiteral("The report could not be written as %1:\r%2")
                       .arg(shown(path), file.errorString()));
        return false;
    }
    return true;
}

} // namespace keldor
