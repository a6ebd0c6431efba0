#include "shell/mdiform1.h"
#include "shell/settingsstore.h"
#include "shell/station.h"
#include "shell/widgetui.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("KELDOR"));
    QApplication::setApplicationName(QStringLiteral("KELDOR Station"));

    keldor::SettingsStore settings(QApplication::organizationName(),
                                   QApplication::applicationName());
    keldor::WidgetUi ui;
    keldor::Station station(ui, settings);
    keldor::MDIForm1 window(station);
    ui.attach(window);
    window.show();
    return app.exec();
}
