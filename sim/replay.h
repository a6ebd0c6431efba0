#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>

namespace sim {

// What the recorded headend sent, and how long after the request it arrived.
struct ReplayAnswer {
    std::chrono::milliseconds after{0};
    QByteArray bytes;
};

// One request of a recorded dialogue and the headend's answers to it.
struct ReplayStep {
    QByteArray request; // empty when the recording kept only its size and hash
    qsizetype size = 0; // the request's length in bytes
    QByteArray sha1;    // hex, for a request recorded as a summary
    QList<ReplayAnswer> answers;
};

// A traffic trace played back from the headend's side: each request must be the one that was
// recorded next, whatever connection it comes on, and gets the answers the headend gave it.
class Replay {
public:
    // Reads a trace file; a line that is no trace line, a summarised request whose size or
    // SHA-1 can't be one, bytes that aren't hex or an answer too late to be waited for refuse
    // the whole trace, named by its line.
    bool load(const QString &path, QString *error);
    // The same for the trace's text; origin names it in the error.
    bool parse(const QByteArray &text, const QString &origin, QString *error);

    enum class Match { Incomplete, Matches, Differs };
    // Compares what a connection has received since its last matched request with the next
    // recorded request.
    Match match(QByteArrayView received) const;
    // Takes the matched request off the front of received and moves on to the next one.
    QList<ReplayAnswer> take(QByteArray &received);
    // Which request differs, what was recorded and what came instead.
    QString mismatchReport(QByteArrayView received) const;
    // The first recorded request that never came, when the dialogue ended before the recording.
    QString missingReport() const;
    bool complete() const { return m_next == m_steps.size(); }

    qsizetype size() const { return m_steps.size(); }
    qsizetype position() const { return m_next; }

private:
    QList<ReplayStep> m_steps;
    qsizetype m_next = 0;
};

} // namespace sim
