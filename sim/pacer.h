#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

namespace sim {

// Lets bytes through no faster than a serial line would carry them. The allowance is computed
// from the time elapsed since the line became busy, so rounding never accumulates over a long
// transfer. Times are the monotonic clock's, in nanoseconds.
class Pacer : public QObject {
    Q_OBJECT

public:
    explicit Pacer(QObject *parent = nullptr);

    // 0 lets everything through at once.
    void setRate(int bytesPerSecond);
    void push(const QByteArray &bytes);
    // Bytes that go on the line no earlier than lineFree: an answer starts when the request's
    // last byte was due, however late this process woke up to release it.
    void push(const QByteArray &bytes, qint64 lineFree);
    bool isIdle() const { return m_queue.isEmpty(); }
    // When the last byte let through was due to have crossed the line.
    qint64 lastByteDue() const;

    static qint64 now();

signals:
    void released(const QByteArray &bytes);
    void drained();

private:
    void release();

    int m_rate = 0;
    QByteArray m_queue;
    qint64 m_busySince = 0;
    qint64 m_releasedSinceBusy = 0;
    QTimer m_timer;
};

} // namespace sim
