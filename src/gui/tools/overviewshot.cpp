// Draws the main window with the channel overview of a simulated headend into a PNG, for the
// screenshots in the documentation: keldor-overview-shot CHANNELS FILE [WIDTHxHEIGHT].
#include "channels/formuebersicht.h"
#include "link/session.h"
#include "shell/mdiform1.h"
#include "shell/programfolder.h"
#include "shell/settingsstore.h"
#include "shell/station.h"
#include "shell/widgetui.h"
#include "sim/headend.h"
#include "sim/tcptransport.h"

#include <QApplication>
#include <QMdiSubWindow>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const auto variant = sim::variantForChannelCount(args.value(0).toInt());
    const QStringList size = args.value(2, QStringLiteral("1600x1000")).split(QLatin1Char('x'));
    if (args.size() < 2 || !variant || size.size() != 2) {
        std::fprintf(stderr, "usage: keldor-overview-shot 8|10|12|16 FILE [WIDTHxHEIGHT]\n");
        return 2;
    }

    sim::Headend headend;
    headend.state().identity.variant = *variant;
    // A channel without a signal shows what the technician has to look at.
    headend.state().channels[1].tuner.status = 0;
    headend.state().channels[1].tuner.noSignal = 1;
    headend.state().channels[4].outputOn = 0;
    sim::TcpTransport tcp(headend);
    if (!tcp.listen(QHostAddress::LocalHost, 0))
        return 1;

    QTemporaryDir folder;
    keldor::setProgramFolderOverride(QCoreApplication::applicationDirPath());
    QSettings ini(folder.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    ini.setValue(QStringLiteral("Settings/LAN-Control"), QStringLiteral("True"));
    keldor::SettingsStore settings(ini);
    keldor::WidgetUi ui;
    keldor::Station station(ui, settings);
    keldor::MDIForm1 window(station);
    ui.attach(window);
    window.resize(size.at(0).toInt(), size.at(1).toInt());
    window.show();

    station.shell.active_headend_name = QStringLiteral("Rack 3 Kopfstation");
    station.shell.active_headend_ip = QStringLiteral("127.0.0.1");
    station.shell.active_headend_port = QString::number(tcp.port());
    ui.setStatusPanel(2, QStringLiteral("Active Headend: ") + station.shell.active_headend_name);
    if (!keldor::lan_connect(station.session, station.lanTarget()))
        return 1;
    auto *overview = new keldor::Form_Uebersicht(station, window);
    window.addChildWindow(overview)->showMaximized();
    overview->activate();
    QApplication::processEvents();
    return window.grab().save(args.at(1)) ? 0 : 1;
}
