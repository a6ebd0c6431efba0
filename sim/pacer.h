#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace sim {

// Lets bytes through no faster than a serial line would carry them. The allowance is computed
// from the time elapsed since the line became busy, so rounding never accumulates over a long
// transfer.
class Pacer : public QObject {
    Q_OBJECT

public:
    explicit Pacer(QObject *parent = nullptr);

    // 0 lets everything through at once.
    void setRate(int bytesPerSecond);
    void push(const QByteArray &bytes);
    bool isIdle() const { return m_queue.isEmpty(); }

signals:
    void released(const QByteArray &bytes);
    void drained();

private:
    void release();

    int m_rate = 0;
    QByteArray m_queue;
    QElapsedTimer m_busySince;
    qint64 m_releasedSinceBusy = 0;
    QTimer m_timer;
};

} // namespace sim
