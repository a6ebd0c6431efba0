#include "model/settingsfile.h"

#include "files.h"
#include "recordingui.h"

#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

namespace {

ChannelRecord sampleRecord(int seed)
{
    ChannelRecord r;
    r.polarisation = 4;
    r.in_frequency = static_cast<qint16>(10744 + seed);
    r.lo_frequency = 9750;
    r.in_symbolrate = 27500;
    r.out_frequency = 346.0f + static_cast<float>(seed);
    r.bandwidth = 1;
    r.qam = 5;
    r.out_symbolrate = 6900;
    r.spectrum = 1;
    r.attenuation = 12;
    r.opmode = 2;
    r.output_on = 1;
    r.lo_mode = 1;
    r.service_count = 3;
    r.service_mode = 128;
    r.reserved[0] = 0xAB;
    r.reserved[25] = 0xCD;
    r.service_ids[0] = 1000;
    r.service_ids[1] = -2;
    r.service_ids[99] = 0x1234;
    return r;
}

// sampleRecord(0) as the file holds it: little-endian, packed, 248 bytes.
const QByteArray goldenRecord = QByteArray::fromHex("04"         // polarisation
                                                    "F829"       // in_frequency 10744
                                                    "1626"       // lo_frequency 9750
                                                    "6C6B"       // in_symbolrate 27500
                                                    "0000AD43"   // out_frequency 346.0f
                                                    "0105"       // bandwidth, qam
                                                    "F41A"       // out_symbolrate 6900
                                                    "010C020101" // spectrum .. lo_mode
                                                    "0380"       // service count and mode
                                                    "AB") +
                                QByteArray(24, '\0') +
                                QByteArray::fromHex("CD"
                                                    "E803"
                                                    "FEFF") +
                                QByteArray(194, '\0') + QByteArray::fromHex("3412");

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void goldenRecord() { QCOMPARE(encode_settings_record(sampleRecord(0)), ::goldenRecord); }

    void currentFileRoundTrips()
    {
        UnitData unit;
        QByteArray expected;
        for (int ch = 0; ch < channelCount; ++ch) {
            unit.channels[ch] = sampleRecord(ch);
            expected += encode_settings_record(unit.channels[ch]);
        }
        const QString path = m_dir.filePath("full.kdr");
        QVERIFY(save_settings_file(m_ui, path, unit));
        QCOMPARE(readFile(path), expected);
        QCOMPARE(unit.settings_file_name, path);
        UnitData loaded;
        QCOMPARE(load_settings_file(m_ui, path, loaded), SettingsFormat::Current);
        QVERIFY(loaded.channels == unit.channels);

        // A fresh table is a file of zeros that loads back over anything.
        UnitData fresh;
        QVERIFY(save_settings_file(m_ui, path, fresh));
        QCOMPARE(readFile(path), QByteArray(3968, '\0'));
        QCOMPARE(load_settings_file(m_ui, path, loaded), SettingsFormat::Current);
        QVERIFY(loaded.channels == fresh.channels);
        QVERIFY(m_ui.messages.isEmpty());
    }

    void oldFileFillsTwelveChannelsWithoutServices()
    {
        QByteArray image;
        for (int ch = 0; ch < 12; ++ch)
            image.append(encode_settings_record(sampleRecord(ch)).left(20));
        const QString path = m_dir.filePath("old.kdr");
        QVERIFY(writeFile(path, image));

        UnitData unit;
        for (ChannelRecord &r : unit.channels) {
            r.service_count = 7;
            r.service_mode = 1;
        }
        unit.channels[13].in_frequency = 11111;
        QCOMPARE(load_settings_file(m_ui, path, unit), SettingsFormat::Old);
        for (int ch = 0; ch < channelCount; ++ch) {
            ChannelRecord expected = ch < 12 ? sampleRecord(ch) : ChannelRecord{};
            if (ch < 12)
                expected.reserved = {};
            expected.in_frequency = ch == 13 ? 11111 : expected.in_frequency;
            expected.service_count = 0;
            expected.service_mode = 0;
            expected.service_ids = {};
            QCOMPARE(unit.channels[ch], expected);
        }
        QVERIFY(m_ui.messages.isEmpty());
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("report");
        QTest::newRow("plain") << "abc"
                               << "abc.kdr"
                               << "abc.rtf";
        QTest::newRow("upper case extension") << "abc.KDR"
                                              << "abc.KDR.kdr"
                                              << "abc.KDR.rtf";
        QTest::newRow("extension given") << "/x/rack.kdr"
                                         << "/x/rack.kdr"
                                         << "/x/rack.rtf";
        QTest::newRow("other extension") << "rack.txt"
                                         << "rack.txt.kdr"
                                         << "rack.txt.rtf";
    }

    void fileNames()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, settings);
        QFETCH(QString, report);
        QCOMPARE(settings_file_name(chosen), settings);
        QCOMPARE(report_file_name(settings_file_name(chosen)), report);
    }

private:
    QTemporaryDir m_dir;
    RecordingUi m_ui;
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
