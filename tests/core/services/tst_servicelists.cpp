#include "core/features/services/serviceeditor.h"
#include "core/model/unitdata.h"
#include "core/protocol/parametertable.h"
#include "core/protocol/session.h"

#include "sessionfixture.h"

#include <QTest>

using namespace keldor;

namespace {

constexpr int channel = 2; // shown as CHANNEL 3; sim services 3000..3004 "Service 3-1".."3-5"
const QList<qint16> allFive{3000, 3001, 3002, 3003, 3004};

QList<qint16> idsOf(const QList<Service> &services)
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
        m_editor.reset();
        m_f.emplace();
        QVERIFY(m_f->start());
        m_unit = UnitData{};
    }

    void fillingFollowsTheSelection()
    {
        // clang-format off
        struct { int mode; QList<quint16> listed; QList<qint16> output; } rows[]{
            {0, {}, allFive}, {0, {3003}, allFive}, {1, {3003, 9999, 3001}, {3003, 3001}},
            {128, {3001, 3004}, {3000, 3002, 3003}}, {128, {}, allFive}};
        // clang-format on
        for (const auto &row : rows) {
            init();
            sim::Channel &simChannel = m_f->sim.headend.state().channels[channel];
            simChannel.serviceMode = static_cast<quint8>(row.mode);
            simChannel.serviceIds = row.listed;
            simChannel.inputServices[1].name = QStringLiteral(" \x01Sky\x9e News");
            ServiceListEditor &editor = fill();
            QCOMPARE(editor.inputCount(), 5);
            QCOMPARE(idsOf(editor.input()), allFive);
            QCOMPARE(editor.input().at(1).name, QStringLiteral("Sky News"));
            QCOMPARE(idsOf(editor.output()), row.output);
            QVERIFY(!editor.isModified());
            // Reads go to channel byte 0 after the channel has been selected with its own number.
            QCOMPARE(m_f->sim.frames(param::selectChannel).first().bytes.left(3), "\x02\x02\x02");
            for (const auto &frame : m_f->sim.frames(param::inputName))
                QCOMPARE(frame.channel(), 0);
            QCOMPARE(m_f->sim.frames(param::listedId).size(),
                     row.mode == 0 ? 0 : row.listed.size());
        }
    }

    void sendingChoosesTheShorterList()
    {
        // clang-format off
        struct { QList<int> chosenRows; int mode; QList<quint16> listed; } rows[]{
            {{4, 1}, 1, {3004, 3001}}, {{0, 2, 3}, 128, {3001, 3004}}, {{4, 3, 2, 1, 0}, 0, {}},
            {{}, 1, {}}};
        // clang-format on
        for (const auto &row : rows) {
            init();
            ServiceListEditor &editor = fill();
            editor.removeAll();
            for (int input : row.chosenRows)
                editor.addInput(input);
            m_f->sim.headend.clearTranscript();
            QCOMPARE(editor.save(), ServiceListEditor::SaveResult::Sent);

            const QByteArray mode(1, char(row.mode));
            QCOMPARE(m_f->sim.frames(param::selectionStart).first().bytes.left(3),
                     QByteArray::fromHex("020E") + mode);
            QCOMPARE(m_f->sim.frames(param::selectionId).size(), row.listed.size());
            QVERIFY(m_f->sim.frames(param::selectionEnd).size() == 1 &&
                    m_f->sim.frames(param::selectionCommit).size() == 1);
            const auto string = m_f->sim.frames(param::listString);
            QCOMPARE(string.size(), 1);
            QCOMPARE(string.first().bytes.mid(2, 2), mode + char(row.listed.size()));
            const sim::Channel &simChannel = m_f->sim.headend.state().channels[channel];
            QCOMPARE(simChannel.serviceMode, row.mode);
            QCOMPARE(simChannel.serviceIds, row.listed);
            const ChannelRecord &r = m_unit.channels[channel];
            QCOMPARE(r.serviceMode, row.mode);
            QCOMPARE(QList<quint16>(r.serviceIds.begin(), r.serviceIds.begin() + r.serviceCount),
                     row.listed);
        }
    }

    void listString()
    {
        Selection s;
        QCOMPARE(s.listString(), QByteArray::fromHex("0000"));
        s.mode = servicemode::allButListed;
        s.ids = {0x0BB9, -2};
        QCOMPARE(s.listString(), QByteArray::fromHex("80020BB9FFFE"));
        // Exactly half the services wanted: they are listed; one more, the others are.
        const QList<Service> four{{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}};
        QCOMPARE(chooseSelection(four, four.mid(0, 2)).mode, servicemode::listed);
        QCOMPARE(chooseSelection(four, four.mid(0, 3)).ids, QList<qint16>{4});
    }

    void editing()
    {
        ServiceListEditor &editor = fill();
        editor.removeAll();
        editor.addAll();
        editor.removeOutput(0);
        editor.addInput(0);
        // A click with no row, or past the last one, changes nothing.
        for (const int row : {-1, 5})
            editor.removeOutput(row);
        for (const int row : {-1, 5})
            editor.addInput(row);
        QCOMPARE(idsOf(editor.output()), (QList<qint16>{3001, 3002, 3003, 3004, 3000}));
        QVERIFY(m_f->ui.messages.isEmpty());
        // A duplicate is refused but still counts as an edit.
        init();
        fill().addInput(2);
        QCOMPARE(m_editor->output().size(), 5);
        QVERIFY(m_editor->isModified());
        QVERIFY(m_f->ui.messages.first().icon == UserInterface::Icon::Information &&
                m_f->ui.messages.first().title == "Info");
        QCOMPARE(m_f->ui.texts(),
                 QStringList{"Service Service 3-3 is already a member of the Outputservicelist!"});
    }

    // Offline the record's IDs are the output, named by their numbers, up to its last one.
    void outputFromTheRecord()
    {
        ChannelRecord &record = m_unit.channels[channel];
        record.serviceIds.fill(7);
        record.serviceIds.front() = -2;
        record.serviceIds.back() = 99;
        for (const int count : {2, 100, 255}) {
            record.serviceCount = quint8(count);
            ServiceListEditor editor(m_f->exchange(), m_unit, channel);
            editor.fillFromRecord();
            const QList<Service> &out = editor.output();
            QVERIFY(out.size() == std::min(count, 100) && out.first().name == "65534" &&
                    out.last().id == (count == 2 ? 7 : 99) && editor.input().isEmpty());
        }
    }

    // Without input services the editor needs no listed ID; a configuration read keeps them.
    void unchangedListsSendNothing()
    {
        sim::Channel &simChannel = m_f->sim.headend.state().channels[channel];
        simChannel.inputServices.clear();
        simChannel.serviceMode = servicemode::listed;
        simChannel.serviceIds = {3003};
        ServiceListEditor &editor = fill();
        QVERIFY(editor.inputCount() == 0 && editor.input().isEmpty() && editor.output().isEmpty());
        QCOMPARE(m_f->sim.frames(param::listedId).size(), 0);
        ChannelServices all;
        QVERIFY(readServiceLists(m_f->exchange(), channel, all, ListedIds::All));
        QCOMPARE(all.listedIds, QList<qint16>{3003});
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
        ServiceListEditor &editor = fill();
        editor.removeAll();
        for (int row = 0; row < 101; ++row)
            editor.addInput(row);
        m_f->sim.headend.clearTranscript();
        QCOMPARE(editor.save(), ServiceListEditor::SaveResult::Refused);
        QCOMPARE(m_f->sim.count(sim::TranscriptEntry::Kind::Frame), 0);
        QCOMPARE(m_f->ui.texts(),
                 QStringList{"This selection lists 101 services, but a channel can keep at most "
                             "100.\rPlease pass or drop fewer services; nothing was sent."});
        QCOMPARE(m_unit.channels[channel].serviceCount, 0);

        editor.removeOutput(100); // 100 listed IDs fit
        QCOMPARE(editor.save(), ServiceListEditor::SaveResult::Sent);
        QCOMPARE(m_unit.channels[channel].serviceCount, 100);
        QCOMPARE(m_f->sim.headend.state().channels[channel].serviceIds.size(), 100);
    }

private:
    ServiceListEditor &fill()
    {
        m_editor.emplace(m_f->exchange(), m_unit, channel);
        if (!m_editor->fill())
            QTest::qFail("the list did not fill", __FILE__, __LINE__);
        return *m_editor;
    }

    std::optional<SessionFixture> m_f;
    UnitData m_unit;
    std::optional<ServiceListEditor> m_editor;
};

QTEST_GUILESS_MAIN(TestServiceLists)
#include "tst_servicelists.moc"
