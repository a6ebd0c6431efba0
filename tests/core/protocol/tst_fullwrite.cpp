#include "link/session.h"
#include "model/unitdata.h"
#include "protocol/fullwrite.h"

#include "sessionfixture.h"

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
        struct {
            bool withServices, keepServices;
        } rows[]{{true, true}, {false, true}, {true, false}};
        for (const auto &row : rows) {
            init();
            for (int ch = 0; ch < channelCount; ++ch)
                m_unit.channels[ch] = record(ch, row.withServices && ch % 2 == 0 ? ch + 1 : 0);
            const ChannelRecord untouched = m_unit.channels[8];
            QVERIFY(saveUnitData(m_f->exchange(), m_unit, row.keepServices));

            QStringList expected, steps;
            QList<int> counts, expectedCounts;
            for (int ch = 0; ch < 8; ++ch) {
                const int services =
                    row.withServices && row.keepServices && ch % 2 == 0 ? ch + 1 : 0;
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
            QCOMPARE(m_f->sim.frames(bulkWriteCode).size(), 1);
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
        struct {
            int variant, steps;
        } rows[]{{-1, 0}, {0, 8}};
        for (const auto &row : rows) {
            init();
            if (row.variant < 0)
                m_f->sim.headend.setFault({sim::Fault::DropAnswer, bulkWriteCode});
            else
                m_f->sim.headend.state().identity.variant = quint8(row.variant);
            QVERIFY(!saveUnitData(m_f->exchange(), m_unit, true));
            QCOMPARE(m_f->sim.count(sim::TranscriptEntry::Kind::Raw), row.steps);
            QCOMPARE(m_f->ui.texts(), QStringList{"Connection aborted!"});
            QVERIFY(!m_f->ui.progressLabels.contains("Headend Data successfully updated!"));
            QVERIFY(!m_f->ui.progressShown && !m_f->ui.keepAliveRunning && m_f->ui.busyDepth == 0);
        }
    }

private:
    std::optional<SessionFixture> m_f;
    UnitData m_unit;
};

QTEST_GUILESS_MAIN(TestFullWrite)
#include "tst_fullwrite.moc"
