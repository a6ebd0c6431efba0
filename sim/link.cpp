#include "link.h"

#include "headend.h"

namespace sim {

Link::Link(Headend &headend, QObject *parent)
    : QObject(parent)
    , m_session(headend, headend.nextConnectionId())
{
    m_inbound.setRate(headend.throttle());
    m_outbound.setRate(headend.throttle());
    connect(&headend, &Headend::throttleChanged, &m_inbound, &Pacer::setRate);
    connect(&headend, &Headend::throttleChanged, &m_outbound, &Pacer::setRate);
    // What the session says while it takes in a request is its answer, which starts on the
    // line when the request's last byte was due there.
    connect(&m_inbound, &Pacer::released, this, [this](const QByteArray &bytes) {
        m_answering = true;
        m_session.receive(bytes);
        m_answering = false;
    });
    connect(&m_session, &Session::output, this, [this](const QByteArray &bytes) {
        if (m_answering)
            m_outbound.push(bytes, m_inbound.lastByteDue());
        else
            m_outbound.push(bytes);
    });
    connect(&m_outbound, &Pacer::released, this, &Link::transmit);
    connect(&m_session, &Session::hangUpRequested, this, &Link::hangUpWhenSent);
    connect(&m_outbound, &Pacer::drained, this, [this] {
        if (std::exchange(m_hangUpPending, false))
            emit hangUp();
    });
}

void Link::receive(const QByteArray &bytes)
{
    m_inbound.push(bytes);
}

void Link::hangUpWhenSent()
{
    if (m_outbound.isIdle())
        emit hangUp();
    else
        m_hangUpPending = true;
}

} // namespace sim
