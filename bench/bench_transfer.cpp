// Measures the long transfers against the time their bytes need on the wire:
//  1. the full read of a 16-channel headend over a pseudo-terminal at 9600 baud, five times,
//     against the bytes both sides actually sent plus the pause the protocol demands before
//     every send;
//  2. a controller upload over the same line, against its bytes plus one pause per block;
//  3. the same upload over loopback TCP without a throttle, against the block pauses alone.
// Both upload bounds also hold the fixed pause for which updateFw shows its success.
// The bytes the client sent come from the simulator's transcript, the bytes it received from
// the link itself. The full read also times every pause the client left before a send, from
// the link's last word (a byte read or written) to the send, and fails when one is shorter
// than the protocol demands; the pause on the wire is never shorter than the one timed here,
// because bytes are read after they arrive and leave after they are written.
#include "core/features/update/updateview.h"
#include "core/features/update/upload.h"
#include "core/model/devicetype.h"
#include "core/model/readunitdata.h"
#include "core/model/unitdata.h"
#include "core/protocol/session.h"

#include "lansession.h"
#include "recordingui.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <limits>
#include <vector>

using namespace keldor;

namespace {

constexpr double lineBytesPerSecond = 960.0; // 9600 baud, 10 bits per byte
constexpr int readRuns = 5;                  // the full read's ratio is their median
constexpr double readTarget = 1.02;

class QuietView : public UpdateView {
public:
    void setTitle(const QString &, Tint) override {}
    void setExplanation(int, const QString &, const QString &, Tint) override {}
    void setProgressMaximum(int) override {}
    void setProgressValue(int) override {}
    void setPercentage(const QString &) override {}
    void setProgressVisible(bool) override {}
    void setActivityTint(Tint) override {}
    void setElapsedTimerRunning(bool) override {}
    void setToolbar(Toolbar) override {}
    void setBackupFile(const QString &) override {}
    bool cancelRequested() const override { return false; }
};

// What the client sent since the transcript was last looked at: bytes and separate sends.
struct Sent {
    qint64 bytes = 0;
    qint64 units = 0;
};

class TranscriptReader {
public:
    explicit TranscriptReader(const QString &path)
        : m_file(path)
    {}

    Sent readNew()
    {
        Sent sent;
        if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly))
            return sent;
        while (m_file.canReadLine() || !m_file.atEnd()) {
            const QJsonObject entry = QJsonDocument::fromJson(m_file.readLine()).object();
            const QString kind = entry.value(QLatin1String("kind")).toString();
            const qint64 size = unitSize(kind, entry);
            if (size > 0) {
                sent.bytes += size;
                ++sent.units;
            }
        }
        return sent;
    }

private:
    static qint64 unitSize(const QString &kind, const QJsonObject &entry)
    {
        if (kind == QLatin1String("open"))
            return 2;
        if (kind == QLatin1String("frame") || kind == QLatin1String("unknown"))
            return 10;
        if (kind == QLatin1String("continue") || kind == QLatin1String("stray-continue"))
            return 1;
        if (kind == QLatin1String("raw") || kind == QLatin1String("noise"))
            return entry.value(QLatin1String("size")).toInteger();
        return 0;
    }

    QFile m_file;
};

// The pauses before the sends on one link, each timed from the link's last word.
class PauseLog {
public:
    explicit PauseLog(Link &link)
    {
        m_clock.start();
        QObject::connect(&link, &Link::received, &link, [this] { m_lastWord = now(); });
        QObject::connect(&link, &Link::sent, &link, [this] {
            const qint64 sentAt = now();
            if (m_lastWord >= 0) {
                m_shortest = qMin(m_shortest, sentAt - m_lastWord);
                m_total += sentAt - m_lastWord;
                ++m_count;
            }
            m_lastWord = sentAt;
        });
    }

    void reset()
    {
        m_shortest = std::numeric_limits<qint64>::max();
        m_total = m_count = 0;
    }
    qint64 count() const { return m_count; }
    double shortestMs() const { return m_shortest / 1e6; }
    double meanMs() const { return m_count ? m_total / 1e6 / double(m_count) : 0; }

private:
    qint64 now() const { return m_clock.nsecsElapsed(); }

    QElapsedTimer m_clock;
    qint64 m_lastWord = -1;
    qint64 m_shortest = std::numeric_limits<qint64>::max();
    qint64 m_total = 0;
    qint64 m_count = 0;
};

double seconds(std::chrono::milliseconds duration)
{
    return std::chrono::duration<double>(duration).count();
}

void printRatio(QTextStream &out, const QString &what, double elapsed, double bound, double target)
{
    out << QStringLiteral("%1: %2 s, bound %3 s, ratio %4 (target <= %5)\n")
               .arg(what)
               .arg(elapsed, 0, 'f', 3)
               .arg(bound, 0, 'f', 3)
               .arg(elapsed / bound, 0, 'f', 3)
               .arg(target, 0, 'f', 2);
    out.flush();
}

int benchPty(QTextStream &out, const QTemporaryDir &dir, const QString &image, qint64 imageSize)
{
    const QString transcript = dir.filePath(QStringLiteral("pty.jsonl"));
    SimProcess sim;
    const QStringList pty = sim.start(
        {"--pty", "--variant", "16", "--baud", "9600", "--transcript", transcript}, "PTY");
    if (pty.size() < 2) {
        out << "could not start headend-sim on a pty\n";
        return 1;
    }
    RecordingUi ui;
    Session session(ui);
    session.usbPorts = [&] {
        return QStringList{pty.at(1)};
    };
    qint64 received = 0;
    QObject::connect(&session.serial, &Link::received, &session.serial,
                     [&](const QByteArray &bytes) { received += bytes.size(); });
    if (!checkDevicePresent(session)) {
        out << "no session on " << pty.at(1) << '\n';
        return 1;
    }
    TranscriptReader reader(transcript);
    reader.readNew();
    PauseLog pauses(session.serial);
    const double mandated = seconds(session.timing.sendPause) * 1e3;
    std::vector<double> ratios;
    for (int run = 0; run < readRuns; ++run) {
        received = 0;
        pauses.reset();
        UnitData unit;
        QElapsedTimer clock;
        clock.start();
        if (!checkDeviceType(session.exchange, unit) || !readUnitData(session.exchange, unit)) {
            out << "the full read failed: " << ui.texts().join(" / ") << '\n';
            return 1;
        }
        const double elapsed = clock.nsecsElapsed() / 1e9;
        const Sent sent = reader.readNew();
        const double bound = (sent.bytes + received) / lineBytesPerSecond +
                             sent.units * seconds(session.timing.sendPause);
        ratios.push_back(elapsed / bound);
        printRatio(
            out,
            QStringLiteral("full read of %1 channels over a pty at 9600 baud (%2 bytes, %3 sends)")
                .arg(unit.maxChannel + 1)
                .arg(sent.bytes + received)
                .arg(sent.units),
            elapsed, bound, readTarget);
        out << QStringLiteral("  %1 pauses before sends: shortest %2 ms, mean %3 ms (mandated "
                              "%4 ms)\n")
                   .arg(pauses.count())
                   .arg(pauses.shortestMs(), 0, 'f', 3)
                   .arg(pauses.meanMs(), 0, 'f', 3)
                   .arg(mandated, 0, 'f', 0);
        if (pauses.shortestMs() < mandated) {
            out << "  a pause was shorter than the protocol demands\n";
            return 1;
        }
    }
    std::sort(ratios.begin(), ratios.end());
    out << QStringLiteral("full read, median of %1 runs: ratio %2 (target <= %3)\n")
               .arg(readRuns)
               .arg(ratios[ratios.size() / 2], 0, 'f', 3)
               .arg(readTarget, 0, 'f', 2);
    out.flush();

    if (imageSize == 0)
        return 0;
    received = 0;
    QuietView updateView;
    QElapsedTimer clock;
    clock.start();
    if (updateFw(session, updateView, image) != UploadResult::Succeeded) {
        out << "the upload over the pty failed: " << ui.texts().join(" / ") << '\n';
        return 1;
    }
    const double elapsed = clock.nsecsElapsed() / 1e9;
    const Sent sent = reader.readNew();
    const qint64 blocks = uploadBlockCount(imageSize);
    const double bound = (sent.bytes + received) / lineBytesPerSecond +
                         blocks * seconds(session.timing.sendPause) +
                         seconds(session.timing.successPause);
    printRatio(out,
               QStringLiteral("upload of %1 KiB over a pty at 9600 baud").arg(imageSize / 1024),
               elapsed, bound, 1.03);
    return 0;
}

int benchTcpUpload(QTextStream &out, const QString &image, qint64 imageSize)
{
    SimProcess sim;
    const QStringList tcp = sim.start({"--tcp", "0"}, QStringLiteral("LISTENING"));
    RecordingUi ui;
    Session session(ui);
    if (!connectToSim(session, tcp, out))
        return 1;
    QuietView view;
    QElapsedTimer clock;
    clock.start();
    if (updateFw(session, view, image) != UploadResult::Succeeded) {
        out << "the upload over TCP failed: " << ui.texts().join(" / ") << '\n';
        return 1;
    }
    const double elapsed = clock.nsecsElapsed() / 1e9;
    const double bound = uploadBlockCount(imageSize) * seconds(session.timing.sendPause) +
                         seconds(session.timing.successPause);
    printRatio(out, QStringLiteral("upload of %1 KiB over loopback TCP").arg(imageSize / 1024),
               elapsed, bound, 1.2);
    return 0;
}

} // namespace

// Arguments: the image size in KiB (default 512); 0 skips the uploads.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const qint64 kib = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 512;
    const qint64 imageSize = qMax<qint64>(0, kib) * 1024;

    QTemporaryDir dir;
    const QString image = dir.filePath(QStringLiteral("KELDOR_FW_BENCH.UC3"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    for (qint64 i = 0; i < imageSize; ++i)
        file.putChar(char((i * 31) & 0xFF));
    file.close();

    int failures = benchPty(out, dir, image, imageSize);
    if (imageSize > 0)
        failures += benchTcpUpload(out, image, imageSize);
    return failures == 0 ? 0 : 1;
}
