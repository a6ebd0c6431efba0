#include "session.h"

#include "bigendian.h"
#include "codes.h"
#include "headend.h"
#include "replay.h"

#include <chrono>

namespace sim {

namespace {

using namespace std::chrono_literals;

constexpr qsizetype FrameSize = 10;
constexpr quint8 HighestChannel = MaxChannels - 1;
constexpr qsizetype ChannelFrameSize = 48;
constexpr quint32 UploadBlockSize = 1024;
// The device counts the blocks of an image in a signed 16-bit number.
constexpr quint64 MaxUploadBlocks = 32767;
constexpr int MaxTextLength = 255;

constexpr std::chrono::milliseconds BabblePeriod = 10ms;
constexpr qint64 BabbleChunk = 4 * 1024;
// A babbling device must not take the test machine down with it.
constexpr qint64 BabbleLimit = 10 * 1024 * 1024;

const QByteArray Ok = QByteArrayLiteral("OK");
const QByteArray End = QByteArrayLiteral("EN");
const QByteArray GoAhead = QByteArrayLiteral("G");

// Bytes that may open a unit in idle state: "RM", "N" or a frame's channel byte.
bool canStartUnit(char byte)
{
    return byte == 'R' || byte == 'N' || quint8(byte) <= HighestChannel;
}

bool isKnown(const QByteArray &frame)
{
    using namespace code;
    const quint8 c = quint8(frame[1]);
    switch (c) {
    case Close:
        return frame.mid(2).count('\0') == FrameSize - 2;
    case BulkWrite:
    case UploadController:
    case UploadFpga:
    case StoreFpga:
    case ServiceListString:
        return true;
    default:
        return answerOf(c) || payloadOf(c);
    }
}

} // namespace

Session::Session(Headend &headend, int connection, QObject *parent)
    : QObject(parent)
    , m_headend(headend)
    , m_connection(connection)
{
    m_rawTimeout.setSingleShot(true);
    connect(&m_rawTimeout, &QTimer::timeout, this, &Session::abandonRaw);
    connect(&m_babbleTimer, &QTimer::timeout, this, &Session::babble);
}

void Session::receive(const QByteArray &bytes)
{
    if (m_state == State::HungUp || !m_headend.isOnline())
        return;
    if (Replay *replay = m_headend.replay()) {
        replayReceive(*replay, bytes);
        return;
    }
    m_buffer.append(bytes);
    while (step()) {
    }
    const std::optional<std::chrono::milliseconds> abandonAfter = m_headend.timing().rawTimeout;
    if (isRaw(m_state) && abandonAfter)
        m_rawTimeout.start(*abandonAfter);
    else
        m_rawTimeout.stop();
}

void Session::replayReceive(Replay &replay, const QByteArray &bytes)
{
    m_buffer.append(bytes);
    while (!m_buffer.isEmpty() && !m_headend.replayFailed()) {
        switch (replay.match(m_buffer)) {
        case Replay::Match::Incomplete:
            return;
        case Replay::Match::Differs:
            m_headend.failReplay(replay.mismatchReport(m_buffer));
            m_state = State::HungUp;
            return;
        case Replay::Match::Matches:
            sendLater(replay.take(m_buffer), {});
            break;
        }
    }
}

// The answers keep the pauses the recorded headend made: a client that takes "OK" and "EN"
// as two steps must not get them as one.
void Session::sendLater(QList<ReplayAnswer> answers, std::chrono::milliseconds sent)
{
    if (answers.isEmpty())
        return;
    const ReplayAnswer next = answers.takeFirst();
    QTimer::singleShot(qMax(next.after - sent, std::chrono::milliseconds(0)), this,
                       [this, next, answers = std::move(answers)] {
                           if (m_headend.replayFailed())
                               return;
                           send(next.bytes);
                           sendLater(answers, next.after);
                       });
}

bool Session::isRaw(State state)
{
    return state == State::ServiceList || state == State::BulkChannel ||
           state == State::BulkServices || state == State::Upload;
}

QString Session::stepName(State state)
{
    switch (state) {
    case State::ServiceList:
        return QStringLiteral("service-list");
    case State::BulkChannel:
        return QStringLiteral("bulk-channel");
    case State::BulkServices:
        return QStringLiteral("bulk-services");
    case State::Upload:
        return QStringLiteral("upload-block");
    default:
        return {};
    }
}

bool Session::step()
{
    switch (m_state) {
    case State::Idle:
        return stepIdle();
    case State::AwaitContinue:
    case State::AwaitText:
    case State::AwaitTextEnd:
        return stepContinue();
    case State::ServiceList:
    case State::BulkChannel:
    case State::BulkServices:
    case State::Upload:
        return stepRaw();
    case State::HungUp:
        m_buffer.clear();
        return false;
    }
    return false;
}

bool Session::stepIdle()
{
    if (m_buffer.isEmpty())
        return false;
    const char first = m_buffer[0];
    if (first == 'R') {
        if (m_buffer.size() < 2)
            return false;
        if (m_buffer[1] == 'M') {
            m_buffer.remove(0, 2);
            record(TranscriptEntry::Kind::Open, QByteArrayLiteral("RM"));
            switch (m_headend.strike(std::nullopt)) {
            case Fault::Silent:
                break;
            case Fault::LateOk:
                QTimer::singleShot(m_headend.fault().delay, this, [this] { send(Ok); });
                break;
            default:
                // A slow headend is slow with its answers to requests; the opening is none.
                emit output(Ok);
                break;
            }
            return true;
        }
    } else if (first == 'N') {
        m_buffer.remove(0, 1);
        record(TranscriptEntry::Kind::StrayContinue, QByteArrayLiteral("N"));
        return true;
    } else if (quint8(first) <= HighestChannel) {
        if (m_buffer.size() < FrameSize)
            return false;
        const QByteArray frame = m_buffer.left(FrameSize);
        m_buffer.remove(0, FrameSize);
        handleFrame(frame);
        return true;
    }
    qsizetype noise = 1;
    while (noise < m_buffer.size() && !canStartUnit(m_buffer[noise]))
        ++noise;
    record(TranscriptEntry::Kind::Noise, m_buffer.left(noise));
    m_buffer.remove(0, noise);
    return true;
}

// Anything but "N" means the client gave up on the read; the bytes are taken as a new unit.
bool Session::stepContinue()
{
    if (m_buffer.isEmpty())
        return false;
    if (m_buffer[0] != 'N') {
        m_state = State::Idle;
        return true;
    }
    m_buffer.remove(0, 1);
    record(TranscriptEntry::Kind::Continue, QByteArrayLiteral("N"));
    if (m_state == State::AwaitText) {
        send(std::exchange(m_pendingText, {}));
        m_state = State::AwaitTextEnd;
    } else {
        send(End);
        m_state = State::Idle;
    }
    return true;
}

bool Session::stepRaw()
{
    if (m_buffer.size() < m_rawExpected)
        return false;
    const QByteArray block = m_buffer.left(m_rawExpected);
    m_buffer.remove(0, m_rawExpected);
    finishRaw(block);
    return true;
}

void Session::handleFrame(const QByteArray &frame)
{
    if (!isKnown(frame)) {
        record(TranscriptEntry::Kind::Unknown, frame);
        return;
    }
    record(TranscriptEntry::Kind::Frame, frame);
    switch (m_headend.strike(quint8(frame[1]))) {
    case Fault::Silent:
    case Fault::DropAnswer:
        return;
    case Fault::Garbage:
        send(m_headend.fault().garbage);
        dispatch(frame);
        return;
    case Fault::LateAnswer: {
        QByteArray answer;
        m_capture = &answer;
        dispatch(frame);
        m_capture = nullptr;
        QTimer::singleShot(m_headend.fault().delay, this, [this, answer] { send(answer); });
        return;
    }
    case Fault::Disconnect: {
        QByteArray answer;
        m_capture = &answer;
        dispatch(frame);
        m_capture = nullptr;
        send(answer.left(answer.size() / 2));
        m_state = State::HungUp;
        m_buffer.clear();
        m_rawTimeout.stop();
        emit hangUpRequested();
        return;
    }
    case Fault::Babble:
        dispatch(frame);
        startBabble();
        return;
    default:
        dispatch(frame);
        return;
    }
}

void Session::dispatch(const QByteArray &frame)
{
    using namespace code;
    const quint8 c = quint8(frame[1]);
    const QByteArray payload = frame.mid(2);
    switch (c) {
    case Close:
        return;
    case BulkWrite:
        m_bulkChannel = 0;
        send(GoAhead);
        startRaw(State::BulkChannel, ChannelFrameSize);
        return;
    case UploadController:
    case UploadFpga: {
        const quint32 length = fromBigEndian32(payload.constData());
        // An image it can't count is refused: no "OK", and the device stays idle.
        if ((quint64{length} + UploadBlockSize - 1) / UploadBlockSize > MaxUploadBlocks)
            return;
        m_uploadTarget = c == UploadController ? UploadTarget::Controller : UploadTarget::Fpga;
        m_uploadRemaining = length;
        m_image.clear();
        send(Ok);
        if (m_uploadRemaining == 0)
            finishUpload();
        else
            startRaw(State::Upload, qMin(UploadBlockSize, m_uploadRemaining));
        return;
    }
    case StoreFpga:
        send(Ok);
        QTimer::singleShot(m_headend.timing().storeDelay, this, [this] { send(End); });
        return;
    case ServiceListString: {
        m_listMode = quint8(payload[0]);
        const int count = quint8(payload[1]);
        send(Ok);
        // An empty list completes at once: the next step takes zero bytes.
        startRaw(State::ServiceList, 2 * count);
        return;
    }
    case Restart:
        send(End);
        m_headend.restart();
        return;
    default:
        break;
    }
    Address address{quint8(frame[0]), m_selected, quint8(payload[0])};
    DeviceState &state = m_headend.state();
    if (const std::optional<QByteArray> answer = readRegister(state, c, address)) {
        startRead(c, *answer);
    } else if (writeRegister(state, c, address, payload)) {
        m_selected = address.selected;
        send(End);
    }
}

void Session::startRead(quint8 c, const QByteArray &answer)
{
    if (answerOf(c) == Answer::Text) {
        m_pendingText = answer.left(MaxTextLength);
        send(QByteArray(1, char(m_pendingText.size())));
        m_state = State::AwaitText;
    } else {
        send(answer);
        m_state = State::AwaitContinue;
    }
}

void Session::startRaw(State state, qsizetype size)
{
    m_state = state;
    m_rawExpected = size;
}

void Session::finishRaw(const QByteArray &block)
{
    DeviceState &state = m_headend.state();
    switch (m_state) {
    case State::ServiceList: {
        if (!block.isEmpty())
            record(TranscriptEntry::Kind::Raw, block, stepName(m_state));
        Channel &channel = state.channels[m_selected];
        channel.serviceMode = m_listMode;
        channel.serviceIds = decodeServiceIds(block);
        m_state = State::Idle;
        send(End);
        return;
    }
    case State::BulkChannel: {
        record(TranscriptEntry::Kind::Raw, block, stepName(m_state));
        applyChannelFrame(state.channels[m_bulkChannel], block);
        const int services = serviceCountOf(block);
        if (services > 0) {
            send(GoAhead);
            startRaw(State::BulkServices, 2 * services);
        } else {
            finishBulkChannel();
        }
        return;
    }
    case State::BulkServices:
        record(TranscriptEntry::Kind::Raw, block, stepName(m_state));
        state.channels[m_bulkChannel].serviceIds = decodeServiceIds(block);
        finishBulkChannel();
        return;
    case State::Upload:
        record(TranscriptEntry::Kind::Raw, block, stepName(m_state));
        m_image.append(block);
        m_uploadRemaining -= quint32(block.size());
        send(Ok);
        if (m_uploadRemaining == 0)
            finishUpload();
        else
            startRaw(State::Upload, qMin(UploadBlockSize, m_uploadRemaining));
        return;
    default:
        return;
    }
}

void Session::finishBulkChannel()
{
    if (++m_bulkChannel < m_headend.state().channelCount()) {
        send(GoAhead);
        startRaw(State::BulkChannel, ChannelFrameSize);
    } else {
        m_state = State::Idle;
        send(End);
    }
}

void Session::finishUpload()
{
    m_headend.storeImage(m_uploadTarget, std::exchange(m_image, {}), m_connection);
    m_state = State::Idle;
    send(End);
}

// Only when asked for (--upload-timeout). Nothing says that a headend gives up a transfer: a
// client that stops in the middle leaves it waiting, and whatever comes next is taken as data.
void Session::abandonRaw()
{
    record(TranscriptEntry::Kind::RawTimeout, m_buffer, stepName(m_state));
    m_buffer.clear();
    m_image.clear();
    m_state = State::Idle;
}

void Session::startBabble()
{
    if (m_babbleTimer.isActive())
        return;
    // The noise follows the answer at once, in the same stream, as a broken device's would.
    babble();
    m_babbleTimer.start(BabblePeriod);
}

void Session::babble()
{
    static const QByteArray chunk = QByteArrayLiteral("\x55\xAA").repeated(BabbleChunk / 2);
    send(chunk);
    m_babbled += chunk.size();
    if (m_babbled >= BabbleLimit)
        m_babbleTimer.stop();
}

void Session::send(const QByteArray &bytes)
{
    if (bytes.isEmpty() || m_state == State::HungUp || m_headend.fault().fault == Fault::Silent)
        return;
    if (m_capture) {
        m_capture->append(bytes);
    } else if (m_headend.fault().fault == Fault::Slow) {
        // The client waits for each answer before it asks again, so they can't overtake.
        QTimer::singleShot(m_headend.fault().delay, this, [this, bytes] {
            if (m_state != State::HungUp)
                emit output(bytes);
        });
    } else {
        emit output(bytes);
    }
}

void Session::record(TranscriptEntry::Kind kind, const QByteArray &bytes, const QString &what)
{
    TranscriptEntry entry;
    entry.connection = m_connection;
    entry.kind = kind;
    entry.bytes = bytes;
    entry.what = what;
    m_headend.record(std::move(entry));
}

} // namespace sim
