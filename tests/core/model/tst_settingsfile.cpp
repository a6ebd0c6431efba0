#include "model/settingsfile.h"

#include "files.h"
#include "recordingui.h"

#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

namespace {

ChannelRecord sampleRecord(int seed)
{
    // clang-format off
    ChannelRecord r{4, static_cast<qint16>(10744 + seed), 9750, 27500, 346.0f + static_cast<float>(seed), 1, 5, 6900, 1, 12, 2, 1, 1, 3, 128};
    // clang-format on
    r.reserved[0] = 0xAB;
    r.reserved[25] = 0xCD;
    r.service_ids = {1000, -2};
    r.service_ids[99] = 0x1234;
    return r;
}

// sampleRecord(0) as the file holds it: little-endian, packed, 248 bytes.
const QByteArray goldenRecord =
    QByteArray::fromHex("04F82916266C6B0000AD430105F41A010C0201010380AB") + QByteArray(24, '\0') +
    QByteArray::fromHex("CDE803FEFF") + QByteArray(194, '\0') + QByteArray::fromHex("3412");

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void currentFileRoundTrips()
    {
        UnitData unit;
        for (int ch = 0; ch < channelCount; ++ch)
            unit.channels[ch] = sampleRecord(ch);
        const QString path = m_dir.filePath("full.kdr");
        QVERIFY(save_settings_file(m_ui, path, unit));
        const QByteArray file = readFile(path);
        QCOMPARE(file.size(), 3968);
        QCOMPARE(file.left(248), goldenRecord);
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
        // clang-format off
        QTest::newRow("plain") << "abc" << "abc.kdr" << "abc.rtf";
        QTest::newRow("upper case extension") << "abc.KDR" << "abc.KDR.kdr" << "abc.KDR.rtf";
        QTest::newRow("extension given") << "/x/rack.kdr" << "/x/rack.kdr" << "/x/rack.rtf";
        QTest::newRow("other extension") << "rack.txt" << "rack.txt.kdr" << "rack.txt.rtf";
        // clang-format on
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
