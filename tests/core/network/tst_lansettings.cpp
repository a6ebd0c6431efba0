#include "network/lansettings.h"
#include "shell/shellstate.h"

#include "sessionfixture.h"

#include <QTest>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

const QString octetError = QStringLiteral("Please enter a number between 0 and 255!");
const QString portError = QStringLiteral("Please enter a number between 0 and 65535!");
const QString nothingSent = QStringLiteral("\rNothing was sent to the headend.");
// Nobody reaches a headend on port 0.
const QString portRefused =
    "Input Error: Port: Please enter a number between 1 and 65535!" + nothingSent;

QString refused(const char *row)
{
    return "Input Error: " + QString::fromLatin1(row) + ": " + octetError + nothingSent;
}

OctetTexts octets(const char *dotted)
{
    const QStringList parts = QString::fromLatin1(dotted).split('.');
    return {parts.value(0), parts.value(1), parts.value(2), parts.value(3)};
}

// Types keys into a box the way the window does: the filter decides, a taken key replaces the
// selection at the caret, '<' is backspace. Gives the text, '|' and the keys after which the
// focus moved on, by position.
QString typeInto(int box, QString text, bool selected, const QString &keys)
{
    int caret = selected ? 0 : int(text.size());
    int selection = selected ? int(text.size()) : 0;
    QString moves;
    for (int i = 0; i < keys.size(); ++i) {
        const QChar key = keys[i] == '<' ? QChar(8) : keys[i];
        const KeyDecision decision = box < 0 ? port_key(text, caret, selection, key)
                                             : octet_key(box, text, caret, selection, key);
        moves += decision.focusNext ? QString::number(i) : QString();
        if (!decision.accept)
            continue;
        if (key != QChar(8))
            text.replace(caret++, selection, key);
        else if (selection > 0)
            text.remove(caret, selection);
        else if (caret > 0)
            text.remove(--caret, 1);
        selection = 0;
    }
    return text + '|' + moves;
}

struct KeyRow {
    const char *name;
    int box; // -1: the port
    const char *start;
    bool selected;
    const char *keys;
    const char *typed;
};
const KeyRow keyRows[] = {
    {"3 first is refused", 0, "", false, "3", "|"},
    {"256 stops at 25", 0, "", false, "256", "25|"},
    {"26 refused at the second digit", 0, "", false, "26", "2|"},
    {"third digit moves on", 0, "", false, "192", "192|2"},
    {"box 3 keeps the focus", 3, "", false, "192", "192|"},
    {"no fourth digit", 1, "", false, "1999", "199|2"},
    {"dot moves on, never typed", 1, "", false, "1.", "1|1"},
    {"dot in box 3", 3, "", false, "1.", "1|"},
    {"letters and signs dropped", 0, "", false, "a-1 +", "1|"},
    {"backspace", 0, "", false, "19<8", "18|"},
    {"selection replaced", 0, "192", true, "10", "10|"},
    {"selection replaced, 3 still refused", 0, "192", true, "3", "192|"},
    {"port: five digits, no sixth", -1, "", false, "700001", "70000|"},
    {"port: only digits", -1, "", false, "5.0a0-0", "5000|"},
    {"port: selection replaced", -1, "65535", true, "80", "80|"},
    {"port: backspace", -1, "5000", false, "<1", "5001|"},
};

// What a box keeps when it loses the focus, or what the operator reads.
struct CheckRow {
    const char *name;
    bool port;
    const char *text;
    QString shown;
};
const CheckRow checkRows[] = {
    {"octet 7", false, "7", "007"},
    {"octet with blanks around", false, " 12 ", "012"},
    {"octet empty", false, "", "Input Error: " + octetError},
    {"octet with a letter", false, "1a", "Input Error: " + octetError},
    {"octet 256 pasted", false, "256", "Input Error: " + octetError},
    {"octet with a sign pasted", false, "-1", "Input Error: " + octetError},
    {"port 0", true, "0", "0"},
    {"port 65535", true, "65535", "65535"},
    {"port 65536", true, "65536", "Error: Max. value 65535"},
    {"port empty", true, "", "Input Error: " + portError},
    {"port with a letter", true, "80a", "Input Error: " + portError},
};

// Above 32767 the headend's signed answer for the port is negative; the box shows 40000.
struct ReadRow {
    const char *name;
    const char *version;
    int unanswered;
    const char *codes;
    const char *read; // address, mask, gateway, port; '-': not read
};
const ReadRow readRows[] = {
    {"1.02: no gateway", "1.02", 0, "91 92 90", "192.168.001.020 255.255.255.000 - 40000"},
    {"1.03: gateway", "1.03", 0, "91 92 A1 90",
     "192.168.001.020 255.255.255.000 010.000.000.001 40000"},
    {"mask unanswered", "1.05", 0x92, "91 92", "192.168.001.020 - - -"},
};

// Saving 192.168.1.20, 255.255.254.0, gateway 192.168.1.254 and port 40000 with one box changed.
// Nothing is dialled: the frames only carry the new address.
struct SaveRow {
    const char *name;
    const char *version;
    int box; // 0..3 address, 4..7 mask, 8..11 gateway, 12 port; -1: none
    const char *text;
    const char *codes; // repeats of a frame count once
    QString message;   // the last one
    int unanswered = 0;
};
const SaveRow saveRows[] = {
    {"1.02: gateway boxes unchecked", "1.02", 8, "", "8D 8E 8F 96", ""},
    {"1.03: with the gateway", "1.03", -1, "", "8D 8E A2 8F 96", ""},
    {"address box empty", "1.05", 3, "", "", refused("IP-Adress")},
    {"address box 256", "1.05", 3, "256", "", refused("IP-Adress")},
    {"mask box not a number", "1.05", 5, "x", "", refused("Subnet-Mask")},
    {"gateway box empty", "1.05", 8, "", "", refused("Gateway")},
    {"port 70000", "1.05", 12, "70000", "", portRefused},
    {"port empty", "1.05", 12, "", "", portRefused},
    {"port 0", "1.05", 12, "0", "", portRefused},
    {"port 00000", "1.05", 12, "00000", "", portRefused},
    // The address went out first, so the program already points at it; the restart does not.
    {"mask write unanswered", "1.05", -1, "", "8D 8E",
     "Error 8E: An error occured while sending, data may be lost\rPlease try again.", 0x8E},
};

template<typename Row, size_t N> void addRows(const Row (&rows)[N])
{
    QTest::addColumn<int>("row");
    for (size_t i = 0; i < N; ++i)
        QTest::newRow(rows[i].name) << int(i);
}

} // namespace

class TestLanSettings : public QObject {
    Q_OBJECT

private:
    QString codesSent() const
    {
        QStringList codes;
        for (const auto &entry : m_f->sim.headend.transcript()) {
            const QString code = QString::number(entry.code(), 16).toUpper();
            if (entry.kind == sim::TranscriptEntry::Kind::Frame &&
                codes.value(codes.size() - 1) != code)
                codes.append(code);
        }
        return codes.join(' ');
    }

private slots:
    void init()
    {
        m_f.emplace();
        QVERIFY(m_f->start());
        // The restart that ends a save must not bring the headend back in the middle of a test.
        sim::Timing timing;
        timing.restartDelay = 1h;
        m_f->sim.headend.setTiming(timing);
    }

    void keyFilters_data() { addRows(keyRows); }
    void keyFilters()
    {
        QFETCH(int, row);
        const KeyRow &r = keyRows[row];
        QCOMPARE(typeInto(r.box, r.start, r.selected, r.keys), QString::fromLatin1(r.typed));
    }

    void checks_data() { addRows(checkRows); }
    void checks()
    {
        QFETCH(int, row);
        const CheckRow &r = checkRows[row];
        QString shown = r.port ? (check_port(m_f->ui, r.text) ? r.text : "")
                               : check_octet(m_f->ui, r.text).value_or(QString());
        for (const auto &message : m_f->ui.messages) {
            QCOMPARE(message.icon, UserInterface::Icon::Critical);
            shown += message.title + ": " + message.text;
        }
        QCOMPARE(shown, r.shown);
    }

    void reading_data() { addRows(readRows); }
    void reading()
    {
        QFETCH(int, row);
        const ReadRow &r = readRows[row];
        sim::Lan &lan = m_f->sim.headend.state().lan;
        lan.gateway = {10, 0, 0, 1};
        lan.port = 40000;
        m_f->sim.headend.setFault({sim::Fault::DropAnswer, r.unanswered, r.unanswered ? -1 : 0});
        LanReading reading;
        QCOMPARE(read_lan_settings(m_f->exchange(), r.version, reading), !r.unanswered);
        QStringList read;
        for (const auto &address : {reading.ip, reading.subnet, reading.gateway})
            read.append(address ? QStringList(address->begin(), address->end()).join('.') : "-");
        read.append(reading.port.value_or("-"));
        QCOMPARE(read.join(' '), QString::fromLatin1(r.read));
        QCOMPARE(codesSent(), QString::fromLatin1(r.codes));
        QCOMPARE(m_f->ui.messages.isEmpty(), !r.unanswered);
    }

    void saving_data() { addRows(saveRows); }
    void saving()
    {
        QFETCH(int, row);
        const SaveRow &r = saveRows[row];
        m_f->sim.headend.setFault({sim::Fault::DropAnswer, r.unanswered, r.unanswered ? -1 : 0});
        LanSettingsInput input{octets("192.168.001.020"), octets("255.255.254.000"),
                               octets("192.168.001.254"), "40000"};
        OctetTexts *boxes[] = {&input.ip, &input.subnet, &input.gateway};
        if (r.box == 12)
            input.port = r.text;
        else if (r.box >= 0)
            (*boxes[r.box / 4])[r.box % 4] = r.text;
        ShellState shell;
        QCOMPARE(save_lan_settings(m_f->exchange(), r.version, input, shell), r.message.isEmpty());
        QCOMPARE(codesSent(), QString::fromLatin1(r.codes));
        const auto shown = m_f->ui.messages.value(m_f->ui.messages.size() - 1);
        QCOMPARE(shown.text.isEmpty() ? "" : shown.title + ": " + shown.text, r.message);
        const QMap<int, QByteArray> frames{{0x8D, "008DC0A8011400000000"},
                                           {0x8E, "008EFFFFFE0000000000"},
                                           {0xA2, "00A2C0A801FE00000000"},
                                           {0x8F, "008F9C40000000000000"},
                                           {0x96, "00960000000000000000"}};
        for (const auto &entry : m_f->sim.headend.transcript()) {
            if (entry.kind == sim::TranscriptEntry::Kind::Frame)
                QCOMPARE(entry.bytes.toHex().toUpper(), frames.value(entry.code()));
        }
        const bool pointed = QByteArray(r.codes).startsWith("8D");
        QCOMPARE(shell.active_headend_ip,
                 pointed ? "192.168.1.20" : ShellState().active_headend_ip);
        QCOMPARE(shell.active_headend_port, pointed ? "40000" : ShellState().active_headend_port);
    }

private:
    std::optional<SessionFixture> m_f;
};

QTEST_GUILESS_MAIN(TestLanSettings)
#include "tst_lansettings.moc"
