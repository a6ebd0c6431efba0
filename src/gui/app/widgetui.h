#pragma once

#include "core/common/userinterface.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace keldor {

class ProgressWindow;
class MainWindow;

// The operator-facing side of the program with real widgets: message boxes, the wait cursor,
// the main window's state and status bar, the keep-alive timer and the progress window.
class WidgetUi : public QObject, public UserInterface {
    Q_OBJECT

public:
    explicit WidgetUi(QObject *parent = nullptr);
    ~WidgetUi() override;

    // The main window whose status bar, menus and keep-alive handler this interface drives;
    // the keep-alive interval comes from the window's session timing. Panels set before
    // show up now.
    void attach(MainWindow &window);

    Answer message(Icon icon, const QString &title, const QString &text,
                   Buttons buttons = Buttons::Ok) override;
    void setBusy(bool busy) override;
    void setMainWindowEnabled(bool enabled) override;
    void setKeepAliveRunning(bool running) override;
    void setConnectionModeLocked(bool locked) override;
    void setStatusPanel(int panel, const QString &text) override;
    void showProgress(const QString &label, int maximum) override;
    void setProgressLabel(const QString &label) override;
    void setProgressValue(int value) override;
    int progressValue() const override;
    void closeProgress() override;

    const QTimer &keepAliveTimer() const { return m_timer1; }
    ProgressWindow &progressWindow();
    int busyDepth() const { return m_busyDepth; }

    // The message boxes show the program's line breaks; the texts themselves keep them as
    // carriage returns.
    static QString displayText(const QString &text);

private:
    QPointer<MainWindow> m_window;
    QTimer m_timer1;
    QTimer m_enableLater;
    QPointer<ProgressWindow> m_progressWindow;
    int m_busyDepth = 0;
    // The main window sets its panels while it is built, before it can be attached.
    QString m_panels[3];
};

} // namespace keldor
