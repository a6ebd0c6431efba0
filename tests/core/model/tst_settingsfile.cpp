#include "model/settingsfile.h"

#include "recordingui.h"
#include "unwritable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <optional>

#include <sys/stat.h>

using namespace keldor;

namespace {

ChannelRecord sample_record(int seed)
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

QByteArray read_all(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write_all(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

enum Source { AsFile, Missing, Folder, Pipe };

// A settings image of zero records but for one change in one channel.
QByteArray image_with(int channel, void (*change)(ChannelRecord &))
{
    std::array<ChannelRecord, channelCount> channels{};
    change(channels.at(channel));
    return encode_settings(channels);
}

// The 240-byte form of the first twelve records of a current image.
QByteArray old_image(const QByteArray &image)
{
    QByteArray old;
    for (int ch = 0; ch < oldRecordCount; ++ch)
        old.append(image.mid(ch * settingsRecordSize, oldRecordSize));
    return old;
}

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_ui = RecordingUi();
    }

    void recordFieldsSitAtTheirOffsetsLittleEndian()
    {
        const QByteArray bytes = encode_settings_record(sample_record(0));
        QCOMPARE(bytes.size(), 248);
        const auto *d = reinterpret_cast<const uchar *>(bytes.constData());
        QCOMPARE(d[0], 4);
        QCOMPARE(qFromLittleEndian<qint16>(d + 1), 10744);
        QCOMPARE(qFromLittleEndian<qint16>(d + 3), 9750);
        QCOMPARE(qFromLittleEndian<qint16>(d + 5), 27500);
        QCOMPARE(bytes.mid(7, 4), QByteArray::fromHex("0000AD43")); // 346.0f
        QCOMPARE(d[11], 1);
        QCOMPARE(d[12], 5);
        QCOMPARE(qFromLittleEndian<qint16>(d + 13), 6900);
        QCOMPARE(bytes.mid(15, 7), QByteArray::fromHex("010C020101"
                                                       "0380"));
        QCOMPARE(d[22], 0xAB);
        QCOMPARE(d[47], 0xCD);
        QCOMPARE(qFromLittleEndian<qint16>(d + 48), 1000);
        QCOMPARE(qFromLittleEndian<qint16>(d + 50), -2);
        QCOMPARE(qFromLittleEndian<qint16>(d + 246), 0x1234);
    }

    void freshTableSavesAValidFileThatLoadsBack()
    {
        UnitData fresh;
        const QString path = m_dir.filePath("fresh.kdr");
        QVERIFY(save_settings_file(m_ui, path, fresh));
        const QByteArray image = read_all(path);
        QCOMPARE(image.size(), 3968);
        QCOMPARE(image.count('\0'), 3968);
        QCOMPARE(fresh.settings_file_name, path);

        UnitData loaded;
        loaded.channels[4] = sample_record(4);
        QCOMPARE(load_settings_file(m_ui, path, loaded), SettingsFormat::Current);
        QVERIFY(loaded.channels == fresh.channels);
        QVERIFY(m_ui.messages.isEmpty());
    }

    void everyRecordRoundTrips()
    {
        UnitData unit;
        for (int ch = 0; ch < channelCount; ++ch)
            unit.channels[ch] = sample_record(ch);
        const QString path = m_dir.filePath("full.kdr");
        QVERIFY(save_settings_file(m_ui, path, unit));
        QCOMPARE(read_all(path).mid(15 * 248, 248), encode_settings_record(sample_record(15)));
        UnitData loaded;
        QCOMPARE(load_settings_file(m_ui, path, loaded), SettingsFormat::Current);
        QVERIFY(loaded.channels == unit.channels);
    }

    void oldFileFillsTwelveChannelsWithoutServices()
    {
        QByteArray image;
        for (int ch = 0; ch < 12; ++ch)
            image.append(encode_settings_record(sample_record(ch)).left(20));
        QCOMPARE(image.size(), 240);
        const QString path = m_dir.filePath("old.kdr");
        QVERIFY(write_all(path, image));

        UnitData unit;
        for (ChannelRecord &r : unit.channels) {
            r.service_count = 7;
            r.service_mode = 1;
        }
        unit.channels[13].in_frequency = 11111;
        QCOMPARE(load_settings_file(m_ui, path, unit), SettingsFormat::Old);
        for (int ch = 0; ch < 12; ++ch) {
            QCOMPARE(unit.channels[ch].in_frequency, 10744 + ch);
            QCOMPARE(unit.channels[ch].out_frequency, 346.0f + ch);
            QCOMPARE(unit.channels[ch].lo_mode, 1);
        }
        for (const ChannelRecord &r : unit.channels) {
            QCOMPARE(r.service_count, 0);
            QCOMPARE(r.service_mode, 0);
        }
        QCOMPARE(unit.channels[13].in_frequency, 11111);
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

    void unusableFilesAreRefusedAndChangeNothing_data()
    {
        QTest::addColumn<Source>("source");
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<QString>("expected");
        const QString sizes = QStringLiteral(
            "is no usable KELDOR settings file: it has %1 bytes; a settings file has 3968 "
            "bytes (240 in the old form).\rNothing was sent to the headend.");
        for (int size : {0, 20, 239, 241, 248, 3967, 3969, 8000})
            QTest::addRow("%d bytes", size)
                << AsFile << QByteArray(size, '\x11') << sizes.arg(size);
        const QString notRegular = QStringLiteral("can't be read:\rit is not a regular file.");
        QTest::newRow("missing") << Missing << QByteArray() << QStringLiteral("can't be read");
        QTest::newRow("a folder") << Folder << QByteArray() << notRegular;
        QTest::newRow("a pipe") << Pipe << image_with(0, [](ChannelRecord &) {}) << notRegular;

        const auto damaged = [](const char *what) {
            return QStringLiteral("is no usable KELDOR settings file: it is damaged: %1\rNothing "
                                  "was sent to the headend.")
                .arg(QLatin1String(what));
        };
        QTest::newRow("101 services")
            << AsFile << image_with(2, [](ChannelRecord &r) { r.service_count = 101; })
            << damaged("channel 3 lists 101 services, a channel holds at most 100.");
        QTest::newRow("frequency NaN")
            << AsFile << image_with(15, [](ChannelRecord &r) { r.out_frequency = qQNaN(); })
            << damaged("channel 16 has out_frequency nan, which is no frequency.");
        QTest::newRow("frequency -inf")
            << AsFile << image_with(0, [](ChannelRecord &r) { r.out_frequency = -qInf(); })
            << damaged("channel 1 has out_frequency -inf, which is no frequency.");
        QTest::newRow("polarisation 5")
            << AsFile << image_with(3, [](ChannelRecord &r) { r.polarisation = 5; })
            << damaged("channel 4 has polarisation 5, outside its list (0 to 4).");
        QTest::newRow("bandwidth 2")
            << AsFile << image_with(4, [](ChannelRecord &r) { r.bandwidth = 2; })
            << damaged("channel 5 has bandwidth 2, outside its list (0 to 1).");
        QTest::newRow("qam 6") << AsFile << image_with(5, [](ChannelRecord &r) { r.qam = 6; })
                               << damaged("channel 6 has qam 6, outside its list (0 to 5).");
        QTest::newRow("spectrum 2")
            << AsFile << image_with(6, [](ChannelRecord &r) { r.spectrum = 2; })
            << damaged("channel 7 has spectrum 2, outside its list (0 to 1).");
        QTest::newRow("attenuation 13")
            << AsFile << image_with(7, [](ChannelRecord &r) { r.attenuation = 13; })
            << damaged("channel 8 has attenuation 13, outside its list (0 to 12).");
        QTest::newRow("opmode 3") << AsFile << image_with(8, [](ChannelRecord &r) { r.opmode = 3; })
                                  << damaged("channel 9 has opmode 3, outside its list (0 to 2).");
        QTest::newRow("old form, qam 255")
            << AsFile << old_image(image_with(11, [](ChannelRecord &r) { r.qam = 255; }))
            << damaged("channel 12 has qam 255, outside its list (0 to 5).");
    }

    void unusableFilesAreRefusedAndChangeNothing()
    {
        QFETCH(Source, source);
        QFETCH(QByteArray, image);
        QFETCH(QString, expected);
        QString path = m_dir.filePath(QStringLiteral("%1.kdr").arg(QTest::currentDataTag()));
        QProcess writer;
        if (source == AsFile) {
            QVERIFY(write_all(path, image));
        } else if (source == Folder) {
            QVERIFY(QDir().mkpath(path));
        } else if (source == Pipe) {
            // Its writer hands over a good image, so a loader that opened it and waited would
            // take it in.
            QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
            writer.start(QStringLiteral("sh"),
                         {QStringLiteral("-c"), QStringLiteral("cat >\"$0\""), path});
            QVERIFY(writer.waitForStarted());
            writer.write(image);
            QVERIFY(writer.waitForBytesWritten());
            writer.closeWriteChannel();
        }

        UnitData unit;
        unit.channels[0] = sample_record(0);
        const auto before = unit.channels;
        const auto loaded = load_settings_file(m_ui, path, unit);
        writer.kill();
        writer.waitForFinished();
        QCOMPARE(loaded, std::nullopt);
        QVERIFY(unit.channels == before);
        QVERIFY(unit.settings_file_name.isEmpty());
        QCOMPARE(m_ui.messages.size(), 1);
        QCOMPARE(m_ui.messages.first().icon, UserInterface::Icon::Critical);
        QCOMPARE(m_ui.messages.first().title, QStringLiteral("Load Settings"));
        QVERIFY2(m_ui.messages.first().text.contains(expected),
                 qPrintable(m_ui.messages.first().text));
        QVERIFY(m_ui.messages.first().text.endsWith("Nothing was sent to the headend."));
    }

    void failedSaveKeepsTheOldFile_data()
    {
        QTest::addColumn<bool>("targetIsFolder");
        QTest::newRow("read-only folder") << false;
        QTest::newRow("target is a folder") << true;
    }

    void failedSaveKeepsTheOldFile()
    {
        QFETCH(bool, targetIsFolder);
        const QString folder = m_dir.filePath(QTest::currentDataTag());
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/rack.kdr");
        const QByteArray old = QByteArray(3968, '\x07');
        std::optional<Unwritable> readOnly;
        if (targetIsFolder) {
            QVERIFY(QDir().mkpath(path));
        } else {
            QVERIFY(write_all(path, old));
            QVERIFY(readOnly.emplace(folder).ok());
        }

        UnitData unit;
        unit.channels[1] = sample_record(1);
        const bool saved = save_settings_file(m_ui, path, unit);
        readOnly.reset();
        QVERIFY(!saved);
        QVERIFY(unit.settings_file_name.isEmpty());
        if (targetIsFolder)
            QVERIFY(QFileInfo(path).isDir());
        else
            QCOMPARE(read_all(path), old);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::NoDotAndDotDot).size(),
                 targetIsFolder ? 0 : 1);
        QCOMPARE(m_ui.messages.size(), 1);
        QCOMPARE(m_ui.messages.first().title, QStringLiteral("Save Settings"));
        QVERIFY(m_ui.messages.first().text.startsWith("The settings could not be saved as "));
        QVERIFY(m_ui.messages.first().text.endsWith("An existing file of that name is unchanged."));
    }

private:
    QTemporaryDir m_dir;
    RecordingUi m_ui;
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
