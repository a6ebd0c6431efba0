#include "gui/app/widgetui.h"

#include "gui/app/mainwindow.h"
#include "gui/app/progresswindow.h"
#include "gui/station/station.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressBar>

namespace keldor {

namespace {

QMessageBox::Icon boxIcon(UserInterface::Icon icon)
{
    switch (icon) {
    case UserInterface::Icon::Critical:
        return QMessageBox::Critical;
    case UserInterface::Icon::Exclamation:
        return QMessageBox::Warning;
    case UserInterface::Icon::Information:
        return QMessageBox::Information;
    case UserInterface::Icon::Question:
        return QMessageBox::Question;
    case UserInterface::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(UserInterface::Buttons buttons)
{
    switch (buttons) {
    case UserInterface::Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case UserInterface::Buttons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case UserInterface::Buttons::SaveDiscardCancel:
        return QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
    case UserInterface::Buttons::Ok:
        break;
    }
    return QMessageBox::Ok;
}

UserInterface::Answer answerOf(int button)
{
    switch (button) {
    case QMessageBox::Cancel:
        return UserInterface::Answer::Cancel;
    case QMessageBox::Abort:
        return UserInterface::Answer::Abort;
    case QMessageBox::Retry:
        return UserInterface::Answer::Retry;
    case QMessageBox::Ignore:
        return UserInterface::Answer::Ignore;
    case QMessageBox::Save:
        return UserInterface::Answer::Save;
    case QMessageBox::Discard:
        return UserInterface::Answer::Discard;
    default:
        return UserInterface::Answer::Ok;
    }
}

} // namespace

WidgetUi::WidgetUi(QObject *parent)
    : QObject(parent)
{
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_enableLater.setSingleShot(true);
    connect(&m_enableLater, &QTimer::timeout, this, [this] {
        if (m_window)
            m_window->setInputEnabled(true);
    });
}

WidgetUi::~WidgetUi()
{
    while (m_busyDepth > 0)
        setBusy(false);
}

void WidgetUi::attach(MainWindow &window)
{
    m_window = &window;
    m_timer1.setInterval(window.station().session.timing.keepAliveInterval);
    connect(&m_timer1, &QTimer::timeout, &window, &MainWindow::keepAliveTick);
    for (int panel = 1; panel <= 3; ++panel)
        window.setStatusPanel(panel, m_panels[panel - 1]);
}

QString WidgetUi::displayText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

UserInterface::Answer WidgetUi::message(Icon icon, const QString &title, const QString &text,
                                        Buttons buttons)
{
    QMessageBox box(boxIcon(icon), title, displayText(text), boxButtons(buttons), m_window);
    box.setObjectName(QStringLiteral("MessageBox"));
    // Messages carry names from the directory and texts from the headend; one that starts
    // with a tag must still show as typed.
    box.setTextFormat(Qt::PlainText);
    // The operator must see that the program waits for an answer, not for the headend.
    if (m_busyDepth > 0)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int button = box.exec();
    if (m_busyDepth > 0)
        QApplication::restoreOverrideCursor();
    return answerOf(button);
}

void WidgetUi::setBusy(bool busy)
{
    if (busy) {
        ++m_busyDepth;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busyDepth > 0) {
        --m_busyDepth;
        QApplication::restoreOverrideCursor();
    }
}

void WidgetUi::setMainWindowEnabled(bool enabled)
{
    // A full read is a few hundred exchanges back to back, and each one gives the window back at
    // its end. The window is given back once the event loop runs again, before which nobody
    // could have used it anyway, so the menu bar doesn't flicker between two exchanges.
    if (enabled) {
        m_enableLater.start(0);
        return;
    }
    m_enableLater.stop();
    if (m_window)
        m_window->setInputEnabled(false);
}

void WidgetUi::setKeepAliveRunning(bool running)
{
    if (running)
        m_timer1.start();
    else
        m_timer1.stop();
}

void WidgetUi::setConnectionModeLocked(bool locked)
{
    if (m_window)
        m_window->setConnectionModeLocked(locked);
}

void WidgetUi::setStatusPanel(int panel, const QString &text)
{
    if (panel < 1 || panel > 3)
        return;
    m_panels[panel - 1] = text;
    if (m_window)
        m_window->setStatusPanel(panel, text);
}

ProgressWindow &WidgetUi::progressWindow()
{
    if (!m_progressWindow)
        m_progressWindow = new ProgressWindow(m_window);
    return *m_progressWindow;
}

void WidgetUi::showProgress(const QString &label, int maximum)
{
    ProgressWindow &form = progressWindow();
    form.setText(label);
    form.progressBar()->setRange(0, maximum);
    form.progressBar()->setValue(0);
    form.show();
    form.raise();
}

void WidgetUi::setProgressLabel(const QString &label)
{
    progressWindow().setText(label);
}

void WidgetUi::setProgressValue(int value)
{
    progressWindow().progressBar()->setValue(value);
}

int WidgetUi::progressValue() const
{
    return m_progressWindow ? m_progressWindow->progressBar()->value() : 0;
}

void WidgetUi::closeProgress()
{
    if (m_progressWindow)
        m_progressWindow->hide();
}

} // namespace keldor
