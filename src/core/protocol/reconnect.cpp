#include "core/protocol/reconnect.h"

#include "core/common/userinterface.h"

#include <QDeadlineTimer>

namespace keldor {

namespace {

constexpr int progressFull = 100;
constexpr int progressStep = 10;
constexpr int restartSteps = 10;

void startConnection(Session &session, const LanTarget &target)
{
    session.lan.close();
    // A port text that is no port number is tried as port 0, which fails like an unreachable
    // headend and ends in the reconnect message.
    session.lan.connectTo(target.ip, portNumber(target.port).value_or(0));
}

bool reachable(Session &session, const LanTarget &target, const QString &serialPort)
{
    if (session.exchange.serialSelected())
        return SerialLink::portUsable(serialPort);
    if (session.lan.isConnected())
        return true;
    if (session.lan.hasFailed())
        startConnection(session, target);
    return false;
}

} // namespace

bool waitForRestart(Session &session, const LanTarget &target, const QString &serialPort,
                    const QString &progressText)
{
    UserInterface &ui = session.ui;
    Exchange &exchange = session.exchange;
    bool back = false;
    {
        BusyCursor busy(ui);
        ui.showProgress(progressText, progressFull);
        ui.setProgressValue(0);
        // The headend needs this long before it can answer anything.
        for (int step = 0; step < restartSteps; ++step) {
            exchange.waitSeconds(session.timing.restartStep);
            ui.setProgressValue(ui.progressValue() + progressStep);
        }

        if (!exchange.serialSelected())
            startConnection(session, target);

        const QDeadlineTimer limit(session.timing.reconnectLimit, Qt::PreciseTimer);
        while (!back && !limit.hasExpired()) {
            exchange.waitSeconds(session.timing.reconnectPoll);
            back = reachable(session, target, serialPort);
            if (!back) {
                // The bar wraps so that it keeps moving however long the headend takes.
                const int value = ui.progressValue();
                ui.setProgressValue(value < progressFull ? value + progressStep : 0);
            }
        }
        ui.closeProgress();
    }
    if (!back) {
        ui.message(UserInterface::Icon::Critical, QLatin1String(applicationTitle),
                   QStringLiteral("Reconnect to Headend failed, please try manually!"));
    }
    return back;
}

} // namespace keldor
