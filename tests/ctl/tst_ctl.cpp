#include "ctlrunner.h"
#include "files.h"
#include "sessionfixture.h"

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

// keldor-ctl's commands run in this process against an in-process simulator with 8 channels.
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
        struct Row {
            QStringList args;
            int status;
            QString stderrHas;
        };
        // clang-format off
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
            // Passed by the checks: what happens next is the headend's business.
            {{"LAN", "services", "16"}, 1, "8 channels"},
            {{"LAN", "services", "3", "--pass", "0xBB8,3001"}, 0, ""},
            {{"LAN", "services", "3", "--pass", "3001,42"}, 1, "42"},
            {{"LAN", "output", "2", "--frequency", "900"}, 1, "Frequency"},
            {{"LAN", "output", "2", "--symbolrate", "7201"}, 1, "Symbolrate"},
            {{"LAN", "output", "9", "--on"}, 1, "CHANNEL 9"},
            {{"LAN", "services", "3", "--pass", ""}, 0, ""},
            {{"LAN", "report", path("kept.rtf"), "--overwrite"}, 0, ""},
            {{"LAN", "load", path("old.kdr")}, 0, ""},
            {{"--lan", "127.0.0.1:" + QString::number(freePort()), "info"}, 1, "Connection"},
            {{"--serial", "/dev/nonexistent", "info"}, 1, "No Device"},
        };
        // clang-format on
        for (const Row &row : rows) {
            m_sim->headend.clearTranscript();
            const CtlRun run = row.args.first() == "LAN" ? lan(row.args.mid(1)) : runCtl(row.args);
            const QByteArray what = (row.args.join(' ') + " -> " + run.err).toLocal8Bit();
            QVERIFY2(run.status == row.status && run.err.contains(row.stderrHas), what);
            const bool quiet = m_sim->frames(0x03).isEmpty() && m_sim->frames(0x0E).isEmpty();
            QVERIFY2(row.status == 0 || quiet, what); // a refusal writes nothing
            const bool untouched = run.out.isEmpty() && m_sim->headend.transcript().isEmpty();
            QVERIFY2(row.status != 2 || untouched, what);
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
        const QJsonObject expected{{"channel", 3},           {"in_frequency", 10784},
                                   {"out_frequency", 346.5}, {"status", "Tuner Locked"},
                                   {"ber", "2.3e-4"},        {"snr", "11"}};
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(channels[2][it.key()], it.value());

        state().channels[1].tuner.status = 0;
        state().channels[2].tuner.status = 12;
        const QJsonValue diag = json({"diag", "--json"}, "channels");
        QCOMPARE(diag[0]["tuner"], "good");
        QCOMPARE(diag[1]["tuner"], "bad");
        QCOMPARE(QJsonDocument(diag[2].toObject()).toJson(QJsonDocument::Compact),
                 R"({"asi_188":"good","asi_sync":"good","channel":3,"clipping":"good",)"
                 R"("tuner":"unknown","tuner_state":12,"tuner_state_name":"I2C NOACKE"})");

        // No control characters from the headend reach the terminal (0x9D arrives as C1 OSC).
        const QList<std::pair<QString, QString>> rows{
            {"KEL\x1b[2J", "KEL\\u001b[2J"},
            {QString::fromUtf16(u"\u009d0;owned\u0007"), "\\u009d0;owned\\u0007"},
            {"QAM\nnext", "QAM\nnext"}};
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
    }

    void services()
    {
        QVERIFY(lan({"services", "3"})
                    .out.startsWith("channel 3, mode 0 (every service passes)\n"
                                    "input services (5):\n   3000  Service 3-1\n"));
        QCOMPARE(lan({"services", "3", "--pass", "3004,3001"}).out,
                 "sent mode 1 (only the listed services pass) with 2 listed IDs\n");
        QCOMPARE(state().channels[2].serviceMode, 1);
        QCOMPARE(state().channels[2].serviceIds, (QList<quint16>{3004, 3001}));
        QVERIFY(lan({"services", "3"})
                    .out.contains(
                        "output services (2):\n   3004  Service 3-5\n   3001  Service 3-2\n"));
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
        const CtlRun loaded = lan({"load", name + ".kdr", "--keep-services"});
        QCOMPARE(loaded.out, "sent 8 channels with their service lists\n");
        QCOMPARE(state().channels[5].outFrequency, 114.0f + 8.0f * 5);
        QCOMPARE(m_sim->frames(0x8A).size(), 1);
    }

    // The configuration is saved before the first block, where the options say.
    void updateBackup()
    {
        const QByteArray image(2500, 'u');
        QVERIFY(writeFile(path("KELDOR_FW_5.UC3"), image));
        const QString named = path("data/named");
        for (const QStringList &options :
             {QStringList{}, QStringList{"--backup-dir", named}, QStringList{"--no-backup"}}) {
            m_sim->headend.clearTranscript();
            QCOMPARE(lan(QStringList{"update-fw", "KELDOR_FW_5.UC3"} + options).status, 0);
            QCOMPARE(m_sim->headend.transcript().constLast().sha256,
                     QCryptographicHash::hash(image, QCryptographicHash::Sha256));
            QStringList saved;
            for (QDirIterator it(m_dir->path(), {"backup-*.kdr"}, QDir::Files,
                                 QDirIterator::Subdirectories);
                 it.hasNext();)
                saved.append(it.next());
            QCOMPARE(saved.size(), options.size() == 1 ? 0 : 1);
            if (!saved.isEmpty()) {
                QCOMPARE(QFileInfo(saved[0]).dir().dirName(),
                         options.isEmpty() ? "backups" : "named");
                QVERIFY(QFile::remove(saved[0]));
            }
        }
    }

    // A signal stops the upload at the next block without asking, and the command fails.
    void updateStoppedBySignal()
    {
        QVERIFY(writeFile(path("KELDOR_FW_5.UC3"), QByteArray(40 * 1024, 'u')));
        for (const int signal : {SIGINT, SIGTERM}) {
            m_sim->headend.clearTranscript();
            QTimer operatorAtTheKeyboard;
            connect(&operatorAtTheKeyboard, &QTimer::timeout, [&] {
                if (m_sim->count(Kind::Raw) == 2 && operatorAtTheKeyboard.isActive()) {
                    operatorAtTheKeyboard.stop();
                    std::raise(signal);
                }
            });
            operatorAtTheKeyboard.start(1);
            const CtlRun run = lan({"update-fw", "KELDOR_FW_5.UC3", "--no-backup"});
            QVERIFY(run.status == 1 && !operatorAtTheKeyboard.isActive());
            QVERIFY2(run.err.startsWith("Update Cancelled: "), qPrintable(run.err));
            QCOMPARE(m_sim->count(Kind::UploadDone), 0);
            QVERIFY(m_sim->count(Kind::Raw) <= 3);
            QCOMPARE(m_sim->headend.transcript().constLast().kind, Kind::Raw);
        }
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
