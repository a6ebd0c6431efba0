#include "gui/network/proxydialog.h"

#include "core/common/userinterface.h"
#include "gui/station/station.h"
#include "gui/ui/childwindow.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace keldor {

ProxyDialog::ProxyDialog(Station &station, QWidget *parent)
    : QWidget(parent)
    , m_station(station)
    , m_checkProxy(new QCheckBox(QStringLiteral("Use Proxyserver"), this))
    , m_textIp(new QLineEdit(this))
    , m_textPort(new QLineEdit(this))
    , m_commandOk(new QPushButton(QStringLiteral("OK"), this))
{
    setObjectName(QStringLiteral("Form_Proxy"));
    setWindowTitle(QStringLiteral("Proxy Settings"));
    m_checkProxy->setObjectName(QStringLiteral("Check_Proxy"));
    m_textIp->setObjectName(QStringLiteral("Text_IP"));
    m_textPort->setObjectName(QStringLiteral("Text_Port"));
    m_commandOk->setObjectName(QStringLiteral("Command_OK"));

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("IP-Adress:"), m_textIp);
    fields->addRow(QStringLiteral("Port:"), m_textPort);
    m_textIp->setMinimumWidth(m_textIp->fontMetrics().horizontalAdvance(u'0') * 18);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_commandOk);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_checkProxy);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    const ShellState &shell = m_station.shell;
    m_checkProxy->setChecked(shell.proxyUse == 1);
    m_textIp->setText(shell.proxyIp);
    m_textPort->setText(shell.proxyPort);
    enableTexts();

    connect(m_checkProxy, &QCheckBox::clicked, this, &ProxyDialog::checkProxyClicked);
    connect(m_commandOk, &QPushButton::clicked, this, &ProxyDialog::okClicked);
    // A child window has no default button of its own; Enter in a field means OK.
    connect(m_textIp, &QLineEdit::returnPressed, this, &ProxyDialog::okClicked);
    connect(m_textPort, &QLineEdit::returnPressed, this, &ProxyDialog::okClicked);
}

void ProxyDialog::enableTexts()
{
    m_textIp->setEnabled(m_checkProxy->isChecked());
    m_textPort->setEnabled(m_checkProxy->isChecked());
}

void ProxyDialog::checkProxyClicked()
{
    m_station.shell.proxyUse = m_checkProxy->isChecked() ? 1 : 0;
    enableTexts();
}

void ProxyDialog::okClicked()
{
    ShellState &shell = m_station.shell;
    shell.proxyUse = m_checkProxy->isChecked() ? 1 : 0;
    shell.proxyIp = m_textIp->text();
    shell.proxyPort = m_textPort->text();
    if (!saveProxySettings(shell, m_station.settings)) {
        m_station.ui.message(UserInterface::Icon::Exclamation, QLatin1String(applicationTitle),
                             m_station.settings.lastError() +
                                 QStringLiteral("\rThe proxy applies until the program ends."));
    }
    closeWindow(*this);
}

} // namespace keldor
