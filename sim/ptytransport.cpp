#include "ptytransport.h"

#include "headend.h"
#include "link.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

using namespace std::chrono_literals;

constexpr qsizetype ReadChunk = 4096;
constexpr std::chrono::milliseconds HangUpGrace = 100ms;

} // namespace

PtyTransport::PtyTransport(Headend &headend, QObject *parent)
    : QObject(parent)
    , m_headend(headend)
{
    // A restarting device forgets any half-finished dialogue and what it still meant to send.
    connect(&m_headend, &Headend::wentDown, this, [this] {
        if (m_master < 0)
            return;
        m_pending.clear();
        newLink();
    });
}

PtyTransport::~PtyTransport()
{
    closePair();
}

bool PtyTransport::open(const QString &linkPath)
{
    m_linkPath = linkPath;
    if (!openPair())
        return false;
    newLink();
    return true;
}

bool PtyTransport::openPair()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0)
        return fail(QStringLiteral("posix_openpt"));
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    char name[128];
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0) {
        return fail(QStringLiteral("preparing the pseudo-terminal"));
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // Holding the slave open keeps the master readable while no client has it open.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return fail(m_slavePath);
    termios attributes{};
    tcgetattr(m_slave, &attributes);
    cfmakeraw(&attributes);
    if (tcsetattr(m_slave, TCSANOW, &attributes) != 0)
        return fail(QStringLiteral("raw mode"));
    if (!m_linkPath.isEmpty()) {
        // A link left by an earlier run is replaced; anything else of that name is not ours.
        const QFileInfo existing(m_linkPath);
        if (existing.isSymLink()) {
            QFile::remove(m_linkPath);
        } else if (existing.exists()) {
            errno = EEXIST;
            return fail(m_linkPath);
        }
        if (!QFile::link(m_slavePath, m_linkPath))
            return fail(m_linkPath);
    }
    m_readNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &PtyTransport::readMaster);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &PtyTransport::flushPending);
    return true;
}

void PtyTransport::closePair()
{
    m_readNotifier.reset();
    m_writeNotifier.reset();
    m_pending.clear();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

void PtyTransport::newLink()
{
    m_link = std::make_unique<Link>(m_headend);
    connect(m_link.get(), &Link::transmit, this, &PtyTransport::writeMaster);
    connect(m_link.get(), &Link::hangUp, this, &PtyTransport::hangUp);
}

void PtyTransport::readMaster()
{
    QByteArray bytes;
    char chunk[ReadChunk];
    for (;;) {
        const ssize_t count = ::read(m_master, chunk, sizeof chunk);
        if (count <= 0)
            break;
        bytes.append(chunk, count);
    }
    if (!bytes.isEmpty())
        m_link->receive(bytes);
}

void PtyTransport::writeMaster(const QByteArray &bytes)
{
    m_pending.append(bytes);
    flushPending();
}

// The pty buffer is small; what doesn't fit waits until the client has read some.
void PtyTransport::flushPending()
{
    while (!m_pending.isEmpty()) {
        const ssize_t written = ::write(m_master, m_pending.constData(), m_pending.size());
        if (written < 0)
            break;
        m_pending.remove(0, written);
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

// Closing the master flushes whatever the client has not read yet, so the client gets a moment to
// pick up the last bytes first.
void PtyTransport::hangUp()
{
    QTimer::singleShot(HangUpGrace, this, &PtyTransport::reopen);
}

// Closing the master is what a client on the slave sees as the cable being pulled. A fresh pair
// then stands in for the replugged device.
void PtyTransport::reopen()
{
    closePair();
    if (!openPair()) {
        qWarning("cannot reopen the pseudo-terminal: %s", qPrintable(m_error));
        return;
    }
    newLink();
    emit reopened(m_slavePath);
}

bool PtyTransport::fail(const QString &what)
{
    m_error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
    closePair();
    return false;
}

} // namespace sim
