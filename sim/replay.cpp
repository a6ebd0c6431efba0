#include "replay.h"

#include "codes.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <limits>

namespace sim {

namespace {

constexpr qsizetype FrameSize = 10;
// Far more than any unit a client sends: an upload block has 1 KiB.
constexpr qsizetype LargestRequest = 64 * 1024;
constexpr qsizetype Sha1HexLength = 40;

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
    return parse(file.readAll(), path, error);
}

bool Replay::parse(const QByteArray &text, const QString &origin, QString *error)
{
    m_steps.clear();
    m_next = 0;
    qint64 requestTime = 0;
    const QByteArrayList lines = text.split('\n');
    for (qsizetype number = 1; number <= lines.size(); ++number) {
        const auto refuse = [&](const QString &problem) {
            *error = QStringLiteral("%1: line %2 %3").arg(origin).arg(number).arg(problem);
            m_steps.clear();
            return false;
        };
        const QByteArray line = lines.at(number - 1).trimmed();
        if (line.isEmpty())
            continue;
        const QJsonObject unit = QJsonDocument::fromJson(line).object();
        const QString direction = unit.value("dir").toString();
        const qint64 time = unit.value("t_ms").toInteger(-1);
        if (time < 0 || (direction != "tx" && direction != "rx"))
            return refuse(QStringLiteral("is no trace line"));
        const QByteArray hex = unit.value("hex").toString().toLatin1();
        const QByteArray bytes = QByteArray::fromHex(hex);
        // fromHex skips what isn't a digit; the bytes must be exactly what the line says.
        if (bytes.toHex() != hex.toLower())
            return refuse(QStringLiteral("holds bytes that aren't hex"));
        if (direction == "tx") {
            ReplayStep step;
            step.request = bytes;
            step.size = bytes.size();
            if (!unit.contains("hex")) {
                const QJsonObject meaning = unit.value("meaning").toObject();
                step.size = meaning.value("size").toInteger(-1);
                step.sha1 = meaning.value("sha1").toString().toLatin1().toLower();
                if (step.size <= 0 || step.size > LargestRequest)
                    return refuse(QStringLiteral("gives a request of %1 bytes").arg(step.size));
                if (step.sha1.size() != Sha1HexLength ||
                    QByteArray::fromHex(step.sha1).toHex() != step.sha1)
                    return refuse(QStringLiteral("gives no SHA-1 of its request"));
            } else if (bytes.isEmpty()) {
                // A write of no bytes puts nothing on the wire: no headend can tell it happened.
                continue;
            }
            m_steps.append(step);
            requestTime = time;
        } else if (!m_steps.isEmpty() && !bytes.isEmpty()) {
            const qint64 after = qMax<qint64>(0, time - requestTime);
            if (after > std::numeric_limits<int>::max())
                return refuse(QStringLiteral("answers %1 ms after its request, later than a "
                                             "replay can wait")
                                  .arg(after));
            m_steps.last().answers.append({std::chrono::milliseconds(after), bytes});
        }
    }
    if (m_steps.isEmpty()) {
        *error = QStringLiteral("%1 holds no request").arg(origin);
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
