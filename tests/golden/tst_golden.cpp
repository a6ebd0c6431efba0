#include "ctlrunner.h"
#include "datarows.h"
#include "files.h"
#include "sessionfixture.h"
#include "simprocess.h"

#include "sim/devicestate.h"
#include "sim/stateio.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

// Every operation keldor-ctl runs against a headend was recorded once as a traffic trace, kept
// beside this file as NAME.jsonl. Each is played back by headend-sim --replay while the same
// command runs again: a client that sends one byte otherwise, one request more or one less,
// fails here with the first request that differs. scripts/record-golden.sh records them anew
// (KELDOR_GOLDEN_RECORD=1) from headends in fixed, seeded states, each played back at once.

namespace {

enum class Link { Lan, Serial };

struct Operation {
    const char *name;      // the golden file is NAME.jsonl
    QStringList arguments; // {tmp} is a folder of the row's own, {golden} this folder
    int status = 0;        // keldor-ctl's exit status
    int channels = 12;
    Link link = Link::Lan;
};

// One row per operation; a new one is recorded with scripts/record-golden.sh NAME.
// clang-format off
const Operation operations[] = {
    {"info", {"info", "--json"}},
    {"read", {"read", "--json"}},
    {"read-8", {"read"}, 0, 8},
    {"read-16", {"read"}, 0, 16},
    {"get-text", {"get", "0", "0x79"}},
    {"get-float", {"get", "3", "0x51"}},
    {"get-service-name", {"get", "2", "0x0B", "3"}},
    {"set-float", {"set", "3", "0x03", "346.00"}},
    {"set-number", {"set", "2", "0x07", "6875"}},
    {"set-list-string", {"set", "1", "0xA0", "0102ABCD"}},
    {"output", {"output", "2", "--frequency", "346", "--qam", "QAM-128", "--symbolrate", "6875",
                "--spectrum", "Invers", "--opmode", "Single", "--attenuation", "-3dB",
                "--bandwidth", "7 MHz", "--off"}},
    {"search", {"tune", "3", "--input", "SAT 2", "--frequency", "11362", "--lo", "09750",
                "--symbolrate", "27500"}},
    {"services-read", {"services", "3"}},
    {"services-write", {"services", "3", "--pass", "3004,3001"}},
    {"save", {"save", "{tmp}/site"}},
    {"report", {"report", "{tmp}/site.rtf"}},
    {"diff", {"diff", "{golden}/site.kdr"}, 3},
    {"load", {"load", "{golden}/site.kdr", "--yes"}},
    {"load-keep-services", {"load", "{golden}/site.kdr", "--keep-services", "--yes"}},
    {"update-fw", {"update-fw", "{tmp}/KELDOR_FW_9.99.UC3", "--backup-dir", "{tmp}"}},
    {"update-fpga", {"update-fpga", "{tmp}/KELDOR_FPGA_9.99.RBF", "--backup-dir", "{tmp}"}},
    {"diag", {"diag", "--json"}},
    {"lan-settings-read", {"lan-settings"}},
    {"lan-settings-change", {"lan-settings", "--ip", "192.168.7.30", "--mask", "255.255.0.0",
                             "--gateway", "192.168.7.1", "--port", "5009"}},
    {"check", {"check"}, 2},
    {"inventory", {"inventory", "--json"}},
    {"serial-info", {"info"}, 0, 12, Link::Serial},
    {"serial-read", {"read"}, 0, 12, Link::Serial},
};
// clang-format on

QString goldenPath(const QString &name)
{
    return QStringLiteral(KELDOR_GOLDEN_DIR "/") + name;
}

// The recorded headend: every channel set apart from its neighbours, service selections in
// each of the three modes, an output off and a tuner unlocked, so that a read or a write that
// mixes up channels or fields sends other bytes.
bool writeSeededState(const QString &path, quint32 seed, int channels)
{
    sim::DeviceState state;
    state.identity.variant = *sim::variantForChannelCount(channels);
    QRandomGenerator random(seed);
    const auto pick = [&random](int count) {
        return quint8(random.bounded(count));
    };
    const quint8 modes[] = {0, 1, 128};
    for (int i = 0; i < sim::MaxChannels; ++i) {
        sim::Channel &channel = state.channels.at(size_t(i));
        channel.polarisation = pick(4);
        channel.inFrequency = qint16(10700 + random.bounded(2000));
        channel.inSymbolrate = qint16(20000 + 100 * pick(80));
        channel.outFrequency = 114.0f + 8.0f * float(pick(90));
        channel.bandwidth = pick(2);
        channel.qam = quint8(2 + pick(4));
        channel.outSymbolrate = qint16(6000 + 100 * pick(10));
        channel.spectrum = pick(2);
        channel.attenuation = pick(13);
        channel.opmode = pick(3);
        channel.serviceMode = modes[i % 3];
        for (const sim::InputService &service : channel.inputServices) {
            if (pick(2))
                channel.serviceIds.append(service.id);
        }
        channel.tuner.snrTenths = 60 + pick(80);
    }
    state.channels.at(4).outputOn = 0;
    state.channels.at(6).tuner = {0, 1, 0.0f, 0, 0};
    QString error;
    return sim::saveStateFile(path, state, &error);
}

// The images of the uploads: the controller's ends in a partial block, the FPGA's in a whole one.
bool writeImages(const QString &folder)
{
    const auto image = [](qsizetype size, int salt) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; ++i)
            bytes[i] = char((i * 7 + i / 1024 + salt) & 0xFF);
        return bytes;
    };
    return writeFile(folder + QStringLiteral("/KELDOR_FW_9.99.UC3"), image(2600, 1)) &&
           writeFile(folder + QStringLiteral("/KELDOR_FPGA_9.99.RBF"), image(2048, 2));
}

} // namespace

class TestGolden : public QObject {
    Q_OBJECT

    const bool m_recording = qEnvironmentVariableIsSet("KELDOR_GOLDEN_RECORD");
    QTemporaryDir m_data; // load writes its backup into the per-user data folder

    // Starts headend-sim with the given options on the operation's link; keldor-ctl's link
    // options, empty when it didn't start.
    static QStringList startSim(SimProcess &sim, const Operation &operation,
                                const QStringList &options)
    {
        if (operation.link == Link::Serial) {
            const QStringList pty = sim.start(options + QStringList{"--pty"}, "PTY");
            return pty.size() == 2 ? QStringList{"--serial", pty[1]} : QStringList{};
        }
        const QStringList tcp = sim.start(options + QStringList{"--tcp", "0"}, "LISTENING");
        return tcp.size() == 4 ? QStringList{"--lan", tcp[2] + ':' + tcp[3]} : QStringList{};
    }

    // The operation's command line with its files in folder, where the images lie ready.
    static QStringList commandLine(const Operation &operation, const QString &folder)
    {
        if (!writeImages(folder))
            return {};
        QStringList arguments;
        for (const QString &argument : operation.arguments)
            arguments.append(
                QString(argument).replace("{tmp}", folder).replace("{golden}", KELDOR_GOLDEN_DIR));
        return arguments;
    }

    // Runs the operation against a headend in the seeded state and keeps its trace.
    static void record(const Operation &operation, const QString &trace, quint32 seed = 1)
    {
        QTemporaryDir folder;
        const QString state = folder.filePath(QStringLiteral("state.json"));
        QVERIFY(writeSeededState(state, seed, operation.channels));
        SimProcess sim;
        const QStringList link =
            startSim(sim, operation, {"--config", state, "--store-delay", "50"});
        QVERIFY(!link.isEmpty());
        // The client's pauses before each request change no byte it sends; without them the
        // replays take seconds, not minutes.
        const CtlRun run = runCtl(link + QStringList{"--trace", trace, "--overwrite"} +
                                      commandLine(operation, folder.path()),
                                  withoutSendPause());
        QVERIFY2(run.status == operation.status, qPrintable(run.err));
    }

private slots:
    // The file that load and diff send is saved from a headend in another seeded state. It is
    // their input, so it stays as it is once made.
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        if (!m_recording || QFile::exists(goldenPath("site.kdr")))
            return;
        QTemporaryDir folder;
        const Operation site{"site", {"save", "{golden}/site", "--overwrite"}};
        record(site, folder.filePath("site.jsonl"), 2);
        QVERIFY(QFile::remove(goldenPath("site.rtf")));
    }

    void replay_data() { addRows(operations); }

    void replay()
    {
        const Operation &operation = fetchRow(operations);
        const QString trace = goldenPath(operation.name + QStringLiteral(".jsonl"));
        if (m_recording) {
            record(operation, trace);
            if (QTest::currentTestFailed())
                return;
        }
        QTemporaryDir folder;
        SimProcess sim;
        const QStringList link = startSim(sim, operation, {"--replay", trace});
        QVERIFY2(!link.isEmpty(), qPrintable(sim.errorOutput()));
        const CtlRun run = runCtl(link + commandLine(operation, folder.path()), withoutSendPause());
        QVERIFY2(sim.stop() == 0, qPrintable(sim.errorOutput()));
        QVERIFY2(run.status == operation.status, qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestGolden)
#include "tst_golden.moc"
