#include "channels/channeltextsview.h"
#include "channels/setsearch.h"
#include "link/session.h"
#include "model/unitdata.h"

#include "sessionfixture.h"

#include <QLocale>
#include <QTest>
#include <QtEndian>

using namespace keldor;

namespace {

OutputSettings output()
{
    OutputSettings s;
    s.out_frequency = QStringLiteral("346.00");
    s.qam_code = 3;
    s.out_symbolrate = QStringLiteral("6875");
    s.spectrum = 1;
    s.opmode = 2;
    s.attenuation = 7;
    s.output_on = false;
    s.bandwidth = 0;
    return s;
}

InputSettings input(const QString &frequency = QStringLiteral("11699"),
                    const QString &lo = QStringLiteral("AUTO"))
{
    InputSettings s;
    s.polarisation = 2;
    s.in_frequency = frequency;
    s.lo = lo;
    s.in_symbolrate = QStringLiteral("27500");
    return s;
}

} // namespace

class TestSetSearch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init()
    {
        m_f.emplace();
        QVERIFY(m_f->start());
        m_unit = UnitData{};
        m_unit.polarisation_supported = true;
        m_unit.identity.fpga_version = "1.06";
        m_unit.identity.controller_version = "1.05";
        m_view = std::make_unique<ChannelTextsView>();
    }

    void setWritesTheOutputInOrder()
    {
        QVERIFY(set_channel(m_f->exchange(), m_unit, 4, output()));
        QCOMPARE(frameCodes(),
                 (QList<int>{0x02, 0x03, 0x06, 0x07, 0x04, 0x05, 0x08, 0x73, 0x75, 0x74}));
        const auto frames = sentFrames();
        for (const QByteArray &frame : frames)
            QCOMPARE(quint8(frame[0]), 4);
        QCOMPARE(frames[0].mid(2, 1), QByteArray("\x04"));
        QCOMPARE(frames[1].mid(2, 4), QByteArray::fromHex("43AD0000")); // 346.0f
        QCOMPARE(frames[3].mid(2, 2), QByteArray::fromHex("1ADB"));     // 6875

        const ChannelRecord &r = m_unit.channel(4);
        QCOMPARE(r.out_frequency, 346.0f);
        QCOMPARE(r.qam, 3);
        QCOMPARE(r.out_symbolrate, 6875);
        QCOMPARE(r.spectrum, 1);
        QCOMPARE(r.opmode, 2);
        QCOMPARE(r.attenuation, 7);
        QCOMPARE(r.output_on, 0);
        QCOMPARE(r.bandwidth, 0);
        const sim::Channel &device = m_f->sim.headend.state().channels[4];
        QCOMPARE(device.outFrequency, 346.0f);
        QCOMPARE(device.qam, 3);
        QCOMPARE(device.outputOn, 0);
        QCOMPARE(device.bandwidth, 0);
        QVERIFY(m_f->ui.messages.isEmpty());
    }

    void setStopsAtTheFirstFailure()
    {
        drop(0x06);
        ChannelRecord old = m_unit.channel(1);
        old.qam = 5;
        old.out_symbolrate = 6900;
        m_unit.channel(1) = old;
        QVERIFY(!set_channel(m_f->exchange(), m_unit, 1, output()));

        const ChannelRecord &r = m_unit.channel(1);
        QCOMPARE(r.out_frequency, 346.0f);
        ChannelRecord rest = r;
        rest.out_frequency = old.out_frequency;
        QCOMPARE(rest, old);
        const QList<int> codes = frameCodes();
        QCOMPARE(codes.mid(0, 3), (QList<int>{0x02, 0x03, 0x06}));
        QVERIFY(!codes.contains(0x07));
        QVERIFY(!codes.contains(0x74));
        QCOMPARE(m_f->ui.messages.last().title, QStringLiteral("Error 6"));
        QCOMPARE(
            m_f->ui.messages.last().text,
            QStringLiteral("An error occured while sending, data may be lost\rPlease try again."));
    }

    void setIgnoresTheClosingWrite()
    {
        drop(0x74);
        QVERIFY(set_channel(m_f->exchange(), m_unit, 0, output()));
        QCOMPARE(m_unit.channel(0).bandwidth, 0);
        QCOMPARE(frameCodes().mid(8, 2), (QList<int>{0x75, 0x74}));
    }

    void setRefusesAMissingQamSelection()
    {
        OutputSettings s = output();
        s.qam_code = -1;
        QVERIFY(!set_channel(m_f->exchange(), m_unit, 0, s));
        QVERIFY(frameCodes().isEmpty());
        QCOMPARE(m_f->ui.texts(), QStringList{"Please select a QAM order!"});
        QCOMPARE(m_unit.channel(0), ChannelRecord{});
    }

    void searchSendsTheInputAndReadsTheTuner_data()
    {
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("lo");
        QTest::addColumn<QList<int>>("loFrame"); // 0x88 value, 0x66 value
        QTest::newRow("AUTO below 11700") << "11699"
                                          << "AUTO" << QList<int>{0, 9750};
        QTest::newRow("AUTO from 11700") << "11700"
                                         << "auto" << QList<int>{0, 10600};
        QTest::newRow("typed LO") << "11000"
                                  << "10000" << QList<int>{1, 10000};
        QTest::newRow("chosen 09750") << "11000"
                                      << "09750" << QList<int>{1, 9750};
    }
    void searchSendsTheInputAndReadsTheTuner()
    {
        QFETCH(QString, frequency);
        QFETCH(QString, lo);
        QFETCH(QList<int>, loFrame);
        m_f->sim.headend.state().channels[3].tuner.dataRate = 41.5f;
        QVERIFY(search_channel(m_f->exchange(), m_unit, *m_view, 3, input(frequency, lo)));

        QCOMPARE(frameCodes(), (QList<int>{0x02, 0x0E, 0x10, 0x11, 0xA0, 0x64, 0x65, 0x88, 0x66,
                                           0x67, 0x68, 0x74, 0x60, 0x69, 0x61, 0x62}));
        const auto frames = sentFrames();
        QCOMPARE(frames[4].mid(2, 2), QByteArray(2, '\0'));
        QCOMPARE(quint8(frames[7][2]), loFrame[0]);
        QCOMPARE(qFromBigEndian<qint16>(frames[8].constData() + 2), loFrame[1]);

        const ChannelRecord &r = m_unit.channel(3);
        QCOMPARE(r.polarisation, 2);
        QCOMPARE(r.in_frequency, frequency.toShort());
        QCOMPARE(r.lo_mode, loFrame[0]);
        QCOMPARE(r.lo_frequency, loFrame[1]);
        QCOMPARE(r.in_symbolrate, 27500);
        QCOMPARE(r.service_count, 0); // the reset doesn't touch the model
        QCOMPARE(m_unit.channel_data_rate[3], 41.5f);
        QCOMPARE(m_view->texts(3).status, QStringLiteral("Tuner Locked"));
        QCOMPARE(m_view->texts(3).ber, QStringLiteral("2.3e-4"));
        QVERIFY(m_view->state(3).serviceListEnabled);
        QVERIFY(m_view->pagesEnabled());
        QCOMPARE(m_f->sim.headend.state().channels[3].loFrequency, loFrame[1]);
    }

    void searchWithoutServiceListReset_data()
    {
        QTest::addColumn<QByteArray>("fpga");
        QTest::addColumn<QByteArray>("controller");
        QTest::newRow("FPGA 1.05") << QByteArray("1.05") << QByteArray("1.05");
        QTest::newRow("controller 1.03") << QByteArray("1.06") << QByteArray("1.03");
    }
    void searchWithoutServiceListReset()
    {
        QFETCH(QByteArray, fpga);
        QFETCH(QByteArray, controller);
        m_unit.identity.fpga_version = fpga;
        m_unit.identity.controller_version = controller;
        QVERIFY(search_channel(m_f->exchange(), m_unit, *m_view, 0, input()));
        QCOMPARE(frameCodes().first(), 0x64);
        QVERIFY(!frameCodes().contains(0xA0));
    }

    void searchWithoutInputSelection()
    {
        m_unit.polarisation_supported = false;
        m_unit.channel(2).polarisation = 3;
        QVERIFY(search_channel(m_f->exchange(), m_unit, *m_view, 2, input()));
        QVERIFY(!frameCodes().contains(0x64));
        QCOMPARE(m_unit.channel(2).polarisation, 0);
    }

    void searchStopsAtTheFirstFailure()
    {
        drop(0x67);
        m_unit.channel(5).in_symbolrate = 1234;
        QVERIFY(!search_channel(m_f->exchange(), m_unit, *m_view, 5, input()));
        QCOMPARE(m_unit.channel(5).in_frequency, 11699);
        QCOMPARE(m_unit.channel(5).lo_frequency, 9750);
        QCOMPARE(m_unit.channel(5).in_symbolrate, 1234);
        QVERIFY(!frameCodes().contains(0x68));
        QVERIFY(!frameCodes().contains(0x60));
        QCOMPARE(m_view->texts(5).status, QStringLiteral("Searching..."));
        QVERIFY(!m_view->state(5).serviceListEnabled);
        // The window stays usable after a failed search.
        QVERIFY(m_view->pagesEnabled());
    }

    void searchOnAnUnlockedTuner()
    {
        m_f->sim.headend.state().channels[0].tuner.status = 0;
        m_view->setServiceListEnabled(0, true);
        QVERIFY(search_channel(m_f->exchange(), m_unit, *m_view, 0, input()));
        QCOMPARE(m_view->texts(0).status, QStringLiteral("Tuner unlocked"));
        QVERIFY(!m_view->state(0).serviceListEnabled);
        QCOMPARE(m_unit.channel_data_rate[0], 0.0f);
    }

private:
    void drop(int code)
    {
        sim::FaultPlan plan;
        plan.fault = sim::Fault::DropAnswer;
        plan.code = code;
        m_f->sim.headend.setFault(plan);
    }
    QList<QByteArray> sentFrames() const
    {
        QList<QByteArray> out;
        for (const auto &entry : m_f->sim.headend.transcript()) {
            if (entry.kind == sim::TranscriptEntry::Kind::Frame)
                out.append(entry.bytes);
        }
        return out;
    }
    QList<int> frameCodes() const
    {
        QList<int> out;
        for (const QByteArray &frame : sentFrames()) {
            // A resent frame is the same write again, not another step.
            if (out.isEmpty() || out.last() != quint8(frame[1]))
                out.append(quint8(frame[1]));
        }
        return out;
    }

    std::optional<SessionFixture> m_f;
    UnitData m_unit;
    std::unique_ptr<ChannelTextsView> m_view;
};

QTEST_GUILESS_MAIN(TestSetSearch)
#include "tst_setsearch.moc"
