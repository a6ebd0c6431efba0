#pragma once

#include <QString>

namespace keldor {

// The caption of the program's own message boxes.
inline constexpr auto applicationTitle = "KELDOR Station";

// What the headend operations show to the operator. The GUI implements this with widgets,
// keldor-ctl with stderr, and tests with a recorder that keeps every call for assertions.
class UserInterface {
public:
    enum class Icon { None, Critical, Exclamation, Information, Question };
    enum class Buttons { Ok, OkCancel, AbortRetryIgnore, SaveDiscardCancel };
    enum class Answer { Ok, Cancel, Abort, Retry, Ignore, Save, Discard };

    virtual ~UserInterface() = default;

    // A modal message box. Texts are passed exactly as the program words them, including the
    // carriage returns that separate their lines.
    virtual Answer message(Icon icon, const QString &title, const QString &text,
                           Buttons buttons = Buttons::Ok) = 0;

    // Wait cursor; calls nest, see BusyCursor. A message box always shows the normal pointer.
    virtual void setBusy(bool busy) = 0;
    // The main window is disabled while an exchange with the headend runs.
    virtual void setMainWindowEnabled(bool enabled) = 0;
    // The periodic keep-alive timer.
    virtual void setKeepAliveRunning(bool running) = 0;
    // The connection mode items can't be changed while a headend is connected.
    virtual void setConnectionModeLocked(bool locked) = 0;
    // Status bar panels 1..3.
    virtual void setStatusPanel(int panel, const QString &text) = 0;

    // The small progress window: a label and a bar.
    virtual void showProgress(const QString &label, int maximum) = 0;
    virtual void setProgressLabel(const QString &label) = 0;
    virtual void setProgressValue(int value) = 0;
    virtual int progressValue() const = 0;
    virtual void closeProgress() = 0;
};

// Shows the wait cursor for its lifetime.
class BusyCursor {
public:
    explicit BusyCursor(UserInterface &ui)
        : m_ui(ui)
    {
        m_ui.setBusy(true);
    }
    ~BusyCursor() { m_ui.setBusy(false); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;

private:
    UserInterface &m_ui;
};

} // namespace keldor
