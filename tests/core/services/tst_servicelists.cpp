#include "link/session.h"
#include "model/unitdata.h"
#include "services/serviceeditor.h"

#include "sessionfixture.h"

#include <QTest>

using namespace keldor;

namespace {

constexpr int channel = 2; // shown as CHANNEL 3; sim services 3000..3004 "Service 3-1".."3-5"

QList<qint16> ids_of(const QList<Service> &services)
{
    QList<qint16> ids;
    for (const Service &s : services)
        ids.append(s.id);
    return ids;
}

} // namespace

class TestServiceLists : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_f.emplace();
        QVERIFY(m_f->start());
        m_unit = UnitData{};
    }

    void fillingFollowsTheSelection_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<quint16>>("listed");
        QTest::addColumn<QList<qint16>>("output");
        QTest::newRow("all pass") << 0 << QList<quint16>{}
                                  << QList<qint16>{3000, 3001, 3002, 3003, 3004};
        QTest::newRow("listed pass, unknown ID skipped")
            << 1 << QList<quint16>{3003, 9999, 3001} << QList<qint16>{3003, 3001};
        QTest::newRow("listed dropped")
            << 128 << QList<quint16>{3001, 3004} << QList<qint16>{3000, 3002, 3003};
        QTest::newRow("nothing dropped")
            << 128 << QList<quint16>{} << QList<qint16>{3000, 3001, 3002, 3003, 3004};
    }

    void fillingFollowsTheSelection()
    {
        QFETCH(int, mode);
        QFETCH(QList<quint16>, listed);
        QFETCH(QList<qint16>, output);
        sim::Channel &simChannel = m_f->sim.headend.state().channels[channel];
        simChannel.serviceMode = static_cast<quint8>(mode);
        simChannel.serviceIds = listed;
        simChannel.inputServices[1].name = QStringLiteral(" \x01Sky\x9e News");

        ServiceListEditor editor(m_f->exchange(), m_unit, channel);
        QVERIFY(editor.fill());
        QCOMPARE(editor.inputCount(), 5);
        QCOMPARE(ids_of(editor.input()), (QList<qint16>{3000, 3001, 3002, 3003, 3004}));
        QCOMPARE(editor.input().at(1).name, QStringLiteral("Sky News"));
        QCOMPARE(ids_of(editor.output()), output);
        QVERIFY(!editor.isModified());
        // Reads go to channel byte 0 after the channel has been selected with its own number.
        const auto select = m_f->sim.frames(servicecode::selectChannel);
        QCOMPARE(select.size(), 1);
        QCOMPARE(select.first().bytes.left(3), QByteArray::fromHex("020202"));
        for (const auto &frame : m_f->sim.frames(servicecode::inputName))
            QCOMPARE(frame.channel(), 0);
        QCOMPARE(m_f->sim.frames(servicecode::listedId).size(), mode == 0 ? 0 : listed.size());
    }

    void sendingChoosesTheShorterList_data()
    {
        QTest::addColumn<QList<int>>("chosenRows");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<qint16>>("listed");
        QTest::newRow("2 of 5 chosen") << QList<int>{4, 1} << 1 << QList<qint16>{3004, 3001};
        QTest::newRow("3 of 5 chosen") << QList<int>{0, 2, 3} << 128 << QList<qint16>{3001, 3004};
        QTest::newRow("all chosen") << QList<int>{4, 3, 2, 1, 0} << 0 << QList<qint16>{};
        QTest::newRow("none chosen") << QList<int>{} << 1 << QList<qint16>{};
    }

    void sendingChoosesTheShorterList()
    {
        QFETCH(QList<int>, chosenRows);
        QFETCH(int, mode);
        QFETCH(QList<qint16>, listed);
        ServiceListEditor editor(m_f->exchange(), m_unit, channel);
        QVERIFY(editor.fill());
        editor.removeAll();
        for (int row : chosenRows)
            editor.addInput(row);
        m_f->sim.headend.clearTranscript();

        QCOMPARE(editor.save(), ServiceListEditor::SaveResult::Sent);

        const auto start = m_f->sim.frames(servicecode::selectionStart);
        QCOMPARE(start.size(), 1);
        QCOMPARE(start.first().bytes.left(3),
                 QByteArray::fromHex("020E") + QByteArray(1, char(mode)));
        const auto ids = m_f->sim.frames(servicecode::selectionId);
        QCOMPARE(ids.size(), listed.size());
        for (qsizetype i = 0; i < ids.size(); ++i)
            QCOMPARE(qint16(quint8(ids[i].bytes[2]) << 8 | quint8(ids[i].bytes[3])), listed[i]);
        QCOMPARE(m_f->sim.frames(servicecode::selectionEnd).size(), 1);
        QCOMPARE(m_f->sim.frames(servicecode::selectionCommit).size(), 1);
        const auto string = m_f->sim.frames(servicecode::listString);
        QCOMPARE(string.size(), 1);
        QCOMPARE(string.first().bytes.mid(2, 2), QByteArray(1, char(mode)) + char(listed.size()));

        const sim::Channel &simChannel = m_f->sim.headend.state().channels[channel];
        QCOMPARE(simChannel.serviceMode, mode);
        QCOMPARE(simChannel.serviceIds.size(), listed.size());
        const ChannelRecord &r = m_unit.channels[channel];
        QCOMPARE(r.service_mode, mode);
        QCOMPARE(r.service_count, listed.size());
        for (qsizetype i = 0; i < listed.size(); ++i)
            QCOMPARE(r.service_ids[i], listed[i]);
    }

    void listString()
    {
        Selection s;
        QCOMPARE(s.listString(), QByteArray::fromHex("0000"));
        s.mode = servicemode::allButListed;
        s.ids = {0x0BB9, -2};
        QCOMPARE(s.listString(), QByteArray::fromHex("80020BB9FFFE"));
    }

    void editing()
    {
        ServiceListEditor editor(m_f->exchange(), m_unit, channel);
        QVERIFY(editor.fill());
        editor.removeAll();
        editor.addAll();
        QCOMPARE(editor.output(), editor.input());
        editor.removeOutput(0);
        editor.addInput(0);
        QCOMPARE(ids_of(editor.output()), (QList<qint16>{3001, 3002, 3003, 3004, 3000}));
        QVERIFY(m_f->ui.messages.isEmpty());

        editor.addInput(2);
        QCOMPARE(editor.output().size(), 5);
        QCOMPARE(m_f->ui.messages.size(), 1);
        QCOMPARE(m_f->ui.messages.first().icon, UserInterface::Icon::Information);
        QCOMPARE(m_f->ui.messages.first().title, QStringLiteral("Info"));
        QCOMPARE(
            m_f->ui.messages.first().text,
            QStringLiteral("Service Service 3-3 is already a member of the Outputservicelist!"));

        editor.removeAll();
        editor.addAll();
        QCOMPARE(editor.output(), editor.input());
        m_f->sim.headend.clearTranscript();
        QCOMPARE(editor.save(), ServiceListEditor::SaveResult::Sent);
        QCOMPARE(m_f->sim.frames(servicecode::selectionId).size(), 0);
        QCOMPARE(m_f->sim.frames(servicecode::listString).first().bytes.mid(2, 2),
                 QByteArray::fromHex("0000"));
    }

    void duplicateStillCountsAsAnEdit()
    {
        ServiceListEditor editor(m_f->exchange(), m_unit, channel);
        QVERIFY(editor.fill());
        editor.addInput(0);
        QCOMPARE(m_f->ui.messages.size(), 1);
        QVERIFY(editor.isModified());
    }

    void unchangedListsSendNothing()
    {
        m_f->sim.headend.state().channels[channel].inputServices.clear();
        ServiceListEditor editor(m_f->exchange(), m_unit, channel);
        QVERIFY(editor.fill());
        QCOMPARE(editor.inputCount(), 0);
        QVERIFY(editor.input().isEmpty());
        QVERIFY(editor.output().isEmpty());
        m_f->sim.headend.clearTranscript();
        QCOMPARE(editor.save(), ServiceListEditor::SaveResult::Unchanged);
        QCOMPARE(m_f->sim.count(sim::TranscriptEntry::Kind::Frame), 0);
    }

    void selectionBeyondTheRecordIsRefused()
    {
        QList<sim::InputService> many;
        for (int i = 0; i < 210; ++i)
            many.append({QStringLiteral("S%1").arg(i), quint16(5000 + i)});
        m_f->sim.headend.state().channels[channel].inputServices = many;
        ServiceListEditor editor(m_f->exchange(), m_unit, channel);
        QVERIFY(editor.fill());
        editor.removeAll();
        for (int row = 0; row < 101; ++row)
            editor.addInput(row);
        m_f->sim.headend.clearTranscript();
        QCOMPARE(editor.save(), ServiceListEditor::SaveResult::Refused);
        QCOMPARE(m_f->sim.count(sim::TranscriptEntry::Kind::Frame), 0);
        QCOMPARE(m_f->ui.texts(),
                 QStringList{"This selection lists 101 services, but a channel can keep at most "
                             "100.\rPlease pass or drop fewer services; nothing was sent."});
        QCOMPARE(m_unit.channels[channel].service_count, 0);

        editor.removeOutput(100); // 100 listed IDs fit
        QCOMPARE(editor.save(), ServiceListEditor::SaveResult::Sent);
        QCOMPARE(m_unit.channels[channel].service_count, 100);
        QCOMPARE(m_f->sim.headend.state().channels[channel].serviceIds.size(), 100);
    }

    void failedReadKeepsWhatWasRead()
    {
        sim::FaultPlan plan;
        plan.fault = sim::Fault::Disconnect;
        plan.code = servicecode::inputId;
        plan.count = 1;
        m_f->sim.headend.setFault(plan);
        // The first ID read fails, so not even the first service is complete.
        ServiceListEditor editor(m_f->exchange(), m_unit, channel);
        QVERIFY(!editor.fill());
        QCOMPARE(editor.inputCount(), 5);
        QVERIFY(editor.input().isEmpty());
        QVERIFY(editor.output().isEmpty());
        QCOMPARE(m_f->ui.texts(), QStringList{"Connection aborted!"});
    }

    void failedWriteEndsTheTransfer()
    {
        ServiceListEditor editor(m_f->exchange(), m_unit, channel);
        QVERIFY(editor.fill());
        editor.removeAll();
        editor.addInput(0);
        editor.addInput(1);
        sim::FaultPlan plan;
        plan.fault = sim::Fault::DropAnswer;
        plan.code = servicecode::selectionId;
        m_f->sim.headend.setFault(plan);
        m_f->sim.headend.clearTranscript();

        QCOMPARE(editor.save(), ServiceListEditor::SaveResult::Failed);
        QCOMPARE(m_f->sim.frames(servicecode::selectionEnd).size(), 0);
        QCOMPARE(m_f->sim.frames(servicecode::listString).size(), 0);
        QVERIFY(m_f->ui.texts().contains("An error occured while sending, data may be lost\rPlease "
                                         "try again."));
        QCOMPARE(m_unit.channels[channel].service_count, 0);
        QCOMPARE(m_unit.channels[channel].service_ids[0], 0);
    }

private:
    std::optional<SessionFixture> m_f;
    UnitData m_unit;
};

QTEST_GUILESS_MAIN(TestServiceLists)
#include "tst_servicelists.moc"
