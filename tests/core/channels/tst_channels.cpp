#include "core/features/channels/setsearch.h"
#include "core/model/channeltextsview.h"
#include "core/model/devicetype.h"
#include "core/model/readunitdata.h"
#include "core/model/unitdata.h"
#include "core/protocol/session.h"

#include "sessionfixture.h"

#include <QLocale>
#include <QTest>
#include <QtEndian>

using namespace keldor;

namespace {

const OutputSettings output{QStringLiteral("346.00"), 3, QStringLiteral("6875"), 1, 2, 7, false, 0};

InputSettings input(const char *frequency = "11699", const char *lo = "AUTO")
{
    return {2, frequency, lo, QStringLiteral("27500")};
}

} // namespace

class TestChannels : public QObject {
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

    void fullRead()
    {
        // A headend with one input shows "SAT" and never reads the input selection.
        // clang-format off
        struct { int variant; const char *fpga; bool inputs; int channels; bool serviceListButtons; } rows[]{
            {1, "1.06", true, 8, true}, {2, "1.06", true, 10, true}, {0, "1.06", true, 12, true},
            {7, "1.06", true, 16, false}, {0, "1.05", true, 12, false}, {0, "1.06", false, 12, true}};
        // clang-format on
        for (const auto &row : rows) {
            init();
            auto &state = m_f->sim.headend.state();
            state.identity.variant = static_cast<quint8>(row.variant);
            state.identity.fpgaVersion = row.fpga;
            state.identity.polarisationSupported = row.inputs;
            for (int i = 0; i < sim::MaxChannels; ++i) {
                state.channels[i].outSymbolrate = static_cast<qint16>(6800 + i);
                state.channels[i].polarisation = row.inputs ? 0 : 3;
            }
            QVERIFY(readAll());

            QCOMPARE(m_unit.maxChannel, row.channels - 1);
            const DeviceTexts &d = m_view->device();
            QCOMPARE((QStringList{d.deviceType, d.serialNumber, d.hardwareVersion,
                                  d.controllerVersion, d.fpgaVersion}),
                     (QStringList{"KELDOR QAM", "123456", "1.00", "1.05", row.fpga}));
            QVERIFY(m_unit.polarisationSupported == row.inputs && m_view->firstPageShown());
            QCOMPARE(m_view->serviceListButtonsHidden(), !row.serviceListButtons);
            QCOMPARE(m_f->sim.frames(0x56).isEmpty(), !row.inputs);
            for (int i = 0; i < row.channels; ++i) {
                // clang-format off
                const ChannelRecord expected{0, qint16(10744 + 20 * i), 9750, 22000, 114.0f + 8 * i, 1, 5, qint16(6800 + i), 0, 0, 0, 1};
                QCOMPARE(line(i), QStringLiteral("Tuner Locked|2.3e-4|11|%4|%1|AUTO|22000|Normal|%2.00|8 MHz|QAM-256|%3|Normal|0dB|on")
                                      .arg(10744 + 20 * i).arg(114 + 8 * i).arg(6800 + i).arg(row.inputs ? "SAT 1" : "SAT"));
                // clang-format on
                QCOMPARE(m_unit.channel(i), expected);
                QCOMPARE(m_unit.channelDataRate[i], 38.0f);
                const auto &s = m_view->state(i);
                QVERIFY(m_view->statusBlack(i) && s.polarisationEnabled == row.inputs &&
                        s.serviceListEnabled && !s.setEnabled);
                QCOMPARE(s.qamFirstCode, 3); // 38 Mbit/s in 8 MHz needs QAM-64
            }
            for (int i = row.channels; i < channelCount; ++i)
                QCOMPARE(m_unit.channel(i), ChannelRecord{});
            QCOMPARE(m_f->sim.frames(0x60).size(), row.channels);
            QVERIFY(m_f->ui.messages.isEmpty());
        }
    }

    void channelStatesAndValues()
    {
        // An unlocked tuner and an unconvertible rate keep the whole QAM list; a locked
        // 38 Mbit/s tuner needs QAM-64 in 8 MHz and QAM-128 in 7 MHz.
        using Setup = void (*)(sim::Channel &);
        // clang-format off
        const struct { Setup setup; int firstCode; const char *line; } rows[]{
            {[](sim::Channel &c) { c.tuner.status = 0; c.tuner.noSignal = 1; }, 0, "No Signal|||SAT 1|10744|AUTO|22000|Normal|114.00|8 MHz|QAM-256|6900|Normal|0dB|on"},
            {[](sim::Channel &c) { c.tuner.status = 0; }, 0, "Tuner unlocked|||SAT 1|10764|AUTO|22000|Normal|122.00|8 MHz|QAM-256|6900|Normal|0dB|on"},
            {[](sim::Channel &c) { c.tuner.status = 12; }, 0, "I2C NOACKE|||SAT 1|10784|AUTO|22000|Normal|130.00|8 MHz|QAM-256|6900|Normal|0dB|on"},
            {[](sim::Channel &c) { c.tuner.status = 13; }, 0, "Status Unknown|||SAT 1|10804|AUTO|22000|Normal|138.00|8 MHz|QAM-256|6900|Normal|0dB|on"},
            {[](sim::Channel &c) { c.tuner.status = 2; }, 0, "Status Unknown|||SAT 1|10824|AUTO|22000|Normal|146.00|8 MHz|QAM-256|6900|Normal|0dB|on"},
            {[](sim::Channel &c) { c.tuner.dataRate = 70.0f; }, 0, "Tuner Locked|2.3e-4|11|SAT 1|10844|AUTO|22000|Normal|154.00|8 MHz|QAM-256|6900|Normal|0dB|on"},
            {[](sim::Channel &c) { c.loMode = 1; c.loFrequency = 10000; }, 3, "Tuner Locked|2.3e-4|11|SAT 1|10864|10000|22000|Normal|162.00|8 MHz|QAM-256|6900|Normal|0dB|on"},
            {[](sim::Channel &c) { c.loMode = 1; c.loFrequency = 10600; }, 3, "Tuner Locked|2.3e-4|11|SAT 1|10884|10600|22000|Normal|170.00|8 MHz|QAM-256|6900|Normal|0dB|on"},
            {[](sim::Channel &c) { c.qam = 1; }, 3, "Tuner Locked|2.3e-4|11|SAT 1|10904|AUTO|22000|Normal|178.00|8 MHz|QAM-64|6900|Normal|0dB|on"},
            {[](sim::Channel &c) { c.bandwidth = 0; c.attenuation = 12; c.spectrum = 1; c.opmode = 2; c.outputOn = 0; c.polarisation = 3; }, 4, "Tuner Locked|2.3e-4|11|SAT 4|10924|AUTO|22000|Zero|186.00|7 MHz|QAM-256|6900|Invers|-12dB|off"},
            {[](sim::Channel &c) { c.outFrequency = 858.125f; c.inSymbolrate = 0; }, 3, "Tuner Locked|2.3e-4|11|SAT 1|10944|AUTO||Normal|858.13|8 MHz|QAM-256|6900|Normal|0dB|on"},
            {[](sim::Channel &c) { c.tuner.bitErrors = 0; c.tuner.snrTenths = 0; }, 3, "Tuner Locked|0e-7|0|SAT 1|10964|AUTO|22000|Normal|202.00|8 MHz|QAM-256|6900|Normal|0dB|on"},
            // A bandwidth no list has, as a headend may hold it, sets no minimum and no alarm.
            {[](sim::Channel &c) { c.bandwidth = 2; c.tuner.dataRate = 70.0f; }, 0, "Tuner Locked|2.3e-4|11|SAT 1|10984|AUTO|22000|Normal|210.00||QAM-256|6900|Normal|0dB|on"}};
        // clang-format on
        m_f.emplace();
        QVERIFY(m_f->start(16));
        for (size_t i = 0; i < std::size(rows); ++i)
            rows[i].setup(m_f->sim.headend.state().channels[i]);
        QVERIFY(readAll());
        for (int i = 0; i < int(std::size(rows)); ++i) {
            QCOMPARE(line(i), QString(rows[i].line));
            QCOMPARE(m_view->state(i).qamFirstCode, rows[i].firstCode);
        }
        QCOMPARE(m_unit.channelDataRate[0], 0.0f);
        QCOMPARE(m_f->ui.messages.first().icon, UserInterface::Icon::Critical);
        QCOMPARE(m_f->ui.texts(),
                 QStringList{"This transponder cannot be converted due to high datarate!"});
        QCOMPARE(m_view->state(6).loEntries, lists::lo() + QStringList{"10000"});
        QCOMPARE(m_view->state(7).loEntries, lists::lo());
    }

    void failedReadsKeepTheRest()
    {
        drop(0x01);
        QVERIFY(!readAll());
        QCOMPARE(m_unit.identity.controllerVersion + m_unit.identity.fpgaVersion, "1.05");
        QVERIFY(!m_unit.identity.fromHeadend && m_view->device().controllerVersion.isEmpty());
        QVERIFY(!m_view->serviceListButtonsHidden());
        QCOMPARE(m_f->sim.frames(0x60).size(), 0);

        init();
        m_f->sim.headend.state().channels[0].tuner.status = 0;
        m_f->sim.headend.state().channels[1].tuner.status = 0;
        drop(0x69); // first asked for channel 2, the first locked tuner
        ChannelRecord old;
        old.qam = 4;
        m_unit.channels.fill(old);
        m_unit.channelDataRate.fill(9.0f);
        QVERIFY(!readAll());
        QCOMPARE(m_unit.channel(0).inFrequency, 10744);
        QVERIFY(m_unit.channel(1).qam == 5 && m_unit.channelDataRate[1] == 0.0f);
        for (int i = 2; i < channelCount; ++i)
            QVERIFY(m_unit.channel(i) == old && m_unit.channelDataRate[i] == 9.0f);
        QCOMPARE(m_view->texts(1).outFrequency + m_view->texts(2).inFrequency, "122.00");
        QVERIFY(!m_view->firstPageShown());
        QCOMPARE(m_f->sim.frames(0x60).size(), 3);
    }

    void setWritesTheOutputInOrder()
    {
        // The frames themselves are pinned by the golden replay of keldor-ctl output.
        QVERIFY(setChannel(m_f->exchange(), m_unit, 4, output));
        const ChannelRecord &r = m_unit.channel(4);
        QCOMPARE(r.outFrequency, 346.0f);
        QCOMPARE((QList<int>{r.qam, r.outSymbolrate, r.spectrum, r.opmode, r.attenuation,
                             r.outputOn, r.bandwidth}),
                 (QList<int>{3, 6875, 1, 2, 7, 0, 0}));
        QVERIFY(m_f->ui.messages.isEmpty());

        init();
        // The first failed write ends the set; the closing 0x74 is not examined.
        drop(0x06);
        ChannelRecord old = m_unit.channel(1);
        old.qam = 5;
        m_unit.channel(1) = old;
        QVERIFY(!setChannel(m_f->exchange(), m_unit, 1, output));
        old.outFrequency = 346.0f;
        QCOMPARE(m_unit.channel(1), old);
        QCOMPARE(m_f->sim.frameCodes(), (QList<int>{0x02, 0x03, 0x06}));
        QCOMPARE(m_f->ui.messages.last().title, QStringLiteral("Error 6"));

        init();
        drop(0x74);
        QVERIFY(setChannel(m_f->exchange(), m_unit, 0, output));
        QCOMPARE(m_unit.channel(0).bandwidth, 0);
        QCOMPARE(m_f->sim.frameCodes().mid(8, 2), (QList<int>{0x75, 0x74}));

        init();
        OutputSettings noQam = output;
        noQam.qamCode = -1;
        QVERIFY(!setChannel(m_f->exchange(), m_unit, 0, noQam));
        QVERIFY(m_f->sim.frameCodes().isEmpty());
        QCOMPARE(m_f->ui.texts(), QStringList{"Please select a QAM order!"});
        QCOMPARE(m_unit.channel(0), ChannelRecord{});
    }

    void search()
    {
        // The service-list reset needs FPGA 1.06 and controller 1.04; the input selection
        // needs a headend with several inputs.
        // clang-format off
        struct { const char *frequency, *lo; int loMode, loFrequency; const char *fpga, *controller; bool polarisation, reset; } rows[]{
            {"11699", "AUTO", 0, 9750, "1.06", "1.05", true, true}, {"11700", "auto", 0, 10600, "1.06", "1.05", true, true},
            {"11000", "10000", 1, 10000, "1.06", "1.05", true, true}, {"11000", "09750", 1, 9750, "1.06", "1.05", true, true},
            {"11699", "AUTO", 0, 9750, "1.05", "1.05", true, false}, {"11699", "AUTO", 0, 9750, "1.06", "1.03", false, false}};
        // clang-format on
        for (const auto &row : rows) {
            init();
            m_f->sim.headend.state().channels[3].tuner.dataRate = 41.5f;
            m_unit.identity.fpgaVersion = row.fpga;
            m_unit.identity.controllerVersion = row.controller;
            m_unit.polarisationSupported = row.polarisation;
            m_unit.channel(3).polarisation = 3;
            QVERIFY(
                searchChannel(m_f->exchange(), m_unit, *m_view, 3, input(row.frequency, row.lo)));

            QList<int> codes = row.reset ? QList<int>{0x02, 0x0E, 0x10, 0x11, 0xA0} : QList<int>{};
            if (row.polarisation)
                codes.append(0x64);
            codes += {0x65, 0x88, 0x66, 0x67, 0x68, 0x74, 0x60, 0x69, 0x61, 0x62};
            QCOMPARE(m_f->sim.frameCodes(), codes);
            if (row.reset)
                QCOMPARE(m_f->sim.frames(0xA0).first().bytes.mid(2, 2), QByteArray(2, '\0'));
            QCOMPARE(m_f->sim.frames(0x88).first().bytes.mid(2, 1),
                     QByteArray(1, char(row.loMode)));
            QCOMPARE(qFromBigEndian<qint16>(m_f->sim.frames(0x66).first().bytes.constData() + 2),
                     row.loFrequency);

            const ChannelRecord &r = m_unit.channel(3);
            QCOMPARE((QList<int>{r.polarisation, r.inFrequency, r.loMode, r.loFrequency,
                                 r.inSymbolrate, r.serviceCount}),
                     (QList<int>{row.polarisation ? 2 : 0, QByteArray(row.frequency).toInt(),
                                 row.loMode, row.loFrequency, 27500, 0}));
            QCOMPARE(m_unit.channelDataRate[3], 41.5f);
            QCOMPARE(m_view->texts(3).status + m_view->texts(3).ber, "Tuner Locked2.3e-4");
            QVERIFY(m_view->pagesEnabled());
        }

        init();
        drop(0x67);
        m_unit.channel(5).inSymbolrate = 1234;
        QVERIFY(!searchChannel(m_f->exchange(), m_unit, *m_view, 5, input()));
        QCOMPARE(m_unit.channel(5).inFrequency, 11699);
        QCOMPARE(m_unit.channel(5).loFrequency, 9750);
        QCOMPARE(m_unit.channel(5).inSymbolrate, 1234);
        QCOMPARE(m_f->sim.frameCodes().last(), 0x67);
        QCOMPARE(m_view->texts(5).status, QStringLiteral("Searching..."));
        // The window stays usable after a failed search.
        QVERIFY(!m_view->state(5).serviceListEnabled && m_view->pagesEnabled());

        init();
        m_f->sim.headend.state().channels[0].tuner.status = 0;
        QVERIFY(searchChannel(m_f->exchange(), m_unit, *m_view, 0, input()));
        QCOMPARE(m_view->texts(0).status, QStringLiteral("Tuner unlocked"));
        QCOMPARE(m_unit.channelDataRate[0], 0.0f);
    }

private:
    // Read as the channel window reads: each step shown as it arrives.
    bool readAll()
    {
        const auto show = [this](ReadStep step, int channel) {
            if (step == ReadStep::Identity)
                showIdentity(m_unit, *m_view);
            else
                showChannel(m_unit, channel, *m_view, &m_f->ui);
        };
        const bool read =
            checkDeviceType(m_f->exchange(), m_unit) && readUnitData(m_f->exchange(), m_unit, show);
        if (read)
            m_view->showFirstPage();
        return read;
    }
    void drop(int code) { m_f->sim.headend.setFault({sim::Fault::DropAnswer, code}); }
    QString line(int i) const
    {
        const ChannelTexts &t = m_view->texts(i);
        // clang-format off
        return QStringList{t.status, t.ber, t.snr, t.polarisation, t.inFrequency, t.lo, t.inSymbolrate, t.opmode,
                           t.outFrequency, t.bandwidth, t.qam, t.outSymbolrate, t.spectrum, t.attenuation,
                           t.outputOn ? "on" : "off"}.join('|');
        // clang-format on
    }

    std::optional<SessionFixture> m_f;
    UnitData m_unit;
    std::unique_ptr<ChannelTextsView> m_view;
};

QTEST_GUILESS_MAIN(TestChannels)
#include "tst_channels.moc"
