#include "core/model/fullwrite.h"
#include "core/model/headendsettings.h"
#include "core/model/settingsfile.h"
#include "core/model/unitdata.h"
#include "core/model/unitdiff.h"
#include "core/protocol/parametertable.h"
#include "sim/stateio.h"

#include "files.h"
#include "sessionfixture.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

namespace {

ChannelRecord record(int ch, int services)
{
    // clang-format off
    ChannelRecord r{1, qint16(11000 + ch), 10600, 27500, 346.0f + 8.0f * float(ch), 1, 4, 6875, 1, 3, 2, 1, 1, quint8(services), quint8(services > 0)};
    for (int i = 0; i < services; ++i) r.serviceIds[i] = static_cast<qint16>(100 * (ch + 1) + i);
    // clang-format on
    return r;
}

// A headend state with every field of every channel drawn at random, list positions and modes
// beyond the program's lists among them. The channels cycle through service modes 0, 1 and 128
// (and one no list has) with 0 and 1 listed IDs; channel 1 lists 100 IDs in the mode given, if
// any. A model without service lists has none.
void generate(sim::DeviceState &state, int channels, quint32 seed, std::optional<quint8> hundred)
{
    QRandomGenerator random(seed);
    state.identity.variant = *sim::variantForChannelCount(channels);
    const bool lists = channels != 16;
    const auto byte = [&] {
        return quint8(random.bounded(256));
    };
    const auto word = [&] {
        return qint16(random.bounded(-32768, 32768));
    };
    for (int ch = 0; ch < sim::MaxChannels; ++ch) {
        sim::Channel &c = state.channels[ch];
        // Mostly what the lists hold, every fourth channel anything a byte holds.
        const bool raw = ch % 4 == 3;
        const auto position = [&](int entries) {
            return raw ? byte() : quint8(random.bounded(entries));
        };
        c.polarisation = position(5);
        c.bandwidth = position(2);
        c.qam = position(6);
        c.spectrum = position(2);
        c.attenuation = position(13);
        c.opmode = position(3);
        c.outputOn = position(2);
        c.loMode = position(2);
        c.inFrequency = word();
        c.loFrequency = word();
        c.inSymbolrate = word();
        c.outSymbolrate = word();
        c.outFrequency = float(random.generateDouble() * 2e6 - 1e6);
        static const QList<quint8> modes{0, 1, 128, 7};
        const int combination = (ch + int(seed)) % 8;
        c.serviceMode = lists ? modes[combination % 4] : 0;
        int ids = lists ? combination / 4 : 0;
        if (lists && hundred && ch == 0) {
            c.serviceMode = *hundred;
            ids = 100;
        }
        c.serviceIds.clear();
        for (int i = 0; i < ids; ++i)
            c.serviceIds.append(quint16(random.bounded(65536)));
        c.inputServices = {{"A", 1}, {"B", 2}};
    }
}

// Every field the full write carries, channel by channel, as the simulator dumps them.
QJsonArray carried(const sim::DeviceState &state, int channels)
{
    const QJsonArray all = sim::saveState(state)["channels"].toArray();
    QJsonArray out;
    for (int ch = 0; ch < channels; ++ch) {
        QJsonObject fields = all[ch].toObject();
        fields.remove("tuner");
        fields.remove("input_services");
        out.append(fields);
    }
    return out;
}

} // namespace

class TestFullWrite : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_f.emplace();
        QVERIFY(m_f->start(8));
        m_f->ui.progressLabels.clear();
        m_unit = UnitData{};
        m_unit.maxChannel = 7;
    }

    void eightChannels()
    {
        QCOMPARE(bulkChannelFrame(record(0, 3)),
                 QByteArray::fromHex("43AD00002AF829686B6C1ADB01010401030201010301") +
                     QByteArray(26, '\0'));
        QCOMPARE(bulkServiceFrame(record(1, 3)), QByteArray::fromHex("00C800C900CA"));
        // Channels 0, 2, 4 and 6 carry lists; the others are followed directly by the next one.
        for (const auto &[withServices, keepServices] :
             {std::pair{true, true}, {false, true}, {true, false}}) {
            init();
            for (int ch = 0; ch < channelCount; ++ch)
                m_unit.channels[ch] = record(ch, withServices && ch % 2 == 0 ? ch + 1 : 0);
            const ChannelRecord untouched = m_unit.channels[8];
            QVERIFY(saveUnitData(m_f->exchange(), m_unit, keepServices));

            QStringList expected, steps;
            QList<int> counts, expectedCounts;
            for (int ch = 0; ch < 8; ++ch) {
                const int services = withServices && keepServices && ch % 2 == 0 ? ch + 1 : 0;
                expected.append("bulk-channel");
                expectedCounts.append(services + (services ? 256 : 0));
                if (services)
                    expected.append("bulk-services");
                QCOMPARE(int(m_unit.channels[ch].serviceCount), services);
                QCOMPARE(int(m_unit.channels[ch].serviceMode), services > 0 ? 1 : 0);
                const sim::Channel &device = m_f->sim.headend.state().channels[ch];
                QCOMPARE(device.outFrequency, 346.0f + 8.0f * ch);
                QCOMPARE(device.serviceIds.size(), qsizetype(services));
                if (services)
                    QCOMPARE(device.serviceIds.last(), quint16(100 * (ch + 1) + ch));
            }
            for (const auto &entry : m_f->sim.headend.transcript()) {
                if (entry.kind == sim::TranscriptEntry::Kind::Raw) {
                    steps.append(entry.what);
                    if (entry.what == "bulk-channel")
                        counts.append(quint8(entry.bytes[20]) + 256 * quint8(entry.bytes[21]));
                }
            }
            QCOMPARE(steps, expected);
            QCOMPARE(counts, expectedCounts); // count and mode in the record
            QCOMPARE(m_f->sim.frames(param::bulkWrite).size(), 1);
            QVERIFY(m_unit.channels[8] == untouched);
            QCOMPARE(m_f->ui.progressMaximum, 8);
            QCOMPARE(m_f->ui.progressLabels.mid(1, 2),
                     (QStringList{"Setting Data Channel:  1", "Setting Data Channel:  2"}));
            QCOMPARE(m_f->ui.progressLabels.last(), "Headend Data successfully updated!");
            QCOMPARE(m_f->ui.progressValues.last(), 8);
            QVERIFY(!m_f->ui.progressShown && m_f->ui.keepAliveRunning &&
                    m_f->ui.mainWindowEnabled && m_f->ui.busyDepth == 0);
            QVERIFY(m_f->ui.messages.isEmpty());
        }
    }

    void headendThatNeverConfirms()
    {
        // Without a go-ahead nothing is sent; a headend that expects 12 channels where the
        // table says 8 takes all eight and never sends "EN".
        for (const auto &[variant, steps] : {std::pair{-1, 0}, {0, 8}}) {
            init();
            if (variant < 0)
                m_f->sim.headend.setFault({sim::Fault::DropAnswer, param::bulkWrite});
            else
                m_f->sim.headend.state().identity.variant = quint8(variant);
            QVERIFY(!saveUnitData(m_f->exchange(), m_unit, true));
            QCOMPARE(m_f->sim.count(sim::TranscriptEntry::Kind::Raw), steps);
            QCOMPARE(m_f->ui.texts(), QStringList{"Connection aborted!"});
            QVERIFY(!m_f->ui.progressLabels.contains("Headend Data successfully updated!"));
            QVERIFY(!m_f->ui.progressShown && !m_f->ui.keepAliveRunning && m_f->ui.busyDepth == 0);
        }
    }

    // Saved from headend A, loaded onto headend B of the same model with other settings: B's
    // state is A's in every field the full write carries, as the simulator itself holds them.
    // The old 240-byte form carries no selections: they are reset.
    void roundTripThroughAFile()
    {
        // channels, the mode with 100 IDs, the old form
        const std::tuple<int, std::optional<quint8>, bool> rows[]{
            {8, 0, false}, {10, 1, false}, {12, 128, false}, {16, {}, false}, {12, {}, true}};
        for (const auto &[channels, hundred, old] : rows) {
            const QByteArray what = QByteArray::number(channels) + (old ? " old form" : "");
            SessionFixture a, b;
            QVERIFY(a.start(channels) && b.start(channels));
            a.session.timing = b.session.timing = withoutSendPause();
            generate(a.sim.headend.state(), channels, quint32(channels), hundred);
            generate(b.sim.headend.state(), channels, quint32(channels) + 1, {});
            QTemporaryDir dir;
            const QString path = dir.filePath("a.kdr");
            Configuration saved;
            QVERIFY2(readConfiguration(a.exchange(), saved), what);
            QVERIFY(saveSettingsFile(a.ui, path, saved.unit));
            if (old) {
                QByteArray image;
                for (int ch = 0; ch < oldRecordCount; ++ch)
                    image += readFile(path).mid(ch * settingsRecordSize, oldRecordSize);
                QVERIFY(writeFile(path, image));
            }

            Configuration held;
            auto file = readFileOverHeadend(b.exchange(), b.ui, path, held);
            QVERIFY2(file, what);
            QVERIFY(
                saveUnitData(b.exchange(), file->unit, file->format == SettingsFormat::Current));

            QJsonArray expected = carried(a.sim.headend.state(), channels);
            if (old) {
                for (qsizetype ch = 0; ch < expected.size(); ++ch) {
                    QJsonObject fields = expected[ch].toObject();
                    fields["service_mode"] = 0;
                    fields["service_ids"] = QJsonArray();
                    expected[ch] = fields;
                }
            }
            QCOMPARE(carried(b.sim.headend.state(), channels), expected);
            QVERIFY2(a.ui.messages.isEmpty() && b.ui.messages.isEmpty(), what);
        }
    }

    // The check after a write names every field the headend holds otherwise than was sent; the
    // selections only where they could be read back.
    void checkAfterAWrite()
    {
        UnitData sent;
        sent.maxChannel = 15;
        sent.channels[2].outFrequency = 346;
        sent.channels[15] = {.serviceCount = 1, .serviceMode = 1, .serviceIds = {4001}};
        using Change = void (*)(UnitData &);
        const auto lose = [](UnitData &u) {
            u.channels[15] = {};
        };
        // clang-format off
        const struct { const char *name; bool selectionsRead; Change change; QString differs; } rows[]{
            {"holds what was sent", true, [](UnitData &) {}, ""},
            {"another frequency", false, [](UnitData &u) { u.channels[2].outFrequency = 354; }, "Channel 3\n  Output Frequency: 346.00 MHz -> 354.00 MHz\n"},
            {"selection lost", true, lose, "Channel 16\n  Service Mode: only the listed services pass -> every service passes\n  services removed: 4001\n"},
            {"selections not read back", false, lose, ""}};
        // clang-format on
        for (const auto &r : rows) {
            Configuration held;
            held.unit = sent;
            held.selectionsRead = r.selectionsRead;
            r.change(held.unit);
            QVERIFY2(diffText(checkWrite(sent, held)) == r.differs, r.name);
        }
    }

private:
    std::optional<SessionFixture> m_f;
    UnitData m_unit;
};

QTEST_GUILESS_MAIN(TestFullWrite)
#include "tst_fullwrite.moc"
