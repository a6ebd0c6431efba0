#include "core/features/diagnostics/diagnostics.h"
#include "core/features/diagnostics/diagnosticview.h"
#include "core/features/network/lansettings.h"
#include "core/features/shell/shellstate.h"
#include "core/model/unitdata.h"

#include "datarows.h"
#include "sessionfixture.h"

#include <QTest>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

const QString octetError = QStringLiteral("Please enter a number between 0 and 255!");
const QString portError = QStringLiteral("Input Error: Please enter a number between 0 and 65535!");
const QString nothingSent = QStringLiteral("\rNothing was sent to the headend.");
// Nobody reaches a headend on port 0.
const QString portRefused =
    "Input Error: Port: Please enter a number between 1 and 65535!" + nothingSent;

QString refused(const char *box)
{
    return "Input Error: " + QString::fromLatin1(box) + ": " + octetError + nothingSent;
}

// Types keys into a box the way the window does, the caret at the end or the whole text
// selected: the filter decides, a taken key replaces the selection, '<' is backspace. Gives the
// text, '|' and the keys after which the focus moved on, by position.
QString typeInto(int box, QString text, bool selected, const QString &keys)
{
    QString moves;
    for (int i = 0; i < keys.size(); ++i) {
        const QChar key = keys[i] == '<' ? QChar(8) : keys[i];
        const int caret = selected ? 0 : int(text.size()), selection = int(text.size()) - caret;
        const KeyDecision decision = box < 0 ? portKey(text, caret, selection, key)
                                             : octetKey(box, text, caret, selection, key);
        moves += decision.focusNext ? QString::number(i) : QString();
        if (!decision.accept)
            continue;
        text.chop(selected ? text.size() : key == QChar(8));
        text += key == QChar(8) ? QString() : QString(key);
        selected = false;
    }
    return text + '|' + moves;
}

// clang-format off
// box -1 is the port. Typing keys (after start) gives the text, '|' and the keys after which the
// focus moved on; without keys the box loses the focus holding start: what it keeps, or what the
// operator reads.
struct BoxRow { const char *name; int box; const char *start; bool selected; const char *keys; QString shown; };
const BoxRow boxRows[] = {
    {"3 first is refused", 0, "", false, "3", "|"},         {"256 stops at 25", 0, "", false, "256", "25|"},
    {"26 refused at the second digit", 0, "", false, "26", "2|"}, {"third digit moves on", 0, "", false, "192", "192|2"},
    {"box 3 keeps the focus", 3, "", false, "192", "192|"}, {"no fourth digit", 1, "", false, "1999", "199|2"},
    {"dot moves on, never typed", 1, "", false, "1.", "1|1"}, {"dot in box 3", 3, "", false, "1.", "1|"},
    {"letters and signs dropped", 0, "", false, "a-1 +", "1|"}, {"backspace", 0, "", false, "19<8", "18|"},
    {"selection replaced", 0, "192", true, "10", "10|"},    {"selection replaced, 3 still refused", 0, "192", true, "3", "192|"},
    {"port: five digits, no sixth", -1, "", false, "700001", "70000|"}, {"port: only digits", -1, "", false, "5.0a0-0", "5000|"},
    {"port: selection replaced", -1, "65535", true, "80", "80|"}, {"port: backspace", -1, "5000", false, "<1", "5001|"},
    {"octet 7", 0, "7", false, nullptr, "007"},            {"octet with blanks around", 0, " 12 ", false, nullptr, "012"},
    {"octet empty", 0, "", false, nullptr, "Input Error: " + octetError}, {"octet with a letter", 0, "1a", false, nullptr, "Input Error: " + octetError},
    {"octet 256 pasted", 0, "256", false, nullptr, "Input Error: " + octetError}, {"octet with a sign", 0, "-1", false, nullptr, "Input Error: " + octetError},
    {"port 0", -1, "0", false, nullptr, "0"},              {"port 65535", -1, "65535", false, nullptr, "65535"},
    {"port 65536", -1, "65536", false, nullptr, "Error: Max. value 65535"}, {"port empty", -1, "", false, nullptr, portError},
    {"port with a letter", -1, "80a", false, nullptr, portError},
};

// Reading (box -2) a headend at 192.168.1.20, 255.255.255.0, gateway 10.0.0.1, port 40000:
// above 32767 its signed answer for the port is negative; the box shows 40000. Saving
// 192.168.1.20, 255.255.254.0, gateway 192.168.1.254 and port 40000 with one box changed
// (0..3 address, 4..7 mask, 8..11 gateway, 12 port). Nothing is dialled: the frames only carry
// the new address. A repeated frame counts once in codes; shown: what was read ('-' not read),
// then the last message. After an unanswered mask the program already points at the new address.
struct LanRow { const char *name, *version; int box; const char *text, *codes; QString shown; int unanswered = 0; };
const LanRow lanRows[] = {
    {"read 1.02: no gateway", "1.02", -2, "", "91 92 90", "192.168.001.020 255.255.255.000 - 40000"},
    {"read 1.03: gateway", "1.03", -2, "", "91 92 A1 90", "192.168.001.020 255.255.255.000 010.000.000.001 40000"},
    {"read, mask unanswered", "1.05", -2, "", "91 92", "192.168.001.020 - - - Connect Error: Connection aborted!", 0x92},
    {"1.02: gateway boxes unchecked", "1.02", 8, "", "8D 8E 8F 96", ""},
    {"1.03: with the gateway", "1.03", -1, "", "8D 8E A2 8F 96", ""},
    {"address box empty", "1.05", 3, "", "", refused("IP-Adress")},
    {"address box 256", "1.05", 3, "256", "", refused("IP-Adress")},
    {"mask box not a number", "1.05", 5, "x", "", refused("Subnet-Mask")},
    {"gateway box empty", "1.05", 8, "", "", refused("Gateway")},
    {"port 70000", "1.05", 12, "70000", "", portRefused}, {"port empty", "1.05", 12, "", "", portRefused},
    {"port 0", "1.05", 12, "0", "", portRefused},         {"port 00000", "1.05", 12, "00000", "", portRefused},
    {"mask write unanswered", "1.05", -1, "", "8D 8E", "Error 8E: An error occured while sending, data may be lost\rPlease try again.", 0x8E},
};
// clang-format on

// The window as text: the fields in their order, a red one marked '-' and a green one '+';
// every icon column one character a row (G good, B bad, ? unknown, - not set); the rows shown.
class RecordingView : public DiagnosticView {
public:
    void setRowVisible(int row, bool visible) override { rows[row] = visible ? '+' : '-'; }
    void setText(Field field, const QString &text, Tint tint) override
    {
        texts[int(field)] = text + QStringList{"", "-", "+"}[int(tint)];
    }
    void setIcon(Column c, int row, State s) override { icons[int(c)][row] = "GB?"[int(s)]; }
    void setTuner(int row, State state, int code, const QString &name) override
    {
        setIcon(Column::Tuner, row, state);
        tuner += row == 3 ? QString::number(code) + ' ' + name : QString();
    }
    void setMixerClipping(State state) override { mixer = "GB?"[int(state)]; }

    QString rows = QString(16, '-'), texts[10], tuner;
    QString icons[4] = {QString(16, '-'), QString(16, '-'), QString(16, '-'), QString(16, '-')};
    QChar mixer = '-';
};

// Channel 3's tuner reports `tuner`, the others are locked. A status string cut short leaves what
// it doesn't hold unknown; it serves all 16 rows, the hidden ones too. locks: VCO, SERDES, output
// PLL, DAC, eye, mixer clipping; columns: tuner, clipping, ASI 188, ASI sync.
// clang-format off
struct DiagnosticRow { const char *name; int channels; const char *status; int tuner; const char *tunerName, *locks, *columns; };
const DiagnosticRow diagnosticRows[] = {
    {"every bit its own row", 12, "0A80018002000401", 0, "0 Tuner unlocked", "UNLOCKED- LOCKED+ UNLOCKED- LOCKED+  0 B", "GGGBGGGGGGGG---- BGGGGGGGGGGGGGGB BBGBBBBBGBBBBBBB BGBBBBBBBBBBBBBB"},
    {"all set", 12, "FFFFFFFFFFFFFFFF", 1, "1 Tuner Locked", "LOCKED+ LOCKED+ LOCKED+ LOCKED+  15 B", "GGGGGGGGGGGG---- BBBBBBBBBBBBBBBB GGGGGGGGGGGGGGGG GGGGGGGGGGGGGGGG"},
    {"three characters", 12, "F58001", 2, "2 Status Unknown", "LOCKED+ UNLOCKED- LOCKED+ UNLOCKED-  15 B", "GGG?GGGGGGGG---- BGGGGGGG???????? ???????????????? ????????????????"},
    {"one character", 12, "30", 12, "12 I2C NOACKE", "UNLOCKED- UNLOCKED- UNLOCKED- UNLOCKED-  3 ?", "GGG?GGGGGGGG---- ???????????????? ???????????????? ????????????????"},
    {"empty", 12, "", 11, "11 Status Unknown", "UNKNOWN UNKNOWN UNKNOWN UNKNOWN ? ?", "GGG?GGGGGGGG---- ???????????????? ???????????????? ????????????????"},
    {"8 channels", 8, "F5000000FFFFFFFF", 13, "13 Status Unknown", "LOCKED+ UNLOCKED- LOCKED+ UNLOCKED-  15 G", "GGG?GGGG-------- GGGGGGGGGGGGGGGG GGGGGGGGGGGGGGGG GGGGGGGGGGGGGGGG"},
    {"16 channels", 16, "F5000000FFFFFFFF", -1, "-1 Status Unknown", "LOCKED+ UNLOCKED- LOCKED+ UNLOCKED-  15 G", "GGG?GGGGGGGGGGGG GGGGGGGGGGGGGGGG GGGGGGGGGGGGGGGG GGGGGGGGGGGGGGGG"},
};
// clang-format on

} // namespace

class TestLanSettings : public QObject {
    Q_OBJECT

private:
    // Each frame's code in order, a repeat counted once; every frame of the LAN settings must
    // be its golden bytes.
    QString codesSent(bool lanSettings = true) const
    {
        const QByteArray golden = "008DC0A8011400000000 008EFFFFFE0000000000 00A2C0A801FE00000000 "
                                  "008F9C40000000000000 00960000000000000000 00910000000000000000 "
                                  "00920000000000000000 00A10000000000000000 00900000000000000000";
        for (const auto &frame : m_f->sim.frames(-1)) {
            if (lanSettings && !golden.contains(frame.bytes.toHex().toUpper()))
                return "unexpected " + frame.bytes.toHex();
        }
        QStringList codes;
        for (const int code : m_f->sim.frameCodes())
            codes.append(QString::number(code, 16).toUpper());
        return codes.join(' ');
    }

private slots:
    void init()
    {
        m_f.emplace();
        QVERIFY(m_f->start());
        // The restart that ends a save must not bring the headend back in the middle of a test.
        m_f->sim.headend.setTiming({.rawTimeout = {}, .restartDelay = 1h});
    }

    void boxes_data() { addRows(boxRows); }
    void boxes()
    {
        const BoxRow &r = fetchRow(boxRows);
        QString shown = r.keys      ? typeInto(r.box, r.start, r.selected, r.keys)
                        : r.box < 0 ? (checkPort(m_f->ui, r.start) ? r.start : "")
                                    : checkOctet(m_f->ui, r.start).value_or(QString());
        for (const auto &message : m_f->ui.messages) {
            QCOMPARE(message.icon, UserInterface::Icon::Critical);
            shown += message.title + ": " + message.text;
        }
        QCOMPARE(shown, r.shown);
    }

    void lan_data() { addRows(lanRows); }
    void lan()
    {
        const LanRow &r = fetchRow(lanRows);
        m_f->sim.headend.state().lan.gateway = {10, 0, 0, 1};
        m_f->sim.headend.state().lan.port = 40000;
        m_f->sim.headend.setFault({sim::Fault::DropAnswer, r.unanswered, r.unanswered ? -1 : 0});
        QStringList shown;
        ShellState shell;
        bool done = false;
        if (r.box == -2) {
            LanReading reading;
            done = readLanSettings(m_f->exchange(), r.version, reading);
            for (const auto &address : {reading.ip, reading.subnet, reading.gateway})
                shown << (address ? QStringList(address->begin(), address->end()).join('.') : "-");
            shown << reading.port.value_or("-");
        } else {
            const QStringList boxes =
                QStringLiteral("192 168 001 020 255 255 254 000 192 168 001 254").split(' ');
            OctetTexts octets[3];
            for (int i = 0; i < 12; ++i)
                octets[i / 4][i % 4] = i == r.box ? QString(r.text) : boxes[i];
            const QString port = r.box == 12 ? QString(r.text) : QStringLiteral("40000");
            done = saveLanSettings(m_f->exchange(), r.version,
                                   {octets[0], octets[1], octets[2], port}, shell);
        }
        const auto last = m_f->ui.messages.value(m_f->ui.messages.size() - 1);
        shown << (last.text.isEmpty() ? QString() : last.title + ": " + last.text);
        QCOMPARE(shown.join(' ').trimmed(), r.shown);
        QCOMPARE(done, m_f->ui.messages.isEmpty());
        QCOMPARE(codesSent(), QString::fromLatin1(r.codes));
        const ShellState old;
        QCOMPARE(shell.activeHeadendIp + ':' + shell.activeHeadendPort,
                 QByteArray(r.codes).startsWith("8D")
                     ? "192.168.1.20:40000"
                     : old.activeHeadendIp + ':' + old.activeHeadendPort);
    }

    void diagnostics_data() { addRows(diagnosticRows); }
    void diagnostics()
    {
        const DiagnosticRow &r = fetchRow(diagnosticRows);
        m_f.emplace();
        QVERIFY(m_f->start(r.channels));
        sim::DeviceState &state = m_f->sim.headend.state();
        state.diagnostics = {.actualTemperatureRaw = 10, .hoursTotal = 43210};
        state.diagnostics.status = QByteArray::fromHex(r.status);
        state.channels[3].tuner.status = qint16(r.tuner);
        UnitData unit;
        RecordingView view;
        QVERIFY(readDiagnosticData(m_f->exchange(), unit, view) && m_f->ui.messages.isEmpty());
        // Temperatures travel with 16 added.
        QCOMPARE(QStringList(view.texts, view.texts + 9).join(' ') + ' ' + view.mixer,
                 "-6 58 43210 12 " + QString::fromLatin1(r.locks));
        QCOMPARE(QStringList(view.icons, view.icons + 4).join(' '), QString::fromLatin1(r.columns));
        QCOMPARE(view.rows, QString(r.channels, '+').leftJustified(16, '-'));
        QCOMPARE(view.tuner, QString::fromLatin1(r.tunerName));
    }

    // Only the headend's fan options are sent; a clear of the reset counter that the headend
    // did not take leaves the count unread. Option -9 is the clear and read of the counter;
    // shown: the codes sent, the count shown, the last message.
    void fanAndResetCounter()
    {
        // clang-format off
        const std::tuple<int, int, QString> rows[] = {
            {0, 0, "85"}, {2, 0, "85"}, {3, 0, "Error: There is no fan option 4; nothing was sent."},
            {-1, 0, "Error: There is no fan option 0; nothing was sent."}, {-9, 0, "99 9C 0"},
            {-9, 0x99, "99 Error 99: An error occured while sending, data may be lost Please try again."}};
        // clang-format on
        for (const auto &[option, unanswered, shown] : rows) {
            init();
            m_f->sim.headend.state().diagnostics.resetCount = 7;
            m_f->sim.headend.setFault({sim::Fault::DropAnswer, unanswered, unanswered ? -1 : 0});
            RecordingView view;
            const bool done = option == -9 ? resetCounter(m_f->exchange(), view)
                                           : setFan(m_f->exchange(), option);
            const auto last = m_f->ui.messages.value(m_f->ui.messages.size() - 1);
            const QString shownNow =
                codesSent(false) + ' ' + view.texts[int(DiagnosticView::Field::ResetCount)] + ' ' +
                (last.text.isEmpty() ? QString() : last.title + ": " + last.text);
            QCOMPARE(shownNow.simplified(), shown);
            QCOMPARE(done, m_f->ui.messages.isEmpty());
        }
    }

private:
    std::optional<SessionFixture> m_f;
};

QTEST_GUILESS_MAIN(TestLanSettings)
#include "tst_lansettings.moc"
