#pragma once

#include "pacer.h"
#include "session.h"

#include <QObject>

namespace sim {

class Headend;

// One connection as the device sees it, independent of the transport: a protocol session between
// two pacers that emulate the line speed in each direction.
class Link : public QObject {
    Q_OBJECT

public:
    explicit Link(Headend &headend, QObject *parent = nullptr);

    void receive(const QByteArray &bytes);

signals:
    void transmit(const QByteArray &bytes);
    // The device wants the connection gone; everything it sent before has been transmitted.
    void hangUp();

private:
    void hangUpWhenSent();

    Pacer m_inbound;
    Pacer m_outbound;
    Session m_session;
    bool m_hangUpPending = false;
    bool m_answering = false;
};

} // namespace sim
