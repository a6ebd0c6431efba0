#pragma once

#include "core/common/timing.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

namespace keldor {

// Where an operation on a headend is; each stage but the first two names a channel or not.
enum class Stage { Connect, Proxy, Identity, Diagnostics, Channel, Services, Report };

// The stage as messages and metrics name it: "connect", "proxy", "identity", "diagnostics",
// "channel 3", "services of channel 3", "report"; channel is 0-based, the text counts from 1.
QString stageName(Stage stage, int channel = 0);

// How long a whole operation may take, and the stage it has reached. The exchange ends every
// wait by the deadline at the latest, so a headend that answers each request just before its
// wait runs out can't hold the operation beyond it; when the deadline passes, expired() fires
// in the operation's own event loop, and the session closes its LAN link there, so a loop that
// would try again stops as well. The operation's steps say where they are (enter) whether or
// not a deadline runs; without start() nothing ever expires.
class OperationDeadline : public QObject {
    Q_OBJECT

public:
    explicit OperationDeadline(QObject *parent = nullptr);

    void start(milliseconds limit);
    void stop();
    bool isRunning() const { return m_limit.count() > 0; }
    bool hasExpired() const { return isRunning() && m_deadline.hasExpired(); }
    milliseconds limit() const { return m_limit; }
    // A wait's own limit from now, cut to the deadline.
    QDeadlineTimer clamp(milliseconds wait) const;

    void enter(Stage stage, int channel = 0)
    {
        m_stage = stageName(stage, channel);
        emit stageEntered(m_stage);
    }
    const QString &stage() const { return m_stage; }
    // What the operator reads when it has expired: "timed out after 300 s during channel 3".
    QString timedOutText() const;

signals:
    void expired();
    // In the operation's thread; one who watches from another thread copies the text.
    void stageEntered(const QString &stage);

private:
    QTimer m_timer;
    QDeadlineTimer m_deadline{QDeadlineTimer::Forever};
    milliseconds m_limit{0};
    QString m_stage = stageName(Stage::Connect);
};

// Seconds as an operator writes them on a command line ("300", "2.5"): more than nothing and at
// most a week, else nothing.
std::optional<milliseconds> parseDeadlineSeconds(const QString &text);

} // namespace keldor
