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
    connect(&m_inbound, &Pacer::released, &m_session, &Session::receive);
    connect(&m_session, &Session::output, &m_outbound, &Pacer::push);
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
