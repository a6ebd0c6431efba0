#include "link/exchange.h"
#include "link/seriallink.h"
#include "model/unitdata.h"
#include "protocol/devicetype.h"
#include "protocol/parameters.h"

#include "recordingui.h"
#include "scriptedlink.h"

#include <QMap>
#include <QTest>

#include <bit>
#include <limits>

Q_DECLARE_METATYPE(keldor::WriteValue)

using namespace keldor;
using namespace std::chrono_literals;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
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
        if (answer_kind(static_cast<quint8>(code)) == AnswerKind::Text) {
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
        m_ui = std::make_unique<RecordingUi>();
        m_link = std::make_unique<ScriptedLink>();
        m_exchange = std::make_unique<Exchange>(*m_ui, m_timing, m_serial, *m_link);
        m_exchange->setSerialSelected(false);
    }

    void readsDecodeBigEndian_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<double>("expected");
        QTest::addColumn<int>("whole");
        QTest::newRow("serial 0x7A")
            << 0x7A << bytes({0x00, 0x01, 0xE2, 0x40}) << 123456.0 << 123456;
        QTest::newRow("negative 16-bit 0x52") << 0x52 << bytes({0xFF, 0xFE}) << -2.0 << -2;
        QTest::newRow("float 0x51") << 0x51 << bytes({0x43, 0xAD, 0x00, 0x00}) << 346.0 << 346;
        QTest::newRow("byte 0x59") << 0x59 << bytes({0xFF}) << 255.0 << 255;
        QTest::newRow("negative 32-bit 0x61")
            << 0x61 << bytes({0xFF, 0xFF, 0xFF, 0xFF}) << -1.0 << -1;
        // A float answer beyond the whole numbers saturates; NaN has no whole value at all.
        QTest::newRow("float 1e30 0x69")
            << 0x69 << bytes({0x71, 0x49, 0xF2, 0xCA}) << double(std::bit_cast<float>(0x7149F2CAu))
            << std::numeric_limits<qint32>::max();
        QTest::newRow("float NaN 0x69") << 0x69 << bytes({0x7F, 0xC0, 0x00, 0x00}) << qQNaN() << 0;
    }
    void readsDecodeBigEndian()
    {
        QFETCH(int, code);
        QFETCH(QByteArray, answer);
        QFETCH(double, expected);
        QFETCH(int, whole);
        ReadAnswers answers;
        answers.values[code] = answer;
        m_link->responder = std::ref(answers);

        ParamValue value;
        QVERIFY(read_parameter(*m_exchange, 3, static_cast<quint8>(code), 0, value));
        QCOMPARE(value.number, expected);
        QCOMPARE(value.toInt(), whole);
        QCOMPARE(m_link->written, (QByteArrayList{bytes({3, code, 0, 0, 0, 0, 0, 0, 0, 0}), "N"}));
        QVERIFY(m_ui->keepAliveRunning);
        QVERIFY(m_ui->mainWindowEnabled);
        QCOMPARE(m_ui->busyDepth, 0);
    }

    void textReadsTakeTheContinueStep()
    {
        ReadAnswers answers;
        answers.values[0x78] = "1.05";
        answers.values[0x79] = "";
        m_link->responder = std::ref(answers);

        ParamValue value;
        QVERIFY(read_parameter(*m_exchange, 0, 0x78, 0, value));
        QCOMPARE(value.text, QByteArray("1.05"));
        QCOMPARE(m_link->written.size(), 3);
        QCOMPARE(m_link->written.mid(1), (QByteArrayList{"N", "N"}));

        m_link->written.clear();
        QVERIFY(read_parameter(*m_exchange, 0, 0x79, 0, value));
        QCOMPARE(value.text, QByteArray());
        QCOMPARE(m_link->written.mid(1), (QByteArrayList{"N", "N"}));
    }

    void subIndexGoesIntoTheThirdByte()
    {
        QCOMPARE(read_request(0, 0x0B, 7), bytes({0, 0x0B, 7, 0, 0, 0, 0, 0, 0, 0}));
    }

    void writePayloads_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<WriteValue>("value");
        QTest::addColumn<QByteArray>("frame");
        QTest::newRow("float from number")
            << 0x03 << WriteValue(346.0) << bytes({2, 3, 0x43, 0xAD, 0, 0, 0, 0, 0, 0});
        QTest::newRow("float from text") << 0x03 << WriteValue(QString(" 346.00"))
                                         << bytes({2, 3, 0x43, 0xAD, 0, 0, 0, 0, 0, 0});
        QTest::newRow("16-bit negative")
            << 0x65 << WriteValue(qint64(-2)) << bytes({2, 0x65, 0xFF, 0xFE, 0, 0, 0, 0, 0, 0});
        QTest::newRow("16-bit half to even down")
            << 0x07 << WriteValue(QString("6900.5")) << bytes({2, 7, 0x1A, 0xF4, 0, 0, 0, 0, 0, 0});
        QTest::newRow("16-bit half to even up")
            << 0x07 << WriteValue(QString("6901.5")) << bytes({2, 7, 0x1A, 0xF6, 0, 0, 0, 0, 0, 0});
        QTest::newRow("port above 32767")
            << 0x8F << WriteValue(qint64(65535)) << bytes({2, 0x8F, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0});
        QTest::newRow("address above 2^31")
            << 0x8D << WriteValue(qint64((192LL << 24) | (168 << 16) | (1 << 8) | 20))
            << bytes({2, 0x8D, 192, 168, 1, 20, 0, 0, 0, 0});
        QTest::newRow("byte") << 0x73 << WriteValue(qint64(1))
                              << bytes({2, 0x73, 1, 0, 0, 0, 0, 0, 0, 0});
    }
    void writePayloads()
    {
        QFETCH(int, code);
        QFETCH(WriteValue, value);
        QFETCH(QByteArray, frame);
        m_link->responder = [](ScriptedLink &link, const QByteArray &) {
            link.reply("EN", 1ms);
        };
        QVERIFY(set_parameter(*m_exchange, 2, static_cast<quint8>(code), value));
        QCOMPARE(m_link->written, QByteArrayList{frame});
        QVERIFY(m_ui->messages.isEmpty());
    }

    void valuesThatDontFitAreRefusedBeforeSending_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<WriteValue>("value");
        QTest::newRow("16-bit above 32767") << 0x07 << WriteValue(qint64(32768));
        QTest::newRow("16-bit below -32768") << 0x65 << WriteValue(QString("-32769"));
        QTest::newRow("port above 65535") << 0x8F << WriteValue(qint64(65536));
        QTest::newRow("negative port") << 0x8F << WriteValue(qint64(-1));
        QTest::newRow("byte above 255") << 0x06 << WriteValue(qint64(256));
        QTest::newRow("byte negative") << 0x06 << WriteValue(qint64(-1));
        QTest::newRow("byte 255.5 rounds to 256") << 0x06 << WriteValue(255.5);
        QTest::newRow("not a number") << 0x65 << WriteValue(QString("12a"));
        QTest::newRow("empty text") << 0x03 << WriteValue(QString());
        QTest::newRow("32-bit above 2^32-1") << 0x8D << WriteValue(qint64(1LL << 32));
    }
    void valuesThatDontFitAreRefusedBeforeSending()
    {
        QFETCH(int, code);
        QFETCH(WriteValue, value);
        m_ui->keepAliveRunning = true;
        QVERIFY(!set_parameter(*m_exchange, 0, static_cast<quint8>(code), value));
        QVERIFY(m_link->written.isEmpty());
        QCOMPARE(m_ui->messages.size(), 1);
        QCOMPARE(m_ui->messages.first().title, QStringLiteral("Error"));
        QVERIFY(m_ui->keepAliveRunning);
    }

    void listStringGoesInTwoSteps()
    {
        m_link->responder = [](ScriptedLink &link, const QByteArray &bytes) {
            link.reply(bytes.size() == 10 ? "OK" : "EN", 1ms);
        };
        const QByteArray list = bytes({1, 2, 0x12, 0x34, 0xAB, 0xCD});
        QVERIFY(set_parameter(*m_exchange, 4, 0xA0, list));
        QCOMPARE(m_link->written, (QByteArrayList{bytes({4, 0xA0, 1, 2, 0, 0, 0, 0, 0, 0}),
                                                  bytes({0x12, 0x34, 0xAB, 0xCD})}));
    }

    void lateEndOfCommandEndsTheResend()
    {
        // The first "EN" arrives after the wait gave up; it stays in the buffer and the
        // resent frame's wait finds it at once.
        int frames = 0;
        m_link->responder = [&](ScriptedLink &link, const QByteArray &) {
            if (++frames == 1)
                link.reply("EN", m_timing.answerLimit + 50ms);
        };
        QVERIFY(set_parameter(*m_exchange, 0, 0x74, qint64(0)));
        QCOMPARE(frames, 2);
        QCOMPARE(m_ui->texts(), QStringList{"Connection aborted!"});
    }

    void resendWindowEndsInTheErrorMessage()
    {
        QVERIFY(!set_parameter(*m_exchange, 0, 0x03, qint64(1)));
        QVERIFY(m_link->written.size() >= 2);
        for (const QByteArray &frame : m_link->written)
            QCOMPARE(frame, m_link->written.first());
        const auto last = m_ui->messages.last();
        QCOMPARE(last.title, QStringLiteral("Error 3"));
        QCOMPARE(
            last.text,
            QStringLiteral("An error occured while sending, data may be lost\rPlease try again."));
        QCOMPARE(last.icon, UserInterface::Icon::Exclamation);
        QCOMPARE(m_ui->messages.size(), m_link->written.size() + 1);
        QVERIFY(m_ui->mainWindowEnabled);
        QVERIFY(m_ui->keepAliveRunning);
    }

    void failedReadLeavesKeepAliveStopped()
    {
        m_ui->keepAliveRunning = true;
        ParamValue value;
        QVERIFY(!read_parameter(*m_exchange, 0, 0x59, 0, value));
        QVERIFY(!m_ui->keepAliveRunning);
        QVERIFY(m_ui->mainWindowEnabled);
        QCOMPARE(m_ui->texts(), QStringList{"Connection aborted!"});
    }

    void deviceTypeByVersionAndVariant_data()
    {
        QTest::addColumn<QByteArray>("version");
        QTest::addColumn<int>("variant");
        QTest::addColumn<bool>("asksVariant");
        QTest::addColumn<int>("maxChannel");
        QTest::addColumn<int>("deviceVariant");
        QTest::newRow("1.02 keeps 12") << QByteArray("1.02") << 1 << false << 11 << 0;
        QTest::newRow("1.01 keeps 12") << QByteArray("1.01") << 2 << false << 11 << 0;
        QTest::newRow("1.03 variant 0") << QByteArray("1.03") << 0 << true << 11 << 0;
        QTest::newRow("1.03 variant 1") << QByteArray("1.03") << 1 << true << 7 << 1;
        QTest::newRow("1.05 variant 2") << QByteArray("1.05") << 2 << true << 9 << 2;
        QTest::newRow("variant 7 is the 16-channel") << QByteArray("1.05") << 7 << true << 15 << 3;
        QTest::newRow("1.1 compares as text") << QByteArray("1.1") << 3 << true << 15 << 3;
    }
    void deviceTypeByVersionAndVariant()
    {
        QFETCH(QByteArray, version);
        QFETCH(int, variant);
        QFETCH(bool, asksVariant);
        QFETCH(int, maxChannel);
        QFETCH(int, deviceVariant);
        ReadAnswers answers;
        answers.values[0x78] = version;
        answers.values[0xA3] = QByteArray(1, static_cast<char>(variant));
        m_link->responder = std::ref(answers);

        UnitData unit;
        unit.max_channel = 3;
        unit.device_variant = 9;
        QVERIFY(check_devicetype(*m_exchange, unit));
        QCOMPARE(unit.max_channel, maxChannel);
        QCOMPARE(unit.device_variant, deviceVariant);
        QCOMPARE(unit.controller_version, version);
        const bool asked =
            std::any_of(m_link->written.begin(), m_link->written.end(), [](const QByteArray &f) {
                return f.size() == 10 && uchar(f.at(1)) == 0xA3;
            });
        QCOMPARE(asked, asksVariant);
    }

    void deviceTypeFailureKeepsTwelveChannels()
    {
        UnitData unit;
        unit.max_channel = 7;
        QVERIFY(!check_devicetype(*m_exchange, unit));
        QCOMPARE(unit.max_channel, 11);
        QCOMPARE(unit.device_variant, 0);
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
