#include "core/features/report/reporttexts.h"
#include "core/features/report/rtfreport.h"
#include "core/features/report/rtftext.h"
#include "core/model/headendsettings.h"
#include "core/model/servicelists.h"
#include "core/protocol/parametertable.h"
#include "core/protocol/session.h"

#include "datarows.h"
#include "files.h"
#include "sessionfixture.h"

#include <QCryptographicHash>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

namespace {

ReportTexts sampleTexts()
{
    ReportTexts texts;
    texts.device = {"KELDOR QAM", "123456", "1.00", "1.05", "1.06"};
    for (int ch = 0; ch < channelCount; ++ch)
        texts.channels[ch] = {
            "Tuner Locked", "2.3e-4",  "11",        "SAT 1",  QString::number(10744 + ch),
            "AUTO",         "22000",   ch % 2 == 0, "Normal", QString::number(114 + 8 * ch) + ".00",
            "8 MHz",        "QAM-256", "6900",      "Normal", "0dB"};
    return texts;
}

// Group depth of an RTF text, skipping escaped characters; negative once it closes too much.
int groupDepth(const QByteArray &rtf)
{
    int depth = 0;
    for (qsizetype i = 0; i < rtf.size() && depth >= 0; i += rtf[i] == '\\' ? 2 : 1)
        depth += (rtf[i] == '{') - (rtf[i] == '}');
    return depth;
}

// Rows named narrow (N) or wide (W) with their first channel and column count; the hash is of
// the whole table built from sampleTexts().
// clang-format off
struct TableRow { const char *name; int variant, channels; QByteArray sha1; } const tableRows[]{
    {"8: N0+4 N4+4", 1, 8, "193a006bb18602b91f4dd26665582c50ef2d0fee"},
    {"10: W0+6 N6+4", 2, 10, "50ac6ce8de4cd6facb9cb0875e2255a4f691f1c0"},
    {"12: W0+6 W6+6", 0, 12, "6169013983ddf593944a663888ed79845fbe6abe"},
    {"16: W0+6 W6+6 N12+4", 3, 16, "96ad875367f359a6a8d6370de711732f1be73ccc"}};

// names: without the line ends.
const char twenty[] = R"(\par Name0, Name1, Name2, Name3, Name4, Name5, Name6, Name7, \par Name8, Name9, Name10, Name11, Name12, Name13, Name14, Name15, \par Name16, Name17, Name18, Name19, )";
struct ListRow { const char *name; int count; quint8 mode; QList<qint16> listed; const char *heading, *names; } const listRows[]{
    {"all pass, a break every 8 names", 20, 0, {}, R"( (20 Services):\ulnone\b0\f1\par\fs16 )", twenty},
    {"listed pass", 5, 1, {103, 999, 101}, R"( (3 Services):\ulnone\b0\f1\par\fs16 )", "Name3, Name1, "},
    {"listed dropped", 5, 128, {100, 102}, R"( (3 Services):\ulnone\b0\f1\par\par\fs16 )", "Name1, Name3, Name4, "},
    {"more dropped than there are", 5, 128, {1, 2, 3, 4, 5, 6, 7}, R"( (0 Services):\ulnone\b0\f1\par\par\fs16 )", R"(\par Name0, Name1, Name2, Name3, Name4, )"}};

struct ReadRow { const char *name; int variant; QString controller, fpga; int lists; } const readRows[]{
    {"12 channels, 1.05 / 1.06", 0, "1.05", "1.06", 12}, {"8 channels, 1.10 / 2.00", 1, "1.10", "2.00", 8},
    {"controller 1.04", 0, "1.04", "1.06", 0}, {"FPGA 1.05", 0, "1.05", "1.05", 0}, {"16 channels", 3, "1.05", "1.06", 0}};
// clang-format on

} // namespace

class TestReport : public QObject {
    Q_OBJECT

private slots:
    void channelTable_data() { addRows(tableRows); }
    void channelTable()
    {
        const TableRow &r = fetchRow(tableRows);
        QCOMPARE(QCryptographicHash::hash(rtfChannelTable(sampleTexts(), r.variant, r.channels),
                                          QCryptographicHash::Sha1)
                     .toHex(),
                 r.sha1);
    }

    void serviceLists_data() { addRows(listRows); }
    void serviceLists()
    {
        const ListRow &r = fetchRow(listRows);
        ChannelServices s{r.count, {}, true, r.mode, int(r.listed.size()), r.listed};
        for (int i = 0; i < r.count; ++i)
            s.input.append({QStringLiteral("Name%1").arg(i), static_cast<qint16>(100 + i)});
        QByteArray list = rtfServiceList(6, s);
        QVERIFY(list.endsWith("\r\n"));
        QCOMPARE(list.replace("\r\n", ""),
                 R"(\par\par\ul\b\fs16 Servicelist Channel 7)" + QByteArray(r.heading) + r.names);
    }

    void escaping()
    {
        // clang-format off
        const std::pair<QString, QByteArray> rows[]{
            {R"(A{b}\c\par)", R"(A\{b\}\\c\\par)"}, {QStringLiteral("ARD Das Erste Ä µ"), R"(ARD Das Erste \'c4 \'b5)"},
            {QStringLiteral("€ Œ"), R"(\'80 \'8c)"}, {QStringLiteral("Ω"), R"(\u937?)"}, {QStringLiteral("a\tb\r\nc"), "abc"},
            {QStringLiteral("~\x7f\u0080\u009f\u00a0\u00ff\u0100Ÿ"), R"(~\u128?\u159?\'a0\'ff\u256?\'9f)"}};
        // clang-format on
        for (const auto &[text, rtf] : rows)
            QCOMPARE(rtfEscape(text), rtf);
    }

    // The report of a configuration as read: its lists come from the read, where the versions
    // let the selections be read, and the report itself asks the headend nothing.
    void reportOfARead_data() { addRows(readRows); }
    void reportOfARead()
    {
        const auto &[name, variant, controller, fpga, lists] = fetchRow(readRows);
        SessionFixture f;
        QVERIFY(f.start());
        f.session.timing = withoutSendPause();
        sim::DeviceState &state = f.sim.headend.state();
        state.identity = {"KELDOR QAM", 123456, "1.00", controller, fpga, 1, quint8(variant)};
        state.channels[1].inputServices[2].name = QStringLiteral("{Pro}\\7");
        state.channels[2].serviceMode = 1;
        state.channels[2].serviceIds = {3001};
        f.ui.progressLabels.clear();
        Configuration config;
        {
            ReadProgressWindow window(f.ui, config.unit);
            QVERIFY(readConfiguration(f.exchange(), config, window.progress()));
            QVERIFY(f.ui.progressShown);
        }
        QCOMPARE(f.sim.frames(param::selectChannel).size(), lists);
        // A step a channel, the settings first, then the selections where there are any.
        const int channels = config.unit.channelsInUse();
        QStringList labels{QString()};
        for (int ch = 1; ch <= channels; ++ch)
            labels.append("Reading Channel: " + QString::number(ch));
        for (int ch = 1; ch <= lists; ++ch)
            labels.append("Reading Service List Channel: " + QString::number(ch));
        QCOMPARE(f.ui.progressLabels, labels);
        QVERIFY(!f.ui.progressShown && f.ui.progressMaximum == channels);
        f.sim.headend.clearTranscript();
        const QString path = m_dir.filePath("rack.rtf");

        QVERIFY(printRtf(f.ui, path, config));

        const QByteArray doc = readFile(path);
        QCOMPARE(doc, renderReport(config));
        QVERIFY(f.sim.headend.transcript().isEmpty());
        const ReportTexts texts = reportTexts(config.unit);
        QVERIFY(doc.startsWith(rtfDocumentHeader() + rtfDeviceHeader(texts.device) +
                               rtfChannelTable(texts, variant, config.unit.channelsInUse())));
        QCOMPARE(groupDepth(doc), 0);
        QCOMPARE(doc.count("Servicelist Channel"), lists);
        QCOMPARE(doc.contains(R"(\{Pro\}\\7, )"), lists > 0);
        // The selection comes from the channel record: one listed ID, named by the input list.
        QCOMPARE(doc.contains(R"(Servicelist Channel 3 (1 Services):\ulnone\b0\f1\par\fs16 )"
                              "\r\nService 3-2, \r\n"),
                 lists > 0);
        const QByteArray end = lists ? "Service " + QByteArray::number(lists) + "-5, \r\n}\r\n"
                                     : QByteArray(R"(\par \par })"
                                                  "\r\n}\r\n");
        QVERIFY(doc.endsWith(end));
        QVERIFY(f.ui.messages.isEmpty());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestReport)
#include "tst_report.moc"
