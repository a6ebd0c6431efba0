#include "common/textutil.h"
#include "link/session.h"
#include "report/rtfreport.h"
#include "report/rtftext.h"
#include "services/servicelists.h"

#include "sessionfixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

namespace {

ReportTexts sample_texts()
{
    ReportTexts texts;
    texts.device = {"KELDOR QAM", "123456", "1.00", "1.05", "1.06"};
    for (int ch = 0; ch < channelCount; ++ch) {
        ChannelTexts &t = texts.channels[ch];
        t.status = "Tuner Locked";
        t.ber = "2.3e-4";
        t.snr = "11";
        t.polarisation = "SAT 1";
        t.in_frequency = QString::number(10744 + ch);
        t.lo = "AUTO";
        t.in_symbolrate = "22000";
        t.output_on = ch % 2 == 0;
        t.opmode = "Normal";
        t.out_frequency = QString::number(114 + 8 * ch) + ".00";
        t.bandwidth = "8 MHz";
        t.qam = "QAM-256";
        t.out_symbolrate = "6900";
        t.spectrum = "Normal";
        t.attenuation = "0dB";
    }
    return texts;
}

QList<QByteArray> lines_of(const QByteArray &document)
{
    QList<QByteArray> lines = document.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (!line.endsWith('\r'))
            return {};
        line.chop(1);
    }
    return lines;
}

// Group depth of an RTF text, skipping escaped braces; -1 when it ever closes too much.
int group_depth(const QByteArray &rtf)
{
    int depth = 0;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
        } else if (rtf[i] == '{') {
            ++depth;
        } else if (rtf[i] == '}' && --depth < 0) {
            return -1;
        }
    }
    return depth;
}

ChannelServices services(int count, quint8 mode, QList<qint16> listed)
{
    ChannelServices s;
    s.inputCount = count;
    for (int i = 0; i < count; ++i)
        s.input.append({QStringLiteral("Name%1").arg(i), static_cast<qint16>(100 + i)});
    s.selectionKnown = true;
    s.mode = mode;
    s.listedCount = static_cast<int>(listed.size());
    s.listedIds = listed;
    return s;
}

const QByteArray wideOpening =
    R"({\b\fs16 \tab \tab |\tab \tab \tab |\tab \tab \tab |\tab \tab \tab |\tab \tab \tab |\par )";
const QByteArray narrowOpening =
    R"({ \tab \tab \b\fs16\ul )" + QByteArray(R"(\tab )").repeated(12) + R"(\par})";

} // namespace

class TestReport : public QObject {
    Q_OBJECT

private slots:
    void rows_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("rows"); // N = narrow, W = wide, with first channel and count
        QTest::newRow("8 channels") << 1 << 8 << "N0+4 N4+4";
        QTest::newRow("10 channels") << 2 << 10 << "W0+6 N6+4";
        QTest::newRow("12 channels") << 0 << 12 << "W0+6 W6+6";
        QTest::newRow("16 channels") << 3 << 16 << "W0+6 W6+6 N12+4";
    }

    void rows()
    {
        QFETCH(int, variant);
        QFETCH(int, channels);
        QFETCH(QString, rows);
        QStringList shown;
        for (const ReportRow &row : report_rows(variant, channels))
            shown.append(QStringLiteral("%1%2+%3")
                             .arg(row.narrow ? 'N' : 'W')
                             .arg(row.first)
                             .arg(row.count));
        QCOMPARE(shown.join(' '), rows);
    }

    void serviceListsDependOnVersions_data()
    {
        QTest::addColumn<QString>("controller");
        QTest::addColumn<QString>("fpga");
        QTest::addColumn<int>("variant");
        QTest::addColumn<bool>("lists");
        QTest::newRow("1.05 / 1.06") << "1.05"
                                     << "1.06" << 0 << true;
        QTest::newRow("controller 1.04") << "1.04"
                                         << "1.06" << 0 << false;
        QTest::newRow("FPGA 1.05") << "1.05"
                                   << "1.05" << 0 << false;
        QTest::newRow("16 channels") << "1.05"
                                     << "1.06" << 3 << false;
        QTest::newRow("8 channels") << "1.10"
                                    << "2.00" << 1 << true;
    }

    void serviceListsDependOnVersions()
    {
        QFETCH(QString, controller);
        QFETCH(QString, fpga);
        QFETCH(int, variant);
        QFETCH(bool, lists);
        DeviceTexts device;
        device.controller_version = controller;
        device.fpga_version = fpga;
        QCOMPARE(report_has_service_lists(device, variant), lists);
    }

    void channelTable_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("wideRows");
        QTest::addColumn<int>("narrowRows");
        QTest::newRow("8") << 1 << 8 << 0 << 2;
        QTest::newRow("10") << 2 << 10 << 1 << 1;
        QTest::newRow("12") << 0 << 12 << 2 << 0;
        QTest::newRow("16") << 3 << 16 << 2 << 1;
    }

    void channelTable()
    {
        QFETCH(int, variant);
        QFETCH(int, channels);
        QFETCH(int, wideRows);
        QFETCH(int, narrowRows);
        const QByteArray table = rtf_channel_table(sample_texts(), variant, channels);
        const QList<QByteArray> lines = lines_of(table);
        QVERIFY(!lines.isEmpty());
        QCOMPARE(group_depth(table), 0);
        QCOMPARE(lines.count(wideOpening), wideRows);
        QCOMPARE(lines.count(narrowOpening), narrowRows);
        const QByteArray rule =
            R"({\b\fs16\ul )" + QByteArray(R"(\tab )").repeated(18) + R"(\par})";
        QCOMPARE(lines.first(), rule);
        QCOMPARE(lines.count(rule), 1 + wideRows);
        for (int ch = 1; ch <= 16; ++ch)
            QCOMPARE(lines.count(R"(\b CHANNEL )" + QByteArray::number(ch)),
                     ch <= channels ? 1 : 0);
        QCOMPARE(lines.count("ON") + lines.count("OFF"), channels);

        // Every value row: its start, then the values with the separators between them.
        const ReportRow first = report_rows(variant, channels).first();
        const QByteArray indent = first.narrow ? R"(\par \tab \tab \tab )" : R"(\par )";
        qsizetype at = lines.indexOf(" MHz" + indent + R"(LO:\tab )");
        QVERIFY(at > 0);
        QCOMPARE(lines.at(at - 2 * first.count), indent + R"(TP:\tab )");
        for (int col = 0; col < first.count; ++col) {
            QCOMPARE(lines.at(at - 2 * first.count + 1 + 2 * col), QByteArray::number(10744 + col));
            if (col > 0)
                QCOMPARE(lines.at(at - 2 * first.count + 2 * col),
                         R"( MHz\b\tab |\tab }{\fs16 TP:\tab )");
        }
        QVERIFY(lines.contains(R"(\b\tab |\tab }{\fs16 BW:\tab )"));
        QVERIFY(lines.contains(R"( kSym\b\tab |\tab }{\fs16 SR:\tab )"));
        QVERIFY(lines.contains(" kSym" + indent + R"(SP:\tab )"));
        QVERIFY(lines.contains(R"(\b \tab |\tab }{\fs16 ATT:\tab )"));
        QVERIFY(lines.contains(R"(\b \tab |\tab }{\fs16 Status:\tab )"));
    }

    void serviceListBreaksEveryEighthName()
    {
        const QList<QByteArray> lines = lines_of(rtf_service_list(6, services(20, 0, {})));
        QCOMPARE(
            lines.first(),
            R"(\par\par\ul\b\fs16 Servicelist Channel 7 (20 Services):\ulnone\b0\f1\par\fs16 )");
        QCOMPARE(lines.size(), 1 + 20 + 3);
        for (int position : {0, 8, 16}) {
            const qsizetype at = lines.indexOf("Name" + QByteArray::number(position) + ", ");
            QCOMPARE(lines.at(at - 1), R"(\par )");
        }
        QCOMPARE(lines.last(), "Name19, ");
    }

    void serviceListHeadings_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<qint16>>("listed");
        QTest::addColumn<QByteArray>("heading");
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::newRow("listed pass") << 1 << QList<qint16>{103, 999, 101}
                                     << QByteArray(R"( (3 Services):\ulnone\b0\f1\par\fs16 )")
                                     << QList<QByteArray>{"Name3, ", "Name1, "};
        QTest::newRow("listed dropped")
            << 128 << QList<qint16>{100, 102}
            << QByteArray(R"( (3 Services):\ulnone\b0\f1\par\par\fs16 )")
            << QList<QByteArray>{"Name1, ", "Name3, ", "Name4, "};
        QTest::newRow("more dropped than there are")
            << 128 << QList<qint16>{1, 2, 3, 4, 5, 6, 7}
            << QByteArray(R"( (0 Services):\ulnone\b0\f1\par\par\fs16 )")
            << QList<QByteArray>{"Name0, ", "Name1, ", "Name2, ", "Name3, ", "Name4, "};
    }

    void serviceListHeadings()
    {
        QFETCH(int, mode);
        QFETCH(QList<qint16>, listed);
        QFETCH(QByteArray, heading);
        QFETCH(QList<QByteArray>, names);
        QList<QByteArray> lines =
            lines_of(rtf_service_list(0, services(5, static_cast<quint8>(mode), listed)));
        QVERIFY(lines.takeFirst().endsWith("Servicelist Channel 1" + heading));
        lines.removeAll(R"(\par )");
        QCOMPARE(lines, names);
    }

    void escaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("rtf");
        QTest::newRow("braces and backslashes")
            << R"(A{b}\c\par)" << QByteArray(R"(A\{b\}\\c\\par)");
        QTest::newRow("Latin-1") << QStringLiteral("ARD Das Erste Ä µ")
                                 << QByteArray(R"(ARD Das Erste \'c4 \'b5)");
        QTest::newRow("code page 1252 extras")
            << QStringLiteral("€ Œ") << QByteArray(R"(\'80 \'8c)");
        QTest::newRow("outside code page 1252") << QStringLiteral("Ω") << QByteArray(R"(\u937?)");
        QTest::newRow("control characters") << QStringLiteral("a\tb\r\nc") << QByteArray("abc");
    }

    void escaping()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, rtf);
        QCOMPARE(rtf_escape(text), rtf);
    }

    void serviceNamesCannotBreakTheDocument()
    {
        ChannelServices s = services(2, 0, {});
        s.input[0].name = QStringLiteral(R"(}}}\rtf1{\object)");
        s.input[1].name = QStringLiteral(R"(\)");
        const QByteArray list = rtf_service_list(0, s);
        QCOMPARE(group_depth(list), 0);
        QVERIFY(list.contains(R"(\}\}\}\\rtf1\{\\object, )"));
        QVERIFY(list.contains("\\\\, \r\n"));
    }

    void printAgainstTheHeadend_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("fpga");
        QTest::addColumn<int>("lists");
        QTest::newRow("12 channels with lists") << 0 << "1.06" << 12;
        QTest::newRow("8 channels with lists") << 1 << "1.06" << 8;
        QTest::newRow("old FPGA") << 0 << "1.05" << 0;
        QTest::newRow("16 channels") << 3 << "1.06" << 0;
    }

    void printAgainstTheHeadend()
    {
        QFETCH(int, variant);
        QFETCH(QString, fpga);
        QFETCH(int, lists);
        connect_sim();
        m_f->sim.headend.state().identity.variant = static_cast<quint8>(variant);
        m_f->sim.headend.state().channels[1].inputServices[2].name = QStringLiteral("{Pro}\\7");
        UnitData unit;
        unit.device_variant = variant;
        unit.max_channel = static_cast<qint16>(variant == 1 ? 7 : variant == 3 ? 15 : 11);
        ReportTexts texts = sample_texts();
        texts.device.fpga_version = fpga;
        const QString path = m_dir.filePath("rack.rtf");

        QCOMPARE(Print_RTF(m_f->exchange(), path, texts, unit), ReportResult::Written);
        const QByteArray doc = read(path);
        QVERIFY(doc.startsWith(rtf_document_header() + rtf_device_header(texts.device)));
        QVERIFY(doc.endsWith("}\r\n"));
        QCOMPARE(group_depth(doc), 0);
        QCOMPARE(doc.count("Servicelist Channel"), lists);
        QCOMPARE(m_f->sim.frames(servicecode::selectChannel).size(), lists);
        if (lists > 0) {
            QVERIFY(doc.contains(R"(\'b5C-SW-Version)"));
            QVERIFY(doc.contains(R"(\{Pro\}\\7, )"));
            QVERIFY(doc.contains("Servicelist Channel" + number_text(lists).toLatin1() +
                                 " (5 Services)"));
            QCOMPARE(m_f->ui.progressMaximum, lists);
            QCOMPARE(m_f->ui.progressLabels.at(1),
                     QStringLiteral("Reading Service List Channel:  1"));
            QCOMPARE(m_f->ui.progressValues.last(), lists);
            QVERIFY(!m_f->ui.progressShown);
        } else {
            QVERIFY(m_f->ui.progressLabels.isEmpty());
        }
        QVERIFY(m_f->ui.messages.isEmpty());
    }

    void failedExchangeKeepsTheListsReadSoFar()
    {
        connect_sim();
        m_f->sim.headend.state().channels[2].serviceMode = 1;
        m_f->sim.headend.state().channels[2].serviceIds = {3001};
        sim::FaultPlan plan;
        plan.fault = sim::Fault::Disconnect;
        plan.code = servicecode::listedId;
        m_f->sim.headend.setFault(plan);
        UnitData unit;
        const QString path = m_dir.filePath("partial.rtf");

        QCOMPARE(Print_RTF(m_f->exchange(), path, sample_texts(), unit), ReportResult::Incomplete);
        const QByteArray doc = read(path);
        QCOMPARE(doc.count("Servicelist Channel"), 2);
        QVERIFY(doc.endsWith("Service 2-5, \r\n}\r\n"));
        QCOMPARE(group_depth(doc), 0);
        QCOMPARE(m_f->ui.texts(), QStringList{"Connection aborted!"});
        QVERIFY(!m_f->ui.progressShown);
    }

private:
    void connect_sim()
    {
        m_f.emplace();
        QVERIFY(m_f->start());
        m_f->ui.progressLabels.clear();
    }

    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    std::optional<SessionFixture> m_f;
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
