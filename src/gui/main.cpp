#include "core/features/shell/settingsstore.h"
#include "gui/app/mainwindow.h"
#include "gui/app/widgetui.h"
#include "gui/station/station.h"
#include "gui/traffic/trafficmenu.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

namespace {

void nameApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("KELDOR"));
    QCoreApplication::setApplicationName(QStringLiteral("KELDOR Station"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3 (Qt %4)")
                                                .arg(KELDOR_VERSION_MAJOR)
                                                .arg(KELDOR_VERSION_MINOR)
                                                .arg(KELDOR_VERSION_PATCH)
                                                .arg(QLatin1String(qVersion())));
}

void describeOptions(QCommandLineParser &options, const QCommandLineOption &trace)
{
    options.setApplicationDescription(
        QStringLiteral("Configures and maintains KELDOR satellite-to-cable headends."));
    options.addHelpOption();
    options.addVersionOption();
    options.addOption(trace);
}

// Help and version are printed and the program leaves; neither needs a display.
bool printsAndLeaves(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray word(argv[i]);
        if (word == "--help" || word == "-h" || word == "--help-all" || word == "--version" ||
            word == "-v")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    // Support asks for a trace from the very start: the Settings menu only appears once a
    // headend has been read, too late for the first connection.
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Records the traffic with the headend to a "
                                                  "new FILE from the start (JSON lines)."),
                                   QStringLiteral("FILE"));
    QCommandLineParser options;
    describeOptions(options, trace);
    if (printsAndLeaves(argc, argv)) {
        QCoreApplication app(argc, argv);
        nameApplication();
        QCoreApplication::setApplicationName(QStringLiteral("keldor-station"));
        options.process(app);
    }
    QApplication app(argc, argv);
    nameApplication();
    // Lets the desktop match the windows to the installed menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("keldor-station"));
    options.process(app);

    keldor::SettingsStore settings(QApplication::organizationName(),
                                   QApplication::applicationName());
    keldor::WidgetUi ui;
    keldor::Station station(ui, settings);
    keldor::MainWindow window(station);
    ui.attach(window);
    window.showWithLastPlacement();
    if (options.isSet(trace))
        keldor::TrafficMenu::of(window)->startRecording(options.value(trace));
    // Lets the start-up benchmark time a cold start to the first shown window; nothing else
    // changes.
    if (qEnvironmentVariableIsSet("KELDOR_EXIT_WHEN_SHOWN"))
        QTimer::singleShot(0, &app, &QApplication::quit);
    return app.exec();
}
