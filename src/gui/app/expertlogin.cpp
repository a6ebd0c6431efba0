#include "gui/app/expertlogin.h"

#include "gui/station/station.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace keldor {

namespace {

const QString loginTitle = QStringLiteral("Expert Password");
const QString accessCode = QStringLiteral("41806");

} // namespace

ExpertLogin::ExpertLogin(Station &station, QWidget *parent)
    : QDialog(parent)
    , m_station(station)
    , m_password(new QLineEdit(this))
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(loginTitle);
    auto *prompt = new QLabel(QStringLiteral("Please enter password:"), this);
    prompt->setObjectName(QStringLiteral("lblLabels"));
    prompt->setBuddy(m_password);
    m_password->setObjectName(QStringLiteral("txtPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    QPushButton *cancel =
        buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    ok->setObjectName(QStringLiteral("cmdOK"));
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    ok->setDefault(true);
    // The dialog box's accept would close without the check.
    connect(ok, &QPushButton::clicked, this, &ExpertLogin::okClicked);
    connect(cancel, &QPushButton::clicked, this, &ExpertLogin::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(prompt);
    layout->addWidget(m_password);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ExpertLogin::okClicked()
{
    if (m_password->text() != accessCode) {
        m_station.ui.message(UserInterface::Icon::None, loginTitle,
                             QStringLiteral("Invalid Password. Please try again!"));
        m_password->setFocus();
        return;
    }
    m_station.shell.expertMode = true;
    accept();
}

void ExpertLogin::reject()
{
    m_station.shell.expertMode = false;
    QDialog::reject();
}

} // namespace keldor
