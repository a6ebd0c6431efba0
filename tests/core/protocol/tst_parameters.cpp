#include "core/link/exchange.h"
#include "core/link/seriallink.h"
#include "core/model/devicetype.h"
#include "core/model/unitdata.h"
#include "core/protocol/parameters.h"
#include "core/protocol/session.h"
#include "sim/codes.h"

#include "recordingui.h"
#include "scriptedlink.h"

#include <QMap>
#include <QTest>

#include <limits>

using namespace keldor;
using namespace std::chrono_literals;

namespace {

QByteArray frame(int channel, int code, const char *payloadHex = "")
{
    return (QByteArray(1, char(channel)) + char(code) + QByteArray::fromHex(payloadHex))
        .leftJustified(10, '\0');
}

// Answers reads the way a headend does: the value, then "EN" after the continue request;
// a text answers its length, its characters after the first "N" and "EN" after the second.
struct ReadAnswers {
    QMap<int, QByteArray> values; // by code
    QList<QByteArray> pending;

    void operator()(ScriptedLink &link, const QByteArray &request)
    {
        if (request == "N") {
            if (!pending.isEmpty())
                link.reply(pending.takeFirst(), 1ms);
            return;
        }
        const int code = static_cast<uchar>(request.at(1));
        const QByteArray value = values.value(code);
        if (answerKind(static_cast<quint8>(code)) == AnswerKind::Text) {
            link.reply(QByteArray(1, static_cast<char>(value.size())), 1ms);
            if (!value.isEmpty())
                pending.append(value);
        } else {
            link.reply(value, 1ms);
        }
        pending.append("EN");
    }
};

} // namespace

class TestParameters : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_timing = Timing::fast();
        m_ui = std::make_unique<RecordingUi>();
        m_link = std::make_unique<ScriptedLink>();
        m_exchange = std::make_unique<Exchange>(*m_ui, m_timing, m_serial, *m_link);
        m_exchange->setSerialSelected(false);
        followExchange(*m_exchange, *m_ui);
    }

    void readsDecodeBigEndian()
    {
        // A float answer beyond the whole numbers saturates; NaN has no whole value at all.
        constexpr int max = std::numeric_limits<qint32>::max();
        // clang-format off
        struct { int code; const char *answer; double number; int whole; } rows[]{
            {0x7A, "0001E240", 123456, 123456}, {0x52, "FFFE", -2, -2}, {0x51, "43AD0000", 346, 346},
            {0x59, "FF", 255, 255}, {0x61, "FFFFFFFF", -1, -1}, {0x69, "7149F2CA", 1.0e30f, max}, {0x69, "7FC00000", qQNaN(), 0}};
        // clang-format on
        for (const auto &r : rows) {
            init();
            ReadAnswers answers;
            answers.values[r.code] = QByteArray::fromHex(r.answer);
            m_link->responder = std::ref(answers);
            ParamValue value;
            QVERIFY(readParameter(*m_exchange, 3, static_cast<quint8>(r.code), 0, value));
            QCOMPARE(value.number, r.number);
            QCOMPARE(value.toInt(), r.whole);
            QCOMPARE(m_link->written, (QByteArrayList{frame(3, r.code), "N"}));
            QVERIFY(m_ui->keepAliveRunning && m_ui->mainWindowEnabled && m_ui->busyDepth == 0);
        }
    }

    void textReadsTakeTheContinueStep()
    {
        QCOMPARE(readRequest(0, 0x0B, 7), frame(0, 0x0B, "07"));
        ReadAnswers answers;
        answers.values[0x78] = "1.05";
        m_link->responder = std::ref(answers);
        ParamValue value;
        for (int code : {0x78, 0x79}) {
            m_link->written.clear();
            QVERIFY(readParameter(*m_exchange, 0, quint8(code), 0, value));
            QCOMPARE(value.text, answers.values.value(code));
            QCOMPARE(m_link->written, (QByteArrayList{frame(0, code), "N", "N"}));
        }

        // A text that comes in the pause before its "N" was not asked for, even when its length
        // fits.
        m_timing.sendPause = 40ms;
        m_link->responder = [](ScriptedLink &link, const QByteArray &request) {
            if (request != "N")
                link.reply("\x04"), link.reply("1.05", 20ms);
        };
        QVERIFY(!readParameter(*m_exchange, 0, 0x78, 0, value));
        QCOMPARE(m_ui->texts(), QStringList{"The headend's answer was garbled; it was not used.\r"
                                            "Please try again."});
    }

    void writePayloads()
    {
        // Halves round to the even neighbour; ports and addresses use the unsigned range. A
        // value that does not fit (no payload) is refused before anything is sent.
        // clang-format off
        struct { int code; WriteValue value; const char *payload; } rows[]{
            {0x03, 346.0, "43AD0000"}, {0x03, QString(" 346.00"), "43AD0000"}, {0x03, double(std::numeric_limits<float>::max()), "7F7FFFFF"},
            {0x65, qint64(-2), "FFFE"}, {0x07, QString("6900.5"), "1AF4"}, {0x07, QString("6901.5"), "1AF6"}, {0x8F, qint64(65535), "FFFF"},
            {0x8D, qint64(0xC0A80114), "C0A80114"}, {0x73, qint64(1), "01"},
            {0x07, qint64(32768), nullptr}, {0x65, QString("-32769"), nullptr}, {0x8F, qint64(65536), nullptr},
            {0x8F, qint64(-1), nullptr}, {0x06, qint64(256), nullptr}, {0x06, qint64(-1), nullptr},
            {0x06, 255.5, nullptr}, {0x65, QString("12a"), nullptr}, {0x03, QString(), nullptr}, {0x8D, qint64(1LL << 32), nullptr}};
        // clang-format on
        for (const auto &r : rows) {
            init();
            m_ui->keepAliveRunning = true;
            m_link->responder = [](ScriptedLink &link, const QByteArray &) {
                link.reply("EN", 1ms);
            };
            QCOMPARE(setParameter(*m_exchange, 2, static_cast<quint8>(r.code), r.value),
                     !!r.payload);
            QCOMPARE(m_link->written,
                     r.payload ? QByteArrayList{frame(2, r.code, r.payload)} : QByteArrayList{});
            QVERIFY(r.payload
                        ? m_ui->messages.isEmpty()
                        : m_ui->messages.size() == 1 && m_ui->messages.first().title == "Error" &&
                              m_ui->keepAliveRunning);
        }

        init();
        m_link->responder = [](ScriptedLink &link, const QByteArray &bytes) {
            link.reply(bytes.size() == 10 ? "OK" : "EN", 1ms);
        };
        QVERIFY(setParameter(*m_exchange, 4, 0xA0, QByteArray::fromHex("01021234ABCD")));
        QCOMPARE(m_link->written,
                 (QByteArrayList{frame(4, 0xA0, "0102"), QByteArray::fromHex("1234ABCD")}));

        init();
        // The first "EN" arrives after the wait gave up; it stays in the buffer and the
        // resent frame's wait finds it at once.
        int frames = 0;
        m_link->responder = [&](ScriptedLink &link, const QByteArray &) {
            if (++frames == 1)
                link.reply("EN", m_timing.answerLimit + 50ms);
        };
        QVERIFY(setParameter(*m_exchange, 0, 0x74, qint64(0)));
        QCOMPARE(frames, 2);
        QCOMPARE(m_ui->texts(), QStringList{"Connection aborted!"});
    }

    void tableAgreesWithTheHeadendsOwn()
    {
        // The simulator keeps its own table; where the two disagree on a wire format, one of
        // them misreads the headend. Commands and transfers the simulator decodes by hand.
        // Indexed by the simulator's enumerators, in their order.
        constexpr AnswerKind answers[]{AnswerKind::Byte, AnswerKind::Int16, AnswerKind::Int32,
                                       AnswerKind::Float, AnswerKind::Text};
        constexpr PayloadKind payloads[]{PayloadKind::Byte, PayloadKind::Int16, PayloadKind::Port16,
                                         PayloadKind::Int32, PayloadKind::Float};
        const auto answerOf = [&](quint8 code) {
            const auto answer = sim::answerOf(code);
            return answer ? std::optional(answers[int(*answer)]) : std::nullopt;
        };
        const auto payloadOf = [&](quint8 code) {
            const auto payload = sim::payloadOf(code);
            return payload ? std::optional(payloads[int(*payload)]) : std::nullopt;
        };
        for (int c = 0; c <= 0xFF; ++c) {
            const auto code = static_cast<quint8>(c);
            const Parameter *parameter = findParameter(code);
            const QByteArray where = "code " + codeHex(code).toLatin1();
            const bool read = parameter && parameter->isRead();
            const bool write = parameter && parameter->direction == Direction::Write;
            QVERIFY2(answerOf(code) == (read ? std::optional(parameter->answer) : std::nullopt),
                     where);
            QVERIFY2(payloadOf(code) == (write ? std::optional(parameter->payload) : std::nullopt),
                     where);
            QCOMPARE(isReadCode(code), read);
        }
        QCOMPARE(findParameter(sim::code::Close)->direction, Direction::Command);
        QCOMPARE(findParameter(sim::code::StoreFpga)->direction, Direction::Command);
        for (quint8 code : {sim::code::UploadController, sim::code::UploadFpga,
                            sim::code::BulkWrite, sim::code::ServiceListString})
            QCOMPARE(findParameter(code)->direction, Direction::Transfer);
        QCOMPARE(payloadKind(sim::code::ServiceListString), PayloadKind::ListText);
    }

    void deviceTypeByVersionAndVariant()
    {
        // Versions compare as texts; variant 7 is the 16-channel headend. An empty version is
        // a failed read: twelve channels.
        // clang-format off
        struct { const char *version; int variant; bool asksVariant; int maxChannel, deviceVariant; } rows[]{
            {"1.02", 1, false, 11, 0}, {"1.01", 2, false, 11, 0}, {"1.03", 0, true, 11, 0},
            {"1.03", 1, true, 7, 1}, {"1.05", 2, true, 9, 2}, {"1.05", 7, true, 15, 3}, {"1.1", 3, true, 15, 3}, {"", 1, false, 11, 0}};
        // clang-format on
        for (const auto &r : rows) {
            init();
            ReadAnswers answers;
            answers.values[0x78] = r.version;
            answers.values[0xA3] = QByteArray(1, static_cast<char>(r.variant));
            if (*r.version)
                m_link->responder = std::ref(answers);
            UnitData unit;
            unit.maxChannel = 3;
            unit.deviceVariant = 9;
            QCOMPARE(checkDeviceType(*m_exchange, unit), *r.version != 0);
            QCOMPARE(unit.maxChannel, r.maxChannel);
            QCOMPARE(unit.deviceVariant, r.deviceVariant);
            QCOMPARE(unit.controllerVersion, QByteArray(r.version));
            QCOMPARE(m_link->written.contains(frame(0, 0xA3)), r.asksVariant);
        }
    }

private:
    Timing m_timing = Timing::fast();
    SerialLink m_serial;
    std::unique_ptr<RecordingUi> m_ui;
    std::unique_ptr<ScriptedLink> m_link;
    std::unique_ptr<Exchange> m_exchange;
};

QTEST_GUILESS_MAIN(TestParameters)
#include "tst_parameters.moc"
