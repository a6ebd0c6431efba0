#pragma once

#include "registers.h"
#include "replay.h"
#include "transcript.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

namespace sim {

class Headend;
enum class UploadTarget;

// The device's side of one connection: takes the bytes the client sends, answers them and
// applies them to the shared headend state.
class Session : public QObject {
    Q_OBJECT

public:
    Session(Headend &headend, int connection, QObject *parent = nullptr);

    void receive(const QByteArray &bytes);

signals:
    void output(const QByteArray &bytes);
    void hangUpRequested();

private:
    enum class State {
        Idle,
        AwaitContinue, // a number was read; "N" ends the command
        AwaitText,     // a text length was sent; "N" fetches the characters
        AwaitTextEnd,  // the characters were sent; "N" ends the command
        ServiceList,   // IDs of a list string follow
        BulkChannel,   // a 48-byte channel frame of the bulk write follows
        BulkServices,  // the service IDs of that channel follow
        Upload,        // an image block follows
        HungUp,
    };

    static bool isRaw(State state);
    static QString stepName(State state);

    void replayReceive(Replay &replay, const QByteArray &bytes);
    void sendLater(QList<ReplayAnswer> answers, std::chrono::milliseconds sent);
    bool step();
    bool stepIdle();
    bool stepContinue();
    bool stepRaw();
    void handleFrame(const QByteArray &frame);
    void dispatch(const QByteArray &frame);
    void startRead(quint8 code, const QByteArray &answer);
    void startRaw(State state, qsizetype size);
    void finishRaw(const QByteArray &block);
    void finishBulkChannel();
    void finishUpload();
    void abandonRaw();
    void startBabble();
    void babble();
    void send(const QByteArray &bytes);
    void record(TranscriptEntry::Kind kind, const QByteArray &bytes = {}, const QString &what = {});

    Headend &m_headend;
    const int m_connection;
    State m_state = State::Idle;
    QByteArray m_buffer;
    QByteArray *m_capture = nullptr;
    int m_selected = 0;
    QByteArray m_pendingText;

    qsizetype m_rawExpected = 0;
    QTimer m_rawTimeout;

    quint8 m_listMode = 0;
    int m_bulkChannel = 0;
    UploadTarget m_uploadTarget{};
    quint32 m_uploadRemaining = 0;
    QByteArray m_image;

    QTimer m_babbleTimer;
    qint64 m_babbled = 0;
};

} // namespace sim
