#include "replay.h"

#include "codes.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace sim {

namespace {

constexpr qsizetype FrameSize = 10;

QByteArray sha1Hex(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

// The device's own reading of a request, as far as one line can tell it.
QString describe(QByteArrayView bytes)
{
    if (bytes == "RM" || bytes == "N")
        return QString::fromLatin1(bytes);
    if (bytes.size() == FrameSize) {
        const quint8 c = quint8(bytes[1]);
        const QString what = answerOf(c)    ? QStringLiteral("read")
                             : payloadOf(c) ? QStringLiteral("write")
                                            : QStringLiteral("frame");
        return QStringLiteral("%1 channel %2 code 0x%3")
            .arg(what)
            .arg(quint8(bytes[0]))
            .arg(c, 2, 16, QLatin1Char('0'));
    }
    return QStringLiteral("%1 bytes").arg(bytes.size());
}

QString expectedText(const ReplayStep &step)
{
    return step.request.isEmpty()
               ? QStringLiteral("a block of %1 bytes with SHA-1 %2")
                     .arg(step.size)
                     .arg(QString::fromLatin1(step.sha1))
               : QStringLiteral("%1 (%2)").arg(QString::fromLatin1(step.request.toHex(' ')),
                                               describe(step.request));
}

} // namespace

bool Replay::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    m_steps.clear();
    m_next = 0;
    qint64 requestTime = 0;
    for (int number = 1; !file.atEnd(); ++number) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QJsonObject unit = QJsonDocument::fromJson(line).object();
        const QString direction = unit.value("dir").toString();
        const qint64 time = unit.value("t_ms").toInteger(-1);
        if (time < 0 || (direction != "tx" && direction != "rx")) {
            *error = QStringLiteral("%1: line %2 is no trace line").arg(path).arg(number);
            return false;
        }
        const QByteArray bytes = QByteArray::fromHex(unit.value("hex").toString().toLatin1());
        if (direction == "tx") {
            ReplayStep step;
            step.request = bytes;
            step.size = bytes.size();
            if (!unit.contains("hex")) {
                const QJsonObject meaning = unit.value("meaning").toObject();
                step.size = meaning.value("size").toInteger();
                step.sha1 = meaning.value("sha1").toString().toLatin1();
            }
            // A write of no bytes puts nothing on the wire: no headend can tell it happened.
            if (step.size == 0)
                continue;
            m_steps.append(step);
            requestTime = time;
        } else if (!m_steps.isEmpty() && !bytes.isEmpty()) {
            m_steps.last().answers.append(
                {std::chrono::milliseconds(qMax<qint64>(0, time - requestTime)), bytes});
        }
    }
    if (m_steps.isEmpty()) {
        *error = QStringLiteral("%1 holds no request").arg(path);
        return false;
    }
    return true;
}

Replay::Match Replay::match(QByteArrayView received) const
{
    if (m_next >= m_steps.size())
        return Match::Differs;
    const ReplayStep &step = m_steps.at(m_next);
    const qsizetype compared = qMin(received.size(), step.size);
    if (!step.request.isEmpty() && !step.request.startsWith(received.first(compared)))
        return Match::Differs;
    if (received.size() < step.size)
        return Match::Incomplete;
    if (step.request.isEmpty() && sha1Hex(received.first(step.size)) != step.sha1)
        return Match::Differs;
    return Match::Matches;
}

QList<ReplayAnswer> Replay::take(QByteArray &received)
{
    const ReplayStep &step = m_steps.at(m_next++);
    received.remove(0, step.size);
    return step.answers;
}

QString Replay::mismatchReport(QByteArrayView received) const
{
    if (m_next >= m_steps.size())
        return QStringLiteral("replay: request %1 goes beyond the recording, which ends after %2 "
                              "requests\n  received %3 (%4)")
            .arg(m_next + 1)
            .arg(m_steps.size())
            .arg(QString::fromLatin1(received.toByteArray().toHex(' ')), describe(received));
    const ReplayStep &step = m_steps.at(m_next);
    const QByteArrayView got = received.first(qMin(received.size(), step.size));
    const QString instead =
        step.request.isEmpty()
            ? QStringLiteral("a block with SHA-1 %1").arg(QString::fromLatin1(sha1Hex(got)))
            : QStringLiteral("%1 (%2)").arg(QString::fromLatin1(got.toByteArray().toHex(' ')),
                                            describe(got));
    QString report = QStringLiteral("replay: request %1 of %2 differs from the recording\n"
                                    "  expected %3\n  received %4")
                         .arg(m_next + 1)
                         .arg(m_steps.size())
                         .arg(expectedText(step), instead);
    // In a long request the eye needs help to find the byte.
    const auto differing =
        std::mismatch(got.begin(), got.end(), step.request.cbegin(), step.request.cend());
    if (!step.request.isEmpty() && step.size > FrameSize && differing.first != got.end())
        report += QStringLiteral("\n  first difference at byte %1 of %2")
                      .arg(differing.first - got.begin() + 1)
                      .arg(step.size);
    return report;
}

QString Replay::missingReport() const
{
    return QStringLiteral("replay: request %1 of %2 never came\n  expected %3")
        .arg(m_next + 1)
        .arg(m_steps.size())
        .arg(expectedText(m_steps.at(m_next)));
}

} // namespace sim
