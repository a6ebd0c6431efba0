#include "core/common/deadline.h"

#include <cmath>

namespace keldor {

namespace {
constexpr double longestSeconds = 7 * 24 * 3600;
} // namespace

QString stageName(Stage stage, int channel)
{
    switch (stage) {
    case Stage::Connect:
        return QStringLiteral("connect");
    case Stage::Proxy:
        return QStringLiteral("proxy");
    case Stage::Identity:
        return QStringLiteral("identity");
    case Stage::Diagnostics:
        return QStringLiteral("diagnostics");
    case Stage::Channel:
        return QStringLiteral("channel %1").arg(channel + 1);
    case Stage::Services:
        return QStringLiteral("services of channel %1").arg(channel + 1);
    case Stage::Report:
        return QStringLiteral("report");
    }
    return {};
}

OperationDeadline::OperationDeadline(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &OperationDeadline::expired);
}

void OperationDeadline::start(milliseconds limit)
{
    m_limit = std::max(limit, milliseconds(1));
    m_deadline = QDeadlineTimer(m_limit, Qt::PreciseTimer);
    m_timer.start(m_limit);
}

void OperationDeadline::stop()
{
    m_timer.stop();
    m_limit = milliseconds(0);
    m_deadline = QDeadlineTimer(QDeadlineTimer::Forever);
}

QDeadlineTimer OperationDeadline::clamp(milliseconds wait) const
{
    const QDeadlineTimer own(wait, Qt::PreciseTimer);
    return isRunning() && m_deadline < own ? m_deadline : own;
}

QString OperationDeadline::timedOutText() const
{
    return QStringLiteral("timed out after %1 s during %2")
        .arg(QString::number(double(m_limit.count()) / 1000.0), m_stage);
}

std::optional<milliseconds> parseDeadlineSeconds(const QString &text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > longestSeconds)
        return std::nullopt;
    return milliseconds(std::max<qint64>(1, std::llround(seconds * 1000)));
}

} // namespace keldor
