#include "link/exchange.h"
#include "link/seriallink.h"
#include "link/session.h"
#include "network/lansettings.h"
#include "shell/shellstate.h"

#include "recordingui.h"
#include "scriptedlink.h"
#include "simfixture.h"

#include <QTest>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

const QString octetError = QStringLiteral("Please enter a number between 0 and 255!");
const QString portError = QStringLiteral("Please enter a number between 0 and 65535!");

// Types characters into a box the way the window does: the filter decides, a taken character
// replaces the selection at the caret. Returns the text and after which characters the focus
// moved on (their positions in `keys`).
struct Typed {
    QString text;
    QList<int> focusMoves;
};

template<typename Filter>
Typed type_into(Filter filter, QString text, bool allSelected, const QString &keys)
{
    int caret = allSelected ? 0 : int(text.size());
    int selection = allSelected ? int(text.size()) : 0;
    Typed typed;
    for (int i = 0; i < keys.size(); ++i) {
        const QChar key = keys.at(i);
        const KeyDecision decision = filter(text, caret, selection, key);
        if (decision.focusNext)
            typed.focusMoves.append(i);
        if (!decision.accept)
            continue;
        if (key == QChar(8)) {
            if (selection > 0)
                text.remove(caret, selection);
            else if (caret > 0)
                text.remove(--caret, 1);
        } else {
            text.replace(caret, selection, key);
            ++caret;
        }
        selection = 0;
    }
    typed.text = text;
    return typed;
}

OctetTexts octets(const char *a, const char *b, const char *c, const char *d)
{
    return {QString::fromLatin1(a), QString::fromLatin1(b), QString::fromLatin1(c),
            QString::fromLatin1(d)};
}

} // namespace

class TestLanSettings : public QObject {
    Q_OBJECT

private:
    void connectSim(const QString &controllerVersion)
    {
        m_sim->headend.state().identity.controllerVersion = controllerVersion;
        LanTarget target;
        target.name = QStringLiteral("Rack 7");
        target.ip = QStringLiteral("127.0.0.1");
        target.port = m_sim->portText();
        QVERIFY(lan_connect(*m_session, target));
        m_sim->headend.clearTranscript();
        m_ui->clear();
    }

    QList<int> codesSent() const
    {
        QList<int> codes;
        for (const auto &entry : m_sim->headend.transcript()) {
            if (entry.kind == sim::TranscriptEntry::Kind::Frame)
                codes.append(entry.code());
        }
        return codes;
    }

    LanSettingsInput goodInput() const
    {
        LanSettingsInput input;
        input.ip = octets("192", "168", "001", "020");
        input.subnet = octets("255", "255", "254", "000");
        input.gateway = octets("192", "168", "001", "254");
        input.port = QStringLiteral("40000");
        return input;
    }

private slots:
    void init()
    {
        m_ui = std::make_unique<RecordingUi>();
        m_session = std::make_unique<Session>(*m_ui, Timing::fast());
        m_session->exchange.setSerialSelected(false);
        m_sim = std::make_unique<SimHeadend>();
        // The restart that ends a save must not bring the sim back on the new port mid-test.
        sim::Timing timing = m_sim->headend.timing();
        timing.restartDelay = 1h;
        m_sim->headend.setTiming(timing);
        QVERIFY(m_sim->listen());
        m_shell = ShellState();
    }

    void cleanup()
    {
        m_session.reset();
        m_sim.reset();
        m_ui.reset();
    }

    void octetKeyFilter_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("moves");
        QTest::newRow("3 first is ignored") << 0 << "" << false << "3"
                                            << "" << QList<int>{};
        QTest::newRow("256 stops at 25") << 0 << "" << false << "256"
                                         << "25" << QList<int>{};
        QTest::newRow("26 refused at the second digit") << 0 << "" << false << "26"
                                                        << "2" << QList<int>{};
        QTest::newRow("third digit moves on") << 0 << "" << false << "192"
                                              << "192" << QList<int>{2};
        QTest::newRow("box 2 moves on") << 2 << "" << false << "255"
                                        << "255" << QList<int>{2};
        QTest::newRow("box 3 keeps the focus") << 3 << "" << false << "192"
                                               << "192" << QList<int>{};
        QTest::newRow("no fourth digit") << 1 << "" << false << "1999"
                                         << "199" << QList<int>{2};
        QTest::newRow("dot moves on, never typed") << 1 << "" << false << "1."
                                                   << "1" << QList<int>{1};
        QTest::newRow("dot in box 3") << 3 << "" << false << "1."
                                      << "1" << QList<int>{};
        QTest::newRow("letters and signs dropped") << 0 << "" << false << "a-1 +"
                                                   << "1" << QList<int>{};
        QTest::newRow("backspace") << 0 << "" << false << "19\b8"
                                   << "18" << QList<int>{};
        QTest::newRow("selected text is replaced") << 0 << "192" << true << "10"
                                                   << "10" << QList<int>{};
        QTest::newRow("selected text, 3 still refused") << 0 << "192" << true << "3"
                                                        << "192" << QList<int>{};
        QTest::newRow("full box not selected") << 0 << "192" << false << "1"
                                               << "192" << QList<int>{};
    }
    void octetKeyFilter()
    {
        QFETCH(int, box);
        QFETCH(QString, start);
        QFETCH(bool, selected);
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(QList<int>, moves);
        keys.replace(QLatin1Char('\b'), QChar(8));
        const auto filter = [box](const QString &t, int caret, int selection, QChar c) {
            return octet_key(box, t, caret, selection, c);
        };
        const Typed typed = type_into(filter, start, selected, keys);
        QCOMPARE(typed.text, text);
        QCOMPARE(typed.focusMoves, moves);
    }

    void portKeyFilter_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::newRow("five digits, no sixth") << "" << false << "700001"
                                               << "70000";
        QTest::newRow("only digits") << "" << false << "5.0a0-0"
                                     << "5000";
        QTest::newRow("selected text is replaced") << "65535" << true << "80"
                                                   << "80";
        QTest::newRow("backspace") << "5000" << false << "\b1"
                                   << "5001";
    }
    void portKeyFilter()
    {
        QFETCH(QString, start);
        QFETCH(bool, selected);
        QFETCH(QString, keys);
        QFETCH(QString, text);
        keys.replace(QLatin1Char('\b'), QChar(8));
        const Typed typed = type_into(port_key, start, selected, keys);
        QCOMPARE(typed.text, text);
        QVERIFY(typed.focusMoves.isEmpty());
    }

    void octetCheck_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result"); // empty: refused
        QTest::newRow("7") << "7"
                           << "007";
        QTest::newRow("leading zeros kept") << "020"
                                            << "020";
        QTest::newRow("255") << "255"
                             << "255";
        QTest::newRow("blanks around") << " 12 "
                                       << "012";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("letters") << "1a"
                                 << "";
        QTest::newRow("pasted 256") << "256"
                                    << "";
        QTest::newRow("pasted sign") << "-1"
                                     << "";
    }
    void octetCheck()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        const auto checked = check_octet(*m_ui, text);
        QCOMPARE(checked.value_or(QString()), result);
        if (result.isEmpty()) {
            QCOMPARE(m_ui->messages.size(), 1);
            QCOMPARE(m_ui->messages.first().icon, UserInterface::Icon::Critical);
            QCOMPARE(m_ui->messages.first().title, QStringLiteral("Input Error"));
            QCOMPARE(m_ui->messages.first().text, octetError);
        } else {
            QCOMPARE(m_ui->messages.size(), 0);
        }
    }

    void portCheck_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title"); // empty: accepted
        QTest::addColumn<QString>("message");
        QTest::newRow("70000") << "70000"
                               << "Error"
                               << "Max. value 65535";
        QTest::newRow("65536") << "65536"
                               << "Error"
                               << "Max. value 65535";
        QTest::newRow("empty") << ""
                               << "Input Error" << portError;
        QTest::newRow("letters") << "80a"
                                 << "Input Error" << portError;
        QTest::newRow("65535") << "65535"
                               << ""
                               << "";
        QTest::newRow("0") << "0"
                           << ""
                           << "";
    }
    void portCheck()
    {
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QCOMPARE(check_port(*m_ui, text), title.isEmpty());
        if (title.isEmpty()) {
            QCOMPARE(m_ui->messages.size(), 0);
            return;
        }
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().icon, UserInterface::Icon::Critical);
        QCOMPARE(m_ui->messages.first().title, title);
        QCOMPARE(m_ui->messages.first().text, message);
    }

    void attentionText()
    {
        show_lan_attention(*m_ui);
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().icon, UserInterface::Icon::Exclamation);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Attention"));
        QCOMPARE(m_ui->messages.first().text,
                 QString(27, ' ') + "Attention!!!" + QString(26, ' ') +
                     "\r\nPlease change these settings carefully as you may not be able\r\n"
                     "   to reconnect to the headend when using improper values!");
    }

    void readingByVersion_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("gateway");
        QTest::newRow("1.02") << "1.02" << false;
        QTest::newRow("1.03") << "1.03" << true;
        QTest::newRow("1.10") << "1.10" << true;
    }
    void readingByVersion()
    {
        QFETCH(QString, version);
        QFETCH(bool, gateway);
        connectSim(version);
        sim::Lan &lan = m_sim->headend.state().lan;
        lan.gateway = {10, 0, 0, 1};
        // Above 32767 the headend's signed answer is negative; the box shows the port.
        lan.port = 40000;
        LanReading reading;
        QVERIFY(read_lan_settings(m_session->exchange, version.toLatin1(), reading));
        QCOMPARE(reading.ip, std::optional(octets("192", "168", "001", "020")));
        QCOMPARE(reading.subnet, std::optional(octets("255", "255", "255", "000")));
        QCOMPARE(reading.port, std::optional(QStringLiteral("40000")));
        QCOMPARE(codesSent(),
                 gateway ? (QList<int>{0x91, 0x92, 0xA1, 0x90}) : (QList<int>{0x91, 0x92, 0x90}));
        QCOMPARE(reading.gateway.has_value(), gateway);
        if (gateway)
            QCOMPARE(*reading.gateway, octets("010", "000", "000", "001"));
        QCOMPARE(m_ui->messages.size(), 0);
    }

    void failedReadLeavesTheRest()
    {
        connectSim(QStringLiteral("1.05"));
        sim::FaultPlan plan;
        plan.fault = sim::Fault::DropAnswer;
        plan.code = 0x92;
        m_sim->headend.setFault(plan);
        LanReading reading;
        QVERIFY(!read_lan_settings(m_session->exchange, "1.05", reading));
        QVERIFY(reading.ip.has_value());
        QVERIFY(!reading.subnet && !reading.gateway && !reading.port);
        QCOMPARE(codesSent(), (QList<int>{0x91, 0x92}));
    }

    void addressNotFourOctets()
    {
        SerialLink serial;
        ScriptedLink link;
        Timing timing = Timing::fast();
        Exchange exchange(*m_ui, timing, serial, link);
        exchange.setSerialSelected(false);
        QByteArrayList pending;
        link.responder = [&](ScriptedLink &l, const QByteArray &request) {
            if (request == "N") {
                if (!pending.isEmpty())
                    l.reply(pending.takeFirst(), 1ms);
                return;
            }
            l.reply(QByteArray(1, 3), 1ms);
            pending = {QByteArray("\xC0\xA8\x01", 3), "EN"};
        };
        LanReading reading;
        QVERIFY(!read_lan_settings(exchange, "1.05", reading));
        QVERIFY(!reading.ip);
        QCOMPARE(m_ui->texts(),
                 QStringList{"The headend's answer for the IP-Adress is not four octets."});
        QCOMPARE(link.written.size(), 3);
    }

    void saveSendsEveryValueIntact_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QList<int>>("codes");
        QTest::newRow("1.02") << "1.02" << QList<int>{0x8D, 0x8E, 0x8F, 0x96};
        QTest::newRow("1.03") << "1.03" << QList<int>{0x8D, 0x8E, 0xA2, 0x8F, 0x96};
    }
    void saveSendsEveryValueIntact()
    {
        QFETCH(QString, version);
        QFETCH(QList<int>, codes);
        connectSim(version);
        const std::array<quint8, 4> oldGateway = m_sim->headend.state().lan.gateway;
        QVERIFY(save_lan_settings(m_session->exchange, version.toLatin1(), goodInput(), m_shell));
        QCOMPARE(m_ui->messages.size(), 0);
        QCOMPARE(codesSent(), codes);
        QCOMPARE(m_sim->frames(0x8D).first().bytes, QByteArray::fromHex("008DC0A8011400000000"));
        QCOMPARE(m_sim->frames(0x8E).first().bytes, QByteArray::fromHex("008EFFFFFE0000000000"));
        QCOMPARE(m_sim->frames(0x8F).first().bytes, QByteArray::fromHex("008F9C40000000000000"));
        QCOMPARE(m_sim->frames(0x96).first().bytes, QByteArray::fromHex("00960000000000000000"));

        const sim::Lan &lan = m_sim->headend.state().lan;
        QCOMPARE(lan.ip, (std::array<quint8, 4>{192, 168, 1, 20}));
        QCOMPARE(lan.mask, (std::array<quint8, 4>{255, 255, 254, 0}));
        QCOMPARE(lan.port, quint16(40000));
        QCOMPARE(lan.gateway,
                 codes.contains(0xA2) ? (std::array<quint8, 4>{192, 168, 1, 254}) : oldGateway);
        QCOMPARE(m_shell.active_headend_ip, QStringLiteral("192.168.1.20"));
        QCOMPARE(m_shell.active_headend_port, QStringLiteral("40000"));
    }

    void saveRefusesBadBoxes_data()
    {
        QTest::addColumn<int>("row"); // 0 ip, 1 subnet, 2 gateway, 3 port
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty address box") << 0 << ""
                                           << "IP-Adress: " + octetError;
        QTest::newRow("address box 256") << 0 << "256"
                                         << "IP-Adress: " + octetError;
        QTest::newRow("subnet box not a number") << 1 << "x"
                                                 << "Subnet-Mask: " + octetError;
        QTest::newRow("gateway box empty") << 2 << ""
                                           << "Gateway: " + octetError;
        // Nobody reaches a headend on port 0.
        const QString savedPortError = "Port: Please enter a number between 1 and 65535!";
        QTest::newRow("port 70000") << 3 << "70000" << savedPortError;
        QTest::newRow("empty port") << 3 << "" << savedPortError;
        QTest::newRow("port 0") << 3 << "0" << savedPortError;
        QTest::newRow("port 00000") << 3 << "00000" << savedPortError;
    }
    void saveRefusesBadBoxes()
    {
        QFETCH(int, row);
        QFETCH(QString, text);
        QFETCH(QString, message);
        connectSim(QStringLiteral("1.05"));
        LanSettingsInput input = goodInput();
        switch (row) {
        case 0:
            input.ip[3] = text;
            break;
        case 1:
            input.subnet[1] = text;
            break;
        case 2:
            input.gateway[0] = text;
            break;
        default:
            input.port = text;
            break;
        }
        QVERIFY(!save_lan_settings(m_session->exchange, "1.05", input, m_shell));
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Input Error"));
        QCOMPARE(m_ui->messages.first().text, message + "\rNothing was sent to the headend.");
        QCOMPARE(m_sim->headend.transcript().size(), 0);
        QCOMPARE(m_shell.active_headend_ip, ShellState().active_headend_ip);
    }

    void hiddenGatewayIsNotChecked()
    {
        connectSim(QStringLiteral("1.02"));
        LanSettingsInput input = goodInput();
        input.gateway = OctetTexts{};
        QVERIFY(save_lan_settings(m_session->exchange, "1.02", input, m_shell));
        QCOMPARE(m_sim->frames(0xA2).size(), 0);
    }

    void failedWriteStopsBeforeTheRestart()
    {
        connectSim(QStringLiteral("1.05"));
        sim::FaultPlan plan;
        plan.fault = sim::Fault::DropAnswer;
        plan.code = 0x8E;
        m_sim->headend.setFault(plan);
        QVERIFY(!save_lan_settings(m_session->exchange, "1.05", goodInput(), m_shell));
        QCOMPARE(m_sim->frames(0xA2).size(), 0);
        QCOMPARE(m_sim->frames(0x8F).size(), 0);
        QCOMPARE(m_sim->frames(0x96).size(), 0);
        QVERIFY(m_ui->texts().contains(
            QStringLiteral("An error occured while sending, data may be lost\rPlease try again.")));
        // The address went out first, so the shell already points at it.
        QCOMPARE(m_shell.active_headend_ip, QStringLiteral("192.168.1.20"));
    }

private:
    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<Session> m_session;
    std::unique_ptr<SimHeadend> m_sim;
    ShellState m_shell;
};

QTEST_GUILESS_MAIN(TestLanSettings)
#include "tst_lansettings.moc"
