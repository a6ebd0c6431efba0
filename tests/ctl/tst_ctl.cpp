#include "core/features/directory/directoryfile.h"
#include "core/model/servicelists.h"
#include "core/model/settingsfile.h"
#include "ctlcommand.h"
#include "ctlfixture.h"
#include "files.h"
#include "rawdirectory.h"
#include "sessionfixture.h"
#include "simprocess.h"
#include "tinyproxy.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

using namespace keldor;
using Kind = sim::TranscriptEntry::Kind;

// keldor-ctl's commands run in this process against an in-process simulator with 8 channels;
// one test runs the program against headend-sim as a separate process over each kind of link.
class TestCtl : public CtlTest {
    Q_OBJECT

    // Commands that read the whole headend, and loads, which read it twice.
    CtlRun reads(const QStringList &arguments) { return lan(arguments, withoutSendPause()); }
    QJsonValue json(const QStringList &arguments, const QString &key)
    {
        return QJsonDocument::fromJson(lan(arguments).out.toUtf8())[key];
    }
    sim::DeviceState &state() { return m_sim->headend.state(); }
    // Every sample is name{labels} value under its metric's one HELP and TYPE; the label
    // values come back unescaped.
    static void checkPrometheus(const QString &text, int status)
    {
        // A label value escapes backslash, quote and line feed, and nothing else.
        static const QRegularExpression sample(
            "^(keldor_\\w+)\\{((?:\\w+=\"(?:[^\"\\\\\\n]|\\\\[\\\\\"n])*\",?)+)\\} (\\S+)$");
        static const QRegularExpression label("(\\w+)=\"((?:[^\"\\\\\\n]|\\\\[\\\\\"n])*)\"");
        QMap<QString, int> described;
        QMap<QString, double> values;
        for (const QString &line : text.split('\n', Qt::SkipEmptyParts)) {
            if (line.startsWith("# ")) {
                described[line.section(' ', 1, 2)] += 1;
                continue;
            }
            const auto match = sample.match(line);
            QVERIFY2(match.hasMatch() && described.value("HELP " + match.captured(1)) == 1 &&
                         described.value("TYPE " + match.captured(1)) == 1,
                     qPrintable(line));
            QString key = match.captured(1);
            for (auto it = label.globalMatch(match.captured(2)); it.hasNext();) {
                const auto l = it.next();
                key += ' ' + l.captured(1) + '=' +
                       l.captured(2).replace("\\\\", "\\").replace("\\\"", "\"");
            }
            values[key] = match.captured(3).toDouble();
        }
        QVERIFY(std::all_of(described.cbegin(), described.cend(), [](int n) { return n == 1; }));
        const QString headend = " headend=a\"b\\c";
        QCOMPARE(values.value("keldor_health_status" + headend, -1), double(status));
        QCOMPARE(values.value("keldor_up" + headend, -1), status == 3 ? 0.0 : 1.0);
        QCOMPARE(values.value("keldor_snr_decibels" + headend + " channel=1"),
                 status == 3 ? 0 : 10.5);
    }

private slots:
    void init()
    {
        QVERIFY(start());
        state().identity.variant = 1;
    }

    // Usage errors end with status 2 before anything reaches the headend, refusals by a rule or
    // the headend with 1 and nothing written; "LAN" stands for the simulator's address.
    void usage()
    {
        QVERIFY(writeFile(path("kept.rtf"), "{\\rtf1 kept}"));
        QVERIFY(writeFile(path("old.kdr"), QByteArray(240, '\0')));
        // A fleet refuses a bad list or filter before it reaches any headend, the good line
        // included.
        const QByteArray good = "rack 127.0.0.1:" + m_sim->portText().toLatin1() + "\n";
        QVERIFY(
            writeFile(path("slash.list"), good + "# ok\n\nrack/2 127.0.0.1:1 localhost:8080\n"));
        QVERIFY(writeFile(path("twice.list"), good + "rack 127.0.0.1:1\n"));
        QVERIFY(writeFile(path("port.list"), good + "b 127.0.0.1:65536\n"));
        QVERIFY(writeFile(path("last.list"), "b 127.0.0.1:65535\n"));
        QVERIFY(writeFile(path("fields.list"), good + "b\n"));
        QVERIFY(writeFile(path("esc.list"), good + "b\x1b]0;owned\x07 127.0.0.1:1\n"));
        QVERIFY(writeFile(path("rlo.list"), good + "b 127.0.0.1\xe2\x80\xae:1\n"));
        const QStringList fleet{"fleet", "backup", path("b"), "--list"};
        // clang-format off
        struct Row { QStringList args; int status; QString stderrHas; };
        const QList<Row> rows{
            {{"info"}, 2, "choose a link"},
            {{"--usb", "--lan", "h:1", "info"}, 2, "choose one"},
            {{"--usb", "frobnicate"}, 2, "unknown command"},
            {{"--lan", "localhost", "info"}, 2, "HOST:PORT"},
            {{"--serial", "--usb", "info"}, 2, "--serial"},
            {{"--usb", "get", "0", "0x1FF"}, 2, "CODE"},
            {{"--usb", "set", "0", "1"}, 2, "wrong number"},
            {{"--usb", "set", "0", "0xA0", "0g"}, 2, "hex bytes"},
            {{"--usb", "lan-settings", "--ip", "127.0.0.9", "--mask", "255.0.0.0", "--port", "0"}, 2, "--port"},
            {{"LAN", "output", "0"}, 2, "CHANNEL"},
            {{"LAN", "output", "3", "--on", "--off"}, 2, "--off"},
            {{"LAN", "tune", "3", "--lo"}, 2, "--lo"},
            {{"LAN", "services", "17"}, 2, "CHANNEL"},
            {{"LAN", "services", "3", "--pass"}, 2, "--pass"},
            {{"LAN", "services", "3", "--pass", "7,7"}, 2, "distinct"},
            {{"LAN", "services", "3", "--pass", "65536"}, 2, "distinct"},
            {{"LAN", "load", "/nonexistent/x.kdr"}, 2, "/nonexistent/x.kdr"},
            {{"LAN", "load", path("old.kdr"), "--keep-services"}, 2, "--keep-services"},
            {{"LAN", "load", m_dir->path()}, 2, m_dir->path()},
            {{"LAN", "load", "x.kdr", "--keep"}, 2, "unknown option --keep\nusage: keldor-ctl LINK load FILE [OPTIONS]\nTry 'keldor-ctl load --help'.\n"},
            {{"LAN", "load", "x.kdr", "--keep-service"}, 2, "unknown option --keep-service\nDid you mean '--keep-services'?\n"},
            {{"--usb", "infp"}, 2, "unknown command infp\nDid you mean 'info'?\nusage: keldor-ctl LINK"},
            {{"--lam", "h:1", "info"}, 2, "unknown option --lam\nDid you mean '--lan'?\n"},
            {{"fleet", "bakup"}, 2, "unknown fleet command bakup\nDid you mean 'backup'?\nusage: keldor-ctl fleet backup | check | inventory [OPTIONS]\nTry 'keldor-ctl fleet --help'.\n"},
            {{"fleet", "check", "--format"}, 2, "--format needs a value\nusage: keldor-ctl fleet check [OPTIONS]\n"},
            {{"--usb", "get", "0x10", "1"}, 2, "CHANNEL must be 0..15; get and set count channels from 0, so channel 16 on screen is 15\n"},
            {{"--usb", "get", "17", "1"}, 2, "CHANNEL must be 0..15\n"},
            {{"LAN", "services", "0"}, 2, "1..16; channels count from 1 as on screen"},
            {{"LAN", "output", "3", "--qam=QAM-17"}, 2, "--qam takes one of"},
            {{"LAN", "output", "3", "--attenuation", "-3dB", "--qam", "QAM-17"}, 2, "--qam takes one of"},
            {{"LAN", "load", path("old.kdr"), "--keep-services", "--reset-services"}, 2, "exclude each other"},
            {{"diff", path("old.kdr"), path("old.kdr"), "--reset-services"}, 2, "FILE against the headend"},
            {{"LAN", "save", "x", "--force"}, 2, "unknown option --force"},
            {{"LAN", "save", path("kept")}, 2, path("kept.rtf")},
            {{"LAN", "report", path("kept.rtf")}, 2, path("kept.rtf")},
            {{"LAN", "report", path("kept.rtf"), "--force"}, 2, "unknown option --force"},
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
            {fleet + QStringList{path("port.list")}, 2, "port.list line 2: 127.0.0.1:65536 is no HOST:PORT"},
            {fleet + QStringList{path("last.list")}, 1, "b: failed: Download Error"},
            {fleet + QStringList{path("fields.list")}, 2, "fields.list line 2: expected NAME"},
            {fleet + QStringList{path("twice.list")}, 2, "twice.list line 2 has the name of " + path("twice.list") + " line 1"},
            {fleet + QStringList{path("esc.list")}, 2, "esc.list line 2: the name holds U+001B, which can't be printed\n"},
            {fleet + QStringList{path("rlo.list")}, 2, "rlo.list line 2: the address holds U+202E, which can't be printed\n"},
            {{"LAN", "check", "--format", "prometheus", "--name", "a\x01"}, 3, "--name holds U+0001"},
            {{"LAN", "check", "--name", QString::fromUtf16(u"a\u2028b")}, 3, "--name holds U+2028"},
            {fleet + QStringList{path("slash.list"), "--only", "rack,rack/3"}, 2, "no headend named rack/3"},
            {fleet + QStringList{path("slash.list"), "--keep", "0"}, 2, "--keep"},
            {fleet + QStringList{path("slash.list"), "--jobs", "0"}, 2, "--jobs"},
            {{"fleet", "backup", path("b"), "--directory", path("none.mdb")}, 2, "none.mdb"},
            {{"fleet", "inventory", "--csv", "--json", "--list", path("slash.list")}, 2, "not both"},
            {{"fleet", "check", "--warn-snr", "9:6", "--list", path("slash.list")}, 2, "--warn-snr: \"9:6\" starts above its end"},
            {{"LAN", "check", "--warn-temp"}, 3, "--warn-temp needs a value"},
            {{"LAN", "check", "--name", ""}, 3, "check takes"},
            {{"LAN", "inventory", "--name"}, 2, "--name needs a value"},
            {{"LAN", "inventory", "--json", "--bogus"}, 2, "unknown option --bogus"},
            {{"LAN", "--trace", "/nonexistent/t.jsonl", "info"}, 1, "cannot write the trace"},
            {{"LAN", "--trace", path("kept.rtf"), "info"}, 2, "kept.rtf exists; add --overwrite to replace it"},
            {{"LAN", "--overwrite", "info"}, 2, "--overwrite before the command goes with --trace"},
            {{"--usb", "info", "--help"}, 0, ""},
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
            {"Q\nA", "Q\nA"},
            {"Q\rA", "Q\\u000dA"}};
        for (const auto &[deviceType, printed] : rows) {
            state().identity.deviceType = deviceType;
            const QString plain = lan({"info"}).out;
            QVERIFY2(plain.contains("device_type:            " + printed + '\n'),
                     qPrintable(plain));
            for (const QChar c : plain + lan({"info", "--json"}).out)
                QVERIFY(c.category() != QChar::Other_Control || c == '\n');
        }

        // A collision only warns (the golden replay of output keeps the frames' order).
        const CtlRun run = lan({"output", "2", "--frequency", "118", "--off"});
        QVERIFY(run.status == 0 && run.err.contains("Collision with lower CHANNEL 1"));

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

    // Each state a monitoring system must tell apart, as status line and exit status, and the
    // same figures as Prometheus text parsed back (8 channels, 41 C and 10.5 dB by default).
    void check()
    {
        using Set = std::function<void(SimHeadend &)>;
        // clang-format off
        struct Row { Set set; QStringList args; QString line; int status; };
        const QList<Row> rows{
            {{}, {}, "OK - temperature 41 C, 8 of 8 active outputs locked | 'temperature'=41;60;70 ", 0},
            {{}, {"--warn-temp", "40.5"}, "WARNING - temperature 41 C above 40.5; 8 of 8 active outputs locked |", 1},
            {[](SimHeadend &s) { s.headend.state().diagnostics.actualTemperatureRaw = 16 + 71; }, {}, "CRITICAL - temperature 71 C above 70; 8 of 8 active outputs locked |", 2},
            {[](SimHeadend &s) { s.headend.state().channels[1].tuner.snrTenths = 59; }, {"--crit-snr", "6"}, "CRITICAL - channel 2 S/N 5.9 dB below 6; ", 2},
            {[](SimHeadend &s) { s.headend.state().channels[2].tuner.status = 0; }, {}, "CRITICAL - channel 3 output on: Tuner unlocked; temperature 41 C, 7 of 8 ", 2},
            {[](SimHeadend &s) { s.headend.state().channels[2].tuner = {0, 1}; s.headend.state().channels[2].outputOn = 0; }, {}, "OK - temperature 41 C, 7 of 7 active", 0},
            {[](SimHeadend &s) { s.headend.setFault({sim::Fault::Silent}); }, {}, "UNKNOWN - Download Error: Connection could not be established!\n", 3},
            {[](SimHeadend &s) { s.headend.setFault({sim::Fault::DropAnswer, 0x62, 2}); }, {}, "UNKNOWN - ", 3},
            {{}, {"--warn-temp", "@41:45", "--crit-snr", "~:10.4"}, "CRITICAL - S/N above 10.4 dB on 8 channels, highest 10.5 dB on channel 1, temperature 41 C inside @41:45; 8 of 8 active outputs locked | 'temperature'=41;@41:45;70 ", 2},
            {{}, {"--warn-temp", "@42:45", "--crit-snr", "~:10.5", "--format", "nagios"}, "OK - temperature 41 C, 8 of 8 active outputs locked | 'temperature'=41;@42:45;70 ", 0},
            {{}, {"--warn-snr", "x"}, "UNKNOWN - keldor-ctl: --warn-snr: \"x\" is neither a number nor a range such as 10:20, 10:, ~:10 or @10:20\n", 3},
        };
        // clang-format on
        for (const Row &row : rows) {
            for (const bool prometheus : {false, true}) {
                m_sim.emplace();
                state().identity.variant = 1;
                QVERIFY(m_sim->listen());
                if (row.set)
                    row.set(*m_sim);
                const QStringList format{"--format", "prometheus", "--name", "a\"b\\c"};
                const CtlRun run =
                    lan(QStringList{"check"} + row.args + (prometheus ? format : QStringList{}));
                const QByteArray what =
                    (row.args.join(' ') + " -> " + run.out + run.err).toLocal8Bit();
                QVERIFY2(run.status == row.status, what);
                // A usage error has no format yet: it always answers with the status line.
                if (prometheus && !row.line.contains("keldor-ctl"))
                    checkPrometheus(run.out, row.status);
                else
                    QVERIFY2(run.out.startsWith(row.line), what);
            }
        }

        state().identity.deviceType = "=1+2,\"x\"";
        QCOMPARE(lan({"inventory", "--name", "lobby", "--csv"}).out,
                 "headend,device_type,serial_number,hardware_version,controller_version,"
                 "fpga_version,channels\nlobby,\"'=1+2,\"\"x\"\"\",123456,1.00,1.05,1.06,8\n");
    }

    // A file saved from a headend holds its selections: diff of it against the same headend
    // finds nothing. A load sends what diff shows under the same options, keeps what the
    // headend held in a backup first, and reads the headend back to check what it wrote.
    void saveThenLoad()
    {
        QCOMPARE(reads({"services", "1", "--pass", "1001,1003"}).status, 0);
        state().channels[3].bandwidth = 5; // as another program left it
        const QString name = path("rack");
        const CtlRun saved = reads({"save", name});
        QCOMPARE(saved.out, "settings: " + name + ".kdr\nreport: " + name + ".rtf\n");
        QCOMPARE(reads({"diff", name + ".kdr"}).status, 0);
        QCOMPARE(reads({"save", name, "--overwrite"}).status, 0);
        const QString frequency = "Channel 6\n  Output Frequency: 500.00 MHz -> 154.00 MHz\n";
        const QString reset = "Channel 1\n  Service Mode: only the listed services pass -> every "
                              "service passes\n  services removed: 1001, 1003\n";
        // clang-format off
        struct { QStringList options; QString changes, sent; QList<quint16> ids; } rows[]{
            {{}, frequency, " with their service lists", {1001, 1003}},
            {{"--keep-services"}, frequency, " with their service lists", {1001, 1003}},
            {{"--reset-services"}, reset + frequency, ", every service passes", {}}};
        // clang-format on
        for (const auto &row : rows) {
            state().channels[5].outFrequency = 500.0f;
            state().channels[0].serviceMode = servicemode::listed;
            state().channels[0].serviceIds = {1001, 1003};
            QCOMPARE(reads(QStringList{"diff", name + ".kdr"} + row.options).out, row.changes);
            m_sim->headend.clearTranscript();
            const CtlRun loaded = reads(QStringList{"load", name + ".kdr", "--yes"} + row.options);
            static const QRegularExpression backup(
                "backup: (.*backups/backup-\\d{8}-\\d{6}(_\\d+)?\\.kdr)\n");
            const auto match = backup.match(loaded.out);
            QVERIFY2(loaded.status == 0 && match.hasMatch(), qPrintable(loaded.out + loaded.err));
            QCOMPARE(loaded.out, row.changes +
                                     "Sent as they are, though not in this program's lists:\n"
                                     "  Channel 4 Bandwidth: 5\n" +
                                     match.captured(0) + "sent 8 channels" + row.sent +
                                     "\nThe headend holds the loaded settings.\n");
            QCOMPARE(state().channels[3].bandwidth, 5);
            QCOMPARE(state().channels[5].outFrequency, 114.0f + 8.0f * 5);
            QCOMPARE(state().channels[0].serviceIds, row.ids);
            QCOMPARE(m_sim->frames(0x8A).size(), 1);
            // The backup holds what the headend held before the write, selections included.
            std::array<ChannelRecord, channelCount> before{};
            QVERIFY(std::holds_alternative<SettingsFormat>(
                readSettingsFile(match.captured(1), before)));
            QVERIFY(before[5].outFrequency == 500.0f && before[0].serviceCount == 2);
            QVERIFY(QFile::remove(match.captured(1)) &&
                    QFile::remove(reportFileName(match.captured(1))));
        }

        // Someone at the front panel changes channel 3 between the write and the check, which
        // reads the device type again.
        QTimer frontPanel;
        connect(&frontPanel, &QTimer::timeout, [&] {
            if (m_sim->framesAfter(0x8A, 0x79) > 0) {
                frontPanel.stop();
                state().channels[2].outFrequency = 500.0f;
            }
        });
        m_sim->headend.clearTranscript();
        frontPanel.start(1);
        const CtlRun changed = reads({"load", name + ".kdr", "--yes", "--force"});
        QVERIFY2(changed.status == 1 &&
                     changed.out.endsWith("The headend holds otherwise than was sent (sent -> "
                                          "holds):\nChannel 3\n  Output Frequency: 130.00 MHz "
                                          "-> 500.00 MHz\n") &&
                     changed.err.contains("does not hold the settings that were sent"),
                 qPrintable(changed.out + changed.err));
        // Without the check the headend is read once.
        m_sim->headend.clearTranscript();
        const CtlRun unchecked = reads({"load", name + ".kdr", "--yes", "--force", "--no-verify"});
        QVERIFY(unchecked.status == 0 && !unchecked.out.contains("holds the loaded"));
        QCOMPARE(m_sim->frames(0x79).size(), 1);
    }

    // Files compare without a link; a load shows what it changes and writes only when told to.
    void diffPlanAndLoad()
    {
        QVERIFY(reads({"save", path("a")}).status == 0);
        state().channels[2].outFrequency = 119.0f;
        QVERIFY(reads({"save", path("b")}).status == 0);
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
            const CtlRun run = r.args.first() == "LAN" ? reads(r.args.mid(1)) : runCtl(r.args);
            QVERIFY2(run.status == r.status && run.out.endsWith(r.out), qPrintable(run.out));
            QVERIFY(m_sim->frames(0x8A).isEmpty());
        }
        const QJsonDocument json = QJsonDocument::fromJson(
            runCtl({"diff", path("b.kdr"), path("a.kdr"), "--json"}).out.toUtf8());
        QCOMPARE(json["channels"][0]["fields"][0]["after"], "130.00 MHz");
        QCOMPARE(json["equal"], false);

        setTerminalQuestion([](const QString &) { return false; });
        const CtlRun declined = reads({"load", path("a.kdr")});
        setTerminalQuestion({});
        QVERIFY(declined.status == 1 && declined.err.contains("not confirmed"));
        QVERIFY(m_sim->frames(0x8A).isEmpty() && state().channels[2].outFrequency == 119.0f);

        QVERIFY(reads({"load", path("a.kdr"), "--yes"}).out.startsWith(back));
        QCOMPARE(state().channels[2].outFrequency, 130.0f);
        m_sim->headend.clearTranscript();
        QCOMPARE(reads({"load", path("a.kdr")}).out, "The headend already holds these settings\n");
        QVERIFY(m_sim->frames(0x8A).isEmpty());
    }

    // Four headends at once: the silent one and the one that drops the link mid-read fail with
    // their messages, the healthy two are backed up whole; the health of each follows.
    void fleet()
    {
        std::array<SimHeadend, 3> others;
        others[1].headend.setFault({sim::Fault::Silent});
        others[2].headend.setFault({sim::Fault::Disconnect, 0x52, 1, 2});
        QByteArray list = "rack-a 127.0.0.1:" + m_sim->portText().toLatin1() + '\n';
        for (const char *name : {"rack-b", "silent", "drop"}) {
            SimHeadend &sim = others[list.count('\n') - 1];
            QVERIFY(sim.listen());
            list += name + QByteArray(" 127.0.0.1:") + sim.portText().toLatin1() + '\n';
        }
        QVERIFY(writeFile(path("fleet.list"), list));
        const CtlRun run = runCtl({"fleet", "backup", path("b"), "--list", path("fleet.list")});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("silent: failed: Download Error: Connection could not be "
                                  "established!\n") &&
                     run.err.contains("drop: failed: Connect Error: Connection aborted!\n") &&
                     run.out.endsWith("backed up 2 of 4 headends, 2 failed\n"),
                 qPrintable(run.err + run.out));
        // Besides the backups only the run's lock and each headend's state.
        QStringList files = filesIn(path("b"));
        files.removeIf(
            [](const QString &f) { return f.endsWith(".keldor-state") || f == ".keldor-lock"; });
        QCOMPARE(files.size(), 4);
        for (const QString &backup : {files.at(0), files.at(2)}) {
            std::array<ChannelRecord, channelCount> channels{};
            QVERIFY(std::holds_alternative<SettingsFormat>(
                readSettingsFile(path("b/") + backup, channels)));
            QCOMPARE(channels[7].outFrequency, 114.0f + 8.0f * 7);
            QVERIFY(backup.endsWith(".kdr") &&
                    readFile(path("b/") + reportFileName(backup)).endsWith("}\r\n"));
        }
        // The drop has spent itself; the silent headend is UNKNOWN with its message.
        const CtlRun check = runCtl({"fleet", "check", "--list", path("fleet.list")});
        QVERIFY2(check.status == 1 &&
                     check.out.endsWith("silent  UNKNOWN - Download Error: Connection could not be "
                                        "established!\ndrop    OK - temperature 41 C, 12 of 12 "
                                        "active outputs locked\n4 headends: 3 OK, 0 WARNING, 0 "
                                        "CRITICAL, 1 UNKNOWN\n"),
                 qPrintable(check.out));
    }

    // A directory row too long for its columns fails alone, with its number, and the others
    // run; every label of the fleet's Prometheus text parses, quote and backslash escaped.
    void fleetDirectory()
    {
        const QString directory = path("headend.mdb");
        const QString port = m_sim->portText();
        const QList<HeadendEntry> rows{{"long", QString(101, 'x'), "127.0.0.1", port},
                                       {"a\"b\\c", "", "127.0.0.1", port}};
        QVERIFY(createDirectoryFile(m_dir->path()) && insertRawRows(directory, rows));
        const QString hash = fileHash(directory).toHex();
        const CtlRun inventory = runCtl({"fleet", "inventory", "--directory", directory});
        QVERIFY2(inventory.status == 1 &&
                     inventory.out.endsWith(
                         "long (127.0.0.1:" + m_sim->portText() + ") FAILED: " + directory +
                         " headend number 1: Location is longer than 100 characters. Mend it in "
                         "the directory.\ninventory of 1 of 2 headends, 1 failed\n"),
                 qPrintable(inventory.out));
        const CtlRun prometheus =
            runCtl({"fleet", "check", "--directory", directory, "--format", "prometheus"});
        QCOMPARE(prometheus.status, 1);
        checkPrometheus(prometheus.out, 0);
        QCOMPARE(fileHash(directory).toHex(), hash);
    }

    // More headends at once than open files allow: the soft limit is raised to the hard one,
    // and the jobs are cut to what that allows, said on stderr; every headend is read.
    void fleetWithinFileLimit()
    {
        SimProcess sim;
        const QStringList at = sim.start({"--tcp", "0"}, "LISTENING");
        QCOMPARE(at.size(), 4);
        QByteArray list;
        for (int i = 1; i <= 6; ++i)
            list += "h" + QByteArray::number(i) + " 127.0.0.1:" + at[3].toLatin1() + '\n';
        QVERIFY(writeFile(path("six.list"), list));
        const CtlRun run = runCtlProcess(
            {"fleet", "inventory", "--list", path("six.list"), "--jobs", "6"}, 60000, [] {
                const rlimit files{8, 16};
                ::setrlimit(RLIMIT_NOFILE, &files);
            });
        QVERIFY2(run.status == 0 && run.out.endsWith("inventory of 6 of 6 headends, 0 failed\n") &&
                     run.err.startsWith("keldor-ctl: the limit of open files lets only 1 of 6 "
                                        "headends run at once\n"),
                 qPrintable(run.out + run.err));
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
            static const QRegularExpression backup("backup-[^/]*\\.kdr$");
            const QStringList saved = filesIn(m_dir->path()).filter(backup);
            QCOMPARE(saved.size(), backupDir.isEmpty() ? 0 : 1);
            QVERIFY(saved.isEmpty() || (QFileInfo(path(saved[0])).dir().dirName() == backupDir &&
                                        QFile::remove(path(saved[0]))));
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

    // A traced 16-channel read, played back by headend-sim, reads the same image again; every
    // line of the trace means something. A request the recording doesn't hold next is reported
    // with both sides, and nothing is answered after it; so is the first request that never came.
    void traceAndReplay()
    {
        state().identity.variant = *sim::variantForChannelCount(16);
        const QString trace = path("read.jsonl");
        QVERIFY(writeFile(trace, QByteArray(300000, 'x')));
        const CtlRun recorded = lan({"--trace", trace, "--overwrite", "read", "--json"});
        QCOMPARE(recorded.status, 0);
        // Replaced, and only its owner may read what passed the link.
        QCOMPARE(QFile::permissions(trace), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ReadUser | QFileDevice::WriteUser);
        const QByteArrayList lines = readFile(trace).trimmed().split('\n');
        for (const QByteArray &line : lines) {
            const QString kind = QJsonDocument::fromJson(line)["meaning"]["kind"].toString();
            QVERIFY2(!kind.isEmpty() && kind != "unexpected" && kind != "unknown", line);
        }
        // A dialogue that ends before the recording does is reported when the replay ends.
        const QString requests = QString::number(readFile(trace).count(R"("dir":"tx")"));
        const QString replay = "headend-sim: replay: request ";
        const QString expected =
            "  expected 00 %1 00 00 00 00 00 00 00 00 (read channel 0 code 0x%1)\n";
        // clang-format off
        const std::tuple<QStringList, int, QString> rows[] = {
            {{"read", "--json"}, 0, ""},
            {{"get", "0", "0x78"}, 0, replay + "5 of " + requests + " never came\n" + expected.arg("a3")},
            {{"get", "0", "0x79"}, 1, replay + "2 of " + requests + " differs from the recording\n" + expected.arg("78") +
                                      "  received 00 79 00 00 00 00 00 00 00 00 (read channel 0 code 0x79)\n"}};
        // clang-format on
        for (const auto &[command, status, report] : rows) {
            SimProcess replaying;
            const QStringList at = replaying.start({"--tcp", "0", "--replay", trace}, "LISTENING");
            QCOMPARE(at.size(), 4);
            const CtlRun again = runCtl(QStringList{"--lan", at[2] + ':' + at[3]} + command);
            QVERIFY(again.status == status && (command[0] != "read" || again.out == recorded.out));
            QCOMPARE(replaying.stop(), report.isEmpty() ? 0 : 3);
            QCOMPARE(replaying.errorOutput(), report);
        }
    }

    // keldor-ctl as a script runs it, against headend-sim as its own process (options and
    // configuration in, the state dumped), through a proxy; the golden replays run it over the
    // plain LAN and serial links.
    void processes()
    {
        QVERIFY(writeFile(path("config.json"), R"({"identity": {"device_type": "SIM-8"}})"));
        {
            SimProcess tcpSim;
            const QStringList tcp =
                tcpSim.start({"--tcp", "0", "--dump-state", path("dump.json"), "--variant", "8",
                              "--serial", "42", "--config", path("config.json")},
                             "LISTENING");
            TinyProxy proxy;
            QString error;
            QVERIFY2(tcp.size() == 4 && proxy.start({tcp[3].toUShort()}, &error),
                     qPrintable(error));
            const QStringList link{"--lan", tcp[2] + ':' + tcp[3], "--proxy",
                                   "127.0.0.1:" + QString::number(proxy.port())};
            const QString out = runCtlProcess(link + QStringList{"info", "--json"}).out;
            QVERIFY2(out.contains(R"("device_type": "SIM-8")") &&
                         out.contains(R"("device_variant": 1)") &&
                         out.contains(R"("serial_number": 42)"),
                     qPrintable(out));
            QCOMPARE(runCtlProcess(link + QStringList{"set", "3", "0x06", "3"}).status, 0);
        }
        QCOMPARE(QJsonDocument::fromJson(readFile(path("dump.json")))["channels"][3]["qam"], 3);
    }
};

QTEST_GUILESS_MAIN(TestCtl)
#include "tst_ctl.moc"
