#include "ctlcommand.h"
#include "ctlcommands.h"
#include "link/session.h"

#include "recordingui.h"
#include "simfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace keldor;

// keldor-ctl commands run in-process the way main() runs them, against the simulator.
class TestCtlMaintenance : public QObject {
    Q_OBJECT

private:
    struct Result {
        int code = -1;
        QString out;
    };

    Result run(const QString &command, const QStringList &arguments)
    {
        CtlOptions options;
        options.link = CtlOptions::Link::Lan;
        options.host = QStringLiteral("127.0.0.1");
        options.port = m_sim->portText();
        options.command = command;
        options.arguments = arguments;
        Result result;
        QTextStream out(&result.out);
        QString usage;
        QTextStream err(&usage);
        result.code = run_ctl_command(*m_session, options, out, err);
        out.flush();
        return result;
    }

private slots:
    void init()
    {
        m_ui = std::make_unique<RecordingUi>();
        m_session = std::make_unique<Session>(*m_ui, Timing::fast());
        m_sim = std::make_unique<SimHeadend>();
        m_sim->headend.state().identity.variant = 1; // 8 channels
        QVERIFY(m_sim->listen());
    }

    void diagNamesEveryTunerState()
    {
        struct Row {
            qint16 code;
            const char *mark;
            const char *name;
        };
        const QList<Row> rows{{1, "good", "Tuner Locked"},
                              {0, "bad", "Tuner unlocked"},
                              {2, "unknown", "Status Unknown"},
                              {12, "unknown", "I2C NOACKE"},
                              {13, "unknown", "Status Unknown"}};
        for (qsizetype i = 0; i < rows.size(); ++i)
            m_sim->headend.state().channels[i].tuner.status = rows.at(i).code;

        const Result diag = run(QStringLiteral("diag"), {QStringLiteral("--json")});

        QCOMPARE(diag.code, int(ExitSuccess));
        const QJsonArray channels =
            QJsonDocument::fromJson(diag.out.toUtf8()).object().value("channels").toArray();
        QCOMPARE(channels.size(), 8);
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const QJsonObject channel = channels.at(i).toObject();
            QCOMPARE(channel.value("tuner").toString(), QLatin1String(rows.at(i).mark));
            QCOMPARE(channel.value("tuner_state").toInt(), rows.at(i).code);
            QCOMPARE(channel.value("tuner_state_name").toString(), QLatin1String(rows.at(i).name));
        }
    }

    void headendTextsCannotControlTheTerminal_data()
    {
        QTest::addColumn<QString>("deviceType");
        QTest::addColumn<QString>("printed");
        QTest::newRow("clear screen") << "KEL\x1b[2J"
                                      << "KEL\\u001b[2J";
        // 0x9D has no character in code page 1252 and arrives as the C1 control OSC.
        QTest::newRow("window title")
            << QString::fromUtf16(u"\u009d0;owned\u0007") << "\\u009d0;owned\\u0007";
        QTest::newRow("carriage return") << "QAM\rfake"
                                         << "QAM\\u000dfake";
        QTest::newRow("line break stays") << "QAM\nnext"
                                          << "QAM\nnext";
    }
    void headendTextsCannotControlTheTerminal()
    {
        QFETCH(QString, deviceType);
        QFETCH(QString, printed);
        m_sim->headend.state().identity.deviceType = deviceType;

        const Result plain = run(QStringLiteral("info"), {});
        QCOMPARE(plain.code, int(ExitSuccess));
        QVERIFY2(plain.out.contains("device_type:            " + printed + '\n'),
                 qPrintable(plain.out));
        for (const QChar c : plain.out)
            QVERIFY(c.category() != QChar::Other_Control || c == '\n');

        const Result json = run(QStringLiteral("info"), {QStringLiteral("--json")});
        for (const QChar c : json.out)
            QVERIFY(c.category() != QChar::Other_Control || c == '\n');
        QCOMPARE(QJsonDocument::fromJson(json.out.toUtf8()).object().value("device_type"),
                 deviceType);
    }

private:
    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SimHeadend> m_sim;
};

QTEST_GUILESS_MAIN(TestCtlMaintenance)
#include "tst_ctl_maintenance.moc"
