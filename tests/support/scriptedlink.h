#pragma once

#include "core/link/link.h"

#include <QByteArrayList>
#include <QTimer>

#include <chrono>
#include <functional>

// A link whose far end is the test itself: it records what is written and answers through a
// responder that the test installs.
class ScriptedLink : public keldor::Link {
public:
    using Responder = std::function<void(ScriptedLink &, const QByteArray &)>;

    bool isOpen() const override { return open; }
    bool write(const QByteArray &bytes) override
    {
        if (refusesWrites)
            return false;
        written.append(bytes);
        emit sent(bytes);
        if (responder)
            responder(*this, bytes);
        return true;
    }

    // Delivers bytes from the far end after a delay, as a real link would, from the event loop.
    void reply(const QByteArray &bytes,
               std::chrono::milliseconds delay = std::chrono::milliseconds(0))
    {
        QTimer::singleShot(delay, this, [this, bytes] { emit received(bytes); });
    }
    void drop()
    {
        open = false;
        emit stateChanged();
    }

    bool open = true;
    bool refusesWrites = false;
    QByteArrayList written;
    Responder responder;
};
