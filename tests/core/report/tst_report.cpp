#include "core/features/report/reporttexts.h"
#include "core/features/report/rtfreport.h"
#include "core/features/report/rtftext.h"
#include "core/link/session.h"
#include "core/model/headendsettings.h"
#include "core/model/servicelists.h"
#include "core/protocol/parametertable.h"

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

} // namespace

class TestReport : public QObject {
    Q_OBJECT

private slots:
    void channelTable_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QByteArray>("sha1"); // of the whole table built from sampleTexts()
        // Rows named narrow (N) or wide (W) with their first channel and column count.
        // clang-format off
        QTest::newRow("8: N0+4 N4+4") << 1 << 8 << QByteArray("193a006bb18602b91f4dd26665582c50ef2d0fee");
        QTest::newRow("10: W0+6 N6+4") << 2 << 10 << QByteArray("50ac6ce8de4cd6facb9cb0875e2255a4f691f1c0");
        QTest::newRow("12: W0+6 W6+6") << 0 << 12 << QByteArray("6169013983ddf593944a663888ed79845fbe6abe");
        QTest::newRow("16: W0+6 W6+6 N12+4") << 3 << 16 << QByteArray("96ad875367f359a6a8d6370de711732f1be73ccc");
        // clang-format on
    }

    void channelTable()
    {
        QFETCH(int, variant);
        QFETCH(int, channels);
        QFETCH(QByteArray, sha1);
        const QByteArray table = rtfChannelTable(sampleTexts(), variant, channels);
        QCOMPARE(QCryptographicHash::hash(table, QCryptographicHash::Sha1).toHex(), sha1);
    }

    void serviceLists_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<qint16>>("listed");
        QTest::addColumn<QByteArray>("heading");
        QTest::addColumn<QByteArray>("names"); // without the line ends
        // clang-format off
        const QByteArray twenty = R"(\par Name0, Name1, Name2, Name3, Name4, Name5, Name6, Name7, \par Name8, Name9, Name10, Name11, Name12, Name13, Name14, Name15, \par Name16, Name17, Name18, Name19, )";
        // clang-format on
        // clang-format off
        QTest::newRow("all pass, a break every 8 names") << 20 << 0 << QList<qint16>{} << QByteArray(R"( (20 Services):\ulnone\b0\f1\par\fs16 )") << twenty;
        QTest::newRow("listed pass") << 5 << 1 << QList<qint16>{103, 999, 101} << QByteArray(R"( (3 Services):\ulnone\b0\f1\par\fs16 )") << QByteArray("Name3, Name1, ");
        QTest::newRow("listed dropped") << 5 << 128 << QList<qint16>{100, 102} << QByteArray(R"( (3 Services):\ulnone\b0\f1\par\par\fs16 )") << QByteArray("Name1, Name3, Name4, ");
        QTest::newRow("more dropped than there are") << 5 << 128 << QList<qint16>{1, 2, 3, 4, 5, 6, 7} << QByteArray(R"( (0 Services):\ulnone\b0\f1\par\par\fs16 )") << QByteArray(R"(\par Name0, Name1, Name2, Name3, Name4, )");
        // clang-format on
    }

    void serviceLists()
    {
        QFETCH(int, count);
        QFETCH(int, mode);
        QFETCH(QList<qint16>, listed);
        QFETCH(QByteArray, heading);
        QFETCH(QByteArray, names);
        ChannelServices s{count, {}, true, static_cast<quint8>(mode), int(listed.size()), listed};
        for (int i = 0; i < count; ++i)
            s.input.append({QStringLiteral("Name%1").arg(i), static_cast<qint16>(100 + i)});
        QByteArray list = rtfServiceList(6, s);
        QVERIFY(list.endsWith("\r\n"));
        QCOMPARE(list.replace("\r\n", ""),
                 R"(\par\par\ul\b\fs16 Servicelist Channel 7)" + heading + names);
    }

    void escaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("rtf");
        // clang-format off
        QTest::newRow("braces and backslashes") << R"(A{b}\c\par)" << QByteArray(R"(A\{b\}\\c\\par)");
        QTest::newRow("Latin-1") << QStringLiteral("ARD Das Erste Ä µ") << QByteArray(R"(ARD Das Erste \'c4 \'b5)");
        QTest::newRow("code page 1252 extras") << QStringLiteral("€ Œ") << QByteArray(R"(\'80 \'8c)");
        QTest::newRow("outside code page 1252") << QStringLiteral("Ω") << QByteArray(R"(\u937?)");
        QTest::newRow("control characters") << QStringLiteral("a\tb\r\nc") << QByteArray("abc");
        // clang-format on
    }

    void escaping()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, rtf);
        QCOMPARE(rtfEscape(text), rtf);
    }

    // The report of a configuration as read: its lists come from the read, where the versions
    // let the selections be read, and the report itself asks the headend nothing.
    void reportOfARead_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("controller");
        QTest::addColumn<QString>("fpga");
        QTest::addColumn<int>("lists");
        // clang-format off
        QTest::newRow("12 channels, 1.05 / 1.06") << 0 << "1.05" << "1.06" << 12;
        QTest::newRow("8 channels, 1.10 / 2.00") << 1 << "1.10" << "2.00" << 8;
        QTest::newRow("controller 1.04") << 0 << "1.04" << "1.06" << 0;
        QTest::newRow("FPGA 1.05") << 0 << "1.05" << "1.05" << 0;
        QTest::newRow("16 channels") << 3 << "1.05" << "1.06" << 0;
        // clang-format on
    }

    void reportOfARead()
    {
        QFETCH(int, variant);
        QFETCH(QString, controller);
        QFETCH(QString, fpga);
        QFETCH(int, lists);
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
