#include "ctlcommand.h"
#include "ctlrunner.h"
#include "files.h"
#include "sessionfixture.h"
#include "simprocess.h"
#include "tinyproxy.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <optional>

using namespace keldor;
using Kind = sim::TranscriptEntry::Kind;

// keldor-ctl's commands run in this process against an in-process simulator with 8 channels;
// one test runs the program against headend-sim as a separate process over each kind of link.
class TestCtl : public QObject {
    Q_OBJECT

    std::optional<SimHeadend> m_sim;
    std::optional<QTemporaryDir> m_dir;

    CtlRun lan(const QStringList &arguments)
    {
        return runCtl(QStringList{"--lan", "127.0.0.1:" + m_sim->portText()} + arguments);
    }
    QJsonValue json(const QStringList &arguments, const QString &key)
    {
        return QJsonDocument::fromJson(lan(arguments).out.toUtf8())[key];
    }
    sim::DeviceState &state() { return m_sim->headend.state(); }
    QString path(const QString &name) const { return m_dir->filePath(name); }
private slots:
    void init()
    {
        m_dir.emplace();
        QVERIFY(QDir::setCurrent(m_dir->path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
        m_sim.emplace();
        state().identity.variant = 1;
        QVERIFY(m_sim->listen());
    }

    // Usage errors end with status 2 before anything reaches the headend, refusals by a rule or
    // the headend with 1 and nothing written; "LAN" stands for the simulator's address.
    void usage()
    {
        QVERIFY(writeFile(path("kept.rtf"), "{\\rtf1 kept}"));
        QVERIFY(writeFile(path("old.kdr"), QByteArray(240, '\0')));
        // clang-format off
        struct Row { QStringList args; int status; QString stderrHas; };
        const QList<Row> rows{
            {{"info"}, 2, "choose a link"},
            {{"--usb", "--lan", "h:1", "info"}, 2, "choose one"},
            {{"--usb", "frobnicate"}, 2, "unknown command"},
            {{"--lan", "localhost", "info"}, 2, "HOST:PORT"},
            {{"--serial", "--usb", "info"}, 2, "--serial"},
            {{"--usb", "get", "0", "0x1FF"}, 2, "CODE"},
            {{"--usb", "get", "16", "1"}, 2, "CHANNEL"},
            {{"--usb", "set", "0", "1"}, 2, "wrong number"},
            {{"--usb", "set", "0", "0xA0", "0g"}, 2, "hex bytes"},
            {{"--usb", "lan-settings", "--ip", "127.0.0.9", "--mask", "255.0.0.0", "--port", "0"}, 2, "--port"},
            {{"LAN", "output", "0"}, 2, "CHANNEL"},
            {{"LAN", "output", "3", "--qam", "QAM-17"}, 2, "--qam"},
            {{"LAN", "output", "3", "--on", "--off"}, 2, "--off"},
            {{"LAN", "tune", "3", "--lo"}, 2, "--lo"},
            {{"LAN", "services", "0"}, 2, "CHANNEL"},
            {{"LAN", "services", "17"}, 2, "CHANNEL"},
            {{"LAN", "services", "3", "--pass"}, 2, "--pass"},
            {{"LAN", "services", "3", "--pass", "7,7"}, 2, "distinct"},
            {{"LAN", "services", "3", "--pass", "65536"}, 2, "distinct"},
            {{"LAN", "load", "/nonexistent/x.kdr"}, 2, "/nonexistent/x.kdr"},
            {{"LAN", "load", path("old.kdr"), "--keep-services"}, 2, "--keep-services"},
            {{"LAN", "load", m_dir->path()}, 2, m_dir->path()},
            {{"LAN", "load", "x.kdr", "--keep"}, 2, "only --keep-services"},
            {{"LAN", "save", "x", "--force"}, 2, "only --overwrite"},
            {{"LAN", "save", path("kept")}, 2, path("kept.rtf")},
            {{"LAN", "report", path("kept.rtf")}, 2, path("kept.rtf")},
            {{"LAN", "report", path("kept.rtf"), "--force"}, 2, "only --overwrite"},
            {{"LAN", "services", "16"}, 1, "8 channels"},
            {{"LAN", "services", "3", "--pass", "0xBB8,3001"}, 0, ""},
            {{"LAN", "services", "3", "--pass", "3001,42"}, 1, "42"},
            {{"LAN", "output", "2", "--frequency", "900"}, 1, "Frequency"},
            {{"LAN", "output", "9", "--on"}, 1, "CHANNEL 9"},
            {{"LAN", "services", "3", "--pass", ""}, 0, ""},
            {{"LAN", "report", path("kept.rtf"), "--overwrite"}, 0, ""},
            {{"LAN", "load", path("old.kdr")}, 1, "no terminal"},
            {{"LAN", "load", path("old.kdr"), "--yes"}, 0, ""},
            {{"LAN", "load", path("kept.rtf")}, 2, "kept.rtf"},
            {{"plan"}, 2, "choose a link"},
            {{"diff", path("old.kdr"), path("old.kdr"), "--channels", "9"}, 2, "--channels"},
            {{"LAN", "diff", path("old.kdr"), "--channels", "8"}, 2, "--channels"},
            {{"--lan", "127.0.0.1:" + QString::number(freePort()), "info"}, 1, "Connection"},
            {{"--serial", "/dev/nonexistent", "info"}, 1, "No Device"},
        };
        // clang-format on
        for (const Row &row : rows) {
            m_sim->headend.clearTranscript();
            const CtlRun run = row.args.first() == "LAN" ? lan(row.args.mid(1)) : runCtl(row.args);
            const QByteArray what = (row.args.join(' ') + " -> " + run.err).toLocal8Bit();
            QVERIFY2(run.status == row.status && run.err.contains(row.stderrHas), what);
            // A refusal writes nothing; a usage error reaches nothing.
            const bool quiet = m_sim->frames(0x03).isEmpty() && m_sim->frames(0x0E).isEmpty();
            const bool untouched = run.out.isEmpty() && m_sim->headend.transcript().isEmpty();
            QVERIFY2((row.status == 0 || quiet) && (row.status != 2 || untouched), what);
        }
    }

    void readAndWrite()
    {
        QCOMPARE(json({"info", "--json"}, "fpga_version"), "1.06");
        QCOMPARE(lan({"set", "2", "0x03", "346.5"}).status, 0);
        QCOMPARE(lan({"get", "2", "81"}).out, "346.5\n");
        QCOMPARE(lan({"get", "0", "0x78"}).out, "1.05\n");
        const CtlRun overflow = lan({"set", "2", "0x07", "40000"});
        QVERIFY(overflow.status == 1 && overflow.err.contains("Overflow"));

        const QJsonArray channels = json({"read", "--json"}, "channels").toArray();
        QCOMPARE(channels.size(), 8);
        QCOMPARE(QJsonDocument(channels[2].toObject()).toJson(QJsonDocument::Compact),
                 R"({"attenuation":0,"bandwidth":1,"ber":"2.3e-4","channel":3,"data_rate":38,)"
                 R"("in_frequency":10784,"in_symbolrate":22000,"lo_frequency":9750,"lo_mode":0,)"
                 R"("opmode":0,"out_frequency":346.5,"out_symbolrate":6900,"output_on":1,)"
                 R"("polarisation":0,"qam":5,"reserved":")" +
                     QByteArray(52, '0') +
                     R"(","service_count":0,"service_ids":[],"service_mode":0,"snr":"11",)"
                     R"("spectrum":0,"status":"Tuner Locked"})");

        state().channels[1].tuner.status = 0;
        state().channels[2].tuner.status = 12;
        const QJsonValue diag = json({"diag", "--json"}, "channels");
        QVERIFY(diag[0]["tuner"] == "good" && diag[1]["tuner"] == "bad");
        QCOMPARE(QJsonDocument(diag[2].toObject()).toJson(QJsonDocument::Compact),
                 R"({"asi_188":"good","asi_sync":"good","channel":3,"clipping":"good",)"
                 R"("tuner":"unknown","tuner_state":12,"tuner_state_name":"I2C NOACKE"})");

        // No control characters from the headend reach the terminal (0x9D arrives as C1 OSC).
        const QList<std::pair<QString, QString>> rows{
            {"KEL\x1b[2J", "KEL\\u001b[2J"},
            {QString::fromUtf16(u"\u009d0;owned\u0007"), "\\u009d0;owned\\u0007"},
            {"Q\nA", "Q\nA"}};
        for (const auto &[deviceType, printed] : rows) {
            state().identity.deviceType = deviceType;
            const QString plain = lan({"info"}).out;
            QVERIFY2(plain.contains("device_type:            " + printed + '\n'),
                     qPrintable(plain));
            for (const QChar c : plain + lan({"info", "--json"}).out)
                QVERIFY(c.category() != QChar::Other_Control || c == '\n');
        }

        // A collision only warns, and the channel's settings go out in the device's order.
        m_sim->headend.clearTranscript();
        const CtlRun run = lan({"output", "2", "--frequency", "118", "--off"});
        QVERIFY(run.status == 0 && run.err.contains("Collision with lower CHANNEL 1"));
        QList<int> codes;
        for (const auto &entry : m_sim->headend.transcript())
            codes.append(entry.kind == Kind::Frame ? entry.code() : -1);
        QCOMPARE(codes.mid(codes.indexOf(0x02)),
                 (QList<int>{0x02, 0x03, 0x06, 0x07, 0x04, 0x05, 0x08, 0x73, 0x75, 0x74}));

        QVERIFY(lan({"services", "3"})
                    .out.startsWith("channel 3, mode 0 (every service passes)\n"
                                    "input services (5):\n   3000  Service 3-1\n"));
        QCOMPARE(lan({"services", "3", "--pass", "3004,3001"}).out,
                 "sent mode 1 (only the listed services pass) with 2 listed IDs\n");
        const QString listed = lan({"services", "3"}).out;
        QVERIFY2(listed.startsWith("channel 3, mode 1") &&
                     listed.contains(
                         "output services (2):\n   3004  Service 3-5\n   3001  Service 3-2\n"),
                 qPrintable(listed));
    }

    void saveThenLoad()
    {
        const QString name = path("rack");
        QCOMPARE(lan({"save", name}).status, 0);
        QCOMPARE(readFile(name + ".kdr").size(), 3968);
        QVERIFY(QFile::exists(name + ".rtf"));
        QCOMPARE(lan({"save", name, "--overwrite"}).status, 0);
        state().channels[5].outFrequency = 500.0f;
        m_sim->headend.clearTranscript();
        const CtlRun loaded = lan({"load", name + ".kdr", "--keep-services", "--yes"});
        QCOMPARE(loaded.out, "Channel 6\n  Output Frequency: 500.00 MHz -> 154.00 MHz\n"
                             "sent 8 channels with their service lists\n");
        QCOMPARE(state().channels[5].outFrequency, 114.0f + 8.0f * 5);
        QCOMPARE(m_sim->frames(0x8A).size(), 1);
    }

    // Files compare without a link; a load shows what it changes and writes only when told to.
    void diffPlanAndLoad()
    {
        QVERIFY(lan({"save", path("a")}).status == 0);
        state().channels[2].outFrequency = 119.0f;
        QVERIFY(lan({"save", path("b")}).status == 0);
        const QString changed = "Channel 3\n  Output Frequency: 130.00 MHz -> 119.00 MHz\n";
        const QString back = "Channel 3\n  Output Frequency: 119.00 MHz -> 130.00 MHz\n";
        // clang-format off
        struct { QStringList args; int status; QString out; } rows[]{
            {{"diff", path("a.kdr"), path("a.kdr")}, 0, "The files hold the same settings\n"},
            {{"diff", path("a.kdr"), path("b.kdr"), "--channels", "8"}, 3, changed},
            {{"plan", path("b.kdr"), "--channels", "8"}, 0, "Channel 1 and Channel 3: 115.00 MHz to 118.00 MHz\n  Channel 2 and Channel 3: 118.00 MHz to 123.00 MHz\n"},
            {{"LAN", "diff", path("b.kdr")}, 0, "The headend already holds these settings\n"},
            {{"LAN", "load", path("a.kdr")}, 1, back}};
        // clang-format on
        for (const auto &r : rows) {
            m_sim->headend.clearTranscript();
            const CtlRun run = r.args.first() == "LAN" ? lan(r.args.mid(1)) : runCtl(r.args);
            QVERIFY2(run.status == r.status && run.out.endsWith(r.out), qPrintable(run.out));
            QVERIFY(m_sim->frames(0x8A).isEmpty());
        }
        const QJsonDocument json = QJsonDocument::fromJson(
            runCtl({"diff", path("b.kdr"), path("a.kdr"), "--json"}).out.toUtf8());
        QCOMPARE(json["channels"][0]["fields"][0]["after"], "130.00 MHz");
        QCOMPARE(json["equal"], false);

        setTerminalQuestion([](const QString &) { return false; });
        const CtlRun declined = lan({"load", path("a.kdr")});
        setTerminalQuestion({});
        QVERIFY(declined.status == 1 && declined.err.contains("not confirmed"));
        QVERIFY(m_sim->frames(0x8A).isEmpty() && state().channels[2].outFrequency == 119.0f);

        QVERIFY(lan({"load", path("a.kdr"), "--yes"}).out.startsWith(back));
        QCOMPARE(state().channels[2].outFrequency, 130.0f);
        m_sim->headend.clearTranscript();
        QCOMPARE(lan({"load", path("a.kdr")}).out, "The headend already holds these settings\n");
        QVERIFY(m_sim->frames(0x8A).isEmpty());
    }

    // The configuration is saved before the first block, where the options say; a signal stops
    // the upload at the next block without asking, and the command fails.
    void update()
    {
        const QByteArray image(40 * 1024, 'u');
        QVERIFY(writeFile(path("KELDOR_FW_5.UC3"), image));
        const QList<std::tuple<QStringList, int, QString>> rows{
            {{}, 0, "backups"},
            {{"--backup-dir", path("data/named")}, 0, "named"},
            {{"--no-backup"}, SIGINT, ""},
            {{"--no-backup"}, SIGTERM, ""}};
        for (const auto &[options, stopSignal, backupDir] : rows) {
            // clang 14's lambdas can't capture a structured binding.
            const int signal = stopSignal;
            m_sim->headend.clearTranscript();
            QTimer operatorAtTheKeyboard;
            connect(&operatorAtTheKeyboard, &QTimer::timeout, [&] {
                if (m_sim->count(Kind::Raw) == 2 && operatorAtTheKeyboard.isActive()) {
                    operatorAtTheKeyboard.stop();
                    std::raise(signal);
                }
            });
            if (signal)
                operatorAtTheKeyboard.start(1);
            const CtlRun run = lan(QStringList{"update-fw", "KELDOR_FW_5.UC3"} + options);
            QStringList saved;
            for (QDirIterator it(m_dir->path(), {"backup-*.kdr"}, QDir::Files,
                                 QDirIterator::Subdirectories);
                 it.hasNext();)
                saved.append(it.next());
            QCOMPARE(saved.size(), backupDir.isEmpty() ? 0 : 1);
            QVERIFY(saved.isEmpty() ||
                    (QFileInfo(saved[0]).dir().dirName() == backupDir && QFile::remove(saved[0])));
            const auto &last = m_sim->headend.transcript().constLast();
            if (!signal) {
                QVERIFY(run.status == 0 &&
                        last.sha256 == QCryptographicHash::hash(image, QCryptographicHash::Sha256));
                continue;
            }
            QVERIFY2(run.status == 1 && run.err.startsWith("Update Cancelled: "),
                     qPrintable(run.err));
            // Stopped at the next block: the upload never completes.
            QVERIFY(!operatorAtTheKeyboard.isActive() && m_sim->count(Kind::Raw) <= 3 &&
                    last.kind == Kind::Raw);
        }
    }

    // keldor-ctl as a script runs it, against headend-sim as its own process (options and
    // configuration in, the state dumped), once over each kind of link.
    void processes()
    {
        QVERIFY(writeFile(path("config.json"), R"({"identity": {"device_type": "SIM-8"}})"));
        const QStringList options{"--variant", "8",        "--serial",
                                  "42",        "--config", path("config.json")};
        {
            SimProcess tcpSim, ptySim;
            const QStringList tcp =
                tcpSim.start(QStringList{"--tcp", "0", "--dump-state", path("dump.json")} + options,
                             "LISTENING");
            const QStringList pty = ptySim.start(QStringList{"--pty"} + options, "PTY");
            TinyProxy proxy;
            QString error;
            QVERIFY2(tcp.size() == 4 && pty.size() == 2 && proxy.start({tcp[3].toUShort()}, &error),
                     qPrintable(error));
            const QStringList lan{"--lan", tcp[2] + ':' + tcp[3]};
            const QString proxyAt = "127.0.0.1:" + QString::number(proxy.port());
            for (const QStringList &link :
                 {lan, lan + QStringList{"--proxy", proxyAt}, QStringList{"--serial", pty[1]}}) {
                const QString out = runCtlProcess(link + QStringList{"info", "--json"}).out;
                QVERIFY2(out.contains(R"("device_type": "SIM-8")") &&
                             out.contains(R"("device_variant": 1)") &&
                             out.contains(R"("serial_number": 42)"),
                         qPrintable(link.join(' ') + ": " + out));
            }
            QCOMPARE(runCtlProcess(lan + QStringList{"set", "3", "0x06", "3"}).status, 0);
        }
        QCOMPARE(QJsonDocument::fromJson(readFile(path("dump.json")))["channels"][3]["qam"], 3);
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
