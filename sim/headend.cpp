#include "headend.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QTimer>

namespace sim {

Headend::Headend(QObject *parent)
    : QObject(parent)
{
    m_clock.start();
}

Fault Headend::strike(std::optional<quint8> code)
{
    const bool opening = !code.has_value();
    switch (m_fault.fault) {
    case Fault::None:
        return Fault::None;
    case Fault::Silent:
        return Fault::Silent;
    case Fault::LateOk:
        if (!opening)
            return Fault::None;
        break;
    default:
        if (opening || (m_fault.code >= 0 && m_fault.code != *code))
            return Fault::None;
        break;
    }
    if (m_fault.count == 0 || ++m_fault.seen % qMax(1, m_fault.every) != 0)
        return Fault::None;
    if (m_fault.skip > 0) {
        --m_fault.skip;
        return Fault::None;
    }
    if (m_fault.count > 0)
        --m_fault.count;
    return m_fault.fault;
}

void Headend::setThrottle(int bytesPerSecond)
{
    m_throttle = qMax(0, bytesPerSecond);
    emit throttleChanged(m_throttle);
}

bool Headend::setTranscriptFile(const QString &path)
{
    m_transcriptFile.close();
    m_transcriptFile.setFileName(path);
    return m_transcriptFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void Headend::record(TranscriptEntry entry)
{
    entry.timeMs = m_clock.elapsed();
    if (m_transcriptFile.isOpen()) {
        // Flushed per line so that a test reading the file sees what happened so far.
        m_transcriptFile.write(QJsonDocument(toJson(entry)).toJson(QJsonDocument::Compact) + '\n');
        m_transcriptFile.flush();
    }
    m_transcript.append(std::move(entry));
}

QByteArray Headend::image(UploadTarget target) const
{
    return target == UploadTarget::Controller ? m_controllerImage : m_fpgaImage;
}

void Headend::storeImage(UploadTarget target, const QByteArray &image, int connection)
{
    (target == UploadTarget::Controller ? m_controllerImage : m_fpgaImage) = image;
    TranscriptEntry entry;
    entry.connection = connection;
    entry.kind = TranscriptEntry::Kind::UploadDone;
    entry.what =
        target == UploadTarget::Controller ? QStringLiteral("controller") : QStringLiteral("fpga");
    entry.size = image.size();
    entry.sha256 = QCryptographicHash::hash(image, QCryptographicHash::Sha256);
    record(std::move(entry));
}

// The acknowledgement must reach the client before the links go, hence the short drop delay.
void Headend::failReplay(const QString &report)
{
    if (std::exchange(m_replayFailed, true))
        return;
    emit replayEnded(report);
}

void Headend::restart()
{
    if (m_restarting)
        return;
    m_restarting = true;
    QTimer::singleShot(m_timing.restartDrop, this, [this] {
        m_online = false;
        emit wentDown();
        QTimer::singleShot(m_timing.restartDelay, this, [this] {
            m_online = true;
            m_restarting = false;
            if (m_state.diagnostics.resetCount < 255)
                ++m_state.diagnostics.resetCount;
            emit cameUp();
        });
    });
}

} // namespace sim
