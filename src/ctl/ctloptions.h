#pragma once

#include <QString>
#include <QStringList>

#include <variant>

namespace keldor {

struct CtlOptions {
    enum class Link { Lan, Serial, Usb };
    Link link = Link::Usb;
    bool linkChosen = false; // commands on files alone need none
    QString host;
    QString port;
    bool useProxy = false;
    QString proxyHost;
    QString proxyPort;
    QString serialDevice;
    bool verbose = false;
    // Every unit exchanged with the headend goes into this file as a JSON line. It is a new file
    // unless overwriteTrace allows an existing one to be replaced.
    QString traceFile;
    bool overwriteTrace = false;
    QString command;
    QStringList arguments;
};

// The options, or the reason why the command line can't be used.
std::variant<CtlOptions, QString> parseCtlOptions(const QStringList &arguments);

QString ctlUsage();
QString missingLinkText();

} // namespace keldor
