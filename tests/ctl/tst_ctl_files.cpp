#include "ctlcommand.h"
#include "link/session.h"
#include "model/settingsfile.h"
#include "services/servicelists.h"

#include "recordingui.h"
#include "simfixture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace keldor;

// The file and service-list commands of keldor-ctl, run in-process against the simulator.
class TestCtlFiles : public QObject {
    Q_OBJECT

private:
    struct Result {
        int code = -1;
        QString out;
    };

    static QString check(const QString &name, const QStringList &args)
    {
        const CtlCommand &command = ctl_commands().at(name);
        if (args.size() < command.minArguments || args.size() > command.maxArguments)
            return QStringLiteral("count");
        return command.check ? command.check(args) : QString();
    }

    Result run(const QString &name, const QStringList &args)
    {
        Result result;
        if (!check(name, args).isEmpty())
            return result;
        QTextStream out(&result.out);
        result.code = ctl_commands().at(name).run(*m_session, args, out);
        return result;
    }

    static bool write_file(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_ui = std::make_unique<RecordingUi>();
        m_session = std::make_unique<Session>(*m_ui, Timing::fast());
        m_sim = std::make_unique<SimHeadend>();
        m_sim->headend.state().identity.variant = 1; // 8 channels
        QVERIFY(m_sim->listen());
        QVERIFY(m_sim->connect(*m_session));
    }

    void argumentsAreCheckedBeforeTheHeadend_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("problem"); // part of the refusal, empty = accepted
        QTest::newRow("channel 0") << "services" << QStringList{"0"} << "CHANNEL must be 1..16";
        QTest::newRow("channel 17") << "services" << QStringList{"17"} << "CHANNEL must be 1..16";
        QTest::newRow("channel 16") << "services" << QStringList{"16"} << "";
        QTest::newRow("--pass without IDs") << "services" << QStringList{"3", "--pass"} << "--pass";
        QTest::newRow("duplicate IDs")
            << "services" << QStringList{"3", "--pass", "7,7"} << "distinct";
        QTest::newRow("ID too large")
            << "services" << QStringList{"3", "--pass", "65536"} << "distinct";
        QTest::newRow("hex IDs") << "services" << QStringList{"3", "--pass", "0x10,17"} << "";
        QTest::newRow("nothing passes") << "services" << QStringList{"3", "--pass", ""} << "";
        QTest::newRow("load missing file")
            << "load" << QStringList{"/nonexistent/x.kdr"} << "can't be read";
        QTest::newRow("load unknown option")
            << "load" << QStringList{"x.kdr", "--keep"} << "only --keep-services";
        QTest::newRow("save unknown option")
            << "save" << QStringList{"x", "--force"} << "only --overwrite";

        // A report already there is replaced only on request, by save as by report.
        const QString report = m_dir.filePath("kept.rtf");
        QVERIFY(write_file(report, "{\\rtf1 kept}"));
        const QString kept = m_dir.filePath("kept");
        QTest::newRow("save over a report") << "save" << QStringList{kept} << report + " exists";
        QTest::newRow("save over a report, --overwrite")
            << "save" << QStringList{kept, "--overwrite"} << "";
        QTest::newRow("report over a file")
            << "report" << QStringList{report} << report + " exists";
        QTest::newRow("report --overwrite") << "report" << QStringList{report, "--overwrite"} << "";
        QTest::newRow("report unknown option")
            << "report" << QStringList{report, "--force"} << "only --overwrite";
    }

    void argumentsAreCheckedBeforeTheHeadend()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, args);
        QFETCH(QString, problem);
        const QString refusal = check(command, args);
        if (problem.isEmpty())
            QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
        else
            QVERIFY2(refusal.contains(problem), qPrintable(refusal));
    }

    void servicesListAndPass()
    {
        const Result listed = run("services", {"3"});
        QCOMPARE(listed.code, int(ExitSuccess));
        QVERIFY(listed.out.startsWith("channel 3, mode 0 (every service passes)\n"
                                      "input services (5):\n   3000  Service 3-1\n"));
        QVERIFY(listed.out.contains("output services (5):\n"));

        const Result passed = run("services", {"3", "--pass", "3004,3001"});
        QCOMPARE(passed.code, int(ExitSuccess));
        QCOMPARE(passed.out, "sent mode 1 (only the listed services pass) with 2 listed IDs\n");
        const sim::Channel &channel = m_sim->headend.state().channels[2];
        QCOMPARE(channel.serviceMode, 1);
        QCOMPARE(channel.serviceIds, (QList<quint16>{3004, 3001}));

        QVERIFY(run("services", {"3"})
                    .out.contains("output services (2):\n   3004  Service 3-5\n"
                                  "   3001  Service 3-2\n"));
    }

    void unknownServiceSendsNothing()
    {
        m_sim->headend.clearTranscript();
        QCOMPARE(run("services", {"3", "--pass", "3001,42"}).code, int(ExitFailure));
        QCOMPARE(
            m_ui->texts(),
            QStringList{"Service ID 42 is not in the input list of channel 3; nothing was sent."});
        QVERIFY(m_sim->frames(servicecode::selectionStart).isEmpty());
        QCOMPARE(run("services", {"9"}).code, int(ExitFailure));
        QCOMPARE(m_ui->texts().last(), "This headend has 8 channels; nothing was changed.");
    }

    void saveThenLoad()
    {
        const QString name = m_dir.filePath("rack");
        const Result saved = run("save", {name});
        QCOMPARE(saved.code, int(ExitSuccess));
        QFile settings(name + ".kdr");
        QVERIFY(settings.open(QIODevice::ReadOnly));
        const QByteArray image = settings.readAll();
        QCOMPARE(image.size(), 3968);
        QVERIFY(QFile::exists(name + ".rtf"));
        QVERIFY(check("save", {name}).contains("add --overwrite"));
        QVERIFY(check("save", {name, "--overwrite"}).isEmpty());

        std::array<ChannelRecord, channelCount> channels{};
        QVERIFY(
            std::holds_alternative<SettingsFormat>(read_settings_file(name + ".kdr", channels)));
        QCOMPARE(channels[7].in_frequency, 10744 + 20 * 7);
        QCOMPARE(channels[7].out_frequency, 114.0f + 8.0f * 7);

        m_sim->headend.state().channels[5].outFrequency = 500.0f;
        m_sim->headend.clearTranscript();
        const Result loaded = run("load", {name + ".kdr", "--keep-services"});
        QCOMPARE(loaded.code, int(ExitSuccess));
        QCOMPARE(loaded.out, "sent 8 channels with their service lists\n");
        QCOMPARE(m_sim->headend.state().channels[5].outFrequency, 114.0f + 8.0f * 5);
        QCOMPARE(m_sim->frames(0x8A).size(), 1);
    }

    void oldFilesCannotKeepServices()
    {
        const QString path = m_dir.filePath("old.kdr");
        QVERIFY(write_file(path, QByteArray(240, '\0')));
        QVERIFY(
            check("load", {path, "--keep-services"}).contains("--keep-services needs a current"));
        QVERIFY(check("load", {path}).isEmpty());
        QVERIFY(check("load", {m_dir.path()}).contains("Nothing was sent to the headend."));
    }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SimHeadend> m_sim;
};

QTEST_GUILESS_MAIN(TestCtlFiles)
#include "tst_ctl_files.moc"
