#include "link/session.h"
#include "model/unitdata.h"
#include "protocol/fullwrite.h"

#include "sessionfixture.h"

#include <QElapsedTimer>
#include <QTest>

using namespace keldor;

namespace {

ChannelRecord record(int ch, int services)
{
    ChannelRecord r;
    r.polarisation = 1;
    r.in_frequency = static_cast<qint16>(11000 + ch);
    r.lo_frequency = 10600;
    r.in_symbolrate = 27500;
    r.out_frequency = 346.0f + 8.0f * static_cast<float>(ch);
    r.bandwidth = 1;
    r.qam = 4;
    r.out_symbolrate = 6875;
    r.spectrum = 1;
    r.attenuation = 3;
    r.opmode = 2;
    r.output_on = 1;
    r.lo_mode = 1;
    r.service_count = static_cast<quint8>(services);
    r.service_mode = services > 0 ? 1 : 0;
    for (int i = 0; i < services; ++i)
        r.service_ids[i] = static_cast<qint16>(100 * (ch + 1) + i);
    return r;
}

QStringList raw_steps(const SimHeadend &sim)
{
    QStringList steps;
    for (const auto &entry : sim.headend.transcript()) {
        if (entry.kind == sim::TranscriptEntry::Kind::Raw)
            steps.append(entry.what);
    }
    return steps;
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
        m_unit.max_channel = 7;
    }

    void channelFrameLayout()
    {
        const QByteArray frame = bulk_channel_frame(record(0, 3));
        QCOMPARE(frame.size(), 48);
        QCOMPARE(frame.left(22), QByteArray::fromHex("43AD0000"
                                                     "2AF8"
                                                     "2968"
                                                     "6B6C"
                                                     "1ADB"
                                                     "01"
                                                     "01"
                                                     "04"
                                                     "01"
                                                     "03"
                                                     "02"
                                                     "01"
                                                     "01"
                                                     "03"
                                                     "01"));
        QCOMPARE(frame.mid(22), QByteArray(26, '\0'));
        QCOMPARE(bulk_service_frame(record(1, 3)), QByteArray::fromHex("00C800C900CA"));
    }

    void eightChannels_data()
    {
        QTest::addColumn<bool>("withServices");
        QTest::addColumn<bool>("keepServices");
        QTest::newRow("services kept") << true << true;
        QTest::newRow("no services") << false << true;
        QTest::newRow("services cleared") << true << false;
    }

    void eightChannels()
    {
        QFETCH(bool, withServices);
        QFETCH(bool, keepServices);
        // Channels 0, 2, 4 and 6 carry lists; the others are followed directly by the next one.
        for (int ch = 0; ch < channelCount; ++ch)
            m_unit.channels[ch] = record(ch, withServices && ch % 2 == 0 ? ch + 1 : 0);
        const ChannelRecord untouched = m_unit.channels[8];

        QVERIFY(save_unit_data(m_f->exchange(), m_unit, keepServices));

        const bool lists = withServices && keepServices;
        QStringList expected;
        for (int ch = 0; ch < 8; ++ch) {
            expected.append("bulk-channel");
            if (lists && ch % 2 == 0)
                expected.append("bulk-services");
        }
        QCOMPARE(raw_steps(m_f->sim), expected);

        int at = 0;
        const auto entries = m_f->sim.headend.transcript();
        for (int ch = 0; ch < 8; ++ch) {
            while (entries.at(at).kind != sim::TranscriptEntry::Kind::Raw)
                ++at;
            const QByteArray frame = entries.at(at++).bytes;
            QCOMPARE(quint8(frame[20]), lists && ch % 2 == 0 ? ch + 1 : 0);
            QCOMPARE(quint8(frame[21]), lists && ch % 2 == 0 ? 1 : 0);
            if (lists && ch % 2 == 0)
                ++at; // its service list, checked by what the headend keeps below
            const sim::Channel &simChannel = m_f->sim.headend.state().channels[ch];
            QCOMPARE(simChannel.outFrequency, 346.0f + 8.0f * ch);
            QCOMPARE(simChannel.inFrequency, 11000 + ch);
            QCOMPARE(simChannel.serviceIds.size(), lists && ch % 2 == 0 ? ch + 1 : 0);
            if (!simChannel.serviceIds.isEmpty())
                QCOMPARE(simChannel.serviceIds.last(), quint16(100 * (ch + 1) + ch));
        }
        QCOMPARE(m_f->sim.frames(bulkWriteCode).size(), 1);
        QVERIFY(m_unit.channels[8] == untouched);
        if (!keepServices) {
            for (int ch = 0; ch < 8; ++ch) {
                QCOMPARE(m_unit.channels[ch].service_count, 0);
                QCOMPARE(m_unit.channels[ch].service_mode, 0);
            }
        }

        QCOMPARE(m_f->ui.progressMaximum, 8);
        QCOMPARE(m_f->ui.progressLabels.mid(1, 2),
                 (QStringList{"Setting Data Channel:  1", "Setting Data Channel:  2"}));
        QCOMPARE(m_f->ui.progressLabels.last(),
                 QStringLiteral("Headend Data successfully updated!"));
        QCOMPARE(m_f->ui.progressValues.last(), 8);
        QVERIFY(!m_f->ui.progressShown);
        QVERIFY(m_f->ui.keepAliveRunning);
        QVERIFY(m_f->ui.mainWindowEnabled);
        QCOMPARE(m_f->ui.busyDepth, 0);
        QVERIFY(m_f->ui.messages.isEmpty());
    }

    void silentOrVanishingHeadendEndsAtOnce_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("no go-ahead") << int(sim::Fault::DropAnswer);
        QTest::newRow("connection dropped") << int(sim::Fault::Disconnect);
    }

    void silentOrVanishingHeadendEndsAtOnce()
    {
        QFETCH(int, fault);
        sim::FaultPlan plan;
        plan.fault = static_cast<sim::Fault>(fault);
        plan.code = bulkWriteCode;
        m_f->sim.headend.setFault(plan);
        for (int ch = 0; ch < channelCount; ++ch)
            m_unit.channels[ch] = record(ch, 2);

        QVERIFY(!save_unit_data(m_f->exchange(), m_unit, true));
        QVERIFY(raw_steps(m_f->sim).isEmpty());
        QCOMPARE(m_f->ui.texts(), QStringList{"Connection aborted!"});
        QVERIFY(!m_f->ui.progressShown);
        QVERIFY(!m_f->ui.keepAliveRunning);
        QCOMPARE(m_f->ui.busyDepth, 0);
    }

    void headendWithMoreChannelsNeverConfirms()
    {
        // The table says 8 channels, the headend expects 12: it never sends "EN".
        m_f->sim.headend.state().identity.variant = 0;
        QVERIFY(!save_unit_data(m_f->exchange(), m_unit, true));
        QCOMPARE(raw_steps(m_f->sim).size(), 8);
        QCOMPARE(m_f->ui.texts(), QStringList{"Connection aborted!"});
        QVERIFY(!m_f->ui.progressLabels.contains("Headend Data successfully updated!"));
    }

private:
    std::optional<SessionFixture> m_f;
    UnitData m_unit;
};

QTEST_GUILESS_MAIN(TestFullWrite)
#include "tst_fullwrite.moc"
