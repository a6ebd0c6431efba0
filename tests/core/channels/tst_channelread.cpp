#include "channels/channeltextsview.h"
#include "link/session.h"
#include "model/unitdata.h"
#include "protocol/devicetype.h"
#include "protocol/readunitdata.h"

#include "sessionfixture.h"

#include <QLocale>
#include <QTest>

using namespace keldor;

class TestChannelRead : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init()
    {
        m_f.emplace();
        QVERIFY(m_f->start());
        m_unit = UnitData{};
        m_view = std::make_unique<ChannelTextsView>();
    }

    void fullRead_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("serviceListButtons");
        QTest::newRow("8") << 1 << 8 << true;
        QTest::newRow("10") << 2 << 10 << true;
        QTest::newRow("12") << 0 << 12 << true;
        QTest::newRow("16") << 7 << 16 << false;
    }
    void fullRead()
    {
        QFETCH(int, variant);
        QFETCH(int, channels);
        QFETCH(bool, serviceListButtons);
        m_f->sim.headend.state().identity.variant = static_cast<quint8>(variant);
        for (int i = 0; i < sim::MaxChannels; ++i)
            m_f->sim.headend.state().channels[i].outSymbolrate = static_cast<qint16>(6800 + i);
        QVERIFY(readAll());

        QCOMPARE(m_unit.max_channel, channels - 1);
        QCOMPARE(m_view->device().device_type, QStringLiteral("KELDOR QAM"));
        QCOMPARE(m_view->device().serial_number, QStringLiteral("123456"));
        QCOMPARE(m_view->device().hardware_version, QStringLiteral("1.00"));
        QCOMPARE(m_view->device().controller_version, QStringLiteral("1.05"));
        QCOMPARE(m_view->device().fpga_version, QStringLiteral("1.06"));
        QCOMPARE(m_unit.controller_version, QByteArray("1.05"));
        QVERIFY(m_unit.polarisation_supported);
        QCOMPARE(m_view->serviceListButtonsHidden(), !serviceListButtons);
        QVERIFY(m_view->firstPageShown());

        for (int i = 0; i < channels; ++i) {
            const ChannelRecord &r = m_unit.channel(i);
            QCOMPARE(r.in_frequency, 10744 + 20 * i);
            QCOMPARE(r.out_frequency, 114.0f + 8.0f * i);
            QCOMPARE(r.out_symbolrate, 6800 + i);
            QCOMPARE(r.lo_frequency, 9750);
            QCOMPARE(r.qam, 5);
            QCOMPARE(r.bandwidth, 1);
            QCOMPARE(r.output_on, 1);
            QCOMPARE(m_unit.channel_data_rate[i], 38.0f);

            const ChannelTexts &t = m_view->texts(i);
            QVERIFY(m_view->statusBlack(i) && t.output_on);
            QCOMPARE((QStringList{t.status, t.ber, t.snr, t.polarisation, t.in_frequency, t.lo,
                                  t.in_symbolrate, t.opmode, t.out_frequency, t.bandwidth, t.qam,
                                  t.out_symbolrate, t.spectrum, t.attenuation}),
                     (QStringList{"Tuner Locked", "2.3e-4", "11", "SAT 1",
                                  QString::number(10744 + 20 * i), "AUTO", "22000", "Normal",
                                  QString::number(114 + 8 * i) + ".00", "8 MHz", "QAM-256",
                                  QString::number(6800 + i), "Normal", "0dB"}));
            const auto &s = m_view->state(i);
            QCOMPARE(s.qamFirstCode, 3); // 38 Mbit/s in 8 MHz needs QAM-64
            QVERIFY(s.polarisationEnabled && s.serviceListEnabled && !s.setEnabled);
        }
        for (int i = channels; i < channelCount; ++i)
            QCOMPARE(m_unit.channel(i), ChannelRecord{});
        QCOMPARE(m_f->sim.frames(0x60).size(), channels);
        QVERIFY(m_f->ui.messages.isEmpty());
    }

    void channelStatesAndValues()
    {
        auto &ch = m_f->sim.headend.state().channels;
        ch[0].tuner.status = 0;
        ch[0].tuner.noSignal = 1;
        ch[1].tuner.status = 0;
        ch[2].tuner.status = 12;
        ch[3].tuner.status = 13;
        ch[4].tuner.status = 2;
        ch[5].tuner.dataRate = 70.0f; // nothing carries it in 8 MHz
        ch[6].loMode = 1;
        ch[6].loFrequency = 10000;
        ch[7].loMode = 1;
        ch[7].loFrequency = 10600;
        ch[8].qam = 1; // below the minimum QAM-64 of a locked 38 Mbit/s tuner
        ch[9].bandwidth = 0;
        ch[9].attenuation = 12;
        ch[9].spectrum = 1;
        ch[9].opmode = 2;
        ch[9].outputOn = 0;
        ch[9].polarisation = 3;
        ch[10].outFrequency = 858.125f;
        ch[10].inSymbolrate = 0;
        ch[11].tuner.bitErrors = 0;
        ch[11].tuner.snrTenths = 0;
        QVERIFY(readAll());

        const auto text = [&](int i) {
            return m_view->texts(i);
        };
        QCOMPARE(text(0).status, QStringLiteral("No Signal"));
        QVERIFY(!m_view->statusBlack(0));
        QCOMPARE(text(0).ber, QString());
        QCOMPARE(text(0).snr, QString());
        QCOMPARE(m_unit.channel_data_rate[0], 0.0f);
        QVERIFY(!m_view->state(0).serviceListEnabled);
        QCOMPARE(m_view->state(0).qamFirstCode, 0); // an unlocked tuner keeps the whole list
        QCOMPARE(text(0).qam, QStringLiteral("QAM-256"));
        QCOMPARE(text(1).status, QStringLiteral("Tuner unlocked"));
        QCOMPARE(text(2).status, QStringLiteral("I2C NOACKE"));
        QCOMPARE(text(3).status, QStringLiteral("Status Unknown"));
        QCOMPARE(text(4).status, QStringLiteral("Status Unknown"));

        QCOMPARE(m_f->ui.messages.size(), 1);
        QCOMPARE(m_f->ui.messages.first().title, QStringLiteral("Error"));
        QCOMPARE(m_f->ui.messages.first().icon, UserInterface::Icon::Critical);
        QCOMPARE(m_f->ui.messages.first().text,
                 QStringLiteral("This transponder cannot be converted due to high datarate!"));
        QCOMPARE(m_view->state(5).qamFirstCode, 0);
        QCOMPARE(text(5).qam, QStringLiteral("QAM-256"));

        QCOMPARE(text(6).lo, QStringLiteral("10000"));
        QCOMPARE(m_view->state(6).loEntries, lists::lo() + QStringList{"10000"});
        QCOMPARE(m_unit.channel(6).lo_mode, 1);
        QCOMPARE(text(7).lo, QStringLiteral("10600"));
        QCOMPARE(m_view->state(7).loEntries, lists::lo());

        QCOMPARE(m_unit.channel(8).qam, 1);
        QCOMPARE(m_view->state(8).qamFirstCode, 3);
        QCOMPARE(text(8).qam, QStringLiteral("QAM-64"));

        QCOMPARE(text(9).bandwidth, QStringLiteral("7 MHz"));
        QCOMPARE(m_view->state(9).qamFirstCode, 4); // 38 Mbit/s in 7 MHz needs QAM-128
        QCOMPARE(text(9).attenuation, QStringLiteral("-12dB"));
        QCOMPARE(text(9).spectrum, QStringLiteral("Invers"));
        QCOMPARE(text(9).opmode, QStringLiteral("Zero"));
        QVERIFY(!text(9).output_on);
        QCOMPARE(text(9).polarisation, QStringLiteral("SAT 4"));

        QCOMPARE(text(10).out_frequency, QStringLiteral("858.13"));
        QCOMPARE(text(10).in_symbolrate, QString());
        QCOMPARE(text(11).ber, QStringLiteral("0e-7"));
        QCOMPARE(text(11).snr, QStringLiteral("0"));
    }

    void singleInputHeadend()
    {
        m_f->sim.headend.state().identity.polarisationSupported = 0;
        m_f->sim.headend.state().channels[2].polarisation = 3;
        QVERIFY(readAll());
        QVERIFY(!m_unit.polarisation_supported);
        QCOMPARE(m_f->sim.frames(0x56).size(), 0);
        for (int i = 0; i < 12; ++i) {
            QCOMPARE(m_view->texts(i).polarisation, QStringLiteral("SAT"));
            QVERIFY(!m_view->state(i).polarisationEnabled);
            QCOMPARE(m_unit.channel(i).polarisation, 0);
        }
    }

    void oldFirmwareHidesServiceListButtons()
    {
        m_f->sim.headend.state().identity.fpgaVersion = QStringLiteral("1.05");
        QVERIFY(readAll());
        QVERIFY(m_view->serviceListButtonsHidden());
    }

    void failedReadKeepsTheRest()
    {
        auto &ch = m_f->sim.headend.state().channels;
        ch[0].tuner.status = 0;
        ch[1].tuner.status = 0;
        sim::FaultPlan drop;
        drop.fault = sim::Fault::DropAnswer;
        drop.code = 0x69; // first asked for channel 2, the first locked tuner
        m_f->sim.headend.setFault(drop);

        ChannelRecord old;
        old.in_frequency = 1;
        old.out_frequency = 2.0f;
        old.qam = 4;
        m_unit.channels.fill(old);
        m_unit.channel_data_rate.fill(9.0f);
        QVERIFY(check_devicetype(m_f->exchange(), m_unit));
        QVERIFY(!read_unit_data(m_f->exchange(), m_unit, *m_view));

        QCOMPARE(m_f->ui.texts(), QStringList{"Connection aborted!"});
        QCOMPARE(m_unit.channel(0).in_frequency, 10744);
        QCOMPARE(m_unit.channel(1).out_frequency, 122.0f);
        QCOMPARE(m_unit.channel(1).qam, 5);
        QCOMPARE(m_unit.channel_data_rate[1], 0.0f);
        QCOMPARE(m_unit.channel(2), old);
        QCOMPARE(m_unit.channel_data_rate[2], 9.0f);
        QCOMPARE(m_view->texts(2).in_frequency, QString());
        for (int i = 3; i < channelCount; ++i) {
            QCOMPARE(m_unit.channel(i), old);
            QCOMPARE(m_unit.channel_data_rate[i], 9.0f);
        }
        QCOMPARE(m_view->texts(1).out_frequency, QStringLiteral("122.00"));
        QVERIFY(!m_view->firstPageShown());
        QCOMPARE(m_f->sim.frames(0x60).size(), 3);
    }

    void failedIdentityRead()
    {
        QVERIFY(check_devicetype(m_f->exchange(), m_unit));
        sim::FaultPlan drop;
        drop.fault = sim::Fault::DropAnswer;
        drop.code = 0x01;
        m_f->sim.headend.setFault(drop);
        QVERIFY(!read_unit_data(m_f->exchange(), m_unit, *m_view));
        QCOMPARE(m_view->device().controller_version, QStringLiteral("1.05"));
        QCOMPARE(m_view->device().fpga_version, QString());
        QVERIFY(!m_view->serviceListButtonsHidden());
        QCOMPARE(m_f->sim.frames(0x60).size(), 0);
    }

private:
    bool readAll()
    {
        return check_devicetype(m_f->exchange(), m_unit) &&
               read_unit_data(m_f->exchange(), m_unit, *m_view);
    }

    std::optional<SessionFixture> m_f;
    UnitData m_unit;
    std::unique_ptr<ChannelTextsView> m_view;
};

QTEST_GUILESS_MAIN(TestChannelRead)
#include "tst_channelread.moc"
