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

const OutputSettings output{QStringLiteral("346.00"), 3, QStringLiteral("6875"), 1, 2, 7, false, 0};

InputSettings input(const char *frequency = "11699", const char *lo = "AUTO")
{
    return {2, frequency, lo, QStringLiteral("27500")};
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
        QVERIFY(set_channel(m_f->exchange(), m_unit, 4, output));
        // Channel, code, big-endian payload: frequency, QAM, symbolrate, spectrum, mode,
        // attenuation, output, bandwidth and the closing write.
        QCOMPARE(sentFrames().join(), QByteArray::fromHex("04020400000000000000"
                                                          "040343AD000000000000"
                                                          "04060300000000000000"
                                                          "04071ADB000000000000"
                                                          "04040100000000000000"
                                                          "04050200000000000000"
                                                          "04080700000000000000"
                                                          "04730000000000000000"
                                                          "04750000000000000000"
                                                          "04740000000000000000"));
        const ChannelRecord &r = m_unit.channel(4);
        QCOMPARE(r.out_frequency, 346.0f);
        QCOMPARE((QList<int>{r.qam, r.out_symbolrate, r.spectrum, r.opmode, r.attenuation,
                             r.output_on, r.bandwidth}),
                 (QList<int>{3, 6875, 1, 2, 7, 0, 0}));
        QVERIFY(m_f->ui.messages.isEmpty());
    }

    void setFailures()
    {
        // The first failed write ends the set; the closing 0x74 is not examined.
        drop(0x06);
        ChannelRecord old = m_unit.channel(1);
        old.qam = 5;
        m_unit.channel(1) = old;
        QVERIFY(!set_channel(m_f->exchange(), m_unit, 1, output));
        old.out_frequency = 346.0f;
        QCOMPARE(m_unit.channel(1), old);
        QCOMPARE(frameCodes(), (QList<int>{0x02, 0x03, 0x06}));
        QCOMPARE(m_f->ui.messages.last().title, QStringLiteral("Error 6"));

        init();
        drop(0x74);
        QVERIFY(set_channel(m_f->exchange(), m_unit, 0, output));
        QCOMPARE(m_unit.channel(0).bandwidth, 0);
        QCOMPARE(frameCodes().mid(8, 2), (QList<int>{0x75, 0x74}));

        init();
        OutputSettings noQam = output;
        noQam.qam_code = -1;
        QVERIFY(!set_channel(m_f->exchange(), m_unit, 0, noQam));
        QVERIFY(frameCodes().isEmpty());
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
            m_unit.identity.fpga_version = row.fpga;
            m_unit.identity.controller_version = row.controller;
            m_unit.polarisation_supported = row.polarisation;
            m_unit.channel(3).polarisation = 3;
            QVERIFY(
                search_channel(m_f->exchange(), m_unit, *m_view, 3, input(row.frequency, row.lo)));

            QList<int> codes = row.reset ? QList<int>{0x02, 0x0E, 0x10, 0x11, 0xA0} : QList<int>{};
            if (row.polarisation)
                codes.append(0x64);
            codes += {0x65, 0x88, 0x66, 0x67, 0x68, 0x74, 0x60, 0x69, 0x61, 0x62};
            QCOMPARE(frameCodes(), codes);
            if (row.reset)
                QCOMPARE(m_f->sim.frames(0xA0).first().bytes.mid(2, 2), QByteArray(2, '\0'));
            QCOMPARE(m_f->sim.frames(0x88).first().bytes.mid(2, 1),
                     QByteArray(1, char(row.loMode)));
            QCOMPARE(qFromBigEndian<qint16>(m_f->sim.frames(0x66).first().bytes.constData() + 2),
                     row.loFrequency);

            const ChannelRecord &r = m_unit.channel(3);
            QCOMPARE((QList<int>{r.polarisation, r.in_frequency, r.lo_mode, r.lo_frequency,
                                 r.in_symbolrate, r.service_count}),
                     (QList<int>{row.polarisation ? 2 : 0, QByteArray(row.frequency).toInt(),
                                 row.loMode, row.loFrequency, 27500, 0}));
            QCOMPARE(m_unit.channel_data_rate[3], 41.5f);
            QCOMPARE(m_view->texts(3).status + m_view->texts(3).ber, "Tuner Locked2.3e-4");
            QVERIFY(m_view->state(3).serviceListEnabled && m_view->pagesEnabled());
        }
    }

    void searchFailures()
    {
        drop(0x67);
        m_unit.channel(5).in_symbolrate = 1234;
        QVERIFY(!search_channel(m_f->exchange(), m_unit, *m_view, 5, input()));
        QCOMPARE(m_unit.channel(5).in_frequency, 11699);
        QCOMPARE(m_unit.channel(5).lo_frequency, 9750);
        QCOMPARE(m_unit.channel(5).in_symbolrate, 1234);
        QCOMPARE(frameCodes().last(), 0x67);
        QCOMPARE(m_view->texts(5).status, QStringLiteral("Searching..."));
        // The window stays usable after a failed search.
        QVERIFY(!m_view->state(5).serviceListEnabled && m_view->pagesEnabled());

        init();
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
    QByteArrayList sentFrames() const
    {
        QByteArrayList out;
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
