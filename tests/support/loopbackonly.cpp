// Linked into every test and benchmark: from the first instruction on, neither the binary nor
// any program it starts (keldor-ctl, headend-sim, keldor-station) may reach an address outside
// 127.0.0.0/8. The LAN link ends the process before such a connection or name lookup starts.
#include <QByteArray>
#include <QtGlobal>

namespace {

void loopbackOnly()
{
    qputenv("KELDOR_LOOPBACK_ONLY", "1");
}

} // namespace

Q_CONSTRUCTOR_FUNCTION(loopbackOnly)
